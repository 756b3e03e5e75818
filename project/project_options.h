#pragma once
// The project options: one object of global settings that travels with every project file.
// Note naming, active sensing, the two user controller filters, the five remote commands with
// their hotkeys and MIDI patterns, and the engine's expert settings.
//
// Threads: the window thread writes (options dialog, project reader); the MIDI input thread
// reads the routing and remote fields at any time. Every field is a Relaxed<> value read and
// written whole, so a reader sees the old or the new value of each field.

#include "engine/relaxed.h"

#include <array>
#include <cstdint>

namespace peldor {

inline constexpr int kRemoteCommandCount = 5;

/// Remote command indices, in table order.
enum TRemoteCommandIndex : std::int32_t {
    kRemoteNextPart = 0,
    kRemotePreviousPart = 1,
    kRemoteNextSong = 2,
    kRemotePreviousSong = 3,
    kRemotePanic = 4,
};

/// Pattern values for data 1 and data 2 besides 0-255.
inline constexpr std::int16_t kPatternAny = -1;
inline constexpr std::int16_t kPatternAnyButZero = -2;
/// A pattern with this bit set is a mask: its low 8 bits must all be set in the value.
inline constexpr std::int16_t kPatternMaskBit = 0x100;
/// A status of -1 disables a command's MIDI pattern.
inline constexpr std::int16_t kPatternNoStatus = -1;

using TMidiPattern = std::array<Relaxed<std::int16_t>, 3>;

struct TRemoteCommand {
    /// Virtual-key code in the low byte, modifiers 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt.
    Relaxed<std::int16_t> Hotkey{0};
    /// Status, data 1, data 2.
    TMidiPattern Pattern{};
};

class TProjectOptions {
public:
    /// The defaults.
    TProjectOptions();

    /// Pushes what the engine reads (Epsilon, the decimal separator, the oscillator's sine
    /// accuracy and noise colour) into EngineOptions, and the audio thread priority to the
    /// processor's workers when there is a processor. Window thread.
    void Apply() const;

    /// Index 0-4 of the first command whose pattern matches the message, or -1. Any thread;
    /// no allocation.
    std::int32_t MatchRemoteCommand(std::uint8_t status, std::uint8_t data1,
                                    std::uint8_t data2) const noexcept;
    /// The same for a short-message word (status in the lowest byte).
    std::int32_t MatchRemoteCommand(std::uint32_t message) const noexcept;

    /// Values whose magnitude is below it print as 0.
    Relaxed<float> Epsilon;
    Relaxed<std::uint8_t> DecimalSeparator{'.'};
    /// 0 = none.
    Relaxed<std::uint8_t> ThousandSeparator{0};
    /// 0 idle ... 6 time critical.
    Relaxed<std::int32_t> AudioThreadPriority{3};
    /// 0 fastest, 1 fast, 2 accurate.
    Relaxed<std::int32_t> SineAccuracy{1};
    Relaxed<std::uint8_t> PinkNoise{1};
    /// 0 flat, 1 sharp, 2 flat German, 3 sharp German.
    Relaxed<std::uint8_t> NoteNamingScheme{1};
    Relaxed<std::uint8_t> ProcessActiveSense{0};
    /// Status, data 1 (the controller number routing uses), data 2.
    TMidiPattern UserFilter1{};
    TMidiPattern UserFilter2{};
    Relaxed<std::uint8_t> SendAllNotesOffOnChange{1};
    Relaxed<std::uint8_t> HotkeysEnabled{1};
    Relaxed<std::uint8_t> MidiRemoteEnabled{1};
    Relaxed<std::int32_t> RemotePort{0};
    std::array<TRemoteCommand, kRemoteCommandCount> RemoteCommands{};
};

/// Whether a data pattern value matches a data byte.
bool PatternDataMatches(std::int16_t pattern, std::uint8_t value) noexcept;

/// The program's one options object, created with the defaults (and pushed into the engine)
/// on first use. Start-up calls it before any window exists.
TProjectOptions& ProjectOptions();

} // namespace peldor
