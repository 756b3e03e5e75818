#include "engine/processor.h"

#include "engine/block_handshake.h"
#include "engine/event_queue.h"
#include "engine/mix_kernels.h"
#include "engine/realtime_scope.h"
#include "engine/thread_priority.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <xmmintrin.h>

namespace peldor {

Relaxed<bool> ProcessingEnabled{false};
Relaxed<std::int32_t> BlockSize{512};
Relaxed<bool> WantsMidi{false};
std::array<Relaxed<float>, kMeterGainCount> MeterGain;
TChannelAssignment ChannelAssignment;
Relaxed<std::uint8_t> Phase{0};
std::array<Relaxed<std::uint8_t>, kSlotCount> SlotClaimed;

namespace {

constexpr int kMaxWorkers = 8;
// Engine buffers: oscillator, 16 instrument pairs, 4 effect pairs, master pair, 2 monitors,
// 4 aux pairs, solo pair, and the 4 effect input pairs.
constexpr int kBufferCount = 63;

// Slot states, in the low two bits of a slot's state word; the rest is the pass generation.
constexpr std::uint64_t kSlotFree = 0;
constexpr std::uint64_t kSlotRendering = 1;
constexpr std::uint64_t kSlotDone = 2;
constexpr std::uint64_t kStateMask = 3;
constexpr std::uint64_t SlotWord(std::uint64_t generation, std::uint64_t state) {
    return generation * 4 + state;
}

/// The driver waits for the workers this share of the period (from the start of the block).
constexpr double kDeadlineShare = 0.9;
/// After a missed deadline Overload stays set this long, so that the window's 50 ms timer
/// sees it, and clears with the first block after it that makes its deadline.
constexpr double kOverloadHoldSeconds = 0.25;
/// A worker polls for the next pass this long before it sleeps: the effect pass follows the
/// instrument pass within microseconds.
constexpr auto kWorkerSpin = std::chrono::microseconds(30);
/// The driver spins this many rounds on an unfinished slot before it starts yielding.
constexpr int kWaitSpinRounds = 256;

long Futex(std::atomic<std::uint32_t>& word, int op, std::uint32_t value) noexcept {
    static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
    return syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), op, value, nullptr,
                   nullptr, 0);
}

int DefaultWorkerCount() {
    if (const char* text = std::getenv("PELDOR_WORKERS")) {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && value >= 0 && value <= kMaxWorkers) {
            return static_cast<int>(value);
        }
    }
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores - 1, 0, kMaxWorkers);
}

std::uint16_t ReadFpuControl() noexcept {
    std::uint16_t control = 0;
    asm volatile("fnstcw %0" : "=m"(control));
    return control;
}

void LoadFpuControl(std::uint16_t control) noexcept {
    asm volatile("fldcw %0" : : "m"(control));
}

/// Flush-to-zero and denormals-are-zero for the block, restored afterwards: plugins and the
/// mixing never slow down on denormal tails.
class DenormalsFlushed {
public:
    DenormalsFlushed() noexcept : saved(_mm_getcsr()) { _mm_setcsr(saved | kFlushBits); }
    ~DenormalsFlushed() { _mm_setcsr(saved); }
    DenormalsFlushed(const DenormalsFlushed&) = delete;
    DenormalsFlushed& operator=(const DenormalsFlushed&) = delete;

    static constexpr std::uint32_t kFlushBits = 0x8040; // FTZ | DAZ

private:
    std::uint32_t saved;
};

} // namespace

/// One worker: a thread that sleeps until the driver's thread publishes a pass, takes part in
/// it, and sleeps again, until StopWorkers.
class TAudioThread {
public:
    explicit TAudioThread(TProcessor& owner) : processor(owner) {}
    ~TAudioThread() { Join(); }
    TAudioThread(const TAudioThread&) = delete;
    TAudioThread& operator=(const TAudioThread&) = delete;

    /// Window thread. Starts the thread when it is not running.
    void Start() {
        if (thread.joinable()) {
            return;
        }
        mark = AcquireRenderMark();
        if (mark < 0) {
            return;
        }
        thread = std::thread([this] { Body(); });
        // The id is needed for the priority; the thread publishes it first thing.
        while (tid.load(std::memory_order_acquire) == 0) {
            std::this_thread::yield();
        }
    }

