// The plugin object's states, its dispatcher operations and the host's collection.

#include "plugins/host_values.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

#include <fstream>

namespace peldor::test {
namespace {

using vst2::VstInt32;

class PluginObjectTest : public ::testing::Test {
protected:
    RecordingPresenter presenter;
    TVstHost host;
    TVstPlugIn& plugin = host.VstPlugIns().Add();
};

TEST_F(PluginObjectTest, OpenSendsTheOpeningSequenceAndCopiesTheEffect) {
    FakeEffect fake;
    fake.answers[vst2::effGetPlugCategory] = 0x302; // only the low byte counts
    fake.answers[vst2::effGetVstVersion] = 2400;
    plugin.SetDLLFileName("/somewhere/fake.so");
    plugin.PlaceEffect(&fake.effect);
    plugin.SetActive(true);

    const std::vector<VstInt32> expected = {vst2::effOpen,
                                            vst2::effCanDo,
                                            vst2::effSetSampleRate,
                                            vst2::effSetBlockSize,
                                            vst2::effSetBypass,
                                            vst2::effGetVstVersion,
                                            vst2::effGetPlugCategory,
                                            vst2::effMainsChanged};
    EXPECT_EQ(fake.Opcodes(), expected);
    EXPECT_EQ(fake.calls[1].text, "bypass");
    EXPECT_FLOAT_EQ(fake.calls[2].opt, 44100.0f);
    EXPECT_EQ(fake.calls[3].value, 2048);
    EXPECT_EQ(fake.calls[4].value, 0);
    EXPECT_EQ(fake.calls[7].value, 1);

    EXPECT_TRUE(plugin.Active());
    EXPECT_EQ(plugin.PlugCategory(), TPlugCategory::kpcSynth);
    EXPECT_EQ(plugin.PluginVstVersion(), 2400);
    EXPECT_EQ(plugin.uID(), "Fake");
    EXPECT_EQ(plugin.Version(), 7);
    EXPECT_EQ(plugin.numPrograms(), 3);
    EXPECT_EQ(plugin.numParams(), 2);
    // A caller-placed effect: nothing was loaded, and the file name goes.
    EXPECT_EQ(plugin.Module(), nullptr);
    EXPECT_EQ(plugin.DLLFileName(), "");

    plugin.SetActive(true); // already set: nothing happens
    EXPECT_EQ(fake.CountOf(vst2::effOpen), 1);
    plugin.SetActive(false);
    EXPECT_EQ(fake.Opcodes().back(), vst2::effClose);
    EXPECT_EQ(fake.CountOf(vst2::effMainsChanged), 1); // no switch-off before effClose
    EXPECT_EQ(plugin.Effect(), nullptr);
}

TEST_F(PluginObjectTest, InactiveObjectAnswersWithoutCallingThePlugin) {
    FakeEffect fake;
    fake.reportRect = true;
    fake.rect = {0, 0, 300, 400};
    plugin.PlaceEffect(&fake.effect);
    std::string name = "unchanged";
    vst2::MidiProgramCategory category{};

    EXPECT_EQ(plugin.ProgramNr(), -1);
    EXPECT_EQ(plugin.CachedProgramNr(), -1);
    plugin.SetProgramNr(5);
    EXPECT_EQ(plugin.CachedProgramNr(), -1);
    EXPECT_EQ(plugin.ProgramName(), "");
    EXPECT_EQ(plugin.GetParamName(0), "");
    EXPECT_EQ(plugin.GetEffectName(), "");
    EXPECT_EQ(plugin.ConnectInput(0, true), -1);
    EXPECT_EQ(plugin.ConnectOutput(1, true), -1);
    EXPECT_EQ(plugin.GetPlugCategory(), -1);
    EXPECT_EQ(plugin.GetVstVersion(), -1);
    EXPECT_EQ(plugin.VendorVersion(), -1);
    EXPECT_EQ(plugin.GetMidiProgramCategory(&category), 0);
    EXPECT_EQ(plugin.ShellGetNextPlugin(name), 0);
    EXPECT_EQ(name, "unchanged");
    EXPECT_EQ(plugin.EditGetRect(), kFallbackEditRect);
    EXPECT_TRUE(fake.calls.empty());

    // Operations without the requirement reach the plugin all the same.
    plugin.SetBlockSize(64);
    EXPECT_EQ(fake.CountOf(vst2::effSetBlockSize), 1);
}

TEST_F(PluginObjectTest, TextAndRectangleQueriesFollowThePluginsAnswer) {
    FakeEffect fake;
    plugin.PlaceEffect(&fake.effect);
    plugin.SetActive(true);

    fake.texts[vst2::effGetParamName] = "Cutoff";
    fake.answers[vst2::effGetParamName] = 1; // parameter texts count only with answer 0
    EXPECT_EQ(plugin.GetParamName(0), "");
    fake.answers[vst2::effGetParamName] = 0;
    EXPECT_EQ(plugin.GetParamName(0), "Cutoff");

    fake.texts[vst2::effGetEffectName] = "Fake Synth";
    EXPECT_EQ(plugin.GetEffectName(), ""); // names count only with a non-zero answer
    fake.answers[vst2::effGetEffectName] = 1;
    EXPECT_EQ(plugin.GetEffectName(), "Fake Synth");
    fake.texts[vst2::effGetEffectName] = std::string(600, 'x');
    EXPECT_EQ(plugin.GetEffectName().size(), 255u);
    fake.texts.erase(vst2::effGetEffectName); // answers 1 but writes nothing
    EXPECT_EQ(plugin.GetEffectName(), "");

    EXPECT_EQ(plugin.EditGetRect(), kFallbackEditRect); // no rectangle reported
    fake.reportRect = true;
    fake.rect = {10, 20, 130, 320};
    EXPECT_EQ(plugin.EditGetRect(), (TEditRect{10, 20, 130, 320}));

    fake.answers[vst2::effGetProgram] = 4;
    EXPECT_EQ(plugin.ProgramNr(), 4);
    plugin.SetProgramNr(2);
    EXPECT_EQ(plugin.CachedProgramNr(), 2);
    EXPECT_EQ(fake.calls.back().value, 2);
    plugin.SetActive(false);
}

TEST_F(PluginObjectTest, DispatchCatchesPluginExceptionsAndNeedsAnEffect) {
    EXPECT_EQ(plugin.Dispatch(vst2::effGetProgram), 0);

    FakeEffect fake;
    fake.handler = [](VstInt32 opcode, VstInt32, vst2::VstIntPtr, void*, float) -> vst2::VstIntPtr {
        if (opcode == vst2::effGetVendorVersion) {
            throw std::runtime_error("plugin failure");
        }
        return 3;
    };
    plugin.PlaceEffect(&fake.effect);
    EXPECT_EQ(plugin.Dispatch(vst2::effGetVendorVersion), 0);
    EXPECT_EQ(plugin.DispatchFaults(), 1);
    EXPECT_EQ(plugin.Dispatch(vst2::effGetProgram), 3);
    EXPECT_EQ(plugin.DispatchFaults(), 1);
    plugin.PlaceEffect(nullptr);
}

TEST_F(PluginObjectTest, LifeCycleWithARealLibrary) {
    const std::string path = TestPlugin("PeldorSynth");
    LibraryPin pin(path);
    ResetOpcodeLog(path);

    ASSERT_TRUE(plugin.Load(path));
    EXPECT_TRUE(plugin.Active()); // the field only: nothing sent yet
    EXPECT_TRUE(OpcodeLog(path).empty());
    EXPECT_EQ(plugin.DLLFileName(), path);
    EXPECT_NE(plugin.Module(), nullptr);

    // Open with a loaded library: Load again, then the opening sequence.
    plugin.SetActive(false);
    plugin.SetActive(true);
    EXPECT_EQ(plugin.numInputs(), 0);
    EXPECT_EQ(plugin.numOutputs(), 2);
    EXPECT_EQ(plugin.numParams(), 3);
    EXPECT_EQ(plugin.numPrograms(), 4);
    EXPECT_EQ(plugin.Version(), 1000);
    EXPECT_EQ(plugin.uID(), "PlSy");
    EXPECT_EQ(plugin.PlugCategory(), TPlugCategory::kpcSynth);
    EXPECT_EQ(plugin.VendorString(), "Peldor Tests");

    plugin.SetActive(false);
    EXPECT_EQ(plugin.numInputs(), 0);
    EXPECT_EQ(plugin.numParams(), 0);
    EXPECT_EQ(plugin.Version(), 0);
    EXPECT_EQ(plugin.PlugCategory(), TPlugCategory::kpcUnknown);
    EXPECT_EQ(plugin.Effect(), nullptr);
    EXPECT_NE(plugin.Module(), nullptr); // closed, still loaded
    EXPECT_EQ(plugin.DLLFileName(), path);

    plugin.Unload();
    EXPECT_EQ(plugin.numInputs(), -1);
    EXPECT_EQ(plugin.numOutputs(), -1);
    EXPECT_EQ(plugin.numPrograms(), -1);
    EXPECT_EQ(plugin.Version(), -1);
    EXPECT_EQ(plugin.numParams(), 0); // kept from Close
    EXPECT_EQ(plugin.uID(), "");
    EXPECT_EQ(plugin.Module(), nullptr);

    // Unload from the open state closes first, so numParams reads 0 there too.
    plugin.SetActive(true);
    plugin.Unload();
    EXPECT_EQ(plugin.numParams(), 0);
    EXPECT_EQ(plugin.numInputs(), -1);
    EXPECT_EQ(LiveInstances(path), 0); // every instance got its effClose
}

TEST_F(PluginObjectTest, FailedLoadsLeaveTheObjectEmpty) {
    TempDir dir;
    const std::string notALibrary = (dir / "text.so").string();
    std::ofstream(notALibrary) << "not a shared library";

    struct Case {
        std::string path;
        bool showsGetLastError;
    };
    const Case cases[] = {
        {(dir / "missing.so").string(), false}, {notALibrary, true},
        {TestPlugin("NoEntry"), false},         {TestPlugin("NullEntry"), false},
        {TestPlugin("ThrowingEntry"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        presenter.boxes.clear();
        EXPECT_FALSE(plugin.Load(c.path));
        EXPECT_FALSE(plugin.Active());
        EXPECT_EQ(plugin.Effect(), nullptr);
        EXPECT_EQ(plugin.Module(), nullptr);
        EXPECT_FALSE(plugin.LastLoadError().empty());
        EXPECT_EQ(presenter.CountTitled("GetLastError"), c.showsGetLastError ? 1 : 0);
    }
    // The system's reason is what the box says.
    EXPECT_NE(plugin.LastLoadError().find("entry failure"), std::string::npos);
    plugin.SetDLLFileName(TestPlugin("NullEntry"));
    EXPECT_THROW(plugin.SetActive(true), EVstError);
}

TEST_F(PluginObjectTest, EntryLookupTakesMainFirst) {
    ASSERT_TRUE(plugin.Load(TestPlugin("OnlyMain")));
    plugin.SetActive(false);
    plugin.SetActive(true);
    EXPECT_EQ(plugin.GetEffectName(), "Peldor OnlyMain");
    plugin.Unload();

    plugin.SetDLLFileName(TestPlugin("BothEntries"));
    plugin.SetActive(true);
    EXPECT_EQ(plugin.GetEffectName(), "via main");
    plugin.Unload();
}

// A record failing the magic test is never called: no effOpen, and no effClose afterwards.
TEST_F(PluginObjectTest, WrongMagicRaisesAndTheRecordIsNeverCalled) {
    const std::string path = TestPlugin("WrongMagic");
    LibraryPin pin(path);
    ResetOpcodeLog(path);
    plugin.SetDLLFileName(path);
    try {
        plugin.SetActive(true);
        FAIL() << "Open accepted a wrong magic";
    } catch (const EVstError& error) {
        EXPECT_STREQ(error.what(), "There is no magic in it... failed!");
    }
    EXPECT_FALSE(plugin.Active());
    EXPECT_EQ(plugin.Effect(), nullptr);
    plugin.SetActive(false);
    plugin.Unload();
    host.SetBlockSize(128);
    EXPECT_TRUE(OpcodeLog(path).empty());
}

TEST_F(PluginObjectTest, ShellLibrariesListTheirPluginsBeforeOpening) {
    const std::string path = TestPlugin("PeldorShell");
    LibraryPin pin(path);
    ResetOpcodeLog(path);
    CurrentShellPluginId = 0;
    plugin.SetDLLFileName(path);
    plugin.SetActive(true);
    const std::vector<int> log = OpcodeLog(path);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(std::vector<int>(log.begin(), log.begin() + 4),
              (std::vector<int>{vst2::effShellGetNextPlugin, vst2::effShellGetNextPlugin,
                                vst2::effShellGetNextPlugin, vst2::effOpen}));
    plugin.Unload();

    // A caller-placed effect is not Active yet, so the listing makes no call.
    FakeEffect fake;
    fake.effect.uniqueID = 0;
    fake.answers[vst2::effShellGetNextPlugin] = 1; // would loop forever if asked
    TVstPlugIn& other = host.VstPlugIns().Add();
    other.PlaceEffect(&fake.effect);
    other.SetActive(true);
    EXPECT_EQ(fake.CountOf(vst2::effShellGetNextPlugin), 0);
    EXPECT_EQ(fake.Opcodes().front(), vst2::effOpen);
    other.SetActive(false);
}

TEST_F(PluginObjectTest, ProgramsAndChunksRoundTripBetweenInstances) {
    const std::string path = TestPlugin("PeldorSynth");
    plugin.SetDLLFileName(path);
    plugin.SetActive(true);
    plugin.SetProgramNr(2);
    EXPECT_EQ(plugin.ProgramNr(), 2);
    EXPECT_EQ(plugin.ProgramName(), "Loud");
    plugin.SetParameter(0, 0.25f);
    plugin.SetProgramName("Mine");

    TVstPlugIn& copy = host.VstPlugIns().Add();
    copy.SetDLLFileName(path);
    copy.SetActive(true);
    copy.SetProgramNr(2);
    void* data = nullptr;
    const std::int32_t size = plugin.GetChunk(&data, true);
    ASSERT_GT(size, 0);
    EXPECT_EQ(copy.SetChunk(data, size, true), 1);
    EXPECT_FLOAT_EQ(copy.GetParameter(0), 0.25f);
    EXPECT_EQ(copy.ProgramName(), "Mine");

    // Assign opens a third object and moves the whole bank across.
    TVstPlugIn& assigned = host.VstPlugIns().Add();
    assigned.Assign(plugin);
    EXPECT_TRUE(assigned.Active());
    EXPECT_EQ(assigned.ProgramNr(), 2);
    EXPECT_FLOAT_EQ(assigned.GetParameter(0), 0.25f);
}

TEST_F(PluginObjectTest, BlockSizeReachesEveryObjectWithAnEffect) {
    FakeEffect placed;
    FakeEffect opened;
    host.VstPlugIns().Add().PlaceEffect(&placed.effect); // has an effect, not Active
    TVstPlugIn& active = host.VstPlugIns().Add();
    active.PlaceEffect(&opened.effect);
    active.SetActive(true);
    opened.calls.clear();

    host.SetBlockSize(256);
    EXPECT_EQ(HostBlockSize, 256);
    EXPECT_EQ(host.BlockSize(), 256);
    ASSERT_EQ(placed.CountOf(vst2::effSetBlockSize), 1);
    EXPECT_EQ(placed.calls.back().value, 256);
    ASSERT_EQ(opened.CountOf(vst2::effSetBlockSize), 1);
    EXPECT_EQ(opened.calls.back().value, 256);
    active.SetActive(false);
    host.VstPlugIns().Items(1)->PlaceEffect(nullptr);
}

TEST_F(PluginObjectTest, DeletingAnItemClosesItAndMovesTheRestDown) {
    const std::string path = TestPlugin("PeldorGain");
    LibraryPin pin(path);
    TVstPlugIns& items = host.VstPlugIns();
    TVstPlugIn& gain = items.Add();
    gain.SetDLLFileName(path);
    gain.SetActive(true);
    TVstPlugIn& last = items.Add();
    ASSERT_EQ(items.Count(), 3);
    EXPECT_EQ(gain.Index(), 1);
    EXPECT_EQ(LiveInstances(path), 1);

    items.Delete(1);
    EXPECT_EQ(items.Count(), 2);
    EXPECT_EQ(items.Items(1), &last);
    EXPECT_EQ(last.Index(), 1);
    EXPECT_EQ(LiveInstances(path), 0);
    EXPECT_EQ(items.Items(2), nullptr);
    EXPECT_EQ(host.EnginePlugin(-1), nullptr);
    items.Delete(7); // out of range: nothing
    EXPECT_EQ(items.Count(), 2);
}

} // namespace
} // namespace peldor::test
