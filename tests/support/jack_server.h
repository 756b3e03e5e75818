#pragma once
// A private JACK server for integration tests: `jackd --no-realtime -n <unique name> -d dummy`,
// started on demand and stopped on destruction. No sound card is needed. Registrations that
// servers of earlier runs left behind are cleared before a start (see jack_registry.h).

#include <string>
#include <sys/types.h>

namespace peldor::test {

class JackServer {
public:
    /// A server with a name unique to this process and instance.
    explicit JackServer(int sampleRate = 48000, int periodFrames = 256);
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    /// Starts jackd and waits (up to 10 s) until it takes connections; a client opened then is
    /// served. Opens no JACK client itself. On failure returns false with a reason in *error.
    /// Starting a running server does nothing.
    bool Start(std::string* error = nullptr);
    /// Stops the server (SIGTERM, then SIGKILL after 5 s) and waits for it. Idempotent.
    void Stop();
    bool Running() const { return pid > 0; }
    /// Sends signal to the server without waiting; Stop still reaps it. False when it is not
    /// running.
    bool Signal(int signal);

    /// The server name to pass to jack_client_open (JackServerName) or to our JACK driver.
    const std::string& Name() const { return name; }
    int SampleRate() const { return sampleRate; }
    int PeriodFrames() const { return periodFrames; }

private:
    std::string name;
    int sampleRate;
    int periodFrames;
    pid_t pid = -1;
};

} // namespace peldor::test
