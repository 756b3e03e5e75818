#include "audio_io/sample_conversion.h"

#include "engine/relaxed.h"

#include <cmath>
#include <cpuid.h>
#include <cstring>
#include <ctime>
#include <emmintrin.h>

namespace peldor {
namespace {

using Byte = std::uint8_t;

/// Rounds to the nearest integer, ties to even, under the default rounding mode. A value
/// outside the 32-bit range gives 0x80000000, as the processor's conversion does; every
/// variant uses the same instruction so they agree even there.
inline std::int32_t RoundToInt(double v) noexcept {
    return _mm_cvtsd_si32(_mm_set_sd(v));
}

// ---- Sample formats -----------------------------------------------------------------------------
// Each format knows its width and how to read one sample as a float or double and write one.

/// Integers of 2, 3 (packed) or 4 bytes, scaled by F. Swap: big-endian in the driver buffer.
template <int Width, bool Swap, std::int32_t F> struct IntFormat {
    static constexpr int kWidth = Width;
    static constexpr double kScale = static_cast<double>(F);
    static constexpr double kInverse = 1.0 / static_cast<double>(F);
    // The 16-bit types hold their input factor as a 32-bit float.
    static constexpr float kInverse16 = static_cast<float>(1.0 / 32767.0);

    static std::int32_t Load(const Byte* p) noexcept {
        if constexpr (Width == 2) {
            std::uint16_t u;
            std::memcpy(&u, p, sizeof u);
            if constexpr (Swap) {
                u = __builtin_bswap16(u);
            }
            return static_cast<std::int16_t>(u);
        } else if constexpr (Width == 3) {
            const std::uint32_t u =
                Swap ? (std::uint32_t{p[2]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[0]} << 16)
                     : (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16);
            // The third byte's top bit is the sign.
            return static_cast<std::int32_t>(u << 8) >> 8;
        } else {
            std::uint32_t u;
            std::memcpy(&u, p, sizeof u);
            if constexpr (Swap) {
                u = __builtin_bswap32(u);
            }
            return static_cast<std::int32_t>(u);
        }
    }

    static void Store(std::int32_t v, Byte* p) noexcept {
        const auto u = static_cast<std::uint32_t>(v);
        if constexpr (Width == 2) {
            std::uint16_t w = static_cast<std::uint16_t>(u);
            if constexpr (Swap) {
                w = __builtin_bswap16(w);
            }
            std::memcpy(p, &w, sizeof w);
        } else if constexpr (Width == 3) {
            const Byte low = static_cast<Byte>(u), mid = static_cast<Byte>(u >> 8),
                       high = static_cast<Byte>(u >> 16);
            p[0] = Swap ? high : low;
            p[1] = mid;
            p[2] = Swap ? low : high;
        } else {
            std::uint32_t w = u;
            if constexpr (Swap) {
                w = __builtin_bswap32(w);
            }
            std::memcpy(p, &w, sizeof w);
        }
    }

    static float ToFloat(const Byte* p) noexcept {
        if constexpr (Width == 2) {
            return static_cast<float>(Load(p)) * kInverse16;
        } else {
            return static_cast<float>(static_cast<double>(Load(p)) * kInverse);
        }
    }
    static double ToDouble(const Byte* p) noexcept {
        if constexpr (Width == 2) {
            return static_cast<double>(Load(p)) * static_cast<double>(kInverse16);
        } else {
            return static_cast<double>(Load(p)) * kInverse;
        }
    }
    static void FromFloat(float x, Byte* p) noexcept {
        Store(RoundToInt(static_cast<double>(x) * kScale), p);
    }
    static void FromDouble(double x, Byte* p) noexcept { Store(RoundToInt(x * kScale), p); }
};

/// IEEE floats of 4 or 8 bytes, copied (widened or narrowed to the array's precision).
template <typename T, bool Swap> struct FloatFormat {
    static_assert(sizeof(T) == 4 || sizeof(T) == 8);
    static constexpr int kWidth = sizeof(T);
    using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;

    static T Load(const Byte* p) noexcept {
        Bits b;
        std::memcpy(&b, p, sizeof b);
        if constexpr (Swap) {
            if constexpr (sizeof(T) == 4) {
                b = __builtin_bswap32(b);
            } else {
                b = __builtin_bswap64(b);
            }
        }
        T v;
        std::memcpy(&v, &b, sizeof v);
        return v;
    }
    static void Store(T v, Byte* p) noexcept {
        Bits b;
        std::memcpy(&b, &v, sizeof b);
        if constexpr (Swap) {
            if constexpr (sizeof(T) == 4) {
                b = __builtin_bswap32(b);
            } else {
                b = __builtin_bswap64(b);
            }
        }
        std::memcpy(p, &b, sizeof b);
    }
    static float ToFloat(const Byte* p) noexcept { return static_cast<float>(Load(p)); }
    static double ToDouble(const Byte* p) noexcept { return static_cast<double>(Load(p)); }
    static void FromFloat(float x, Byte* p) noexcept { Store(static_cast<T>(x), p); }
    static void FromDouble(double x, Byte* p) noexcept { Store(static_cast<T>(x), p); }
};

constexpr std::int32_t k16 = 32767;
constexpr std::int32_t k18 = 131071;
constexpr std::int32_t k20 = 524287;
constexpr std::int32_t k24 = 8388607;
constexpr std::int32_t k32 = 2147483647;

using FmtInt16MSB = IntFormat<2, true, k16>;
using FmtInt24MSB = IntFormat<3, true, k24>;
using FmtInt32MSB = IntFormat<4, true, k32>;
using FmtFloat32MSB = FloatFormat<float, true>;
using FmtFloat64MSB = FloatFormat<double, true>;
using FmtInt32MSB16 = IntFormat<4, true, k16>;
using FmtInt32MSB18 = IntFormat<4, true, k18>;
using FmtInt32MSB20 = IntFormat<4, true, k20>;
using FmtInt32MSB24 = IntFormat<4, true, k24>;
using FmtInt16LSB = IntFormat<2, false, k16>;
using FmtInt24LSB = IntFormat<3, false, k24>;
using FmtInt32LSB = IntFormat<4, false, k32>;
using FmtFloat32LSB = FloatFormat<float, false>;
using FmtFloat64LSB = FloatFormat<double, false>;
using FmtInt32LSB16 = IntFormat<4, false, k16>;
using FmtInt32LSB18 = IntFormat<4, false, k18>;
using FmtInt32LSB20 = IntFormat<4, false, k20>;
using FmtInt32LSB24 = IntFormat<4, false, k24>;

// ---- Plain routines -----------------------------------------------------------------------------

template <typename Fmt>
void PlainIn32(const void* source, float* target, std::int32_t count) noexcept {
    const Byte* p = static_cast<const Byte*>(source);
    for (std::int32_t i = 0; i < count; ++i) {
        target[i] = Fmt::ToFloat(p + static_cast<std::ptrdiff_t>(i) * Fmt::kWidth);
    }
}
template <typename Fmt>
void PlainIn64(const void* source, double* target, std::int32_t count) noexcept {
    const Byte* p = static_cast<const Byte*>(source);
    for (std::int32_t i = 0; i < count; ++i) {
        target[i] = Fmt::ToDouble(p + static_cast<std::ptrdiff_t>(i) * Fmt::kWidth);
    }
}
template <typename Fmt>
void PlainOut32(const float* source, void* target, std::int32_t count) noexcept {
    Byte* p = static_cast<Byte*>(target);
    for (std::int32_t i = 0; i < count; ++i) {
        Fmt::FromFloat(source[i], p + static_cast<std::ptrdiff_t>(i) * Fmt::kWidth);
    }
}
template <typename Fmt>
void PlainOut64(const double* source, void* target, std::int32_t count) noexcept {
    Byte* p = static_cast<Byte*>(target);
    for (std::int32_t i = 0; i < count; ++i) {
        Fmt::FromDouble(source[i], p + static_cast<std::ptrdiff_t>(i) * Fmt::kWidth);
    }
}

// Packed 24-bit samples: every sample but the last is read (and written) as a 4-byte word that
// reaches into the next sample, which is converted after it; the last one goes byte by byte, so
// nothing outside the buffer is ever touched.
template <bool Swap> inline std::int32_t LoadInt24Word(const Byte* p) noexcept {
    std::uint32_t u;
    std::memcpy(&u, p, sizeof u);
    if constexpr (Swap) {
        return static_cast<std::int32_t>(__builtin_bswap32(u)) >> 8;
    } else {
        return static_cast<std::int32_t>(u << 8) >> 8;
    }
}
template <bool Swap> inline void StoreInt24Word(std::int32_t v, Byte* p) noexcept {
    std::uint32_t u = static_cast<std::uint32_t>(v);
    if constexpr (Swap) {
        u = __builtin_bswap32(u << 8);
    }
    std::memcpy(p, &u, sizeof u);
}

template <typename Fmt, bool Swap>
void Int24In32(const void* source, float* target, std::int32_t count) noexcept {
    const Byte* p = static_cast<const Byte*>(source);
    for (std::int32_t i = 0; i < count - 1; ++i) {
        target[i] =
            static_cast<float>(static_cast<double>(LoadInt24Word<Swap>(p + 3 * i)) * Fmt::kInverse);
    }
    if (count > 0) {
        target[count - 1] = Fmt::ToFloat(p + 3 * (count - 1));
    }
}
template <typename Fmt, bool Swap>
void Int24Out32(const float* source, void* target, std::int32_t count) noexcept {
    Byte* p = static_cast<Byte*>(target);
    for (std::int32_t i = 0; i < count - 1; ++i) {
        StoreInt24Word<Swap>(RoundToInt(static_cast<double>(source[i]) * Fmt::kScale), p + 3 * i);
    }
    if (count > 0) {
        Fmt::FromFloat(source[count - 1], p + 3 * (count - 1));
    }
}

// Float32LSB is the format of the host's own arrays: a straight copy.
template <>
void PlainIn32<FmtFloat32LSB>(const void* source, float* target, std::int32_t count) noexcept {
    if (count > 0) {
        std::memcpy(target, source, sizeof(float) * static_cast<std::size_t>(count));
    }
}
template <>
void PlainOut32<FmtFloat32LSB>(const float* source, void* target, std::int32_t count) noexcept {
    if (count > 0) {
        std::memcpy(target, source, sizeof(float) * static_cast<std::size_t>(count));
    }
}
template <>
void PlainIn64<FmtFloat64LSB>(const void* source, double* target, std::int32_t count) noexcept {
    if (count > 0) {
        std::memcpy(target, source, sizeof(double) * static_cast<std::size_t>(count));
    }
}
template <>
void PlainOut64<FmtFloat64LSB>(const double* source, void* target, std::int32_t count) noexcept {
    if (count > 0) {
        std::memcpy(target, source, sizeof(double) * static_cast<std::size_t>(count));
    }
}

// ---- Dither -------------------------------------------------------------------------------------

Relaxed<std::uint32_t> ditherState{0};

constexpr std::uint32_t kDitherMultiplier = 134775813u;
constexpr double kTwoPowMinus32 = 0x1p-32;
constexpr double kTwoPowMinus33 = 0x1p-33;

inline std::int32_t NextDither(std::uint32_t& state) noexcept {
    state = state * kDitherMultiplier + 1u;
    return static_cast<std::int32_t>(state);
}

/// Noise in least significant steps: uniform in [-0.5, 0.5), or triangular over (-1, 1) / 2.
template <bool Triangular> inline double DitherNoise(std::uint32_t& state) noexcept {
    if constexpr (Triangular) {
        const double r1 = NextDither(state);
        const double r2 = NextDither(state);
        return (r1 + r2) * kTwoPowMinus33;
    } else {
        return static_cast<double>(NextDither(state)) * kTwoPowMinus32;
    }
}

template <typename Fmt, bool Triangular>
void DitherOut32(const float* source, void* target, std::int32_t count) noexcept {
    Byte* p = static_cast<Byte*>(target);
    std::uint32_t state = ditherState.Load();
    for (std::int32_t i = 0; i < count; ++i) {
        const double v =
            static_cast<double>(source[i]) * Fmt::kScale + DitherNoise<Triangular>(state);
        Fmt::Store(RoundToInt(v), p + static_cast<std::ptrdiff_t>(i) * Fmt::kWidth);
    }
    ditherState.Store(state);
}
template <typename Fmt, bool Triangular>
void DitherOut64(const double* source, void* target, std::int32_t count) noexcept {
    Byte* p = static_cast<Byte*>(target);
    std::uint32_t state = ditherState.Load();
    for (std::int32_t i = 0; i < count; ++i) {
        const double v = source[i] * Fmt::kScale + DitherNoise<Triangular>(state);
        Fmt::Store(RoundToInt(v), p + static_cast<std::ptrdiff_t>(i) * Fmt::kWidth);
    }
    ditherState.Store(state);
}

// ---- Clip routines ------------------------------------------------------------------------------

constexpr std::uint32_t kMagnitudeMask = 0x7FFFFFFFu;
constexpr std::uint32_t kSignMask = 0x80000000u;
constexpr std::uint32_t kOneBits = 0x3F800000u; // 1.0f

/// Compares the magnitude's bits with those of 1.0, so infinities and NaNs become +-1 too.
inline float DigitalClipSample(float x) noexcept {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    if ((bits & kMagnitudeMask) > kOneBits) {
        bits = (bits & kSignMask) | kOneBits;
        std::memcpy(&x, &bits, sizeof x);
    }
    return x;
}

/// 2x(3 + |x|) / (6 + |x|(3 + |x|)), worked in double so that no float input overflows the
/// intermediate terms (the curve tends to +-2).
inline float AnalogClipSample(float x) noexcept {
    const double xd = x;
    const double a = std::fabs(xd);
    const double t = 3.0 + a;
    return static_cast<float>((2.0 * xd) * t / (6.0 + a * t));
}

void PlainDigitalClip32(float* data, std::int32_t count) noexcept {
    for (std::int32_t i = 0; i < count; ++i) {
        data[i] = DigitalClipSample(data[i]);
    }
}
void PlainDigitalClip64(double* data, std::int32_t count) noexcept {
    for (std::int32_t i = 0; i < count; ++i) {
        const double x = data[i];
        data[i] = 0.5 * (std::fabs(x + 1.0) - std::fabs(x - 1.0));
    }
}
void PlainAnalogClip32(float* data, std::int32_t count) noexcept {
    for (std::int32_t i = 0; i < count; ++i) {
        data[i] = AnalogClipSample(data[i]);
    }
}
void PlainAnalogClip64(double* data, std::int32_t count) noexcept {
    for (std::int32_t i = 0; i < count; ++i) {
        const double x = data[i];
        const double a = std::fabs(x);
        const double t = 3.0 + a;
        data[i] = (2.0 * x) * t / (6.0 + a * t);
    }
}

// ---- SSE clip variants ----------------------------------------------------------------------

void SseDigitalClip32(float* data, std::int32_t count) noexcept {
    constexpr std::int32_t kGroup = 16;
    const std::int32_t groups = count > 0 ? count / kGroup : 0;
    const __m128i magnitudeMask = _mm_set1_epi32(static_cast<int>(kMagnitudeMask));
    const __m128i signMask = _mm_set1_epi32(static_cast<int>(kSignMask));
    const __m128i one = _mm_set1_epi32(static_cast<int>(kOneBits));
    for (std::int32_t g = 0; g < groups; ++g) {
        float* d = data + g * kGroup;
        for (int lane = 0; lane < kGroup; lane += 4) {
            auto* at = reinterpret_cast<__m128i*>(d + lane);
            const __m128i x = _mm_loadu_si128(at);
            const __m128i over = _mm_cmpgt_epi32(_mm_and_si128(x, magnitudeMask), one);
            const __m128i clipped = _mm_or_si128(_mm_and_si128(x, signMask), one);
            _mm_storeu_si128(at,
                             _mm_or_si128(_mm_and_si128(over, clipped), _mm_andnot_si128(over, x)));
        }
    }
    for (std::int32_t i = count - 1; i >= groups * kGroup; --i) {
        data[i] = DigitalClipSample(data[i]);
    }
}

inline __m128d AnalogClipPair(__m128d x) noexcept {
    const __m128d a = _mm_andnot_pd(_mm_set1_pd(-0.0), x);
    const __m128d t = _mm_add_pd(_mm_set1_pd(3.0), a);
    const __m128d numerator = _mm_mul_pd(_mm_mul_pd(_mm_set1_pd(2.0), x), t);
    const __m128d denominator = _mm_add_pd(_mm_set1_pd(6.0), _mm_mul_pd(a, t));
    return _mm_div_pd(numerator, denominator);
}

void SseAnalogClip32(float* data, std::int32_t count) noexcept {
    constexpr std::int32_t kGroup = 4;
    const std::int32_t groups = count > 0 ? count / kGroup : 0;
    for (std::int32_t g = 0; g < groups; ++g) {
        float* d = data + g * kGroup;
        const __m128 x = _mm_loadu_ps(d);
        const __m128 low = _mm_cvtpd_ps(AnalogClipPair(_mm_cvtps_pd(x)));
        const __m128 high = _mm_cvtpd_ps(AnalogClipPair(_mm_cvtps_pd(_mm_movehl_ps(x, x))));
        _mm_storeu_ps(d, _mm_movelh_ps(low, high));
    }
    for (std::int32_t i = count - 1; i >= groups * kGroup; --i) {
        data[i] = AnalogClipSample(data[i]);
    }
}

// ---- Two-lane input and output variants (32-bit little-endian containers) -------------------

template <typename Fmt>
void TwoLaneIn32(const void* source, float* target, std::int32_t count) noexcept {
    constexpr std::int32_t kGroup = 8;
    const std::int32_t groups = count > 0 ? count / kGroup : 0;
    const auto* s = static_cast<const Byte*>(source);
    const __m128d inverse = _mm_set1_pd(Fmt::kInverse);
    for (std::int32_t g = 0; g < groups; ++g) {
        for (int pair = 0; pair < kGroup; pair += 2) {
            const std::int32_t i = g * kGroup + pair;
            const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + 4 * i));
            const __m128 f = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtepi32_pd(v), inverse));
            _mm_storel_pi(reinterpret_cast<__m64*>(target + i), f);
        }
    }
    for (std::int32_t i = count - 1; i >= groups * kGroup; --i) {
        target[i] = Fmt::ToFloat(s + 4 * static_cast<std::ptrdiff_t>(i));
    }
}

