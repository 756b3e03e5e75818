// The four mixer windows as a performer uses them (offscreen): faders, knobs and switches
// driven with the mouse, checked against the strips, the mixer settings, the current
// connection, the settings file and the project file; the meters against a playing synth on
// the Dummy driver. Screenshots of each mixer go to build/screenshots/.

#include "app/main_controller.h"
#include "app/main_window_core.h"
#include "app/settings_file.h"
#include "app/show_builder.h"
#include "engine/strip_table.h"
#include "midi/virtual_midi_backend.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "project/project_model.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/window/qt_test_app.h"
#include "ui/audio_taper.h"
#include "ui/flat_fader.h"
#include "ui/flat_knob.h"
#include "ui/flat_switch.h"
#include "ui/level_meter.h"
#include "ui/main_form.h"
#include "ui/mixer1_form.h"
#include "ui/mixer2_form.h"
#include "ui/mixer34_form.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace peldor::test {
namespace {

/// The program as the mixers see it, with what they asked of it.
class FakeMixerCore final : public IMixerCore {
public:
    void UpdateOscillator() override { ++oscillatorUpdates; }
    bool SoloActive() const override { return soloActive; }
    double CpuSum() const override { return cpuSum; }
    std::int32_t TickCount() const override { return tickCount; }
    std::int32_t CurrentConnection() const override { return currentConnection; }
    void SetCurrentConnectionVolume(std::int32_t value) override { volume = value; }
    void SetCurrentConnectionPan(std::int32_t value) override { pan = value; }
    void RefreshConnectionViews() override { ++viewRefreshes; }
    void ProcessPendingMessages() override {}
    TMixerPlacement ReadPlacement(const std::string&,
                                  const TMixerPlacement& defaults) const override {
        return defaults;
    }
    void WritePlacement(const std::string&, const TMixerPlacement&) override {}

