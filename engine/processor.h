#pragma once
// TProcessor: the audio engine. Once per driver buffer ProcessBlock has the instruments and
// effects render, mixes them and the driver inputs through the channel strips into the master,
// monitor, aux and solo buses, writes the buses into the assigned outputs and, while a window
// or the status line reads them, leaves meters.

#include "engine/engine_plugin.h"
#include "engine/oscillator.h"
#include "engine/relaxed.h"
#include "engine/strip_table.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace peldor {

// ---- Engine globals -----------------------------------------------------------------------------

/// Set by the start-up sequence once the main window exists and the plugins are scanned.
extern Relaxed<bool> ProcessingEnabled;
/// Samples per buffer: 512 at start, then the driver's buffer size.
extern Relaxed<std::int32_t> BlockSize;
/// Set by any plugin that calls audioMasterWantMidi; the plugin scan clears and reads it.
extern Relaxed<bool> WantsMidi;

inline constexpr int kMeterGainCount = 32;
/// How long one MetersWanted call keeps the blocks computing meters.
inline constexpr std::chrono::milliseconds kMetersWantedSpan{1000};
/// SCHED_FIFO priority of time-critical workers when the driver's is not known.
inline constexpr int kDefaultWorkerRealtimePriority = 10;
// Layout of MeterGain: 4 inputs, 16 instruments, 4 effects, 2 monitors, 4 aux, 2 master.
inline constexpr int kMeterGainInput = 0;
inline constexpr int kMeterGainInstrument = 4;
inline constexpr int kMeterGainEffect = 20;
inline constexpr int kMeterGainMonitor = 24;
inline constexpr int kMeterGainAux = 26;
inline constexpr int kMeterGainMaster = 30;
/// Meter gains, refreshed by every block that computes meters.
extern std::array<Relaxed<float>, kMeterGainCount> MeterGain;

/// Driver channel of each input strip and each bus output, or -1 when unassigned. Written by
/// the audio settings (window thread), read by ProcessBlock every block.
struct TChannelAssignment {
    Relaxed<std::int32_t> Input1{-1}, Input2{-1}, Input3{-1}, Input4{-1};
    Relaxed<std::int32_t> OutMainL{-1}, OutMainR{-1};
    Relaxed<std::int32_t> OutMon1{-1}, OutMon2{-1};
    Relaxed<std::int32_t> OutSoloL{-1}, OutSoloR{-1};

    Relaxed<std::int32_t>& Input(int k) noexcept; // k = 0..3
};
extern TChannelAssignment ChannelAssignment;

// ---- Worker pass state --------------------------------------------------------------------------

/// 0 idle, 1 instrument pass, 2 effect pass.
extern Relaxed<std::uint8_t> Phase;
/// Slot already taken in the current pass (set by the thread that claims it).
extern std::array<Relaxed<std::uint8_t>, kSlotCount> SlotClaimed;

/// audioMasterWantMidi notification for every plugin: sets WantsMidi. Any thread.
void NoteWantsMidi() noexcept;

/// Status-bar text of an ASIO sample-type code ("16 bit", "24 bit", "32 bit FP", ...).
std::string SampleTypeLabel(std::int32_t sampleType);

/// Signature of the host's 32-bit buffer handler: the driver's float buffers, in and out, of
/// frames samples each.
using TBufferSwitch32Proc = void (*)(void* context, const float* const* inBuffers,
                                     std::int32_t inCount, float* const* outBuffers,
                                     std::int32_t outCount, std::int32_t frames);

class TAudioThread;
struct TStripSnapshot;
struct TMixerSnapshot;
struct TBlockSources;
template <typename Kernels> class TBlockMixer;

class TProcessor {
public:
    /// Mixing-kernel variant of ProcessBlock.
    enum class Variant { Scalar, Sse };

    /// hostLink and pluginHost stand for the main window's ASIO and VST host components;
    /// ProcessBlock does nothing while either is null. Creates the 8 workers (not started).
    TProcessor(const void* hostLink, IEnginePluginHost* pluginHost);
    ~TProcessor();
    TProcessor(const TProcessor&) = delete;
    TProcessor& operator=(const TProcessor&) = delete;

    /// Window thread. Stores the rate and passes it to the oscillator.
    void SetSampleRate(float rate);
    /// Window thread, driver stopped. Resizes the 55 buffers to n samples (n <= 0 gives empty
    /// buffers and ProcessBlock then does nothing), sets BuffersReady, clears Overload and
    /// starts the workers.
    void SetBlockSize(std::int32_t n);
    /// Window thread. The oscillator takes over the mixer settings.
    void UpdateOscillator();

