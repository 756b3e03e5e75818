#include "audio_io/jack_driver.h"

#include "audio_io/driver_notifier.h"
#include "audio_io/ini_section.h"

#include <jack/jack.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace peldor {

namespace {
/// Longest wait in stop for a cycle in progress; a dead server never ends one.
constexpr auto kStopWaitLimit = std::chrono::seconds(2);
} // namespace

// libjack may cancel its client thread (asynchronously) while one of these callbacks runs: a
// client closed after the server died is torn down that way. Unwinding through the driver's and
// the host's noexcept functions would end the program, so each callback runs with cancellation
// held off; a cancel that arrived meanwhile takes effect when the callback is done, in
// libjack's own frames.
struct TJackCallbacks {
    static int HoldCancel() noexcept {
        int previous = PTHREAD_CANCEL_ENABLE;
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);
        return previous;
    }
    // Not noexcept on purpose: a pending cancel unwinds from here into libjack.
    static void ReleaseCancel(int previous) { pthread_setcancelstate(previous, nullptr); }

    static int Process(jack_nframes_t nframes, void* self) {
        const int cancel = HoldCancel();
        const int result = static_cast<TJackDriver*>(self)->Process(nframes);
        ReleaseCancel(cancel);
        return result;
    }
    static int BufferSize(jack_nframes_t nframes, void* self) {
        const int cancel = HoldCancel();
        auto* driver = static_cast<TJackDriver*>(self);
        driver->serverBufferSize.store(nframes);
        if (driver->published.load() && static_cast<std::int32_t>(nframes) != driver->Frames()) {
            driver->RequestReset();
        }
        ReleaseCancel(cancel);
        return 0;
    }
    static int SampleRate(jack_nframes_t rate, void* self) {
        const int cancel = HoldCancel();
        auto* driver = static_cast<TJackDriver*>(self);
        if (driver->serverRate != 0 && rate != driver->serverRate && driver->published.load()) {
            driver->RequestReset();
        }
        ReleaseCancel(cancel);
        return 0;
    }
    static void Shutdown(jack_status_t /*code*/, const char* /*reason*/, void* self) {
        const int cancel = HoldCancel();
        auto* driver = static_cast<TJackDriver*>(self);
        driver->serverLost.store(true);
        driver->running.store(false);
        driver->RequestReset();
        ReleaseCancel(cancel);
    }
};

TJackSettings TJackSettings::Read(const std::filesystem::path& iniPath) {
    TIniSection section(iniPath, "JACK");
    TJackSettings s;
    s.ServerName = section.String("Server", s.ServerName);
    s.ClientName = section.String("Client name", s.ClientName);
    s.Inputs = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(section.Integer("Inputs", s.Inputs), 0, kJackMaxChannels));
    s.Outputs = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(section.Integer("Outputs", s.Outputs), 0, kJackMaxChannels));
    s.AutoConnect = section.Bool("Auto connect", s.AutoConnect);
    s.Clamp();
    return s;
}

void TJackSettings::Clamp() noexcept {
    Inputs = std::clamp(Inputs, 0, kJackMaxChannels);
    Outputs = std::clamp(Outputs, 0, kJackMaxChannels);
    if (ClientName.empty()) {
        ClientName = "Peldor";
    }
}

TJackDriver::TJackDriver(std::filesystem::path path)
    : TBuiltinDriver(kJackDriverName), iniPath(std::move(path)), fromFile(true) {}

TJackDriver::TJackDriver(const TJackSettings& fixed)
    : TBuiltinDriver(kJackDriverName), settings(fixed) {
    settings.Clamp();
}

TJackDriver::~TJackDriver() {
    stop();
    disposeBuffers();
    CloseClient();
}

std::string TJackDriver::ClientName() const {
    return client != nullptr ? std::string(jack_get_client_name(client)) : std::string();
}

// Buffers must have exactly the server's block size.
std::int32_t TJackDriver::MinBufferSize() const noexcept {
    return static_cast<std::int32_t>(serverBufferSize.load());
}

std::int32_t TJackDriver::MaxBufferSize() const noexcept {
    return static_cast<std::int32_t>(serverBufferSize.load());
}

