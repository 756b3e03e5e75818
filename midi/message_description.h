#pragma once
// The human-readable description of a short message that every connection keeps for its input
// and its output (the inspector's running monitor).

#include "midi/short_message.h"
#include "project/project_model.h"

#include <string>

namespace peldor {

/// The separator between a note or controller and its value: space, U+203A, space (UTF-8).
inline constexpr char kDescriptionSeparator[] = " \xE2\x80\xBA ";
/// Room for the longest description with its terminator.
inline constexpr int kDescriptionMax = 32;

/// Writes the text of a message into out (kDescriptionMax bytes) without a terminator and
/// returns its length; channel and kind receive the values DescribeMessage stores. Any thread,
/// no allocation.
int FormatMessageDescription(TShortMessage message, int noteNamingScheme, char* out,
                             std::int32_t& channel, std::int32_t& kind) noexcept;

/// Fills display from message: Channel (1-16 or -1), Kind (-1 to 7), Text, and raises
/// MaxVelocity on a note-on; Port is left alone. The caller holds RoutingLock while display
/// belongs to a connection that the MIDI thread can reach. Assigning Text may allocate the
/// first time a longer text is stored.
void DescribeMessage(TShortMessage message, MIDI_DISPLAY& display, int noteNamingScheme);

/// DescribeMessage for the many connections one incoming message passes through: each distinct
/// message is formatted once and then copied, as most connections see the same input and many
/// send the same output. Lives for one routed message; any thread, no allocation of its own.
class TDescriptionCache {
public:
    explicit TDescriptionCache(int noteNamingScheme) noexcept : scheme(noteNamingScheme) {}

    /// As DescribeMessage(message, display, scheme).
    void Describe(TShortMessage message, MIDI_DISPLAY& display);

private:
    struct Entry {
        std::uint32_t Word = 0;
        std::int32_t Channel = -1;
        std::int32_t Kind = -1;
        int Length = 0;
        char Text[kDescriptionMax];
    };
    static constexpr int kEntries = 16;

    int scheme;
    int count = 0;
    int next = 0;
    Entry entries[kEntries];
};

/// The text alone. Tests and windows (allocates).
std::string DescribeMessageText(TShortMessage message, int noteNamingScheme);

} // namespace peldor
