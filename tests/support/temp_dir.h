#pragma once
// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.

#include <filesystem>
#include <string>

namespace peldor::test {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "peldor-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path; }
    std::filesystem::path operator/(const std::string& name) const { return path / name; }

private:
    std::filesystem::path path;
};

/// Folder of the in-tree test plugins ($PELDOR_TESTPLUGIN_DIR, set by CTest).
std::filesystem::path TestPluginDir();

} // namespace peldor::test
