// The plugin folder scan: file order, sub-folders and shell grouping in the menus, the
// instrument/effect decision, misbehaving libraries, and where the folder comes from.

#include "engine/processor.h"
#include "plugins/plugin_path_form.h"
#include "plugins/plugin_scan.h"
#include "plugins/registry_file.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

#include <fstream>

namespace peldor::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Relative(const std::vector<std::string>& paths, const fs::path& base) {
    std::vector<std::string> result;
    for (const std::string& path : paths) {
        result.push_back(fs::path(path).lexically_relative(base).string());
    }
    return result;
}

std::vector<std::string> Names(const TPluginCatalogue& catalogue) {
    std::vector<std::string> names;
    for (const PlgListRecord& entry : catalogue) {
        names.push_back(entry.PluginName);
    }
    return names;
}

TEST(FindFilesTest, SubFoldersFirstThenTheFoldersOwnFilesInNameOrder) {
    TempDir dir;
    for (const char* file : {"a.so", "Synths/b.so", "Synths/Pads/c.so", ".hidden.so", "UPPER.SO",
                             "readme.txt", "Alpha/z.so", "b.so.txt"}) {
        fs::create_directories((dir / file).parent_path());
        std::ofstream(dir / file) << "x";
    }
    EXPECT_EQ(Relative(FindFiles(dir.Path().string(), "*.so", true), dir.Path()),
              (std::vector<std::string>{"Alpha/z.so", "Synths/Pads/c.so", "Synths/b.so",
                                        ".hidden.so", "a.so", "UPPER.SO"}));
    EXPECT_EQ(Relative(FindFiles(dir.Path().string() + "/", "*.so", false), dir.Path()),
              (std::vector<std::string>{".hidden.so", "a.so", "UPPER.SO"}));
    EXPECT_TRUE(FindFiles((dir / "missing").string(), "*.so", true).empty());
}

TEST(FindFilesTest, LinkLoopsEndAndLongPathsStayWhole) {
    TempDir dir;
    fs::create_directories(dir / "Loop");
    fs::create_directory_symlink(dir.Path(), dir / "Loop" / "back");
    std::ofstream(dir / "Loop" / "x.so") << "x";
    EXPECT_EQ(FindFiles(dir.Path().string(), "*.so", true).size(), 1u);

    fs::path deep = dir.Path();
    for (int level = 0; level < 12; ++level) {
        deep /= "a-rather-long-folder-name-" + std::to_string(level);
    }
    fs::create_directories(deep);
    std::ofstream(deep / "deep.so") << "x";
    const std::vector<std::string> found = FindFiles(dir.Path().string(), "*.so", true);
    bool sawDeep = false;
    for (const std::string& path : found) {
        if (path.size() > 255) {
            sawDeep = fs::exists(path);
        }
    }
    EXPECT_TRUE(sawDeep);
}

TEST(FindFilesTest, RelativeFolderAndShellCaptions) {
    EXPECT_EQ(RelativeFolder("/vst", "/vst/Synths/Pads/x.so"), "Synths/Pads");
    EXPECT_EQ(RelativeFolder("/vst/", "/vst/Synths/Pads/x.so"), "Synths/Pads");
    EXPECT_EQ(RelativeFolder("/vst", "/vst/x.so"), "");
    EXPECT_EQ(RelativeFolder("/vst", "/vstx/y/x.so"), "");
    EXPECT_EQ(RelativeFolder("/", "/opt/x.so"), "opt");
    EXPECT_EQ(ShellGroupCaption("/vst/Bundle.so"), "[Bundle]");
    EXPECT_EQ(ShellGroupCaption("/vst/a.b.so"), "[a.b]");
    EXPECT_EQ(ShellGroupCaption("/vst/.so"), "[.so]");
    EXPECT_EQ(ShellGroupCaption("noextension"), "[noextension]");
}

class PluginScanTest : public ::testing::Test {
protected:
    PluginScanTest() {
        SetRegistryFile(dir / "registry.ini");
        environment.Status = [this](const std::string& text) { statuses.push_back(text); };
    }
    ~PluginScanTest() override { SetRegistryFile(ResolveRegistryPath()); }

    fs::path Plugins() const { return dir / "vst"; }

    TempDir dir;
    RecordingPresenter presenter;
    TVstHost host;
    TScanEnvironment environment;
    std::vector<std::string> statuses;
};