    /// Window thread, after the processor asked every worker to stop.
    void Join() {
        if (thread.joinable()) {
            thread.join();
            tid.store(0, std::memory_order_release);
            ReleaseRenderMark(mark);
            mark = -1;
        }
    }

    bool Running() const noexcept { return tid.load(std::memory_order_acquire) != 0; }
    pid_t ThreadId() const noexcept { return tid.load(std::memory_order_acquire); }
    pthread_t Handle() noexcept { return thread.native_handle(); }

private:
    void Body() noexcept {
        std::uint32_t seen = processor.wakeCount_.load(std::memory_order_acquire);
        tid.store(CurrentThreadId(), std::memory_order_release);
        for (;;) {
            seen = processor.AwaitWake(seen);
            if (processor.stopping_.load(std::memory_order_acquire)) {
                return;
            }
            NoteRenderStarted(mark);
            {
                RealtimeScope realtime;
                // The driver thread's floating-point state, denormals flushed.
                const std::uint32_t savedMxcsr = _mm_getcsr();
                const std::uint16_t savedFpu = ReadFpuControl();
                _mm_setcsr(processor.driverMxcsr_);
                LoadFpuControl(processor.driverFpuControl_);
                processor.RunWorkers();
                LoadFpuControl(savedFpu);
                _mm_setcsr(savedMxcsr);
            }
            NoteRenderFinished(mark);
        }
    }

