// The settings file: where it is, reading with defaults, and writing one section without
// losing the others or half-writing the file.

#include "app/cpu_load.h"
#include "app/settings_file.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace peldor::test {
namespace {

std::string Contents(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SettingsFile, TheOptionBeatsTheEnvironmentWhichBeatsTheProgramsFolder) {
    setenv("PELDOR_INI", "/somewhere/else.ini", 1);
    EXPECT_EQ(ResolveSettingsPath("/explicit/peldor.ini"), "/explicit/peldor.ini");
    EXPECT_EQ(ResolveSettingsPath(), "/somewhere/else.ini");
    unsetenv("PELDOR_INI");
    const std::filesystem::path beside = ResolveSettingsPath();
    EXPECT_EQ(beside.filename(), "peldor.ini");
    EXPECT_EQ(beside.parent_path(), std::filesystem::read_symlink("/proc/self/exe").parent_path());
}

TEST(SettingsFile, ReadsWithDefaultsAndWritesOneSectionKeepingTheRest) {
    TempDir dir;
    const std::filesystem::path path = dir / "peldor.ini";
    const TSettingsFile settings(path);
    // No file: every read gives its default.
    EXPECT_EQ(settings.ReadInteger("ASIO", "Driver", -1), -1);
    EXPECT_FALSE(settings.HasSection("ASIO"));

    std::ofstream(path) << "; kept\n[JACK]\nServer=stage\n[asio]\ndriver=2\nOutMainL=x\n"
                           "Big=99999999999\n";
    EXPECT_TRUE(settings.HasSection("ASIO"));
    EXPECT_EQ(settings.ReadInteger("ASIO", "Driver", -1), 2); // names ignore case
    EXPECT_EQ(settings.ReadInteger("ASIO", "OutMainL", -1), -1);
    EXPECT_EQ(settings.ReadInteger("ASIO", "Big", 7), 7); // does not fit 32 bits

    ASSERT_TRUE(settings.Write("MRU", {{"File1", "/shows/a.pdp"}, {"File2", ""}}));
    ASSERT_TRUE(settings.WriteInteger("asio", "DRIVER", 1));
    EXPECT_EQ(settings.ReadString("MRU", "File1", "?"), "/shows/a.pdp");
    EXPECT_EQ(settings.ReadString("MRU", "File2", "?"), "");
    EXPECT_EQ(settings.ReadInteger("ASIO", "Driver", -1), 1);
    EXPECT_EQ(settings.ReadString("JACK", "Server", ""), "stage");
    const std::string text = Contents(path);
    EXPECT_EQ(text.find("driver=2"), std::string::npos);
    EXPECT_NE(text.find("; kept"), std::string::npos);
}

TEST(SettingsFile, AFailedWriteLeavesTheFileAsItWas) {
    TempDir dir;
    const std::filesystem::path path = dir / "peldor.ini";
    std::ofstream(path) << "[General]\nLanguage=1031\n";
    std::string error;
    // A settings path that is a folder cannot be read, so it is not overwritten either.
    EXPECT_FALSE(TSettingsFile(dir.Path()).WriteInteger("General", "Language", 1033, &error));
    EXPECT_FALSE(error.empty());
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_exec);
    const bool written = TSettingsFile(path).WriteInteger("General", "Language", 1033, &error);
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
    EXPECT_FALSE(written);
    EXPECT_EQ(Contents(path), "[General]\nLanguage=1031\n");
}

TEST(CpuLoad, BusyShareOfTheCpuLine) {
    const auto earlier = ParseCpuTimes("cpu  100 0 50 800 50 0 0 0 0 0\ncpu0 1 2 3 4\n");
    const auto later = ParseCpuTimes("cpu  160 0 90 880 70 0 0 0 0 0\n");
    ASSERT_TRUE(earlier && later);
    EXPECT_EQ(earlier->Total, 1000u);
    EXPECT_EQ(earlier->Busy, 150u);
    // 100 busy ticks of 200.
    EXPECT_DOUBLE_EQ(CpuLoadBetween(*earlier, *later), 0.5);
    EXPECT_DOUBLE_EQ(CpuLoadBetween(*later, *earlier), 0.0);
    EXPECT_DOUBLE_EQ(CpuLoadBetween(*earlier, *earlier), 0.0);
    // Old kernels give four counters; anything else is not a cpu line.
    EXPECT_TRUE(ParseCpuTimes("cpu 1 2 3 4"));
    EXPECT_FALSE(ParseCpuTimes("cpu 1 2 3"));
    EXPECT_FALSE(ParseCpuTimes("intr 1 2 3 4"));
    EXPECT_FALSE(ParseCpuTimes("cpu a b c d"));
    TCpuLoad load;
    EXPECT_EQ(load.Read(), 0.0);
    const double second = load.Read();
    EXPECT_GE(second, 0.0);
    EXPECT_LE(second, 1.0);
}

} // namespace
} // namespace peldor::test