TEST_F(PluginScanTest, InstrumentsInScanOrderGroupedBySubFolder) {
    CopyTestPlugin("PeldorSynth", Plugins(), "a.so");
    CopyTestPlugin("PeldorSynth", Plugins(), "Synths/b.so");
    CopyTestPlugin("PeldorSynth", Plugins(), "Synths/Pads/c.so");
    CopyTestPlugin("EmptyName", Plugins(), "Synths/Pads/nameless.so");

    const TScanReport report = ScanPluginFolder(host, Plugins().string(), environment);
    EXPECT_TRUE(report.Scanned);
    EXPECT_TRUE(report.Failures.empty());
    ASSERT_EQ(InstrumentCatalogue.size(), 4u);
    EXPECT_EQ(Relative({InstrumentCatalogue[0].LibraryFile, InstrumentCatalogue[2].LibraryFile,
                        InstrumentCatalogue[3].LibraryFile},
                       Plugins()),
              (std::vector<std::string>{"Synths/Pads/c.so", "Synths/b.so", "a.so"}));
    EXPECT_EQ(InstrumentCatalogue[1].PluginName, "nameless.so"); // the file name stands in
    const PlgListRecord& c = InstrumentCatalogue[0];
    EXPECT_EQ(c.PluginName, "Peldor Synth");
    EXPECT_EQ(c.SubFolder, "Synths/Pads");
    EXPECT_EQ(c.IsShell, 0);
    EXPECT_EQ(c.ShellID, -1);
    EXPECT_EQ(c.Inputs, 0);
    EXPECT_EQ(c.Outputs, 2);
    EXPECT_EQ(c.ProgramChunks, 1);
    EXPECT_TRUE(EffectCatalogue.empty());

    const std::vector<TMenuItem>& items = InstrumentMenu.Items;
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0], (TMenuItem{"no instrument", -1, {}}));
    EXPECT_EQ(items[1], (TMenuItem{"-", -1000, {}}));
    EXPECT_EQ(items[2].Caption, "Synths/Pads");
    EXPECT_EQ(items[2].Items,
              (std::vector<TMenuItem>{{"Peldor Synth", 0, {}}, {"nameless.so", 1, {}}}));
    EXPECT_EQ(items[3].Caption, "Synths");
    EXPECT_EQ(items[3].Items, (std::vector<TMenuItem>{{"Peldor Synth", 2, {}}}));
    EXPECT_EQ(items[4], (TMenuItem{"Peldor Synth", 3, {}}));
    EXPECT_EQ(EffectMenu.Items.size(), 2u);

    EXPECT_EQ(statuses.front(), "Scanning: c.so");
    EXPECT_EQ(statuses[statuses.size() - 2], "Initializing popups...");
    EXPECT_EQ(statuses.back(), "");
}

TEST_F(PluginScanTest, EffectsShellsAndTheInstrumentDecision) {
    CopyTestPlugin("PeldorShell", Plugins(), "Bundle.so");
    CopyTestPlugin("MidiEffect", Plugins(), "midi-effect.so");
    CopyTestPlugin("SynthNoMidi", Plugins(), "quiet-synth.so");
    CopyTestPlugin("PeldorGain", Plugins(), "FX/gain.so");
    CopyTestPlugin("Io1x6", Plugins(), "FX/splitter.so");

    ScanPluginFolder(host, Plugins().string(), environment);
    EXPECT_TRUE(InstrumentCatalogue.empty());
    EXPECT_EQ(Names(EffectCatalogue),
              (std::vector<std::string>{"Peldor Gain", "Peldor IO 1x6", "Shell Alpha", "Shell Beta",
                                        "Peldor MidiEffect", "Peldor SynthNoMidi"}));
    EXPECT_EQ(EffectCatalogue[1].Inputs, 1);
    EXPECT_EQ(EffectCatalogue[1].Outputs, 6);
    const PlgListRecord& beta = EffectCatalogue[3];
    EXPECT_EQ(beta.IsShell, 1);
    EXPECT_EQ(beta.ShellID, 2);
    EXPECT_EQ(beta.Inputs, 0); // the shell is never opened
    EXPECT_EQ(beta.Outputs, 0);
    EXPECT_EQ(beta.ProgramChunks, 1);
    EXPECT_EQ(EffectCatalogue[2].ShellID, 1);

    const std::vector<TMenuItem>& items = EffectMenu.Items;
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0].Caption, "no effect");
    EXPECT_EQ(items[2].Caption, "FX");
    EXPECT_EQ(items[2].Items.size(), 2u);
    EXPECT_EQ(items[3].Caption, "[Bundle]");
    EXPECT_EQ(items[3].Items,
              (std::vector<TMenuItem>{{"Shell Alpha", 2, {}}, {"Shell Beta", 3, {}}}));
    EXPECT_EQ(items[4], (TMenuItem{"Peldor MidiEffect", 4, {}}));
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "[Scanning: ]Bundle.so Shell Beta"),
              statuses.end());
    EXPECT_FALSE(WantsMidi); // cleared before the last library, which never asks
}