template <typename Fmt>
void TwoLaneOut32(const float* source, void* target, std::int32_t count) noexcept {
    constexpr std::int32_t kGroup = 8;
    const std::int32_t groups = count > 0 ? count / kGroup : 0;
    auto* d = static_cast<Byte*>(target);
    const __m128d scale = _mm_set1_pd(Fmt::kScale);
    for (std::int32_t g = 0; g < groups; ++g) {
        for (int pair = 0; pair < kGroup; pair += 2) {
            const std::int32_t i = g * kGroup + pair;
            const __m128 f =
                _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(source + i)));
            const __m128i v = _mm_cvtpd_epi32(_mm_mul_pd(_mm_cvtps_pd(f), scale));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 4 * i), v);
        }
    }
    for (std::int32_t i = count - 1; i >= groups * kGroup; --i) {
        Fmt::FromFloat(source[i], d + 4 * static_cast<std::ptrdiff_t>(i));
    }
}

// ---- The sets -----------------------------------------------------------------------------------

template <typename Fmt> void PutPlain(TConversionSet& set, ASIOSampleType type) {
    set.In[type] = {&PlainIn32<Fmt>, &PlainIn64<Fmt>};
    set.Out[type] = {&PlainOut32<Fmt>, &PlainOut64<Fmt>};
}

