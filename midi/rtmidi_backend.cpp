#include "midi/rtmidi_backend.h"

#include "engine/bounded_call.h"
#include "midi/short_message.h"

// Settings files are read as bytes; SimpleIni's header alone serves for that.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

namespace peldor {

bool ParseMidiApi(std::string_view text, TMidiApi& api) noexcept {
    std::string lower;
    for (char c : text) {
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    if (lower == "alsa") {
        api = TMidiApi::Alsa;
        return true;
    }
    if (lower == "jack") {
        api = TMidiApi::Jack;
        return true;
    }
    return false;
}

TMidiApi ChooseMidiApi(const char* environmentValue, std::string_view settingValue) noexcept {
    TMidiApi api = TMidiApi::Alsa;
    if (environmentValue != nullptr && ParseMidiApi(environmentValue, api)) {
        return api;
    }
    if (ParseMidiApi(settingValue, api)) {
        return api;
    }
    return TMidiApi::Alsa;
}

std::string ReadMidiApiSetting(const std::string& iniPath) {
    CSimpleIniA ini; // section and key names match in any case
    if (ini.LoadFile(iniPath.c_str()) < 0) {
        return {};
    }
    const char* value = ini.GetValue("MIDI", "API", "");
    return value != nullptr ? value : "";
}

TMidiApi ConfiguredMidiApi(const std::string& iniPath) {
    return ChooseMidiApi(std::getenv("PELDOR_MIDI_API"), ReadMidiApiSetting(iniPath));
}

namespace {

// Messages waiting between RtMidi's thread and our delivery thread, per input.
constexpr std::size_t kInputRingSize = 4096;

// Counts the JACK server losses noted so far. A JACK object opened in an earlier count may
// have been freed by libjack behind RtMidi's back (see NoteJackServerLost).
std::atomic<std::uint32_t> jackLosses{0};

// Keeps what may no longer be touched for the rest of the process: RtMidi objects whose JACK
// client libjack may have freed, and the inputs whose callbacks they could still name.
template <typename Object> void Abandon(std::unique_ptr<Object> object) {
    static std::mutex lock;
    // Never destroyed, so the objects stay reachable until the process ends.
    static auto* kept = new std::vector<std::unique_ptr<Object>>;
    std::lock_guard<std::mutex> hold(lock);
    try {
        kept->push_back(std::move(object));
    } catch (const std::bad_alloc&) {
        (void)object.release(); // nowhere to keep it: leave it where it is
    }
}

// Longest wait for libjack to close a client: a server that is shutting down may never answer,
// and the program must still end.
constexpr auto kJackCloseLimit = std::chrono::seconds(2);
// Longest wait for RtMidi's thread to leave our input callback: libjack may end its threads
// anywhere, also inside it.
constexpr auto kProducerWaitLimit = std::chrono::milliseconds(500);

RtMidi::Api ToRtMidiApi(TMidiApi api) {
    return api == TMidiApi::Jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

// Whether the default JACK server ($JACK_DEFAULT_SERVER, else "default") accepts clients.
bool JackServerRunning() {
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("Peldor probe", JackNoStartServer, &status);
    if (probe == nullptr) {
        // No server to connect to: when it went away under clients of ours, this open has
        // just made libjack free them all. (A server that is merely slow to answer frees
        // nothing, and its clients stay usable.)
        if ((status & JackServerFailed) != 0) {
            NoteJackServerLost();
        }
        return false;
    }
    jack_client_close(probe);
    return true;
}

// ALSA's library prints its own error lines on stderr unless told otherwise.
extern "C" void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// Whether the ALSA sequencer can be opened; why not in reason. RtMidi prints raw error lines
// (its own and ALSA's) and throws when it cannot, before it can be given an error callback, so
// it is asked only when this succeeds. ALSA stays quiet while we ask.
bool AlsaSequencerAvailable(std::string& reason) {
    snd_lib_error_set_handler(&QuietAlsa);
    snd_seq_t* sequencer = nullptr;
    const int error = snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (error >= 0) {
        snd_seq_close(sequencer);
    }
    snd_lib_error_set_handler(nullptr);
    if (error < 0) {
        reason = std::string("the ALSA sequencer cannot be opened (") + snd_strerror(error) + ")";
        return false;
    }
    return true;
}

// RtMidi reports through this instead of printing or throwing once an object exists. Errors
// here mean a device went away or a buffer filled: the message is lost, which is all we can
// do about it.
void IgnoreRtMidiError(RtMidiError::Type, const std::string&, void*) {}

// An open input. RtMidi calls OnMessage on its own thread (for JACK the server's process
// thread), which only copies the message into a ring; a thread of ours runs the program's
// callback, which takes locks and may allocate.
struct InputPort {
    std::unique_ptr<RtMidiIn> Midi;
    /// jackLosses when Midi was made.
    std::uint32_t Losses = 0;
    TMidiInputCallback Callback = nullptr;
    std::uintptr_t Instance = 0;
    TMidiHandle Handle = kNoMidiHandle;

    std::array<std::uint32_t, kInputRingSize> Ring{};
    std::atomic<std::size_t> Head{0}; // next write, producer
    std::atomic<std::size_t> Tail{0}; // next read, consumer
    std::atomic<std::uint32_t> Signal{0};
    std::atomic<bool> Accepting{false};
    std::atomic<bool> ProducerBusy{false};
    std::atomic<bool> Stopping{false};
    std::thread Delivery;

    static void OnMessage(double, std::vector<unsigned char>* bytes, void* user) {
        auto* port = static_cast<InputPort*>(user);
        port->ProducerBusy.store(true, std::memory_order_seq_cst);
        if (port->Accepting.load(std::memory_order_seq_cst) && bytes != nullptr) {
            port->Push(*bytes);
        }
        port->ProducerBusy.store(false, std::memory_order_seq_cst);
    }

    void Push(const std::vector<unsigned char>& bytes) {
        // RtMidi hands over whole messages; longer ones are system exclusive, which we do not
        // take, and empty ones carry nothing.
        constexpr std::size_t kMaxShortMessage = 3;
        if (bytes.empty() || bytes.size() > kMaxShortMessage) {
            return;
        }
        std::uint32_t word = 0;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            word |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
        }
        const std::size_t head = Head.load(std::memory_order_relaxed);
        const std::size_t next = (head + 1) % kInputRingSize;
        if (next == Tail.load(std::memory_order_acquire)) {
            return; // flood: the reader is behind, drop
        }
        Ring[head] = word;
        Head.store(next, std::memory_order_release);
        Signal.fetch_add(1, std::memory_order_release);
        Signal.notify_one();
    }

    void Deliver() {
        for (;;) {
            const std::uint32_t seen = Signal.load(std::memory_order_acquire);
            std::size_t tail = Tail.load(std::memory_order_relaxed);
            while (tail != Head.load(std::memory_order_acquire)) {
                if (Stopping.load(std::memory_order_acquire)) {
                    return;
                }
                const std::uint32_t word = Ring[tail];
                tail = (tail + 1) % kInputRingSize;
                Tail.store(tail, std::memory_order_release);
                Callback(Handle, kMidiInData, Instance, word);
            }
            if (Stopping.load(std::memory_order_acquire)) {
                return;
            }
            Signal.wait(seen, std::memory_order_acquire);
        }
    }

    void Start() {
        Head.store(0, std::memory_order_relaxed);
        Tail.store(0, std::memory_order_relaxed);
        Stopping.store(false, std::memory_order_relaxed);
        Delivery = std::thread([this] { Deliver(); });
        Accepting.store(true, std::memory_order_seq_cst);
    }

    /// waitForProducer false: RtMidi's thread may have been ended inside OnMessage (a client
    /// libjack freed), so it is not waited for; the port is then kept for good. False when
    /// RtMidi's thread was not seen to leave OnMessage (the port must then be kept too).
    bool Stop(bool waitForProducer = true) {
        Accepting.store(false, std::memory_order_seq_cst);
        bool producerLeft = !waitForProducer;
        const auto deadline = std::chrono::steady_clock::now() + kProducerWaitLimit;
        while (waitForProducer) {
            if (!ProducerBusy.load(std::memory_order_seq_cst)) {
                producerLeft = true;
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::yield();
        }
        if (Delivery.joinable()) {
            Stopping.store(true, std::memory_order_release);
            Signal.fetch_add(1, std::memory_order_release);
            Signal.notify_one();
            Delivery.join();
        }
        return producerLeft && waitForProducer;
    }
};

// An open output and jackLosses when it was made.
struct OutputPort {
    std::unique_ptr<RtMidiOut> Midi;
    std::uint32_t Losses = 0;
};

// The window thread opens, starts, stops and closes; the MIDI threads send. The maps of open
// ports are guarded by portsMutex, held only to find, add or remove an entry and around a
// send; the slow work (creating RtMidi objects, stopping a delivery thread, closing a client)
// is done outside it. A delivery thread may be sending when its input is stopped, so stopping
// while holding portsMutex would deadlock.
class TRtMidiBackend final : public IMidiBackend {
public:
    TRtMidiBackend(TMidiApi theApi, std::string theClientName)
        : api(ToRtMidiApi(theApi)), clientName(std::move(theClientName)) {}

    ~TRtMidiBackend() override {
        std::map<TMidiHandle, std::unique_ptr<InputPort>> closing;
        std::map<TMidiHandle, OutputPort> closingOutputs;
        {
            std::lock_guard<std::mutex> lock(portsMutex);
            closing.swap(inputs);
            closingOutputs.swap(outputs);
        }
        for (auto& [handle, port] : closing) {
            ClosePort(std::move(port));
        }
        for (auto& [handle, out] : closingOutputs) {
            CloseOutputPort(std::move(out));
        }
    }

    std::int32_t InputCount() override {
        std::lock_guard<std::mutex> lock(namesMutex);
        inputNames = ListPorts<RtMidiIn>();
        return static_cast<std::int32_t>(inputNames.size());
    }

    std::string InputName(std::int32_t index) override {
        std::lock_guard<std::mutex> lock(namesMutex);
        return NameAt(inputNames, index);
    }

    std::int32_t OutputCount() override {
        std::lock_guard<std::mutex> lock(namesMutex);
        outputNames = ListPorts<RtMidiOut>();
        return static_cast<std::int32_t>(outputNames.size());
    }

    std::string OutputName(std::int32_t index) override {
        std::lock_guard<std::mutex> lock(namesMutex);
        return NameAt(outputNames, index);
    }

    bool OpenInput(std::int32_t index, TMidiInputCallback callback, std::uintptr_t instance,
                   TMidiHandle& handle) override {
        handle = kNoMidiHandle;
        const std::string name = InputName(index);
        if (name.empty() || callback == nullptr) {
            return false;
        }
        auto port = std::make_unique<InputPort>();
        port->Losses = jackLosses.load();
        port->Midi = OpenPort<RtMidiIn>(name, "in " + std::to_string(index + 1), [&](RtMidiIn& in) {
            in.ignoreTypes(true, false, false);
            in.setCallback(&InputPort::OnMessage, port.get());
        });
        if (port->Midi == nullptr) {
            return false;
        }
        port->Callback = callback;
        port->Instance = instance;
        std::lock_guard<std::mutex> lock(portsMutex);
        port->Handle = nextHandle++;
        handle = port->Handle;
        inputs.emplace(handle, std::move(port));
        return true;
    }

    bool StartInput(TMidiHandle handle) override {
        InputPort* port = FindInput(handle);
        if (port == nullptr) {
            return false;
        }
        if (!port->Delivery.joinable()) {
            port->Start();
        }
        return true;
    }

    bool StopInput(TMidiHandle handle) override {
        InputPort* port = FindInput(handle);
        if (port == nullptr) {
            return false;
        }
        port->Stop(!Stale(port->Losses));
        return true;
    }

    bool CloseInput(TMidiHandle handle) override {
        std::unique_ptr<InputPort> port;
        {
            std::lock_guard<std::mutex> lock(portsMutex);
            auto it = inputs.find(handle);
            if (it == inputs.end()) {
                return false;
            }
            port = std::move(it->second);
            inputs.erase(it);
        }
        ClosePort(std::move(port));
        return true;
    }

    bool OpenOutput(std::int32_t index, TMidiHandle& handle) override {
        handle = kNoMidiHandle;
        const std::string name = OutputName(index);
        if (name.empty()) {
            return false;
        }
        OutputPort out;
        out.Losses = jackLosses.load();
        out.Midi = OpenPort<RtMidiOut>(name, "out " + std::to_string(index + 1), [](RtMidiOut&) {});
        if (out.Midi == nullptr) {
            return false;
        }
        std::lock_guard<std::mutex> lock(portsMutex);
        handle = nextHandle++;
        outputs.emplace(handle, std::move(out));
        return true;
    }

    bool CloseOutput(TMidiHandle handle) override {
        OutputPort out;
        {
            std::lock_guard<std::mutex> lock(portsMutex);
            auto it = outputs.find(handle);
            if (it == outputs.end()) {
                return false;
            }
            out = std::move(it->second);
            outputs.erase(it);
        }
        CloseOutputPort(std::move(out));
        return true;
    }

    std::string ServiceProblem() override {
        std::lock_guard<std::mutex> lock(problemMutex);
        return problem;
    }

    bool SendShortMessage(TMidiHandle handle, std::uint32_t message) override {
        const auto status = static_cast<std::uint8_t>(message & 0xFF);
        const int length = ShortMessageLength(status);
        if (length == 0) {
            return false;
        }
        const unsigned char bytes[3] = {status, static_cast<unsigned char>((message >> 8) & 0xFF),
                                        static_cast<unsigned char>((message >> 16) & 0xFF)};
        std::lock_guard<std::mutex> lock(portsMutex);
        auto it = outputs.find(handle);
        if (it == outputs.end() || Stale(it->second.Losses)) {
            return false;
        }
        try {
            it->second.Midi->sendMessage(bytes, static_cast<std::size_t>(length));
        } catch (...) {
            return false;
        }
        return true;
    }

private:
    static std::string NameAt(const std::vector<std::string>& names, std::int32_t index) {
        return index >= 0 && index < static_cast<std::int32_t>(names.size()) ? names[index]
                                                                             : std::string();
    }

    bool IsOwnPort(const std::string& name) const {
        return name.compare(0, clientName.size(), clientName) == 0;
    }

    // A fresh RtMidi object, or null when the MIDI service cannot be reached.
    template <typename Midi> std::unique_ptr<Midi> Create() const {
        // RtMidi's JACK objects leak a buffer when they are made without a server, so ask
        // the server first.
        if (api == RtMidi::UNIX_JACK && !JackServerRunning()) {
            return nullptr;
        }
        if (api == RtMidi::LINUX_ALSA) {
            std::string reason;
            const bool available = AlsaSequencerAvailable(reason);
            std::lock_guard<std::mutex> lock(problemMutex);
            problem = std::move(reason);
            if (!available) {
                return nullptr;
            }
        }
        try {
            auto midi = std::make_unique<Midi>(api, clientName);
            if (midi->getCurrentApi() != api) {
                return nullptr;
            }
            midi->setErrorCallback(&IgnoreRtMidiError, nullptr);
            return midi;
        } catch (...) {
            return nullptr;
        }
    }

    // The other programs' ports of one direction, in the service's order.
    template <typename Midi> std::vector<std::string> ListPorts() const {
        std::vector<std::string> names;
        auto probe = Create<Midi>();
        if (probe == nullptr) {
            return names;
        }
        try {
            const unsigned int count = probe->getPortCount();
            for (unsigned int i = 0; i < count; ++i) {
                std::string name = probe->getPortName(i);
                if (!name.empty() && !IsOwnPort(name)) {
                    names.push_back(std::move(name));
                }
            }
        } catch (...) {
            names.clear();
        }
        Destroy(std::move(probe));
        return names;
    }

    // Opens the port with this name as it is numbered now (ports come and go, so numbers from
    // the last listing may be stale). Null when it is gone or refuses.
    template <typename Midi, typename Prepare>
    std::unique_ptr<Midi> OpenPort(const std::string& name, const std::string& ownPortName,
                                   Prepare&& prepare) const {
        auto midi = Create<Midi>();
        if (midi == nullptr) {
            return nullptr;
        }
        try {
            const unsigned int count = midi->getPortCount();
            for (unsigned int i = 0; i < count; ++i) {
                if (midi->getPortName(i) != name) {
                    continue;
                }
                prepare(*midi);
                midi->openPort(i, ownPortName);
                if (!midi->isPortOpen()) {
                    return nullptr;
                }
                return midi;
            }
        } catch (...) {
        }
        return nullptr;
    }

    // The input as it stands: only the window thread changes the map, so the entry stays.
    InputPort* FindInput(TMidiHandle handle) {
        std::lock_guard<std::mutex> lock(portsMutex);
        auto it = inputs.find(handle);
        return it != inputs.end() ? it->second.get() : nullptr;
    }

    // Whether an object made when jackLosses was losses may have lost its JACK client.
    bool Stale(std::uint32_t losses) const noexcept {
        return api == RtMidi::UNIX_JACK && losses != jackLosses.load();
    }

    // Stops delivery, then destroys the RtMidi object, which closes its client and ends its
    // thread, so OnMessage cannot run any more when the port goes. An input whose client may
    // be gone is kept instead, untouched, with its callback's target.
    void ClosePort(std::unique_ptr<InputPort> port) const {
        if (Stale(port->Losses)) {
            port->Stop(false);
            Abandon(std::move(port));
            return;
        }
        if (!port->Stop()) {
            Abandon(std::move(port));
            return;
        }
        Destroy(std::move(port));
    }

    void CloseOutputPort(OutputPort out) const {
        if (Stale(out.Losses)) {
            Abandon(std::move(out.Midi));
            return;
        }
        Destroy(std::move(out.Midi));
    }

    // Destroys an RtMidi object (or what holds one), which closes its client. A JACK server
    // that is going away at this moment may never answer the close: it is waited for a
    // bounded time only.
    template <typename Object> void Destroy(std::unique_ptr<Object> object) const {
        auto destroy = [object = std::move(object)]() mutable {
            try {
                if constexpr (std::is_same_v<Object, InputPort>) {
                    object->Midi.reset(); // the client first: its thread may name the port
                }
                object.reset();
            } catch (...) {
            }
        };
        if (api == RtMidi::UNIX_JACK) {
            // A server that does not answer a close in time is as good as lost: the ports
            // still open are then left as they are rather than each waited for in turn.
            if (!RunBounded(std::move(destroy), kJackCloseLimit)) {
                NoteJackServerLost();
            }
        } else {
            destroy();
        }
    }

    const RtMidi::Api api;
    const std::string clientName;
    std::mutex namesMutex;
    std::vector<std::string> inputNames;
    std::vector<std::string> outputNames;
    mutable std::mutex problemMutex;
    mutable std::string problem;
    std::mutex portsMutex;
    std::map<TMidiHandle, std::unique_ptr<InputPort>> inputs;
    std::map<TMidiHandle, OutputPort> outputs;
    TMidiHandle nextHandle = 1;
};

} // namespace

void NoteJackServerLost() noexcept {
    jackLosses.fetch_add(1);
}

std::unique_ptr<IMidiBackend> CreateRtMidiBackend(TMidiApi api, std::string clientName) {
    return std::make_unique<TRtMidiBackend>(api, std::move(clientName));
}

} // namespace peldor
