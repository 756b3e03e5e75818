#include "engine/processor.h"

#include "engine/block_handshake.h"
#include "engine/event_queue.h"
#include "engine/mix_kernels.h"
#include "engine/realtime_scope.h"
#include "engine/spin_lock.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace peldor {

Relaxed<bool> ProcessingEnabled{false};
Relaxed<std::int32_t> BlockSize{512};
Relaxed<bool> WantsMidi{false};
std::array<Relaxed<float>, kMeterGainCount> MeterGain;
TChannelAssignment ChannelAssignment;
Relaxed<std::uint8_t> Phase{0};
std::array<Relaxed<std::uint8_t>, kSlotCount> SlotClaimed;

namespace {

/// Guards every read-and-set of SlotClaimed.
SpinLock ClaimLock;

constexpr int kWorkerCount = 8;
constexpr int kBufferCount = 55;
constexpr auto kWorkerWaitLimit = std::chrono::milliseconds(100);
constexpr int kNormalPriority = 3;

/// Applies one of the seven priorities to the calling thread as far as the system allows.
/// Raising priority or real-time scheduling may be refused to an unprivileged process; the
/// thread then keeps the closest priority it was allowed.
void ApplyThreadPriority(int priority) {
    // Nice values for idle..highest; time-critical asks for real-time scheduling first.
    static constexpr int kNice[7] = {19, 10, 5, 0, -5, -10, -15};
    const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    sched_param param{};
    if (priority == 0) {
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    } else if (priority == 6) {
        param.sched_priority = sched_get_priority_max(SCHED_FIFO);
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
            return;
        }
        param.sched_priority = 0;
    }
    if (priority != 0) {
        pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
    }
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), kNice[priority]) != 0) {
        // Not allowed to raise: stay at the normal level rather than fail.
        setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 0);
    }
}

} // namespace

/// One of the eight workers. The thread runs the work routine once when started and ends;
/// from then on the passes run on whoever calls RunWorkers.
class TAudioThread {
public:
    explicit TAudioThread(TProcessor& owner) : processor(owner) {}
    ~TAudioThread() { Stop(); }

    /// The work routine: one pass, chosen by Phase.
    void Execute() noexcept {
        const std::uint8_t phase = Phase;
        if (phase == 1) {
            processor.InstrumentPass();
        } else if (phase == 2) {
            processor.EffectPass();
        }
    }

    /// Resumes the worker: its thread runs the routine once. Resuming again changes nothing.
    void Resume(int priority) {
        if (started) {
            return;
        }
        started = true;
        finished = false;
        thread = std::thread([this, priority] {
            ApplyThreadPriority(priority);
            Execute();
            finished = true;
        });
    }

    /// Waits for the thread to end, without a time limit.
    void Stop() {
        if (thread.joinable()) {
            thread.join();
        }
    }

    /// The thread has ended (or was never started).
    bool Signalled() const noexcept { return finished; }

private:
    TProcessor& processor;
    std::thread thread;
    bool started = false;
    Relaxed<bool> finished{true};
};

void NoteWantsMidi() noexcept {
    WantsMidi = true;
}

std::string SampleTypeLabel(std::int32_t type) {
    switch (type) {
    case 0:
    case 8:
    case 16:
    case 24:
        return "16 bit";
    case 9:
    case 25:
        return "18 bit";
    case 10:
    case 26:
        return "20 bit";
    case 1:
    case 11:
    case 17:
    case 27:
        return "24 bit";
    case 2:
    case 18:
        return "32 bit";
    case 3:
    case 19:
        return "32 bit FP";
    case 4:
    case 20:
        return "64 bit FP";
    default:
        return "";
    }
}

Relaxed<std::int32_t>& TChannelAssignment::Input(int k) noexcept {
    switch (k) {
    case 0:
        return Input1;
    case 1:
        return Input2;
    case 2:
        return Input3;
    default:
        return Input4;
    }
}

// ---- Creation and set-up (window thread) --------------------------------------------------------

TProcessor::TProcessor(const void* hostLink, IEnginePluginHost* pluginHost)
    : hostLink_(hostLink), pluginHost_(pluginHost) {
    BlockSize = 512;
    WantsMidi = false;
    ResetClaims();
    for (auto& worker : workers_) {
        worker = new TAudioThread(*this);
    }
}

