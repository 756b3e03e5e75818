#include "engine/numeric.h"
#include "engine/oscillator.h"
#include "engine/strip_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace peldor {
namespace {

constexpr float kPi = 3.14159265358979f;

class OscillatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitStripTable();
        EngineOptions.SineAccuracy = 0;
        EngineOptions.PinkNoise = 0;
        EngineOptions.DecimalSeparator = '.';
    }
    void TearDown() override { SetUp(); }
};

TEST_F(OscillatorTest, FastApproximations) {
    EXPECT_FLOAT_EQ(FastSin(kPi / 2), 1.0f);
    EXPECT_FLOAT_EQ(FastSin(3 * kPi / 2), -1.0f);
    EXPECT_NEAR(FastSin(kPi), 0.0f, 1e-6f);
    EXPECT_EQ(FastSin(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(FastSinFine(kPi / 2), 1.0f);
    EXPECT_FLOAT_EQ(FastSinFine(kPi / 4), 0.7078125f);
    EXPECT_NEAR(FastLog10(1.0), 0.017455, 1e-6);
    EXPECT_NEAR(FastLog10(1000.0), 3.01364, 1e-5);
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(RoundHalfEven(-0.5), -0.0);
}

TEST_F(OscillatorTest, FormatValueWithPrefixes) {
    EXPECT_EQ(FormatValue(5, "Hz", false, 44100.0f), "44.100 kHz");
    EXPECT_EQ(FormatValue(5, "Hz", false, 96000.0f), "96.000 kHz");
    EXPECT_EQ(FormatValue(5, "Hz", false, 192000.0f), "192.00 kHz");
    EXPECT_EQ(FormatValue(5, "Hz", false, 8000.0f), "8.0000 kHz");
    EXPECT_EQ(FormatValue(5, "Hz", true, 44100.0f), "44.100 KiloHz");
    EXPECT_EQ(FormatValue(3, "s", false, 0.002f), "2.00 ms");
    EXPECT_EQ(FormatValue(3, "s", false, 0.000002f), "2.00 \u00B5s");
    EXPECT_EQ(FormatValue(5, "Hz", false, 0.0f), "0 Hz");
    EXPECT_EQ(FormatValue(5, "Hz", false, 1e-30f), "0 Hz"); // below the epsilon
    EngineOptions.DecimalSeparator = ',';
    EXPECT_EQ(FormatValue(5, "Hz", false, 48000.0f), "48,000 kHz");
    float epsilon = EngineOptions.Epsilon;
    std::uint32_t bits;
    std::memcpy(&bits, &epsilon, sizeof bits);
    EXPECT_EQ(bits, 0x0F4AD2F8u);
}

TEST_F(OscillatorTest, ConfigureFrequencies) {
    TOscilator osc;
    EXPECT_FLOAT_EQ(osc.Increment, 2.0f * kPi * 1000.0f / 44100.0f);
    auto& m = StripTable.MixerSettings;
    m.oscfrq = 1;
    m.oscx4 = 1;
    m.osclevel = 0.5f;
    osc.Configure();
    EXPECT_EQ(osc.Frequency, 10000.0f);
    EXPECT_EQ(osc.Amplitude, 0.5f);
    EXPECT_EQ(osc.Waveform, 1);
    m.oscfrq = 0;
    m.oscsine = 0;
    osc.Configure();
    EXPECT_EQ(osc.Frequency, 4400.0f);
    EXPECT_EQ(osc.Waveform, 2);

    osc.SetSampleRate(48000.0f);
    EXPECT_FLOAT_EQ(osc.Increment, 2.0f * kPi * 4400.0f / 48000.0f);
    osc.Frequency = 1000.0f;
    osc.SetSampleRate(800.0f); // ignored as a rate, but the step is recomputed
    EXPECT_EQ(osc.SampleRate, 48000.0f);
    EXPECT_FLOAT_EQ(osc.Increment, 2.0f * kPi * 1000.0f / 48000.0f);
}

TEST_F(OscillatorTest, SineAccuraciesAndPhaseWrap) {
    TOscilator osc;
    osc.SetSampleRate(48000.0f);
    std::vector<float> block(480);
    for (int accuracy : {0, 1, 2}) {
        EngineOptions.SineAccuracy = accuracy;
        osc.PhaseAngle = 0.0f;
        osc.Render(block.data(), static_cast<int>(block.size()));
        const float tolerance = accuracy == 0 ? 0.06f : (accuracy == 1 ? 0.002f : 1e-4f);
        for (int i = 0; i < 480; ++i) {
            const float expected =
                std::sin(2.0f * kPi * 1000.0f * static_cast<float>(i) / 48000.0f);
            ASSERT_NEAR(block[i], expected, tolerance) << "accuracy " << accuracy << " i " << i;
        }
        EXPECT_GE(osc.PhaseAngle, 0.0f);
        EXPECT_LE(osc.PhaseAngle, 2.0f * kPi);
    }
    // Any other accuracy leaves the buffer and the phase alone.
    EngineOptions.SineAccuracy = 3;
    const float phase = osc.PhaseAngle;
    std::fill(block.begin(), block.end(), 7.0f);
    osc.Render(block.data(), 16);
    EXPECT_EQ(block[0], 7.0f);
    EXPECT_EQ(osc.PhaseAngle, phase);
    osc.Render(nullptr, 16); // nothing, no crash
    osc.Waveform = 3;
    EngineOptions.SineAccuracy = 0;
    osc.Render(block.data(), 16);
    EXPECT_EQ(block[0], 7.0f);
}

TEST_F(OscillatorTest, WhiteAndPinkNoise) {
    TOscilator osc;
    osc.Waveform = 2;
    osc.Amplitude = 0.5f;
    float first[4];
    osc.Render(first, 4);
    EXPECT_FLOAT_EQ(first[0], -271733879.0f / 2147483648.0f * 0.5f);
    // The generator continues from its state; the same state gives the same samples.
    TOscilator twin;
    twin.Waveform = 2;
    twin.Amplitude = 0.5f;
    std::vector<float> a(1000), b(1000);
    osc.Render(a.data(), 1000);
    twin.Render(first, 4);
    twin.Render(b.data(), 1000);
    EXPECT_EQ(a, b);
    for (float x : a) {
        ASSERT_LE(std::fabs(x), 0.5f);
    }

    // Pink: the filter starts from its preset state, whose offset decays.
    EngineOptions.PinkNoise = 1;
    TOscilator pink;
    pink.Waveform = 2;
    float p[1];
    pink.Render(p, 1);
    const double w = -271733879.0 / 2147483648.0;
    const double expected =
        (0.99886 * 0.99886 + 0.0555179 * w + 0.99332 * 0.99332 + 0.0750759 * w + 0.969 * 0.969 +
         0.153852 * w + 0.8665 * 0.8665 + 0.3104856 * w + 0.55 * 0.55 + 0.5329522 * w +
         -0.7616 * -0.7615 - 0.016898 * w + 0.0 + 0.5362 * w) *
        0.16;
    EXPECT_NEAR(p[0], expected, 1e-6);
    EXPECT_FLOAT_EQ(pink.PinkState[6], static_cast<float>(0.115926 * w));
    std::vector<float> later(48000);
    pink.Render(later.data(), 48000);
    double mean = 0.0;
    for (int i = 47000; i < 48000; ++i) {
        mean += later[i];
    }
    EXPECT_LT(std::fabs(mean / 1000.0), 0.1);
}

} // namespace
} // namespace peldor
