#include "audio_io/sample_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace peldor {
namespace {

using Bytes = std::vector<std::uint8_t>;

float In32(ASIOSampleType type, const Bytes& bytes) {
    float value = -99.0f;
    PlainConversionSet().In[type].ic32(bytes.data(), &value, 1);
    return value;
}
double In64(ASIOSampleType type, const Bytes& bytes) {
    double value = -99.0;
    PlainConversionSet().In[type].ic64(bytes.data(), &value, 1);
    return value;
}
Bytes Out32(ASIOSampleType type, float value) {
    Bytes bytes(static_cast<std::size_t>(SampleTypeWidth(type)), 0xEE);
    PlainConversionSet().Out[type].oc32(&value, bytes.data(), 1);
    return bytes;
}
/// Bytes past a driver buffer that conversions must leave alone.
constexpr std::size_t kGuardBytes = 8;

Bytes Out64(ASIOSampleType type, double value) {
    Bytes bytes(static_cast<std::size_t>(SampleTypeWidth(type)), 0xEE);
    PlainConversionSet().Out[type].oc64(&value, bytes.data(), 1);
    return bytes;
}

/// Random samples in [-1, 1] with the exact ends, zero and a few halfway values mixed in.
std::vector<float> TestSignal(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> signal(n);
    for (auto& s : signal) {
        s = uniform(rng);
    }
    const float specials[] = {1.0f, -1.0f, 0.0f, 0.5f, -0.5f, 0.25f};
    for (std::size_t i = 0; i < n && i < std::size(specials); ++i) {
        signal[(i * 7) % n] = specials[i];
    }
    return signal;
}

TEST(SampleConversion, InputsGiveTheDocumentedValues) {
    struct Case {
        ASIOSampleType type;
        Bytes bytes;
        float expected;
    };
    const Case cases[] = {
        {ASIOSTInt24LSB, {0xFF, 0xFF, 0x7F}, 1.0f},
        {ASIOSTInt24LSB, {0x01, 0x00, 0x80}, -1.0f},
        {ASIOSTInt24LSB, {0xFF, 0xFF, 0xFF}, static_cast<float>(-1.0 / 8388607.0)},
        {ASIOSTInt24MSB, {0x7F, 0xFF, 0xFF}, 1.0f},
        {ASIOSTInt24MSB, {0x80, 0x00, 0x01}, -1.0f},
        {ASIOSTInt16LSB, {0xFF, 0x7F}, 1.0f},
        {ASIOSTInt16MSB, {0x80, 0x01}, -1.0f},
        {ASIOSTInt32LSB, {0xFF, 0xFF, 0xFF, 0x7F}, 1.0f},
        {ASIOSTInt32MSB, {0x7F, 0xFF, 0xFF, 0xFF}, 1.0f},
        {ASIOSTFloat32LSB, {0x00, 0x00, 0x80, 0xBF}, -1.0f},
        {ASIOSTFloat32MSB, {0x3F, 0x80, 0x00, 0x00}, 1.0f},
        {ASIOSTFloat64MSB, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}, 1.0f},
        {ASIOSTFloat64LSB, {0, 0, 0, 0, 0, 0, 0xE0, 0x3F}, 0.5f},
        // The 32-bit containers hold sign-extended values of 16..24 bits.
        {ASIOSTInt32LSB16, {0xFF, 0x7F, 0x00, 0x00}, 1.0f},
        {ASIOSTInt32LSB16, {0x01, 0x80, 0xFF, 0xFF}, -1.0f},
        {ASIOSTInt32LSB18, {0xFF, 0xFF, 0x01, 0x00}, 1.0f},
        {ASIOSTInt32LSB20, {0x01, 0x00, 0xF8, 0xFF}, -1.0f},
        {ASIOSTInt32LSB24, {0xFF, 0xFF, 0x7F, 0x00}, 1.0f},
        {ASIOSTInt32MSB16, {0xFF, 0xFF, 0x80, 0x01}, -1.0f},
        {ASIOSTInt32MSB18, {0x00, 0x01, 0xFF, 0xFF}, 1.0f},
        {ASIOSTInt32MSB20, {0x00, 0x07, 0xFF, 0xFF}, 1.0f},
        {ASIOSTInt32MSB24, {0xFF, 0x80, 0x00, 0x01}, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(SampleTypeName(c.type));
        EXPECT_EQ(In32(c.type, c.bytes), c.expected);
        EXPECT_NEAR(In64(c.type, c.bytes), c.expected, 1e-9);
    }
    // 0x800000 lies one step beyond -1.
    EXPECT_LT(In32(ASIOSTInt24LSB, {0x00, 0x00, 0x80}), -1.0f);
}

TEST(SampleConversion, OutputsGiveTheDocumentedBytesAndRoundHalvesToEven) {
    struct Case {
        ASIOSampleType type;
        float value;
        Bytes expected;
    };
    const Case cases[] = {
        {ASIOSTInt16LSB, 1.0f, {0xFF, 0x7F}},
        {ASIOSTInt16LSB, -1.0f, {0x01, 0x80}},
        {ASIOSTInt16LSB, 0.5f, {0x00, 0x40}},  // 16383.5 -> 16384
        {ASIOSTInt16MSB, -0.5f, {0xC0, 0x00}}, // -16383.5 -> -16384
        {ASIOSTInt32MSB, 1.0f, {0x7F, 0xFF, 0xFF, 0xFF}},
        {ASIOSTInt32LSB, 0.5f, {0x00, 0x00, 0x00, 0x40}}, // 1073741823.5 -> 2^30
        {ASIOSTInt24LSB, -1.0f, {0x01, 0x00, 0x80}},
        {ASIOSTInt24LSB, 0.5f, {0x00, 0x00, 0x40}}, // 4194303.5 -> 4194304
        {ASIOSTInt24MSB, 1.0f, {0x7F, 0xFF, 0xFF}},
        {ASIOSTInt32LSB24, -1.0f, {0x01, 0x00, 0x80, 0xFF}},
        {ASIOSTInt32LSB20, 1.0f, {0xFF, 0xFF, 0x07, 0x00}},
        {ASIOSTInt32MSB18, -1.0f, {0xFF, 0xFE, 0x00, 0x01}},
        {ASIOSTInt32MSB16, 1.0f, {0x00, 0x00, 0x7F, 0xFF}},
        {ASIOSTFloat32MSB, 1.0f, {0x3F, 0x80, 0x00, 0x00}},
        {ASIOSTFloat64MSB, 1.0f, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
        {ASIOSTFloat64LSB, -2.0f, {0, 0, 0, 0, 0, 0, 0x00, 0xC0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(SampleTypeName(c.type)) + " " + std::to_string(c.value));
        EXPECT_EQ(Out32(c.type, c.value), c.expected);
        EXPECT_EQ(Out64(c.type, c.value), c.expected);
    }
}

TEST(SampleConversion, EveryTypeRoundTripsAndBothPrecisionsAgree) {
    const std::vector<float> signal = TestSignal(257, 11);
    for (ASIOSampleType type : kConvertedSampleTypes) {
        SCOPED_TRACE(SampleTypeName(type));
        const TInConverter in = PlainConversionSet().In[type];
        const TOutConverter out = PlainConversionSet().Out[type];
        ASSERT_NE(in.ic32, nullptr);
        ASSERT_NE(out.oc64, nullptr);
        const auto n = static_cast<std::int32_t>(signal.size());
        const std::size_t bytes = signal.size() * static_cast<std::size_t>(SampleTypeWidth(type));
        Bytes driver32(bytes), driver64(bytes);
        std::vector<double> wide(signal.begin(), signal.end());
        out.oc32(signal.data(), driver32.data(), n);
        out.oc64(wide.data(), driver64.data(), n);
        EXPECT_EQ(driver32, driver64);

        std::vector<float> back32(signal.size());
        std::vector<double> back64(signal.size());
        in.ic32(driver32.data(), back32.data(), n);
        in.ic64(driver32.data(), back64.data(), n);
        // One step of the narrowest type (16 bits) bounds every type's error.
        const double step = 1.0 / 32767.0;
        for (std::size_t i = 0; i < signal.size(); ++i) {
            ASSERT_NEAR(back32[i], signal[i], step) << i;
            ASSERT_EQ(back32[i], static_cast<float>(back64[i])) << i;
        }
    }
}

TEST(SampleConversion, PackedWordsNeverReachPastTheBufferForAnyLength) {
    for (ASIOSampleType type : {ASIOSTInt24LSB, ASIOSTInt24MSB}) {
        for (std::int32_t n = 0; n <= 9; ++n) {
            SCOPED_TRACE(std::string(SampleTypeName(type)) + " length " + std::to_string(n));
            const std::vector<float> signal = TestSignal(static_cast<std::size_t>(n) + 1, 3);
            const std::vector<double> wide(signal.begin(), signal.end());
            Bytes words(3 * static_cast<std::size_t>(n) + kGuardBytes, 0x5A), single = words;
            PlainConversionSet().Out[type].oc32(signal.data(), words.data(), n);
            PlainConversionSet().Out[type].oc64(wide.data(), single.data(), n);
            ASSERT_EQ(words, single); // same samples, guard untouched

            std::vector<float> back(static_cast<std::size_t>(n) + 1, 9.0f);
            PlainConversionSet().In[type].ic32(words.data(), back.data(), n);
            for (std::int32_t i = 0; i < n; ++i) {
                ASSERT_NEAR(back[static_cast<std::size_t>(i)], signal[static_cast<std::size_t>(i)],
                            1.0 / 8388607.0);
            }
            ASSERT_EQ(back[static_cast<std::size_t>(n)], 9.0f);
        }
    }
}

TEST(SampleConversion, ClipRoutines) {
    const TClipBuffer digital = PlainConversionSet().Digital;
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> samples = {1.5f, -3.0f, 0.25f, 1.0f, -1.0f, inf, -inf, nan, -nan, -0.0f};
    digital.cb32(samples.data(), static_cast<std::int32_t>(samples.size()));
    const std::vector<float> expected = {1.0f, -1.0f, 0.25f, 1.0f,  -1.0f,
                                         1.0f, -1.0f, 1.0f,  -1.0f, -0.0f};
    EXPECT_EQ(samples, expected);

    std::vector<double> wide = {1.5, -3.0, 0.25, 1.0};
    digital.cb64(wide.data(), 4);
    EXPECT_EQ(wide, (std::vector<double>{1.0, -1.0, 0.25, 1.0}));

    const TClipBuffer analog = PlainConversionSet().Analog;
    std::vector<float> soft = {1.0f, 0.0f, -1.0f, 1e30f, 1e-3f};
    analog.cb32(soft.data(), 5);
    EXPECT_FLOAT_EQ(soft[0], 0.8f);
    EXPECT_EQ(soft[1], 0.0f);
    EXPECT_FLOAT_EQ(soft[2], -0.8f);
    EXPECT_NEAR(soft[3], 2.0f, 1e-6f);  // no overflow to NaN on huge inputs
    EXPECT_NEAR(soft[4], 1e-3f, 1e-6f); // slope 1 at zero
    double analog64 = 1.0;
    analog.cb64(&analog64, 1);
    EXPECT_DOUBLE_EQ(analog64, 0.8);
}

/// Bytes of a driver buffer of count samples plus a guard that must stay untouched.
constexpr std::size_t kGuard = 16;

template <typename Routine, typename Reference, typename Prepare>
void ExpectSameForEveryLength(Routine variant, Reference plain, Prepare prepare) {
    for (std::int32_t n = 0; n <= 40; ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        auto [a, b] = prepare(n);
        plain(a, n);
        variant(b, n);
        ASSERT_EQ(a, b);
    }
}

TEST(SampleConversion, EveryProcessorVariantEqualsItsPlainRoutineForLengths0To40) {
    const TConversionSet& plain = PlainConversionSet();
    int checked = 0;
    for (const TConversionSet* set : {&SseConversionSet(), &TwoLaneConversionSet()}) {
        for (int type = 0; type < kConversionTableSize; ++type) {
            const int width = SampleTypeWidth(type);
            if (TOutConvert32 variant = set->Out[type].oc32) {
                SCOPED_TRACE(std::string("output ") + SampleTypeName(type));
                ++checked;
                for (std::int32_t n = 0; n <= 40; ++n) {
                    const std::vector<float> signal =
                        TestSignal(static_cast<std::size_t>(n) + 1, n);
                    Bytes a(static_cast<std::size_t>(n) * width + kGuard, 0x5A), b = a;
                    plain.Out[type].oc32(signal.data(), a.data(), n);
                    variant(signal.data(), b.data(), n);
                    ASSERT_EQ(a, b) << "length " << n;
                }
            }
            if (TInConvert32 variant = set->In[type].ic32) {
                SCOPED_TRACE(std::string("input ") + SampleTypeName(type));
                ++checked;
                for (std::int32_t n = 0; n <= 40; ++n) {
                    std::mt19937 rng(static_cast<unsigned>(n));
                    Bytes driver(static_cast<std::size_t>(n) * width);
                    for (auto& byte : driver) {
                        byte = static_cast<std::uint8_t>(rng());
                    }
                    std::vector<float> a(static_cast<std::size_t>(n) + kGuard, 7.0f), b = a;
                    plain.In[type].ic32(driver.data(), a.data(), n);
                    variant(driver.data(), b.data(), n);
                    ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(float)))
                        << "length " << n;
                }
            }
        }
        for (auto [variant, reference] : {std::pair{set->Digital.cb32, plain.Digital.cb32},
                                          std::pair{set->Analog.cb32, plain.Analog.cb32}}) {
            if (variant == nullptr) {
                continue;
            }
            ++checked;
            ExpectSameForEveryLength(
                [v = variant](std::vector<std::uint32_t>& d, std::int32_t n) {
                    v(reinterpret_cast<float*>(d.data()), n);
                },
                [r = reference](std::vector<std::uint32_t>& d, std::int32_t n) {
                    r(reinterpret_cast<float*>(d.data()), n);
                },
                [](std::int32_t n) {
                    // Out-of-range values, infinities and NaNs too, compared bit for bit.
                    std::mt19937 rng(static_cast<unsigned>(n) + 100);
                    std::vector<std::uint32_t> d(static_cast<std::size_t>(n) + kGuard);
                    const std::uint32_t specials[] = {0x7F800000u, 0xFF800000u, 0x7FC00000u,
                                                      0x3F800001u, 0xBF800000u, 0x40400000u};
                    for (std::size_t i = 0; i < d.size(); ++i) {
                        d[i] = (i % 5 == 4) ? specials[i % std::size(specials)]
                                            : (rng() & 0xC07FFFFFu) | 0x3E000000u;
                    }
                    return std::pair{d, d};
                });
        }
    }
    // Five two-lane types in and out, and the two SSE clips.
    EXPECT_EQ(checked, 12);
}

TEST(SampleConversion, DitherStaysWithinHalfAStep) {
    for (const TConversionSet* set : {&RectangularDitherSet(), &TriangularDitherSet()}) {
        for (ASIOSampleType type : {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB16,
                                    ASIOSTInt32LSB18, ASIOSTInt32LSB20, ASIOSTInt32LSB24}) {
            SCOPED_TRACE(SampleTypeName(type));
            const TOutConverter dithered = set->Out[type];
            ASSERT_NE(dithered.oc32, nullptr);
            const TInConverter in = PlainConversionSet().In[type];
            SeedDither(12345);
            constexpr int kCount = 2000;
            // A whole-number value comes out exactly; k + 0.3 gives k or k + 1, both seen.
            std::vector<double> values(kCount);
            for (int i = 0; i < kCount; ++i) {
                values[static_cast<std::size_t>(i)] = (i % 2 == 0) ? 0.0 : 100.3;
            }
            const double scale = type == ASIOSTInt24LSB || type == ASIOSTInt32LSB24 ? 8388607.0
                                 : type == ASIOSTInt32LSB20                         ? 524287.0
                                 : type == ASIOSTInt32LSB18                         ? 131071.0
                                                                                    : 32767.0;
            std::vector<double> scaled(kCount);
            for (int i = 0; i < kCount; ++i) {
                scaled[static_cast<std::size_t>(i)] = values[static_cast<std::size_t>(i)] / scale;
            }
            Bytes driver(static_cast<std::size_t>(kCount) * SampleTypeWidth(type));
            dithered.oc64(scaled.data(), driver.data(), kCount);
            std::vector<double> back(kCount);
            in.ic64(driver.data(), back.data(), kCount);
            int up = 0, down = 0;
            for (int i = 0; i < kCount; ++i) {
                const double steps = std::round(back[static_cast<std::size_t>(i)] * scale);
                if (i % 2 == 0) {
                    ASSERT_EQ(steps, 0.0) << i;
                } else {
                    ASSERT_TRUE(steps == 100.0 || steps == 101.0) << steps;
                    (steps == 100.0 ? down : up)++;
                }
            }
            EXPECT_GT(up, kCount / 20);
            EXPECT_GT(down, kCount / 20);
        }
    }
}

TEST(SampleConversion, DitherStateAdvancesByTheLinearCongruentialStep) {
    SeedDither(1);
    float sample = 0.0f;
    std::uint8_t out[2];
    RectangularDitherSet().Out[ASIOSTInt16LSB].oc32(&sample, out, 1);
    EXPECT_EQ(DitherState(), 1u * 134775813u + 1u);
    SeedDither(1);
    TriangularDitherSet().Out[ASIOSTInt16LSB].oc32(&sample, out, 1);
    EXPECT_EQ(DitherState(), (1u * 134775813u + 1u) * 134775813u + 1u);
}

TEST(SampleConversion, TableSelectionFollowsProcessorTypeOptimisationsAndDither) {
    const TConversionSet& plain = PlainConversionSet();
    SetProcessorType(kProcessorSse);
    SelectConvertOptimizations(kAllConvertOptimizations);
    EXPECT_EQ(DigitalClipPair().cb32, SseConversionSet().Digital.cb32);
    EXPECT_EQ(AnalogClipPair().cb32, SseConversionSet().Analog.cb32);
    EXPECT_EQ(InputConverter(ASIOSTInt32LSB).ic32, plain.In[ASIOSTInt32LSB].ic32);
    SelectConvertOptimizations(co3DNow);
    EXPECT_EQ(DigitalClipPair().cb32, plain.Digital.cb32);

    SetProcessorType(kProcessor3DNow);
    SelectConvertOptimizations(kAllConvertOptimizations);
    EXPECT_EQ(InputConverter(ASIOSTInt32LSB24).ic32, TwoLaneConversionSet().In[27].ic32);
    EXPECT_EQ(OutputConverter(ASIOSTInt32LSB).oc32, TwoLaneConversionSet().Out[18].oc32);
    EXPECT_EQ(OutputConverter(ASIOSTInt32LSB).oc64, plain.Out[18].oc64);
    EXPECT_EQ(DigitalClipPair().cb32, plain.Digital.cb32);

    SelectOutputDither(TASIOOutputDither::odTDF, kAllConvertOptimizations);
    EXPECT_EQ(OutputConverter(ASIOSTInt24LSB).oc32, TriangularDitherSet().Out[17].oc32);
    EXPECT_EQ(OutputConverter(ASIOSTInt24MSB).oc32, plain.Out[1].oc32);
    EXPECT_EQ(InputConverter(ASIOSTInt32LSB).ic32, plain.In[18].ic32); // plain set under dither
    SelectOutputDither(TASIOOutputDither::odNone, kAllConvertOptimizations);
    EXPECT_EQ(OutputConverter(ASIOSTInt24LSB).oc32, plain.Out[17].oc32);
    EXPECT_EQ(InputConverter(ASIOSTInt32LSB).ic32, TwoLaneConversionSet().In[18].ic32);

    // Codes without routines give null pairs, whatever their value.
    for (ASIOSampleType type : {-1, 5, 12, 28, ASIOSTDSDInt8LSB1, ASIOSTDSDInt8NER8, 1 << 30}) {
        EXPECT_EQ(InputConverter(type).ic32, nullptr) << type;
        EXPECT_EQ(OutputConverter(type).oc64, nullptr) << type;
    }
    InitConversionTables();
    EXPECT_EQ(ProcessorType(), __builtin_cpu_supports("sse") ? kProcessorSse : kProcessorPlain);
}

} // namespace
} // namespace peldor
