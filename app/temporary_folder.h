#pragma once
// A folder of the program's own under $TMPDIR (or /tmp), removed with everything in it when
// the object goes.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace peldor {

class TTemporaryFolder {
public:
    TTemporaryFolder() = default;
    ~TTemporaryFolder() {
        if (!path.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    }
    TTemporaryFolder(const TTemporaryFolder&) = delete;
    TTemporaryFolder& operator=(const TTemporaryFolder&) = delete;

    /// Makes the folder, named prefix and six random characters; false when that fails.
    bool Create(const std::string& prefix) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            return false;
        }
        path = pattern;
        return true;
    }
    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

} // namespace peldor