    /// Chooses the mixing kernels used by ProcessBlock. Window thread, driver stopped.
    void SetVariant(Variant variant) noexcept { variant_ = variant; }
    Variant GetVariant() const noexcept { return variant_; }
    /// True when the processor has SSE (the variant the main program installs).
    static bool ProcessorHasSse() noexcept;

    /// One driver buffer. Driver callback thread; allocates nothing, waits on no lock. The
    /// output buffers arrive prepared by the host and are added into.
    void ProcessBlock(const float* const* inBuffers, std::int32_t inCount, float* const* outBuffers,
                      std::int32_t outCount) noexcept;
    void ProcessBlockScalar(const float* const* inBuffers, std::int32_t inCount,
                            float* const* outBuffers, std::int32_t outCount) noexcept;
    void ProcessBlockSse(const float* const* inBuffers, std::int32_t inCount,
                         float* const* outBuffers, std::int32_t outCount) noexcept;
    /// ProcessBlock as a TBufferSwitch32Proc; context is the processor. A block whose length
    /// differs from the engine's buffers (a driver reconfigured without SetBlockSize) is left
    /// as the host prepared it rather than overrun.
    static void BufferSwitch32(void* context, const float* const* inBuffers, std::int32_t inCount,
                               float* const* outBuffers, std::int32_t outCount,
                               std::int32_t frames) noexcept;

    // ---- Worker pool ----
    // The workers are threads that live from SetBlockSize to StopWorkers. In every block the
    // driver's thread publishes the instrument pass and then the effect pass, wakes the
    // workers, and renders slots itself; each slot is claimed by exactly one thread per pass
    // (an atomic exchange on its state), so no plugin is ever called from two threads at once.

    /// Phase 0 and every claim cleared, except slots a late render still holds.
    void ResetClaims() noexcept;
    /// Runs the work routine for the current Phase on the calling thread: claims and renders
    /// slots until none is left. The thread running ProcessBlock calls it for every pass.
    void RunWorkers() noexcept;
    /// Ends the worker threads and waits for them without a time limit (a worker finishes
    /// the plugin call it is in). Blocks keep running on the driver's thread alone. Window
    /// thread.
    void StopWorkers();
    /// 0..6: idle, lowest, lower, normal, higher, highest, time-critical; else ignored.
    /// Applies to the running workers at once and to every worker started later. Window thread.
    void SetWorkerPriority(std::int32_t priority);
    /// Last priority applied by SetWorkerPriority (3, normal, at creation).
    std::int32_t WorkerPriority() const noexcept { return workerPriority_; }
    /// The driver thread's real-time priority (JACK's, say); time-critical workers sit one
    /// below it. 0 when unknown: the workers then take kDefaultWorkerRealtimePriority.
    void SetDriverRealtimePriority(std::int32_t priority);
    std::int32_t DriverRealtimePriority() const noexcept { return driverRealtimePriority_; }
    /// Real-time scheduling was refused to a worker: they run at nice values instead.
    bool WorkerRealtimeRefused() const noexcept { return realtimeRefused_; }

    /// Workers to start: the machine's cores minus one, at most 8, 0 on one core; the
    /// environment variable PELDOR_WORKERS (0..8) overrides it, and 0 renders every plugin on
    /// the driver's thread. Takes effect at the next SetBlockSize. Window thread.
    void SetWorkerCount(int count);
    int WorkerCount() const noexcept { return workerCount_; }
    /// Workers whose threads are running now.
    int RunningWorkers() const noexcept;
    /// Kernel thread id of running worker k (0-based), or 0.
    int WorkerThreadId(int k) const noexcept;

    /// How long the driver's thread waits for slots that workers still render, counted from
    /// the start of the block. Zero (the default) means 90 % of the period; an offline
    /// render, which has no period to keep, sets a long one. Window thread.
    void SetPassDeadline(std::chrono::microseconds limit) noexcept { passDeadline_ = limit; }
    /// Off: every bus is filled and every source added, however idle (the reference the
    /// skipping is tested against). On by default. Window thread, driver stopped.
    void SetSkipIdleWork(bool skip) noexcept { skipIdleWork_ = skip; }
    /// Blocks whose passes missed the deadline since creation.
    std::uint64_t OverloadCount() const noexcept { return overloadCount_; }

