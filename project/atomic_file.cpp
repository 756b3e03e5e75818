#include "project/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace peldor {

namespace {

std::string SystemReason(int error) {
    return std::strerror(error);
}

// Closes a descriptor once; keeps the first error.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }
    /// Closes now; false with errno set when the close reported an error.
    bool Close() {
        const int descriptor = fd;
        fd = -1;
        return ::close(descriptor) == 0;
    }

private:
    int fd;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Opens a fresh file beside target with a name no one else uses.
int CreateSibling(const std::filesystem::path& target, std::filesystem::path& sibling) {
    static std::atomic<unsigned> counter{0};
    constexpr mode_t kNewFileMode = 0666; // reduced by the umask
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        sibling = target;
        sibling.replace_filename("." + target.filename().string() + ".saving-" +
                                 std::to_string(::getpid()) + "-" +
                                 std::to_string(counter.fetch_add(1)));
        const int fd =
            ::open(sibling.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

} // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         std::string& error) {
    std::error_code code;
    std::filesystem::path target = path;
    if (std::filesystem::is_symlink(path, code)) {
        target = std::filesystem::weakly_canonical(path, code);
        if (code) {
            error = code.message();
            return false;
        }
    }
    if (target.filename().empty()) {
        error = SystemReason(EISDIR);
        return false;
    }

    std::filesystem::path sibling;
    FileDescriptor file(CreateSibling(target, sibling));
    if (file.Get() < 0) {
        error = SystemReason(errno);
        return false;
    }
    auto fail = [&](int reason) {
        error = SystemReason(reason);
        ::unlink(sibling.c_str());
        return false;
    };

    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        constexpr mode_t kPermissionBits = 07777;
        ::fchmod(file.Get(), existing.st_mode & kPermissionBits);
    }
    if (!WriteAll(file.Get(), bytes.data(), bytes.size()) || ::fsync(file.Get()) != 0) {
        return fail(errno);
    }
    if (!file.Close()) {
        return fail(errno);
    }
    if (::rename(sibling.c_str(), target.c_str()) != 0) {
        return fail(errno);
    }
    // The rename itself reaches the disk with the folder.
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() >= 0) {
        ::fsync(directory.Get());
    }
    return true;
}

bool ReadWholeFile(const std::filesystem::path& path, TByteBuffer& bytes, std::string& error) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        error = SystemReason(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
        error = SystemReason(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = SystemReason(EISDIR);
        return false;
    }
    // Read into a buffer of the size the file has, then keep reading in case it grew.
    bytes.assign(
        S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0, 0);
    std::size_t filled = 0;
    constexpr std::size_t kProbeSize = 1 << 16;
    TByteBuffer probe;
    for (;;) {
        // Once the expected size is in, read on into a separate buffer: growing a full vector
        // would double its memory for a file that usually has nothing more to give.
        const bool full = filled == bytes.size();
        if (full && probe.empty()) {
            probe.resize(kProbeSize);
        }
        std::uint8_t* into = full ? probe.data() : bytes.data() + filled;
        const std::size_t room = full ? probe.size() : bytes.size() - filled;
        const ssize_t got = ::read(file.Get(), into, room);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = SystemReason(errno);
            return false;
        }
        if (got == 0) {
            bytes.resize(filled); // the file may have shrunk meanwhile
            return true;
        }
        if (full) {
            bytes.insert(bytes.end(), probe.begin(), probe.begin() + got);
        }
        filled += static_cast<std::size_t>(got);
    }
}

} // namespace peldor
