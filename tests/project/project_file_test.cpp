#include "project/project_file.h"

#include "engine/event_queue.h"
#include "engine/oscillator.h"
#include "engine/processor.h"
#include "project/atomic_file.h"
#include "tests/project/project_compare.h"
#include "tests/project/project_fakes.h"
#include "tests/project/project_samples.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace peldor {
namespace {

using test::ExpectSameImage;
using test::ExpectSameProject;
using test::FileBytes;
using test::ModelStateGuard;

template <typename T> T At(const TByteBuffer& bytes, std::size_t offset) {
    T value{};
    EXPECT_LE(offset + sizeof value, bytes.size());
    if (offset + sizeof value <= bytes.size()) {
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    }
    return value;
}

template <typename T> void Put(TByteBuffer& bytes, std::size_t offset, T value) {
    ASSERT_LE(offset + sizeof value, bytes.size());
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

std::string ShortStringAt(const TByteBuffer& bytes, std::size_t offset) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset + 1), bytes[offset]);
}

TByteBuffer RunningProgramBytes() {
    TByteBuffer bytes;
    TByteWriter writer(bytes);
    WriteProject(writer);
    WriteWindowLayout(writer);
    return bytes;
}

void WriteBytes(const std::filesystem::path& path, const TByteBuffer& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

TByteBuffer ReadBytes(const std::filesystem::path& path) {
    TByteBuffer bytes;
    std::string error;
    EXPECT_TRUE(ReadWholeFile(path, bytes, error)) << error;
    return bytes;
}

constexpr std::size_t kHeaderStart = 32 + 3865;
constexpr std::size_t kStringHeader = 4;

class ProjectFile : public ::testing::Test {
protected:
    ProjectFile() {
        InitStripTable();
        ProjectOptions() = TProjectOptions{};
    }
    ~ProjectFile() override {
        ProjectLinks = TProjectLinks{};
        InitStripTable();
        ProjectOptions() = TProjectOptions{};
        ProjectOptions().Apply();
    }
    ModelStateGuard guard;
};

// ---- Layout -------------------------------------------------------------------------------------

TEST_F(ProjectFile, EmptyProjectHasTheDocumentedSizeAndRecordOrder) {
    CreateProject();
    StripTable.MixerSettings.oscactive = 2;
    StripTable.MixerSettings.osctosolo = 3;
    StripTable.MixerSettings.osctomon1 = 4;
    StripTable.MixerSettings.osclevel = 0.5f;
    StripTable.MixerSettings.meterspostinputs = 5;
    StripTable.MixerSettings.meterspostvsti = 6;
    StripTable.MixerSettings.meterspostvst = 7;
    StripTable.MixerSettings.meterspostoutputs = 8;
    StripTable.MixerSettings.sololevel = 2.0f;
    StripTable.MixerSettings.addmode = 9;
    const TByteBuffer bytes = RunningProgramBytes();

    const std::size_t header = kStringHeader + 11 + kStringHeader + 13 + 8 + kStringHeader + 14 +
                               kStringHeader; // names, date, empty FileName
    const std::size_t layout = kLayoutWindowCount * kAbsentWindowRecordSize;
    EXPECT_EQ(bytes.size(), kHeaderStart + header + 4 + 24 + 76 + layout);

    // Master and solo are the 95th and 96th strip records; monitor 1 comes before them.
    const auto descriptor = [&](int position) { return 32 + position * kDescriptorRecordSize; };
    EXPECT_EQ(ShortStringAt(bytes, descriptor(94) + 4), "MAIN");
    EXPECT_EQ(ShortStringAt(bytes, descriptor(95) + 4), "Solo bus");
    EXPECT_EQ(ShortStringAt(bytes, descriptor(95) + 29), "SOLO");
    EXPECT_EQ(ShortStringAt(bytes, descriptor(88) + 4), "Monitor mix 1");
    EXPECT_EQ(ShortStringAt(bytes, descriptor(93) + 4), "Aux 4 master");
    EXPECT_EQ(ShortStringAt(bytes, descriptor(64) + 29), "IN 1");
    // Codes of an input strip: 1,2,0,0 / 1 / 1.
    EXPECT_EQ(bytes[descriptor(64) + 0], 1);
    EXPECT_EQ(bytes[descriptor(64) + 1], 2);
    EXPECT_EQ(bytes[descriptor(64) + 38], 1);
    EXPECT_EQ(bytes[descriptor(64) + 39], 1);

    // Mixer settings in file order.
    const std::size_t mixer = 32 + 96 * kDescriptorRecordSize;
    EXPECT_EQ(bytes[mixer + 0], 2);
    EXPECT_EQ(bytes[mixer + 1], 1); // oscsine
    EXPECT_EQ(bytes[mixer + 4], 1); // osctomain
    EXPECT_EQ(bytes[mixer + 5], 3); // osctosolo
    EXPECT_EQ(bytes[mixer + 6], 4); // osctomon1
    EXPECT_EQ(At<float>(bytes, mixer + 12), 0.5f);
    EXPECT_EQ(bytes[mixer + 16], 5);
    EXPECT_EQ(bytes[mixer + 17], 6);
    EXPECT_EQ(bytes[mixer + 18], 7);
    EXPECT_EQ(bytes[mixer + 19], 8);
    EXPECT_EQ(At<float>(bytes, mixer + 20), 2.0f);
    EXPECT_EQ(bytes[mixer + 24], 9);

    // Indices and the default options.
    const std::size_t indices = bytes.size() - layout - 76 - 24;
    EXPECT_EQ(At<std::int32_t>(bytes, indices), -1);
    const std::size_t options = indices + 24;
    EXPECT_EQ(bytes[options + 0], 1);
    EXPECT_EQ(bytes[options + 2], 1);
    EXPECT_EQ(At<std::int16_t>(bytes, options + 3), 176);
    EXPECT_EQ(At<std::int16_t>(bytes, options + 5), 64);
    EXPECT_EQ(At<std::int16_t>(bytes, options + 7), -1);
    EXPECT_EQ(At<std::int16_t>(bytes, options + 11), 123);
    EXPECT_EQ(bytes[options + 15], 1);
    EXPECT_EQ(bytes[options + 16], 1);
    EXPECT_EQ(At<std::int16_t>(bytes, options + 21), 40);
    EXPECT_EQ(At<std::int16_t>(bytes, options + 23), -1);
    EXPECT_EQ(At<std::int16_t>(bytes, options + 53), 27);
    EXPECT_EQ(At<std::uint32_t>(bytes, options + 61), 0x0F4AD2F8u);
    EXPECT_EQ(bytes[options + 65], '.');
    EXPECT_EQ(bytes[options + 66], 0);
    EXPECT_EQ(At<std::int32_t>(bytes, options + 67), 3);
    EXPECT_EQ(At<std::int32_t>(bytes, options + 71), 1);
    EXPECT_EQ(bytes[options + 75], 1);
}

TEST_F(ProjectFile, RecordFieldOffsetsMatchTheFormat) {
    TProjectFileImage image = test::EmptyImage();
    image.Project->Settings->FileName = "";
    TSong* song = image.Project->AppendSong(std::make_unique<TSong>("S"));
    song->Composer = "";
    song->Key = "";
    song->Tempo = 99.0f;
    TPluginSettings& songSlot = song->SlotSettings[0];
    songSlot.PluginIndex = 7;
    songSlot.IsInstrument = 0;
    songSlot.NumInputs = 2;
    songSlot.NumOutputs = 3;
    songSlot.EditorVisible = 1;
    songSlot.EditorLeft = -4;
    songSlot.EditorTop = 5;
    TPart* part = song->AppendPart(std::make_unique<TPart>("P"));
    TConnection* c = part->AppendConnection(std::make_unique<TConnection>(""));
    c->SetInPort(3);
    c->InChannel = 16;
    c->PassUser2 = 7;
    c->Enabled = 8;
    c->Program = 0x01020304;
    c->ProgramEnabled = 9;
    c->ProgramName = "xyz";
    c->BankHi = 11;
    c->BankHiEnabled = 12;
    c->BankLo = 13;
    c->BankLoEnabled = 14;
    c->Volume = 15;
    c->VolumeEnabled = 16;
    c->Pan = 17;
    c->PanEnabled = 18;
    c->Transpose = -3;
    c->RangeHi = 19;
    c->RangeLo = 20;
    c->SetOutPort(31);
    c->OutChannel = 16;
    c->Position = 0x0A0B0C0D;
    TStripState& master = (*part->Strips)[kMasterStrip];
    master.Mute = 1;
    master.SoloMute = 2;
    master.Solo = 3;
    master.Level = 0.5f;
    master.Pan = 0.25f;
    master.MonSend[1] = 0.125f;
    master.AuxSend[3] = 4.0f;
    master.Reverb = 77;
    master.Chorus = 88;
    master.MeterL = 8.0f;
    (*part->Strips)[kFirstMonitorStrip].Level = 0.75f;
    part->SlotStates[0].ProgramNr = 21;
    part->SlotStates[0].ProgramCategory = 22;
    part->SlotStates[0].StateSize = 12; // HasState 0: 13 bytes, no data
    part->SlotStates[1].HasState = 1;
    part->SlotStates[1].StateSize = 3;
    part->SlotStates[1].StateData = {0xAA, 0xBB, 0xCC};
    image.WindowLayout[kLayoutInspector] = {1, 1, 2, 3, 4, 1};
    const TByteBuffer bytes = FileBytes(image);

    const std::size_t header =
        kStringHeader + 11 + kStringHeader + 13 + 8 + kStringHeader + 14 + kStringHeader;
    std::size_t at = kHeaderStart + header;
    EXPECT_EQ(At<std::int32_t>(bytes, at), 1);   // song count
    at += 4 + kStringHeader + 1 + kStringHeader; // Name "S", Composer ""
    EXPECT_EQ(At<float>(bytes, at), 99.0f);      // Tempo
    at += 4 + kStringHeader;                     // Key ""
    EXPECT_EQ(At<std::int32_t>(bytes, at), 1);   // part count
    at += 4 + kStringHeader + 1;                 // part Name "P"
    EXPECT_EQ(At<std::int32_t>(bytes, at), 1);   // connection count
    at += 4;
    EXPECT_EQ(At<std::int32_t>(bytes, at), 0) << "the empty name is the four bytes 0";
    at += kStringHeader;
    EXPECT_EQ(At<std::int32_t>(bytes, at + 0), 3);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 4), 16);
    EXPECT_EQ(bytes[at + 8], 1);  // PassNote default
    EXPECT_EQ(bytes[at + 15], 7); // PassUser2
    EXPECT_EQ(bytes[at + 16], 8); // Enabled
    EXPECT_EQ(At<std::int32_t>(bytes, at + 17), 0x01020304);
    EXPECT_EQ(bytes[at + 21], 9);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 22), 3);
    at += 22 + kStringHeader + 3; // offsets now count from the end of ProgramName
    const std::uint8_t expected[] = {11, 12, 13, 14, 15, 16, 17, 18, 0xFD, 19, 20};
    for (std::size_t i = 0; i < sizeof expected; ++i) {
        EXPECT_EQ(bytes[at + i], expected[i]) << "byte " << i << " after ProgramName";
    }
    EXPECT_EQ(At<std::int32_t>(bytes, at + 11), 31);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 15), 16);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 19), 0x0A0B0C0D);
    at += 23;

    // Strip states: master is the 95th record, monitor 1 the 89th.
    const std::size_t masterRecord = at + 94 * kStripStateRecordSize;
    EXPECT_EQ(bytes[masterRecord + 0], 1);
    EXPECT_EQ(bytes[masterRecord + 1], 2);
    EXPECT_EQ(bytes[masterRecord + 2], 3);
    EXPECT_EQ(At<float>(bytes, masterRecord + 3), 0.5f);
    EXPECT_EQ(At<float>(bytes, masterRecord + 7), 0.25f);
    EXPECT_EQ(At<float>(bytes, masterRecord + 15), 0.125f);
    EXPECT_EQ(At<float>(bytes, masterRecord + 31), 4.0f);
    EXPECT_EQ(At<std::int32_t>(bytes, masterRecord + 35), 77);
    EXPECT_EQ(At<std::int32_t>(bytes, masterRecord + 39), 88);
    EXPECT_EQ(At<std::int32_t>(bytes, masterRecord + 43), 0);
    EXPECT_EQ(At<float>(bytes, masterRecord + 51), 8.0f);
    EXPECT_EQ(At<float>(bytes, at + 88 * kStripStateRecordSize + 3), 0.75f);
    EXPECT_EQ(At<float>(bytes, at + 95 * kStripStateRecordSize + 7), 0.5f) << "solo pan";
    at += 96 * kStripStateRecordSize;

    // Part slot records: 13 bytes without data, 13 + 3 with.
    EXPECT_EQ(At<std::int32_t>(bytes, at + 0), 21);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 4), 22);
    EXPECT_EQ(bytes[at + 8], 0);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 9), 12);
    at += kPartSlotRecordSize;
    EXPECT_EQ(bytes[at + 8], 1);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 9), 3);
    EXPECT_EQ(bytes[at + 13], 0xAA);
    EXPECT_EQ(bytes[at + 15], 0xCC);
    at += kPartSlotRecordSize + 3 + 18 * kPartSlotRecordSize;

    // Song slot records: 30 bytes.
    EXPECT_EQ(At<std::int32_t>(bytes, at + 0), 7);
    EXPECT_EQ(bytes[at + 4], 0);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 5), 0);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 13), 2);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 17), 3);
    EXPECT_EQ(bytes[at + 21], 1);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 22), -4);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 26), 5);
    EXPECT_EQ(At<std::int32_t>(bytes, at + kSongSlotRecordSize), -1);
    at += kSlotCount * kSongSlotRecordSize + 24 + 76;

    // Window layout: absent windows take one byte, present ones 18.
    EXPECT_EQ(bytes[at + 0], 0);
    EXPECT_EQ(bytes[at + 1], 0);
    EXPECT_EQ(bytes[at + 2], 1);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 3), 1);
    EXPECT_EQ(At<std::int32_t>(bytes, at + 15), 4);
    EXPECT_EQ(bytes[at + 19], 1);
    EXPECT_EQ(bytes.size(), at + 2 + kWindowRecordSize + 9);

    // And it reads back with no data behind the 12-byte size.
    TProjectFileImage back;
    TFileDamage damage;
    ASSERT_TRUE(ParseProjectFile(bytes, back, damage)) << damage.What;
    const TPluginSettings& slot0 = back.Project->SongAt(0)->PartAt(0)->SlotStates[0];
    EXPECT_EQ(slot0.StateSize, 12);
    EXPECT_TRUE(slot0.StateData.empty());
    EXPECT_EQ(back.Project->SongAt(0)->PartAt(0)->ConnectionAt(0)->Name, "");
}