ASIOBool TJackDriver::init(void* /*sysHandle*/) {
    CloseClient();
    if (fromFile) {
        settings = TJackSettings::Read(iniPath);
    }
    int options = JackNoStartServer;
    const char* server = nullptr;
    if (!settings.ServerName.empty()) {
        options |= JackServerName;
        server = settings.ServerName.c_str();
    }
    jack_status_t status{};
    client = server != nullptr
                 ? jack_client_open(settings.ClientName.c_str(),
                                    static_cast<jack_options_t>(options), &status, server)
                 : jack_client_open(settings.ClientName.c_str(),
                                    static_cast<jack_options_t>(options), &status);
    if (client == nullptr) {
        SetError("No JACK server answers");
        return ASIOFalse;
    }
    serverLost.store(false);
    resetRequested.store(false);
    serverRate = jack_get_sample_rate(client);
    serverBufferSize.store(jack_get_buffer_size(client));

    std::vector<std::string> inNames, outNames;
    for (std::int32_t c = 0; c < settings.Inputs; ++c) {
        const std::string name = "in_" + std::to_string(c + 1);
        jack_port_t* port =
            jack_port_register(client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        if (port == nullptr) {
            SetError("Cannot register " + name);
            CloseClient();
            return ASIOFalse;
        }
        inPorts.push_back(port);
        inNames.push_back(name);
    }
    for (std::int32_t c = 0; c < settings.Outputs; ++c) {
        const std::string name = "out_" + std::to_string(c + 1);
        jack_port_t* port =
            jack_port_register(client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (port == nullptr) {
            SetError("Cannot register " + name);
            CloseClient();
            return ASIOFalse;
        }
        outPorts.push_back(port);
        outNames.push_back(name);
    }
    SetChannels(std::vector<ASIOSampleType>(inPorts.size(), ASIOSTFloat32LSB), std::move(inNames),
                std::vector<ASIOSampleType>(outPorts.size(), ASIOSTFloat32LSB),
                std::move(outNames));

    jack_set_process_callback(client, &TJackCallbacks::Process, this);
    jack_set_buffer_size_callback(client, &TJackCallbacks::BufferSize, this);
    jack_set_sample_rate_callback(client, &TJackCallbacks::SampleRate, this);
    jack_on_info_shutdown(client, &TJackCallbacks::Shutdown, this);
    return ASIOTrue;
}

void TJackDriver::CloseClient() noexcept {
    if (client == nullptr) {
        return;
    }
    if (activated) {
        jack_deactivate(client);
        activated = false;
    }
    jack_client_close(client);
    client = nullptr;
    inPorts.clear();
    outPorts.clear();
}

ASIOError TJackDriver::getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) {
    const auto block = static_cast<std::int32_t>(serverBufferSize.load());
    if (inputLatency != nullptr) {
        *inputLatency = block;
    }
    if (outputLatency != nullptr) {
        *outputLatency = block;
    }
    return ASE_OK;
}

ASIOError TJackDriver::getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                                     std::int32_t* preferredSize, std::int32_t* granularity) {
    if (minSize == nullptr || maxSize == nullptr || preferredSize == nullptr ||
        granularity == nullptr) {
        return ASE_InvalidParameter;
    }
    if (client == nullptr) {
        return ASE_NotPresent;
    }
    const auto block = static_cast<std::int32_t>(jack_get_buffer_size(client));
    serverBufferSize.store(static_cast<std::uint32_t>(block));
    *minSize = *maxSize = *preferredSize = block;
    *granularity = 0;
    return ASE_OK;
}

ASIOError TJackDriver::canSampleRate(ASIOSampleRate sampleRate) {
    if (client == nullptr) {
        return ASE_NotPresent;
    }
    return sampleRate == static_cast<double>(jack_get_sample_rate(client)) ? ASE_OK : ASE_NoClock;
}

ASIOError TJackDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    if (sampleRate == nullptr) {
        return ASE_InvalidParameter;
    }
    if (client == nullptr) {
        return ASE_NotPresent;
    }
    *sampleRate = jack_get_sample_rate(client);
    return ASE_OK;
}

