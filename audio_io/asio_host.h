#pragma once
// The audio host: the one object through which Peldor talks to a driver. It keeps the driver
// list, opens one driver, asks it for channels, buffer sizes, rate and sample types, has it
// create a double buffer per channel, starts and stops it, and on every buffer switch converts
// the driver's inputs to float arrays, calls the engine's block handler, converts the outputs
// back and tells the driver they are ready.
//
// Three layers: TCustomASIOHostBasic (driver list, driver, driver buffers, callbacks, start
// and stop), TCustomASIOHost (float arrays, conversion, pre-fill, clipping, input monitoring,
// dither) and TASIOHost (the concrete class).
//
// Threads. Window-thread operations (driver selection, Active, SampleRate, the queries) and the
// driver's reset requests are serialised by one re-entrant control lock; events raised from
// them run with that lock held, so handlers must not wait for another thread that uses the
// host. The buffer switch takes no lock: it relies on every path that disposes buffers or
// releases the driver stopping the driver first. Driver callbacks reach the most recently
// created host.

#include "audio_io/asio_driver.h"
#include "audio_io/sample_conversion.h"
#include "engine/processor.h"
#include "engine/relaxed.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace peldor {

enum class TPreventClipping : std::uint8_t { pcNone, pcDigital, pcAnalog };
enum class TBufferPreFill : std::uint8_t { bpfNone, bpfZero, bpfNoise, bpfCustom };
enum class TInputMonitor : std::uint8_t { imDisabled, imMono, imStereo, imAll };

/// The six time-info flags (TATFlags), the low bits of the timeInfo flags word.
using TATFlags = std::uint8_t;
inline constexpr TATFlags atSystemTimeValid = 1;
inline constexpr TATFlags atSamplePositionValid = 2;
inline constexpr TATFlags atSampleRateValid = 4;
inline constexpr TATFlags atSpeedValid = 8;
inline constexpr TATFlags atSampleRateChanged = 16;
inline constexpr TATFlags atClockSourceChanged = 32;

/// Rate the host falls back to without a driver or for an unusable rate.
inline constexpr double kDefaultSampleRate = 44100.0;
/// Rates above this are unusable.
inline constexpr double kHighestSampleRate = 1048575.0;
/// BufferSize when the driver's preferred size is 0 or above kLargestPreferredSize.
inline constexpr std::uint32_t kFallbackBufferSize = 4096;
inline constexpr std::int32_t kLargestPreferredSize = 65530;
/// BufferSize after a start that raised an error.
inline constexpr std::uint32_t kStartFailureBufferSize = 2048;
/// Channel counts beyond this are cut to it, so that a broken driver cannot make the host
/// allocate without limit.
inline constexpr std::int32_t kMaxChannelCount = 512;
/// Size of the scratch buffer getDriverName writes into.
inline constexpr int kDriverNameScratch = 256;

/// One ASIOTime record with its time-info part published (window thread only).
class TASIOTimeSub {
public:
    /// Speed 1.0, rate 44100, position 0, flags system time, position, rate and speed valid.
    TASIOTimeSub();

    std::int64_t SamplePos() const noexcept;
    void SetSamplePos(std::int64_t value);
    double Speed() const noexcept { return record.timeInfo.speed; }
    void SetSpeed(double value);
    double SampleRate() const noexcept { return record.timeInfo.sampleRate; }
    void SetSampleRate(double value);
    TATFlags Flags() const noexcept;
    /// Replaces the six low flag bits.
    void SetFlags(TATFlags value) noexcept;

    ASIOTime& Record() noexcept { return record; }
    const ASIOTime& Record() const noexcept { return record; }

    /// Raised when Speed, SampleRate or SamplePos change.
    std::function<void()> OnChanged;

private:
    void Changed();
    ASIOTime record{};
};

class TCustomASIOHostBasic;

/// A notification with its sender.
using TNotifyEvent = std::function<void(TCustomASIOHostBasic& sender)>;