TProcessor::~TProcessor() {
    StopWorkers();
    for (auto& worker : workers_) {
        delete worker;
        worker = nullptr;
    }
    buffersReady_ = false;
}

void TProcessor::SetSampleRate(float rate) {
    sampleRate_ = rate;
    oscillator_.SetSampleRate(rate);
}

void TProcessor::SetBlockSize(std::int32_t n) {
    BlockSize = n;
    const std::int32_t length = std::max<std::int32_t>(n, 0);

    // Keep each buffer's samples up to the new length; new samples are 0.0.
    std::vector<float> fresh(static_cast<std::size_t>(kBufferCount) * length, 0.0f);
    const std::int32_t kept = std::min(length, bufferLength_);
    for (int b = 0; b < kBufferCount && kept > 0; ++b) {
        std::memcpy(fresh.data() + static_cast<std::size_t>(b) * length,
                    storage_.data() + static_cast<std::size_t>(b) * bufferLength_,
                    sizeof(float) * kept);
    }
    storage_.swap(fresh);
    bufferLength_ = length;

    int next = 0;
    auto take = [&]() { return storage_.data() + static_cast<std::size_t>(next++) * length; };
    oscBuffer_ = take();
    for (auto& p : instrumentOut_) {
        p = take();
    }
    for (auto& p : effectOut_) {
        p = take();
    }
    for (auto& p : masterBus_) {
        p = take();
    }
    for (auto& p : monitorBus_) {
        p = take();
    }
    for (auto& p : auxBus_) {
        p = take();
    }
    for (auto& p : soloBus_) {
        p = take();
    }

    buffersReady_ = true;
    overload_ = false;
    StartWorkers();
}

void TProcessor::UpdateOscillator() {
    oscillator_.Configure();
}

bool TProcessor::ProcessorHasSse() noexcept {
    return __builtin_cpu_supports("sse");
}

// ---- Worker pool ----------------------------------------------------------------------------

void TProcessor::ResetClaims() noexcept {
    std::lock_guard<SpinLock> lock(ClaimLock);
    Phase = 0;
    for (auto& claimed : SlotClaimed) {
        claimed = 0;
    }
    passDone_[0] = false;
    passDone_[1] = false;
}

void TProcessor::RunWorkers() noexcept {
    for (TAudioThread* worker : workers_) {
        worker->Execute();
    }
}

void TProcessor::StartWorkers() {
    for (TAudioThread* worker : workers_) {
        worker->Resume(workerPriority_);
    }
    // The threads normally find Phase 0 and end at once; waiting here means the first block
    // never has to.
    for (TAudioThread* worker : workers_) {
        worker->Stop();
    }
}

void TProcessor::StopWorkers() {
    for (TAudioThread* worker : workers_) {
        worker->Stop();
    }
}

void TProcessor::SetWorkerPriority(std::int32_t priority) {
    if (priority < 0 || priority > 6) {
        return;
    }
    workerPriority_ = priority;
}

bool TProcessor::WaitForWorkers() noexcept {
    auto allSignalled = [this] {
        return std::all_of(workers_.begin(), workers_.end(),
                           [](const TAudioThread* w) { return w->Signalled(); });
    };
    if (allSignalled()) {
        return true;
    }
    // Spin rather than sleep: the audio thread makes no blocking calls.
    const auto deadline = std::chrono::steady_clock::now() + kWorkerWaitLimit;
    while (!allSignalled()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        __builtin_ia32_pause();
    }
    return true;
}

int TProcessor::ClaimNextSlot(int slot, int end) noexcept {
    // Once a pass has handed out its last slot, the remaining callers leave without the lock.
    const int pass = end == kInstrumentSlotCount ? 0 : 1;
    if (passDone_[pass]) {
        return end;
    }
    std::lock_guard<SpinLock> lock(ClaimLock);
    while (slot < end && SlotClaimed[slot]) {
        ++slot;
    }
    if (slot < end) {
        SlotClaimed[slot] = 1;
    } else {
        passDone_[pass] = true;
    }
    return slot;
}