TConversionSet BuildPlainSet() {
    TConversionSet set;
    PutPlain<FmtInt16MSB>(set, ASIOSTInt16MSB);
    PutPlain<FmtInt24MSB>(set, ASIOSTInt24MSB);
    set.In[ASIOSTInt24MSB].ic32 = &Int24In32<FmtInt24MSB, true>;
    set.Out[ASIOSTInt24MSB].oc32 = &Int24Out32<FmtInt24MSB, true>;
    PutPlain<FmtInt32MSB>(set, ASIOSTInt32MSB);
    PutPlain<FmtFloat32MSB>(set, ASIOSTFloat32MSB);
    PutPlain<FmtFloat64MSB>(set, ASIOSTFloat64MSB);
    PutPlain<FmtInt32MSB16>(set, ASIOSTInt32MSB16);
    PutPlain<FmtInt32MSB18>(set, ASIOSTInt32MSB18);
    PutPlain<FmtInt32MSB20>(set, ASIOSTInt32MSB20);
    PutPlain<FmtInt32MSB24>(set, ASIOSTInt32MSB24);
    PutPlain<FmtInt16LSB>(set, ASIOSTInt16LSB);
    PutPlain<FmtInt24LSB>(set, ASIOSTInt24LSB);
    set.In[ASIOSTInt24LSB].ic32 = &Int24In32<FmtInt24LSB, false>;
    set.Out[ASIOSTInt24LSB].oc32 = &Int24Out32<FmtInt24LSB, false>;
    PutPlain<FmtInt32LSB>(set, ASIOSTInt32LSB);
    PutPlain<FmtFloat32LSB>(set, ASIOSTFloat32LSB);
    PutPlain<FmtFloat64LSB>(set, ASIOSTFloat64LSB);
    PutPlain<FmtInt32LSB16>(set, ASIOSTInt32LSB16);
    PutPlain<FmtInt32LSB18>(set, ASIOSTInt32LSB18);
    PutPlain<FmtInt32LSB20>(set, ASIOSTInt32LSB20);
    PutPlain<FmtInt32LSB24>(set, ASIOSTInt32LSB24);
    set.Digital = {&PlainDigitalClip32, &PlainDigitalClip64};
    set.Analog = {&PlainAnalogClip32, &PlainAnalogClip64};
    return set;
}

