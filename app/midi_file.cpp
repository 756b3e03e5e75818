#include "app/midi_file.h"

#include "project/atomic_file.h"

#include <algorithm>
#include <cstdio>

namespace peldor {
namespace {

constexpr std::uint8_t kMetaEvent = 0xFF;
constexpr std::uint8_t kSysEx = 0xF0;
constexpr std::uint8_t kSysExContinuation = 0xF7;
constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr std::uint32_t kTempoLength = 3;
constexpr std::uint32_t kHeaderLength = 6;
constexpr int kMaxNumberBytes = 4;
constexpr std::int64_t kMicrosecondsPerSecond = 1000000;

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

/// Bounds-checked big-endian reading of the file's bytes.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> theBytes) : bytes(theBytes) {}

    std::size_t Offset() const noexcept { return offset; }
    std::size_t Remaining() const noexcept { return bytes.size() - offset; }
    bool AtEnd() const noexcept { return offset >= bytes.size(); }

    bool Byte(std::uint8_t& value) {
        if (Remaining() < 1) {
            return false;
        }
        value = bytes[offset++];
        return true;
    }
    bool Peek(std::uint8_t& value) const {
        if (Remaining() < 1) {
            return false;
        }
        value = bytes[offset];
        return true;
    }
    bool U16(std::uint32_t& value) {
        if (Remaining() < 2) {
            return false;
        }
        value = (static_cast<std::uint32_t>(bytes[offset]) << 8) | bytes[offset + 1];
        offset += 2;
        return true;
    }
    bool U32(std::uint32_t& value) {
        if (Remaining() < 4) {
            return false;
        }
        value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
        }
        offset += 4;
        return true;
    }
    bool Tag(std::string& tag) {
        if (Remaining() < 4) {
            return false;
        }
        tag.assign(reinterpret_cast<const char*>(bytes.data() + offset), 4);
        offset += 4;
        return true;
    }
    /// A variable-length quantity of at most four bytes; false when longer or cut off.
    bool Number(std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < kMaxNumberBytes; ++i) {
            std::uint8_t byte = 0;
            if (!Byte(byte)) {
                return false;
            }
            value = (value << 7) | (byte & 0x7Fu);
            if ((byte & 0x80u) == 0) {
                return true;
            }
        }
        return false;
    }
    bool Skip(std::size_t count) {
        if (Remaining() < count) {
            return false;
        }
        offset += count;
        return true;
    }
    /// A reader over the next count bytes; this reader moves past them.
    Reader Sub(std::size_t count) {
        Reader sub(bytes.subspan(0, offset + count));
        sub.offset = offset;
        offset += count;
        return sub;
    }

private:
    std::span<const std::uint8_t> bytes;
    std::size_t offset = 0;
};

struct Failure {
    std::string& error;
    bool operator()(const std::string& what, std::size_t at) const {
        error = what + " at byte " + std::to_string(at);
        return false;
    }
};

/// Number of data bytes after a channel status.
int DataBytes(std::uint8_t status) {
    const std::uint8_t kind = status & 0xF0;
    constexpr std::uint8_t kProgramChange = 0xC0;
    constexpr std::uint8_t kChannelPressure = 0xD0;
    return kind == kProgramChange || kind == kChannelPressure ? 1 : 2;
}

struct SequencedEvent {
    TMidiFileEvent Event;
    std::size_t Sequence;
};

