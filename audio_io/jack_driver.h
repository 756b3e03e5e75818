#pragma once
// The "JACK" driver: a JACK client (also served by PipeWire's JACK library). The server decides
// rate and block size; the sample type is Float32LSB. The process callback copies the input
// ports into the current half, has the host switch buffers and copies the half's outputs to the
// output ports. A block-size change, a rate change or the loss of the server raises a reset
// request through the driver notifier, never from inside a JACK callback.

#include "audio_io/builtin_driver.h"

#include <filesystem>
#include <string>

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

    /// Called on libjack's thread when a driver's server goes away, before the driver asks to
    /// be re-opened (whose new client makes libjack free every other client of the process).
    /// Must not block, allocate or reach a cancellation point.
    using TServerLostListener = void (*)() noexcept;
    /// Process-wide; null for none. Any thread.
    static void SetServerLostListener(TServerLostListener listener) noexcept;
    /// The real-time priority of the client's process thread, or 0 when the server does not
    /// run one (or the client is not active). Any thread.
    int RealtimePriority() const noexcept { return realtimePriority.load(); }
    /// The client's name as the server knows it (valid after init).
    std::string ClientName() const;

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
};

} // namespace peldor
