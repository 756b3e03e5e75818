// The peldor-scan tool, run as a user would.

#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace peldor::test {
namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ToolRun RunScan(const std::string& arguments) {
    TempDir dir;
    const std::string errFile = (dir / "stderr").string();
    const std::string command =
        std::string("'") + PELDOR_SCAN_BINARY + "' " + arguments + " 2>'" + errFile + "'";
    ToolRun run;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            run.out.append(buffer, got);
        }
        const int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream err(errFile);
    std::stringstream text;
    text << err.rdbuf();
    run.err = text.str();
    return run;
}

TEST(PeldorScanToolTest, ListsEntriesAndSkippedLibraries) {
    TempDir dir;
    CopyTestPlugin("PeldorSynth", dir.Path(), "Keys/synth.so");
    CopyTestPlugin("PeldorShell", dir.Path(), "Bundle.so");
    CopyTestPlugin("WrongMagic", dir.Path(), "broken.so");

    const ToolRun text = RunScan("'" + dir.Path().string() + "'");
    EXPECT_EQ(text.exitCode, 0);
    std::istringstream lines(text.out);
    std::string first;
    std::getline(lines, first);
    EXPECT_EQ(first, "instrument 0 PluginName=\"Peldor Synth\" LibraryFile=\"" +
                         (dir / "Keys/synth.so").string() +
                         "\" SubFolder=\"Keys\" IsShell=0 ShellID=-1 Inputs=0 Outputs=2 "
                         "ProgramChunks=1");
    EXPECT_NE(text.out.find("effect 1 PluginName=\"Shell Beta\""), std::string::npos);
    EXPECT_NE(text.err.find("broken.so: There is no magic in it... failed!"), std::string::npos);

    const ToolRun json = RunScan("--json '" + dir.Path().string() + "'");
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(json.out.front(), '[');
    EXPECT_NE(json.out.find("{\"catalogue\": \"effect\", \"index\": 0, \"PluginName\": "
                            "\"Shell Alpha\""),
              std::string::npos);
}

TEST(PeldorScanToolTest, BadArgumentsExitWithUsage) {
    EXPECT_EQ(RunScan("").exitCode, 2);
    EXPECT_EQ(RunScan("--bogus /tmp").exitCode, 2);
    const ToolRun missing = RunScan("/no/such/folder");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("is not a folder"), std::string::npos);
}

TEST(PeldorScanToolTest, FindsTheDebianPlugins) {
    if (!std::filesystem::is_directory("/usr/lib/vst")) {
        GTEST_SKIP() << "/usr/lib/vst is missing (Debian package dpf-plugins-vst)";
    }
    const ToolRun run = RunScan("/usr/lib/vst");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("instrument 0 PluginName=\"Kars\""), std::string::npos);
    EXPECT_NE(run.out.find("instrument 1 PluginName=\"Nekobi\""), std::string::npos);
    EXPECT_NE(run.out.find(" PluginName=\"MVerb\""), std::string::npos);
    // Other packages put more plugins there (ZynAddSubFX, which the switch tests use, is an
    // instrument); the effects of dpf-plugins-vst never count as instruments.
    const std::size_t mverb = run.out.find(" PluginName=\"MVerb\"");
    ASSERT_NE(mverb, std::string::npos);
    EXPECT_EQ(run.out.rfind("effect ", mverb), run.out.rfind('\n', mverb) + 1);
    if (std::filesystem::exists("/usr/lib/vst/ZynAddSubFX.so")) {
        EXPECT_NE(run.out.find(" PluginName=\"ZynAddSubFX\" LibraryFile="), std::string::npos);
    }
}

} // namespace
} // namespace peldor::test