// ---- Round trip ---------------------------------------------------------------------------------

TEST_F(ProjectFile, EveryStoredFieldComesBack) {
    const TProjectFileImage rich = test::RichImage();
    const TByteBuffer bytes = FileBytes(rich);
    TProjectFileImage back;
    TFileDamage damage;
    ASSERT_TRUE(ParseProjectFile(bytes, back, damage)) << damage.What << " at " << damage.Offset;
    ExpectSameImage(rich, back);
    EXPECT_EQ(FileBytes(back), bytes);

    // Connections read from a file have their display ports set and runtime fields at rest;
    // parts know their song.
    const TSong& song = *back.Project->SongAt(0);
    for (std::int32_t p = 0; p < song.PartCount(); ++p) {
        const TPart& part = *song.PartAt(p);
        EXPECT_EQ(part.Song, &song);
        EXPECT_EQ(part.LastConnection, -1);
        for (std::int32_t i = 0; i < part.ConnectionCount(); ++i) {
            const TConnection& c = *part.ConnectionAt(i);
            EXPECT_EQ(c.InDisplay.Port, c.InPort);
            EXPECT_EQ(c.OutDisplay.Port, c.OutPort + 16);
            EXPECT_EQ(c.SenseToggle, 0);
        }
    }
    EXPECT_EQ(song.LastPart, -1);
}

