#pragma once
// Names the message descriptions use: the 8-character controller short names and the note
// names of the four naming schemes.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace peldor {

/// Width of every controller short name (space padded).
inline constexpr int kControllerNameWidth = 8;

/// The controller short names, one per controller number 0-127, each exactly 8 characters.
extern const std::array<std::string_view, 128> MIDI_CC;

/// Note naming schemes (the project option): flat, sharp, flat German, sharp German.
inline constexpr int kNoteNamingSchemeCount = 4;

/// Longest note name: two letters and an octave digit.
inline constexpr int kNoteNameMax = 3;

/// Writes the name of note 0-127 in a scheme to out (kNoteNameMax bytes of room) and returns
/// the number of bytes written: the pitch-class name, then the octave (note div 12 - 1) except
/// for notes 0-11. Any thread, no allocation. A scheme outside 0-3 names as scheme 1; the note
/// is taken modulo 128.
int WriteNoteName(std::uint8_t note, int scheme, char* out) noexcept;

/// The same as a string. Window thread and tests (allocates).
std::string NoteName(std::uint8_t note, int scheme);

} // namespace peldor
