#include "tests/support/jack_server.h"

#include <jack/jack.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace peldor::test {
namespace {

std::atomic<int> serverCounter{0};

bool ServerAnswers(const std::string& serverName) {
    jack_status_t status{};
    jack_client_t* client = jack_client_open(
        "peldor-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
        serverName.c_str());
    if (client == nullptr) {
        return false;
    }
    jack_client_close(client);
    return true;
}

bool Exited(pid_t pid, int* statusOut) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
        if (statusOut != nullptr) {
            *statusOut = status;
        }
        return true;
    }
    return r < 0 && errno == ECHILD;
}

} // namespace

JackServer::JackServer(int rate, int period) : sampleRate(rate), periodFrames(period) {
    name = "peldor-test-" + std::to_string(getpid()) + "-" + std::to_string(serverCounter++);
}

JackServer::~JackServer() {
    Stop();
}

bool JackServer::Start(std::string* error) {
    if (pid > 0) {
        return true;
    }
    // jackd must not try to reserve a sound card over D-Bus, and clients must never start a
    // default server of their own behind the test's back.
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    setenv("JACK_NO_START_SERVER", "1", 1);

    const std::string rate = std::to_string(sampleRate);
    const std::string period = std::to_string(periodFrames);
    std::vector<std::string> args = {
        "jackd", "--no-realtime", "-n", name, "-d", "dummy", "-r", rate, "-p", period};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // jackd chatters on stdout; keep the test output readable.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawnp(&pid, "jackd", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid = -1;
        if (error != nullptr) {
            *error = "cannot start jackd (is Debian's jackd2 installed?)";
        }
        return false;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (Exited(pid, &status)) {
            pid = -1;
            if (error != nullptr) {
                *error = "jackd exited at start-up with status " + std::to_string(status);
            }
            return false;
        }
        if (ServerAnswers(name)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    if (error != nullptr) {
        *error = "jackd did not accept clients within 10 s";
    }
    return false;
}

void JackServer::Stop() {
    if (pid <= 0) {
        return;
    }
    kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Exited(pid, nullptr)) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid = -1;
}

} // namespace peldor::test
