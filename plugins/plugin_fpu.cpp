#include "plugins/plugin_fpu.h"

#include <cfenv>
#include <xmmintrin.h>

namespace peldor {
namespace {

constexpr std::uint32_t kMxcsrExceptionMasks = 0x1F80; // bits 7-12
constexpr std::uint32_t kMxcsrKeptBits = 0x8040;       // flush-to-zero (15), denormals-are-zero (6)

} // namespace

void PreparePluginFpu() noexcept {
    std::feclearexcept(FE_ALL_EXCEPT);
    const std::uint16_t controlWord = kPluginFpuControlWord;
    __asm__ volatile("fldcw %0" : : "m"(controlWord));
    // Rounding bits 13-14 cleared: round to nearest. Pending flags (0-5) cleared as well.
    _mm_setcsr((_mm_getcsr() & kMxcsrKeptBits) | kMxcsrExceptionMasks);
}

TFpuControlState SaveFpuControlState() noexcept {
    TFpuControlState state;
    __asm__ volatile("fnstcw %0" : "=m"(state.x87));
    state.mxcsr = _mm_getcsr();
    return state;
}

void RestoreFpuControlState(const TFpuControlState& state) noexcept {
    __asm__ volatile("fnclex");
    __asm__ volatile("fldcw %0" : : "m"(state.x87));
    _mm_setcsr(state.mxcsr);
}

} // namespace peldor
