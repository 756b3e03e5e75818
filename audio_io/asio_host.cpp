#include "audio_io/asio_host.h"

#include "engine/realtime_scope.h"
#include "i18n/audio_io_strings.h"
#include "i18n/common_strings.h"
#include "i18n/message_box.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace peldor {
namespace {

// ---- The process-wide callback target -----------------------------------------------------------

std::atomic<TCustomASIOHostBasic*> currentHost{nullptr};
/// Callbacks between their look-up of currentHost and their return. A host being destroyed
/// waits until none is left after it has stopped being the target.
std::atomic<int> callbacksInFlight{0};

class CallbackScope {
public:
    CallbackScope() noexcept {
        callbacksInFlight.fetch_add(1, std::memory_order_seq_cst);
        host = currentHost.load(std::memory_order_seq_cst);
    }
    ~CallbackScope() { callbacksInFlight.fetch_sub(1, std::memory_order_release); }
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;
    TCustomASIOHostBasic* host = nullptr;
};

void CallbackBufferSwitch(std::int32_t index, ASIOBool /*directProcess*/) {
    CallbackScope scope;
    if (scope.host != nullptr) {
        scope.host->BufferSwitch(index);
    }
}

ASIOTime* CallbackBufferSwitchTimeInfo(ASIOTime* params, std::int32_t index,
                                       ASIOBool /*directProcess*/) {
    CallbackScope scope;
    if (scope.host != nullptr && params != nullptr) {
        // The record is copied so that the driver may reuse its own at once.
        ASIOTime copy;
        std::memcpy(&copy, params, sizeof copy);
        scope.host->BufferSwitchTimeInfo(index, copy);
    }
    return nullptr;
}

void CallbackSampleRateDidChange(ASIOSampleRate rate) {
    CallbackScope scope;
    if (scope.host != nullptr) {
        scope.host->SampleRateDidChange(rate);
    }
}

std::int32_t CallbackAsioMessage(std::int32_t selector, std::int32_t value, void* message,
                                 double* opt) {
    CallbackScope scope;
    if (scope.host == nullptr) {
        return 0;
    }
    return scope.host->AsioMessage(selector, value, message, opt);
}

constexpr std::uint32_t kNoiseMultiplier = 134775813u;
constexpr double kTwoPowMinus32 = 0x1p-32;
constexpr std::int32_t kEngineVersion = 2;

std::uint32_t NoiseSeed() noexcept {
    return static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

} // namespace

// ---- TASIOTimeSub -------------------------------------------------------------------------------

TASIOTimeSub::TASIOTimeSub() {
    record.timeInfo.speed = 1.0;
    record.timeInfo.sampleRate = kDefaultSampleRate;
    record.timeInfo.flags =
        atSystemTimeValid | atSamplePositionValid | atSampleRateValid | atSpeedValid;
}

std::int64_t TASIOTimeSub::SamplePos() const noexcept {
    return SamplesToInt64(record.timeInfo.samplePosition);
}

void TASIOTimeSub::SetSamplePos(std::int64_t value) {
    if (value != SamplePos()) {
        record.timeInfo.samplePosition = Int64ToSamples(value);
        Changed();
    }
}

void TASIOTimeSub::SetSpeed(double value) {
    if (value != record.timeInfo.speed) {
        record.timeInfo.speed = value;
        Changed();
    }
}

void TASIOTimeSub::SetSampleRate(double value) {
    if (value != record.timeInfo.sampleRate) {
        record.timeInfo.sampleRate = value;
        Changed();
    }
}

TATFlags TASIOTimeSub::Flags() const noexcept {
    constexpr std::uint32_t kSixBits = 0x3F;
    return static_cast<TATFlags>(record.timeInfo.flags & kSixBits);
}

void TASIOTimeSub::SetFlags(TATFlags value) noexcept {
    constexpr std::uint32_t kSixBits = 0x3F;
    record.timeInfo.flags = (record.timeInfo.flags & ~kSixBits) | (value & kSixBits);
}

void TASIOTimeSub::Changed() {
    if (OnChanged) {
        OnChanged();
    }
}

// ---- TCustomASIOHostBasic: life ----------------------------------------------------------------

TCustomASIOHostBasic::TCustomASIOHostBasic(TAsioDriverList driverList)
    : drivers(std::move(driverList)) {
    callbacks.bufferSwitch = &CallbackBufferSwitch;
    callbacks.sampleRateDidChange = &CallbackSampleRateDidChange;
    callbacks.asioMessage = &CallbackAsioMessage;
    callbacks.bufferSwitchTimeInfo = &CallbackBufferSwitchTimeInfo;
    currentHost.store(this, std::memory_order_seq_cst);
}

TCustomASIOHostBasic::~TCustomASIOHostBasic() {
    Raise(OnDestroy);
    {
        std::lock_guard lock(controlLock);
        SetActive(false);
    }
    // Stop being the callback target, then let callbacks already inside this host finish, so
    // that no reset request re-opens a driver behind the destructor's back.
    TCustomASIOHostBasic* self = this;
    currentHost.compare_exchange_strong(self, nullptr, std::memory_order_seq_cst);
    while (callbacksInFlight.load(std::memory_order_acquire) != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::lock_guard lock(controlLock);
    SetActive(false);
    callbacks.bufferSwitchTimeInfo = nullptr;
    CloseDriver();
}

void TCustomASIOHostBasic::Loaded() {
    Raise(OnCreate);
}

void TCustomASIOHostBasic::Raise(const TNotifyEvent& event) {
    if (event) {
        event(*this);
    }
}

// ---- Driver list and selection --------------------------------------------------------------

std::vector<std::string> TCustomASIOHostBasic::DriverList() const {
    std::vector<std::string> names;
    names.reserve(drivers.size());
    for (const auto& entry : drivers) {
        names.push_back(entry.Name.substr(0, kDriverNameMax));
    }
    return names;
}

std::int32_t TCustomASIOHostBasic::GetNumDrivers() const noexcept {
    return static_cast<std::int32_t>(drivers.size());
}

void TCustomASIOHostBasic::SetDriverIndex(std::int32_t value) {
    std::lock_guard lock(controlLock);
    if (value == driverIndex) {
        return;
    }
    const bool wasActive = active;
    SetActive(false);
    if (value < -1) {
        value = -1;
    }
    if (value >= GetNumDrivers()) {
        value = GetNumDrivers() - 1;
    }
    driverIndex = value;
    if (value == -1) {
        driverName.clear();
        inputLatency = outputLatency = 0;
        inputChannelCount = outputChannelCount = 0;
        bufferSize = 0;
        CloseDriver();
    } else {
        CloseDriver();
        driverName = drivers[static_cast<std::size_t>(value)].Name.substr(0, kDriverNameMax);
        failureReported = false; // a driver chosen anew is reported when it fails
        if (!OpenDriver()) {
            return;
        }
    }
    if (driver) {
        char scratch[kDriverNameScratch] = {};
        driver->getDriverName(scratch);
        driverVersion = driver->getDriverVersion();
        // The capabilities are asked for as drivers expect; the host uses none of them.
        for (std::int32_t selector :
             {kAsioCanTimeCode, kAsioCanTimeInfo, kAsioCanTransport, kAsioCanInputGain,
              kAsioCanInputMeter, kAsioCanOutputGain, kAsioCanOutputMeter}) {
            driver->future(selector, nullptr);
        }
    }
    Raise(OnDriverChanged);
    SetActive(wasActive);
}

void TCustomASIOHostBasic::SetDriverName(const std::string& name) {
    std::lock_guard lock(controlLock);
    for (std::size_t i = 0; i < drivers.size(); ++i) {
        if (drivers[i].Name.substr(0, kDriverNameMax) == name) {
            SetDriverIndex(static_cast<std::int32_t>(i));
            return;
        }
    }
}

bool TCustomASIOHostBasic::OpenDriver() {
    std::lock_guard lock(controlLock);
    bool wasActive = false;
    if (driver) {
        wasActive = active;
        SetActive(false);
        CloseDriver();
    }
    if (driverIndex >= 0 && driverIndex < GetNumDrivers()) {
        std::unique_ptr<IASIODriver> created;
        if (CreateDriver(drivers[static_cast<std::size_t>(driverIndex)], created)) {
            bool usable = false;
            try {
                usable = created->init(this) != ASIOFalse;
            } catch (...) {
                usable = false;
            }
            if (usable) {
                driver = std::move(created);
            }
        }
    }
    if (!driver) {
        // A driver retried every second would raise the box every second: it is shown once,
        // and again only after a driver has opened in between.
        if (!failureReported) {
            failureReported = true;
            ReportDriverFailed();
        }
        return false;
    }
    failureReported = false;
    buffersCreated = CreateBuffers();
    if (wasActive) {
        SetActive(true);
    }
    return true;
}

void TCustomASIOHostBasic::ReportDriverFailed() {
    if (OnWindowThread()) {
        ShowMessageBox(LoadResString(kStrProblem), LoadResString(kStrAsioDriverFailed), kMsgProblem,
                       kButtonsOk, 1);
    } else {
        const std::string title(EnglishResString(kStrProblem));
        const std::string text(EnglishResString(kStrAsioDriverFailed));
        PostMessageBox(title.c_str(), text.c_str(), kMsgProblem);
    }
}

void TCustomASIOHostBasic::CloseDriver() {
    std::lock_guard lock(controlLock);
    if (driver) {
        // Never release buffers the driver may still be switching.
        SetActive(false);
        if (buffersCreated) {
            try {
                DisposeBuffers();
            } catch (...) {
            }
        }
        driver.reset();
        buffersCreated = false;
    }
    inputLatency = outputLatency = 0;
    inputChannelCount = outputChannelCount = 0;
    sampleRate = kDefaultSampleRate;
}

bool TCustomASIOHostBasic::DriverFinished() const {
    std::lock_guard lock(controlLock);
    if (!driver) {
        return false;
    }
    try {
        return driver->future(kPeldorRunFinished, nullptr) == ASE_SUCCESS;
    } catch (...) {
        return false;
    }
}

void TCustomASIOHostBasic::HoldResets() {
    std::lock_guard lock(controlLock);
    resetsHeld = true;
}

void TCustomASIOHostBasic::Reset() {
    std::lock_guard lock(controlLock);
    OpenDriver();
    Raise(OnReset);
}

// ---- Buffers ------------------------------------------------------------------------------------

bool TCustomASIOHostBasic::CreateBuffers() {
    std::lock_guard lock(controlLock);
    if (!driver) {
        return false;
    }
    if (buffersCreated) {
        DisposeBuffers();
    }
    driver->getBufferSize(&bufferMinimum, &bufferMaximum, &bufferPreferredSize, &bufferGranularity);
    if (bufferMinimum == bufferMaximum) {
        bufferPreferredSize = bufferMinimum;
    }
    if (bufferPreferredSize < 0) {
        // No buffer can have a negative length.
        return false;
    }
    bufferSize = (bufferPreferredSize == 0 || bufferPreferredSize > kLargestPreferredSize)
                     ? kFallbackBufferSize
                     : static_cast<std::uint32_t>(bufferPreferredSize);

    ASIOSampleRate rate = kDefaultSampleRate;
    driver->getSampleRate(&rate);
    SetSampleRate(rate);

    std::int32_t inputs = 0, outputs = 0;
    driver->getChannels(&inputs, &outputs);
    inputChannelCount = std::clamp(inputs, 0, kMaxChannelCount);
    outputChannelCount = std::clamp(outputs, 0, kMaxChannelCount);

    try {
        // One block for all records, inputs first.
        bufferInfos.assign(static_cast<std::size_t>(inputChannelCount + outputChannelCount),
                           ASIOBufferInfo{});
        inputInfos.assign(static_cast<std::size_t>(inputChannelCount), ASIOChannelInfo{});
        outputInfos.assign(static_cast<std::size_t>(outputChannelCount), ASIOChannelInfo{});
        AllocateChannelState(inputChannelCount, outputChannelCount);
    } catch (const std::bad_alloc&) {
        bufferInfos.clear();
        inputInfos.clear();
        outputInfos.clear();
        ReleaseChannelState();
        return false;
    }
    inputBufferInfo = bufferInfos.data();
    outputBufferInfo = bufferInfos.data() + inputChannelCount;

    auto setup = [this](bool isInput, std::int32_t i, ASIOChannelInfo& info,
                        ASIOBufferInfo& record) {
        info = ASIOChannelInfo{};
        info.channel = i;
        info.isInput = isInput ? ASIOTrue : ASIOFalse;
        driver->getChannelInfo(&info);
        info.name[kAsioNameLength - 1] = '\0';
        SetupChannel(isInput, i, info.type);
        record = ASIOBufferInfo{};
        record.isInput = isInput ? ASIOTrue : ASIOFalse;
        record.channelNum = i;
    };
    for (std::int32_t i = 0; i < inputChannelCount; ++i) {
        setup(true, i, inputInfos[static_cast<std::size_t>(i)], inputBufferInfo[i]);
    }
    for (std::int32_t i = 0; i < outputChannelCount; ++i) {
        setup(false, i, outputInfos[static_cast<std::size_t>(i)], outputBufferInfo[i]);
    }

    // The driver is asked for the host's own size, so that every buffer holds exactly the
    // BufferSize samples the host converts.
    const ASIOError answer =
        driver->createBuffers(bufferInfos.data(), inputChannelCount + outputChannelCount,
                              static_cast<std::int32_t>(bufferSize), &callbacks);
    const bool success = answer == ASE_OK;
    blockFrames = success ? bufferSize : 0;
    if (!success) {
        for (auto& record : bufferInfos) {
            record.buffers[0] = record.buffers[1] = nullptr;
        }
    }

    driver->getLatencies(&inputLatency, &outputLatency);
    Raise(OnBuffersCreate);
    Raise(OnLatencyChanged);
    BuffersReady();
    return success;
}

void TCustomASIOHostBasic::DisposeBuffers() {
    std::lock_guard lock(controlLock);
    if (!driver || !buffersCreated) {
        return;
    }
    SetActive(false);
    Raise(OnBuffersDestroy);
    bufferInfos.clear();
    inputBufferInfo = outputBufferInfo = nullptr;
    try {
        driver->disposeBuffers();
    } catch (...) {
    }
    buffersCreated = false;
    blockFrames = 0;
    inputInfos.clear();
    outputInfos.clear();
    ReleaseChannelState();
}

void TCustomASIOHostBasic::AllocateChannelState(std::int32_t, std::int32_t) {}
void TCustomASIOHostBasic::SetupChannel(bool, std::int32_t, ASIOSampleType) {}
void TCustomASIOHostBasic::ReleaseChannelState() {}

// ---- Running ------------------------------------------------------------------------------------

void TCustomASIOHostBasic::SetActive(bool value) {
    std::lock_guard lock(controlLock);
    if (!driver || value == active) {
        return;
    }
    if (value) {
        bool started = false;
        try {
            started = driver->start() == ASE_OK;
        } catch (...) {
            started = false;
            bufferSize = kStartFailureBufferSize;
            sampleRate = kDefaultSampleRate;
        }
        active = started;
        if (!active) {
            try {
                driver->stop();
            } catch (...) {
            }
        }
    } else {
        active = false;
        try {
            driver->stop();
        } catch (...) {
        }
        if (buffersCreated) {
            ZeroDriverBuffers();
        }
    }
}

void TCustomASIOHostBasic::ZeroDriverBuffers() noexcept {
    auto zero = [this](const ASIOBufferInfo* records, const std::vector<ASIOChannelInfo>& infos) {
        for (std::size_t c = 0; c < infos.size(); ++c) {
            // Only the 18 known types have a width the host can trust; other buffers may be
            // laid out in any way and are left alone.
            const int width = SampleTypeWidth(infos[c].type);
            for (void* half : records[c].buffers) {
                if (half != nullptr && width > 0) {
                    std::memset(half, 0, static_cast<std::size_t>(width) * blockFrames);
                }
            }
        }
    };
    if (outputBufferInfo != nullptr) {
        zero(outputBufferInfo, outputInfos);
    }
    if (inputBufferInfo != nullptr) {
        zero(inputBufferInfo, inputInfos);
    }
}

void TCustomASIOHostBasic::SetSampleRate(double value) {
    std::lock_guard lock(controlLock);
    sampleRate = (value > 0.0 && value <= kHighestSampleRate) ? value : kDefaultSampleRate;
    asioTime.SetSampleRate(value);
    if (driver) {
        driver->setSampleRate(value);
    }
}

// ---- Driver queries -----------------------------------------------------------------------------

void TCustomASIOHostBasic::ControlPanel() {
    std::lock_guard lock(controlLock);
    if (driver) {
        driver->controlPanel();
    }
}

ASIOError TCustomASIOHostBasic::CanSampleRate(ASIOSampleRate rate) {
    std::lock_guard lock(controlLock);
    return driver ? driver->canSampleRate(rate) : ASE_NotPresent;
}

ASIOError TCustomASIOHostBasic::GetClockSources(ASIOClockSource* clocks, std::int32_t* count) {
    std::lock_guard lock(controlLock);
    if (!driver) {
        return ASE_NotPresent;
    }
    if (clocks == nullptr || count == nullptr || *count < 0) {
        return ASE_InvalidParameter;
    }
    const std::int32_t room = *count;
    const ASIOError answer = driver->getClockSources(clocks, count);
    *count = std::clamp(*count, 0, room);
    return answer;
}

ASIOError TCustomASIOHostBasic::SetClockSource(std::int32_t index) {
    std::lock_guard lock(controlLock);
    return driver ? driver->setClockSource(index) : ASE_NoClock;
}

ASIOError TCustomASIOHostBasic::SetInputGain(std::int32_t channel, std::int32_t gain) {
    std::lock_guard lock(controlLock);
    if (!driver) {
        return ASE_NotPresent;
    }
    ASIOChannelControls controls{};
    controls.channel = channel;
    controls.isInput = ASIOTrue;
    controls.gain = gain;
    return driver->future(kAsioSetInputGain, &controls);
}

ASIOError TCustomASIOHostBasic::SetOutputGain(std::int32_t channel, std::int32_t gain) {
    std::lock_guard lock(controlLock);
    if (!driver) {
        return ASE_NotPresent;
    }
    ASIOChannelControls controls{};
    controls.channel = channel;
    controls.isInput = ASIOFalse;
    controls.gain = gain;
    return driver->future(kAsioSetOutputGain, &controls);
}

std::int32_t TCustomASIOHostBasic::MeterRead(std::int32_t selector, std::int32_t channel,
                                             bool isInput) {
    std::lock_guard lock(controlLock);
    if (!driver) {
        return -1;
    }
    ASIOChannelControls controls{};
    controls.channel = channel;
    controls.isInput = isInput ? ASIOTrue : ASIOFalse;
    controls.meter = -1;
    if (driver->future(selector, &controls) != ASE_SUCCESS) {
        return -1;
    }
    return controls.meter;
}

std::int32_t TCustomASIOHostBasic::GetInputMeter(std::int32_t channel) {
    return MeterRead(kAsioGetInputMeter, channel, true);
}
std::int32_t TCustomASIOHostBasic::GetOutputMeter(std::int32_t channel) {
    return MeterRead(kAsioGetOutputMeter, channel, false);
}

// ---- Driver callbacks ---------------------------------------------------------------------------

std::int32_t TCustomASIOHostBasic::AsioMessage(std::int32_t selector, std::int32_t value,
                                               void* /*message*/, double* /*opt*/) {
    switch (selector) {
    case kAsioSelectorSupported:
        return (value == kAsioEngineVersion || value == kAsioResetRequest ||
                value == kAsioResyncRequest || value == kAsioLatenciesChanged ||
                value == kAsioSupportsTimeInfo || value == kAsioSupportsTimeCode)
                   ? 1
                   : 0;
    case kAsioEngineVersion:
        return kEngineVersion;
    case kAsioResetRequest:
    case kAsioBufferSizeChange: {
        std::lock_guard lock(controlLock);
        if (driver && !resetsHeld) {
            // A failed re-open leaves the host without driver; the owner still hears of it.
            OpenDriver();
            Raise(OnReset);
        }
        return 1;
    }
    case kAsioResyncRequest:
        return 0;
    case kAsioLatenciesChanged: {
        std::lock_guard lock(controlLock);
        if (driver) {
            driver->getLatencies(&inputLatency, &outputLatency);
            Raise(OnLatencyChanged);
        }
        return 1;
    }
    case kAsioSupportsTimeInfo:
        return 1;
    default:
        return 0;
    }
}

void TCustomASIOHostBasic::SampleRateDidChange(ASIOSampleRate /*rate*/) {
    std::lock_guard lock(controlLock);
    Raise(OnSampleRateChanged);
}

void TCustomASIOHostBasic::SetOnUpdateSamplePos(TSamplePositionUpdateProc proc,
                                                void* context) noexcept {
    onUpdateSamplePosContext = context;
    onUpdateSamplePos = proc;
}

void TCustomASIOHostBasic::UpdateSamplePos(std::int64_t position) noexcept {
    if (TSamplePositionUpdateProc proc = onUpdateSamplePos) {
        proc(onUpdateSamplePosContext, position);
    }
}

void TCustomASIOHostBasic::BufferSwitch(std::int32_t index) noexcept {
    RealtimeScope realtime;
    IASIODriver* const current = driver.get();
    if (current == nullptr) {
        return;
    }
    std::memset(&blockTime, 0, sizeof blockTime);
    if (current->getSamplePosition(&blockTime.timeInfo.samplePosition,
                                   &blockTime.timeInfo.systemTime) == ASE_OK) {
        blockTime.timeInfo.flags |= atSystemTimeValid | atSamplePositionValid;
    }
    BufferSwitchTimeInfo(index, blockTime);
}

void TCustomASIOHostBasic::BufferSwitchTimeInfo(std::int32_t index,
                                                const peldor::ASIOTime& time) noexcept {
    RealtimeScope realtime;
    IASIODriver* const current = driver.get();
    if (current == nullptr || (index != 0 && index != 1)) {
        return;
    }
    UpdateSamplePos(SamplesToInt64(time.timeInfo.samplePosition));
    current->outputReady();
}

// ---- TCustomASIOHost ----------------------------------------------------------------------------

TCustomASIOHost::TCustomASIOHost(TAsioDriverList driverList)
    : TCustomASIOHostBasic(std::move(driverList)) {
    const TClipBuffer digital = DigitalClipPair();
    clip32 = digital.cb32;
    clip64 = digital.cb64;
    SelectConvertOptimizations(convertOptimizations);
}

TCustomASIOHost::~TCustomASIOHost() {
    // The driver must stop before this layer's arrays go away.
    std::lock_guard lock(controlLock);
    SetActive(false);
}

void TCustomASIOHost::SetPreventClipping(TPreventClipping value) {
    preventClipping = value;
    TClipBuffer pair{};
    if (value == TPreventClipping::pcDigital) {
        pair = DigitalClipPair();
    } else if (value == TPreventClipping::pcAnalog) {
        pair = AnalogClipPair();
    } else {
        return;
    }
    clip32 = pair.cb32;
    clip64 = pair.cb64;
}

void TCustomASIOHost::SetInputChannelOffset(std::uint16_t value) {
    if (value < InputChannelCount()) {
        inputChannelOffset = value;
    }
}

void TCustomASIOHost::SetOutputChannelOffset(std::uint16_t value) {
    if (value < OutputChannelCount()) {
        outputChannelOffset = value;
    }
}

void TCustomASIOHost::SetConvertOptimizations(TConvertOptimizations value) {
    convertOptimizations = value;
    SelectOutputDither(outputDither, convertOptimizations);
}

void TCustomASIOHost::SetOutputDither(TASIOOutputDither value) {
    if (value == outputDither) {
        return;
    }
    outputDither = value;
    SelectOutputDither(outputDither, convertOptimizations);
}

void TCustomASIOHost::SetOnBufferSwitch32(TBufferSwitch32Proc proc, void* context) noexcept {
    onBufferSwitch32Context = context;
    onBufferSwitch32 = proc;
    UpdateHandlerSelector();
}

void TCustomASIOHost::SetOnBufferSwitch64(TBufferSwitch64Proc proc, void* context) noexcept {
    onBufferSwitch64Context = context;
    onBufferSwitch64 = proc;
    UpdateHandlerSelector();
}

void TCustomASIOHost::SetOnBufferSwitchNative(TBufferSwitchNativeProc proc,
                                              void* context) noexcept {
    onBufferSwitchNativeContext = context;
    onBufferSwitchNative = proc;
}

void TCustomASIOHost::UpdateHandlerSelector() noexcept {
    if (onBufferSwitch64.Load() != nullptr) {
        handler = Handler::Float64;
    } else if (onBufferSwitch32.Load() != nullptr) {
        handler = Handler::Float32;
    } else {
        handler = Handler::None;
    }
}

void TCustomASIOHost::AllocateChannelState(std::int32_t inputs, std::int32_t outputs) {
    const std::size_t frames = BufferSize();
    const std::size_t channels = static_cast<std::size_t>(inputs + outputs);
    singleStorage.assign(channels * frames, 0.0f);
    doubleStorage.assign(channels * frames, 0.0);
    singleIn.assign(static_cast<std::size_t>(inputs), nullptr);
    singleOut.assign(static_cast<std::size_t>(outputs), nullptr);
    doubleIn.assign(static_cast<std::size_t>(inputs), nullptr);
    doubleOut.assign(static_cast<std::size_t>(outputs), nullptr);
    inConverters.assign(static_cast<std::size_t>(inputs), TInConverter{});
    outConverters.assign(static_cast<std::size_t>(outputs), TOutConverter{});
    for (std::size_t c = 0; c < channels; ++c) {
        float* single = singleStorage.data() + c * frames;
        double* dbl = doubleStorage.data() + c * frames;
        if (c < static_cast<std::size_t>(inputs)) {
            singleIn[c] = single;
            doubleIn[c] = dbl;
        } else {
            singleOut[c - static_cast<std::size_t>(inputs)] = single;
            doubleOut[c - static_cast<std::size_t>(inputs)] = dbl;
        }
    }
}

void TCustomASIOHost::SetupChannel(bool isInput, std::int32_t channel, ASIOSampleType type) {
    const auto c = static_cast<std::size_t>(channel);
    if (isInput) {
        inConverters[c] = InputConverter(type);
    } else {
        outConverters[c] = OutputConverter(type);
    }
}

void TCustomASIOHost::ReleaseChannelState() {
    singleIn.clear();
    singleOut.clear();
    doubleIn.clear();
    doubleOut.clear();
    inConverters.clear();
    outConverters.clear();
    std::vector<float>().swap(singleStorage);
    std::vector<double>().swap(doubleStorage);
}

void TCustomASIOHost::BuffersReady() {
    noiseState = NoiseSeed();
}

float* TCustomASIOHost::SingleInBuffer(std::int32_t channel) const noexcept {
    return channel >= 0 && static_cast<std::size_t>(channel) < singleIn.size()
               ? singleIn[static_cast<std::size_t>(channel)]
               : nullptr;
}
float* TCustomASIOHost::SingleOutBuffer(std::int32_t channel) const noexcept {
    return channel >= 0 && static_cast<std::size_t>(channel) < singleOut.size()
               ? singleOut[static_cast<std::size_t>(channel)]
               : nullptr;
}
double* TCustomASIOHost::DoubleInBuffer(std::int32_t channel) const noexcept {
    return channel >= 0 && static_cast<std::size_t>(channel) < doubleIn.size()
               ? doubleIn[static_cast<std::size_t>(channel)]
               : nullptr;
}
double* TCustomASIOHost::DoubleOutBuffer(std::int32_t channel) const noexcept {
    return channel >= 0 && static_cast<std::size_t>(channel) < doubleOut.size()
               ? doubleOut[static_cast<std::size_t>(channel)]
               : nullptr;
}
TInConverter TCustomASIOHost::InputConverterOf(std::int32_t channel) const noexcept {
    return channel >= 0 && static_cast<std::size_t>(channel) < inConverters.size()
               ? inConverters[static_cast<std::size_t>(channel)]
               : TInConverter{};
}
TOutConverter TCustomASIOHost::OutputConverterOf(std::int32_t channel) const noexcept {
    return channel >= 0 && static_cast<std::size_t>(channel) < outConverters.size()
               ? outConverters[static_cast<std::size_t>(channel)]
               : TOutConverter{};
}

// ---- The block ----------------------------------------------------------------------------------

template <typename T> void TCustomASIOHost::FillNoise(T* data, std::uint32_t count) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        noiseState = noiseState * kNoiseMultiplier + 1u;
        data[i] = static_cast<T>(static_cast<double>(noiseState) * kTwoPowMinus32 * 2.0 - 1.0);
    }
}

