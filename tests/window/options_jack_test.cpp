// The MIDI settings dialog over RtMidi's JACK MIDI on a private JACK server: a JACK client's
// port is chosen in the dialog, applied, and a note played on it reaches the show's instrument.

#include "app/main_controller.h"
#include "app/main_window_core.h"
#include "app/show_builder.h"
#include "engine/event_queue.h"
#include "midi/midi_devices.h"
#include "midi/rtmidi_backend.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/jack_server.h"
#include "tests/support/temp_dir.h"
#include "tests/window/qt_test_app.h"
#include "ui/main_form.h"
#include "ui/midi_form.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace peldor::test {
namespace {

/// A JACK client whose MIDI output "out" plays the notes the test queues.
class NoteSource {
public:
    explicit NoteSource(const std::string& server) {
        toPlay = jack_ringbuffer_create(kRingBytes);
        jack_status_t status{};
        client = jack_client_open("midi-source",
                                  static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                  &status, server.c_str());
        if (client != nullptr) {
            out = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
            jack_set_process_callback(client, &NoteSource::Process, this);
            jack_activate(client);
        }
    }
    ~NoteSource() {
        if (client != nullptr) {
            jack_client_close(client);
        }
        jack_ringbuffer_free(toPlay);
    }
    bool Ready() const { return client != nullptr && out != nullptr; }
    void Play(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        const std::array<char, 3> bytes{static_cast<char>(status), static_cast<char>(data1),
                                        static_cast<char>(data2)};
        jack_ringbuffer_write(toPlay, bytes.data(), bytes.size());
    }

private:
    static constexpr std::size_t kRingBytes = 1024;
    static int Process(jack_nframes_t frames, void* self) {
        auto* me = static_cast<NoteSource*>(self);
        void* buffer = jack_port_get_buffer(me->out, frames);
        jack_midi_clear_buffer(buffer);
        unsigned char bytes[3];
        while (jack_ringbuffer_read(me->toPlay, reinterpret_cast<char*>(bytes), 3) == 3) {
            jack_midi_event_write(buffer, 0, bytes, 3);
        }
        return 0;
    }

    jack_client_t* client = nullptr;
    jack_port_t* out = nullptr;
    jack_ringbuffer_t* toPlay = nullptr;
};

TEST(OptionsJack, APortChosenInTheMidiDialogPlaysTheShow) {
    EnsureQtApplication();
    TempDir dir{"peldor-options-jack"};
    SetRegistryFile(dir / "registry.ini");
    CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynth.so");
    TMainController::InitializeProcess();

    JackServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    setenv("JACK_DEFAULT_SERVER", server.Name().c_str(), 1);
    NoteSource source(server.Name());
    ASSERT_TRUE(source.Ready());

    TStartOptions options;
    options.IniPath = dir / "peldor.ini";
    options.PluginFolder = (dir / "plugins").string();
    options.SplashStatusDelayMs = 0;
    options.MidiBackend = [] { return CreateRtMidiBackend(TMidiApi::Jack, "Peldor"); };
    TMainController controller(std::move(options));
    TMainWindowCore core(controller);
    {
        TMainForm form(core);
        controller.Start();
        form.LoadFromCore();
        form.ShowMaximisedWithPlacement();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

        // The show routes input 1 to its instrument in "VSTi 1".
        TShowDescription show;
        ASSERT_TRUE(WriteShowFile(dir / "show.pdp", show, error)) << error;
        ASSERT_TRUE(core.OpenProject(dir / "show.pdp"));
        form.ApplicationIdle();

        form.Action("MIDI_Settings")->trigger();
        TMIDIForm& midi = *form.MidiSettingsWindow();
        // Nothing chosen after a rescan; then the source's port is checked and applied.
        QTest::mouseClick(midi.findChild<QPushButton*>("btnRescan"), Qt::LeftButton);
        QListWidget& inputs = *midi.Inputs();
        const QList<QListWidgetItem*> found =
            inputs.findItems("] - midi-source:out", Qt::MatchEndsWith);
        ASSERT_EQ(found.size(), 1);
        ASSERT_EQ(found.front()->text(), "[01] - midi-source:out");
        ASSERT_EQ(found.front()->checkState(), Qt::Unchecked);
        EXPECT_FALSE(MidiInput(0).Opened);
        const QRect rect = inputs.visualItemRect(found.front());
        QTest::mouseClick(inputs.viewport(), Qt::LeftButton, {},
                          QPoint(rect.left() + 10, rect.center().y()));
        ASSERT_TRUE(midi.ApplyButton()->isEnabled());
        QTest::mouseClick(midi.ApplyButton(), Qt::LeftButton);
        EXPECT_FALSE(midi.ApplyButton()->isEnabled());
        ASSERT_TRUE(MidiInput(0).Started);

        // No driver runs, so the note waits in the instrument's queue, behind nothing once the
        // show's activation messages are taken away.
        TakeQueuedEvents(0);
        source.Play(0x90, 60, 100);
        ASSERT_TRUE(QTest::qWaitFor([] { return PendingCount[0] > 0; }, 5000));
        vst2::VstEvents* events = TakeQueuedEvents(0);
        ASSERT_NE(events, nullptr);
        ASSERT_EQ(events->numEvents, 1);
        const auto* note = reinterpret_cast<const vst2::VstMidiEvent*>(events->events[0]);
        EXPECT_EQ(static_cast<unsigned char>(note->midiData[0]), 0x90);
        EXPECT_EQ(note->midiData[1], 60);
        EXPECT_EQ(note->midiData[2], 100);

        form.close();
        controller.ExitApp();
        controller.Shutdown();
    }
    InstrumentCatalogue.clear();
    EffectCatalogue.clear();
    SetRegistryFile(ResolveRegistryPath());
    unsetenv("JACK_DEFAULT_SERVER");
}

} // namespace
} // namespace peldor::test
