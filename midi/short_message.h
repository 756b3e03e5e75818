#pragma once
// A short MIDI message as the device layer and the routing pass it around: status in the lowest
// byte of a 32-bit word, data 1 in the next, data 2 in the third. The highest byte is cleared
// before routing.

#include <cstdint>

namespace peldor {

/// The three bytes of a short message.
struct TShortMessage {
    std::uint8_t Status = 0;
    std::uint8_t Data1 = 0;
    std::uint8_t Data2 = 0;

    friend bool operator==(const TShortMessage&, const TShortMessage&) = default;
};

// Status bytes and masks the routing and the descriptions look at.
inline constexpr std::uint8_t kStatusBit = 0x80;
inline constexpr std::uint8_t kDataMask = 0x7F;
inline constexpr std::uint8_t kChannelMask = 0x0F;
/// The message type without the status bit: 0x00 note off ... 0x70 system.
inline constexpr std::uint8_t kTypeMask = 0x70;
inline constexpr std::uint8_t kCommandMask = 0xF0;
inline constexpr std::uint8_t kNoteOff = 0x80;
inline constexpr std::uint8_t kNoteOn = 0x90;
inline constexpr std::uint8_t kPolyPressure = 0xA0;
inline constexpr std::uint8_t kControlChange = 0xB0;
inline constexpr std::uint8_t kProgramChange = 0xC0;
inline constexpr std::uint8_t kChannelPressure = 0xD0;
inline constexpr std::uint8_t kPitchBend = 0xE0;
inline constexpr std::uint8_t kSystem = 0xF0;
inline constexpr std::uint8_t kActiveSensing = 0xFE;

// Controller numbers with a meaning of their own here.
inline constexpr std::uint8_t kCcBankSelect = 0;
inline constexpr std::uint8_t kCcVolume = 7;
inline constexpr std::uint8_t kCcBalance = 8;
inline constexpr std::uint8_t kCcPan = 10;
inline constexpr std::uint8_t kCcBankSelectLsb = 32;
inline constexpr std::uint8_t kCcSustain = 64;
inline constexpr std::uint8_t kCcAllSoundOff = 120;
inline constexpr std::uint8_t kCcAllNotesOff = 123;

/// Splits a short-message word. Any thread, no checks.
constexpr TShortMessage UnpackShortMessage(std::uint32_t word) noexcept {
    return {static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>((word >> 8) & 0xFF),
            static_cast<std::uint8_t>((word >> 16) & 0xFF)};
}

/// Builds a short-message word with the highest byte 0. Any thread, no checks.
constexpr std::uint32_t PackShortMessage(TShortMessage message) noexcept {
    return static_cast<std::uint32_t>(message.Status) |
           (static_cast<std::uint32_t>(message.Data1) << 8) |
           (static_cast<std::uint32_t>(message.Data2) << 16);
}

constexpr std::uint32_t PackShortMessage(std::uint8_t status, std::uint8_t data1,
                                         std::uint8_t data2) noexcept {
    return PackShortMessage(TShortMessage{status, data1, data2});
}

/// True when the status has its top bit and neither data byte has it.
constexpr bool IsWellFormed(TShortMessage message) noexcept {
    return (message.Status & kStatusBit) != 0 && (message.Data1 & kStatusBit) == 0 &&
           (message.Data2 & kStatusBit) == 0;
}

} // namespace peldor
