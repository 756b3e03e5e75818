#pragma once
// Field-by-field comparison of projects and file images, naming the first difference.

#include "project/project_file.h"

#include <gtest/gtest.h>

namespace peldor::test {

inline void ExpectSameConnection(const TConnection& a, const TConnection& b) {
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.InPort, b.InPort);
    EXPECT_EQ(a.InChannel, b.InChannel);
    EXPECT_EQ(a.PassNote, b.PassNote);
    EXPECT_EQ(a.PassPolyPressure, b.PassPolyPressure);
    EXPECT_EQ(a.PassController, b.PassController);
    EXPECT_EQ(a.PassProgramChange, b.PassProgramChange);
    EXPECT_EQ(a.PassAftertouch, b.PassAftertouch);
    EXPECT_EQ(a.PassPitchbend, b.PassPitchbend);
    EXPECT_EQ(a.PassUser1, b.PassUser1);
    EXPECT_EQ(a.PassUser2, b.PassUser2);
    EXPECT_EQ(a.Enabled, b.Enabled);
    EXPECT_EQ(a.Program, b.Program);
    EXPECT_EQ(a.ProgramEnabled, b.ProgramEnabled);
    EXPECT_EQ(a.ProgramName, b.ProgramName);
    EXPECT_EQ(a.BankHi, b.BankHi);
    EXPECT_EQ(a.BankLo, b.BankLo);
    EXPECT_EQ(a.BankHiEnabled, b.BankHiEnabled);
    EXPECT_EQ(a.BankLoEnabled, b.BankLoEnabled);
    EXPECT_EQ(a.Volume, b.Volume);
    EXPECT_EQ(a.VolumeEnabled, b.VolumeEnabled);
    EXPECT_EQ(a.Pan, b.Pan);
    EXPECT_EQ(a.PanEnabled, b.PanEnabled);
    EXPECT_EQ(a.Transpose, b.Transpose);
    EXPECT_EQ(a.RangeHi, b.RangeHi);
    EXPECT_EQ(a.RangeLo, b.RangeLo);
    EXPECT_EQ(a.OutPort, b.OutPort);
    EXPECT_EQ(a.OutChannel, b.OutChannel);
    EXPECT_EQ(a.Position, b.Position);
}

inline void ExpectSameStrip(const TStripState& a, const TStripState& b) {
    EXPECT_EQ(a.Mute, b.Mute);
    EXPECT_EQ(a.SoloMute, b.SoloMute);
    EXPECT_EQ(a.Solo, b.Solo);
    EXPECT_EQ(a.Level, b.Level);
    EXPECT_EQ(a.Pan, b.Pan);
    for (int i = 0; i < kMonitorCount; ++i) {
        EXPECT_EQ(a.MonSend[i], b.MonSend[i]);
    }
    for (int i = 0; i < kAuxCount; ++i) {
        EXPECT_EQ(a.AuxSend[i], b.AuxSend[i]);
    }
    EXPECT_EQ(a.Reverb, b.Reverb);
    EXPECT_EQ(a.Chorus, b.Chorus);
    EXPECT_EQ(a.MeterL, b.MeterL);
}

inline void ExpectSameSongSlot(const TPluginSettings& a, const TPluginSettings& b) {
    EXPECT_EQ(a.PluginIndex, b.PluginIndex);
    EXPECT_EQ(a.IsInstrument, b.IsInstrument);
    EXPECT_EQ(a.NumInputs, b.NumInputs);
    EXPECT_EQ(a.NumOutputs, b.NumOutputs);
    EXPECT_EQ(a.EditorVisible, b.EditorVisible);
    EXPECT_EQ(a.EditorLeft, b.EditorLeft);
    EXPECT_EQ(a.EditorTop, b.EditorTop);
    EXPECT_EQ(a.Slot, b.Slot);
}

inline void ExpectSamePartSlot(const TPluginSettings& a, const TPluginSettings& b) {
    EXPECT_EQ(a.ProgramNr, b.ProgramNr);
    EXPECT_EQ(a.ProgramCategory, b.ProgramCategory);
    EXPECT_EQ(a.HasState, b.HasState);
    EXPECT_EQ(a.StateSize, b.StateSize);
    EXPECT_EQ(a.StateData, b.StateData);
    EXPECT_EQ(a.Slot, b.Slot);
}

inline void ExpectSameProject(const TProject& a, const TProject& b) {
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.Venue, b.Venue);
    EXPECT_EQ(a.Created, b.Created);
    EXPECT_EQ(a.Author, b.Author);
    EXPECT_EQ(a.Settings->FileName, b.Settings->FileName);
    ASSERT_EQ(a.SongCount(), b.SongCount());
    for (std::int32_t s = 0; s < a.SongCount(); ++s) {
        SCOPED_TRACE("song " + std::to_string(s));
        const TSong& x = *a.SongAt(s);
        const TSong& y = *b.SongAt(s);
        EXPECT_EQ(x.Name, y.Name);
        EXPECT_EQ(x.Composer, y.Composer);
        EXPECT_EQ(x.Tempo, y.Tempo);
        EXPECT_EQ(x.Key, y.Key);
        for (int i = 0; i < kSlotCount; ++i) {
            ExpectSameSongSlot(x.SlotSettings[i], y.SlotSettings[i]);
        }
        ASSERT_EQ(x.PartCount(), y.PartCount());
        for (std::int32_t p = 0; p < x.PartCount(); ++p) {
            SCOPED_TRACE("part " + std::to_string(p));
            const TPart& u = *x.PartAt(p);
            const TPart& v = *y.PartAt(p);
            EXPECT_EQ(u.Name, v.Name);
            ASSERT_EQ(u.ConnectionCount(), v.ConnectionCount());
            for (std::int32_t c = 0; c < u.ConnectionCount(); ++c) {
                ExpectSameConnection(*u.ConnectionAt(c), *v.ConnectionAt(c));
            }
            for (int i = 0; i < kStripCount; ++i) {
                SCOPED_TRACE("strip " + std::to_string(i));
                ExpectSameStrip((*u.Strips)[i], (*v.Strips)[i]);
            }
            for (int i = 0; i < kSlotCount; ++i) {
                ExpectSamePartSlot(u.SlotStates[i], v.SlotStates[i]);
            }
        }
    }
}