    int oscillatorUpdates = 0;
    bool soloActive = false;
    double cpuSum = 0.0;
    std::int32_t tickCount = 0;
    std::int32_t currentConnection = -1;
    std::int32_t volume = -1;
    std::int32_t pan = -1;
    int viewRefreshes = 0;
};

template <class T> T* Find(QWidget* window, const char* name) {
    T* widget = window->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

/// A press on the fader's track at the height that stands for position p (the pointer jumps
/// the thumb there), released in the same place.
void ClickFaderAt(TFlatFader* fader, float p) {
    int best = 0;
    for (int y = 0; y < fader->height(); ++y) {
        if (std::abs(fader->PositionAt(y) - p) < std::abs(fader->PositionAt(best) - p)) {
            best = y;
        }
    }
    // Away from the thumb, so that the press jumps rather than grabs.
    ASSERT_FALSE(fader->ThumbRect().contains(fader->width() / 2, best)) << "position " << p;
    QTest::mousePress(fader, Qt::LeftButton, {}, QPoint(fader->width() / 2, best));
    QTest::mouseRelease(fader, Qt::LeftButton, {}, QPoint(fader->width() / 2, best));
}

/// Drags a knob vertically by dy pixels (upwards positive).
void DragKnob(TFlatKnob* knob, int dy) {
    const QPoint centre(knob->width() / 2, knob->height() / 2);
    QTest::mousePress(knob, Qt::LeftButton, {}, centre);
    QTest::mouseMove(knob, centre - QPoint(0, dy / 2));
    QTest::mouseRelease(knob, Qt::LeftButton, {}, centre - QPoint(0, dy));
}

void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

/// Every change signal of the window's flat controls, to prove that loading fires none.
struct ChangeSpies {
    explicit ChangeSpies(QWidget* window) {
        for (TFlatControl* control : window->findChildren<TFlatControl*>()) {
            spies.push_back(std::make_unique<QSignalSpy>(control, &TFlatControl::OnChange));
        }
        for (TFlatSwitch* sw : window->findChildren<TFlatSwitch*>()) {
            spies.push_back(std::make_unique<QSignalSpy>(sw, &TFlatSwitch::OnChange));
            spies.push_back(std::make_unique<QSignalSpy>(sw, &TFlatSwitch::OnClick));
        }
    }
    int Fired() const {
        int fired = 0;
        for (const auto& spy : spies) {
            fired += static_cast<int>(spy->count());
        }
        return fired;
    }
    std::vector<std::unique_ptr<QSignalSpy>> spies;
};

std::filesystem::path ScreenshotFolder() {
    const char* binary = std::getenv("PELDOR_BINARY_DIR");
    const std::filesystem::path folder =
        std::filesystem::path(binary != nullptr ? binary : ".") / "screenshots";
    std::filesystem::create_directories(folder);
    return folder;
}

// ---- The windows over a strip table of their own ----------------------------------------------

class MixerWindowTest : public ::testing::Test {
protected:
    MixerWindowTest() {
        EnsureQtApplication();
        InitStripTable();
        InitStripStates(&strips);
        CurrentStrips.store(&strips);
        hooks.UpdateMixers = [this](int group) {
            updateRequests.push_back(group);
            for (TMixerForm* window : windows) {
                window->UpdateControls(group);
            }
        };
        hooks.ShowHint = [this](const QString& text) { hint = text; };
    }
    ~MixerWindowTest() override {
        CurrentStrips.store(nullptr);
        InitStripTable();
    }

    template <class T> std::unique_ptr<T> Make() {
        auto window = std::make_unique<T>(core, hooks);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        windows.push_back(window.get());
        return window;
    }

    TStripState& Strip(std::int32_t kind, std::int32_t index) { return *FindStrip(kind, index); }

    TStripStates strips;
    FakeMixerCore core;
    TMixerHooks hooks;
    std::vector<TMixerForm*> windows;
    std::vector<int> updateRequests;
    QString hint;
};

TEST_F(MixerWindowTest, InstrumentMixerWritesLevelsSendsPansMutesAndSolos) {
    // What a part brings along is loaded, silently.
    Strip(kKindInstrument, 0).Level = 10.0f;
    Strip(kKindInstrument, 1).AuxSend[2] = 1.0f;
    Strip(kKindInstrument, 2).Pan = 0.25f;
    auto mixer = Make<TMixer4Form>();
    EXPECT_EQ(mixer->size(), QSize(664, 474));
    EXPECT_EQ(mixer->Columns().size(), 16u);
    auto* level1 = Find<TFlatFader>(mixer.get(), "level01");
    auto* level2 = Find<TFlatFader>(mixer.get(), "level02");
    EXPECT_FLOAT_EQ(level1->Val(), 1.0f); // 10.0 is beyond the taper's top
    EXPECT_FLOAT_EQ(level2->Val(), 0.0f); // a new strip is silent
    EXPECT_NEAR(Find<TFlatKnob>(mixer.get(), "aux02_3")->Val(), kTaperUnityPosition, 1e-6);
    EXPECT_FLOAT_EQ(Find<TFlatKnob>(mixer.get(), "pan03")->Val(), 0.25f);
    EXPECT_EQ(Find<QLabel>(mixer.get(), "name01")->text(), "VSTi1");
    EXPECT_EQ(Find<QLabel>(mixer.get(), "name16")->text(), "VSTi16");

    // Faders write gains through the taper: the top about +13.8 dB, the bottom silence.
    ClickFaderAt(level2, 1.0f);
    EXPECT_FLOAT_EQ(Strip(kKindInstrument, 1).Level, static_cast<float>(kTaperMaxGain));
    ClickFaderAt(level1, 0.0f);
    EXPECT_EQ(Strip(kKindInstrument, 0).Level, 0.0f);
    ClickFaderAt(level1, 0.4f);
    EXPECT_FLOAT_EQ(Strip(kKindInstrument, 0).Level,
                    static_cast<float>(TaperFromPosition(level1->Val()).gain));
    // Moving one fader rewrites every strip of the window from its own fader.
    EXPECT_FLOAT_EQ(Strip(kKindInstrument, 1).Level, static_cast<float>(kTaperMaxGain));

    // Knobs: sends through the taper, pans unchanged.
    DragKnob(Find<TFlatKnob>(mixer.get(), "aux05_4"), 200);
    EXPECT_FLOAT_EQ(Strip(kKindInstrument, 4).AuxSend[3], static_cast<float>(kTaperMaxGain));
    DragKnob(Find<TFlatKnob>(mixer.get(), "mon07_2"), 200);
    EXPECT_FLOAT_EQ(Strip(kKindInstrument, 6).MonSend[1], static_cast<float>(kTaperMaxGain));
    EXPECT_EQ(Strip(kKindInstrument, 6).MonSend[0], 0.0f);
    DragKnob(Find<TFlatKnob>(mixer.get(), "pan16"), 50);
    EXPECT_FLOAT_EQ(Strip(kKindInstrument, 15).Pan, 0.75f);

    // Mute: the engine's toggle, then every mixer reloads its mute and solo switches.
    auto* mute1 = Find<TFlatSwitch>(mixer.get(), "mute01");
    Click(mute1);
    EXPECT_EQ(Strip(kKindInstrument, 0).Mute, 1);
    EXPECT_TRUE(mute1->On());
    EXPECT_EQ(updateRequests, std::vector<int>{kGroupMuteSolo});
    Click(mute1);
    EXPECT_EQ(Strip(kKindInstrument, 0).Mute, 0);
    EXPECT_FALSE(mute1->On());

    // Exclusive solo: the others are silenced, and their mute switches say so.
    Click(Find<TFlatSwitch>(mixer.get(), "solo03"));
    EXPECT_EQ(Strip(kKindInstrument, 2).Solo, 1);
    EXPECT_TRUE(Find<TFlatSwitch>(mixer.get(), "solo03")->On());
    EXPECT_EQ(Strip(kKindInstrument, 0).SoloMute, 1);
    EXPECT_TRUE(mute1->On());
    EXPECT_FALSE(Find<TFlatSwitch>(mixer.get(), "mute03")->On());
    Click(Find<TFlatSwitch>(mixer.get(), "solo03"));
    EXPECT_FALSE(AnySolo());
    EXPECT_FALSE(mute1->On());

    // Without a current part nothing is written and nothing is reloaded.
    CurrentStrips.store(nullptr);
    const float before = level2->Val();
    ClickFaderAt(level2, 0.0f);
    Click(mute1);
    mixer->UpdateControls(kGroupLevels);
    CurrentStrips.store(&strips);
    EXPECT_FLOAT_EQ(Strip(kKindInstrument, 1).Level, static_cast<float>(kTaperMaxGain));
    EXPECT_EQ(Strip(kKindInstrument, 0).Mute, 0);
    EXPECT_EQ(level2->Val(), 0.0f); // moved by the click, not reloaded
    EXPECT_NE(level2->Val(), before);
}

TEST_F(MixerWindowTest, LoadingEveryGroupFiresNoHandler) {
    auto mixer1 = Make<TMixer1Form>();
    auto mixer2 = Make<TMixer2Form>();
    auto mixer3 = Make<TMixer3Form>();
    auto mixer4 = Make<TMixer4Form>();
    for (TStripState& strip : strips) {
        strip.Level = 0.5f;
        strip.Pan = 0.1f;
        strip.Mute = 1;
        strip.Solo = 1;
        strip.Reverb = 100;
        strip.AuxSend[0] = 2.0f;
        strip.MonSend[1] = 0.3f;
    }
    StripTable.MixerSettings.oscsine = 0;
    StripTable.Descriptors[kFirstInputStrip + 3].ShortName = "Voc";
    std::vector<std::unique_ptr<ChangeSpies>> spies;
    for (TMixerForm* window : windows) {
        spies.push_back(std::make_unique<ChangeSpies>(window));
    }
    for (TMixerForm* window : windows) {
        for (int group = 0; group < kGroupCount; ++group) {
            window->UpdateControls(group);
        }
    }
    for (const auto& spy : spies) {
        EXPECT_EQ(spy->Fired(), 0);
    }
    EXPECT_TRUE(core.oscillatorUpdates == 0);
    // ... yet everything was loaded.
    EXPECT_FLOAT_EQ(Find<TFlatFader>(mixer1.get(), "level8")->Val(), 0.5f / 127.0f);
    EXPECT_NEAR(Find<TFlatKnob>(mixer1.get(), "rev2")->Val(), 100.0f / 127.0f, 1e-6);
    EXPECT_FLOAT_EQ(Find<TFlatKnob>(mixer2.get(), "panmain")->Val(), 0.1f);
    EXPECT_TRUE(Find<TFlatSwitch>(mixer2.get(), "mute11")->On());
    EXPECT_FALSE(Find<TFlatSwitch>(mixer2.get(), "oscfrq")->isEnabled());
    EXPECT_EQ(Find<QLabel>(mixer3.get(), "name04")->text(), "Voc");
    EXPECT_FLOAT_EQ(Find<TFlatKnob>(mixer3.get(), "aux04_1")->Gain(), 2.0f);
    EXPECT_NEAR(Find<TFlatKnob>(mixer4.get(), "mon16_2")->Gain(), 0.3, 1e-4);
    EXPECT_TRUE(Find<TFlatSwitch>(mixer4.get(), "solo16")->On());
}

TEST_F(MixerWindowTest, MidiMixerPagesFeedTheCurrentConnection) {
    auto mixer = Make<TMixer1Form>();
    EXPECT_EQ(mixer->size(), QSize(378, 416));
    EXPECT_TRUE(mixer->PageSwitch(1)->On());

    Click(mixer->PageSwitch(3));
    EXPECT_EQ(mixer->FirstStrip(), 16);
    for (int page = 1; page <= 8; ++page) {
        EXPECT_EQ(mixer->PageSwitch(page)->On(), page == 3) << page;
    }
    for (int c = 1; c <= 8; ++c) {
        const QByteArray name = QString("name%1").arg(c).toUtf8();
        EXPECT_EQ(Find<QLabel>(mixer.get(), name.constData())->text(), QString::number(16 + c));
    }

    // A MIDI fader writes position x 127; the current connection's strip also sets its Volume.
    core.currentConnection = 17;
    ClickFaderAt(Find<TFlatFader>(mixer.get(), "level2"), 1.0f);
    EXPECT_EQ(Strip(kKindMidiConnection, 17).Level, 127.0f);
    EXPECT_EQ(core.volume, 127);
    EXPECT_GE(core.viewRefreshes, 1);
    ClickFaderAt(Find<TFlatFader>(mixer.get(), "level1"), 1.0f);
    EXPECT_EQ(Strip(kKindMidiConnection, 16).Level, 127.0f);
    // Pan: the knob position, and x 127 rounded into the connection.
    DragKnob(Find<TFlatKnob>(mixer.get(), "pan2"), -50);
    EXPECT_FLOAT_EQ(Strip(kKindMidiConnection, 17).Pan, 0.25f);
    EXPECT_EQ(core.pan, 32); // 31.75

    // Reverb: rounded into the strip and shown in the status bar.
    DragKnob(Find<TFlatKnob>(mixer.get(), "rev1"), 100);
    EXPECT_EQ(Strip(kKindMidiConnection, 16).Reverb, 64);
    EXPECT_EQ(hint, "64");
    DragKnob(Find<TFlatKnob>(mixer.get(), "cho8"), 200);
    EXPECT_EQ(Strip(kKindMidiConnection, 23).Chorus, 127);

    // Mute and solo address strip 8 x page + column.
    Click(Find<TFlatSwitch>(mixer.get(), "solo3"));
    EXPECT_EQ(Strip(kKindMidiConnection, 18).Solo, 1);
    Click(Find<TFlatSwitch>(mixer.get(), "mute8"));
    EXPECT_EQ(Strip(kKindMidiConnection, 23).Mute, 1);

    // Back on page 1 the first strips show again; the page survives reloading.
    Click(mixer->PageSwitch(1));
    EXPECT_EQ(Find<QLabel>(mixer.get(), "name1")->text(), "1");
    EXPECT_EQ(Find<TFlatFader>(mixer.get(), "level1")->Val(), 0.0f);
    mixer->UpdateControls(kGroupNames);
    EXPECT_EQ(mixer->Page(), 1);
}

TEST_F(MixerWindowTest, MasterMixerSettingsMetersAndLoad) {
    auto mixer = Make<TMixer2Form>();
    EXPECT_EQ(mixer->size(), QSize(520, 362));
    TMixerSettings& settings = StripTable.MixerSettings;

    // The oscillator: noise disables the frequency switches; every change reaches the engine.
    auto* sine = Find<TFlatSwitch>(mixer.get(), "oscsine");
    EXPECT_EQ(sine->OnCaption(), "sine");
    EXPECT_TRUE(Find<TFlatSwitch>(mixer.get(), "oscfrq")->isEnabled());
    Click(sine);
    EXPECT_EQ(settings.oscsine, 0);
    EXPECT_FALSE(Find<TFlatSwitch>(mixer.get(), "oscfrq")->isEnabled());
    EXPECT_FALSE(Find<TFlatSwitch>(mixer.get(), "oscx4")->isEnabled());
    EXPECT_EQ(core.oscillatorUpdates, 1);
    Click(Find<TFlatSwitch>(mixer.get(), "oscactive"));
    Click(Find<TFlatSwitch>(mixer.get(), "osctoaux3"));
    Click(Find<TFlatSwitch>(mixer.get(), "osctomain"));
    EXPECT_EQ(settings.oscactive, 1);
    EXPECT_EQ(settings.osctoaux3, 1);
    EXPECT_EQ(settings.osctomain, 0);
    DragKnob(Find<TFlatKnob>(mixer.get(), "osclevel"), -300);
    EXPECT_NEAR(settings.osclevel, kTaperMinGain, 1e-6);
    EXPECT_GE(core.oscillatorUpdates, 5);

    Click(Find<TFlatSwitch>(mixer.get(), "meterspostvsti"));
    EXPECT_EQ(settings.meterspostvsti, 1);
    EXPECT_EQ(settings.meterspostinputs, 0);
    Click(Find<TFlatSwitch>(mixer.get(), "addmode"));
    EXPECT_EQ(settings.addmode, 1);
    DragKnob(Find<TFlatKnob>(mixer.get(), "sololevel"), 200);
    EXPECT_FLOAT_EQ(settings.sololevel, static_cast<float>(kTaperMaxGain));

    // The master: mute11 mutes it; the aux and monitor faders write their strips.
    auto* mute11 = Find<TFlatSwitch>(mixer.get(), "mute11");
    Click(mute11);
    EXPECT_EQ(Strip(kKindMaster, 0).Mute, 1);
    EXPECT_TRUE(mute11->On());
    ClickFaderAt(Find<TFlatFader>(mixer.get(), "level09"), 1.0f);
    EXPECT_FLOAT_EQ(Strip(kKindAux, 2).Level, static_cast<float>(kTaperMaxGain));
    ClickFaderAt(Find<TFlatFader>(mixer.get(), "level06"), 1.0f);
    EXPECT_FLOAT_EQ(Strip(kKindMonitor, 1).Level, static_cast<float>(kTaperMaxGain));
    DragKnob(Find<TFlatKnob>(mixer.get(), "mon02_1"), 200);
    EXPECT_FLOAT_EQ(Strip(kKindEffect, 1).MonSend[0], static_cast<float>(kTaperMaxGain));

    // The meters show the master, or the solo bus while something is soloed.
    EXPECT_EQ(MainMeterValue(0.01f), 0);
    EXPECT_EQ(MainMeterValue(1.0f), 10000);
    EXPECT_EQ(MainMeterValue(0.1f), 5000);
    Strip(kKindMaster, 0).MeterL = 0.05f;
    Strip(kKindMaster, 0).MeterR = 0.005f;
    Strip(kKindSolo, 0).MeterL = 0.5f;
    Strip(kKindSolo, 0).MeterR = 0.5f;
    mixer->MeterL()->SetValue(0);
    mixer->MeterR()->SetValue(0);
    mixer->UpdateMeters();
    EXPECT_EQ(mixer->MeterL()->Value(), MainMeterValue(0.05f));
    EXPECT_EQ(mixer->MeterR()->Value(), 0);
    core.soloActive = true;
    mixer->UpdateMeters();
    EXPECT_EQ(mixer->MeterL()->Value(), MainMeterValue(0.5f));
    EXPECT_EQ(mixer->MeterR()->Value(), MainMeterValue(0.5f));
    // The master fader's bar shows master MeterL.
    EXPECT_GT(Find<TFlatFader>(mixer.get(), "level11")->BarLevel(), 0.0);

    // The load gauge rises to the 8-tick average once per window and falls a step a tick.
    QProgressBar* gauge = mixer->CpuGauge();
    for (int tick = 0; tick < 8; ++tick) {
        core.tickCount = tick;
        core.cpuSum = 40.0 * (tick + 1);
        mixer->UpdateMeters();
        EXPECT_EQ(gauge->value(), tick < 7 ? 0 : 40) << tick;
    }
    EXPECT_EQ(mixer->CpuLabel()->text(), "(40%)");
    core.tickCount = 0;
    core.cpuSum = 10.0;
    mixer->UpdateMeters();
    EXPECT_EQ(gauge->value(), 39);
    EXPECT_EQ(mixer->CpuLabel()->text(), "(40%)");
}

// ---- The windows in the program -----------------------------------------------------------------

class MixersProgramTest : public ::testing::Test {
protected:
    MixersProgramTest() {
        EnsureQtApplication();
        SetRegistryFile(dir / "registry.ini");
        CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynth.so");
        TMainController::InitializeProcess();
    }
    ~MixersProgramTest() override {
        if (form) {
            form->close();
        }
        if (controller) {
            controller->Shutdown();
        }
        form.reset();
        core.reset();
        controller.reset();
        InstrumentCatalogue.clear();
        EffectCatalogue.clear();
        SetRegistryFile(ResolveRegistryPath());
    }

    void Open(const std::string& driver = {}) {
        TStartOptions options;
        options.IniPath = ini;
        options.PluginFolder = (dir / "plugins").string();
        options.SplashStatusDelayMs = 0;
        options.DriverName = driver;
        options.DefaultOutputs = true;
        options.MidiBackend = [this] {
            auto backend = std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{"keys"},
                                                                 std::vector<std::string>{});
            midi = backend.get();
            return backend;
        };
        controller = std::make_unique<TMainController>(std::move(options));
        core = std::make_unique<TMainWindowCore>(*controller);
        form = std::make_unique<TMainForm>(*core);
        controller->Start();
        form->LoadFromCore();
        form->ShowMaximisedWithPlacement();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    bool OpenShow(const TShowDescription& show, const char* name) {
        const std::filesystem::path path = dir / name;
        std::string error;
        EXPECT_TRUE(WriteShowFile(path, show, error)) << error;
        const bool opened = core->OpenProject(path);
        form->ApplicationIdle();
        return opened;
    }

    /// The View menu's key for mixer n.
    TMixerForm* ToggleMixer(int n) {
        QApplication::setActiveWindow(form.get());
        QTest::keyClick(form.get(), static_cast<Qt::Key>(Qt::Key_F1 + n - 1), Qt::ControlModifier);
        return form->Mixer(n);
    }

    QAction& Act(const QString& name) { return *form->Action(name); }

    TStripState& Strip(std::int32_t kind, std::int32_t index) { return *FindStrip(kind, index); }

    TempDir dir{"peldor-mixers"};
    std::filesystem::path ini = dir / "peldor.ini";
    RecordingPresenter presenter;
    TVirtualMidiBackend* midi = nullptr;
    std::unique_ptr<TMainController> controller;
    std::unique_ptr<TMainWindowCore> core;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MixersProgramTest, MenuPlacementPartChangesAndTheProjectFile) {
    Open();
    TShowDescription show;
    show.Parts = {{"verse", 0}, {"chorus", 0}};
    ASSERT_TRUE(OpenShow(show, "mix.pdp"));

    // Created on first use, then toggled; the menu entries carry the check marks.
    for (int n = 1; n <= 4; ++n) {
        const QString action = QString("Mixer%1").arg(n);
        EXPECT_EQ(form->Mixer(n), nullptr);
        TMixerForm* mixer = ToggleMixer(n);
        ASSERT_NE(mixer, nullptr) << n;
        EXPECT_TRUE(mixer->isVisible());
        EXPECT_TRUE(Act(action).isChecked());
        EXPECT_EQ(mixer->pos(), QPoint(0, 0));
        Click(mixer->CloseSwitch());
        EXPECT_FALSE(mixer->isVisible());
        EXPECT_FALSE(Act(action).isChecked());
        EXPECT_EQ(ToggleMixer(n), mixer); // hidden, not destroyed
        EXPECT_TRUE(mixer->isVisible());
        EXPECT_TRUE(Act(action).isChecked());
    }
    const QSize sizes[] = {{378, 416}, {520, 362}, {172, 474}, {664, 474}};
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(form->Mixer(n)->size(), sizes[n - 1]) << n;
    }
    auto* m3 = static_cast<TMixer3Form*>(form->Mixer(3));
    auto* m4 = static_cast<TMixer4Form*>(form->Mixer(4));
    auto* m2 = static_cast<TMixer2Form*>(form->Mixer(2));

    // The show's levels came with the part: instrument 1 and the master at 0 dB.
    EXPECT_NEAR(Find<TFlatFader>(m4, "level01")->Val(), kTaperUnityPosition, 1e-6);
    EXPECT_NEAR(Find<TFlatFader>(m2, "level11")->Val(), kTaperUnityPosition, 1e-6);

    // Changes in the first part ...
    ClickFaderAt(Find<TFlatFader>(m4, "level01"), 1.0f);
    DragKnob(Find<TFlatKnob>(m3, "aux02_3"), 200);
    Click(Find<TFlatSwitch>(m2, "mute11"));
    Click(Find<TFlatSwitch>(m2, "osctosolo"));
    EXPECT_FLOAT_EQ(Strip(kKindInstrument, 0).Level, static_cast<float>(kTaperMaxGain));
    EXPECT_FLOAT_EQ(Strip(kKindInput, 1).AuxSend[2], static_cast<float>(kTaperMaxGain));
    EXPECT_EQ(Strip(kKindMaster, 0).Mute, 1);

    // ... stay with it: the second part brings its own mix into every window and group.
    ChangeSpies spies4(m4);
    ASSERT_TRUE(controller->EnterPart(0, 1));
    EXPECT_EQ(spies4.Fired(), 0);
    EXPECT_NEAR(Find<TFlatFader>(m4, "level01")->Val(), kTaperUnityPosition, 1e-6);
    EXPECT_FLOAT_EQ(Find<TFlatKnob>(m3, "aux02_3")->Val(), 0.0f);
    EXPECT_FALSE(Find<TFlatSwitch>(m2, "mute11")->On());
    ASSERT_TRUE(controller->EnterPart(0, 0));
    EXPECT_FLOAT_EQ(Find<TFlatFader>(m4, "level01")->Val(), 1.0f);
    EXPECT_TRUE(Find<TFlatSwitch>(m2, "mute11")->On());

    // Mixer 1's first fader and pan knob steer the selected connection of the part.
    auto* m1 = static_cast<TMixer1Form*>(form->Mixer(1));
    CurrentConnection = 0;
    ClickFaderAt(Find<TFlatFader>(m1, "level1"), 1.0f);
    DragKnob(Find<TFlatKnob>(m1, "pan1"), 200);
    TConnection* connection = ActiveProject()->CurrentPartObject()->ConnectionAt(0);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->Volume, 127);
    EXPECT_EQ(connection->Pan, 127);
    EXPECT_EQ(Strip(kKindMidiConnection, 0).Level, 127.0f);