bool ParseTrack(Reader track, std::int32_t trackIndex, std::vector<SequencedEvent>& events,
                std::vector<TTempoChange>& tempo, std::int64_t& lastTick, const Failure& fail) {
    std::int64_t tick = 0;
    std::uint8_t running = 0;
    while (!track.AtEnd()) {
        const std::size_t eventStart = track.Offset();
        std::uint32_t delta = 0;
        if (!track.Number(delta)) {
            return fail("damaged delta time", eventStart);
        }
        tick += delta;
        lastTick = std::max(lastTick, tick);
        std::uint8_t first = 0;
        if (!track.Peek(first)) {
            return fail("event cut off", track.Offset());
        }
        std::uint8_t status = running;
        if (first & 0x80u) {
            track.Byte(status);
        } else if (running == 0) {
            return fail("data byte without a status", track.Offset());
        }

        if (status == kMetaEvent) {
            running = 0;
            std::uint8_t type = 0;
            std::uint32_t length = 0;
            const std::size_t at = track.Offset();
            if (!track.Byte(type) || !track.Number(length) || track.Remaining() < length) {
                return fail("damaged meta event", at);
            }
            if (type == kMetaEndOfTrack) {
                return true;
            }
            if (type == kMetaTempo && length == kTempoLength) {
                std::uint8_t b[3] = {};
                track.Byte(b[0]);
                track.Byte(b[1]);
                track.Byte(b[2]);
                const std::int64_t perQuarter = (static_cast<std::int64_t>(b[0]) << 16) |
                                                (static_cast<std::int64_t>(b[1]) << 8) | b[2];
                if (perQuarter > 0) {
                    tempo.push_back({tick, perQuarter});
                }
            } else {
                track.Skip(length);
            }
            continue;
        }
        if (status == kSysEx || status == kSysExContinuation) {
            running = 0;
            std::uint32_t length = 0;
            const std::size_t at = track.Offset();
            if (!track.Number(length) || !track.Skip(length)) {
                return fail("damaged system-exclusive event", at);
            }
            continue;
        }
        if (status >= kSysEx) {
            return fail("system message " + Hex(status) + " is not allowed in a file",
                        track.Offset() - 1);
        }
        running = status;
        TMidiFileEvent event;
        event.Tick = tick;
        event.Track = trackIndex;
        event.Status = status;
        std::uint8_t data[2] = {};
        for (int i = 0; i < DataBytes(status); ++i) {
            const std::size_t at = track.Offset();
            if (!track.Byte(data[i])) {
                return fail("channel message cut off", at);
            }
            if (data[i] & 0x80u) {
                return fail("data byte " + Hex(data[i]) + " out of range", at);
            }
        }
        event.Data1 = data[0];
        event.Data2 = data[1];
        events.push_back({event, events.size()});
    }
    // A track without its end-of-track event still counts up to its last byte.
    return true;
}

/// Frames per second of an SMPTE timing code as a fraction.
bool SmpteRate(std::int32_t code, std::int64_t& numerator, std::int64_t& denominator) {
    switch (code) {
    case 24:
    case 25:
    case 30:
        numerator = code;
        denominator = 1;
        return true;
    case 29: // 29.97 drop-frame
        numerator = 30000;
        denominator = 1001;
        return true;
    default:
        return false;
    }
}

} // namespace

