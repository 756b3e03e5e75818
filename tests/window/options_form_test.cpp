// The project options dialog and the MIDI settings dialog as a user drives them (offscreen),
// over the real controller and the virtual MIDI backend: what reaches the options object, the
// devices, the saved project file and peldor.ini. Learned messages come from a thread of their
// own, as the platform's MIDI thread delivers them.

#include "app/main_controller.h"
#include "app/main_window_core.h"
#include "app/settings_file.h"
#include "app/show_builder.h"
#include "midi/midi_devices.h"
#include "midi/virtual_midi_backend.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "project/project_model.h"
#include "project/project_options.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/window/qt_test_app.h"
#include "ui/hotkey_edit.h"
#include "ui/main_form.h"
#include "ui/midi_form.h"
#include "ui/prj_options_form.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <thread>

namespace peldor::test {
namespace {

class OptionsFormTest : public ::testing::Test {
protected:
    OptionsFormTest() {
        EnsureQtApplication();
        SetRegistryFile(dir / "registry.ini");
        CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynth.so");
        TMainController::InitializeProcess();
        ProjectOptions() = TProjectOptions();
    }
    ~OptionsFormTest() override {
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
        ProjectOptions() = TProjectOptions();
        ProjectOptions().Apply();
    }

    void Open() {
        TStartOptions options;
        options.IniPath = ini;
        options.PluginFolder = (dir / "plugins").string();
        options.SplashStatusDelayMs = 0;
        options.MidiBackend = [this] {
            auto created =
                std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{"keys", "pads"},
                                                      std::vector<std::string>{"synth", "lights"});
            backend = created.get();
            return created;
        };
        controller = std::make_unique<TMainController>(std::move(options));
        core = std::make_unique<TMainWindowCore>(*controller);
        form = std::make_unique<TMainForm>(*core);
        controller->Start();
        form->LoadFromCore();
        form->ShowMaximisedWithPlacement();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    /// A show of two parts, opened as --project opens it.
    void OpenShow() {
        TShowDescription show;
        show.Parts = {{"first", 0}, {"second", 12}};
        std::string error;
        ASSERT_TRUE(WriteShowFile(dir / "show.pdp", show, error)) << error;
        ASSERT_TRUE(core->OpenProject(dir / "show.pdp"));
        form->ApplicationIdle();
    }

    TPrjOptionsForm& Options() {
        if (form->ProjectOptionsWindow() == nullptr || !form->ProjectOptionsWindow()->isVisible()) {
            form->Action("Project_Settings")->trigger();
        }
        TPrjOptionsForm* options = form->ProjectOptionsWindow();
        EXPECT_TRUE(options->isVisible());
        QApplication::setActiveWindow(options);
        return *options;
    }
    TMIDIForm& Midi() {
        if (form->MidiSettingsWindow() == nullptr || !form->MidiSettingsWindow()->isVisible()) {
            form->Action("MIDI_Settings")->trigger();
        }
        return *form->MidiSettingsWindow();
    }

    template <class W = QLineEdit> W& Child(QWidget& parent, const char* name) {
        W* widget = parent.findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return *widget;
    }
    /// Replaces a field's text by typing, as a user does after selecting it.
    void Type(QWidget& parent, const char* name, const QString& text) {
        QLineEdit& field = Child(parent, name);
        field.setFocus();
        field.selectAll();
        if (text.isEmpty()) {
            QTest::keyClick(&field, Qt::Key_Delete);
        } else if (text[0].unicode() > 0x7F) {
            // Not on QTest's keyboard: the key's text alone, as a compose key gives it.
            QTest::sendKeyEvent(QTest::Click, &field, Qt::Key_unknown, text, Qt::NoModifier);
        } else {
            QTest::keyClicks(&field, text);
        }
    }
    void Click(QWidget& parent, const char* name) {
        QWidget& widget = Child<QWidget>(parent, name);
        QTest::mouseClick(&widget, Qt::LeftButton, {}, QPoint(8, widget.height() / 2));
    }
    QStringList Row(QWidget& parent, int row) {
        QStringList texts;
        for (int c = 1; c <= 3; ++c) {
            texts << Child(parent, QString("edtRemote%1_%2").arg(row).arg(c).toUtf8()).text();
        }
        return texts;
    }
    /// Clicks a device's check box in one of the MIDI dialog's lists.
    void ClickCheck(QListWidget& list, int row) {
        const QRect rect = list.visualItemRect(list.item(row));
        const Qt::CheckState before = list.item(row)->checkState();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          QPoint(rect.left() + 10, rect.center().y()));
        EXPECT_NE(list.item(row)->checkState(), before) << list.objectName().toStdString() << row;
    }
    /// A message played on an input, from a thread of its own.
    void Play(std::int32_t input, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        std::thread midi([&] { backend->Play(input, PackShortMessage(status, data1, data2)); });
        midi.join();
    }