    // Saved with the project and read back from it.
    const std::filesystem::path saved = dir / "saved.pdp";
    ASSERT_TRUE(core->SaveProjectAs(saved));
    Act("CloseProject").trigger();
    EXPECT_FALSE(form->Mixer(4)->isVisible()); // closing a project hides the mixers
    StripTable.MixerSettings.osctosolo = 0;
    ASSERT_TRUE(core->OpenProject(saved));
    form->ApplicationIdle();
    EXPECT_FLOAT_EQ(Strip(kKindInstrument, 0).Level, static_cast<float>(kTaperMaxGain));
    EXPECT_FLOAT_EQ(Strip(kKindInput, 1).AuxSend[2], static_cast<float>(kTaperMaxGain));
    EXPECT_EQ(Strip(kKindMaster, 0).Mute, 1);
    EXPECT_EQ(StripTable.MixerSettings.osctosolo, 1);
    EXPECT_TRUE(Find<TFlatSwitch>(m2, "osctosolo")->On());
    EXPECT_FLOAT_EQ(Find<TFlatFader>(m4, "level01")->Val(), 1.0f);
    EXPECT_EQ(ActiveProject()->CurrentPartObject()->ConnectionAt(0)->Volume, 127);
    EXPECT_FLOAT_EQ(Find<TFlatFader>(m1, "level1")->Val(), 1.0f);

