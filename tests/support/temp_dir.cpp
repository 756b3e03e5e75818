#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace peldor::test {

TempDir::TempDir(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder from " + pattern);
    }
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::filesystem::path TestPluginDir() {
    const char* dir = std::getenv("PELDOR_TESTPLUGIN_DIR");
    return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::path("testplugins");
}

} // namespace peldor::test