void TProcessor::InstrumentPass() noexcept {
    const std::int32_t frames = bufferLength_;
    int slot = 0;
    for (;;) {
        slot = ClaimNextSlot(slot, kInstrumentSlotCount);
        if (slot >= kInstrumentSlotCount) {
            return;
        }
        IEnginePlugin* plugin = pluginHost_->SlotPlugin(slot);
        if (plugin == nullptr) {
            // Nobody to play them to: notes kept for a later plugin would sound (and hang) as
            // a burst when it arrives.
            TakeQueuedEvents(slot);
            continue;
        }
        if (PendingCount[slot] > 0) {
            const bool wantsEvents = plugin->CanDo(vst2::kCanDoReceiveVstMidiEvent) != -1;
            vst2::VstEvents* events = TakeQueuedEvents(slot);
            if (events != nullptr && wantsEvents) {
                plugin->ProcessEvents(events);
            }
        }
        float** outputs = InstrumentOut(slot);
        plugin->ProcessReplacing(nullptr, outputs, frames);
        if (TStripStates* strips = CurrentStrips.load(std::memory_order_acquire)) {
            (*strips)[kFirstInstrumentStrip + slot].MeterL =
                LevelOf(outputs[0], frames) * MeterGain[kMeterGainInstrument + slot];
        }
    }
}

void TProcessor::EffectPass() noexcept {
    const std::int32_t frames = bufferLength_;
    int slot = kInstrumentSlotCount;
    for (;;) {
        slot = ClaimNextSlot(slot, kSlotCount);
        if (slot >= kSlotCount) {
            return;
        }
        const int effect = slot - kInstrumentSlotCount;
        float** outputs = EffectOut(effect);
        IEnginePlugin* plugin = pluginHost_->SlotPlugin(slot);
        if (plugin == nullptr || !plugin->Active()) {
            // An emptied or switched-off effect must not keep replaying its last block.
            std::fill_n(outputs[0], frames, 0.0f);
            std::fill_n(outputs[1], frames, 0.0f);
            continue;
        }
        plugin->ProcessReplacing(AuxBus(effect), outputs, frames);
        if (TStripStates* strips = CurrentStrips.load(std::memory_order_acquire)) {
            (*strips)[kFirstEffectStrip + effect].MeterL =
                LevelOf(outputs[0], frames) * MeterGain[kMeterGainEffect + effect];
        }
    }
}

// ---- ProcessBlock ---------------------------------------------------------------------------

void TProcessor::BufferSwitch32(void* context, const float* const* inBuffers, std::int32_t inCount,
                                float* const* outBuffers, std::int32_t outCount,
                                std::int32_t frames) noexcept {
    auto* processor = static_cast<TProcessor*>(context);
    if (frames != processor->BufferLength()) {
        return;
    }
    processor->ProcessBlock(inBuffers, inCount, outBuffers, outCount);
}

void TProcessor::ProcessBlock(const float* const* inBuffers, std::int32_t inCount,
                              float* const* outBuffers, std::int32_t outCount) noexcept {
    if (variant_ == Variant::Sse) {
        ProcessBlockSse(inBuffers, inCount, outBuffers, outCount);
    } else {
        ProcessBlockScalar(inBuffers, inCount, outBuffers, outCount);
    }
}

void TProcessor::ProcessBlockScalar(const float* const* inBuffers, std::int32_t inCount,
                                    float* const* outBuffers, std::int32_t outCount) noexcept {
    ProcessBlockWith<ScalarKernels>(inBuffers, inCount, outBuffers, outCount);
}

void TProcessor::ProcessBlockSse(const float* const* inBuffers, std::int32_t inCount,
                                 float* const* outBuffers, std::int32_t outCount) noexcept {
    ProcessBlockWith<SseKernels>(inBuffers, inCount, outBuffers, outCount);
}

