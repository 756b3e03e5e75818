#include "tests/support/jack_server.h"

#include "tests/support/jack_registry.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace peldor::test {
namespace {

std::atomic<int> serverCounter{0};
const std::string kClientTimeoutMs = "5000";
constexpr int kExecFailed = 127;

/// Full path of a program found on $PATH, or empty.
std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

/// Whether the server's request socket takes connections: the check libjack itself makes before
/// it opens a client. Readiness is never probed by opening a client. A client that closes while
/// a program is opening its own makes libjack in that program keep the closed client's wake-up
/// semaphore under its graph place; the next client to take that place (a recorder the test
/// connects to the program's outputs) is then never woken by the program, and hears nothing.
/// The runner reconnecting after a server restart met the old probe client closing exactly so.
bool ServerAccepts(const std::string& serverName) {
    // jackd listens on /dev/shm/jack_<server>_<uid>_0 (jack2's server directory and naming).
    const std::string path = "/dev/shm/jack_" + serverName + "_" + std::to_string(getuid()) + "_0";
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int socketFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socketFd < 0) {
        return false;
    }
    // A socket file left by a killed server refuses the connection.
    const bool accepted =
        connect(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(socketFd);
    return accepted;
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
    // Servers that died without unregistering would otherwise fill JACK's eight places.
    RemoveStaleJackRegistrations();

    const std::string rate = std::to_string(sampleRate);
    const std::string period = std::to_string(periodFrames);
    // A generous client timeout: on a loaded test machine the default 500 ms makes the server
    // drop clients that are merely slow.
    std::vector<std::string> args = {
        "jackd", "--no-realtime", "-t", kClientTimeoutMs, "-n", name, "-d", "dummy", "-r", rate,
        "-p",    period};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    const std::string program = FindProgram("jackd");
    if (program.empty()) {
        if (error != nullptr) {
            *error = "cannot find jackd (is Debian's jackd2 installed?)";
        }
        return false;
    }
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    pid = fork();
    if (pid == 0) {
        // The server must not outlive a test that dies or is killed by its time limit.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1) {
            _exit(kExecFailed);
        }
        if (devNull >= 0) {
            dup2(devNull, STDOUT_FILENO); // jackd chatters on stdout
        }
        execve(program.c_str(), argv.data(), environ);
        _exit(kExecFailed);
    }
    if (devNull >= 0) {
        close(devNull);
    }
    if (pid < 0) {
        pid = -1;
        if (error != nullptr) {
            *error = "cannot start jackd";
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
        if (ServerAccepts(name)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    if (error != nullptr) {
        *error = "jackd did not accept connections within 10 s";
    }
    return false;
}

bool JackServer::Signal(int signal) {
    return pid > 0 && kill(pid, signal) == 0;
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
