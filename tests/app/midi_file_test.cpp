// The standard MIDI file reader: timing through tempo changes and SMPTE frames, running status,
// the merge of format 1 tracks, and refusal of damaged files.

#include "app/midi_file.h"
#include "tests/app/app_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace peldor::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

TMidiFile Parse(const Bytes& bytes) {
    TMidiFile file;
    std::string error;
    EXPECT_TRUE(ParseMidiFile(bytes, file, error)) << error;
    return file;
}

std::string Refusal(const Bytes& bytes) {
    TMidiFile file;
    std::string error;
    EXPECT_FALSE(ParseMidiFile(bytes, file, error));
    return error;
}

TEST(MidiFile, RunningStatusAndTempoChangesGiveExactSamplePositions) {
    constexpr int kPpq = 480;
    // 120 bpm, then 240 bpm from the second beat on.
    const Bytes bytes = MidiFileBytes(0, kPpq,
                                      {{
                                          {0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}, // 500000 us
                                          {0, {0x90, 60, 100}},
                                          {480, {64, 100}}, // running status
                                          {0, {0xC0, 5}},   // one data byte
                                          {0, {7}},         // running program change
                                          {480, {0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90}}, // 250000
                                          {480, {0x80, 60, 0}},
                                      }});
    const TMidiFile file = Parse(bytes);
    EXPECT_EQ(file.Format, 0);
    EXPECT_EQ(file.TicksPerQuarter, kPpq);
    ASSERT_EQ(file.Events.size(), 5u);
    EXPECT_EQ(file.Events[1].Word(), 0x00644090u);
    EXPECT_EQ(file.Events[3].Word(), 0x000007C0u);
    EXPECT_EQ(file.LastTick, 1440); // end of track comes with delta 0
    ASSERT_EQ(file.Tempo.size(), 2u);

    constexpr std::int64_t kRate = 48000;
    EXPECT_EQ(TickToFrame(file, file.Events[0].Tick, kRate), 0);
    EXPECT_EQ(TickToFrame(file, file.Events[1].Tick, kRate), 24000); // 0.5 s
    EXPECT_EQ(TickToFrame(file, 960, kRate), 48000);                 // the change itself
    EXPECT_EQ(TickToFrame(file, file.Events[4].Tick, kRate), 60000); // + 0.25 s
    // Positions are rounded down, never drift: one tick at 120 bpm is 50 frames exactly.
    EXPECT_EQ(TickToFrame(file, 1, kRate), 50);
    EXPECT_EQ(TickToFrame(file, 1, 44100), 45); // 45.9
    // Very long files do not overflow.
    EXPECT_GT(TickToFrame(file, std::int64_t{1} << 40, kRate), 0);
}

TEST(MidiFile, FormatOneMergesTracksByTimeThenTrackAndSharesTheTempoMap) {
    const Bytes bytes = MidiFileBytes(
        1, 96,
        {{{0, {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}}}, // 1 s per quarter, in the tempo track
         {{96, {0x91, 62, 1}}, {0, {0x91, 63, 1}}},
         {{96, {0x92, 50, 1}}, {0, {0xF0, 0x02, 0x01, 0xF7}}, {0, {0x92, 51, 1}}}});
    const TMidiFile file = Parse(bytes);
    ASSERT_EQ(file.Events.size(), 4u);
    EXPECT_EQ(file.Events[0].Data1, 62);
    EXPECT_EQ(file.Events[1].Data1, 63);
    EXPECT_EQ(file.Events[2].Data1, 50);
    EXPECT_EQ(file.Events[2].Track, 2);
    EXPECT_EQ(file.Events[3].Data1, 51); // after a sysex the status is given again
    EXPECT_EQ(TickToFrame(file, file.Events[2].Tick, 44100), 44100);
}