/// Sample position of each block. Driver callback thread: must not allocate or block.
using TSamplePositionUpdateProc = void (*)(void* context, std::int64_t samplePosition) noexcept;
/// Block handler on 64-bit floats; same contract as TBufferSwitch32Proc.
using TBufferSwitch64Proc = void (*)(void* context, const double* const* inBuffers,
                                     std::int32_t inCount, double* const* outBuffers,
                                     std::int32_t outCount, std::int32_t frames);
/// Block handler on the driver's own buffers: the records (inputs first) and the half index.
using TBufferSwitchNativeProc = void (*)(void* context, const ASIOBufferInfo* bufferInfos,
                                         std::int32_t channelCount, std::int32_t bufferIndex);

class TCustomASIOHostBasic {
public:
    /// Registers the host as the target of driver callbacks and takes the driver list (see
    /// BuildDriverList). No driver is open. Window thread.
    explicit TCustomASIOHostBasic(TAsioDriverList driverList);
    /// Raises OnDestroy, stops and closes the driver, and waits for callbacks in progress.
    virtual ~TCustomASIOHostBasic();
    TCustomASIOHostBasic(const TCustomASIOHostBasic&) = delete;
    TCustomASIOHostBasic& operator=(const TCustomASIOHostBasic&) = delete;

    /// Raises OnCreate once the owner has applied its settings.
    void Loaded();

    // ---- Driver list and selection (window thread) ----
    // Getters: window thread (they take the control lock).
    /// Driver names in list order.
    std::vector<std::string> DriverList() const;
    std::int32_t GetNumDrivers() const noexcept;
    std::int32_t DriverIndex() const { return Locked(driverIndex); }
    /// Selects a driver: clamps to -1 .. count - 1, closes the open driver, opens the new one
    /// and restores Active. A driver that fails to open leaves the host without driver.
    void SetDriverIndex(std::int32_t value);
    std::string DriverName() const { return Locked(driverName); }
    /// Selects the entry of that name; a name not in the list is ignored.
    void SetDriverName(const std::string& name);
    std::int32_t DriverVersion() const { return Locked(driverVersion); }
    /// The open driver, or null.
    IASIODriver* Driver() const { return Locked(driver.get()); }

    /// Closes any open driver and opens the one at DriverIndex, then creates the buffers and
    /// restores Active. False, with "ASIO Driver Failed!" shown to the user, when no driver
    /// could be created and initialised.
    bool OpenDriver();
    /// Stops the driver, disposes the buffers and releases the driver.
    void CloseDriver();
    /// True when the open driver says it has ended its run on purpose (it makes no more buffer
    /// switches, and opening it again would start the run afresh). Window thread.
    bool DriverFinished() const;
    /// OpenDriver, then OnReset.
    void Reset();
    /// From now on a driver's reset request re-opens nothing (shut-down: a driver whose server
    /// is going away must not be opened again while the program closes). Waits for a reset in
    /// progress. Window thread.
    void HoldResets();

    // ---- Buffers ----
    /// Queries the driver and creates every buffer; false without driver or when the driver
    /// refused. Window thread (or a reset request's thread).
    virtual bool CreateBuffers();
    /// Undoes CreateBuffers (stopping the driver first).
    virtual void DisposeBuffers();
    bool BuffersCreated() const { return Locked(buffersCreated); }
    /// The buffer-info records, inputs first; empty without buffers.
    const std::vector<ASIOBufferInfo>& BufferInfos() const noexcept { return bufferInfos; }

    // ---- Running ----
    bool Active() const { return Locked(active); }
    /// Starts or stops the driver; nothing without driver or when the value is unchanged.
    void SetActive(bool value);

    double SampleRate() const { return Locked(sampleRate); }
    /// Stores the rate (44100 when not above 0 or above 1048575) and passes the requested
    /// value to ASIOTime and to the driver.
    void SetSampleRate(double value);

