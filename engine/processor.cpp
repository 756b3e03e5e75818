#include "engine/processor.h"

#include "engine/block_handshake.h"
#include "engine/block_mix.h"
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
/// The driver spins this many rounds on an unfinished slot before it sleeps until the slot is
/// done or the deadline comes.
constexpr int kWaitSpinRounds = 256;

long Futex(std::atomic<std::uint32_t>& word, int op, std::uint32_t value,
           const timespec* timeout = nullptr) noexcept {
    static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
    return syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), op, value, timeout, nullptr,
                   0);
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

    // Kept samples may be anything; the first block fills every bus afresh.
    std::fill(std::begin(auxSilent_), std::end(auxSilent_), false);
    std::fill(std::begin(monitorSilent_), std::end(monitorSilent_), false);
    masterSilent_ = false;
    soloSilent_ = false;
    for (auto& silent : effectSilent_) {
        silent = false;
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
                                            std::memory_order_acq_rel, std::memory_order_acquire)) {
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

void TProcessor::WakeWorkersFor(int first, int end) noexcept {
    // A pass with one plugin or none gains nothing from helpers: this thread renders it alone.
    int plugins = 0;
    for (int slot = first; slot < end && plugins < 2; ++slot) {
        plugins += pluginHost_->SlotPlugin(slot) != nullptr ? 1 : 0;
    }
    if (plugins >= 2) {
        WakeWorkers();
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
            !slotState_[slot].compare_exchange_strong(
                expected, SlotWord(generation, kSlotRendering), std::memory_order_acq_rel,
                std::memory_order_relaxed)) {
            continue;
        }
        SlotClaimed[slot] = 1;
        RenderSlot(slot);
        // Release: whoever sees the slot done sees its output buffers and meter.
        slotState_[slot].store(SlotWord(generation, kSlotDone), std::memory_order_release);
        // Counting the finished slot before looking for a sleeping driver pairs with the
        // driver announcing its sleep before its last look at the slot: one sees the other.
        slotsDone_.fetch_add(1, std::memory_order_seq_cst);
        if (driverWaiting_.load(std::memory_order_seq_cst)) {
            Futex(slotsDone_, FUTEX_WAKE_PRIVATE, 1);
        }
    }
}

bool TProcessor::WaitForPass(std::uint64_t generation, int first, int end,
                             std::chrono::steady_clock::time_point deadline, bool* rendered,
                             bool& stillLate) noexcept {
    const std::uint64_t rendering = SlotWord(generation, kSlotRendering);
    const std::uint64_t done = SlotWord(generation, kSlotDone);
    bool madeIt = true;
    for (int slot = first; slot < end; ++slot) {
        std::uint64_t state = slotState_[slot].load(std::memory_order_acquire);
        for (int round = 0; state == rendering && madeIt; ++round) {
            if (round >= kWaitSpinRounds) {
                if (!SleepWhileRendering(slot, rendering, deadline)) {
                    madeIt = false;
                    break;
                }
            } else {
                __builtin_ia32_pause();
            }
            state = slotState_[slot].load(std::memory_order_acquire);
        }
        rendered[slot - first] = state == done;
        // Still inside the plugin call of an earlier block.
        stillLate = stillLate || ((state & kStateMask) == kSlotRendering && state != rendering);
    }
    return madeIt;
}