    std::string Setting(const char* section, const char* key) {
        return TSettingsFile(ini).ReadString(section, key, "<none>");
    }
    void SaveScreenshot(QWidget& widget, const std::string& name) {
        const char* binary = std::getenv("PELDOR_BINARY_DIR");
        const std::filesystem::path folder =
            std::filesystem::path(binary != nullptr ? binary : ".") / "screenshots";
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(widget.grab().save(QString::fromStdString((folder / name).string())));
    }

    TempDir dir{"peldor-options"};
    std::filesystem::path ini = dir / "peldor.ini";
    RecordingPresenter presenter;
    TVirtualMidiBackend* backend = nullptr;
    std::unique_ptr<TMainController> controller;
    std::unique_ptr<TMainWindowCore> core;
    std::unique_ptr<TMainForm> form;
};

TEST_F(OptionsFormTest, EveryControlIsStoredByApplyAndTravelsWithTheProject) {
    Open();
    OpenShow();
    QAction* menu = form->Action("Project_Settings");
    TPrjOptionsForm& dialog = Options();
    EXPECT_TRUE(menu->isChecked());
    EXPECT_FALSE(dialog.ApplyButton()->isEnabled());
    EXPECT_EQ(Child(dialog, "edtEpsilon").text(), "1.000E-29");
    EXPECT_EQ(Child(dialog, "edtThousandSeparator").text(), "");

    // One change of every kind, by keys and clicks.
    QComboBox& notes = Child<QComboBox>(dialog, "cmbNoteSystem");
    notes.setFocus();
    QTest::keyClick(&notes, Qt::Key_Down);
    EXPECT_TRUE(dialog.ApplyButton()->isEnabled());
    Click(dialog, "chkActiveSense");
    Click(dialog, "chkSendANO");
    Type(dialog, "edtUD1_2", "65");
    Click(dialog, "chkHotKeysEnable");
    Click(dialog, "chkMIDIRemoteEnable");
    QComboBox& port = Child<QComboBox>(dialog, "cmbRemotePort");
    port.setFocus();
    QTest::keyClick(&port, Qt::Key_Down);
    QTest::keyClick(&port, Qt::Key_Down);
    Type(dialog, "edtRemote4_1", "176");
    Type(dialog, "edtRemote4_2", "300");
    Type(dialog, "edtRemote4_3", "-2");
    Type(dialog, "edtEpsilon", "2.5E-7");
    Type(dialog, "edtDecimalSeparator", "");
    Type(dialog, "edtThousandSeparator", "'");
    QComboBox& priority = Child<QComboBox>(dialog, "cmbAudioThreadPriority");
    priority.setFocus();
    QTest::keyClick(&priority, Qt::Key_Up);
    QComboBox& sine = Child<QComboBox>(dialog, "cmbSineAccuracy");
    sine.setFocus();
    QTest::keyClick(&sine, Qt::Key_Down);
    Click(dialog, "rdoWhiteNoise");
    // Nothing is stored before Apply.
    const TProjectOptions& options = ProjectOptions();
    EXPECT_EQ(options.NoteNamingScheme, 1);
    EXPECT_EQ(options.RemoteCommands[3].Pattern[0], -1);

    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.ApplyButton()->isEnabled());
    EXPECT_EQ(options.NoteNamingScheme, 2);
    EXPECT_EQ(options.ProcessActiveSense, 1);
    EXPECT_EQ(options.SendAllNotesOffOnChange, 0);
    EXPECT_EQ(options.UserFilter1[1], 65);
    EXPECT_EQ(options.HotkeysEnabled, 0);
    EXPECT_EQ(options.MidiRemoteEnabled, 0);
    EXPECT_EQ(options.RemotePort, 2);
    EXPECT_EQ(options.RemoteCommands[3].Pattern[0], 176);
    EXPECT_EQ(options.RemoteCommands[3].Pattern[1], 300);
    EXPECT_EQ(options.RemoteCommands[3].Pattern[2], -2);
    EXPECT_EQ(options.Epsilon, 2.5e-7f);
    EXPECT_EQ(options.DecimalSeparator, 0); // an empty field stores 0
    EXPECT_EQ(options.ThousandSeparator, '\'');
    EXPECT_EQ(options.AudioThreadPriority, 2);
    EXPECT_EQ(options.SineAccuracy, 2);
    EXPECT_EQ(options.PinkNoise, 0);
    // Hotkeys switched off: the remote actions have no shortcuts.
    EXPECT_TRUE(form->Action("RemoteNextPart")->shortcut().isEmpty());

