// Editor state of the plugin object: its own window and a caller's, the plugin's editor and
// the generic one.

#include "plugins/editor_window.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

namespace peldor::test {
namespace {

constexpr TWindowHandle kNativeHandle = 0x4A00017;

/// Headless windows that pretend to be native, so plugins with an editor get a handle.
class NativeLikeFactory final : public IEditorWindowFactory {
public:
    NativeLikeFactory() { SetEditorWindowFactory(this); }
    ~NativeLikeFactory() override { SetEditorWindowFactory(nullptr); }
    std::unique_ptr<IEditorWindow> CreateToolWindow() override {
        auto window = std::make_unique<THeadlessEditorWindow>();
        window->SetHandle(kNativeHandle);
        created = window.get();
        return window;
    }
    THeadlessEditorWindow* created = nullptr;
};

class EditorTest : public ::testing::Test {
protected:
    TVstPlugIn& Open(const std::string& name) {
        TVstPlugIn& plugin = host.VstPlugIns().Add();
        plugin.SetDLLFileName(TestPlugin(name));
        plugin.SetActive(true);
        return plugin;
    }

    RecordingPresenter presenter;
    NativeLikeFactory factory;
    TVstHost host;
};

TEST_F(EditorTest, ShowEditOpensThePluginsEditorInAWindowOfItsOwn) {
    const std::string path = TestPlugin("PeldorSynth");
    LibraryPin pin(path);
    TVstPlugIn& synth = Open("PeldorSynth");
    ResetOpcodeLog(path);

    synth.ShowEdit();
    THeadlessEditorWindow* window = factory.created;
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(synth.EditorWindow(), window);
    EXPECT_TRUE(synth.OwnsEditorWindow());
    EXPECT_TRUE(synth.EditVisible());
    EXPECT_EQ(synth.EditorParent(), kNativeHandle);
    EXPECT_TRUE(window->Visible());
    EXPECT_EQ(window->Caption(), "Peldor Tests - Peldor Synth");
    EXPECT_EQ(window->ClientWidth(), 300);
    EXPECT_EQ(window->ClientHeight(), 120);

    window->SimulateActivate();
    window->SimulateDeactivate();
    std::vector<int> log = OpcodeLog(path);
    EXPECT_NE(std::find(log.begin(), log.end(), vst2::effEditOpen), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), vst2::effEditTop), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), vst2::effEditSleep), log.end());
    EXPECT_THROW(synth.SetGUIStyle(TGUIStyle::gsList), EVstError);

    // The user closes the window: the editor closes and the window goes.
    window->SimulateClose();
    EXPECT_EQ(synth.EditorWindow(), nullptr);
    EXPECT_FALSE(synth.OwnsEditorWindow());
    EXPECT_FALSE(synth.EditVisible());
    log = OpcodeLog(path);
    EXPECT_EQ(log.back(), vst2::effEditClose);
    EXPECT_NO_THROW(synth.SetGUIStyle(TGUIStyle::gsList));
}

TEST_F(EditorTest, CallersWindowStaysAssignedAfterCloseEdit) {
    TVstPlugIn& synth = Open("PeldorSynth");
    THeadlessEditorWindow slotWindow;
    slotWindow.SetHandle(kNativeHandle + 1);
    synth.SetEditorWindow(&slotWindow);
    synth.EditOpenIn(&slotWindow);
    EXPECT_TRUE(synth.EditVisible());
    EXPECT_EQ(synth.EditorParent(), kNativeHandle + 1);
    synth.ShowEdit(); // the window exists: only shown
    EXPECT_TRUE(slotWindow.Visible());
    EXPECT_EQ(factory.created, nullptr);

    synth.CloseEdit();
    EXPECT_FALSE(synth.EditVisible());
    EXPECT_EQ(synth.EditorWindow(), &slotWindow);
    EXPECT_FALSE(synth.OwnsEditorWindow());
}

TEST_F(EditorTest, WindowWithoutNativeHandleNeverOpensAPluginEditor) {
    const std::string path = TestPlugin("PeldorSynth");
    LibraryPin pin(path);
    TVstPlugIn& synth = Open("PeldorSynth");
    ResetOpcodeLog(path);
    THeadlessEditorWindow headless;
    synth.SetEditorWindow(&headless);
    synth.EditOpenIn(&headless);
    EXPECT_FALSE(synth.EditVisible());
    const std::vector<int> log = OpcodeLog(path);
    EXPECT_EQ(std::find(log.begin(), log.end(), vst2::effEditOpen), log.end());
}

