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

/// Runs peldor-scan with arguments; environment is put before the command ("NAME='value' ").
ToolRun RunScan(const std::string& arguments, const std::string& environment = {}) {
    TempDir dir;
    const std::string errFile = (dir / "stderr").string();
    const std::string command =
        environment + "'" + PELDOR_SCAN_BINARY + "' " + arguments + " 2>'" + errFile + "'";
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

TEST(PeldorScanToolTest, TwoScansAtOnceLeaveACacheThatTheNextStartTrusts) {
    TempDir dir;
    CopyTestPlugin("PeldorSynth", dir / "vst", "synth.so");
    CopyTestPlugin("PeldorShell", dir / "vst", "Bundle.so");
    CopyTestPlugin("CrashInOpen", dir / "vst", "crash.so");
    CopyTestPlugin("ExitInOpen", dir / "vst", "exit.so");
    const std::string arguments = "'" + (dir / "vst").string() + "'";
    const std::string cache = "XDG_CACHE_HOME='" + (dir / "cache").string() + "' ";

    // Both start before either has written the cache.
    std::vector<std::FILE*> scans;
    for (int run = 0; run < 2; ++run) {
        const std::string command = cache + "'" + PELDOR_SCAN_BINARY + "' " + arguments + " 2>'" +
                                    (dir / ("err" + std::to_string(run))).string() + "'";
        scans.push_back(popen(command.c_str(), "r"));
        ASSERT_NE(scans.back(), nullptr);
    }
    std::vector<std::string> outputs(2);
    for (std::size_t run = 0; run < scans.size(); ++run) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, scans[run])) > 0) {
            outputs[run].append(buffer, got);
        }
        const int status = pclose(scans[run]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_NE(outputs[0].find("effect 1 PluginName=\"Shell Beta\""), std::string::npos);

    const ToolRun warm = RunScan(arguments, cache);
    EXPECT_EQ(warm.out, outputs[0]);
    EXPECT_NE(warm.err.find("0 probed, 4 from the cache"), std::string::npos) << warm.err;
    EXPECT_NE(warm.err.find("crash.so: crashed: segmentation fault while opening"),
              std::string::npos)
        << warm.err;
    EXPECT_NE(warm.err.find("exit.so: exited with code 3"), std::string::npos) << warm.err;
    const ToolRun fresh = RunScan("--rescan " + arguments, cache);
    EXPECT_NE(fresh.err.find("4 probed, 0 from the cache"), std::string::npos) << fresh.err;
    EXPECT_EQ(fresh.out, outputs[0]);
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
    // Other packages may put more plugins beside dpf-plugins-vst's, before or after them.
    const ToolRun run = RunScan("/usr/lib/vst");
    EXPECT_EQ(run.exitCode, 0);
    const std::size_t kars = run.out.find(" PluginName=\"Kars\"");
    const std::size_t nekobi = run.out.find(" PluginName=\"Nekobi\"");
    ASSERT_NE(kars, std::string::npos) << run.out;
    ASSERT_NE(nekobi, std::string::npos) << run.out;
    EXPECT_LT(kars, nekobi);
    const auto catalogueOf = [&](std::size_t at) {
        const std::size_t lineStart = run.out.rfind('\n', at);
        return run.out.substr(lineStart == std::string::npos ? 0 : lineStart + 1, 6);
    };
    EXPECT_EQ(catalogueOf(kars), "instru");
    EXPECT_EQ(catalogueOf(nekobi), "instru");
    const std::size_t mverb = run.out.find(" PluginName=\"MVerb\"");
    ASSERT_NE(mverb, std::string::npos);
    EXPECT_EQ(catalogueOf(mverb), "effect");
}

} // namespace
} // namespace peldor::test
