// The audio settings dialog on a private JACK server while audio runs: the master moves to the
// output chosen in the dialog at once, and the JACK settings window changes the client's ports
// and re-opens the driver with the channel assignment kept.

#include "app/main_controller.h"
#include "app/main_window_core.h"
#include "app/settings_file.h"
#include "midi/virtual_midi_backend.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "tests/app/app_test_support.h"
#include "tests/app/switch_show.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/jack_server.h"
#include "tests/support/temp_dir.h"
#include "tests/window/asio_form_driving.h"
#include "tests/window/qt_test_app.h"
#include "ui/asio_form.h"
#include "ui/driver_settings_form.h"
#include "ui/main_form.h"
#include "ui/window_message_pump.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <jack/jack.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>

namespace peldor::test {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = 48000;

/// A JACK client with two audio inputs that measures the level of two of the program's output
/// ports over a quarter of a second.
class Listener {
public:
    explicit Listener(const std::string& server) {
        jack_status_t status{};
        client = jack_client_open("listener",
                                  static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                  &status, server.c_str());
        if (client == nullptr) {
            return;
        }
        for (int c = 0; c < 2; ++c) {
            inputs[c] = jack_port_register(client, ("in_" + std::to_string(c + 1)).c_str(),
                                           JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        }
        jack_set_process_callback(client, &Listener::Process, this);
        jack_activate(client);
    }
    ~Listener() {
        if (client != nullptr) {
            jack_client_close(client);
        }
    }
    bool Ready() const { return client != nullptr && inputs[1] != nullptr; }

    /// Listens to the program's ports (as "out_3"), after dropping earlier connections.
    bool Connect(const std::string& first, const std::string& second) {
        for (int c = 0; c < 2; ++c) {
            jack_port_disconnect(client, inputs[c]);
            const std::string pattern = "Peldor.*:" + (c == 0 ? first : second) + "$";
            const char** ports =
                jack_get_ports(client, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
            const std::string from = ports != nullptr && ports[0] != nullptr ? ports[0] : "";
            jack_free(static_cast<void*>(ports));
            if (from.empty() ||
                jack_connect(client, from.c_str(), jack_port_name(inputs[c])) != 0) {
                return false;
            }
        }
        return true;
    }

    /// The program's output ports, by their short names.
    std::vector<std::string> ProgramPorts() const {
        std::vector<std::string> names;
        const char** ports = jack_get_ports(client, "^Peldor", JACK_DEFAULT_AUDIO_TYPE, 0);
        for (int i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
            const std::string name = ports[i];
            names.push_back(name.substr(name.find(':') + 1));
        }
        jack_free(static_cast<void*>(ports));
        return names;
    }

    /// RMS of both inputs over a quarter of a second; the window thread keeps working.
    std::array<double, 2> Levels(const std::function<void()>& windowDuties) {
        sums[0].store(0.0);
        sums[1].store(0.0);
        frames.store(0);
        listening.store(true, std::memory_order_release);
        WaitUntil(10s, [&] {
            windowDuties();
            return frames.load() >= kRate / 4;
        });
        listening.store(false, std::memory_order_release);
        const double n = std::max<double>(1.0, static_cast<double>(frames.load()));
        return {std::sqrt(sums[0].load() / n), std::sqrt(sums[1].load() / n)};
    }

private:
    static int Process(jack_nframes_t n, void* self) {
        auto* me = static_cast<Listener*>(self);
        if (!me->listening.load(std::memory_order_acquire)) {
            return 0;
        }
        for (int c = 0; c < 2; ++c) {
            const auto* in = static_cast<const float*>(jack_port_get_buffer(me->inputs[c], n));
            double sum = 0.0;
            for (jack_nframes_t i = 0; i < n; ++i) {
                sum += static_cast<double>(in[i]) * in[i];
            }
            me->sums[c].store(me->sums[c].load(std::memory_order_relaxed) + sum,
                              std::memory_order_relaxed);
        }
        me->frames.fetch_add(n, std::memory_order_relaxed);
        return 0;
    }

    jack_client_t* client = nullptr;
    jack_port_t* inputs[2] = {};
    std::atomic<bool> listening{false};
    std::array<std::atomic<double>, 2> sums{};
    std::atomic<std::uint64_t> frames{0};
};

class AsioFormJackTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApplication();
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynth.so");
        SetRegistryFile(dir / "registry.ini");
        std::ofstream(ini) << "[ASIO]\nDriver=0\nSample rate=" << kRate
                           << "\nOutMainL=0\nOutMainR=1\n[JACK]\nServer=" << server.Name()
                           << "\nInputs=0\nOutputs=4\nAuto connect=0\n";
        TMainController::InitializeProcess();
        TStartOptions options;
        options.IniPath = ini;
        options.PluginFolder = (dir / "plugins").string();
        options.SplashStatusDelayMs = 0;
        options.MidiBackend = [] {
            return std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{"keys"},
                                                         std::vector<std::string>{});
        };
        controller = std::make_unique<TMainController>(std::move(options));
        core = std::make_unique<TMainWindowCore>(*controller);
        form = std::make_unique<TMainForm>(*core);
        controller->Start();
        form->LoadFromCore();
        form->ShowMaximisedWithPlacement();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        listener = std::make_unique<Listener>(server.Name());
        ASSERT_TRUE(listener->Ready());
    }
    void TearDown() override {
        if (form) {
            form->close();
        }
        if (controller) {
            controller->Shutdown();
        }
        form.reset();
        core.reset();
        controller.reset();
        listener.reset();
        SetWindowPoster(nullptr);
        StripTable.MixerSettings.oscactive = 0;
        for (int list = 0; list < kAudioChannelLists; ++list) {
            ChannelField(list) = -1;
        }
        InstrumentCatalogue.clear();
        EffectCatalogue.clear();
        SetRegistryFile(ResolveRegistryPath());
    }

