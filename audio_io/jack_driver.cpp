#include "audio_io/jack_driver.h"

#include "audio_io/driver_notifier.h"
#include "audio_io/ini_section.h"
#include "engine/bounded_call.h"

#include <jack/jack.h>
#include <jack/thread.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace peldor {

namespace {
/// Longest wait in stop for a cycle in progress; a dead server never ends one.
constexpr auto kStopWaitLimit = std::chrono::seconds(2);
/// Longest wait for libjack to close a client (see CloseClient).
constexpr auto kCloseWaitLimit = std::chrono::seconds(3);
/// How often the watch thread looks at the client.
constexpr auto kWatchInterval = std::chrono::milliseconds(100);
/// An active client that saw no cycle for this long asks its server whether it is still there
/// (a server runs hundreds of cycles a second, even with nothing to play).
constexpr auto kStallLimit = std::chrono::seconds(1);
/// Longest wait for the server's answer. A server that does not answer is asked again later
/// but not reported: a new client of a server that hangs would hang in its open.
constexpr auto kProbeLimit = std::chrono::seconds(2);
/// Longest wait for libjack's thread that reported a loss to end before the host hears of it.
/// A server that reports a failure but stays up keeps that thread alive.
constexpr auto kLossSettleLimit = std::chrono::seconds(2);
} // namespace

/// Shared by a driver and libjack's threads for one client. libjack's threads reach the driver
/// only through it, so that closing can cut them off, wait for callbacks in progress and, for a
/// client that cannot be closed, leave libjack something valid to call for ever.
struct TJackClientLink {
    std::atomic<TJackDriver*> driver{nullptr};
    std::atomic<int> callbacks{0};
    /// Set by whoever notices the loss of the server first: libjack or the watch thread.
    std::atomic<bool> lost{false};
};

namespace {

/// Runs call(driver) when the link still leads to a driver; fallback otherwise.
///
/// libjack cancels its threads asynchronously when a client is deactivated or closed. A
/// cancellation that unwinds through a noexcept frame of ours ends the program, so cancellation
/// is held off while our code runs. It is allowed again by a plain call in this function, which
/// may throw: a cancellation that arrived meanwhile unwinds from there into libjack, as libjack
/// intends. No object with a destructor may live in this frame.
template <typename Call> int WithDriver(void* arg, Call call, int fallback) {
    int previous = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);
    auto* link = static_cast<TJackClientLink*>(arg);
    link->callbacks.fetch_add(1);
    TJackDriver* driver = link->driver.load();
    const int result = driver != nullptr ? call(driver) : fallback;
    link->callbacks.fetch_sub(1);
    int ignored = 0;
    pthread_setcancelstate(previous, &ignored);
    return result;
}

std::atomic<TJackDriver::TServerLostListener> serverLostListener{nullptr};

/// A question that travels to the server and back: a server knows its own clients by name, so
/// only a server that has gone (or has dropped this client) fails it.
TJackDriver::TServerAnswer AskServer(jack_client_t* client) noexcept {
    char* uuid = jack_get_uuid_for_client_name(client, jack_get_client_name(client));
    if (uuid == nullptr) {
        return TJackDriver::TServerAnswer::Gone;
    }
    jack_free(uuid);
    return TJackDriver::TServerAnswer::Answers;
}

std::atomic<TJackDriver::TServerProbe> serverProbe{&AskServer};

/// Whether the thread tid of this process still exists.
bool ThreadRuns(pid_t tid) noexcept {
    if (tid <= 0) {
        return false;
    }
    char path[48];
    std::snprintf(path, sizeof path, "/proc/self/task/%d", static_cast<int>(tid));
    return access(path, F_OK) == 0;
}

/// Clients of lost servers, kept (never closed, never freed) for the rest of the process.
void AbandonClient(jack_client_t* client, TJackClientLink* link) {
    struct Abandoned {
        jack_client_t* client;
        TJackClientLink* link;
    };
    static std::mutex lock;
    // Never destroyed, so the clients stay reachable until the process ends.
    static auto* abandoned = new std::vector<Abandoned>;
    std::lock_guard<std::mutex> hold(lock);
    try {
        abandoned->push_back({client, link});
    } catch (const std::bad_alloc&) {
        // Nothing to keep them in: they stay where libjack has them.
    }
}

} // namespace

