#include "tests/project/project_samples.h"

#include <cstring>

namespace peldor::test {

namespace {

// The start-up strip table, leaving the program's own table as it was.
void DefaultStripTable(TProjectFileImage& image) {
    const TStripTable running = StripTable;
    InitStripTable();
    image.Descriptors = StripTable.Descriptors;
    image.MixerSettings = StripTable.MixerSettings;
    StripTable = running;
}

void FillConnection(TConnection& c, int seed) {
    c.Name = "connection " + std::to_string(seed) + " \xC3\xA4"; // a UTF-8 umlaut
    c.SetInPort(1 + seed % 15);
    c.InChannel = 16 - seed % 3;
    c.PassNote = 0;
    c.PassPolyPressure = 1;
    c.PassController = 0;
    c.PassProgramChange = 1;
    c.PassAftertouch = 0;
    c.PassPitchbend = 0;
    c.PassUser1 = 1;
    c.PassUser2 = 1;
    c.Enabled = 0;
    c.Program = 100 + seed;
    c.ProgramEnabled = 0;
    c.ProgramName = seed % 2 ? "" : "Grand Piano";
    c.BankHi = 5;
    c.BankLo = 6;
    c.BankHiEnabled = 1;
    c.BankLoEnabled = 1;
    c.Volume = 100;
    c.VolumeEnabled = 0;
    c.Pan = 10;
    c.PanEnabled = 0;
    c.Transpose = static_cast<std::int8_t>(-48 + seed);
    c.RangeHi = 90;
    c.RangeLo = 20;
    c.SetOutPort(16 + seed % 16);
    c.OutChannel = 16;
    c.Position = seed;
}

void FillStrip(TStripState& s, int seed) {
    s.Mute = 1;
    s.SoloMute = seed % 2;
    s.Solo = 1;
    s.Level = 0.125f * static_cast<float>(seed % 8);
    s.Pan = 0.25f;
    s.MonSend[0] = 0.5f;
    s.MonSend[1] = 0.75f;
    for (int i = 0; i < kAuxCount; ++i) {
        s.AuxSend[i] = 0.1f * static_cast<float>(i + 1);
    }
    s.Reverb = 40 + seed % 80;
    s.Chorus = 3;
    s.MeterL = 0.33f;
}

} // namespace

TProjectFileImage EmptyImage() {
    TProjectFileImage image;
    DefaultStripTable(image);
    image.Project = std::make_unique<TProject>();
    image.Project->Created = 45000.5;
    return image;
}

TProjectFileImage RichImage() {
    TProjectFileImage image = EmptyImage();
    image.InputSelected[0] = 1;
    image.InputSelected[15] = 1;
    image.OutputSelected[3] = 1;
    image.Descriptors[kMasterStrip].LongName = "Main out";
    image.Descriptors[kSoloStrip].ShortName = "PFL";
    image.Descriptors[5].Code6 = 9;
    TMixerSettings& m = image.MixerSettings;
    m.oscactive = 1;
    m.oscsine = 0;
    m.oscfrq = 1;
    m.oscx4 = 1;
    m.osctomain = 0;
    m.osctosolo = 1;
    m.osctomon2 = 1;
    m.osctoaux3 = 1;
    m.osclevel = 0.5f;
    m.meterspostvsti = 1;
    m.meterspostoutputs = 1;
    m.sololevel = 0.25f;
    m.addmode = 1;

    TProject& project = *image.Project;
    project.Name = "Tour 2024";
    project.Venue = "Stadthalle";
    project.Created = 45123.75;
    project.Author = "K. M\xC3\xBCller";
    project.Settings->FileName = "/home/k/shows/tour.pdp";

    TSong* song = project.AppendSong(std::make_unique<TSong>("Opening"));
    song->Composer = "someone";
    song->Tempo = 132.5f;
    song->Key = "d minor";
    for (int slot = 0; slot < kSlotCount; ++slot) {
        TPluginSettings& s = song->SlotSettings[slot];
        s.PluginIndex = slot % 3 == 0 ? -1 : slot;
        s.IsInstrument = slot < kFirstEffectSlot ? 1 : 0;
        s.NumInputs = slot % 4;
        s.NumOutputs = 2 + slot % 2;
        s.EditorVisible = slot % 2;
        s.EditorLeft = 10 * slot;
        s.EditorTop = -5 * slot;
    }
    int seed = 0;
    for (int p = 0; p < 3; ++p) {
        TPart* part = song->AppendPart(std::make_unique<TPart>("part " + std::to_string(p)));
        for (int c = 0; c < p + 1; ++c) {
            FillConnection(*part->AppendConnection(std::make_unique<TConnection>()), ++seed);
        }
        for (int i = 0; i < kStripCount; i += 7) {
            FillStrip((*part->Strips)[i], i + p);
        }
        FillStrip((*part->Strips)[kMasterStrip], 3);
        FillStrip((*part->Strips)[kSoloStrip], 4);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            TPluginSettings& s = part->SlotStates[slot];
            s.ProgramNr = slot + p;
            s.ProgramCategory = -slot;
            if (slot % 4 == 1) {
                s.HasState = 1;
                s.StateData.resize(static_cast<std::size_t>(5 + slot + p));
                for (std::size_t i = 0; i < s.StateData.size(); ++i) {
                    s.StateData[i] = static_cast<std::uint8_t>(i * 37 + slot);
                }
                s.StateSize = static_cast<std::int32_t>(s.StateData.size());
            } else if (slot % 4 == 2) {
                s.StateSize = 12; // no data behind it
            }
        }
        part->SyncFromSong();
    }
    project.AppendSong(std::make_unique<TSong>(""))->Tempo = 60.0f;