    TProcessor& processor;
    std::thread thread;
    std::atomic<pid_t> tid{0};
    int mark = -1;
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
    : hostLink_(hostLink), pluginHost_(pluginHost), workerCount_(DefaultWorkerCount()) {
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
    // A worker still inside a late plugin call may be writing into the buffers.
    StopWorkers();
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
    for (auto& p : effectIn_) {
        p = take();
    }

    buffersReady_ = true;
    overload_ = false;
    overloadHoldFrames_ = 0;
    ResetClaims();
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
    Phase = 0;
    BeginPass(0, kSlotCount, false);
}

std::uint64_t TProcessor::BeginPass(int first, int end, bool copyEffectInputs) noexcept {
    const std::uint64_t generation = passGeneration_.load(std::memory_order_relaxed) + 1;
    for (int slot = first; slot < end; ++slot) {
        std::atomic<std::uint64_t>& state = slotState_[slot];
        std::uint64_t seen = state.load(std::memory_order_acquire);
        // A slot still rendering from an earlier pass stays claimed: its plugin is busy. It
        // can only move on to done meanwhile, which the exchange notices.
        while ((seen & kStateMask) != kSlotRendering &&
               !state.compare_exchange_weak(seen, SlotWord(generation, kSlotFree),
                                            std::memory_order_acq_rel,
                                            std::memory_order_acquire)) {
        }
        const bool late = (seen & kStateMask) == kSlotRendering;
        SlotClaimed[slot] = late ? 1 : 0;
        // Nobody can claim the slot before the generation is published, so its input copy is
        // ours to write; a late effect keeps reading the copy of its own block.
        if (copyEffectInputs && !late && pluginHost_->SlotPlugin(slot) != nullptr) {
            const int effect = slot - kInstrumentSlotCount;
            std::memcpy(effectIn_[2 * effect], auxBus_[2 * effect], sizeof(float) * bufferLength_);
            std::memcpy(effectIn_[2 * effect + 1], auxBus_[2 * effect + 1],
                        sizeof(float) * bufferLength_);
        }
    }
    // Release: a claimer that reads the generation sees the slots set free and the pass's
    // inputs (events, aux copies) ready.
    passGeneration_.store(generation, std::memory_order_release);
    return generation;
}

void TProcessor::WakeWorkers() noexcept {
    wakeCount_.fetch_add(1, std::memory_order_seq_cst);
    if (sleepers_.load(std::memory_order_seq_cst) > 0) {
        Futex(wakeCount_, FUTEX_WAKE_PRIVATE, INT_MAX);
    }
}

std::uint32_t TProcessor::AwaitWake(std::uint32_t seen) noexcept {
    const auto spinEnd = std::chrono::steady_clock::now() + kWorkerSpin;
    std::uint32_t now = wakeCount_.load(std::memory_order_acquire);
    while (now == seen && std::chrono::steady_clock::now() < spinEnd) {
        __builtin_ia32_pause();
        now = wakeCount_.load(std::memory_order_acquire);
    }
    if (now != seen) {
        return now;
    }
    // Counting sleepers before the last look pairs with WakeWorkers counting the wake before
    // it looks at sleepers: one of the two sees the other.
    sleepers_.fetch_add(1, std::memory_order_seq_cst);
    while ((now = wakeCount_.load(std::memory_order_seq_cst)) == seen) {
        Futex(wakeCount_, FUTEX_WAIT_PRIVATE, seen);
    }
    sleepers_.fetch_sub(1, std::memory_order_relaxed);
    return now;
}

void TProcessor::RunWorkers() noexcept {
    const std::uint64_t generation = passGeneration_.load(std::memory_order_acquire);
    const std::uint8_t phase = Phase;
    if (phase != 1 && phase != 2) {
        return;
    }
    const int first = phase == 1 ? 0 : kInstrumentSlotCount;
    const int end = phase == 1 ? kInstrumentSlotCount : kSlotCount;
    const std::uint64_t free = SlotWord(generation, kSlotFree);
    for (int slot = first; slot < end; ++slot) {
        std::uint64_t expected = free;
        if (slotState_[slot].load(std::memory_order_relaxed) != free ||
            !slotState_[slot].compare_exchange_strong(expected,
                                                      SlotWord(generation, kSlotRendering),
                                                      std::memory_order_acq_rel,
                                                      std::memory_order_relaxed)) {
            continue;
        }
        SlotClaimed[slot] = 1;
        RenderSlot(slot);
        // Release: whoever sees the slot done sees its output buffers and meter.
        slotState_[slot].store(SlotWord(generation, kSlotDone), std::memory_order_release);
    }
}

bool TProcessor::WaitForPass(std::uint64_t generation, int first, int end,
                             std::chrono::steady_clock::time_point deadline,
                             bool* rendered) noexcept {
    const std::uint64_t rendering = SlotWord(generation, kSlotRendering);
    const std::uint64_t done = SlotWord(generation, kSlotDone);
    bool madeIt = true;
    for (int slot = first; slot < end; ++slot) {
        std::uint64_t state = slotState_[slot].load(std::memory_order_acquire);
        for (int round = 0; state == rendering && madeIt; ++round) {
            if (round >= kWaitSpinRounds) {
                if (std::chrono::steady_clock::now() >= deadline) {
                    madeIt = false;
                    break;
                }
                // Let a worker that shares this core finish.
                sched_yield();
            } else {
                __builtin_ia32_pause();
            }
            state = slotState_[slot].load(std::memory_order_acquire);
        }
        rendered[slot - first] = state == done;
    }
    return madeIt;
}

void TProcessor::StartWorkers() {
    if (workerCount_ == 0) {
        return;
    }
    stopping_.store(false, std::memory_order_release);
    for (int k = 0; k < workerCount_; ++k) {
        workers_[k]->Start();
    }
    SetWorkerPriority(workerPriority_);
}

void TProcessor::StopWorkers() {
    stopping_.store(true, std::memory_order_seq_cst);
    wakeCount_.fetch_add(1, std::memory_order_seq_cst);
    Futex(wakeCount_, FUTEX_WAKE_PRIVATE, INT_MAX);
    for (TAudioThread* worker : workers_) {
        worker->Join();
    }
    stopping_.store(false, std::memory_order_release);
}

void TProcessor::SetWorkerCount(int count) {
    workerCount_ = std::clamp(count, 0, kMaxWorkers);
}

int TProcessor::RunningWorkers() const noexcept {
    return static_cast<int>(std::count_if(workers_.begin(), workers_.end(),
                                          [](const TAudioThread* w) { return w->Running(); }));
}

int TProcessor::WorkerThreadId(int k) const noexcept {
    if (k < 0 || k >= kMaxWorkers) {
        return 0;
    }
    return workers_[k]->ThreadId();
}

void TProcessor::SetWorkerPriority(std::int32_t priority) {
    if (priority < 0 || priority > 6) {
        return;
    }
    workerPriority_ = priority;
    // Just below the driver's thread, which must never wait behind a worker.
    const int realtime =
        driverRealtimePriority_ > 1 ? driverRealtimePriority_ - 1 : kDefaultWorkerRealtimePriority;
    bool refused = false;
    for (TAudioThread* worker : workers_) {
        if (worker->Running()) {
            refused = ApplyThreadPriority(worker->Handle(), worker->ThreadId(), priority, realtime)
                          .RealtimeRefused ||
                      refused;
        }
    }
    realtimeRefused_ = refused;
}

void TProcessor::SetDriverRealtimePriority(std::int32_t priority) {
    driverRealtimePriority_ = priority;
    SetWorkerPriority(workerPriority_);
}

void TProcessor::RenderSlot(int slot) noexcept {
    const std::int32_t frames = bufferLength_;
    IEnginePlugin* plugin = pluginHost_->SlotPlugin(slot);
    if (slot < kInstrumentSlotCount) {
        if (plugin == nullptr) {
            // Nobody to play them to: notes kept for a later plugin would sound (and hang) as
            // a burst when it arrives.
            TakeQueuedEvents(slot);
            return;
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
        return;
    }
    const int effect = slot - kInstrumentSlotCount;
    float** outputs = EffectOut(effect);
    if (plugin == nullptr || !plugin->Active()) {
        // An emptied or switched-off effect must not keep replaying its last block.
        std::fill_n(outputs[0], frames, 0.0f);
        std::fill_n(outputs[1], frames, 0.0f);
        return;
    }
    plugin->ProcessReplacing(EffectIn(effect), outputs, frames);
    if (TStripStates* strips = CurrentStrips.load(std::memory_order_acquire)) {
        (*strips)[kFirstEffectStrip + effect].MeterL =
            LevelOf(outputs[0], frames) * MeterGain[kMeterGainEffect + effect];
    }
}

void TProcessor::InstrumentPass() noexcept {
    const std::uint8_t saved = Phase;
    Phase = 1;
    RunWorkers();
    Phase = saved;
}

void TProcessor::EffectPass() noexcept {
    const std::uint8_t saved = Phase;
    Phase = 2;
    RunWorkers();
    Phase = saved;
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
    const auto blockStart = std::chrono::steady_clock::now();

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

    DenormalsFlushed flushed;
    driverMxcsr_ = _mm_getcsr();
    driverFpuControl_ = ReadFpuControl();
    const auto deadline =
        blockStart + (passDeadline_.count() > 0
                          ? std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                passDeadline_)
                          : std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(kDeadlineShare * n /
                                                              std::max(1.0f, sampleRate_.Load()))));
    bool madeDeadline = true;