    /// Levels of two program ports while the window thread does its duties.
    std::array<double, 2> Levels(const std::string& first, const std::string& second) {
        EXPECT_TRUE(WaitUntil(10s,
                              [&] {
                                  form->ApplicationIdle();
                                  return listener->Connect(first, second);
                              }))
            << first << ", " << second;
        return listener->Levels([this] {
            form->ApplicationIdle();
            form->UITimerTimer();
            QTest::qWait(10);
        });
    }

    JackServer server{kRate, 256};
    TempDir dir{"peldor-asioform-jack"};
    std::filesystem::path ini = dir / "peldor.ini";
    RecordingPresenter presenter;
    std::unique_ptr<TMainController> controller;
    std::unique_ptr<TMainWindowCore> core;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<Listener> listener;
};

TEST_F(AsioFormJackTest, TheMasterMovesToTheOutputChosenWhileAudioRuns) {
    StartTestTone(*controller);
    BuildSwitchShow(*controller, {{0, {0}}});
    const auto before = Levels("out_1", "out_3");
    ASSERT_GT(before[0], 0.05) << "the test tone is not heard on out_1";
    EXPECT_LT(before[1], 0.001);

    form->Action("ASIO_Settings")->trigger();
    TASIOForm& dialog = *form->AsioWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.DriverList()->currentText(), "JACK");
    EXPECT_EQ(dialog.RateList()->count(), 1) << "the server's rate only";
    EXPECT_EQ(dialog.RateList()->currentText(), "48.000 kHz");
    EXPECT_EQ(dialog.ClockList()->currentText(), "JACK server");
    EXPECT_EQ(dialog.LatencyField()->text(), "5 ms");
    ChooseItem(dialog.ChannelList(4), "out_3");
    EXPECT_EQ(TSettingsFile(ini).ReadInteger("ASIO", "OutMainL", -99), 2);
    EXPECT_EQ(static_cast<int>(ChannelAssignment.OutMainL), 2);
    EXPECT_TRUE(controller->Asio().Active()) << "a channel change does not stop the driver";
    const auto after = Levels("out_1", "out_3");
    EXPECT_LT(after[0], 0.001);
    EXPECT_GT(after[1], 0.05) << "the test tone is not heard on out_3";

    // The JACK settings: six outputs under another client name. The driver is re-opened and
    // the master stays on the third output.
    QTest::mouseClick(dialog.ControlPanelButton(), Qt::LeftButton);
    TDriverSettingsForm* settings = dialog.DriverSettingsWindow();
    ASSERT_NE(settings, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(settings));
    EXPECT_EQ(settings->windowTitle(), "JACK settings");
    auto* serverName = settings->findChild<QLineEdit*>("Server");
    ASSERT_NE(serverName, nullptr);
    EXPECT_EQ(serverName->text().toStdString(), server.Name());
    auto* clientName = settings->findChild<QLineEdit*>("Client name");
    ASSERT_NE(clientName, nullptr);
    clientName->selectAll();
    QTest::keyClicks(clientName, "PeldorStage");
    TypeInto(settings->findChild<QSpinBox*>("Outputs"), "6");
    QTest::mouseClick(settings->OkButton(), Qt::LeftButton);
    EXPECT_FALSE(settings->isVisible());
    const TSettingsFile file(ini);
    EXPECT_EQ(file.ReadString("JACK", "Client name", ""), "PeldorStage");
    EXPECT_EQ(file.ReadInteger("JACK", "Outputs", -99), 6);
    EXPECT_EQ(file.ReadInteger("JACK", "Auto connect", -99), 0);
    EXPECT_EQ(dialog.ChannelList(4)->count(), 6);
    EXPECT_EQ(dialog.ChannelList(4)->currentText(), "out_3");
    EXPECT_TRUE(controller->Asio().Active());
    EXPECT_EQ(listener->ProgramPorts(),
              (std::vector<std::string>{"out_1", "out_2", "out_3", "out_4", "out_5", "out_6"}));
    const auto reopened = Levels("out_3", "out_6");
    EXPECT_GT(reopened[0], 0.05) << "the test tone is not heard on out_3 after re-opening";
    EXPECT_LT(reopened[1], 0.001);
}

} // namespace
} // namespace peldor::test