struct TJackCallbacks {
    static int Process(jack_nframes_t nframes, void* arg) {
        return WithDriver(
            arg, [nframes](TJackDriver* driver) { return driver->Process(nframes); }, 0);
    }
    static int BufferSize(jack_nframes_t nframes, void* arg) {
        return WithDriver(
            arg,
            [nframes](TJackDriver* driver) {
                driver->serverBufferSize.store(nframes);
                if (driver->published.load() &&
                    static_cast<std::int32_t>(nframes) != driver->Frames()) {
                    driver->RequestReset();
                }
                return 0;
            },
            0);
    }
    static int SampleRate(jack_nframes_t rate, void* arg) {
        return WithDriver(
            arg,
            [rate](TJackDriver* driver) {
                if (driver->serverRate != 0 && rate != driver->serverRate &&
                    driver->published.load()) {
                    driver->RequestReset();
                }
                return 0;
            },
            0);
    }
    static void Shutdown(jack_status_t /*code*/, const char* /*reason*/, void* arg) {
        // Once per client, whoever noticed first.
        if (static_cast<TJackClientLink*>(arg)->lost.exchange(true)) {
            return;
        }
        // Told even while the driver is being closed: the other clients of the process are
        // just as lost. (An atomic increment: no cancellation point.)
        if (TJackDriver::TServerLostListener listener = serverLostListener.load()) {
            listener();
        }
        const pid_t reporter = gettid();
        WithDriver(
            arg,
            [reporter](TJackDriver* driver) {
                driver->LossReported(reporter);
                return 0;
            },
            0);
    }
};

void TJackDriver::SetServerLostListener(TServerLostListener listener) noexcept {
    serverLostListener.store(listener);
}

void TJackDriver::SetServerProbe(TServerProbe probe) noexcept {
    serverProbe.store(probe != nullptr ? probe : &AskServer);
}

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
    lossPending.store(false);
    probeOutstanding.reset(); // an unanswered question was about the client closed above
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

    link = new TJackClientLink;
    link->driver.store(this);
    jack_set_process_callback(client, &TJackCallbacks::Process, link);
    jack_set_buffer_size_callback(client, &TJackCallbacks::BufferSize, link);
    jack_set_sample_rate_callback(client, &TJackCallbacks::SampleRate, link);
    jack_on_info_shutdown(client, &TJackCallbacks::Shutdown, link);
    return ASIOTrue;
}