    // ---- Meters ----
    /// Whoever reads the strips' MeterL and MeterR (the mixers' timer, the headless status
    /// line) calls this where it reads, at least once per span: the blocks that start within
    /// span from now compute the meters. Without a reader the blocks compute none; the current
    /// strip table's meters fall to zero once (a reader that comes back sees no stale peak)
    /// and are then left alone. Any thread; one clock read and one relaxed store. The last
    /// call's span counts, also when it is shorter.
    void MetersWanted(std::chrono::steady_clock::duration span = kMetersWantedSpan) noexcept;
    /// Blocks that computed meters since creation. Any thread.
    std::uint64_t MeteredBlocks() const noexcept { return meteredBlocks_; }

    // ---- State read by the windows (any thread) ----
    float SampleRate() const noexcept { return sampleRate_; }
    bool BuffersReady() const noexcept { return buffersReady_; }
    bool SoloActive() const noexcept { return soloActive_; }
    bool Overload() const noexcept { return overload_; }
    TOscilator& Oscillator() noexcept { return oscillator_; }
    IEnginePluginHost* PluginHost() const noexcept { return pluginHost_; }

    // ---- Engine buffers, BlockSize samples each ----
    /// Channel arrays of two adjacent pointers, ready to hand to a plugin.
    float** InstrumentOut(int slot) noexcept { return &instrumentOut_[2 * slot]; }
    float** EffectOut(int effect) noexcept { return &effectOut_[2 * effect]; }
    float** AuxBus(int aux) noexcept { return &auxBus_[2 * aux]; }
    float** MasterBus() noexcept { return masterBus_.data(); }
    float** SoloBus() noexcept { return soloBus_.data(); }
    float* MonitorBus(int monitor) noexcept { return monitorBus_[monitor]; }
    float* OscBuffer() noexcept { return oscBuffer_; }
    /// The input pair effect slot e renders: a copy of its aux bus taken for the pass.
    float** EffectIn(int effect) noexcept { return &effectIn_[2 * effect]; }
    /// Samples in each engine buffer.
    std::int32_t BufferLength() const noexcept { return bufferLength_; }

    // ---- Passes, called through the workers ----
    void InstrumentPass() noexcept;
    void EffectPass() noexcept;

private:
    friend class TAudioThread;

    template <typename Kernels>
    void ProcessBlockWith(const float* const* inBuffers, std::int32_t inCount,
                          float* const* outBuffers, std::int32_t outCount) noexcept;
    /// Opens a pass over slots [first, end): a new generation, every slot that no late render
    /// holds set free (with its aux bus copied to its input when copyEffectInputs). Returns
    /// the generation. Driver thread.
    std::uint64_t BeginPass(int first, int end, bool copyEffectInputs) noexcept;
    /// Wakes the sleeping workers for the pass just begun. Driver thread.
    void WakeWorkers() noexcept;
    /// WakeWorkers when the pass over [first, end) has two plugins or more. Driver thread.
    void WakeWorkersFor(int first, int end) noexcept;
    /// Waits until every slot of [first, end) claimed in this generation is done, or the
    /// deadline; marks in rendered which slots finished in this pass. False on a miss.
    /// stillLate is set when a slot is still inside a call from an earlier block.
    bool WaitForPass(std::uint64_t generation, int first, int end,
                     std::chrono::steady_clock::time_point deadline, bool* rendered,
                     bool& stillLate) noexcept;
    /// Sleeps until some slot finishes or the deadline, while slot is still rendering.
    /// False when the deadline has passed.
    bool SleepWhileRendering(int slot, std::uint64_t rendering,
                             std::chrono::steady_clock::time_point deadline) noexcept;
    void NoteDeadline(bool madeDeadline, bool stillLate, std::int32_t frames) noexcept;
    void RefreshMeterGains(const TStripSnapshot& snap, const TMixerSnapshot& mix) noexcept;
    /// Decides whether this block computes meters (metersOn_), refreshes the gains when they
    /// start again and clears the meters of live once when they stop. Driver thread.
    bool BeginMeters(TStripStates& live, std::chrono::steady_clock::time_point blockStart) noexcept;
    // The bus steps of ProcessBlock, in block order. meters: the strip table that receives
    // the bus meters, or null when this block computes none.
    template <typename Kernels>
    void MixAuxBuses(const TBlockMixer<Kernels>& mixer, const TStripSnapshot& snap,
                     const TMixerSnapshot& mix, const TBlockSources& sources,
                     TStripStates* meters) noexcept;
    template <typename Kernels>
    void MixMasterBus(const TBlockMixer<Kernels>& mixer, const TStripSnapshot& snap,
                      const TMixerSnapshot& mix, const TBlockSources& sources,
                      TStripStates* meters) noexcept;
    template <typename Kernels>
    void MixMonitorBuses(const TBlockMixer<Kernels>& mixer, const TStripSnapshot& snap,
                         const TMixerSnapshot& mix, const TBlockSources& sources,
                         TStripStates* meters) noexcept;
    /// Returns whether any source was soloed (SoloActive).
    template <typename Kernels>
    bool MixSoloBus(const TBlockMixer<Kernels>& mixer, const TStripSnapshot& snap,
                    const TMixerSnapshot& mix, const TBlockSources& sources,
                    TStripStates* meters) noexcept;
    template <typename Kernels>
    void MixOutputs(const TBlockMixer<Kernels>& mixer, const TStripSnapshot& snap,
                    const TMixerSnapshot& mix, bool soloActive, float* const* outBuffers,
                    std::int32_t outCount) noexcept;
    /// Renders one slot; its claim is already made.
    void RenderSlot(int slot) noexcept;
    /// Worker thread: waits for the next pass after seen. Returns the new wake count.
    std::uint32_t AwaitWake(std::uint32_t seen) noexcept;
    void StartWorkers();

