#pragma once
// What the MIDI layer reads of the project options, in one place. Any thread: each call is one
// or a few relaxed reads of the options object, never a lock.

#include "midi/short_message.h"

#include <cstdint>

namespace peldor {

/// 0-3: flat, sharp, flat German, sharp German.
int NoteNamingSchemeOption() noexcept;
/// Active-sensing bytes go on to learn, remote matching and the connections.
bool ProcessActiveSenseOption() noexcept;
/// The controller number (data 1) of user filter 1 or 2; -1 for another filter number.
std::int32_t UserFilterControllerOption(int filter) noexcept;
/// Remote commands are recognised, on this input device.
bool MidiRemoteEnabledOption() noexcept;
std::int32_t RemotePortOption() noexcept;
/// The index 0-4 of the first remote command whose pattern matches, or -1.
std::int32_t MatchRemoteCommandOption(TShortMessage message) noexcept;

} // namespace peldor
