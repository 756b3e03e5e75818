#pragma once
// Standard MIDI files (format 0 and 1) for the offline renderer: the channel messages of every
// track merged in time order, with the tempo map that turns their tick times into sample
// positions. System-exclusive and meta events other than tempo and end of track are skipped.
//
// Everything here is plain data and runs on whichever thread calls it.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace peldor {

/// One channel message of the file.
struct TMidiFileEvent {
    /// Absolute time in ticks from the start of the file.
    std::int64_t Tick = 0;
    /// Track the event came from (0-based).
    std::int32_t Track = 0;
    std::uint8_t Status = 0;
    std::uint8_t Data1 = 0;
    /// 0 for the one-data-byte messages (program change, channel pressure).
    std::uint8_t Data2 = 0;

    /// The message as a short-message word (status in the lowest byte).
    std::uint32_t Word() const noexcept {
        return static_cast<std::uint32_t>(Status) | (static_cast<std::uint32_t>(Data1) << 8) |
               (static_cast<std::uint32_t>(Data2) << 16);
    }
    bool operator==(const TMidiFileEvent&) const = default;
};

/// A tempo change: from Tick on, a quarter note lasts MicrosecondsPerQuarter.
struct TTempoChange {
    std::int64_t Tick = 0;
    std::int64_t MicrosecondsPerQuarter = 0;
    bool operator==(const TTempoChange&) const = default;
};

/// 120 beats per minute, the tempo until the file sets one.
inline constexpr std::int64_t kDefaultMicrosecondsPerQuarter = 500000;

struct TMidiFile {
    std::int32_t Format = 0;
    std::int32_t TrackCount = 0;
    /// Ticks per quarter note; 0 when the file counts SMPTE frames instead.
    std::int32_t TicksPerQuarter = 0;
    /// SMPTE timing: frames per second (24, 25, 29 for 29.97 drop-frame, 30) and ticks per
    /// frame; both 0 for quarter-note timing.
    std::int32_t SmpteFramesPerSecond = 0;
    std::int32_t TicksPerFrame = 0;
    /// Channel messages of all tracks, by tick, then track, then file order.
    std::vector<TMidiFileEvent> Events;
    /// Tempo changes of all tracks in tick order (the first at tick 0 when the file sets one
    /// there).
    std::vector<TTempoChange> Tempo;
    /// Tick of the last event of any kind (end of track included).
    std::int64_t LastTick = 0;
};

/// Parses a whole file. Running status, meta and system-exclusive events and unknown chunks are
/// understood; format 2 files, damaged headers, lengths beyond the end, over-long numbers and
/// data without a status are refused with a description and the byte offset.
bool ParseMidiFile(std::span<const std::uint8_t> bytes, TMidiFile& file, std::string& error);
/// Reads and parses a file; the error names the file.
bool ReadMidiFile(const std::filesystem::path& path, TMidiFile& file, std::string& error);

/// The sample position of a tick at sampleRate (samples per second), rounded down. Exact
/// integer arithmetic, so the same file always gives the same positions.
std::int64_t TickToFrame(const TMidiFile& file, std::int64_t tick, std::int64_t sampleRate);

} // namespace peldor