bool ParseMidiFile(std::span<const std::uint8_t> bytes, TMidiFile& file, std::string& error) {
    file = TMidiFile{};
    const Failure fail{error};
    Reader reader(bytes);
    std::string tag;
    std::uint32_t headerLength = 0;
    if (!reader.Tag(tag) || tag != "MThd") {
        return fail("not a standard MIDI file (no MThd header)", 0);
    }
    if (!reader.U32(headerLength) || headerLength < kHeaderLength ||
        reader.Remaining() < headerLength) {
        return fail("damaged header", 4);
    }
    Reader header = reader.Sub(headerLength);
    std::uint32_t format = 0;
    std::uint32_t tracks = 0;
    std::uint32_t division = 0;
    header.U16(format);
    header.U16(tracks);
    header.U16(division);
    if (format > 1) {
        return fail("format " + std::to_string(format) + " is not supported (only 0 and 1)", 8);
    }
    if (format == 0 && tracks != 1) {
        return fail("a format 0 file must hold exactly one track, not " + std::to_string(tracks),
                    10);
    }
    file.Format = static_cast<std::int32_t>(format);
    file.TrackCount = static_cast<std::int32_t>(tracks);
    if (division & 0x8000u) {
        const auto code = static_cast<std::int32_t>(-static_cast<std::int8_t>(division >> 8));
        std::int64_t numerator = 0;
        std::int64_t denominator = 0;
        file.TicksPerFrame = static_cast<std::int32_t>(division & 0xFFu);
        if (!SmpteRate(code, numerator, denominator) || file.TicksPerFrame == 0) {
            return fail("unknown SMPTE timing", 12);
        }
        file.SmpteFramesPerSecond = code;
    } else {
        if (division == 0) {
            return fail("zero ticks per quarter note", 12);
        }
        file.TicksPerQuarter = static_cast<std::int32_t>(division);
    }

    std::vector<SequencedEvent> events;
    std::int32_t found = 0;
    while (!reader.AtEnd()) {
        const std::size_t chunkStart = reader.Offset();
        std::uint32_t length = 0;
        if (!reader.Tag(tag) || !reader.U32(length)) {
            return fail("chunk header cut off", chunkStart);
        }
        if (reader.Remaining() < length) {
            return fail("chunk of " + std::to_string(length) + " bytes runs past the end",
                        chunkStart);
        }
        Reader chunk = reader.Sub(length);
        if (tag != "MTrk") {
            continue; // chunks of other kinds are for other programs
        }
        if (found == file.TrackCount) {
            continue; // more tracks than the header declares: the extra ones are ignored
        }
        if (!ParseTrack(chunk, found, events, file.Tempo, file.LastTick, fail)) {
            return false;
        }
        ++found;
    }
    if (found < file.TrackCount) {
        return fail("the header declares " + std::to_string(file.TrackCount) +
                        " tracks but the file holds " + std::to_string(found),
                    bytes.size());
    }
    std::sort(events.begin(), events.end(), [](const SequencedEvent& a, const SequencedEvent& b) {
        if (a.Event.Tick != b.Event.Tick) {
            return a.Event.Tick < b.Event.Tick;
        }
        if (a.Event.Track != b.Event.Track) {
            return a.Event.Track < b.Event.Track;
        }
        return a.Sequence < b.Sequence;
    });
    file.Events.reserve(events.size());
    for (const SequencedEvent& sequenced : events) {
        file.Events.push_back(sequenced.Event);
    }
    std::stable_sort(file.Tempo.begin(), file.Tempo.end(),
                     [](const TTempoChange& a, const TTempoChange& b) { return a.Tick < b.Tick; });
    return true;
}

bool ReadMidiFile(const std::filesystem::path& path, TMidiFile& file, std::string& error) {
    TByteBuffer bytes;
    std::string reason;
    if (!ReadWholeFile(path, bytes, reason)) {
        error = path.string() + ": " + reason;
        return false;
    }
    if (!ParseMidiFile(bytes, file, reason)) {
        error = path.string() + ": " + reason;
        return false;
    }
    return true;
}

std::int64_t TickToFrame(const TMidiFile& file, std::int64_t tick, std::int64_t sampleRate) {
    using Wide = __int128;
    if (tick <= 0 || sampleRate <= 0) {
        return 0;
    }
    if (file.TicksPerQuarter == 0) {
        std::int64_t numerator = 0;
        std::int64_t denominator = 0;
        if (!SmpteRate(file.SmpteFramesPerSecond, numerator, denominator) ||
            file.TicksPerFrame <= 0) {
            return 0;
        }
        // seconds = tick / (fps * ticksPerFrame), fps = numerator / denominator
        const Wide frames = Wide(tick) * sampleRate * denominator;
        return static_cast<std::int64_t>(frames / (Wide(numerator) * file.TicksPerFrame));
    }
    // Sum of ticks x microseconds per quarter over the tempo segments before tick.
    Wide tickMicroseconds = 0;
    std::int64_t segmentStart = 0;
    std::int64_t perQuarter = kDefaultMicrosecondsPerQuarter;
    for (const TTempoChange& change : file.Tempo) {
        if (change.Tick >= tick) {
            break;
        }
        tickMicroseconds += Wide(change.Tick - segmentStart) * perQuarter;
        segmentStart = change.Tick;
        perQuarter = change.MicrosecondsPerQuarter;
    }
    tickMicroseconds += Wide(tick - segmentStart) * perQuarter;
    return static_cast<std::int64_t>(tickMicroseconds * sampleRate /
                                     (Wide(file.TicksPerQuarter) * kMicrosecondsPerSecond));
}

} // namespace peldor
