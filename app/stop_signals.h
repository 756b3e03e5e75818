#pragma once
// SIGINT and SIGTERM end the program in its normal shut-down order: the handler only writes a
// byte to a pipe, and the window thread's loop reads it.

#include <chrono>
#include <csignal>

namespace peldor {

/// Installs the handlers for its lifetime; one at a time.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /// Waits up to timeout for a stop signal; true when one came.
    bool Wait(std::chrono::milliseconds timeout);
    /// The pipe's read end (readable after a signal), for an event loop to watch; -1 when the
    /// handlers could not be installed.
    int ReadFd() const noexcept;

private:
    struct sigaction previousInt {};
    struct sigaction previousTerm {};
    bool installed = false;
};

} // namespace peldor