TEST_F(PluginScanTest, MisbehavingLibrariesAreSkippedAndTheScanGoesOn) {
    for (const char* name : {"NoEntry", "NullEntry", "WrongMagic", "ThrowingDispatcher",
                             "ThrowingEntry", "UnknownOpcode"}) {
        CopyTestPlugin(name, Plugins(), std::string(name) + ".so");
    }
    std::ofstream(Plugins() / "NotALibrary.so") << "plain text";
    CopyTestPlugin("PeldorSynth", Plugins(), "zz-last.so");

    // In process, where the loader's message boxes and the loaded libraries can be seen.
    TScanOptions inProcess;
    inProcess.Method = TScanMethod::InProcess;
    const TScanReport report = ScanPluginFolder(host, Plugins().string(), environment, inProcess);
    EXPECT_EQ(Names(InstrumentCatalogue), (std::vector<std::string>{"Peldor Synth"}));
    EXPECT_EQ(Names(EffectCatalogue), (std::vector<std::string>{"Peldor UnknownOpcode"}));
    ASSERT_EQ(report.Failures.size(), 6u);
    std::vector<std::string> skipped;
    for (const TScanFailure& failure : report.Failures) {
        skipped.push_back(fs::path(failure.LibraryFile).filename().string());
        EXPECT_FALSE(failure.Reason.empty());
    }
    EXPECT_EQ(skipped, (std::vector<std::string>{"NoEntry.so", "NotALibrary.so", "NullEntry.so",
                                                 "ThrowingDispatcher.so", "ThrowingEntry.so",
                                                 "WrongMagic.so"}));
    // Only the library the system could not load raises the "GetLastError" box; the unknown
    // opcodes raise their warnings and are answered 0.
    EXPECT_EQ(presenter.CountTitled("GetLastError"), 1);
    EXPECT_EQ(presenter.CountTitled("Warning"), 2);
    auto* answers = static_cast<vst2::VstIntPtr*>(
        LibrarySymbol((Plugins() / "UnknownOpcode.so").string(), "peldor_test_unknown_answers"));
    ASSERT_NE(answers, nullptr);
    EXPECT_EQ(answers[0], 0);
    EXPECT_EQ(answers[1], 0);
    // Nothing scanned is left behind in the scratch object.
    EXPECT_EQ(host.VstPlugIns().Items(0)->Effect(), nullptr);
    EXPECT_FALSE(host.VstPlugIns().Items(0)->Active());
}

TEST_F(PluginScanTest, TheFolderComesFromTheRegistryOrTheDialog) {
    CopyTestPlugin("PeldorSynth", Plugins(), "synth.so");

    // No registered folder and no dialog: the program goes on without plugins.
    TScanReport report = ScanPlugins(host, environment);
    EXPECT_FALSE(report.Scanned);
    EXPECT_TRUE(InstrumentCatalogue.empty());
    EXPECT_TRUE(InstrumentMenu.Items.empty());
    EXPECT_EQ(statuses.front(), "Scanning plugins...");

    // "Pick" uses the folder for this run only.
    THeadlessPluginPathDialog pick(THeadlessPluginPathDialog::TChoice::Pick, Plugins().string());
    environment.PathDialog = &pick;
    report = ScanPlugins(host, environment);
    EXPECT_TRUE(report.Scanned);
    EXPECT_EQ(InstrumentCatalogue.size(), 1u);
    EXPECT_FALSE(fs::exists(dir / "registry.ini"));
    EXPECT_NE(presenter.boxes.back().text.find("as your temporary plugin folder.\rContinue?"),
              std::string::npos);

    // "Create" registers it; the next start finds it there without asking.
    THeadlessPluginPathDialog create(THeadlessPluginPathDialog::TChoice::Create,
                                     Plugins().string());
    environment.PathDialog = &create;
    ScanPlugins(host, environment);
    EXPECT_EQ(ReadVstPluginsPath(), Plugins().string());
    environment.PathDialog = nullptr;
    report = ScanPlugins(host, environment);
    EXPECT_EQ(report.PluginFolder, Plugins().string());
    EXPECT_EQ(InstrumentCatalogue.size(), 1u);

    // Answering No leaves the dialog open; headless that means going on without plugins.
    WriteRegistryString(dir / "registry.ini", kVstRegistryKey, kVstPluginsPathValue, "");
    presenter.answer = kResultNo;
    environment.PathDialog = &pick;
    EXPECT_FALSE(ScanPlugins(host, environment).Scanned);
}

} // namespace
} // namespace peldor::test
