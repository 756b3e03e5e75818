#pragma once
// Keeping the JACK test servers clear of what earlier runs left behind.
//
// JACK keeps a registry of running servers in /dev/shm ("jack-shm-registry", eight places). A
// server that dies without unregistering (killed while clients are connected, as the
// server-loss tests do on purpose) keeps its place, and once all eight are taken every new
// jackd refuses to start with "Too many servers already active". Two defences:
//  - each test process gets a /dev/shm of its own (as root), which the servers it starts and
//    the programs it runs inherit, and which vanishes with the process;
//  - before a test server starts, places held by processes that no longer exist are freed.

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace peldor::test {

/// Where JACK keeps its server registry.
inline const std::filesystem::path kJackRegistryPath = "/dev/shm/jack-shm-registry";

/// Gives this process (and every process it starts afterwards) an empty /dev/shm of its own:
/// a private mount namespace with a fresh tmpfs there. Needs root; call before any thread is
/// started, since only the calling thread and the threads and processes it creates later see
/// the new mount. False, changing nothing, when that is not possible (then the shared /dev/shm
/// stays in use). $PELDOR_TEST_SHARED_SHM set to anything keeps the shared one.
bool IsolateSharedMemory();

/// True once IsolateSharedMemory succeeded in this process.
bool SharedMemoryIsolated();

/// One registered server: the process that holds the place and JACK's name for it.
struct JackRegistration {
    int Place = 0;
    pid_t Pid = 0;
    std::string Name;
};

/// The servers registered in the registry file; empty when there is none or it is not in the
/// layout this JACK version uses.
std::vector<JackRegistration>
ReadJackRegistrations(const std::filesystem::path& registry = kJackRegistryPath);

/// Frees the places of registered servers whose process no longer exists, under JACK's own
/// registry lock. Leaves a registry in an unknown layout alone. The number of places freed.
int RemoveStaleJackRegistrations(const std::filesystem::path& registry = kJackRegistryPath);

/// Writes a registration into a free place (for tests of the clean-up). False when the
/// registry is missing, in an unknown layout, or full.
bool AddJackRegistration(pid_t pid, const std::string& name,
                         const std::filesystem::path& registry = kJackRegistryPath);

/// Frees the places whose name is name, whatever their process (a test's own clean-up).
int RemoveJackRegistrations(const std::string& name,
                            const std::filesystem::path& registry = kJackRegistryPath);

} // namespace peldor::test