TConversionSet BuildSseSet() {
    TConversionSet set;
    set.Digital.cb32 = &SseDigitalClip32;
    set.Analog.cb32 = &SseAnalogClip32;
    return set;
}

template <typename Fmt> void PutTwoLane(TConversionSet& set, ASIOSampleType type) {
    set.In[type].ic32 = &TwoLaneIn32<Fmt>;
    set.Out[type].oc32 = &TwoLaneOut32<Fmt>;
}

TConversionSet BuildTwoLaneSet() {
    TConversionSet set;
    PutTwoLane<FmtInt32LSB>(set, ASIOSTInt32LSB);
    PutTwoLane<FmtInt32LSB16>(set, ASIOSTInt32LSB16);
    PutTwoLane<FmtInt32LSB18>(set, ASIOSTInt32LSB18);
    PutTwoLane<FmtInt32LSB20>(set, ASIOSTInt32LSB20);
    PutTwoLane<FmtInt32LSB24>(set, ASIOSTInt32LSB24);
    return set;
}

template <typename Fmt, bool Triangular> void PutDither(TConversionSet& set, ASIOSampleType type) {
    set.Out[type] = {&DitherOut32<Fmt, Triangular>, &DitherOut64<Fmt, Triangular>};
}

template <bool Triangular> TConversionSet BuildDitherSet() {
    TConversionSet set;
    PutDither<FmtInt16LSB, Triangular>(set, ASIOSTInt16LSB);
    PutDither<FmtInt24LSB, Triangular>(set, ASIOSTInt24LSB);
    PutDither<FmtInt32LSB16, Triangular>(set, ASIOSTInt32LSB16);
    PutDither<FmtInt32LSB18, Triangular>(set, ASIOSTInt32LSB18);
    PutDither<FmtInt32LSB20, Triangular>(set, ASIOSTInt32LSB20);
    PutDither<FmtInt32LSB24, Triangular>(set, ASIOSTInt32LSB24);
    return set;
}