    std::uint32_t BufferSize() const { return Locked(bufferSize); }
    std::int32_t BufferMinimum() const { return Locked(bufferMinimum); }
    std::int32_t BufferMaximum() const { return Locked(bufferMaximum); }
    std::int32_t BufferPreferredSize() const { return Locked(bufferPreferredSize); }
    std::int32_t BufferGranularity() const { return Locked(bufferGranularity); }
    std::int32_t InputLatency() const { return Locked(inputLatency); }
    std::int32_t OutputLatency() const { return Locked(outputLatency); }
    std::int32_t InputChannelCount() const { return Locked(inputChannelCount); }
    std::int32_t OutputChannelCount() const { return Locked(outputChannelCount); }
    /// One record per driver channel with its name and sample type. Window thread.
    const std::vector<ASIOChannelInfo>& InputChannelInfos() const noexcept { return inputInfos; }
    const std::vector<ASIOChannelInfo>& OutputChannelInfos() const noexcept { return outputInfos; }
    TASIOTimeSub& ASIOTime() noexcept { return asioTime; }

    // ---- Driver queries (window thread) ----
    void ControlPanel();
    /// The driver's answer; ASE_NotPresent without driver.
    ASIOError CanSampleRate(ASIOSampleRate rate);
    /// clocks has room for *count records; *count is the number filled on return (never more
    /// than the room). ASE_NotPresent without driver.
    ASIOError GetClockSources(ASIOClockSource* clocks, std::int32_t* count);
    /// ASE_NoClock without driver.
    ASIOError SetClockSource(std::int32_t index);
    /// Per-channel gain and meters through the driver's future call. The meter reads give -1
    /// without driver or when the driver refuses.
    ASIOError SetInputGain(std::int32_t channel, std::int32_t gain);
    std::int32_t GetInputMeter(std::int32_t channel);
    ASIOError SetOutputGain(std::int32_t channel, std::int32_t gain);
    std::int32_t GetOutputMeter(std::int32_t channel);

    // ---- Block processing (driver callback thread) ----
    /// Reads the sample position into ASIOTime's block copy, then BufferSwitchTimeInfo.
    void BufferSwitch(std::int32_t index) noexcept;
    /// The work of one block on half index (0 or 1; other values are ignored).
    virtual void BufferSwitchTimeInfo(std::int32_t index, const peldor::ASIOTime& time) noexcept;

    /// The driver's asioMessage, answered as the host does (see the table of selectors).
    std::int32_t AsioMessage(std::int32_t selector, std::int32_t value, void* message, double* opt);
    /// The driver's sampleRateDidChange: raises OnSampleRateChanged; the rate is not stored.
    void SampleRateDidChange(ASIOSampleRate rate);

    /// The host's callback table handed to createBuffers.
    ASIOCallbacks& Callbacks() noexcept { return callbacks; }

    // ---- Events (window thread, or the thread of a driver notification) ----
    TNotifyEvent OnCreate, OnDestroy, OnReset, OnDriverChanged, OnLatencyChanged,
        OnSampleRateChanged, OnBuffersCreate, OnBuffersDestroy;
    /// Driver callback thread; set while stopped.
    void SetOnUpdateSamplePos(TSamplePositionUpdateProc proc, void* context) noexcept;

protected:
    /// Sizes the per-channel host state for the channel counts. May throw std::bad_alloc.
    virtual void AllocateChannelState(std::int32_t inputs, std::int32_t outputs);
    /// Chooses the converters of one channel from its sample type.
    virtual void SetupChannel(bool isInput, std::int32_t channel, ASIOSampleType type);
    /// Frees the per-channel host state.
    virtual void ReleaseChannelState();
    /// Called at the end of CreateBuffers.
    virtual void BuffersReady() {}

    void Raise(const TNotifyEvent& event);
    /// Frames in every buffer created by the driver (0 without buffers).
    std::uint32_t BlockFrames() const noexcept { return blockFrames; }
    const ASIOBufferInfo* InputBufferInfos() const noexcept { return inputBufferInfo; }
    const ASIOBufferInfo* OutputBufferInfos() const noexcept { return outputBufferInfo; }
    void UpdateSamplePos(std::int64_t position) noexcept;