    // Saved with the project and read back from it.
    ASSERT_TRUE(core->SaveProjectAs(dir / "saved.pdp"));
    ProjectOptions() = TProjectOptions();
    ASSERT_TRUE(core->OpenProject(dir / "saved.pdp"));
    form->ApplicationIdle();
    EXPECT_EQ(options.NoteNamingScheme, 2);
    EXPECT_EQ(options.RemoteCommands[3].Pattern[1], 300);
    EXPECT_EQ(options.Epsilon, 2.5e-7f);

    // The next show loads the options afresh.
    Type(dialog, "edtUD2_3", "5");
    Click(dialog, "btnX");
    EXPECT_FALSE(menu->isChecked());
    Options();
    EXPECT_EQ(Child(dialog, "edtUD2_3").text(), "-1");
    EXPECT_EQ(Child(dialog, "edtEpsilon").text(), "2.500E-7");
    for (int page = 0; page < dialog.Pages()->count(); ++page) {
        dialog.Pages()->setCurrentIndex(page);
        QTest::qWait(20);
        SaveScreenshot(dialog,
                       "PrjOptionsForm_" + dialog.Pages()->tabText(page).toStdString() + ".png");
    }
}

TEST_F(OptionsFormTest, ABadFieldStoresNothingAndIsNamed) {
    Open();
    OpenShow();
    TPrjOptionsForm& dialog = Options();
    Type(dialog, "edtUD1_1", "177");
    Type(dialog, "edtRemote2_3", "12x");
    Type(dialog, "edtThousandSeparator", ",");
    dialog.Pages()->setCurrentIndex(0);
    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    ASSERT_EQ(presenter.CountTitled("Project options"), 1);
    EXPECT_EQ(presenter.boxes.back().text,
              "Previous part, MIDI 3: \"12x\" is not a whole number from -32768 to 32767.");
    // The fields before it are not stored either; the field is shown and focused.
    EXPECT_EQ(ProjectOptions().UserFilter1[0], 176);
    EXPECT_EQ(ProjectOptions().ThousandSeparator, 0);
    EXPECT_EQ(dialog.Pages()->tabText(dialog.Pages()->currentIndex()), "Remote");
    EXPECT_EQ(dialog.focusWidget(), &Child(dialog, "edtRemote2_3"));
    EXPECT_TRUE(dialog.ApplyButton()->isEnabled());

    // Out of the 16-bit range, an Epsilon that is no number, a separator beyond one byte.
    for (const auto& [name, text, message] :
         {std::tuple{"edtRemote2_3", "40000", "Previous part, MIDI 3: \"40000\""},
          std::tuple{"edtEpsilon", "small", "Epsilon: \"small\" is not a number"},
          std::tuple{"edtDecimalSeparator", "\u00e4", "Decimal separator: "}}) {
        Type(dialog, "edtRemote2_3", "0");
        Type(dialog, "edtEpsilon", "1.000E-29");
        Type(dialog, "edtDecimalSeparator", ".");
        Type(dialog, name, QString::fromUtf8(text));
        QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
        EXPECT_EQ(presenter.boxes.back().text.rfind(message, 0), 0u) << presenter.boxes.back().text;
        EXPECT_EQ(ProjectOptions().UserFilter1[0], 176) << name;
    }
    const std::size_t boxes = presenter.boxes.size();
    Type(dialog, "edtDecimalSeparator", ".");
    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(presenter.boxes.size(), boxes);
    EXPECT_EQ(ProjectOptions().UserFilter1[0], 177);
    EXPECT_EQ(ProjectOptions().ThousandSeparator, ',');
}