bool TProcessor::SleepWhileRendering(int slot, std::uint64_t rendering,
                                     std::chrono::steady_clock::time_point deadline) noexcept {
    // Sleeping, not spinning or yielding: a worker that was preempted on this thread's core
    // (this thread may well outrank it) can only finish once this thread leaves the core.
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
        return false;
    }
    const std::uint32_t seen = slotsDone_.load(std::memory_order_seq_cst);
    driverWaiting_.store(true, std::memory_order_seq_cst);
    if (slotState_[slot].load(std::memory_order_seq_cst) == rendering) {
        const timespec timeout{static_cast<time_t>(left / 1'000'000'000),
                               static_cast<long>(left % 1'000'000'000)};
        Futex(slotsDone_, FUTEX_WAIT_PRIVATE, seen, &timeout);
    }
    driverWaiting_.store(false, std::memory_order_relaxed);
    return true;
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
        if (TStripStates* strips = CurrentStrips.load(std::memory_order_acquire);
            strips != nullptr && metersOn_) {
            (*strips)[kFirstInstrumentStrip + slot].MeterL =
                LevelOf(outputs[0], frames) * MeterGain[kMeterGainInstrument + slot];
        }
        return;
    }
    const int effect = slot - kInstrumentSlotCount;
    float** outputs = EffectOut(effect);
    if (plugin == nullptr || !plugin->Active()) {
        // An emptied or switched-off effect must not keep replaying its last block.
        if (!effectSilent_[effect] || !skipIdleWork_) {
            std::fill_n(outputs[0], frames, 0.0f);
            std::fill_n(outputs[1], frames, 0.0f);
            effectSilent_[effect] = true;
        }
        return;
    }
    effectSilent_[effect] = false;
    plugin->ProcessReplacing(EffectIn(effect), outputs, frames);
    if (TStripStates* strips = CurrentStrips.load(std::memory_order_acquire);
        strips != nullptr && metersOn_) {
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
    TStripStates& live = *strips;
    const std::int32_t n = bufferLength_;
    DenormalsFlushed flushed;
    driverMxcsr_ = _mm_getcsr();
    driverFpuControl_ = ReadFpuControl();
    const auto deadline =
        blockStart +
        (passDeadline_.count() > 0
             ? std::chrono::duration_cast<std::chrono::steady_clock::duration>(passDeadline_)
             : std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                   std::chrono::duration<double>(kDeadlineShare * n /
                                                 std::max(1.0f, sampleRate_.Load()))));

    TStripStates* const meters = BeginMeters(live, blockStart) ? &live : nullptr;

    // 3. Instrument pass: the workers and this thread share the slots. It starts first so
    // that the workers render while this thread takes the snapshot and the meters.
    Phase = 1;
    const std::uint64_t instrumentPass = BeginPass(0, kInstrumentSlotCount, false);
    WakeWorkersFor(0, kInstrumentSlotCount);

    TStripSnapshot snap;
    snap.Take(live);
    TMixerSnapshot mix;
    mix.Take(StripTable.MixerSettings);
    RunWorkers();
    // 6. Test oscillator, while workers may still render.
    if (mix.OscActive) {
        oscillator_.Render(oscBuffer_, n);
    }

    // 7. A slot a worker has not finished by the deadline is left out of this block. The
    // meter gains change only after the pass: the pass's meters use the previous block's.
    bool instrumentRendered[kInstrumentSlotCount];
    bool stillLate = false;
    bool madeDeadline = WaitForPass(instrumentPass, 0, kInstrumentSlotCount, deadline,
                                    instrumentRendered, stillLate);

    // 4. Meter gains, 5. input meters.
    if (meters != nullptr) {
        RefreshMeterGains(snap, mix);
    }
    const float* input[kInputStripCount];
    for (int k = 0; k < kInputStripCount; ++k) {
        const std::int32_t c = ChannelAssignment.Input(k);
        input[k] = (c >= 0 && c < inCount) ? inBuffers[c] : nullptr;
        if (meters != nullptr) {
            (*meters)[kFirstInputStrip + k].MeterL =
                LevelOf(input[k], n) * MeterGain[kMeterGainInput + k];
        }
    }
    TBlockSources sources;
    for (int i = 0; i < kInstrumentSlotCount; ++i) {
        IEnginePlugin* plugin = pluginHost_->SlotPlugin(i);
        sources.Instrument[i] = instrumentRendered[i] && plugin != nullptr && plugin->Active()
                                    ? InstrumentOut(i)
                                    : nullptr;
    }
    for (int k = 0; k < kInputStripCount; ++k) {
        sources.Input[k] = input[k];
    }

    const TBlockMixer<Kernels> mixer(n, skipIdleWork_, oscBuffer_);
    // 8. Aux buses.
    MixAuxBuses(mixer, snap, mix, sources, meters);

    // 9. Effect pass.
    Phase = 2;
    const std::uint64_t effectPass = BeginPass(kInstrumentSlotCount, kSlotCount, true);
    WakeWorkersFor(kInstrumentSlotCount, kSlotCount);
    RunWorkers();
    bool effectRendered[kEffectSlotCount];
    madeDeadline = WaitForPass(effectPass, kInstrumentSlotCount, kSlotCount, deadline,
                               effectRendered, stillLate) &&
                   madeDeadline;
    Phase = 0;
    for (int e = 0; e < kEffectSlotCount; ++e) {
        // A silent effect adds nothing anywhere; a late one is left out.
        sources.Effect[e] =
            effectRendered[e] && !(skipIdleWork_ && effectSilent_[e]) ? EffectOut(e) : nullptr;
    }
    NoteDeadline(madeDeadline, stillLate, n);

    // 10.-12. Master, monitor and solo buses; 13. outputs.
    MixMasterBus(mixer, snap, mix, sources, meters);
    MixMonitorBuses(mixer, snap, mix, sources, meters);
    const bool soloActive = MixSoloBus(mixer, snap, mix, sources, meters);
    soloActive_ = soloActive;
    MixOutputs(mixer, snap, mix, soloActive, outBuffers, outCount);
}

void TProcessor::NoteDeadline(bool madeDeadline, bool stillLate, std::int32_t frames) noexcept {
    if (!madeDeadline || stillLate) {
        // A slot still stuck in an earlier block's call keeps the warning up (a hung plugin
        // stays visible) without counting as another miss.
        overload_ = true;
        if (!madeDeadline) {
            overloadCount_ = overloadCount_ + 1;
        }
        overloadHoldFrames_ = static_cast<std::int64_t>(kOverloadHoldSeconds * sampleRate_);
    } else if (overloadHoldFrames_ > 0) {
        overloadHoldFrames_ -= frames;
    } else if (overload_) {
        overload_ = false;
    }
}

void TProcessor::MetersWanted(std::chrono::steady_clock::duration span) noexcept {
    metersWantedUntil_ = (std::chrono::steady_clock::now() + span).time_since_epoch().count();
}

bool TProcessor::BeginMeters(TStripStates& live,
                             std::chrono::steady_clock::time_point blockStart) noexcept {
    // A time rather than a block count: readers look at wall-clock intervals, and a driver
    // such as the WAV file renderer may run many times faster than real time.
    const bool wanted = blockStart.time_since_epoch().count() < metersWantedUntil_.Load();
    metersOn_ = wanted;
    if (wanted) {
        if (!meteredLastBlock_) {
            // The instrument pass meters with the gains of the block before, and none were
            // refreshed while nobody read.
            TStripSnapshot snap;
            snap.Take(live);
            TMixerSnapshot mix;
            mix.Take(StripTable.MixerSettings);
            RefreshMeterGains(snap, mix);
        }
        meteredBlocks_ = meteredBlocks_ + 1;
        metersCleared_ = nullptr;
    } else if (metersCleared_ != &live) {
        // Once per table: a reader that comes back later starts from zero, not from the
        // last peak it saw before it went away.
        for (int t = kFirstInputStrip; t < kStripCount; ++t) {
            live[t].MeterL = 0.0f;
            live[t].MeterR = 0.0f;
        }
        metersCleared_ = &live;
    }
    meteredLastBlock_ = wanted;
    return wanted;
}

void TProcessor::RefreshMeterGains(const TStripSnapshot& snap, const TMixerSnapshot& mix) noexcept {
    for (int k = 0; k < kInputStripCount; ++k) {
        MeterGain[kMeterGainInput + k] = mix.MetersPostInputs ? snap.Input(k).Level : 1.0f;
    }
    for (int i = 0; i < kInstrumentSlotCount; ++i) {
        MeterGain[kMeterGainInstrument + i] = mix.MetersPostVsti ? snap.Instrument(i).Level : 1.0f;
    }
    for (int e = 0; e < kEffectSlotCount; ++e) {
        MeterGain[kMeterGainEffect + e] = mix.MetersPostVst ? snap.Effect(e).Level : 1.0f;
    }
    for (int m = 0; m < kMonitorCount; ++m) {
        MeterGain[kMeterGainMonitor + m] = mix.MetersPostOutputs ? snap.Monitor(m).Level : 1.0f;
    }
    for (int a = 0; a < kAuxCount; ++a) {
        MeterGain[kMeterGainAux + a] = mix.MetersPostOutputs ? snap.Aux(a).Level : 1.0f;
    }
    const float masterGain = mix.MetersPostOutputs ? snap.Master().Level : 1.0f;
    MeterGain[kMeterGainMaster] = masterGain;
    MeterGain[kMeterGainMaster + 1] = masterGain;
}

template <typename Kernels>
void TProcessor::MixAuxBuses(const TBlockMixer<Kernels>& mixer, const TStripSnapshot& snap,
                             const TMixerSnapshot& mix, const TBlockSources& sources,
                             TStripStates* meters) noexcept {
    for (int a = 0; a < kAuxCount; ++a) {
        float** aux = AuxBus(a);
        bool& silent = auxSilent_[a];
        mixer.Start(aux, 2, mix.OscActive && mix.OscToAux[a], silent);
        const float auxLevel = snap.Aux(a).Level;
        for (int i = 0; i < kInstrumentSlotCount; ++i) {
            const TStripValues& strip = snap.Instrument(i);
            if (sources.Instrument[i] == nullptr || strip.Mute) {
                continue;
            }
            const float send = strip.AuxSend[a] * strip.Level * auxLevel;
            mixer.AddScaled(sources.Instrument[i][0], aux[0], (1.0f - strip.Pan) * send, silent);
            mixer.AddScaled(sources.Instrument[i][1], aux[1], strip.Pan * send, silent);
        }
        for (int k = 0; k < kInputStripCount; ++k) {
            const TStripValues& strip = snap.Input(k);
            if (sources.Input[k] == nullptr || strip.SoloMute) {
                continue;
            }
            // No pan on an input's send: the same amount goes to both sides.
            const float send = strip.AuxSend[a] * strip.Level * auxLevel;
            mixer.AddScaled(sources.Input[k], aux[0], send, silent);
            mixer.AddScaled(sources.Input[k], aux[1], send, silent);
        }
        if (meters != nullptr) {
            (*meters)[kFirstAuxStrip + a].MeterL =
                mixer.Level(aux[0], silent) * MeterGain[kMeterGainAux + a];
        }
    }
}

template <typename Kernels>
void TProcessor::MixMasterBus(const TBlockMixer<Kernels>& mixer, const TStripSnapshot& snap,
                              const TMixerSnapshot& mix, const TBlockSources& sources,
                              TStripStates* meters) noexcept {
    float** master = MasterBus();
    bool& silent = masterSilent_;
    mixer.Start(master, 2, mix.OscActive && mix.OscToMain, silent);
    auto addPair = [&](float* const* pair, const TStripValues& strip) {
        mixer.AddScaled(pair[0], master[0], (1.0f - strip.Pan) * strip.Level, silent);
        mixer.AddScaled(pair[1], master[1], strip.Pan * strip.Level, silent);
    };
    for (int i = 0; i < kInstrumentSlotCount; ++i) {
        const TStripValues& strip = snap.Instrument(i);
        if (sources.Instrument[i] != nullptr && !strip.Mute && !strip.SoloMute) {
            addPair(sources.Instrument[i], strip);
        }
    }
    for (int e = 0; e < kEffectSlotCount; ++e) {
        const TStripValues& strip = snap.Effect(e);
        if (sources.Effect[e] != nullptr && !strip.Mute && !strip.SoloMute) {
            addPair(sources.Effect[e], strip);
        }
    }
    for (int k = 0; k < kInputStripCount; ++k) {
        const TStripValues& strip = snap.Input(k);
        if (sources.Input[k] != nullptr && !strip.Mute && !strip.SoloMute) {
            const float* pair[2] = {sources.Input[k], sources.Input[k]};
            mixer.AddScaled(pair[0], master[0], (1.0f - strip.Pan) * strip.Level, silent);
            mixer.AddScaled(pair[1], master[1], strip.Pan * strip.Level, silent);
        }
    }
    if (meters != nullptr) {
        TStripState& masterStrip = (*meters)[kMasterStrip];
        masterStrip.MeterL = mixer.Level(master[0], silent) * MeterGain[kMeterGainMaster];
        masterStrip.MeterR = mixer.Level(master[1], silent) * MeterGain[kMeterGainMaster + 1];
    }
}

template <typename Kernels>
void TProcessor::MixMonitorBuses(const TBlockMixer<Kernels>& mixer, const TStripSnapshot& snap,
                                 const TMixerSnapshot& mix, const TBlockSources& sources,
                                 TStripStates* meters) noexcept {
    // Sends before fader and pan; SoloMute never applies.
    for (int m = 0; m < kMonitorCount; ++m) {
        float* monitor = monitorBus_[m];
        bool& silent = monitorSilent_[m];
        mixer.Start(&monitor, 1, mix.OscActive && mix.OscToMon[m], silent);
        for (int i = 0; i < kInstrumentSlotCount; ++i) {
            if (sources.Instrument[i] != nullptr) {
                mixer.AddScaled(sources.Instrument[i][0], monitor, snap.Instrument(i).MonSend[m],
                                silent);
            }
        }
        for (int k = 0; k < kInputStripCount; ++k) {
            const TStripValues& strip = snap.Input(k);
            if (sources.Input[k] != nullptr && !strip.Mute) {
                mixer.AddScaled(sources.Input[k], monitor, strip.MonSend[m], silent);
            }
        }
        for (int e = 0; e < kEffectSlotCount; ++e) {
            const TStripValues& strip = snap.Effect(e);
            if (sources.Effect[e] != nullptr && !strip.Mute) {
                mixer.AddScaled(sources.Effect[e][0], monitor, strip.MonSend[m], silent);
            }
        }
        if (meters != nullptr) {
            (*meters)[kFirstMonitorStrip + m].MeterL =
                mixer.Level(monitor, silent) * MeterGain[kMeterGainMonitor + m];
        }
    }
}

template <typename Kernels>
bool TProcessor::MixSoloBus(const TBlockMixer<Kernels>& mixer, const TStripSnapshot& snap,
                            const TMixerSnapshot& mix, const TBlockSources& sources,
                            TStripStates* meters) noexcept {
    // Every soloed, unmuted source at unity gain, before its fader.
    float** solo = SoloBus();
    bool& silent = soloSilent_;
    mixer.Start(solo, 2, mix.OscActive && mix.OscToSolo, silent);
    bool soloActive = false;
    for (int i = 0; i < kInstrumentSlotCount; ++i) {
        if (sources.Instrument[i] != nullptr && snap.Instrument(i).Soloed()) {
            mixer.AddBuffer(sources.Instrument[i][0], solo[0], silent);
            mixer.AddBuffer(sources.Instrument[i][1], solo[1], silent);
            soloActive = true;
        }
    }
    for (int k = 0; k < kInputStripCount; ++k) {
        if (sources.Input[k] != nullptr && snap.Input(k).Soloed()) {
            mixer.AddBuffer(sources.Input[k], solo[0], silent);
            mixer.AddBuffer(sources.Input[k], solo[1], silent);
            soloActive = true;
        }
    }
    for (int e = 0; e < kEffectSlotCount; ++e) {
        // A silent effect still counts as a soloed source.
        if (snap.Effect(e).Soloed() && sources.Effect[e] != nullptr) {
            mixer.AddBuffer(sources.Effect[e][0], solo[0], silent);
            mixer.AddBuffer(sources.Effect[e][1], solo[1], silent);
        }
        soloActive = soloActive || snap.Effect(e).Soloed();
    }
    for (int m = 0; m < kMonitorCount; ++m) {
        const TStripValues& strip = snap.Monitor(m);
        if (strip.Soloed()) {
            if (!(monitorSilent_[m] && skipIdleWork_)) {
                mixer.AddScaled(monitorBus_[m], solo[0], strip.Level, silent);
                mixer.AddScaled(monitorBus_[m], solo[1], strip.Level, silent);
            }
            soloActive = true;
        }
    }
    for (int a = 0; a < kAuxCount; ++a) {
        const TStripValues& strip = snap.Aux(a);
        if (strip.Soloed()) {
            if (!(auxSilent_[a] && skipIdleWork_)) {
                float** aux = AuxBus(a);
                mixer.AddScaled(aux[0], solo[0], strip.Level, silent);
                mixer.AddScaled(aux[1], solo[1], strip.Level, silent);
            }
            soloActive = true;
        }
    }
    if (snap.Master().Soloed()) {
        if (!(masterSilent_ && skipIdleWork_)) {
            float** master = MasterBus();
            mixer.AddScaled(master[0], solo[0], snap.Master().Level, silent);
            mixer.AddScaled(master[1], solo[1], snap.Master().Level, silent);
        }
        soloActive = true;
    }
    if (meters != nullptr) {
        TStripState& soloStrip = (*meters)[kSoloStrip];
        soloStrip.MeterL = mixer.Level(solo[0], silent);
        soloStrip.MeterR = mixer.Level(solo[1], silent);
    }
    return soloActive;
}

template <typename Kernels>
void TProcessor::MixOutputs(const TBlockMixer<Kernels>& mixer, const TStripSnapshot& snap,
                            const TMixerSnapshot& mix, bool soloActive, float* const* outBuffers,
                            std::int32_t outCount) noexcept {
    auto assigned = [outCount](std::int32_t c) { return c >= 0 && c < outCount; };
    const std::int32_t outMainL = ChannelAssignment.OutMainL;
    const std::int32_t outMainR = ChannelAssignment.OutMainR;
    const std::int32_t outSoloL = ChannelAssignment.OutSoloL;
    const std::int32_t outSoloR = ChannelAssignment.OutSoloR;
    const std::int32_t outMon[kMonitorCount] = {ChannelAssignment.OutMon1,
                                                ChannelAssignment.OutMon2};
    float** master = MasterBus();
    float** solo = SoloBus();
    const float masterLevel = snap.Master().Level;
    const float masterPan = snap.Master().Pan;
    if (assigned(outMainL) && !(outMainL == outSoloL && soloActive)) {
        mixer.AddToOutput(master[0], outBuffers[outMainL], (1.0f - masterPan) * masterLevel,
                          masterSilent_);
    }
    if (assigned(outMainR) && !(outMainR == outSoloR && soloActive)) {
        mixer.AddToOutput(master[1], outBuffers[outMainR], masterPan * masterLevel, masterSilent_);
    }
    if (assigned(outSoloL)) {
        mixer.AddToOutput(solo[0], outBuffers[outSoloL], mix.SoloLevel, soloSilent_);
    }
    if (assigned(outSoloR)) {
        mixer.AddToOutput(solo[1], outBuffers[outSoloR], mix.SoloLevel, soloSilent_);
    }
    for (int m = 0; m < kMonitorCount; ++m) {
        if (assigned(outMon[m])) {
            mixer.AddToOutput(monitorBus_[m], outBuffers[outMon[m]], snap.Monitor(m).Level,
                              monitorSilent_[m]);
        }
    }
}

template void TProcessor::ProcessBlockWith<ScalarKernels>(const float* const*, std::int32_t,
                                                          float* const*, std::int32_t) noexcept;
template void TProcessor::ProcessBlockWith<SseKernels>(const float* const*, std::int32_t,
                                                       float* const*, std::int32_t) noexcept;

} // namespace peldor
