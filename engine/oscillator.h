#pragma once
// The engine's test tone: a sine at 440, 1000, 4400 or 10000 Hz, or white or pink noise.

#include "engine/relaxed.h"

#include <cstdint>

namespace peldor {

/// The global options the oscillator and FormatValue read. The project options keep these in
/// step with their own fields; the audio thread reads them at every render.
struct TEngineOptions {
    /// 0 FastSin, 1 FastSinFine, 2 exact sine; other values silence the sine.
    Relaxed<std::int32_t> SineAccuracy{0};
    Relaxed<std::uint8_t> PinkNoise{0};
    /// Values below this print as zero in FormatValue. Bit pattern 0x0F4AD2F8.
    Relaxed<float> Epsilon{0.0f};
    Relaxed<char> DecimalSeparator{'.'};
};
extern TEngineOptions EngineOptions;

/// Window thread configures, the driver's callback thread renders; every field is read whole.
class TOscilator {
public:
    TOscilator();

    /// Takes over the oscillator fields of the mixer settings. Keeps phase and noise state.
    void Configure();
    /// Rates of 1000 Hz or less are ignored; the phase step is recomputed in any case.
    void SetSampleRate(float rate);
    /// Writes n samples (nothing for a null buffer). Driver callback thread; no allocation.
    void Render(float* buffer, std::int32_t n) noexcept;

    Relaxed<std::uint32_t> NoiseA{0x67452301u};
    Relaxed<std::uint32_t> NoiseB{0xEFCDAB89u};
    Relaxed<float> Increment;
    Relaxed<std::uint8_t> Waveform{1};
    Relaxed<float> Frequency{1000.0f};
    Relaxed<float> PhaseAngle{0.0f};
    Relaxed<float> Amplitude{1.0f};
    Relaxed<float> SampleRate{44100.0f};
    /// Pink-noise filter state b0..b6; touched by Render only.
    float PinkState[7];
};

} // namespace peldor