TEST_F(EditorTest, GenericEditorOldStyleShowsAndSetsTheSelectedParameter) {
    TVstPlugIn& gain = Open("PeldorGain");
    gain.ShowEdit();
    THeadlessEditorWindow* window = factory.created;
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(gain.EditVisible());
    EXPECT_EQ(window->Caption(), "Peldor Tests - Peldor Gain");
    EXPECT_EQ(window->ClientWidth(), 200); // no editor of its own: 200 x 80
    EXPECT_EQ(window->ClientHeight(), 80);
    EXPECT_EQ(window->ControlNames(), (std::vector<std::string>{"LbL", "ParamBar", "ParamBox"}));

    TEditorControl* box = window->FindControl("ParamBox");
    TEditorControl* bar = window->FindControl("ParamBar");
    EXPECT_EQ(box->Items, (std::vector<std::string>{"Gain", "Mute"}));
    EXPECT_EQ(box->ItemIndex, 0);
    EXPECT_EQ(bar->Position, 50); // the list's change handler ran once
    EXPECT_EQ(bar->Width, 180);   // window width - 20, kept when the window was sized

    window->SimulateUserChange("ParamBar", 37);
    EXPECT_FLOAT_EQ(gain.GetParameter(0), 0.37f);
    EXPECT_EQ(window->FindControl("LbL")->Text, "Value: 0.74x");

    gain.SetParameter(1, 1.0f);
    window->SimulateUserChange("ParamBox", 1);
    EXPECT_EQ(bar->Position, 100);
    // The value line follows the selection; the parameter is not set again.
    EXPECT_EQ(window->FindControl("LbL")->Text,
              "Value: " + gain.GetParamDisplay(1) + gain.GetParamLabel(1));
    EXPECT_FLOAT_EQ(gain.GetParameter(0), 0.37f);

    gain.CloseEdit();
    EXPECT_FALSE(gain.EditVisible());
    EXPECT_EQ(gain.EditorWindow(), nullptr); // its own window is gone with the editor
}

TEST_F(EditorTest, GenericEditorListStyleHasARowPerParameter) {
    TVstPlugIn& gain = Open("PeldorGain");
    gain.SetGUIStyle(TGUIStyle::gsList);
    THeadlessEditorWindow window;
    window.SetClientSize(240, 60);
    gain.EditOpenIn(&window);
    EXPECT_EQ(gain.EditorWindow(), &window);
    EXPECT_EQ(window.ControlNames(),
              (std::vector<std::string>{"LbL0", "ParamBar0", "LbL1", "ParamBar1"}));
    EXPECT_EQ(window.FindControl("LbL1")->Text, "Mute:");
    EXPECT_EQ(window.FindControl("LbL1")->Top, 18);
    TEditorControl* bar = window.FindControl("ParamBar0");
    EXPECT_EQ(bar->Position, 500);
    // The widest "name:_" text decides where the bars start.
    EXPECT_EQ(bar->Left, window.TextWidth("Gain:_") + 2);
    EXPECT_EQ(bar->Width, 240 - bar->Left - 4);

    window.SimulateUserChange("ParamBar1", 1000);
    EXPECT_FLOAT_EQ(gain.GetParameter(1), 1.0f);

    gain.CloseEdit();
    EXPECT_TRUE(window.ControlNames().empty());
    EXPECT_EQ(gain.EditorWindow(), &window);
}

TEST_F(EditorTest, ShowEditCaptionFallsBackToTheEffectName) {
    FakeEffect fake;
    fake.texts[vst2::effGetEffectName] = "Nameless Vendor";
    fake.answers[vst2::effGetEffectName] = 1;
    TVstPlugIn& plugin = host.VstPlugIns().Add();
    plugin.PlaceEffect(&fake.effect);
    plugin.SetActive(true);
    plugin.ShowEdit();
    ASSERT_NE(factory.created, nullptr);
    EXPECT_EQ(factory.created->Caption(), "Nameless Vendor");
    plugin.SetActive(false);
    EXPECT_EQ(plugin.EditorWindow(), nullptr);
}

} // namespace
} // namespace peldor::test
