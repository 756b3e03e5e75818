#pragma once
// The floating-point state plugins run under. Every dispatcher call and every host-callback
// entry loads it first, so a plugin never sees exceptions unmasked by another library or a
// rounding mode left behind by the previous plugin.

#include <cstdint>

namespace peldor {

/// x87 control word for plugin calls: all exceptions masked, 64-bit precision, round to
/// nearest.
inline constexpr std::uint16_t kPluginFpuControlWord = 0x133F;

/// Clears pending floating-point exceptions, loads kPluginFpuControlWord into the x87 unit and
/// sets MXCSR to all exceptions masked with round to nearest (flush-to-zero and
/// denormals-are-zero are kept as they were). Any thread, a few instructions, no system call.
void PreparePluginFpu() noexcept;

/// Both control registers, saved around foreign code that may change them (loading a library).
struct TFpuControlState {
    std::uint16_t x87 = 0;
    std::uint32_t mxcsr = 0;
};

/// Any thread; no system call.
TFpuControlState SaveFpuControlState() noexcept;
void RestoreFpuControlState(const TFpuControlState& state) noexcept;

} // namespace peldor