TEST(MidiFile, SmpteTimingAndUnknownChunks) {
    Bytes bytes = MidiFileBytes(0, 0, {{{1000, {0x90, 60, 1}}}});
    bytes[12] = static_cast<std::uint8_t>(-25); // 25 frames per second
    bytes[13] = 40;                             // 40 ticks per frame: 1000 ticks a second
    // An unknown chunk before the track is skipped.
    const Bytes extra{'X', 'Y', 'Z', 'W', 0, 0, 0, 3, 1, 2, 3};
    bytes.insert(bytes.begin() + 14, extra.begin(), extra.end());
    TMidiFile file = Parse(bytes);
    EXPECT_EQ(file.SmpteFramesPerSecond, 25);
    ASSERT_EQ(file.Events.size(), 1u);
    EXPECT_EQ(TickToFrame(file, file.Events[0].Tick, 48000), 48000);

    bytes[12] = static_cast<std::uint8_t>(-29); // 29.97 drop-frame
    bytes[13] = 1;
    file = Parse(bytes);
    EXPECT_EQ(TickToFrame(file, 30000, 48000), 48048000); // 1001 s exactly
}

TEST(MidiFile, DamagedFilesAreRefusedWithWhatAndWhere) {
    const Bytes good = MidiFileBytes(0, 96, {{{0, {0x90, 60, 100}}}});

    EXPECT_NE(Refusal({'R', 'I', 'F', 'F', 0, 0, 0, 6}).find("no MThd"), std::string::npos);

    Bytes format2 = good;
    format2[9] = 2;
    EXPECT_NE(Refusal(format2).find("format 2"), std::string::npos);

    Bytes noDivision = good;
    noDivision[12] = noDivision[13] = 0;
    EXPECT_NE(Refusal(noDivision).find("zero ticks"), std::string::npos);

    Bytes cut = good;
    cut.resize(cut.size() - 3);
    EXPECT_NE(Refusal(cut).find("runs past the end"), std::string::npos);

    Bytes missingTrack = good;
    missingTrack[9] = 1;  // format 1 ...
    missingTrack[11] = 2; // ... with two tracks declared
    EXPECT_NE(Refusal(missingTrack).find("declares 2 tracks"), std::string::npos);

    const Bytes noStatus = MidiFileBytes(0, 96, {{{0, {60, 100}}}});
    const std::string error = Refusal(noStatus);
    EXPECT_NE(error.find("data byte without a status"), std::string::npos);
    EXPECT_NE(error.find("at byte 23"), std::string::npos) << error;

    EXPECT_NE(Refusal(MidiFileBytes(0, 96, {{{0, {0x90, 60, 0x90}}}})).find("out of range"),
              std::string::npos);
    EXPECT_NE(Refusal(MidiFileBytes(0, 96, {{{0, {0xF2, 1, 2}}}})).find("not allowed"),
              std::string::npos);
    // A delta time longer than four bytes.
    EXPECT_NE(Refusal(MidiFileBytes(0, 96, {{{0, {0xFF, 0xFF, 0xFF, 0xFF, 0x7F}}}})).find("meta"),
              std::string::npos);
    Bytes longDelta = MidiFileBytes(0, 96, {{}});
    const Bytes track{'M', 'T', 'r', 'k', 0, 0, 0, 5, 0x81, 0x81, 0x81, 0x81, 0x01};
    longDelta.resize(14);
    longDelta.insert(longDelta.end(), track.begin(), track.end());
    EXPECT_NE(Refusal(longDelta).find("damaged delta time"), std::string::npos);
}

TEST(MidiFile, EndOfTrackStopsReadingAndFilesAreReadFromDisk) {
    Bytes bytes = MidiFileBytes(0, 96, {{{10, {0x90, 60, 1}}}});
    // Bytes after the end-of-track event inside the chunk are not events.
    bytes.insert(bytes.end(), {0x00, 0x90});
    bytes[21] = static_cast<std::uint8_t>(bytes[21] + 2);
    const TMidiFile file = Parse(bytes);
    EXPECT_EQ(file.Events.size(), 1u);
    EXPECT_EQ(file.LastTick, 10);

    TempDir dir;
    WriteBytes(dir / "song.mid", bytes);
    TMidiFile read;
    std::string error;
    EXPECT_TRUE(ReadMidiFile(dir / "song.mid", read, error)) << error;
    EXPECT_EQ(read.Events, file.Events);
    EXPECT_FALSE(ReadMidiFile(dir / "missing.mid", read, error));
    EXPECT_NE(error.find("missing.mid"), std::string::npos);
}

} // namespace
} // namespace peldor::test
