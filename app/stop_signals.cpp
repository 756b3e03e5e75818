#include "app/stop_signals.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace peldor {
namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int /*signal*/) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals() {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    installed = true;
}

StopSignals::~StopSignals() {
    if (installed) {
        sigaction(SIGINT, &previousInt, nullptr);
        sigaction(SIGTERM, &previousTerm, nullptr);
    }
    for (int& fd : signalPipe) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
}

bool StopSignals::Wait(std::chrono::milliseconds timeout) {
    pollfd watched{signalPipe[0], POLLIN, 0};
    if (poll(&watched, 1, static_cast<int>(timeout.count())) <= 0) {
        return false;
    }
    char byte = 0;
    return read(signalPipe[0], &byte, 1) == 1;
}

int StopSignals::ReadFd() const noexcept {
    return installed ? signalPipe[0] : -1;
}

} // namespace peldor