    image.CurrentSong = 0;
    image.CurrentPart = 1;
    image.CurrentConnection = 1;
    image.SongCounter = 12;
    image.PartCounter = 34;
    image.ConnectionCounter = 56;

    TProjectOptions& o = image.Options;
    o.NoteNamingScheme = 3;
    o.ProcessActiveSense = 1;
    o.SendAllNotesOffOnChange = 0;
    o.UserFilter1[0] = 177;
    o.UserFilter1[1] = 1;
    o.UserFilter1[2] = -2;
    o.UserFilter2[1] = 7;
    o.HotkeysEnabled = 0;
    o.MidiRemoteEnabled = 0;
    o.RemotePort = 9;
    for (int i = 0; i < kRemoteCommandCount; ++i) {
        o.RemoteCommands[i].Hotkey = static_cast<std::int16_t>(0x4000 | (65 + i));
        o.RemoteCommands[i].Pattern[0] = static_cast<std::int16_t>(0xB0 + i);
        o.RemoteCommands[i].Pattern[1] = static_cast<std::int16_t>(0x13C);
        o.RemoteCommands[i].Pattern[2] = -2;
    }
    o.RemoteCommands[4].Hotkey = static_cast<std::int16_t>(0x8000 | 27);
    o.Epsilon = 1e-20f;
    o.DecimalSeparator = ',';
    o.ThousandSeparator = '.';
    o.AudioThreadPriority = 6;
    o.SineAccuracy = 2;
    o.PinkNoise = 0;

    image.WindowLayout[kLayoutMainWindow] = {1, 10, 20, 800, 600, 1};
    image.WindowLayout[kLayoutMixer2] = {1, -30, 40, 300, 200, 0};
    image.WindowLayout[kLayoutProjectOptions] = {1, 0, 0, 1, 1, 1};
    return image;
}

TProjectFileImage LargeImage(int songs, int parts, int connections, int stateBytes) {
    TProjectFileImage image = EmptyImage();
    TProject& project = *image.Project;
    int seed = 0;
    for (int s = 0; s < songs; ++s) {
        TSong* song = project.AppendSong(std::make_unique<TSong>("song " + std::to_string(s)));
        for (int slot = 0; slot < kSlotCount; ++slot) {
            song->SlotSettings[slot].PluginIndex = slot;
        }
        for (int p = 0; p < parts; ++p) {
            TPart* part = song->AppendPart(std::make_unique<TPart>("part " + std::to_string(p)));
            for (int c = 0; c < connections; ++c) {
                FillConnection(*part->AppendConnection(std::make_unique<TConnection>()), ++seed);
            }
            for (auto& slot : part->SlotStates) {
                slot.HasState = 1;
                slot.StateSize = stateBytes;
                slot.StateData.assign(static_cast<std::size_t>(stateBytes),
                                      static_cast<std::uint8_t>(seed));
            }
        }
    }
    image.CurrentSong = 0;
    image.CurrentPart = 0;
    return image;
}

TByteBuffer FileBytes(const TProjectFileImage& image) {
    TByteBuffer bytes;
    WriteProjectFile(image, bytes);
    return bytes;
}

} // namespace peldor::test