TEST_F(OptionsFormTest, EpsilonRoundTripsInAGermanNumberFormat) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Open();
    OpenShow();
    TPrjOptionsForm& dialog = Options();
    EXPECT_EQ(Child(dialog, "edtEpsilon").text(), "1,000E-29");
    // Applying another change keeps the exact default (its bit pattern), not a rounded one.
    Click(dialog, "chkActiveSense");
    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(ProjectOptions().Epsilon.Load()), 0x0F4AD2F8u);
    ProjectOptions().Epsilon = 1.23456e-10f;
    dialog.LoadOptions();
    Click(dialog, "chkActiveSense");
    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(ProjectOptions().Epsilon, 1.23456e-10f);

    Type(dialog, "edtEpsilon", "3,25E-12");
    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(ProjectOptions().Epsilon, 3.25e-12f);
    dialog.LoadOptions();
    EXPECT_EQ(Child(dialog, "edtEpsilon").text(), "3,250E-12");
    EXPECT_TRUE(presenter.boxes.empty());
    QLocale::setDefault(before);
}

TEST_F(OptionsFormTest, LearningFillsTheRowFromAnyInputUntilSwitchedOff) {
    Open();
    OpenShow();
    // Both inputs in use (the show uses input 1, the remote port); most notes come from input 2.
    TMIDIForm& midi = Midi();
    ASSERT_EQ(midi.Inputs()->item(0)->checkState(), Qt::Checked);
    ClickCheck(*midi.Inputs(), 1);
    QTest::mouseClick(midi.ApplyButton(), Qt::LeftButton);
    ASSERT_TRUE(backend->InputStarted(1));

    TPrjOptionsForm& dialog = Options();
    dialog.Pages()->setCurrentIndex(2);
    Click(dialog, "btnRemoteLearn3");
    ASSERT_EQ(dialog.LearnTarget(), 2);
    ASSERT_TRUE(MidiLearnActive());
    Play(1, 0x90, 60, 100);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return Row(dialog, 3) == QStringList{"144", "60", "100"};
        },
        2000));
    EXPECT_TRUE(dialog.ApplyButton()->isEnabled());
    EXPECT_EQ(ProjectOptions().RemoteCommands[2].Pattern[0], -1);
    SaveScreenshot(dialog, "PrjOptionsForm_learning.png");
    // Learning stays on: the next message overwrites the row. None goes to the connections.
    Play(0, 0xB0, 80, 127);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return Row(dialog, 3) == QStringList{"176", "80", "127"};
        },
        2000));
    EXPECT_EQ(Row(dialog, 2), (QStringList{"-1", "0", "0"}));

    // Another switch takes over; the first goes off.
    Click(dialog, "btnUD2Learn");
    EXPECT_FALSE(Child<QPushButton>(dialog, "btnRemoteLearn3").isChecked());
    EXPECT_EQ(dialog.LearnTarget(), TPrjOptionsForm::kLearnFilter2);
    Play(1, 0xB0, 7, 90);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Child(dialog, "edtUD2_2").text() == "7"; }, 2000));
    EXPECT_EQ(Row(dialog, 3), (QStringList{"176", "80", "127"}));
    Click(dialog, "btnRemoteLearn3");

    // Close while learning: Cancel keeps the dialog, No hides it with learning on.
    presenter.answer = kResultCancel;
    Click(dialog, "btnClose");
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(presenter.CountTitled("Project options"), 1);
    EXPECT_EQ(presenter.boxes.back().text, "You are still in MIDI-learn mode. Quit learn mode?");
    EXPECT_EQ(presenter.boxes.back().kind, kMsgNotice);
    presenter.answer = kResultNo;
    Click(dialog, "btnClose");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(form->Action("Project_Settings")->isChecked());
    EXPECT_TRUE(MidiLearnActive());
    Play(1, 0x90, 62, 1);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return Row(dialog, 3) == QStringList{"144", "62", "1"};
        },
        2000));
    // Shown again, it reloads the options (read from a file meanwhile, say) but keeps what it
    // learned; Apply stores that into the remote table.
    ProjectOptions().UserFilter1[0] = 160;
    Options();
    EXPECT_EQ(Child(dialog, "edtUD1_1").text(), "160");
    EXPECT_EQ(Row(dialog, 3), (QStringList{"144", "62", "1"}));
    EXPECT_TRUE(dialog.ApplyButton()->isEnabled());
    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(ProjectOptions().RemoteCommands[2].Pattern[1], 62);

    // Yes ends learning: the next message goes where it always goes.
    presenter.answer = kResultYes;
    Click(dialog, "btnX");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(MidiLearnActive());
    EXPECT_EQ(dialog.LearnTarget(), TPrjOptionsForm::kNoLearnTarget);
    EXPECT_FALSE(Child<QPushButton>(dialog, "btnRemoteLearn3").isChecked());
    Play(1, 0x90, 70, 70);
    QTest::qWait(60);
    EXPECT_EQ(Row(dialog, 3), (QStringList{"144", "62", "1"}));
}