template <typename T>
void TCustomASIOHost::ProcessFloatBlock(std::int32_t index, const std::vector<T*>& in,
                                        const std::vector<T*>& out) noexcept {
    constexpr bool kSingle = std::is_same_v<T, float>;
    const std::uint32_t n = BlockFrames();
    const auto frames = static_cast<std::int32_t>(n);
    const auto inCount = static_cast<std::int32_t>(in.size());
    const auto outCount = static_cast<std::int32_t>(out.size());
    const ASIOBufferInfo* inRecords = InputBufferInfos();
    const ASIOBufferInfo* outRecords = OutputBufferInfos();
    auto clip = [this, frames](T* data) {
        if constexpr (kSingle) {
            if (TClip32 routine = clip32) {
                routine(data, frames);
            }
        } else {
            if (TClip64 routine = clip64) {
                routine(data, frames);
            }
        }
    };
    const bool clipping = preventClipping.Load() != TPreventClipping::pcNone;

    // 1. Inputs.
    switch (preFillIn.Load()) {
    case TBufferPreFill::bpfZero:
        for (T* buffer : in) {
            std::fill_n(buffer, n, T(0));
        }
        break;
    case TBufferPreFill::bpfNoise:
        for (T* buffer : in) {
            FillNoise(buffer, n);
        }
        break;
    case TBufferPreFill::bpfCustom:
        break; // no generator is ever attached
    case TBufferPreFill::bpfNone:
        for (std::int32_t c = 0; c < inCount; ++c) {
            const void* source = inRecords[c].buffers[index];
            if (source == nullptr) {
                continue;
            }
            if constexpr (kSingle) {
                if (TInConvert32 routine = inConverters[static_cast<std::size_t>(c)].ic32) {
                    routine(source, in[static_cast<std::size_t>(c)], frames);
                }
            } else {
                if (TInConvert64 routine = inConverters[static_cast<std::size_t>(c)].ic64) {
                    routine(source, in[static_cast<std::size_t>(c)], frames);
                }
            }
        }
        break;
    }
    // 2.
    if (clipping) {
        for (T* buffer : in) {
            clip(buffer);
        }
    }
    // 3. Outputs.
    switch (preFillOut.Load()) {
    case TBufferPreFill::bpfZero:
        for (T* buffer : out) {
            std::fill_n(buffer, n, T(0));
        }
        break;
    case TBufferPreFill::bpfNoise:
        for (T* buffer : out) {
            FillNoise(buffer, n);
        }
        break;
    case TBufferPreFill::bpfNone:
    case TBufferPreFill::bpfCustom:
        break;
    }
    // 4. Input monitoring; channels beyond either count are skipped.
    auto copy = [&](std::int32_t from, std::int32_t to) {
        if (from >= 0 && from < inCount && to >= 0 && to < outCount) {
            std::copy_n(in[static_cast<std::size_t>(from)], n, out[static_cast<std::size_t>(to)]);
        }
    };
    const std::int32_t inOffset = inputChannelOffset;
    const std::int32_t outOffset = outputChannelOffset;
    switch (inputMonitor.Load()) {
    case TInputMonitor::imDisabled:
        break;
    case TInputMonitor::imMono:
        copy(inOffset, outOffset);
        break;
    case TInputMonitor::imStereo:
        copy(inOffset, outOffset);
        copy(inOffset + 1, outOffset + 1);
        break;
    case TInputMonitor::imAll:
        for (std::int32_t k = 0; k < std::min(inCount, outCount); ++k) {
            copy(k, k);
        }
        break;
    }
    // 5. The handler.
    if constexpr (kSingle) {
        if (TBufferSwitch32Proc proc = onBufferSwitch32) {
            proc(onBufferSwitch32Context, in.data(), inCount, out.data(), outCount, frames);
        }
    } else {
        if (TBufferSwitch64Proc proc = onBufferSwitch64) {
            proc(onBufferSwitch64Context, in.data(), inCount, out.data(), outCount, frames);
        }
    }
    // 6.
    if (clipping) {
        for (T* buffer : out) {
            clip(buffer);
        }
    }
    // 7. Conversion out.
    for (std::int32_t c = 0; c < outCount; ++c) {
        void* target = outRecords[c].buffers[index];
        if (target == nullptr) {
            continue;
        }
        if constexpr (kSingle) {
            if (TOutConvert32 routine = outConverters[static_cast<std::size_t>(c)].oc32) {
                routine(out[static_cast<std::size_t>(c)], target, frames);
            }
        } else {
            if (TOutConvert64 routine = outConverters[static_cast<std::size_t>(c)].oc64) {
                routine(out[static_cast<std::size_t>(c)], target, frames);
            }
        }
    }
}

void TCustomASIOHost::BufferSwitchTimeInfo(std::int32_t index,
                                           const peldor::ASIOTime& time) noexcept {
    RealtimeScope realtime;
    IASIODriver* const current = BlockDriver();
    if (current == nullptr || (index != 0 && index != 1)) {
        return;
    }
    UpdateSamplePos(SamplesToInt64(time.timeInfo.samplePosition));
    if (TBufferSwitchNativeProc native = onBufferSwitchNative) {
        native(onBufferSwitchNativeContext, InputBufferInfos(), BlockBufferInfoCount(), index);
    } else if (BlockBuffersCreated() && BlockFrames() > 0) {
        if (handler.Load() == Handler::Float64) {
            ProcessFloatBlock<double>(index, doubleIn, doubleOut);
        } else {
            ProcessFloatBlock<float>(index, singleIn, singleOut);
        }
    }
    current->outputReady();
}

} // namespace peldor