/// Copies the non-null entries of a set over the installed ones.
void Apply(TConversionSet& installed, const TConversionSet& set) noexcept {
    for (int t = 0; t < kConversionTableSize; ++t) {
        if (set.In[t].ic32 != nullptr) {
            installed.In[t].ic32 = set.In[t].ic32;
        }
        if (set.In[t].ic64 != nullptr) {
            installed.In[t].ic64 = set.In[t].ic64;
        }
        if (set.Out[t].oc32 != nullptr) {
            installed.Out[t].oc32 = set.Out[t].oc32;
        }
        if (set.Out[t].oc64 != nullptr) {
            installed.Out[t].oc64 = set.Out[t].oc64;
        }
    }
    auto applyClip = [](TClipBuffer& to, const TClipBuffer& from) {
        if (from.cb32 != nullptr) {
            to.cb32 = from.cb32;
        }
        if (from.cb64 != nullptr) {
            to.cb64 = from.cb64;
        }
    };
    applyClip(installed.Digital, set.Digital);
    applyClip(installed.Analog, set.Analog);
}

TConversionSet& Installed() {
    static TConversionSet installed = PlainConversionSet();
    return installed;
}

std::uint8_t processorType = kProcessorPlain;

bool CpuHasSse() noexcept {
    constexpr unsigned kSseBit = 1u << 25;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (edx & kSseBit) != 0;
}