    mutable std::recursive_mutex controlLock;
    /// A copy of a field taken under the control lock: a reset request may change the host on
    /// the driver's notification thread at any time.
    template <typename T> T Locked(const T& field) const {
        std::lock_guard lock(controlLock);
        return field;
    }
    /// The open driver and buffer state without the lock, for the block in progress only.
    IASIODriver* BlockDriver() const noexcept { return driver.get(); }
    bool BlockBuffersCreated() const noexcept { return buffersCreated; }
    std::int32_t BlockBufferInfoCount() const noexcept {
        return static_cast<std::int32_t>(bufferInfos.size());
    }

private:
    void ZeroDriverBuffers() noexcept;
    void ReportDriverFailed();
    std::int32_t MeterRead(std::int32_t selector, std::int32_t channel, bool isInput);

    std::int32_t bufferMinimum = 0, bufferMaximum = 0, bufferPreferredSize = 0,
                 bufferGranularity = 0;
    bool buffersCreated = false;
    TASIOTimeSub asioTime;
    /// The record of the block in progress; driver callback thread only.
    peldor::ASIOTime blockTime{};
    TAsioDriverList drivers;
    ASIOCallbacks callbacks{};
    std::vector<ASIOBufferInfo> bufferInfos;
    ASIOBufferInfo* inputBufferInfo = nullptr;
    ASIOBufferInfo* outputBufferInfo = nullptr;
    double sampleRate = kDefaultSampleRate;
    bool active = false;
    std::int32_t driverIndex = -1;
    bool resetsHeld = false; // under controlLock
    /// "ASIO Driver Failed!" has been shown since the last driver that opened; under
    /// controlLock.
    bool failureReported = false;
    std::string driverName;
    std::int32_t driverVersion = 0;
    std::int32_t inputLatency = 0, outputLatency = 0;
    std::int32_t inputChannelCount = 0, outputChannelCount = 0;
    std::uint32_t bufferSize = 0;
    std::uint32_t blockFrames = 0;
    std::unique_ptr<IASIODriver> driver;
    std::vector<ASIOChannelInfo> inputInfos, outputInfos;
    Relaxed<TSamplePositionUpdateProc> onUpdateSamplePos{nullptr};
    Relaxed<void*> onUpdateSamplePosContext{nullptr};
};

class TCustomASIOHost : public TCustomASIOHostBasic {
public:
    /// Digital clipping, zeroed output arrays, unfiltered inputs, no monitoring, no dither,
    /// both processor-specific sets allowed.
    explicit TCustomASIOHost(TAsioDriverList driverList);
    ~TCustomASIOHost() override;

    TPreventClipping PreventClipping() const noexcept { return preventClipping; }
    /// pcDigital and pcAnalog install that clip pair; pcNone keeps it and switches clipping
    /// off. Window thread.
    void SetPreventClipping(TPreventClipping value);
    TBufferPreFill PreFillInBuffer() const noexcept { return preFillIn; }
    void SetPreFillInBuffer(TBufferPreFill value) noexcept { preFillIn = value; }
    TBufferPreFill PreFillOutBuffer() const noexcept { return preFillOut; }
    void SetPreFillOutBuffer(TBufferPreFill value) noexcept { preFillOut = value; }
    TInputMonitor InputMonitor() const noexcept { return inputMonitor; }
    void SetInputMonitor(TInputMonitor value) noexcept { inputMonitor = value; }
    std::uint16_t InputChannelOffset() const noexcept { return inputChannelOffset; }
    /// Accepted only below the input channel count.
    void SetInputChannelOffset(std::uint16_t value);
    std::uint16_t OutputChannelOffset() const noexcept { return outputChannelOffset; }
    /// Accepted only below the output channel count.
    void SetOutputChannelOffset(std::uint16_t value);
    TConvertOptimizations ConvertOptimizations() const noexcept { return convertOptimizations; }
    /// Re-selects the process-wide tables; reaches the channels at the next CreateBuffers.
    void SetConvertOptimizations(TConvertOptimizations value);
    TASIOOutputDither OutputDither() const noexcept { return outputDither; }
    /// Re-selects the process-wide tables; choosing the current mode again does nothing.
    void SetOutputDither(TASIOOutputDither value);

