// The audio settings dialog as a user drives it (offscreen) over the running program with the
// real Dummy driver: the menu's "ASIO" toggle, the lists chosen with the mouse and keyboard,
// the settings file after every change, the engine's channel assignment and rate, the Dummy's
// own settings window, and the placement.

#include "app/main_controller.h"
#include "app/main_window_core.h"
#include "app/settings_file.h"
#include "midi/virtual_midi_backend.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/window/asio_form_driving.h"
#include "tests/window/qt_test_app.h"
#include "ui/asio_form.h"
#include "ui/driver_settings_form.h"
#include "ui/main_form.h"
#include "ui/window_message_pump.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace peldor::test {
namespace {

class AsioFormTest : public ::testing::Test {
protected:
    AsioFormTest() {
        EnsureQtApplication();
        SetRegistryFile(dir / "registry.ini");
        TMainController::InitializeProcess();
    }
    ~AsioFormTest() override {
        Close();
        SetWindowPoster(nullptr);
        for (int list = 0; list < kAudioChannelLists; ++list) {
            ChannelField(list) = -1;
        }
        InstrumentCatalogue.clear();
        EffectCatalogue.clear();
        SetRegistryFile(ResolveRegistryPath());
    }

    /// Starts the program on the settings file's text, as the window program does.
    void Open(const std::string& text, bool write = true) {
        Close();
        if (write) {
            std::ofstream(ini) << text;
        }
        TStartOptions options;
        options.IniPath = ini;
        options.PluginFolder = (dir / "plugins").string();
        options.SplashStatusDelayMs = 0;
        options.MidiBackend = [] {
            return std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{},
                                                         std::vector<std::string>{});
        };
        controller = std::make_unique<TMainController>(std::move(options));
        core = std::make_unique<TMainWindowCore>(*controller);
        form = std::make_unique<TMainForm>(*core);
        controller->Start();
        form->LoadFromCore();
        form->ShowMaximisedWithPlacement();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_NE(form->AsioWindow(), nullptr);
    }

    void Close() {
        if (form) {
            form->close();
        }
        if (controller) {
            controller->Shutdown();
        }
        form.reset();
        core.reset();
        controller.reset();
    }

    /// The dialog, shown through Settings > ASIO.
    TASIOForm& Dialog() {
        TASIOForm& dialog = *form->AsioWindow();
        if (!dialog.isVisible()) {
            form->Action("ASIO_Settings")->trigger();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        }
        return dialog;
    }

    std::int32_t Stored(const char* key, const char* section = "ASIO") const {
        return TSettingsFile(ini).ReadInteger(section, key, -99);
    }

    std::vector<std::int32_t> StoredChannels() const {
        std::vector<std::int32_t> values;
        for (int list = 0; list < kAudioChannelLists; ++list) {
            values.push_back(Stored(ChannelListKey(list)));
            EXPECT_EQ(static_cast<std::int32_t>(ChannelField(list)), values.back())
                << ChannelListKey(list);
        }
        return values;
    }

    static std::vector<int> Shown(const TASIOForm& dialog) {
        std::vector<int> values;
        for (int list = 0; list < kAudioChannelLists; ++list) {
            values.push_back(dialog.ChannelList(list)->currentIndex());
        }
        return values;
    }

    void Screenshot(QWidget& widget, const char* name) {
        const char* binary = std::getenv("PELDOR_BINARY_DIR");
        const std::filesystem::path folder =
            std::filesystem::path(binary != nullptr ? binary : ".") / "screenshots";
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(widget.grab().save(QString::fromStdString((folder / name).string())));
    }

    TempDir dir{"peldor-asioform"};
    std::filesystem::path ini = dir / "peldor.ini";
    RecordingPresenter presenter;
    std::unique_ptr<TMainController> controller;
    std::unique_ptr<TMainWindowCore> core;
    std::unique_ptr<TMainForm> form;
};