TEST_F(OptionsFormTest, ARecordedHotkeyIsTheRemoteShortcutAfterApply) {
    Open();
    OpenShow();
    ASSERT_EQ(CurrentPart, 0);
    TPrjOptionsForm& dialog = Options();
    dialog.Pages()->setCurrentIndex(2);
    THotkeyEdit& next = Child<THotkeyEdit>(dialog, "hk1");
    next.setFocus();
    // Recording a key does not run the action the key belongs to.
    QTest::keyClick(&next, Qt::Key_Up);
    EXPECT_EQ(CurrentPart, 0);
    QTest::keyClick(&next, Qt::Key_Shift, Qt::ShiftModifier); // a modifier alone records nothing
    EXPECT_EQ(next.HotKey(), 38);
    QTest::keyClick(&next, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(next.text(), QKeySequence("Ctrl+Shift+N").toString(QKeySequence::NativeText));
    EXPECT_TRUE(dialog.ApplyButton()->isEnabled());
    EXPECT_EQ(form->Action("RemoteNextPart")->shortcut(), QKeySequence(Qt::Key_Down));

    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(static_cast<std::uint16_t>(ProjectOptions().RemoteCommands[0].Hotkey.Load()),
              0x4E | 0x4000 | 0x2000);
    EXPECT_EQ(form->Action("RemoteNextPart")->shortcut(), QKeySequence("Ctrl+Shift+N"));
    QApplication::setActiveWindow(form.get());
    QTest::keyClick(form.get(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(CurrentPart, 1);
    QTest::keyClick(form.get(), Qt::Key_Down);
    EXPECT_EQ(CurrentPart, 1);
}

TEST_F(OptionsFormTest, MidiDialogChoosesTheDevicesAndKeepsItsPlacement) {
    Open();
    OpenShow();
    QAction* menu = form->Action("MIDI_Settings");
    TMIDIForm& midi = Midi();
    EXPECT_TRUE(menu->isChecked());
    EXPECT_EQ(midi.size(), QSize(TMIDIForm::kDefaultWidth, TMIDIForm::kDefaultHeight));
    QListWidget& inputs = *midi.Inputs();
    QListWidget& outputs = *midi.Outputs();
    ASSERT_EQ(inputs.count(), 2);
    ASSERT_EQ(outputs.count(), 2);
    EXPECT_EQ(inputs.item(1)->text(), "[02] - pads");
    EXPECT_EQ(outputs.item(0)->text(), "[01] - synth");
    // The show plays from input 1.
    EXPECT_EQ(inputs.item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(inputs.item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(backend->OpenInputCount(), 1);
    EXPECT_FALSE(midi.ApplyButton()->isEnabled());

    // Apply follows the changed test: a check and its undoing leave nothing to apply.
    ClickCheck(outputs, 1);
    ASSERT_EQ(outputs.item(1)->checkState(), Qt::Checked);
    EXPECT_TRUE(midi.ApplyButton()->isEnabled());
    ClickCheck(outputs, 1);
    EXPECT_FALSE(midi.ApplyButton()->isEnabled());

    // An output held by another program stays closed, grey and named.
    backend->SetOutputBusy(1, true);
    ClickCheck(outputs, 0);
    ClickCheck(outputs, 1);
    QTest::mouseClick(midi.ApplyButton(), Qt::LeftButton);
    EXPECT_FALSE(midi.ApplyButton()->isEnabled());
    EXPECT_EQ(backend->OpenInputCount(), 1);
    EXPECT_EQ(backend->OpenOutputCount(), 1);
    EXPECT_TRUE(MidiOutput(1).Selected != 0 && MidiOutput(1).Opened == 0);
    EXPECT_EQ(midi.ProblemLabel()->text(), "Could not open: Output [02] - lights");
    EXPECT_NE(outputs.item(1)->foreground().color(), outputs.item(0)->foreground().color());
    SaveScreenshot(midi, "MIDIForm.png");

    // The choice travels with the project.
    ASSERT_TRUE(core->SaveProjectAs(dir / "devices.pdp"));

    // Unchecking everything closes every device; Apply is then disabled again.
    ClickCheck(inputs, 0);
    ClickCheck(outputs, 0);
    ClickCheck(outputs, 1);
    QTest::mouseClick(midi.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(backend->OpenInputCount(), 0);
    EXPECT_EQ(backend->OpenOutputCount(), 0);
    EXPECT_FALSE(midi.ApplyButton()->isEnabled());
    EXPECT_TRUE(midi.ProblemLabel()->text().isEmpty());

    backend->SetOutputBusy(1, false);
    ASSERT_TRUE(core->OpenProject(dir / "devices.pdp"));
    form->ApplicationIdle();
    midi.FillLists();
    EXPECT_EQ(inputs.item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(outputs.item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(backend->OpenOutputCount(), 2);

    // Rescan: everything unchecked and closed.
    Click(midi, "btnRescan");
    for (QListWidget* list : {&inputs, &outputs}) {
        for (int i = 0; i < list->count(); ++i) {
            EXPECT_EQ(list->item(i)->checkState(), Qt::Unchecked);
        }
    }
    EXPECT_EQ(backend->OpenInputCount() + backend->OpenOutputCount(), 0);
    EXPECT_FALSE(midi.ApplyButton()->isEnabled());

    // Closed, the check mark goes; the placement is kept.
    midi.setGeometry(40, 50, 600, 400);
    Click(midi, "btnClose");
    EXPECT_FALSE(midi.isVisible());
    EXPECT_FALSE(menu->isChecked());
    form.reset();
    EXPECT_EQ(Setting("MIDIForm", "Width"), "600");
    EXPECT_EQ(Setting("MIDIForm", "Height"), "400");
}

} // namespace
} // namespace peldor::test