ASIOError TJackDriver::setSampleRate(ASIOSampleRate sampleRate) {
    return canSampleRate(sampleRate);
}

ASIOError TJackDriver::createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                     std::int32_t bufferSize, ASIOCallbacks* callbacks) {
    if (client == nullptr) {
        return ASE_NotPresent;
    }
    serverBufferSize.store(jack_get_buffer_size(client));
    const ASIOError answer =
        TBuiltinDriver::createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
    if (answer != ASE_OK) {
        return answer;
    }
    half = 0;
    // Everything the process callback reads is in place before it may see the buffers.
    published.store(true);
    if (!activated) {
        if (jack_activate(client) != 0) {
            published.store(false);
            TBuiltinDriver::disposeBuffers();
            SetError("Cannot activate the JACK client");
            return ASE_HWMalfunction;
        }
        activated = true;
        if (settings.AutoConnect) {
            ConnectOutputs();
        }
    }
    return ASE_OK;
}

void TJackDriver::ConnectOutputs() noexcept {
    const char** playback = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsPhysical | JackPortIsInput);
    if (playback == nullptr) {
        return;
    }
    for (std::int32_t c = 0;
         c < kJackAutoConnectOutputs && static_cast<std::size_t>(c) < outPorts.size() &&
         playback[c] != nullptr;
         ++c) {
        jack_connect(client, jack_port_name(outPorts[static_cast<std::size_t>(c)]), playback[c]);
    }
    jack_free(static_cast<void*>(playback));
}

ASIOError TJackDriver::disposeBuffers() {
    stop();
    published.store(false);
    // Wait for a cycle that saw the buffers before they go.
    const auto deadline = std::chrono::steady_clock::now() + kStopWaitLimit;
    while (inProcess.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (activated && client != nullptr) {
        jack_deactivate(client);
        activated = false;
    }
    return TBuiltinDriver::disposeBuffers();
}

ASIOError TJackDriver::start() {
    if (client == nullptr || !HasBuffers()) {
        SetError("No buffers");
        return ASE_InvalidMode;
    }
    if (serverLost.load()) {
        SetError("The JACK server has gone");
        return ASE_HWMalfunction;
    }
    ResetSamplePosition();
    running.store(true);
    return ASE_OK;
}

ASIOError TJackDriver::stop() {
    running.store(false);
    const auto deadline = std::chrono::steady_clock::now() + kStopWaitLimit;
    while (inProcess.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ASE_OK;
}

void TJackDriver::RequestReset() noexcept {
    // Without buffers there is no host to tell yet.
    if (published.load() && !resetRequested.exchange(true)) {
        PostDriverMessage(HostCallbacks(), kAsioResetRequest, 0);
    }
}

int TJackDriver::Process(std::uint32_t nframes) noexcept {
    inProcess.store(true);
    const bool ready =
        published.load() && running.load() && static_cast<std::int32_t>(nframes) == Frames();
    if (ready) {
        const std::size_t bytes = sizeof(float) * nframes;
        for (std::size_t c = 0; c < inPorts.size(); ++c) {
            void* target = Input(static_cast<std::int32_t>(c)).Half(half);
            if (target != nullptr) {
                std::memcpy(target, jack_port_get_buffer(inPorts[c], nframes), bytes);
            }
        }
        SwitchBuffers(half);
        for (std::size_t c = 0; c < outPorts.size(); ++c) {
            void* port = jack_port_get_buffer(outPorts[c], nframes);
            const void* source = Output(static_cast<std::int32_t>(c)).Half(half);
            if (source != nullptr) {
                std::memcpy(port, source, bytes);
            } else {
                std::memset(port, 0, bytes);
            }
        }
        half ^= 1;
    } else {
        // Stopped, or a block of a size the buffers do not have (a reset is on its way).
        for (jack_port_t* port : outPorts) {
            std::memset(jack_port_get_buffer(port, nframes), 0, sizeof(float) * nframes);
        }
    }
    inProcess.store(false);
    return 0;
}

} // namespace peldor
