// The performer's keys (Down, Up, ... or the options' hotkeys) step parts from whatever window
// of the program has the focus, offscreen over the real controller: a slot window with its
// generic editor, a mixer, the instruments window, the project options dialog. Keys that the
// focused widget needs itself (typing, arrows in a drop-down, a list or a spin box) stay there.

#include "project/project_model.h"
#include "project/project_options.h"
#include "tests/window/slot_window_fixture.h"
#include "ui/instrument_form.h"
#include "ui/mixer_form.h"
#include "ui/prj_options_form.h"
#include "ui/remote_keys.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace peldor::test {
namespace {

class RemoteKeysTest : public SlotWindowFixture {
protected:
    RemoteKeysTest() { CopyTestPlugin("PeldorSynth", plugins, "PeldorSynth.so"); }

    /// A show of three parts with the test synth in "VSTi 1", opened as --project does.
    void OpenThreeParts() {
        TShowDescription show;
        show.Parts = {{"first", 0}, {"second", 12}, {"third", 7}};
        std::string error;
        ASSERT_TRUE(WriteShowFile(dir / "parts.pdp", show, error)) << error;
        ASSERT_TRUE(core->OpenProject(dir / "parts.pdp"));
        form->ApplicationIdle();
        ASSERT_EQ(CurrentPart, 0);
    }

    /// A key pressed with focus on target, inside target's window, which is the active one.
    static void Press(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QWidget* window = target->window();
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window);
        target->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(target, key, modifiers);
    }
};

TEST_F(RemoteKeysTest, KeysStepPartsFromEveryWindowKind) {
    Open();
    OpenThreeParts();

    // The slot window of "VSTi 1" (the generic editor offscreen).
    core->ToggleSlotEditor(0);
    auto* slot = dynamic_cast<TInstrumentForm*>(controller->Slots().SlotWindow(0));
    ASSERT_NE(slot, nullptr);
    ASSERT_TRUE(slot->isVisible());
    Press(slot, Qt::Key_Down);
    EXPECT_EQ(CurrentPart, 1);
    // Its parameter list keeps its arrow keys.
    auto* parameters = slot->findChild<QComboBox*>();
    ASSERT_NE(parameters, nullptr);
    parameters->setCurrentIndex(0);
    Press(parameters, Qt::Key_Down);
    EXPECT_EQ(CurrentPart, 1);
    EXPECT_EQ(parameters->currentIndex(), 1);

    // A mixer, with one of its faders focused by a click.
    form->Action("Mixer4")->trigger();
    TMixerForm* mixer = form->Mixer(4);
    ASSERT_NE(mixer, nullptr);
    Press(mixer, Qt::Key_Up);
    EXPECT_EQ(CurrentPart, 0);
    Press(mixer, Qt::Key_PageDown); // next song: there is none, the part stays
    EXPECT_EQ(CurrentSong, 0);

    // The instruments window, its "Visible" switch focused.
    TSlotListForm* instruments = form->InstrumentsWindow();
    instruments->show();
    Press(instruments->RowVisible(0), Qt::Key_Down);
    EXPECT_EQ(CurrentPart, 1);

    // The project options: a button and a name field pass the keys on, a drop-down keeps them.
    form->Action("Project_Settings")->trigger();
    TPrjOptionsForm* options = form->ProjectOptionsWindow();
    ASSERT_NE(options, nullptr);
    Press(options->findChild<QPushButton*>("btnClose"), Qt::Key_Down);
    EXPECT_EQ(CurrentPart, 2);
    auto* notes = options->findChild<QComboBox*>("cmbNoteSystem");
    ASSERT_NE(notes, nullptr);
    const int noteSystem = notes->currentIndex();
    Press(notes, Qt::Key_Up);
    EXPECT_EQ(CurrentPart, 2);
    EXPECT_NE(notes->currentIndex(), noteSystem);
    auto* epsilon = options->findChild<QLineEdit*>("edtEpsilon");
    ASSERT_NE(epsilon, nullptr);
    Press(epsilon, Qt::Key_Up);
    EXPECT_EQ(CurrentPart, 1);
    options->hide();

    // Hotkeys off in the options: the keys do nothing anywhere.
    ProjectOptions().HotkeysEnabled = 0;
    form->ApplyRemoteHotkeys();
    EXPECT_TRUE(RemoteKeys().empty());
    Press(slot, Qt::Key_Down);
    Press(mixer, Qt::Key_Down);
    EXPECT_EQ(CurrentPart, 1);
}

TEST_F(RemoteKeysTest, TextListsAndSpinBoxesKeepTheKeysTheyNeed) {
    Open();
    OpenThreeParts();
    // "N" for the next part, as a performer's pedal that sends a letter would.
    ProjectOptions().RemoteCommands[0].Hotkey = 0x4E;
    form->ApplyRemoteHotkeys();
    ASSERT_EQ(form->Action("RemoteNextPart")->shortcut(), QKeySequence(Qt::Key_N));

    QWidget panel(nullptr, Qt::Tool);
    auto* layout = new QVBoxLayout(&panel);
    auto* name = new QLineEdit(&panel);
    auto* readOnly = new QLineEdit(&panel);
    readOnly->setReadOnly(true);
    auto* spin = new QSpinBox(&panel);
    spin->setRange(0, 100);
    spin->setValue(50);
    auto* list = new QListWidget(&panel);
    list->addItems({"one", "two", "three"});
    list->setCurrentRow(0);
    auto* button = new QPushButton("OK", &panel);
    for (QWidget* w : std::initializer_list<QWidget*>{name, readOnly, spin, list, button}) {
        layout->addWidget(w);
    }
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));

    // Typing a name with the hotkey's letter in it.
    Press(name, Qt::Key_N);
    EXPECT_EQ(name->text(), "n");
    EXPECT_EQ(CurrentPart, 0);
    // A field that cannot be typed into, and a button, let the key through.
    Press(readOnly, Qt::Key_N);
    EXPECT_EQ(CurrentPart, 1);
    Press(button, Qt::Key_N);
    EXPECT_EQ(CurrentPart, 2);
    // A shifted or controlled letter is no longer typing... but neither is it the hotkey.
    Press(name, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(CurrentPart, 2);

    // Arrow keys of a spin box and a list step their values, not the parts.
    Press(spin, Qt::Key_Up);
    EXPECT_EQ(spin->value(), 51);
    Press(spin, Qt::Key_PageDown);
    EXPECT_LT(spin->value(), 51);
    Press(list, Qt::Key_Down);
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(CurrentPart, 2);
    // Up is still the previous part elsewhere in the same window.
    Press(button, Qt::Key_Up);
    EXPECT_EQ(CurrentPart, 1);
}

} // namespace
} // namespace peldor::test