bool CpuHas3DNow() noexcept {
    constexpr unsigned kExtendedBase = 0x80000000u;
    constexpr unsigned kExtendedFeatures = 0x80000001u;
    constexpr unsigned k3DNowBit = 1u << 31;
    if (__get_cpuid_max(kExtendedBase, nullptr) <= kExtendedBase) {
        return false;
    }
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(kExtendedFeatures, &eax, &ebx, &ecx, &edx) != 0 && (edx & k3DNowBit) != 0;
}

std::uint32_t TickCount() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    constexpr std::int64_t kMsPerSecond = 1000;
    constexpr std::int64_t kNsPerMs = 1000000;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(now.tv_sec) * kMsPerSecond +
                                      now.tv_nsec / kNsPerMs);
}

} // namespace

const TConversionSet& PlainConversionSet() noexcept {
    static const TConversionSet set = BuildPlainSet();
    return set;
}
const TConversionSet& SseConversionSet() noexcept {
    static const TConversionSet set = BuildSseSet();
    return set;
}
const TConversionSet& TwoLaneConversionSet() noexcept {
    static const TConversionSet set = BuildTwoLaneSet();
    return set;
}
const TConversionSet& RectangularDitherSet() noexcept {
    static const TConversionSet set = BuildDitherSet<false>();
    return set;
}
const TConversionSet& TriangularDitherSet() noexcept {
    static const TConversionSet set = BuildDitherSet<true>();
    return set;
}