    // Placements go to the settings file when the windows go.
    form->Mixer(3)->move(40, 50);
    form->Mixer(3)->resize(200, 300);
    form->close();
    controller->Shutdown();
    form.reset();
    const TSettingsFile settings(ini);
    EXPECT_EQ(settings.ReadInteger("Mixer3Form", "Left", -1), 40);
    EXPECT_EQ(settings.ReadInteger("Mixer3Form", "Width", -1), 200);
    EXPECT_EQ(settings.ReadInteger("Mixer3Form", "Height", -1), 300);
    EXPECT_EQ(settings.ReadInteger("Mixer4Form", "Width", -1), 664);
}

TEST_F(MixersProgramTest, MetersFollowTheSynthAndMuteLeavesTheMonitorSends) {
    Open("Dummy");
    TShowDescription show;
    ASSERT_TRUE(OpenShow(show, "play.pdp"));
    ASSERT_GE(SlotMap[0].Load(), 0);
    // No mixer shown, nothing reads the meters: the blocks compute none.
    ASSERT_TRUE(QTest::qWaitFor([this] { return controller->BlocksProcessed() > 2; }, 5000));
    ASSERT_NE(controller->Processor(), nullptr);
    EXPECT_EQ(controller->Processor()->MeteredBlocks(), 0u);
    for (int n = 1; n <= 4; ++n) {
        ASSERT_NE(ToggleMixer(n), nullptr);
    }
    auto* m2 = static_cast<TMixer2Form*>(form->Mixer(2));
    auto* m4 = static_cast<TMixer4Form*>(form->Mixer(4));
    auto* level1 = Find<TFlatFader>(m4, "level01");
    // The driver runs from the first idle moment; a held note sounds through instrument 1.
    ASSERT_TRUE(QTest::qWaitFor([this] { return controller->BlocksProcessed() > 2; }, 5000));
    ASSERT_NE(midi, nullptr);
    ASSERT_TRUE(midi->Play(0, 0x7F3C90)); // note on, middle C
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            return Strip(kKindInstrument, 0).MeterL > 0.05f && Strip(kKindMaster, 0).MeterL > 0.05f;
        },
        5000));
    // The timer's ticks carry the levels into the bars and meters.
    m2->MeterL()->SetValue(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m2->MeterL()->Value() > 3000; }, 2000));
    EXPECT_GT(level1->BarLevel(), 0.0);
    EXPECT_GT(Find<TFlatFader>(m2, "level11")->BarLevel(), 0.0);

    // Screenshots with the meters moving.
    const std::filesystem::path folder = ScreenshotFolder();
    for (int n = 1; n <= 4; ++n) {
        const QString file =
            QString::fromStdString((folder / ("mixer" + std::to_string(n) + ".png")).string());
        EXPECT_TRUE(form->Mixer(n)->grab().save(file)) << file.toStdString();
    }

    // Muted in Mixer 4, instrument 1 leaves the master but still feeds monitor 1.
    DragKnob(Find<TFlatKnob>(m4, "mon01_1"), 200);
    Click(Find<TFlatSwitch>(m4, "mute01"));
    EXPECT_EQ(Strip(kKindInstrument, 0).Mute, 1);
    EXPECT_TRUE(QTest::qWaitFor(
        [this] {
            return Strip(kKindMaster, 0).MeterL < 0.001f && Strip(kKindMonitor, 0).MeterL > 0.05f;
        },
        5000));
    midi->Play(0, 0x003C80); // note off
}

} // namespace
} // namespace peldor::test
