// The registry file: where it is, names without regard to case, and writes that keep the rest.

#include "plugins/registry_file.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace peldor::test {
namespace {

/// Sets or clears an environment variable for its lifetime.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* theName, const char* value) : name(theName) {
        if (const char* old = std::getenv(name)) {
            saved = old;
        }
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnvironment() { saved ? setenv(name, saved->c_str(), 1) : unsetenv(name); }

private:
    const char* name;
    std::optional<std::string> saved;
};

TEST(RegistryFileTest, PathPrecedence) {
    ScopedEnvironment registry("PELDOR_REGISTRY", "/etc/peldor/registry.ini");
    ScopedEnvironment config("XDG_CONFIG_HOME", "/home/player/.cfg");
    ScopedEnvironment home("HOME", "/home/player");
    EXPECT_EQ(ResolveRegistryPath("/tmp/given.ini"), "/tmp/given.ini");
    EXPECT_EQ(ResolveRegistryPath(), "/etc/peldor/registry.ini");
    {
        ScopedEnvironment noRegistry("PELDOR_REGISTRY", nullptr);
        EXPECT_EQ(ResolveRegistryPath(), "/home/player/.cfg/peldor/registry.ini");
        ScopedEnvironment noConfig("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(ResolveRegistryPath(), "/home/player/.config/peldor/registry.ini");
    }
}

TEST(RegistryFileTest, ReadsIgnoreCaseAndWritesKeepOtherValues) {
    TempDir dir;
    const std::filesystem::path file = dir / "nested" / "registry.ini";
    EXPECT_FALSE(ReadRegistryString(file, kVstRegistryKey, kVstPluginsPathValue));

    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "[software\\vst]\nvstpluginspath = /opt/vst\n\n[Other]\nKeep = me\n";
    EXPECT_EQ(ReadRegistryString(file, "SOFTWARE\\Vst", "VstPluginsPath"), "/opt/vst");

    ASSERT_TRUE(WriteRegistryString(file, kVstRegistryKey, kVstPluginsPathValue, "/srv/plugins"));
    EXPECT_EQ(ReadRegistryString(file, kVstRegistryKey, kVstPluginsPathValue), "/srv/plugins");
    EXPECT_EQ(ReadRegistryString(file, "other", "keep"), "me");
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));

    // A fresh file in a folder that does not exist yet.
    const std::filesystem::path fresh = dir / "a" / "b" / "registry.ini";
    ASSERT_TRUE(WriteRegistryString(fresh, kVstRegistryKey, kVstPluginsPathValue, "/x"));
    EXPECT_EQ(ReadRegistryString(fresh, kVstRegistryKey, kVstPluginsPathValue), "/x");

    // The host takes its plugin directory from the same value; an empty value counts as none.
    SetRegistryFile(file);
    EXPECT_EQ(TVstHost().PlugInDir, "/srv/plugins");
    WriteRegistryString(file, kVstRegistryKey, kVstPluginsPathValue, "");
    EXPECT_EQ(ReadVstPluginsPath(), "");
    EXPECT_NE(TVstHost().PlugInDir, ""); // the program's own folder
    SetRegistryFile(ResolveRegistryPath());
}

TEST(RegistryFileTest, UnwritableFileIsReported) {
    TempDir dir;
    std::ofstream(dir / "blocker") << "a file where a folder should be";
    std::string error;
    EXPECT_FALSE(WriteRegistryString(dir / "blocker" / "registry.ini", kVstRegistryKey,
                                     kVstPluginsPathValue, "/x", &error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace peldor::test
