#include "engine/oscillator.h"

#include "engine/numeric.h"
#include "engine/strip_table.h"

#include <cmath>
#include <cstring>

namespace peldor {

TEngineOptions EngineOptions = [] {
    TEngineOptions options;
    constexpr std::uint32_t kEpsilonBits = 0x0F4AD2F8u;
    float epsilon = 0.0f;
    std::memcpy(&epsilon, &kEpsilonBits, sizeof epsilon);
    options.Epsilon = epsilon;
    return options;
}();

namespace {
constexpr float kTwoPi = 6.28318530717958647692f;
constexpr double kTwoPiDouble = 6.28318530717958647692;
constexpr float kPinkStart[7] = {0.99886f, 0.99332f, 0.969f, 0.8665f, 0.55f, -0.7615f, 0.0f};
} // namespace

TOscilator::TOscilator() : Increment(static_cast<float>(kTwoPiDouble * 1000.0 / 44100.0)) {
    std::memcpy(PinkState, kPinkStart, sizeof PinkState);
}

void TOscilator::Configure() {
    const TMixerSettings& settings = StripTable.MixerSettings;
    Waveform = settings.oscsine ? 1 : 2;
    Amplitude = settings.osclevel;
    float frequency = settings.oscfrq ? 1000.0f : 440.0f;
    if (settings.oscx4) {
        frequency *= 10.0f;
    }
    Frequency = frequency;
    Increment = static_cast<float>(kTwoPiDouble * frequency / SampleRate);
}

void TOscilator::SetSampleRate(float rate) {
    constexpr float kLowestRate = 1000.0f;
    if (rate > kLowestRate) {
        SampleRate = rate;
    }
    Increment = static_cast<float>(kTwoPiDouble * Frequency / SampleRate);
}

void TOscilator::Render(float* buffer, std::int32_t n) noexcept {
    if (buffer == nullptr || n <= 0) {
        return;
    }
    const std::uint8_t waveform = Waveform;
    const float amplitude = Amplitude;
    if (waveform == 1) {
        const std::int32_t accuracy = EngineOptions.SineAccuracy;
        if (accuracy < 0 || accuracy > 2) {
            return;
        }
        const float increment = Increment;
        float phase = PhaseAngle;
        for (std::int32_t i = 0; i < n; ++i) {
            float s;
            if (accuracy == 0) {
                s = FastSin(phase);
            } else if (accuracy == 1) {
                s = FastSinFine(phase);
            } else {
                s = std::sin(phase);
            }
            buffer[i] = s * amplitude;
            phase += increment;
            if (phase > kTwoPi) {
                phase -= kTwoPi;
            }
        }
        PhaseAngle = phase;
    } else if (waveform == 2) {
        std::uint32_t a = NoiseA;
        std::uint32_t b = NoiseB;
        const float scale = amplitude * (1.0f / 2147483648.0f);
        for (std::int32_t i = 0; i < n; ++i) {
            a ^= b;
            buffer[i] = static_cast<float>(static_cast<std::int32_t>(b)) * scale;
            b += a;
        }
        NoiseA = a;
        NoiseB = b;
        if (EngineOptions.PinkNoise) {
            // Each state value is kept as a 32-bit float; the arithmetic runs in double.
            float* s = PinkState;
            for (std::int32_t i = 0; i < n; ++i) {
                const double w = buffer[i];
                s[0] = static_cast<float>(0.99886 * s[0] + 0.0555179 * w);
                s[1] = static_cast<float>(0.99332 * s[1] + 0.0750759 * w);
                s[2] = static_cast<float>(0.969 * s[2] + 0.153852 * w);
                s[3] = static_cast<float>(0.8665 * s[3] + 0.3104856 * w);
                s[4] = static_cast<float>(0.55 * s[4] + 0.5329522 * w);
                s[5] = static_cast<float>(-0.7616 * s[5] - 0.016898 * w);
                const double sum = static_cast<double>(s[0]) + s[1] + s[2] + s[3] + s[4] + s[5] +
                                   s[6] + 0.5362 * w;
                buffer[i] = static_cast<float>(sum * 0.16);
                s[6] = static_cast<float>(0.115926 * w);
            }
        }
    }
}

} // namespace peldor
