#include "midi/midi_backend.h"

#include "midi/short_message.h"

namespace peldor {

int ShortMessageLength(std::uint8_t status) noexcept {
    constexpr std::uint8_t kSysexStart = 0xF0;
    constexpr std::uint8_t kTimeCodeQuarterFrame = 0xF1;
    constexpr std::uint8_t kSongPosition = 0xF2;
    constexpr std::uint8_t kSongSelect = 0xF3;
    constexpr std::uint8_t kSysexEnd = 0xF7;
    if ((status & kStatusBit) == 0 || status == kSysexStart || status == kSysexEnd) {
        return 0;
    }
    switch (status & kCommandMask) {
    case kProgramChange:
    case kChannelPressure:
        return 2;
    case kSystem:
        if (status == kTimeCodeQuarterFrame || status == kSongSelect) {
            return 2;
        }
        return status == kSongPosition ? 3 : 1;
    default:
        return 3;
    }
}

} // namespace peldor
