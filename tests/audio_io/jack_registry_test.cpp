// JACK test servers start whatever earlier runs left in JACK's server registry: places held by
// servers that died without unregistering are freed, places of live processes are kept. A
// start is done when clients are served, also where a killed server left its socket behind.

#include "tests/support/jack_registry.h"
#include "tests/support/jack_server.h"

#include <jack/jack.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace peldor::test {
namespace {

/// The pid of a process that has ended and been reaped.
pid_t DeadPid() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

bool Registered(const std::string& name) {
    const std::vector<JackRegistration> entries = ReadJackRegistrations();
    return std::any_of(entries.begin(), entries.end(),
                       [&](const JackRegistration& entry) { return entry.Name == name; });
}

TEST(JackRegistry, AServerStartsWhenDeadServersHoldEveryPlace) {
    std::string error;
    {
        JackServer first;
        ASSERT_TRUE(first.Start(&error)) << error; // the registry exists from here on
    }
    const std::string live = "/jack-peldor-test-live:";
    const std::string dead = "/jack-peldor-test-dead:";
    ASSERT_TRUE(AddJackRegistration(getpid(), live));
    const pid_t gone = DeadPid();
    int added = 0;
    while (AddJackRegistration(gone, dead)) {
        ++added;
    }
    ASSERT_GT(added, 0);

    JackServer second;
    const bool started = second.Start(&error);
    const bool liveKept = Registered(live);
    const bool deadLeft = Registered(dead);
    // Leave the registry as it was, whatever happened.
    RemoveJackRegistrations(live);
    RemoveJackRegistrations(dead);

    EXPECT_TRUE(started) << error;
    EXPECT_TRUE(liveKept) << "a running process's place was taken away";
    EXPECT_FALSE(deadLeft);
}

TEST(JackRegistry, AStartedServerServesAClientAtOnceAlsoAfterAKilledOneOfTheSameName) {
    JackServer server;
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        jack_status_t status{};
        jack_client_t* client = jack_client_open(
            "first", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
            server.Name().c_str());
        EXPECT_NE(client, nullptr) << "status " << status;
        if (client != nullptr) {
            jack_client_close(client);
        }
        // The middle round's server is killed: its socket file stays for the next start.
        if (round == 1) {
            ASSERT_TRUE(server.Signal(SIGKILL));
        }
        server.Stop();
    }
}

TEST(JackRegistry, ARegistryInAnUnknownLayoutIsLeftAlone) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("peldor-registry-" + std::to_string(getpid()));
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        const char junk[64] = "not a registry";
        std::fwrite(junk, 1, sizeof junk, file);
        std::fclose(file);
    }
    EXPECT_TRUE(ReadJackRegistrations(path).empty());
    EXPECT_EQ(RemoveStaleJackRegistrations(path), 0);
    EXPECT_FALSE(AddJackRegistration(DeadPid(), "x", path));
    EXPECT_EQ(std::filesystem::file_size(path), 64u);
    std::filesystem::remove(path);
}

} // namespace
} // namespace peldor::test
