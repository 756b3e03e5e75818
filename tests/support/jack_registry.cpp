#include "tests/support/jack_registry.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <unistd.h>

namespace peldor::test {
namespace {

std::atomic<bool> isolated{false};

// The registry's layout in JACK 2 (shm.h): a header of magic, protocol, type, size, header
// length and entry length, then the server places, each a pid and a 257-byte name padded to
// four bytes. The header's own fields are checked before anything is read or written.
constexpr std::uint32_t kRegistryMagic = 0x4A41434B; // "KCAJ"
constexpr off_t kServersOffset = 24;
constexpr std::size_t kServerNameBytes = 257;
constexpr std::size_t kServerPlaceBytes = 264;
constexpr int kMostPlaces = 64;
/// JACK's registry lock: a System V semaphore with this key (shm.c).
constexpr key_t kRegistryLockKey = 0x282929;
constexpr std::time_t kLockWaitSeconds = 2;

struct Layout {
    int Places = 0;
};

bool ReadLayout(int fd, Layout& layout) {
    std::uint32_t header[6] = {};
    if (pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return false;
    }
    const std::uint32_t size = header[3];
    const std::uint32_t headerBytes = header[4];
    if (header[0] != kRegistryMagic || static_cast<off_t>(size) != info.st_size ||
        headerBytes < kServersOffset || headerBytes > size) {
        return false;
    }
    const std::size_t placeBytes = headerBytes - kServersOffset;
    if (placeBytes % kServerPlaceBytes != 0) {
        return false;
    }
    layout.Places = static_cast<int>(placeBytes / kServerPlaceBytes);
    return layout.Places > 0 && layout.Places <= kMostPlaces;
}

off_t PlaceOffset(int place) {
    return kServersOffset + static_cast<off_t>(place) * static_cast<off_t>(kServerPlaceBytes);
}

bool ReadPlace(int fd, int place, JackRegistration& entry) {
    unsigned char bytes[kServerPlaceBytes] = {};
    if (pread(fd, bytes, sizeof bytes, PlaceOffset(place)) != static_cast<ssize_t>(sizeof bytes)) {
        return false;
    }
    std::int32_t pid = 0;
    std::memcpy(&pid, bytes, sizeof pid);
    entry.Place = place;
    entry.Pid = pid;
    const char* name = reinterpret_cast<const char*>(bytes + sizeof pid);
    entry.Name.assign(name, strnlen(name, kServerNameBytes));
    return true;
}

bool ClearPlace(int fd, int place) {
    const unsigned char zero[kServerPlaceBytes] = {};
    return pwrite(fd, zero, sizeof zero, PlaceOffset(place)) == static_cast<ssize_t>(sizeof zero);
}

/// JACK's registry lock, held for the lifetime of the object when it exists; a registry
/// without its semaphore has no server starting at the moment.
class RegistryLock {
public:
    RegistryLock() {
        id = semget(kRegistryLockKey, 0, 0);
        if (id < 0) {
            held = true; // nobody to exclude
            return;
        }
        sembuf take{0, -1, SEM_UNDO};
        const timespec wait{kLockWaitSeconds, 0};
        held = semtimedop(id, &take, 1, &wait) == 0;
        owns = held;
    }
    ~RegistryLock() {
        if (owns) {
            sembuf give{0, 1, SEM_UNDO};
            semop(id, &give, 1);
        }
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
    bool Held() const { return held; }

private:
    int id = -1;
    bool held = false;
    bool owns = false;
};

bool ProcessExists(pid_t pid) {
    return kill(pid, 0) == 0 || errno != ESRCH;
}

/// Runs change(fd, layout) on the opened registry under its lock; -1 when that is not
/// possible.
template <typename Change> int WithRegistry(const std::filesystem::path& registry, Change change) {
    const int fd = open(registry.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    int result = -1;
    Layout layout;
    if (ReadLayout(fd, layout)) {
        RegistryLock lock;
        if (lock.Held()) {
            result = change(fd, layout);
        }
    }
    close(fd);
    return result;
}

} // namespace

bool IsolateSharedMemory() {
    if (isolated.load()) {
        return true;
    }
    if (geteuid() != 0 || std::getenv("PELDOR_TEST_SHARED_SHM") != nullptr) {
        return false;
    }
    if (unshare(CLONE_NEWNS) != 0) {
        return false;
    }
    // Our mounts must not reach the rest of the machine, nor theirs us.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("peldor-test-shm", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0) {
        // The namespace is ours alone and the shared /dev/shm is still what it sees.
        return false;
    }
    isolated.store(true);
    return true;
}

bool SharedMemoryIsolated() {
    return isolated.load();
}

std::vector<JackRegistration> ReadJackRegistrations(const std::filesystem::path& registry) {
    std::vector<JackRegistration> entries;
    const int fd = open(registry.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return entries;
    }
    Layout layout;
    if (ReadLayout(fd, layout)) {
        for (int place = 0; place < layout.Places; ++place) {
            JackRegistration entry;
            if (ReadPlace(fd, place, entry) && entry.Pid != 0) {
                entries.push_back(entry);
            }
        }
    }
    close(fd);
    return entries;
}

int RemoveStaleJackRegistrations(const std::filesystem::path& registry) {
    const int removed = WithRegistry(registry, [](int fd, const Layout& layout) {
        int count = 0;
        for (int place = 0; place < layout.Places; ++place) {
            JackRegistration entry;
            if (ReadPlace(fd, place, entry) && entry.Pid > 0 && !ProcessExists(entry.Pid) &&
                ClearPlace(fd, place)) {
                ++count;
            }
        }
        return count;
    });
    return removed < 0 ? 0 : removed;
}

bool AddJackRegistration(pid_t pid, const std::string& name,
                         const std::filesystem::path& registry) {
    return WithRegistry(registry, [pid, &name](int fd, const Layout& layout) {
               for (int place = 0; place < layout.Places; ++place) {
                   JackRegistration entry;
                   if (!ReadPlace(fd, place, entry) || entry.Pid != 0) {
                       continue;
                   }
                   unsigned char bytes[kServerPlaceBytes] = {};
                   const std::int32_t value = pid;
                   std::memcpy(bytes, &value, sizeof value);
                   std::memcpy(bytes + sizeof value, name.data(),
                               std::min(name.size(), kServerNameBytes - 1));
                   return pwrite(fd, bytes, sizeof bytes, PlaceOffset(place)) ==
                                  static_cast<ssize_t>(sizeof bytes)
                              ? 1
                              : 0;
               }
               return 0;
           }) == 1;
}

int RemoveJackRegistrations(const std::string& name, const std::filesystem::path& registry) {
    const int removed = WithRegistry(registry, [&name](int fd, const Layout& layout) {
        int count = 0;
        for (int place = 0; place < layout.Places; ++place) {
            JackRegistration entry;
            if (ReadPlace(fd, place, entry) && entry.Pid != 0 && entry.Name == name &&
                ClearPlace(fd, place)) {
                ++count;
            }
        }
        return count;
    });
    return removed < 0 ? 0 : removed;
}

} // namespace peldor::test
