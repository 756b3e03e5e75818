#pragma once
// The "JACK" driver: a JACK client (also served by PipeWire's JACK library). The server decides
// rate and block size; the sample type is Float32LSB. The process callback copies the input
// ports into the current half, has the host switch buffers and copies the half's outputs to the
// output ports. A block-size change, a rate change or the loss of the server raises a reset
// request through the driver notifier, never from inside a JACK callback.
//
// While the driver has buffers, a watch thread of its own looks after the server: it hands a
// loss that libjack reported on to the host only once libjack's reporting thread has ended (a
// re-open makes libjack cancel the threads of every client it has given up, and a thread
// cancelled while it holds one of libjack's locks blocks every later client open for good),
// and it asks a server that has stopped running cycles whether it is still there, so that a
// server that went away without libjack noticing is reported too.

#include "audio_io/builtin_driver.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

struct _jack_client;
struct _jack_port;

namespace peldor {

struct TJackClientLink;

/// Settings of the "JACK" section.
struct TJackSettings {
    std::string ServerName;            // "Server"; empty: $JACK_DEFAULT_SERVER, else the default
    std::string ClientName = "Peldor"; // "Client name"
    std::int32_t Inputs = 4;           // "Inputs", 0 .. 64
    std::int32_t Outputs = 8;          // "Outputs", 0 .. 64
    bool AutoConnect = true;           // "Auto connect": outputs 1 and 2 to the system playback

    static TJackSettings Read(const std::filesystem::path& iniPath);
    void Clamp() noexcept;
};

inline constexpr std::int32_t kJackMaxChannels = 64;
/// Outputs connected to the playback ports by "Auto connect".
inline constexpr std::int32_t kJackAutoConnectOutputs = 2;

class TJackDriver final : public TBuiltinDriver {
public:
    explicit TJackDriver(std::filesystem::path iniPath);
    explicit TJackDriver(const TJackSettings& settings);
    ~TJackDriver() override;

    /// Opens the client (never starting a server) and registers the ports; false, with the
    /// reason in getErrorMessage, when no server answers.
    ASIOBool init(void* sysHandle) override;
    ASIOError start() override;
    /// Waits (at most a few seconds, in case the server died) for a cycle in progress to end.
    ASIOError stop() override;
    ASIOError getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) override;
    ASIOError getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                            std::int32_t* preferredSize, std::int32_t* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    /// Creates the halves (the size must be the server's block size) and activates the client.
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                            std::int32_t bufferSize, ASIOCallbacks* callbacks) override;
    /// Deactivates the client and frees the halves.
    ASIOError disposeBuffers() override;

    /// True once the server has gone away. Any thread.
    bool ServerLost() const noexcept { return serverLost.load(); }

    /// Called once per lost client, on libjack's thread or on the driver's watch thread, when
    /// a driver's server goes away, before the driver asks to be re-opened (whose new client
    /// makes libjack free every other client of the process). Must not block, allocate or
    /// reach a cancellation point.
    using TServerLostListener = void (*)() noexcept;
    /// Process-wide; null for none. Any thread.
    static void SetServerLostListener(TServerLostListener listener) noexcept;
    /// The real-time priority of the client's process thread, or 0 when the server does not
    /// run one (or the client is not active). Any thread.
    int RealtimePriority() const noexcept { return realtimePriority.load(); }
    /// The client's name as the server knows it (valid after init).
    std::string ClientName() const;

    /// What a question to the server found out (see SetServerProbe).
    enum class TServerAnswer { Answers, Gone };
    /// Asks the server behind client whether it is still there; called on a thread of its own
    /// with SIGPIPE blocked, and given up on (neither answer) after a few seconds.
    using TServerProbe = TServerAnswer (*)(_jack_client* client) noexcept;
    /// Replaces the question the watch thread asks a server that stopped running cycles (tests
    /// make a server look gone with it); null restores the real one. Any thread.
    static void SetServerProbe(TServerProbe probe) noexcept;

protected:
    std::int32_t MinBufferSize() const noexcept override;
    std::int32_t MaxBufferSize() const noexcept override;
    const char* ClockName() const noexcept override { return "JACK server"; }

private:
    friend struct TJackCallbacks;
    int Process(std::uint32_t nframes) noexcept;
    void RequestReset() noexcept;
    void CloseClient() noexcept;
    void ConnectOutputs() noexcept;
    /// libjack reported the loss on the thread reporter (any of libjack's threads).
    void LossReported(pid_t reporter) noexcept;
    /// The watch thread (see the top of this file); started with the buffers, stopped before
    /// they go or the client closes. Window or notifier thread.
    void StartWatch() noexcept;
    void StopWatch() noexcept;
    void Watch() noexcept;
    /// Watch thread: asks a server that ran no cycle for a while whether it is still there.
    void ProbeServer() noexcept;

    std::filesystem::path iniPath;
    bool fromFile = false;
    TJackSettings settings;
    _jack_client* client = nullptr;
    /// What libjack's threads hold instead of the driver (see CloseClient).
    TJackClientLink* link = nullptr;
    std::vector<_jack_port*> inPorts, outPorts;
    std::uint32_t serverRate = 0;
    bool activated = false;
    std::atomic<bool> published{false};
    std::atomic<bool> running{false};
    std::atomic<bool> inProcess{false};
    std::atomic<bool> serverLost{false};
    std::atomic<bool> resetRequested{false};
    std::atomic<std::uint32_t> serverBufferSize{0};
    std::atomic<int> realtimePriority{0};
    int half = 0; // process thread only

    // The watch thread and what it reads.
    std::thread watchThread;
    std::mutex watchLock;
    std::condition_variable watchWake;
    bool watchStopping = false; // under watchLock
    std::atomic<bool> watching{false};
    /// Cycles the server has run with this client (any count; only its changes matter).
    std::atomic<std::uint64_t> cycles{0};
    /// Set once the client is active, so a standstill of cycles means something.
    std::atomic<bool> cyclesExpected{false};
    /// A loss libjack reported that the watch thread has yet to pass on, and libjack's thread
    /// that reported it.
    std::atomic<bool> lossPending{false};
    std::atomic<pid_t> lossReporter{0};
    /// Watch thread only.
    std::chrono::steady_clock::time_point lossNoted{}, lastCycleSeen{}, lastProbe{};
    std::uint64_t cyclesSeen = 0;
    /// True while a question to the server has not come back (it may still be using the
    /// client, which then must not be closed). Shared with the asking thread.
    std::shared_ptr<std::atomic<bool>> probeOutstanding;
};

} // namespace peldor