    // 2.
    bool soloActive = false;

    // 3. Instrument pass: the workers and this thread share the slots.
    Phase = 1;
    const std::uint64_t instrumentPass = BeginPass(0, kInstrumentSlotCount, false);
    WakeWorkers();
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

    // 7. A slot a worker has not finished by the deadline is left out of this block.
    bool instrumentRendered[kInstrumentSlotCount];
    madeDeadline = WaitForPass(instrumentPass, 0, kInstrumentSlotCount, deadline,
                               instrumentRendered) &&
                   madeDeadline;

    // Which instruments are active, read once for the block.
    bool active[kInstrumentSlotCount];
    for (int i = 0; i < kInstrumentSlotCount; ++i) {
        IEnginePlugin* plugin = pluginHost_->SlotPlugin(i);
        active[i] = instrumentRendered[i] && plugin != nullptr && plugin->Active();
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
    const std::uint64_t effectPass = BeginPass(kInstrumentSlotCount, kSlotCount, true);
    WakeWorkers();
    RunWorkers();
    bool effectRendered[kEffectSlotCount];
    madeDeadline = WaitForPass(effectPass, kInstrumentSlotCount, kSlotCount, deadline,
                               effectRendered) &&
                   madeDeadline;
    Phase = 0;
    if (!madeDeadline) {
        overload_ = true;
        overloadCount_ = overloadCount_ + 1;
        overloadHoldFrames_ = static_cast<std::int64_t>(kOverloadHoldSeconds * sampleRate_);
    } else if (overloadHoldFrames_ > 0) {
        overloadHoldFrames_ -= n;
    } else if (overload_) {
        overload_ = false;
    }

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
        if (!effectRendered[e] || strip.Mute || strip.SoloMute) {
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
            if (effectRendered[e] && !strip.Mute) {
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
        if (effectRendered[e] && soloed(s[kFirstEffectStrip + e])) {
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