void TJackDriver::CloseClient() noexcept {
    StopWatch();
    if (client == nullptr) {
        return;
    }
    jack_client_t* const closing = client;
    TJackClientLink* const closingLink = link;
    const bool deactivate = activated;
    client = nullptr;
    link = nullptr;
    activated = false;
    inPorts.clear();
    outPorts.clear();

    // From here on libjack's threads find no driver; wait for callbacks still running.
    if (closingLink != nullptr) {
        closingLink->driver.store(nullptr);
        const auto deadline = std::chrono::steady_clock::now() + kStopWaitLimit;
        while (closingLink->callbacks.load() > 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // Closing a client whose server has died can block libjack for good (its threads are
    // cancelled while they may hold its locks), and every later client open with it. Such a
    // client is left open, with its link: a few kilobytes per lost server. So is one that a
    // question to the server may still be using.
    if (serverLost.load() || (probeOutstanding && probeOutstanding->load())) {
        AbandonClient(closing, closingLink);
        return;
    }
    // A live client is closed on a thread of its own, with a bounded wait, in case the server
    // dies during the close.
    RunBounded(
        [closing, closingLink, deactivate] {
            if (deactivate) {
                jack_deactivate(closing);
            }
            jack_client_close(closing);
            delete closingLink; // no callback can come after the close
        },
        kCloseWaitLimit);
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
                                     std::int32_t bufferSize, ASIOCallbacks* hostCallbacks) {
    if (client == nullptr) {
        return ASE_NotPresent;
    }
    serverBufferSize.store(jack_get_buffer_size(client));
    const ASIOError answer =
        TBuiltinDriver::createBuffers(bufferInfos, numChannels, bufferSize, hostCallbacks);
    if (answer != ASE_OK) {
        return answer;
    }
    half = 0;
    // Watching before the buffers are published: a loss reported from then on reaches the host
    // through the watch thread.
    StartWatch();
    // Everything the process callback reads is in place before it may see the buffers.
    published.store(true);
    if (!activated) {
        if (jack_activate(client) != 0) {
            published.store(false);
            StopWatch();
            TBuiltinDriver::disposeBuffers();
            SetError("Cannot activate the JACK client");
            return ASE_HWMalfunction;
        }
        activated = true;
        cyclesExpected.store(true);
        const int priority = jack_client_real_time_priority(client);
        realtimePriority.store(priority > 0 ? priority : 0);
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
    StopWatch();
    cyclesExpected.store(false);
    // A server that left a question unanswered is as good as lost (see CloseClient).
    if (probeOutstanding && probeOutstanding->load()) {
        serverLost.store(true);
    }
    // With the server gone there is nothing to deactivate; CloseClient deals with the client.
    // A server that is going away this moment may never answer: the wait is bounded, and a
    // server that did not answer is treated as lost (its client is then left open).
    if (activated && client != nullptr && !serverLost.load()) {
        jack_client_t* const deactivating = client;
        if (!RunBounded([deactivating] { jack_deactivate(deactivating); }, kCloseWaitLimit)) {
            serverLost.store(true);
        }
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
    cycles.fetch_add(1, std::memory_order_relaxed);
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

void TJackDriver::LossReported(pid_t reporter) noexcept {
    serverLost.store(true);
    running.store(false);
    if (watching.load()) {
        lossReporter.store(reporter);
        lossPending.store(true, std::memory_order_release);
    } else {
        RequestReset();
    }
}

// ---- The watch thread ---------------------------------------------------------------------

void TJackDriver::StartWatch() noexcept {
    if (watchThread.joinable()) {
        return;
    }
    lossPending.store(false);
    lossNoted = {};
    lastProbe = {};
    {
        std::lock_guard<std::mutex> hold(watchLock);
        watchStopping = false;
    }
    watching.store(true);
    try {
        watchThread = std::thread([this] { Watch(); });
    } catch (const std::system_error&) {
        // No thread to spare: losses go to the host straight from libjack's thread, as before.
        watching.store(false);
    }
}

void TJackDriver::StopWatch() noexcept {
    if (!watchThread.joinable()) {
        return;
    }
    watching.store(false);
    {
        std::lock_guard<std::mutex> hold(watchLock);
        watchStopping = true;
    }
    watchWake.notify_all();
    watchThread.join(); // bounded: the thread waits for nothing longer than kProbeLimit
    // A loss still waiting for libjack's thread goes out now (if the buffers are still there).
    if (lossPending.exchange(false)) {
        RequestReset();
    }
}

void TJackDriver::Watch() noexcept {
    // libjack writes to the server's sockets with write(): a server that has gone must give
    // this thread (and the probe's, which inherits the mask) an error, not end the program.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    cyclesSeen = cycles.load(std::memory_order_relaxed);
    lastCycleSeen = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> hold(watchLock);
    while (!watchWake.wait_for(hold, kWatchInterval, [this] { return watchStopping; })) {
        hold.unlock();
        const auto now = std::chrono::steady_clock::now();
        if (lossPending.load(std::memory_order_acquire)) {
            // The host re-opens the driver when it hears of the loss, and the new client makes
            // libjack cancel the threads of the old one: wait until the thread that reported
            // the loss (which goes on to read the server's last notifications, under libjack's
            // locks) has ended.
            if (lossNoted == std::chrono::steady_clock::time_point{}) {
                lossNoted = now;
            }
            if (!ThreadRuns(lossReporter.load()) || now - lossNoted >= kLossSettleLimit) {
                lossPending.store(false);
                RequestReset();
            }
        } else if (serverLost.load() || !cyclesExpected.load()) {
            lastCycleSeen = now;
        } else if (const std::uint64_t count = cycles.load(std::memory_order_relaxed);
                   count != cyclesSeen) {
            cyclesSeen = count;
            lastCycleSeen = now;
        } else if (now - lastCycleSeen >= kStallLimit && now - lastProbe >= kStallLimit) {
            lastProbe = now;
            ProbeServer();
        }
        hold.lock();
    }
}

void TJackDriver::ProbeServer() noexcept {
    if (probeOutstanding && probeOutstanding->load()) {
        return; // the last question is still out
    }
    try {
        auto outstanding = std::make_shared<std::atomic<bool>>(true);
        auto gone = std::make_shared<std::atomic<bool>>(false);
        probeOutstanding = outstanding;
        jack_client_t* const asked = client;
        const TServerProbe probe = serverProbe.load();
        const bool answered = RunBounded(
            [outstanding, gone, asked, probe] {
                gone->store(probe(asked) == TServerAnswer::Gone);
                outstanding->store(false);
            },
            kProbeLimit);
        if (!answered || !gone->load()) {
            return;
        }
    } catch (const std::bad_alloc&) {
        return;
    }
    // The server has gone without libjack noticing: reported as libjack would have.
    if (link == nullptr || link->lost.exchange(true)) {
        return;
    }
    serverLost.store(true);
    running.store(false);
    if (TServerLostListener listener = serverLostListener.load()) {
        listener();
    }
    RequestReset();
}

} // namespace peldor
