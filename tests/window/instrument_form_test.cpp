// The slot windows (offscreen, so no plugin editor can be embedded): the generic editor shown
// with real widgets for a plugin without an editor of its own and as the fallback for one with
// an editor, driven as a user drives it, and what reaches the plugin, the project file and the
// settings file.

#include "tests/window/slot_window_fixture.h"
#include "ui/instrument_form.h"
#include "vst2/vst2_abi.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <algorithm>

namespace peldor::test {
namespace {

class InstrumentFormTest : public SlotWindowFixture {
protected:
    InstrumentFormTest() {
        synthPath = CopyTestPlugin("PeldorSynth", plugins, "PeldorSynth.so").string();
        CopyTestPlugin("PeldorGain", plugins, "PeldorGain.so");
    }

    TInstrumentForm* SlotWindow(int slot) {
        return dynamic_cast<TInstrumentForm*>(controller->Slots().SlotWindow(slot));
    }

    std::string synthPath;
};

TEST_F(InstrumentFormTest, GenericEditorChangesReachThePluginAndTheProject) {
    Open();
    OpenShow(0, -1);
    TSlotListForm* effects = form->EffectsWindow();
    ASSERT_NE(effects, nullptr);
    ASSERT_EQ(EffectCatalogue.size(), 1u);
    const QString gainName = QString::fromStdString(EffectCatalogue[0].PluginName);
    Choose(effects, 0, gainName);

    TInstrumentForm* window = SlotWindow(16);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "[VST 1] " + gainName);
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    TVstPlugIn* gain = controller->Slots().PluginInSlot(16);
    ASSERT_NE(gain, nullptr);
    EXPECT_TRUE(gain->GenericEditorShown());

    auto* box = qobject_cast<QComboBox*>(window->ControlWidget("ParamBox"));
    auto* bar = qobject_cast<QSlider*>(window->ControlWidget("ParamBar"));
    auto* label = qobject_cast<QLabel*>(window->ControlWidget("LbL"));
    ASSERT_NE(box, nullptr);
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(label, nullptr);
    ASSERT_EQ(box->count(), gain->numParams());
    EXPECT_EQ(box->itemText(0).toStdString(), gain->GetParamName(0));
    // The bar starts at the first parameter's value (unity gain is 0.5) and fits the window.
    EXPECT_EQ(bar->value(), 50);
    EXPECT_LE(bar->geometry().right(), window->width());

    // The user drags the bar to its end: the plugin gets 1.0 and the value line follows.
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_End);
    EXPECT_FLOAT_EQ(gain->GetParameter(0), 1.0f);
    EXPECT_EQ(label->text().toStdString(),
              "Value: " + gain->GetParamDisplay(0) + gain->GetParamLabel(0));
    // Choosing the second parameter moves the bar to its value without changing anything.
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(box->currentIndex(), 1);
    EXPECT_EQ(bar->value(), static_cast<int>(gain->GetParameter(1) * 100.0f + 0.5f));
    EXPECT_FLOAT_EQ(gain->GetParameter(0), 1.0f);
    EXPECT_EQ(label->text().toStdString(),
              "Value: " + gain->GetParamDisplay(1) + gain->GetParamLabel(1));
    QTest::keyClick(box, Qt::Key_Up);
    Screenshot(window->grab().toImage(), "slot_window_generic_editor.png");

    // The change is part of the project: saved, then the plugin changed, then opened again.
    const std::filesystem::path saved = dir / "saved.pdp";
    ASSERT_TRUE(core->SaveProjectAs(saved));
    gain->SetParameter(0, 0.25f);
    ASSERT_TRUE(core->OpenProject(saved));
    form->ApplicationIdle();
    ASSERT_NE(controller->Slots().PluginInSlot(16), nullptr);
    EXPECT_FLOAT_EQ(controller->Slots().PluginInSlot(16)->GetParameter(0), 1.0f);

    // "Visible" hides the window and takes the controls away; again shows them.
    window = SlotWindow(16);
    ASSERT_NE(window, nullptr);
    QPushButton* visible = effects->RowVisible(0);
    if (!window->isVisible()) {
        QTest::mouseClick(visible, Qt::LeftButton);
    }
    ASSERT_TRUE(window->isVisible());
    QTest::mouseClick(visible, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->ControlWidget("ParamBar"), nullptr);
    EXPECT_FALSE(visible->isChecked());
    QTest::mouseClick(visible, Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    EXPECT_NE(window->ControlWidget("ParamBar"), nullptr);
    EXPECT_TRUE(visible->isChecked());

    // Closed by the user: the editor closes, the window hides and the switch goes off.
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(controller->Slots().PluginInSlot(16)->EditVisible());
    EXPECT_FALSE(visible->isChecked());

    // Each slot window keeps its own placement in the settings file.
    window->move(40, 50);
    controller->Shutdown();
    EXPECT_EQ(Setting("VST16", "Left"), "40");
    EXPECT_EQ(Setting("VST16", "Top"), "50");
}

TEST_F(InstrumentFormTest, OwnEditorThatCannotBeEmbeddedGetsTheGenericEditor) {
    LibraryPin pin(synthPath);
    Open();
    OpenShow(0, -1);
    TVstPlugIn* synth = controller->Slots().PluginInSlot(0);
    ASSERT_NE(synth, nullptr);
    ASSERT_NE(synth->EffectOptions() & vst2::effFlagsHasEditor, 0);
    ResetOpcodeLog(synth->DLLFileName());

    TSlotListForm* instruments = form->InstrumentsWindow();
    QPushButton* visible = instruments->RowVisible(0);
    if (core->SlotEditorVisible(0)) {
        QTest::mouseClick(visible, Qt::LeftButton);
    }
    QTest::mouseClick(visible, Qt::LeftButton);
    TInstrumentForm* window = SlotWindow(0);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    // Offscreen there is no native window to embed into: the plugin is never asked to open
    // its editor, never idled as if it had, and the parameters are there all the same.
    EXPECT_EQ(window->Handle(), 0u);
    EXPECT_TRUE(synth->GenericEditorShown());
    EXPECT_NE(window->ControlWidget("ParamBox"), nullptr);
    EXPECT_GE(window->width(), TInstrumentForm::kGenericMinWidth);
    controller->UITimerTimer();
    QTest::mouseClick(visible, Qt::LeftButton);
    EXPECT_FALSE(synth->EditVisible());
    EXPECT_FALSE(synth->GenericEditorShown());
    const std::vector<int> log = OpcodeLog(synth->DLLFileName());
    for (int opcode : {vst2::effEditOpen, vst2::effEditClose, vst2::effEditIdle}) {
        EXPECT_EQ(std::count(log.begin(), log.end(), opcode), 0) << opcode;
    }
}

} // namespace
} // namespace peldor::test