    const void* hostLink_;
    IEnginePluginHost* pluginHost_;
    TOscilator oscillator_;
    Variant variant_ = Variant::Scalar;
    Relaxed<float> sampleRate_{44100.0f};
    Relaxed<bool> buffersReady_{false};
    Relaxed<bool> soloActive_{false};
    Relaxed<bool> overload_{false};
    Relaxed<std::uint64_t> overloadCount_{0};
    /// Frames still to play before a block that makes its deadline clears Overload.
    std::int64_t overloadHoldFrames_ = 0;
    std::int32_t workerPriority_ = 3;
    std::int32_t driverRealtimePriority_ = 0;
    Relaxed<bool> realtimeRefused_{false};
    int workerCount_ = 0;
    std::chrono::microseconds passDeadline_{0};
    bool skipIdleWork_ = true;
    // Meters: wanted until this steady_clock time (ticks since its epoch); on for the current
    // block (written by the driver's thread before the passes, read by whoever renders a
    // slot); whether the block before computed them, and the table whose meters were last
    // cleared (driver thread only).
    Relaxed<std::int64_t> metersWantedUntil_{0};
    Relaxed<bool> metersOn_{false};
    Relaxed<std::uint64_t> meteredBlocks_{0};
    bool meteredLastBlock_ = false;
    const TStripStates* metersCleared_ = nullptr;
    // Buses known to hold only zeros (driver thread only), and effects whose output pair is
    // (written by the thread that renders the slot, ordered by the slot's state).
    bool auxSilent_[kAuxCount] = {};
    bool masterSilent_ = false;
    bool monitorSilent_[kMonitorCount] = {};
    bool soloSilent_ = false;
    std::array<Relaxed<bool>, kEffectSlotCount> effectSilent_{};

    // Per slot: generation * 4 + one of kSlotFree, kSlotRendering, kSlotDone.
    std::array<std::atomic<std::uint64_t>, kSlotCount> slotState_{};
    std::atomic<std::uint64_t> passGeneration_{0};
    // Workers sleep on wakeCount_ (a futex word); sleepers_ lets the driver skip the wake.
    std::atomic<std::uint32_t> wakeCount_{0};
    std::atomic<std::int32_t> sleepers_{0};
    // Slots finished by anyone (a futex word), and whether the driver's thread sleeps on it
    // waiting for a worker's slot.
    std::atomic<std::uint32_t> slotsDone_{0};
    std::atomic<bool> driverWaiting_{false};
    std::atomic<bool> stopping_{false};
    // Floating-point control of the driver's thread, copied by the workers for each pass.
    Relaxed<std::uint32_t> driverMxcsr_{0x1F80};
    Relaxed<std::uint16_t> driverFpuControl_{0x037F};
    std::array<TAudioThread*, 8> workers_{};

    // One allocation holds all buffers; the pointer arrays keep each pair adjacent. Effects
    // read their own copy of their aux bus, so that an effect still rendering after its block
    // never reads a bus the next block is mixing.
    std::vector<float> storage_;
    std::int32_t bufferLength_ = 0;
    float* oscBuffer_ = nullptr;
    std::array<float*, 2 * kInstrumentSlotCount> instrumentOut_{};
    std::array<float*, 2 * kEffectSlotCount> effectOut_{};
    std::array<float*, 2> masterBus_{};
    std::array<float*, kMonitorCount> monitorBus_{};
    std::array<float*, 2 * kAuxCount> auxBus_{};
    std::array<float*, 2> soloBus_{};
    std::array<float*, 2 * kEffectSlotCount> effectIn_{};
};

} // namespace peldor
