#pragma once
// Conversion between the drivers' 18 sample types and the host's 32-bit and 64-bit float
// arrays, the clip routines that keep float samples in range, and the output dither.
//
// Every routine works on one channel of `count` samples, allocates nothing and trusts its
// arguments (count >= 0, both buffers at least count samples long). Driver buffers need no
// particular alignment. The process-wide tables are written on the window thread only (at
// start-up and when the host's ConvertOptimizations or OutputDither change); the host copies
// a channel's routines from them when it creates its buffers.

#include "audio_io/asio_types.h"

#include <array>
#include <cstdint>

namespace peldor {

using TInConvert32 = void (*)(const void* source, float* target, std::int32_t count) noexcept;
using TInConvert64 = void (*)(const void* source, double* target, std::int32_t count) noexcept;
using TOutConvert32 = void (*)(const float* source, void* target, std::int32_t count) noexcept;
using TOutConvert64 = void (*)(const double* source, void* target, std::int32_t count) noexcept;
using TClip32 = void (*)(float* data, std::int32_t count) noexcept;
using TClip64 = void (*)(double* data, std::int32_t count) noexcept;

/// Input routine pair of one sample type; both null when the type has no routines.
struct TInConverter {
    TInConvert32 ic32 = nullptr;
    TInConvert64 ic64 = nullptr;
};
/// Output routine pair of one sample type; both null when the type has no routines.
struct TOutConverter {
    TOutConvert32 oc32 = nullptr;
    TOutConvert64 oc64 = nullptr;
};
/// Clip routine pair.
struct TClipBuffer {
    TClip32 cb32 = nullptr;
    TClip64 cb64 = nullptr;
};

/// Processor-specific routine sets the host may use (a bit set).
using TConvertOptimizations = std::uint8_t;
inline constexpr TConvertOptimizations coSSE = 1;
inline constexpr TConvertOptimizations co3DNow = 2;
inline constexpr TConvertOptimizations kAllConvertOptimizations = coSSE | co3DNow;

/// Dither of the integer outputs: none, rectangular, triangular.
enum class TASIOOutputDither : std::uint8_t { odNone, odUDF, odTDF };

/// Processor types: plain, SSE present, 3DNow! present (3DNow! wins when both are).
inline constexpr std::uint8_t kProcessorPlain = 0;
inline constexpr std::uint8_t kProcessorSse = 1;
inline constexpr std::uint8_t kProcessor3DNow = 2;

/// Table slots: one per sample-type code 0..27 (codes without routines hold null pairs).
inline constexpr int kConversionTableSize = 28;

/// One set of routines. In a processor-specific or dither set, null entries mean "keep the
/// routine already installed".
struct TConversionSet {
    std::array<TInConverter, kConversionTableSize> In{};
    std::array<TOutConverter, kConversionTableSize> Out{};
    TClipBuffer Digital{};
    TClipBuffer Analog{};
};

// ---- The variant sets, for the selection below and for tests and benchmarks ----------------

/// Every routine of the 18 types and both clip pairs, written without processor-specific code.
const TConversionSet& PlainConversionSet() noexcept;
/// Four-lane digital (groups of 16) and analog (groups of 4) 32-bit clip routines.
const TConversionSet& SseConversionSet() noexcept;
/// Two-lane 32-bit input and output routines of types 18 and 24-27 (groups of 8 samples).
const TConversionSet& TwoLaneConversionSet() noexcept;
/// Output pairs of the six dither-capable types (16, 17, 24-27) with rectangular or
/// triangular dither.
const TConversionSet& RectangularDitherSet() noexcept;
const TConversionSet& TriangularDitherSet() noexcept;

// ---- Process-wide tables (window thread) --------------------------------------------------------

/// Builds the plain tables, detects the processor type by CPUID and applies the SSE set and
/// then the 3DNow! set as far as the processor has them. Call once at start-up; calling it
/// again starts over.
void InitConversionTables();

/// The processor type found by InitConversionTables (or set by a test).
std::uint8_t ProcessorType() noexcept;
/// Overrides the processor type, so tests can exercise every selection. Does not touch the
/// tables.
void SetProcessorType(std::uint8_t type) noexcept;

/// Plain set, then the SSE set when the processor type is SSE and coSSE is allowed, or the
/// 3DNow! set when the type is 3DNow! and co3DNow is allowed.
void SelectConvertOptimizations(TConvertOptimizations allowed);
/// odNone: SelectConvertOptimizations(allowed). odUDF, odTDF: the plain set, the dither state
/// seeded from the tick count, and the six dither-capable output pairs replaced.
void SelectOutputDither(TASIOOutputDither dither, TConvertOptimizations allowed);

/// The installed input or output pair of a sample type; null pairs for any code without
/// routines (negative, above 27, or one of the unused codes).
TInConverter InputConverter(ASIOSampleType type) noexcept;
TOutConverter OutputConverter(ASIOSampleType type) noexcept;
/// The installed digital and analog clip pairs.
TClipBuffer DigitalClipPair() noexcept;
TClipBuffer AnalogClipPair() noexcept;

// ---- Dither random state -----------------------------------------------------------------------

/// Sets the dither state (state := state * 134775813 + 1 per draw). Any thread.
void SeedDither(std::uint32_t seed) noexcept;
/// The current dither state. Any thread.
std::uint32_t DitherState() noexcept;

} // namespace peldor
