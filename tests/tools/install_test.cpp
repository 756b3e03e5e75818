// `cmake --install` into a temporary prefix: the programs, the probe, the help page, the
// desktop entry and the icon land where a Linux user expects them, and the installed programs
// find the probe and the help page from where they are (not from the build tree).

#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace peldor::test {
namespace {

namespace fs = std::filesystem;

/// Runs a shell command; its exit status and what it wrote to stdout and stderr.
struct Ran {
    int status = -1;
    std::string output;
};
Ran RunShell(const std::string& command) {
    Ran ran;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return ran;
    }
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        ran.output += buffer;
    }
    const int status = ::pclose(pipe);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

std::string Quote(const fs::path& path) {
    return "'" + path.string() + "'";
}

/// The text after "label: " on its line of output, or empty.
std::string Field(const std::string& output, const std::string& label) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(label + ": ", 0) == 0) {
            return line.substr(label.size() + 2);
        }
    }
    return {};
}

bool SameFile(const std::string& a, const fs::path& b) {
    std::error_code ec;
    return !a.empty() && fs::equivalent(a, b, ec);
}

TEST(InstallTest, InstalledProgramsFindTheirProbeAndHelpPage) {
    const char* cmake = std::getenv("PELDOR_CMAKE");
    const char* binary = std::getenv("PELDOR_BINARY_DIR");
    ASSERT_NE(cmake, nullptr);
    ASSERT_NE(binary, nullptr);
    TempDir prefix{"peldor-install"};
    const Ran install = RunShell(Quote(cmake) + " --install " + Quote(binary) + " --prefix " +
                                 Quote(prefix.Path()));
    ASSERT_EQ(install.status, 0) << install.output;

    const fs::path probe = prefix / "lib" / "peldor" / "peldor-plugin-probe";
    const fs::path help = prefix / "share" / "peldor" / "help" / "peldor_en.html";
    for (const fs::path& file :
         {prefix / "bin" / "peldor", prefix / "bin" / "peldor-render",
          prefix / "bin" / "peldor-scan", prefix / "bin" / "peldor.0407.wlx",
          prefix / "bin" / "peldor.0409.wlx", probe, help, help.parent_path() / "peldor_de.html",
          prefix / "share" / "applications" / "peldor.desktop",
          prefix / "share" / "icons" / "hicolor" / "scalable" / "apps" / "peldor.svg"}) {
        EXPECT_TRUE(fs::is_regular_file(file)) << file;
    }
    std::ifstream entryFile(prefix / "share" / "applications" / "peldor.desktop");
    const std::string entry{std::istreambuf_iterator<char>(entryFile), {}};
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
    for (const char* line : {"\nType=Application\n", "\nExec=peldor\n", "\nIcon=peldor\n"}) {
        EXPECT_NE(entry.find(line), std::string::npos) << line;
    }

    // Started from anywhere, without the variables that point the programs elsewhere.
    const std::string clean = "cd / && env -u PELDOR_PLUGIN_PROBE -u PELDOR_HELP_DIR ";
    const Ran usage = RunShell(clean + Quote(prefix / "bin" / "peldor") + " --help");
    ASSERT_EQ(usage.status, 0) << usage.output;
    EXPECT_NE(usage.output.find("Usage: peldor"), std::string::npos);
    EXPECT_TRUE(SameFile(Field(usage.output, "plugin probe"), probe)) << usage.output;
    EXPECT_TRUE(SameFile(Field(usage.output, "help page"), help)) << usage.output;

    // The installed scan reads a library that crashes through the installed probe, so it
    // survives it and names the reason.
    TempDir plugins{"peldor-install-plugins"};
    CopyTestPlugin("PeldorGain", plugins.Path(), "Gain.so");
    CopyTestPlugin("CrashInOpen", plugins.Path(), "Crashes.so");
    const Ran scan = RunShell(clean + "XDG_CACHE_HOME=" + Quote(prefix / "cache") + " " +
                              Quote(prefix / "bin" / "peldor-scan") + " " + Quote(plugins.Path()));
    EXPECT_EQ(scan.status, 0) << scan.output;
    EXPECT_NE(scan.output.find("Peldor Gain"), std::string::npos) << scan.output;
    EXPECT_NE(scan.output.find("crashed"), std::string::npos) << scan.output;
}

} // namespace
} // namespace peldor::test
