#pragma once
// The two mixing kernels of ProcessBlock, in a scalar and an SSE variant. They are the only
// processor-specific code of the engine. n may be any length, including 0.

#include <cstdint>
#include <xmmintrin.h>

namespace peldor {

struct ScalarKernels {
    /// dst[i] += src[i]
    static void AddBuffer(const float* src, float* dst, std::int32_t n) noexcept {
        for (std::int32_t i = 0; i < n; ++i) {
            dst[i] += src[i];
        }
    }
    /// dst[i] += gain * src[i]
    static void AddScaled(const float* src, float* dst, float gain, std::int32_t n) noexcept {
        for (std::int32_t i = 0; i < n; ++i) {
            dst[i] += gain * src[i];
        }
    }
};

struct SseKernels {
    /// Groups of 16 samples (four 4-lane additions, unaligned), then the remaining n mod 16
    /// samples one by one from the last towards the first.
    static void AddBuffer(const float* src, float* dst, std::int32_t n) noexcept {
        constexpr std::int32_t kGroup = 16;
        const std::int32_t groups = n > 0 ? n / kGroup : 0;
        for (std::int32_t g = 0; g < groups; ++g) {
            const float* s = src + g * kGroup;
            float* d = dst + g * kGroup;
            _mm_storeu_ps(d, _mm_add_ps(_mm_loadu_ps(d), _mm_loadu_ps(s)));
            _mm_storeu_ps(d + 4, _mm_add_ps(_mm_loadu_ps(d + 4), _mm_loadu_ps(s + 4)));
            _mm_storeu_ps(d + 8, _mm_add_ps(_mm_loadu_ps(d + 8), _mm_loadu_ps(s + 8)));
            _mm_storeu_ps(d + 12, _mm_add_ps(_mm_loadu_ps(d + 12), _mm_loadu_ps(s + 12)));
        }
        for (std::int32_t i = n - 1; i >= groups * kGroup; --i) {
            dst[i] += src[i];
        }
    }
    /// The gain broadcast into four lanes, groups of 8 samples (two multiply-and-add steps),
    /// then the remaining n mod 8 samples one by one from the last towards the first.
    static void AddScaled(const float* src, float* dst, float gain, std::int32_t n) noexcept {
        constexpr std::int32_t kGroup = 8;
        const std::int32_t groups = n > 0 ? n / kGroup : 0;
        const __m128 g4 = _mm_set1_ps(gain);
        for (std::int32_t g = 0; g < groups; ++g) {
            const float* s = src + g * kGroup;
            float* d = dst + g * kGroup;
            _mm_storeu_ps(d, _mm_add_ps(_mm_loadu_ps(d), _mm_mul_ps(g4, _mm_loadu_ps(s))));
            _mm_storeu_ps(d + 4,
                          _mm_add_ps(_mm_loadu_ps(d + 4), _mm_mul_ps(g4, _mm_loadu_ps(s + 4))));
        }
        for (std::int32_t i = n - 1; i >= groups * kGroup; --i) {
            dst[i] += gain * src[i];
        }
    }
};

/// Root mean square of the first four samples (fewer when n < 4), each partial sum rounded to
/// a 32-bit float; 0.0 for a null buffer. The rest of the buffer is not read.
inline float LevelOf(const float* buffer, std::int32_t n) noexcept {
    if (buffer == nullptr || n <= 0) {
        return 0.0f;
    }
    constexpr std::int32_t kEstimateSamples = 4;
    const std::int32_t count = n < kEstimateSamples ? n : kEstimateSamples;
    float s = buffer[0] * buffer[0];
    for (std::int32_t i = 1; i < count; ++i) {
        s = buffer[i] * buffer[i] + s;
    }
    return static_cast<float>(__builtin_sqrtf(s * 0.25f));
}

} // namespace peldor