TEST_F(ProjectFile, SaveAndOpenThroughTheRunningProgramKeepEveryByte) {
    test::TempDir dir;
    TMemoryDeviceSelection devices;
    TMemoryWindowLayout layout;
    ProjectLinks.Devices = &devices;
    ProjectLinks.Layout = &layout;
    const TByteBuffer original = FileBytes(test::RichImage());
    WriteBytes(dir / "show.pdp", original);

    std::string message;
    ASSERT_TRUE(LoadProjectFile(dir / "show.pdp", message)) << message;
    EXPECT_TRUE(devices.InputSelected(15));
    EXPECT_TRUE(devices.OutputSelected(3));
    EXPECT_EQ(layout.records[kLayoutMixer2].Left, -30);
    ASSERT_TRUE(SaveProjectFile(dir / "copy.pdp", message)) << message;
    EXPECT_EQ(ReadBytes(dir / "copy.pdp"), original);
}

// ---- Damaged files ------------------------------------------------------------------------------

// One song, one part, one connection, a little state and one window: small enough to cut at
// every byte.
TProjectFileImage SmallImage() {
    TProjectFileImage image = test::EmptyImage();
    TSong* song = image.Project->AppendSong(std::make_unique<TSong>("song"));
    song->SlotSettings[2].PluginIndex = 4;
    TPart* part = song->AppendPart(std::make_unique<TPart>("part"));
    part->AppendConnection(std::make_unique<TConnection>("c"));
    part->SlotStates[3].HasState = 1;
    part->SlotStates[3].StateSize = 4;
    part->SlotStates[3].StateData = {1, 2, 3, 4};
    image.WindowLayout[kLayoutMainWindow] = {1, 0, 0, 640, 480, 1};
    return image;
}

