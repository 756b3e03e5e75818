#pragma once
// TProcessor: the audio engine. Once per driver buffer ProcessBlock has the instruments and
// effects render, mixes them and the driver inputs through the channel strips into the master,
// monitor, aux and solo buses, writes the buses into the assigned outputs and leaves meters.

#include "engine/engine_plugin.h"
#include "engine/oscillator.h"
#include "engine/relaxed.h"
#include "engine/strip_table.h"

#include <array>
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
// Layout of MeterGain: 4 inputs, 16 instruments, 4 effects, 2 monitors, 4 aux, 2 master.
inline constexpr int kMeterGainInput = 0;
inline constexpr int kMeterGainInstrument = 4;
inline constexpr int kMeterGainEffect = 20;
inline constexpr int kMeterGainMonitor = 24;
inline constexpr int kMeterGainAux = 26;
inline constexpr int kMeterGainMaster = 30;
/// Per-block meter gains, refreshed by ProcessBlock.
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
/// Slot already taken in the current pass; read and set under ClaimLock only.
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
    /// Phase 0 and every claim cleared.
    void ResetClaims() noexcept;
    /// Runs the work routine of worker 1..8 on the calling thread: the thread running
    /// ProcessBlock. Another thread taking part would leave buffers half rendered, since the
    /// block waits for the worker threads only.
    void RunWorkers() noexcept;
    /// Ends the 8 worker threads and waits for them without a time limit. Window thread.
    void StopWorkers();
    /// 0..6: idle, lowest, lower, normal, higher, highest, time-critical; else ignored.
    void SetWorkerPriority(std::int32_t priority);
    /// Last priority applied by SetWorkerPriority (3, normal, at creation).
    std::int32_t WorkerPriority() const noexcept { return workerPriority_; }

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
    /// Samples in each engine buffer.
    std::int32_t BufferLength() const noexcept { return bufferLength_; }

    // ---- Passes, called through the workers ----
    void InstrumentPass() noexcept;
    void EffectPass() noexcept;

private:
    template <typename Kernels>
    void ProcessBlockWith(const float* const* inBuffers, std::int32_t inCount,
                          float* const* outBuffers, std::int32_t outCount) noexcept;
    /// Claims the next unclaimed slot in [slot, end) under ClaimLock; returns end when none.
    int ClaimNextSlot(int slot, int end) noexcept;
    bool WaitForWorkers() noexcept;
    void StartWorkers();

    const void* hostLink_;
    IEnginePluginHost* pluginHost_;
    TOscilator oscillator_;
    Variant variant_ = Variant::Scalar;
    Relaxed<float> sampleRate_{44100.0f};
    Relaxed<bool> buffersReady_{false};
    Relaxed<bool> soloActive_{false};
    Relaxed<bool> overload_{false};
    std::int32_t workerPriority_ = 3;

    /// The instrument (0) or effect (1) pass has claimed its last slot. Set under ClaimLock.
    Relaxed<bool> passDone_[2] = {false, false};
    std::array<TAudioThread*, 8> workers_{};

    // One allocation holds all 55 buffers; the pointer arrays keep each pair adjacent.
    std::vector<float> storage_;
    std::int32_t bufferLength_ = 0;
    float* oscBuffer_ = nullptr;
    std::array<float*, 2 * kInstrumentSlotCount> instrumentOut_{};
    std::array<float*, 2 * kEffectSlotCount> effectOut_{};
    std::array<float*, 2> masterBus_{};
    std::array<float*, kMonitorCount> monitorBus_{};
    std::array<float*, 2 * kAuxCount> auxBus_{};
    std::array<float*, 2> soloBus_{};
};

} // namespace peldor