    /// The engine's block handler (null proc: none). Set while stopped. Window thread.
    void SetOnBufferSwitch32(TBufferSwitch32Proc proc, void* context) noexcept;
    void SetOnBufferSwitch64(TBufferSwitch64Proc proc, void* context) noexcept;
    void SetOnBufferSwitchNative(TBufferSwitchNativeProc proc, void* context) noexcept;

    /// Host float arrays of one channel (BufferSize samples), or null out of range. Read them
    /// only while the driver is stopped (tests, the 64-bit handler's owner).
    float* SingleInBuffer(std::int32_t channel) const noexcept;
    float* SingleOutBuffer(std::int32_t channel) const noexcept;
    double* DoubleInBuffer(std::int32_t channel) const noexcept;
    double* DoubleOutBuffer(std::int32_t channel) const noexcept;
    /// The converters chosen for a channel (null pairs for types without routines).
    TInConverter InputConverterOf(std::int32_t channel) const noexcept;
    TOutConverter OutputConverterOf(std::int32_t channel) const noexcept;

    void BufferSwitchTimeInfo(std::int32_t index, const peldor::ASIOTime& time) noexcept override;

protected:
    void AllocateChannelState(std::int32_t inputs, std::int32_t outputs) override;
    void SetupChannel(bool isInput, std::int32_t channel, ASIOSampleType type) override;
    void ReleaseChannelState() override;
    void BuffersReady() override;

private:
    enum class Handler : std::uint8_t { None, Float32, Float64 };
    void UpdateHandlerSelector() noexcept;
    template <typename T> void FillNoise(T* data, std::uint32_t count) noexcept;
    template <typename T>
    void ProcessFloatBlock(std::int32_t index, const std::vector<T*>& in,
                           const std::vector<T*>& out) noexcept;

    Relaxed<TPreventClipping> preventClipping{TPreventClipping::pcDigital};
    Relaxed<TBufferPreFill> preFillIn{TBufferPreFill::bpfNone};
    Relaxed<TBufferPreFill> preFillOut{TBufferPreFill::bpfZero};
    Relaxed<TInputMonitor> inputMonitor{TInputMonitor::imDisabled};
    Relaxed<std::uint16_t> inputChannelOffset{0};
    Relaxed<std::uint16_t> outputChannelOffset{0};
    TConvertOptimizations convertOptimizations = kAllConvertOptimizations;
    TASIOOutputDither outputDither = TASIOOutputDither::odNone;
    /// The installed clip pair; copied from the process-wide tables.
    Relaxed<TClip32> clip32{nullptr};
    Relaxed<TClip64> clip64{nullptr};
    Relaxed<Handler> handler{Handler::None};
    Relaxed<TBufferSwitch32Proc> onBufferSwitch32{nullptr};
    Relaxed<void*> onBufferSwitch32Context{nullptr};
    Relaxed<TBufferSwitch64Proc> onBufferSwitch64{nullptr};
    Relaxed<void*> onBufferSwitch64Context{nullptr};
    Relaxed<TBufferSwitchNativeProc> onBufferSwitchNative{nullptr};
    Relaxed<void*> onBufferSwitchNativeContext{nullptr};

    std::vector<float> singleStorage;
    std::vector<double> doubleStorage;
    std::vector<float*> singleIn, singleOut;
    std::vector<double*> doubleIn, doubleOut;
    std::vector<TInConverter> inConverters;
    std::vector<TOutConverter> outConverters;
    /// Noise pre-fill generator state; driver callback thread after CreateBuffers.
    std::uint32_t noiseState = 0;
};

/// The concrete host the main window owns.
class TASIOHost final : public TCustomASIOHost {
public:
    using TCustomASIOHost::TCustomASIOHost;
};

} // namespace peldor