// Offsets of the fields of SmallImage that the damage tests change.
struct SmallOffsets {
    std::size_t songCount, songName, partCount, partName, connectionCount, connectionName;
    std::size_t inPort, inChannel, outPort, outChannel, stateFlag, stateSize, pluginIndex;
    std::size_t windowFlag, firstLongName;
};

SmallOffsets OffsetsOfSmallImage() {
    SmallOffsets o{};
    o.firstLongName = 32 + 4;
    o.songCount = kHeaderStart + kStringHeader + 11 + kStringHeader + 13 + 8 + kStringHeader + 14 +
                  kStringHeader;
    o.songName = o.songCount + 4;
    const std::size_t composer = o.songName + kStringHeader + 4;
    const std::size_t key = composer + kStringHeader + 16 + 4; // "unknown composer", Tempo
    o.partCount = key + kStringHeader + 7;                     // "c major"
    o.partName = o.partCount + 4;
    o.connectionCount = o.partName + kStringHeader + 4;
    o.connectionName = o.connectionCount + 4;
    o.inPort = o.connectionName + kStringHeader + 1;
    o.inChannel = o.inPort + 4;
    const std::size_t programName = o.inPort + 22;
    o.outPort = programName + kStringHeader + 7 + 11; // "unknown"
    o.outChannel = o.outPort + 4;
    const std::size_t strips = o.outChannel + 8;
    const std::size_t slots = strips + kStripCount * kStripStateRecordSize;
    o.stateFlag = slots + 3 * kPartSlotRecordSize + 8;
    o.stateSize = o.stateFlag + 1;
    o.pluginIndex = slots + kSlotCount * kPartSlotRecordSize + 4 + 2 * kSongSlotRecordSize;
    o.windowFlag =
        o.pluginIndex - 2 * kSongSlotRecordSize + kSlotCount * kSongSlotRecordSize + 24 + 76;
    return o;
}