inline void ExpectSameOptions(const TProjectOptions& a, const TProjectOptions& b) {
    EXPECT_EQ(a.NoteNamingScheme, b.NoteNamingScheme);
    EXPECT_EQ(a.ProcessActiveSense, b.ProcessActiveSense);
    EXPECT_EQ(a.SendAllNotesOffOnChange, b.SendAllNotesOffOnChange);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(a.UserFilter1[i], b.UserFilter1[i]);
        EXPECT_EQ(a.UserFilter2[i], b.UserFilter2[i]);
    }
    EXPECT_EQ(a.HotkeysEnabled, b.HotkeysEnabled);
    EXPECT_EQ(a.MidiRemoteEnabled, b.MidiRemoteEnabled);
    EXPECT_EQ(a.RemotePort, b.RemotePort);
    for (int c = 0; c < kRemoteCommandCount; ++c) {
        EXPECT_EQ(a.RemoteCommands[c].Hotkey, b.RemoteCommands[c].Hotkey);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(a.RemoteCommands[c].Pattern[i], b.RemoteCommands[c].Pattern[i]);
        }
    }
    EXPECT_EQ(a.Epsilon, b.Epsilon);
    EXPECT_EQ(a.DecimalSeparator, b.DecimalSeparator);
    EXPECT_EQ(a.ThousandSeparator, b.ThousandSeparator);
    EXPECT_EQ(a.AudioThreadPriority, b.AudioThreadPriority);
    EXPECT_EQ(a.SineAccuracy, b.SineAccuracy);
    EXPECT_EQ(a.PinkNoise, b.PinkNoise);
}

inline void ExpectSameMixer(const TMixerSettings& a, const TMixerSettings& b) {
    EXPECT_EQ(a.oscactive, b.oscactive);
    EXPECT_EQ(a.oscsine, b.oscsine);
    EXPECT_EQ(a.oscfrq, b.oscfrq);
    EXPECT_EQ(a.oscx4, b.oscx4);
    EXPECT_EQ(a.osctomain, b.osctomain);
    EXPECT_EQ(a.osctomon1, b.osctomon1);
    EXPECT_EQ(a.osctomon2, b.osctomon2);
    EXPECT_EQ(a.osctosolo, b.osctosolo);
    EXPECT_EQ(a.osctoaux1, b.osctoaux1);
    EXPECT_EQ(a.osctoaux2, b.osctoaux2);
    EXPECT_EQ(a.osctoaux3, b.osctoaux3);
    EXPECT_EQ(a.osctoaux4, b.osctoaux4);
    EXPECT_EQ(a.osclevel, b.osclevel);
    EXPECT_EQ(a.meterspostinputs, b.meterspostinputs);
    EXPECT_EQ(a.meterspostoutputs, b.meterspostoutputs);
    EXPECT_EQ(a.meterspostvst, b.meterspostvst);
    EXPECT_EQ(a.meterspostvsti, b.meterspostvsti);
    EXPECT_EQ(a.sololevel, b.sololevel);
    EXPECT_EQ(a.addmode, b.addmode);
}

inline void ExpectSameDescriptors(const std::array<TStripDescriptor, kStripCount>& a,
                                  const std::array<TStripDescriptor, kStripCount>& b) {
    for (int i = 0; i < kStripCount; ++i) {
        SCOPED_TRACE("descriptor " + std::to_string(i));
        EXPECT_EQ(a[i].Code1, b[i].Code1);
        EXPECT_EQ(a[i].Code2, b[i].Code2);
        EXPECT_EQ(a[i].Code3, b[i].Code3);
        EXPECT_EQ(a[i].Code4, b[i].Code4);
        EXPECT_EQ(a[i].LongName, b[i].LongName);
        EXPECT_EQ(a[i].ShortName, b[i].ShortName);
        EXPECT_EQ(a[i].Code5, b[i].Code5);
        EXPECT_EQ(a[i].Code6, b[i].Code6);
    }
}

inline void ExpectSameImage(const TProjectFileImage& a, const TProjectFileImage& b) {
    EXPECT_EQ(a.InputSelected, b.InputSelected);
    EXPECT_EQ(a.OutputSelected, b.OutputSelected);
    ExpectSameDescriptors(a.Descriptors, b.Descriptors);
    ExpectSameMixer(a.MixerSettings, b.MixerSettings);
    ExpectSameProject(*a.Project, *b.Project);
    EXPECT_EQ(a.CurrentSong, b.CurrentSong);
    EXPECT_EQ(a.CurrentPart, b.CurrentPart);
    EXPECT_EQ(a.CurrentConnection, b.CurrentConnection);
    EXPECT_EQ(a.SongCounter, b.SongCounter);
    EXPECT_EQ(a.PartCounter, b.PartCounter);
    EXPECT_EQ(a.ConnectionCounter, b.ConnectionCounter);
    ExpectSameOptions(a.Options, b.Options);
    EXPECT_EQ(a.WindowLayout, b.WindowLayout);
}

} // namespace peldor::test
