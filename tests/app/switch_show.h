#pragma once
// A show for the switch tests, built in the running program: songs that each put one plugin
// of the instrument catalogue into "VSTi 1", with parts that route every channel of MIDI input
// 1 to it with their own transposition, the instrument and the master at full level.

#include "app/main_controller.h"
#include "engine/strip_table.h"
#include "midi/midi_devices.h"
#include "project/project_model.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace peldor::test {

struct SwitchSong {
    /// Instrument catalogue index of the plugin in "VSTi 1".
    std::int32_t PluginIndex = -1;
    /// One part per entry.
    std::vector<int> Transpositions;
};

/// Replaces the songs of a new project with songs, enters song 1, part 1 (loading its plugin),
/// opens MIDI input 1 and starts the driver. Window thread.
inline void BuildSwitchShow(TMainController& main, const std::vector<SwitchSong>& songs) {
    main.NewProject();
    TProject& project = *ActiveProject();
    while (project.SongCount() > 0) {
        project.DeleteSong(0);
    }
    for (const SwitchSong& description : songs) {
        TSong& song = *project.AddSong();
        song.SlotSettings[0].PluginIndex = description.PluginIndex;
        song.SlotSettings[0].IsInstrument = 1;
        for (int transpose : description.Transpositions) {
            TPart& part = *song.AddPart();
            TConnection& connection = *part.AddConnection();
            connection.SetInPort(0);
            connection.InChannel = kOmniChannel;
            connection.SetOutPort(kFirstInstrumentPort);
            connection.OutChannel = kMultiChannel;
            connection.Transpose = static_cast<std::int8_t>(transpose);
            connection.ProgramEnabled = 0;
            connection.VolumeEnabled = 0;
            connection.PanEnabled = 0;
            (*part.Strips)[kFirstInstrumentStrip].Level = 1.0f;
            (*part.Strips)[kMasterStrip].Level = 1.0f;
        }
    }
    CurrentSong = -1; // so that entering song 0 applies its plugins
    ASSERT_TRUE(main.EnterPart(0, 0));
    SetMidiInputSelected(0, true);
    OpenSelectedDevices();
    main.Idle();
    ASSERT_TRUE(main.Asio().Active());
}

/// The mixer's test tone, 440 Hz at half scale, straight into the master.
inline void StartTestTone(TMainController& main) {
    TMixerSettings& mixer = StripTable.MixerSettings;
    mixer.oscactive = 1;
    mixer.oscsine = 1;
    mixer.oscfrq = 0;
    mixer.osctomain = 1;
    mixer.osclevel = 0.5f;
    main.Processor()->UpdateOscillator();
}

} // namespace peldor::test