TEST_F(ProjectFile, TruncationAtEveryByteIsRefused) {
    const TByteBuffer bytes = FileBytes(SmallImage());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        TProjectFileImage image;
        TFileDamage damage;
        const bool parsed = ParseProjectFile(std::span(bytes.data(), length), image, damage);
        ASSERT_FALSE(parsed) << "a file cut to " << length << " bytes was accepted";
        ASSERT_LE(damage.Offset, length);
        ASSERT_FALSE(damage.What.empty());
    }
    TProjectFileImage image;
    TFileDamage damage;
    TByteBuffer longer = bytes;
    longer.insert(longer.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    EXPECT_TRUE(ParseProjectFile(longer, image, damage)) << "bytes after the layout are ignored";
}

TEST_F(ProjectFile, ImpossibleCountsLengthsAndIndicesAreRefusedWhereTheyStand) {
    const TByteBuffer valid = FileBytes(SmallImage());
    const SmallOffsets o = OffsetsOfSmallImage();
    {
        // The offsets above describe the file.
        TProjectFileImage image;
        TFileDamage damage;
        ASSERT_TRUE(ParseProjectFile(valid, image, damage));
        ASSERT_EQ(At<std::int32_t>(valid, o.songCount), 1);
        ASSERT_EQ(At<std::int32_t>(valid, o.partCount), 1);
        ASSERT_EQ(At<std::int32_t>(valid, o.connectionCount), 1);
        ASSERT_EQ(At<std::int32_t>(valid, o.outChannel), 0);
        ASSERT_EQ(valid[o.stateFlag], 1);
        ASSERT_EQ(At<std::int32_t>(valid, o.stateSize), 4);
        ASSERT_EQ(At<std::int32_t>(valid, o.pluginIndex), 4);
        ASSERT_EQ(valid[o.windowFlag], 1);
    }
    struct Case {
        const char* what;
        std::size_t offset;
        std::int64_t value;
        int width; // 1 or 4 bytes
        const char* expected;
    };
    const Case cases[] = {
        {"huge song count", o.songCount, 0x7FFFFFFF, 4, "ends early"},
        {"negative song count", o.songCount, -1, 4, "song count of -1"},
        {"song name longer than the file", o.songName, 0x7FFFFFF0, 4, "text length"},
        {"negative name length", o.songName, -5, 4, "text length of -5"},
        {"huge part count", o.partCount, 1 << 30, 4, "ends early"},
        {"negative part count", o.partCount, -2, 4, "part count of -2"},
        {"65 connections", o.connectionCount, 65, 4, "connection count of 65"},
        {"negative connections", o.connectionCount, -1, 4, "connection count of -1"},
        {"connection name", o.connectionName, -1, 4, "text length"},
        {"input device 16", o.inPort, 16, 4, "input device of 16"},
        {"input channel 17", o.inChannel, 17, 4, "input channel of 17"},
        {"negative output port", o.outPort, -1, 4, "output port of -1"},
        {"output port 32", o.outPort, 32, 4, "output port of 32"},
        {"output channel 17", o.outChannel, 17, 4, "output channel of 17"},
        {"state flag 2", o.stateFlag, 2, 1, "state flag of 2"},
        {"negative state size", o.stateSize, -4, 4, "state size of -4"},
        {"state beyond the end", o.stateSize, 0x7FFFFFFF, 4, "state size"},
        {"plugin index -2", o.pluginIndex, -2, 4, "plugin index of -2"},
        {"window flag 2", o.windowFlag, 2, 1, "window record flag of 2"},
        {"strip name too long", o.firstLongName, 25, 1, "strip name length of 25"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TByteBuffer bytes = valid;
        if (c.width == 1) {
            bytes[c.offset] = static_cast<std::uint8_t>(c.value);
        } else {
            Put(bytes, c.offset, static_cast<std::int32_t>(c.value));
        }
        TProjectFileImage image;
        TFileDamage damage;
        ASSERT_FALSE(ParseProjectFile(bytes, image, damage));
        EXPECT_EQ(damage.Offset, c.offset);
        EXPECT_NE(damage.What.find(c.expected), std::string::npos) << damage.What;
    }
}

class RecordingShell final : public IProjectShell {
public:
    void CloseProject() override {
        ++closed;
        DestroyProject();
    }
    int closed = 0;
};

TEST_F(ProjectFile, ARefusedFileLeavesTheOpenShowAsItWas) {
    test::TempDir dir;
    RecordingShell shell;
    test::RecordingViews views;
    ProjectLinks.Shell = &shell;
    std::string message;
    WriteBytes(dir / "good.pdp", FileBytes(test::RichImage()));
    ASSERT_TRUE(LoadProjectFile(dir / "good.pdp", message)) << message;
    EXPECT_EQ(shell.closed, 1);
    TProject* before = ActiveProject();
    TStripStates* strips = CurrentStrips.load();
    ASSERT_NE(strips, nullptr);
    const TProjectOptions options = ProjectOptions();
    const std::string longName = StripTable.Descriptors[kMasterStrip].LongName;

    ProjectLinks.Views = &views;
    TByteBuffer damaged = FileBytes(test::RichImage());
    damaged.resize(damaged.size() - 30);
    WriteBytes(dir / "damaged.pdp", damaged);
    EXPECT_FALSE(LoadProjectFile(dir / "damaged.pdp", message));
    EXPECT_NE(message.find((dir / "damaged.pdp").string()), std::string::npos) << message;
    EXPECT_NE(message.find("byte offset"), std::string::npos) << message;
    EXPECT_NE(message.find("ends early"), std::string::npos) << message;

    EXPECT_FALSE(LoadProjectFile(dir / "missing.pdp", message));
    EXPECT_NE(message.find("missing.pdp"), std::string::npos) << message;

    EXPECT_EQ(shell.closed, 1);
    EXPECT_EQ(ActiveProject(), before);
    EXPECT_EQ(CurrentStrips.load(), strips);
    EXPECT_EQ(CurrentSong, 0);
    EXPECT_EQ(ConnectionCounter, 56);
    EXPECT_EQ(StripTable.Descriptors[kMasterStrip].LongName, longName);
    test::ExpectSameOptions(ProjectOptions(), options);
    EXPECT_TRUE(views.log.empty());
}

// ---- Bringing the program in line ---------------------------------------------------------------

TEST_F(ProjectFile, ReadingBringsTheRunningProgramInLine) {
    test::FakeSlotHost slots;
    slots.instruments = {{"a.so", false}, {"b.so", false}, {"c.so", false}};
    slots.effects = {{"fx.so", false}};
    test::RecordingViews views;
    test::RecordingPresenter presenter;
    TMemoryDeviceSelection devices(2, 4); // a machine with 2 inputs and 4 outputs
    devices.SetOutputSelected(2, true);
    TMemoryWindowLayout layout;
    TProcessor processor(nullptr, nullptr);
    processor.SetSampleRate(48000.0f);
    ProjectLinks.Slots = &slots;
    ProjectLinks.Views = &views;
    ProjectLinks.Devices = &devices;
    ProjectLinks.Layout = &layout;
    ProjectLinks.Processor = &processor;

    TProjectFileImage image = test::RichImage();
    image.OutputSelected.fill(0);
    image.OutputSelected[1] = 1;
    for (auto& slot : image.Project->SongAt(0)->SlotSettings) {
        slot.PluginIndex = -1;
    }
    image.Project->SongAt(0)->SlotSettings[1].PluginIndex = 1;
    image.Project->SongAt(0)->SlotSettings[4].PluginIndex = 4;
    image.Project->SongAt(0)->SlotSettings[7].PluginIndex = 7;
    image.Project->SongAt(0)->SlotSettings[16].PluginIndex = 0;
    TFileDamage damage;
    TProjectFileImage parsed;
    ASSERT_TRUE(ParseProjectFile(FileBytes(image), parsed, damage));
    TProject* project = parsed.Project.get();
    ReadProject(parsed);
    ReadWindowLayout(parsed);

    EXPECT_EQ(ActiveProject(), project);
    EXPECT_EQ(devices.closeCalls, 1);
    EXPECT_EQ(devices.openCalls, 1);
    EXPECT_TRUE(devices.InputSelected(0));
    EXPECT_FALSE(devices.InputSelected(15)) << "no such device here";
    EXPECT_TRUE(devices.OutputSelected(1));
    EXPECT_FALSE(devices.OutputSelected(2)) << "outputs the file leaves off are unselected";
    EXPECT_FALSE(devices.OutputSelected(3));

    // Mixer settings reach the test oscillator at once: noise, 1000 Hz x 10, level 0.5.
    EXPECT_EQ(StripTable.Descriptors[kMasterStrip].LongName, "Main out");
    EXPECT_EQ(processor.Oscillator().Waveform, 2);
    EXPECT_EQ(processor.Oscillator().Frequency, 10000.0f);
    EXPECT_EQ(processor.Oscillator().Amplitude, 0.5f);
    // Options are applied.
    EXPECT_EQ(processor.WorkerPriority(), 6);
    EXPECT_EQ(EngineOptions.SineAccuracy, 2);
    EXPECT_EQ(EngineOptions.PinkNoise, 0);
    EXPECT_EQ(EngineOptions.DecimalSeparator, ',');
    EXPECT_EQ(EngineOptions.Epsilon, 1e-20f);
    EXPECT_EQ(SongCounter, 12);
    EXPECT_EQ(PartCounter, 34);
    EXPECT_EQ(ConnectionCounter, 56);

    TSong* song = project->SongAt(0);
    TPart* part = song->PartAt(1);
    EXPECT_EQ(part->SlotStates[1].PluginIndex, 1) << "slot states follow their song";
    EXPECT_EQ(CurrentStrips.load(), part->Strips.get());
    {
        std::lock_guard hold(RoutingLock);
        EXPECT_EQ(RoutingPartLocked(), part);
    }
    ASSERT_FALSE(views.log.empty());
    EXPECT_EQ(views.log.front(), "busy");
    EXPECT_EQ(views.log.back(), "normal");
    std::vector<std::string> refreshes;
    for (const std::string& entry : views.log) {
        if (entry != "busy" && entry != "normal") {
            refreshes.push_back(entry);
        }
    }
    const std::vector<std::string> expectedRefreshes = {
        "songs",  "parts Opening", "connections part 1", "inspect 1",
        "song 0", "part 1",        "connection 1",       "mixers"};
    EXPECT_EQ(refreshes, expectedRefreshes);

    // Slot 4 names instrument 4 and slot 7 instrument 7, which this machine lacks: the user is
    // told, the slots stay empty, and the indices survive a save.
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_NE(presenter.messages[0].find("VSTi 5, VSTi 8"), std::string::npos)
        << presenter.messages[0];
    EXPECT_EQ(slots.plugins.count(4), 0u);
    EXPECT_EQ(slots.plugins.count(1), 1u);
    EXPECT_EQ(slots.plugins.count(16), 1u);
    EXPECT_EQ(song->SlotSettings[4].PluginIndex, 4);
    const TByteBuffer saved = RunningProgramBytes();
    TProjectFileImage again;
    ASSERT_TRUE(ParseProjectFile(saved, again, damage));
    EXPECT_EQ(again.Project->SongAt(0)->SlotSettings[7].PluginIndex, 7);
    EXPECT_EQ(layout.records[kLayoutMainWindow].Width, 800);
    DestroyProject();
}

TEST_F(ProjectFile, AFileWithoutACurrentPartLeavesNoCurrentStrips) {
    TProjectFileImage image = test::EmptyImage();
    image.CurrentSong = 3; // beyond the song list: no current song
    image.CurrentPart = 0;
    TProjectFileImage parsed;
    TFileDamage damage;
    ASSERT_TRUE(ParseProjectFile(FileBytes(image), parsed, damage));
    ReadProject(parsed);
    EXPECT_EQ(CurrentSong, 3);
    EXPECT_EQ(ActiveProject()->CurrentPartObject(), nullptr);
    EXPECT_EQ(CurrentStrips.load(), nullptr);
}

// ---- Saving
// ---------------------------------------------------------------------------------------

TEST_F(ProjectFile, SavingReplacesTheFileWhole) {
    test::TempDir dir;
    const auto path = dir / "show.pdp";
    TProject& project = CreateProject();
    project.AddSong()->AddPart();
    std::string message;
    ASSERT_TRUE(SaveProjectFileAs(path, message)) << message;
    EXPECT_EQ(project.Settings->FileName, path.string());
    const TByteBuffer first = ReadBytes(path);

    // A longer earlier version leaves nothing behind, and the permission bits stay.
    TByteBuffer longer = first;
    longer.resize(first.size() + 5000, 0x55);
    WriteBytes(path, longer);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(SaveProjectFile(path, message)) << message;
    EXPECT_EQ(ReadBytes(path), first);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // A link is followed: the file it points at is replaced, the link stays.
    const auto link = dir / "link.pdp";
    std::filesystem::create_symlink(path, link);
    project.Name = "renamed";
    ASSERT_TRUE(SaveProjectFile(link, message)) << message;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    TProjectFileImage image;
    ASSERT_TRUE(LoadProjectImage(path, image, message)) << message;
    EXPECT_EQ(image.Project->Name, "renamed");

    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 2) << "no temporary file is left behind";
}

TEST_F(ProjectFile, AFailedSaveIsReportedAndLeavesTheOldFileIntact) {
    test::TempDir dir;
    const auto path = dir / "show.pdp";
    TProject& project = CreateProject();
    std::string message;
    ASSERT_TRUE(SaveProjectFileAs(path, message)) << message;
    const TByteBuffer old = ReadBytes(path);

    // A disk that fills up in the middle of the save: the process may write only 1000 bytes
    // per file. This holds for root too.
    TSong* song = project.AddSong();
    for (int i = 0; i < 10; ++i) {
        song->AddPart();
    }
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = SaveProjectFile(path, message);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(saved_ok);
    EXPECT_NE(message.find(path.string()), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(path), old);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 1) << "the half-written file is removed";

    // Save-as into a folder that does not exist keeps the previous file name.
    EXPECT_FALSE(SaveProjectFileAs(dir / "no" / "such" / "folder.pdp", message));
    EXPECT_EQ(project.Settings->FileName, path.string());
    DestroyProject();
    EXPECT_FALSE(SaveProjectFile(path, message)) << "no project open";
}

} // namespace
} // namespace peldor