template <typename Kernels>
void TProcessor::ProcessBlockWith(const float* const* inBuffers, std::int32_t inCount,
                                  float* const* outBuffers, std::int32_t outCount) noexcept {
    RealtimeScope realtime;
    // Everything published to the block is read after this; retiring threads wait for its end.
    BlockInProgress inProgress;

    // 1. Prerequisites.
    TStripStates* const strips = CurrentStrips.load(std::memory_order_acquire);
    if (!ProcessingEnabled || hostLink_ == nullptr || pluginHost_ == nullptr || strips == nullptr ||
        !buffersReady_ || bufferLength_ <= 0) {
        return;
    }
    TStripStates& s = *strips;
    const TMixerSettings& mix = StripTable.MixerSettings;
    const std::int32_t n = bufferLength_;

    auto addScaled = [n](const float* src, float* dst, float gain) {
        Kernels::AddScaled(src, dst, gain, n);
    };
    auto addBuffer = [n](const float* src, float* dst) { Kernels::AddBuffer(src, dst, n); };
    auto fillFromOsc = [n, this](float* dst, bool withOsc) {
        if (withOsc) {
            std::memcpy(dst, oscBuffer_, sizeof(float) * n);
        } else {
            std::fill_n(dst, n, 0.0f);
        }
    };

    // 2.
    bool soloActive = false;

    // 3. Instrument pass.
    ResetClaims();
    Phase = 1;
    RunWorkers();

    // 4. Meter gains.
    {
        const bool postInputs = mix.meterspostinputs;
        const bool postVsti = mix.meterspostvsti;
        const bool postVst = mix.meterspostvst;
        const bool postOutputs = mix.meterspostoutputs;
        for (int k = 0; k < kInputStripCount; ++k) {
            MeterGain[kMeterGainInput + k] =
                postInputs ? float(s[kFirstInputStrip + k].Level) : 1.0f;
        }
        for (int i = 0; i < kInstrumentSlotCount; ++i) {
            MeterGain[kMeterGainInstrument + i] =
                postVsti ? float(s[kFirstInstrumentStrip + i].Level) : 1.0f;
        }
        for (int e = 0; e < kEffectSlotCount; ++e) {
            MeterGain[kMeterGainEffect + e] =
                postVst ? float(s[kFirstEffectStrip + e].Level) : 1.0f;
        }
        for (int m = 0; m < kMonitorCount; ++m) {
            MeterGain[kMeterGainMonitor + m] =
                postOutputs ? float(s[kFirstMonitorStrip + m].Level) : 1.0f;
        }
        for (int a = 0; a < kAuxCount; ++a) {
            MeterGain[kMeterGainAux + a] = postOutputs ? float(s[kFirstAuxStrip + a].Level) : 1.0f;
        }
        const float masterGain = postOutputs ? float(s[kMasterStrip].Level) : 1.0f;
        MeterGain[kMeterGainMaster] = masterGain;
        MeterGain[kMeterGainMaster + 1] = masterGain;
    }

    // The inputs of the four input strips (null when unassigned or out of range).
    const float* input[kInputStripCount];
    for (int k = 0; k < kInputStripCount; ++k) {
        const std::int32_t c = ChannelAssignment.Input(k);
        input[k] = (c >= 0 && c < inCount) ? inBuffers[c] : nullptr;
    }

    // 5. Input meters.
    for (int k = 0; k < kInputStripCount; ++k) {
        s[kFirstInputStrip + k].MeterL = LevelOf(input[k], n) * MeterGain[kMeterGainInput + k];
    }

    // 6. Test oscillator.
    const bool oscActive = mix.oscactive;
    if (oscActive) {
        oscillator_.Render(oscBuffer_, n);
    }

    // 7.
    if (!WaitForWorkers()) {
        overload_ = true;
    }

    // Which instruments are active, read once for the block.
    bool active[kInstrumentSlotCount];
    for (int i = 0; i < kInstrumentSlotCount; ++i) {
        IEnginePlugin* plugin = pluginHost_->SlotPlugin(i);
        active[i] = plugin != nullptr && plugin->Active();
    }

    // 8. Aux buses.
    const Relaxed<std::uint8_t>* oscToAux[kAuxCount] = {&mix.osctoaux1, &mix.osctoaux2,
                                                        &mix.osctoaux3, &mix.osctoaux4};
    for (int a = 0; a < kAuxCount; ++a) {
        float** aux = AuxBus(a);
        const bool withOsc = oscActive && *oscToAux[a];
        fillFromOsc(aux[0], withOsc);
        fillFromOsc(aux[1], withOsc);
        const float auxLevel = s[kFirstAuxStrip + a].Level;
        for (int i = 0; i < kInstrumentSlotCount; ++i) {
            const TStripState& strip = s[kFirstInstrumentStrip + i];
            if (!active[i] || strip.Mute) {
                continue;
            }
            const float send = strip.AuxSend[a] * strip.Level * auxLevel;
            const float pan = strip.Pan;
            float** out = InstrumentOut(i);
            addScaled(out[0], aux[0], (1.0f - pan) * send);
            addScaled(out[1], aux[1], pan * send);
        }
        for (int k = 0; k < kInputStripCount; ++k) {
            const TStripState& strip = s[kFirstInputStrip + k];
            if (input[k] == nullptr || strip.SoloMute) {
                continue;
            }
            // No pan on an input's send: the same amount goes to both sides.
            const float send = strip.AuxSend[a] * strip.Level * auxLevel;
            addScaled(input[k], aux[0], send);
            addScaled(input[k], aux[1], send);
        }
        s[kFirstAuxStrip + a].MeterL = LevelOf(aux[0], n) * MeterGain[kMeterGainAux + a];
    }

    // 9. Effect pass.
    Phase = 2;
    RunWorkers();
    if (!WaitForWorkers()) {
        overload_ = true;
    }
    Phase = 0;

    // 10. Master bus.
    float** master = MasterBus();
    fillFromOsc(master[0], oscActive && mix.osctomain);
    fillFromOsc(master[1], oscActive && mix.osctomain);
    for (int i = 0; i < kInstrumentSlotCount; ++i) {
        const TStripState& strip = s[kFirstInstrumentStrip + i];
        if (!active[i] || strip.Mute || strip.SoloMute) {
            continue;
        }
        const float level = strip.Level;
        const float pan = strip.Pan;
        float** out = InstrumentOut(i);
        addScaled(out[0], master[0], (1.0f - pan) * level);
        addScaled(out[1], master[1], pan * level);
    }
    for (int e = 0; e < kEffectSlotCount; ++e) {
        const TStripState& strip = s[kFirstEffectStrip + e];
        if (strip.Mute || strip.SoloMute) {
            continue;
        }
        const float level = strip.Level;
        const float pan = strip.Pan;
        float** out = EffectOut(e);
        addScaled(out[0], master[0], (1.0f - pan) * level);
        addScaled(out[1], master[1], pan * level);
    }
    for (int k = 0; k < kInputStripCount; ++k) {
        const TStripState& strip = s[kFirstInputStrip + k];
        if (input[k] == nullptr || strip.Mute || strip.SoloMute) {
            continue;
        }
        const float level = strip.Level;
        const float pan = strip.Pan;
        addScaled(input[k], master[0], (1.0f - pan) * level);
        addScaled(input[k], master[1], pan * level);
    }
    TStripState& masterStrip = s[kMasterStrip];
    masterStrip.MeterL = LevelOf(master[0], n) * MeterGain[kMeterGainMaster];
    masterStrip.MeterR = LevelOf(master[1], n) * MeterGain[kMeterGainMaster + 1];

    // 11. Monitor buses: sends before fader and pan; SoloMute never applies.
    const Relaxed<std::uint8_t>* oscToMon[kMonitorCount] = {&mix.osctomon1, &mix.osctomon2};
    for (int m = 0; m < kMonitorCount; ++m) {
        float* monitor = monitorBus_[m];
        fillFromOsc(monitor, oscActive && *oscToMon[m]);
        for (int i = 0; i < kInstrumentSlotCount; ++i) {
            if (active[i]) {
                addScaled(InstrumentOut(i)[0], monitor, s[kFirstInstrumentStrip + i].MonSend[m]);
            }
        }
        for (int k = 0; k < kInputStripCount; ++k) {
            const TStripState& strip = s[kFirstInputStrip + k];
            if (input[k] != nullptr && !strip.Mute) {
                addScaled(input[k], monitor, strip.MonSend[m]);
            }
        }
        for (int e = 0; e < kEffectSlotCount; ++e) {
            const TStripState& strip = s[kFirstEffectStrip + e];
            if (!strip.Mute) {
                addScaled(EffectOut(e)[0], monitor, strip.MonSend[m]);
            }
        }
        s[kFirstMonitorStrip + m].MeterL = LevelOf(monitor, n) * MeterGain[kMeterGainMonitor + m];
    }

    // 12. Solo bus: every soloed, unmuted source at unity gain, before its fader.
    float** solo = SoloBus();
    fillFromOsc(solo[0], oscActive && mix.osctosolo);
    fillFromOsc(solo[1], oscActive && mix.osctosolo);
    auto soloed = [](const TStripState& strip) { return strip.Solo && !strip.Mute; };
    for (int i = 0; i < kInstrumentSlotCount; ++i) {
        if (active[i] && soloed(s[kFirstInstrumentStrip + i])) {
            float** out = InstrumentOut(i);
            addBuffer(out[0], solo[0]);
            addBuffer(out[1], solo[1]);
            soloActive = true;
        }
    }
    for (int k = 0; k < kInputStripCount; ++k) {
        if (input[k] != nullptr && soloed(s[kFirstInputStrip + k])) {
            addBuffer(input[k], solo[0]);
            addBuffer(input[k], solo[1]);
            soloActive = true;
        }
    }
    for (int e = 0; e < kEffectSlotCount; ++e) {
        if (soloed(s[kFirstEffectStrip + e])) {
            float** out = EffectOut(e);
            addBuffer(out[0], solo[0]);
            addBuffer(out[1], solo[1]);
            soloActive = true;
        }
    }
    for (int m = 0; m < kMonitorCount; ++m) {
        const TStripState& strip = s[kFirstMonitorStrip + m];
        if (soloed(strip)) {
            const float level = strip.Level;
            addScaled(monitorBus_[m], solo[0], level);
            addScaled(monitorBus_[m], solo[1], level);
            soloActive = true;
        }
    }
    for (int a = 0; a < kAuxCount; ++a) {
        const TStripState& strip = s[kFirstAuxStrip + a];
        if (soloed(strip)) {
            const float level = strip.Level;
            float** aux = AuxBus(a);
            addScaled(aux[0], solo[0], level);
            addScaled(aux[1], solo[1], level);
            soloActive = true;
        }
    }
    if (soloed(masterStrip)) {
        const float level = masterStrip.Level;
        addScaled(master[0], solo[0], level);
        addScaled(master[1], solo[1], level);
        soloActive = true;
    }
    TStripState& soloStrip = s[kSoloStrip];
    soloStrip.MeterL = LevelOf(solo[0], n);
    soloStrip.MeterR = LevelOf(solo[1], n);
    soloActive_ = soloActive;

    // 13. Outputs.
    auto assigned = [outCount](std::int32_t c) { return c >= 0 && c < outCount; };
    const std::int32_t outMainL = ChannelAssignment.OutMainL;
    const std::int32_t outMainR = ChannelAssignment.OutMainR;
    const std::int32_t outSoloL = ChannelAssignment.OutSoloL;
    const std::int32_t outSoloR = ChannelAssignment.OutSoloR;
    const std::int32_t outMon[kMonitorCount] = {ChannelAssignment.OutMon1,
                                                ChannelAssignment.OutMon2};
    const float masterLevel = masterStrip.Level;
    const float masterPan = masterStrip.Pan;
    if (assigned(outMainL) && !(outMainL == outSoloL && soloActive)) {
        addScaled(master[0], outBuffers[outMainL], (1.0f - masterPan) * masterLevel);
    }
    if (assigned(outMainR) && !(outMainR == outSoloR && soloActive)) {
        addScaled(master[1], outBuffers[outMainR], masterPan * masterLevel);
    }
    const float soloLevel = mix.sololevel;
    if (assigned(outSoloL)) {
        addScaled(solo[0], outBuffers[outSoloL], soloLevel);
    }
    if (assigned(outSoloR)) {
        addScaled(solo[1], outBuffers[outSoloR], soloLevel);
    }
    for (int m = 0; m < kMonitorCount; ++m) {
        if (assigned(outMon[m])) {
            addScaled(monitorBus_[m], outBuffers[outMon[m]], s[kFirstMonitorStrip + m].Level);
        }
    }
}

template void TProcessor::ProcessBlockWith<ScalarKernels>(const float* const*, std::int32_t,
                                                          float* const*, std::int32_t) noexcept;
template void TProcessor::ProcessBlockWith<SseKernels>(const float* const*, std::int32_t,
                                                       float* const*, std::int32_t) noexcept;

} // namespace peldor