void InitConversionTables() {
    TConversionSet& installed = Installed();
    installed = PlainConversionSet();
    processorType = kProcessorPlain;
    if (CpuHasSse()) {
        processorType = kProcessorSse;
        Apply(installed, SseConversionSet());
    }
    if (CpuHas3DNow()) {
        processorType = kProcessor3DNow;
        Apply(installed, TwoLaneConversionSet());
    }
}

std::uint8_t ProcessorType() noexcept {
    return processorType;
}
void SetProcessorType(std::uint8_t type) noexcept {
    processorType = type;
}

void SelectConvertOptimizations(TConvertOptimizations allowed) {
    TConversionSet& installed = Installed();
    installed = PlainConversionSet();
    if (processorType == kProcessorSse && (allowed & coSSE) != 0) {
        Apply(installed, SseConversionSet());
    } else if (processorType == kProcessor3DNow && (allowed & co3DNow) != 0) {
        Apply(installed, TwoLaneConversionSet());
    }
}

void SelectOutputDither(TASIOOutputDither dither, TConvertOptimizations allowed) {
    if (dither == TASIOOutputDither::odNone) {
        SelectConvertOptimizations(allowed);
        return;
    }
    TConversionSet& installed = Installed();
    installed = PlainConversionSet();
    SeedDither(TickCount());
    Apply(installed,
          dither == TASIOOutputDither::odUDF ? RectangularDitherSet() : TriangularDitherSet());
}

TInConverter InputConverter(ASIOSampleType type) noexcept {
    if (type < 0 || type >= kConversionTableSize) {
        return {};
    }
    return Installed().In[type];
}
TOutConverter OutputConverter(ASIOSampleType type) noexcept {
    if (type < 0 || type >= kConversionTableSize) {
        return {};
    }
    return Installed().Out[type];
}
TClipBuffer DigitalClipPair() noexcept {
    return Installed().Digital;
}
TClipBuffer AnalogClipPair() noexcept {
    return Installed().Analog;
}

void SeedDither(std::uint32_t seed) noexcept {
    ditherState.Store(seed);
}
std::uint32_t DitherState() noexcept {
    return ditherState.Load();
}

const char* SampleTypeName(ASIOSampleType type) noexcept {
    switch (type) {
    case ASIOSTInt16MSB:
        return "Int16MSB";
    case ASIOSTInt24MSB:
        return "Int24MSB";
    case ASIOSTInt32MSB:
        return "Int32MSB";
    case ASIOSTFloat32MSB:
        return "Float32MSB";
    case ASIOSTFloat64MSB:
        return "Float64MSB";
    case ASIOSTInt32MSB16:
        return "Int32MSB16";
    case ASIOSTInt32MSB18:
        return "Int32MSB18";
    case ASIOSTInt32MSB20:
        return "Int32MSB20";
    case ASIOSTInt32MSB24:
        return "Int32MSB24";
    case ASIOSTInt16LSB:
        return "Int16LSB";
    case ASIOSTInt24LSB:
        return "Int24LSB";
    case ASIOSTInt32LSB:
        return "Int32LSB";
    case ASIOSTFloat32LSB:
        return "Float32LSB";
    case ASIOSTFloat64LSB:
        return "Float64LSB";
    case ASIOSTInt32LSB16:
        return "Int32LSB16";
    case ASIOSTInt32LSB18:
        return "Int32LSB18";
    case ASIOSTInt32LSB20:
        return "Int32LSB20";
    case ASIOSTInt32LSB24:
        return "Int32LSB24";
    default:
        return "";
    }
}

} // namespace peldor