TEST_F(AsioFormTest, AFirstStartWithATwoByTwoDummyChosenInTheDialog) {
    Open("[Dummy]\nInputs=2\nOutputs=2\nSample rate=48000\nBuffer size=256\n");
    TASIOForm& dialog = *form->AsioWindow();
    QAction& action = *form->Action("ASIO_Settings");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(action.isChecked());
    Dialog();
    EXPECT_TRUE(action.isChecked());
    EXPECT_EQ(dialog.size(), QSize(TASIOForm::kWidth, TASIOForm::kHeight));
    EXPECT_EQ(dialog.DriverList()->count(), 3);
    EXPECT_EQ(dialog.DriverList()->currentIndex(), -1);
    EXPECT_EQ(dialog.ChannelList(0)->count(), 0);
    EXPECT_FALSE(dialog.ControlPanelButton()->isEnabled());

    ChooseItem(dialog.DriverList(), "Dummy");
    EXPECT_EQ(Stored("Driver"), 1);
    EXPECT_EQ(StoredChannels(), (std::vector<std::int32_t>{0, 1, -1, -1, 0, 1, -1, -1, -1, -1}));
    EXPECT_EQ(Shown(dialog), (std::vector<int>{0, 1, -1, -1, 0, 1, -1, -1, -1, -1}));
    EXPECT_EQ(dialog.ChannelList(4)->currentText(), "Dummy out 1");
    EXPECT_EQ(dialog.RateList()->currentText(), "44.100 kHz");
    EXPECT_EQ(dialog.RateList()->currentData().toInt(), 6) << "the candidate index";
    EXPECT_EQ(Stored("Sample rate"), 44100);
    EXPECT_EQ(dialog.ClockList()->currentText(), "Internal");
    // 256 samples at 44100 Hz.
    EXPECT_EQ(dialog.LatencyField()->text(), "5 ms");
    EXPECT_FALSE(dialog.LatencyField()->isEnabled());
    EXPECT_TRUE(dialog.ControlPanelButton()->isEnabled());
    form->ApplicationIdle();
    EXPECT_EQ(form->PanelText(1), "44.100 kHz");
    // The idle handler keeps the chosen driver running.
    EXPECT_TRUE(controller->Asio().Active());
    EXPECT_TRUE(controller->DriverConfigured());

    // "X" hides the dialog and unchecks the menu item; the menu shows it again; "Close" hides.
    QTest::mouseClick(dialog.findChild<QPushButton*>("btnX"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(action.isChecked());
    action.trigger();
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseClick(dialog.findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(action.isChecked());

    // The next start finds it all again, running.
    Open({}, false);
    EXPECT_TRUE(controller->DriverConfigured());
    form->ApplicationIdle();
    EXPECT_TRUE(controller->Asio().Active());
}

TEST_F(AsioFormTest, TheStoredSettingsAreShownAndWhatCannotBeShownIsStoredAsUnassigned) {
    Open("[ASIO]\nDriver=1\nSample rate=48000\nInput1=2\nInput3=7\nOutMainL=0\nOutMainR=1\n"
         "OutSoloL=12\n[Dummy]\nInputs=4\nOutputs=8\nBuffer size=256\n");
    TASIOForm& dialog = Dialog();
    EXPECT_EQ(dialog.DriverList()->currentText(), "Dummy");
    EXPECT_EQ(dialog.RateList()->currentText(), "48.000 kHz");
    EXPECT_EQ(dialog.LatencyField()->text(), "5 ms");
    EXPECT_EQ(dialog.ChannelList(0)->currentText(), "Dummy in 3");
    EXPECT_EQ(dialog.ChannelList(0)->count(), 4);
    EXPECT_EQ(dialog.ChannelList(4)->count(), 8);
    EXPECT_EQ(Shown(dialog), (std::vector<int>{2, -1, -1, -1, 0, 1, -1, -1, -1, -1}));
    EXPECT_EQ(StoredChannels(), (std::vector<std::int32_t>{2, -1, -1, -1, 0, 1, -1, -1, -1, -1}));
    EXPECT_EQ(Stored("Sample rate"), 48000);
    EXPECT_FALSE(dialog.findChild<QCheckBox*>("chkSoftMon")->isChecked());

    // Each change is stored at once and the engine follows it.
    ChooseItem(dialog.ChannelList(6), "Dummy out 5");
    EXPECT_EQ(Stored("OutMon1"), 4);
    EXPECT_EQ(static_cast<std::int32_t>(ChannelAssignment.OutMon1), 4);
    ChooseItem(dialog.ChannelList(2), "Dummy in 4");
    EXPECT_EQ(Stored("Input3"), 3);
    ChooseItem(dialog.RateList(), "96.000 kHz");
    EXPECT_EQ(Stored("Sample rate"), 96000);
    EXPECT_EQ(dialog.LatencyField()->text(), "2 ms");
    EXPECT_FLOAT_EQ(controller->Processor()->SampleRate(), 96000.0f);
    EXPECT_DOUBLE_EQ(controller->Asio().SampleRate(), 96000.0);
    ChooseItem(dialog.ClockList(), "Internal");
    EXPECT_EQ(Stored("Clock source"), 0);

    // The direct input monitor only shows the stored setting.
    QTest::mouseClick(dialog.findChild<QCheckBox*>("chkSoftMon"), Qt::LeftButton);
    EXPECT_EQ(Stored("Software monitoring"), -99);

    // A rate that is no candidate is shown as none and stored as -1.
    Open("[ASIO]\nDriver=1\nSample rate=50000\nSoftware monitoring=1\n");
    TASIOForm& again = Dialog();
    EXPECT_EQ(again.RateList()->currentIndex(), -1);
    EXPECT_EQ(Stored("Sample rate"), -1);
    EXPECT_TRUE(again.findChild<QCheckBox*>("chkSoftMon")->isChecked());
}

TEST_F(AsioFormTest, PlacementAndLayoutFollowTheWidth) {
    Open("[ASIOForm]\nLeft=30\nTop=40\nWidth=300\nHeight=100\n[ASIO]\nDriver=1\n");
    TASIOForm& dialog = Dialog();
    // The height is fixed and the width never below 420.
    EXPECT_EQ(dialog.size(), QSize(TASIOForm::kMinimumWidth, TASIOForm::kHeight));
    dialog.resize(600, TASIOForm::kHeight);
    EXPECT_EQ(dialog.findChild<QPushButton*>("btnX")->x(), 582);
    for (const char* group : {"boxSettings", "boxInputs", "BoxOutputs"}) {
        EXPECT_EQ(dialog.findChild<QGroupBox*>(group)->width(), 582) << group;
    }
    EXPECT_EQ(dialog.findChild<QLabel*>("lbOutLat")->x(), 310);
    EXPECT_EQ(dialog.LatencyField()->x(), 374);
    EXPECT_EQ(dialog.LatencyField()->width(), 199);
    EXPECT_EQ(dialog.ChannelList(5)->x(), 374);
    EXPECT_EQ(dialog.ChannelList(4)->width(), 199);
    dialog.move(70, 80);
    Close();
    const TSettingsFile settings(ini);
    EXPECT_EQ(settings.ReadInteger("ASIOForm", "Width", 0), 600);
    EXPECT_EQ(settings.ReadInteger("ASIOForm", "Height", 0), TASIOForm::kHeight);
}

TEST_F(AsioFormTest, TheDummysSettingsWindowWritesItsSectionAndReopensTheDriver) {
    Open("[ASIO]\nDriver=1\nSample rate=44100\nOutMainL=0\nOutMainR=1\n"
         "[Dummy]\nInputs=2\nOutputs=2\nBuffer size=256\n");
    form->ApplicationIdle();
    ASSERT_TRUE(controller->Asio().Active());
    TASIOForm& dialog = Dialog();
    QTest::mouseClick(dialog.ControlPanelButton(), Qt::LeftButton);
    TDriverSettingsForm* settings = dialog.DriverSettingsWindow();
    ASSERT_NE(settings, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(settings));
    EXPECT_EQ(settings->windowTitle(), "Dummy settings");
    ASSERT_EQ(settings->FieldCount(), 4);
    Screenshot(*settings, "driver_settings_dummy.png");

    TypeInto(settings->findChild<QSpinBox*>("Outputs"), "8");
    TypeInto(settings->findChild<QSpinBox*>("Buffer size"), "512");
    QTest::mouseClick(settings->OkButton(), Qt::LeftButton);
    EXPECT_FALSE(settings->isVisible());
    EXPECT_EQ(Stored("Outputs", "Dummy"), 8);
    EXPECT_EQ(Stored("Buffer size", "Dummy"), 512);
    EXPECT_EQ(controller->Asio().OutputChannelCount(), 8);
    EXPECT_EQ(controller->Processor()->BufferLength(), 512);
    EXPECT_TRUE(controller->Asio().Active());
    // The dialog lists the new channels and the new latency.
    EXPECT_EQ(dialog.ChannelList(8)->count(), 8);
    EXPECT_EQ(dialog.LatencyField()->text(), "11 ms") << "512 samples at 44100 Hz";
    EXPECT_EQ(Stored("Sample rate"), 44100);
    ChooseItem(dialog.ChannelList(8), "Dummy out 7");
    EXPECT_EQ(Stored("OutSoloL"), 6);
    Screenshot(dialog, "asio_form.png");
}

/// An audio core without drivers; the rest of the program is real.
class NoDrivers final : public IAudioSettingsCore {
public:
    TAudioSettingsView View() override { return {}; }
    void ApplyStoredSettings() override { ++applied; }
    void ChooseChannel(int, int) override {}
    void ChooseRateAndClock(std::int32_t, int) override {}
    void ChooseDriver(int) override {}
    std::string LatencyText() override { return "0 ms"; }
    std::optional<TDriverSettingsPage> DriverSettings() override { return std::nullopt; }
    bool ApplyDriverSettings(const std::vector<std::string>&, std::string&) override {
        return false;
    }
    void ControlPanel() override {}
    int applied = 0;
};

TEST_F(AsioFormTest, WithoutAnyDriverTheDialogSaysSoAndEndsTheProgram) {
    Open("");
    NoDrivers none;
    presenter.boxes.clear();
    TASIOForm dialog(*core, none);
    EXPECT_TRUE(dialog.NoDriverPresent());
    EXPECT_EQ(none.applied, 1);
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].text, "Sorry, no ASIO driver present. Application terminated.");
    // The real list is never empty.
    EXPECT_FALSE(form->AsioWindow()->NoDriverPresent());
}

} // namespace
} // namespace peldor::test
