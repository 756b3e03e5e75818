#include "audio_io/dummy_driver.h"

#include "audio_io/ini_section.h"
#include "audio_io/sample_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <mutex>

namespace peldor {
namespace {

constexpr double kTwoPi = 6.283185307179586476925;
constexpr std::int64_t kNsPerSecond = 1000000000;
/// After a stall longer than this many blocks the clock starts over instead of catching up.
constexpr std::int64_t kMaxBlocksBehind = 4;

bool IsConvertedType(ASIOSampleType type) {
    return std::find(std::begin(kConvertedSampleTypes), std::end(kConvertedSampleTypes), type) !=
           std::end(kConvertedSampleTypes);
}

timespec ToTimespec(std::int64_t ns) {
    timespec t{};
    t.tv_sec = static_cast<time_t>(ns / kNsPerSecond);
    t.tv_nsec = static_cast<long>(ns % kNsPerSecond);
    return t;
}

} // namespace

TDummySettings TDummySettings::Read(const std::filesystem::path& iniPath) {
    TIniSection section(iniPath, "Dummy");
    TDummySettings s;
    s.SampleRate = section.Float("Sample rate", s.SampleRate);
    s.BufferSize = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(section.Integer("Buffer size", s.BufferSize), 0, kDummyMaxBuffer));
    s.Inputs = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(section.Integer("Inputs", s.Inputs), 0, kDummyMaxChannels));
    s.Outputs = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(section.Integer("Outputs", s.Outputs), 0, kDummyMaxChannels));
    s.SampleType = static_cast<ASIOSampleType>(
        std::clamp<std::int64_t>(section.Integer("Sample type", s.SampleType), -1, 1000));
    s.InputTone = section.Bool("Input tone", s.InputTone);
    s.Clamp();
    return s;
}

void TDummySettings::Clamp() noexcept {
    if (!(SampleRate >= kDummyLowestRate && SampleRate <= kDummyHighestRate)) {
        SampleRate = std::isnan(SampleRate)
                         ? 48000.0
                         : std::clamp(SampleRate, kDummyLowestRate, kDummyHighestRate);
    }
    BufferSize = std::clamp(BufferSize, kDummyMinBuffer, kDummyMaxBuffer);
    Inputs = std::clamp(Inputs, 0, kDummyMaxChannels);
    Outputs = std::clamp(Outputs, 0, kDummyMaxChannels);
    if (!IsConvertedType(SampleType)) {
        SampleType = ASIOSTFloat32LSB;
    }
}

TDummyDriver::TDummyDriver(std::filesystem::path path)
    : TBuiltinDriver(kDummyDriverName), iniPath(std::move(path)), fromFile(true) {}

TDummyDriver::TDummyDriver(const TDummySettings& fixed)
    : TBuiltinDriver(kDummyDriverName), settings(fixed) {
    settings.Clamp();
}

TDummyDriver::~TDummyDriver() {
    stop();
    disposeBuffers();
}

ASIOBool TDummyDriver::init(void* /*sysHandle*/) {
    if (fromFile) {
        settings = TDummySettings::Read(iniPath);
    }
    rate.store(settings.SampleRate);
    std::vector<std::string> inNames, outNames;
    for (std::int32_t c = 0; c < settings.Inputs; ++c) {
        inNames.push_back("Dummy in " + std::to_string(c + 1));
    }
    for (std::int32_t c = 0; c < settings.Outputs; ++c) {
        outNames.push_back("Dummy out " + std::to_string(c + 1));
    }
    SetChannels(
        std::vector<ASIOSampleType>(static_cast<std::size_t>(settings.Inputs), settings.SampleType),
        std::move(inNames),
        std::vector<ASIOSampleType>(static_cast<std::size_t>(settings.Outputs),
                                    settings.SampleType),
        std::move(outNames));
    return ASIOTrue;
}

ASIOError TDummyDriver::getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) {
    const std::int32_t latency = HasBuffers() ? Frames() : settings.BufferSize;
    if (inputLatency != nullptr) {
        *inputLatency = latency;
    }
    if (outputLatency != nullptr) {
        *outputLatency = latency;
    }
    return ASE_OK;
}

ASIOError TDummyDriver::getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                                      std::int32_t* preferredSize, std::int32_t* granularity) {
    if (minSize == nullptr || maxSize == nullptr || preferredSize == nullptr ||
        granularity == nullptr) {
        return ASE_InvalidParameter;
    }
    *minSize = kDummyMinBuffer;
    *maxSize = kDummyMaxBuffer;
    *preferredSize = settings.BufferSize;
    *granularity = 1;
    return ASE_OK;
}

ASIOError TDummyDriver::canSampleRate(ASIOSampleRate sampleRate) {
    return sampleRate >= kDummyLowestRate && sampleRate <= kDummyHighestRate ? ASE_OK : ASE_NoClock;
}

ASIOError TDummyDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    if (sampleRate == nullptr) {
        return ASE_InvalidParameter;
    }
    *sampleRate = rate.load();
    return ASE_OK;
}

ASIOError TDummyDriver::setSampleRate(ASIOSampleRate sampleRate) {
    if (canSampleRate(sampleRate) != ASE_OK) {
        return ASE_NoClock;
    }
    rate.store(sampleRate);
    return ASE_OK;
}

ASIOError TDummyDriver::createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                      std::int32_t bufferSize, ASIOCallbacks* hostCallbacks) {
    if (running.load()) {
        return ASE_InvalidMode;
    }
    const ASIOError answer =
        TBuiltinDriver::createBuffers(bufferInfos, numChannels, bufferSize, hostCallbacks);
    if (answer != ASE_OK) {
        return answer;
    }
    toneScratch.assign(static_cast<std::size_t>(bufferSize), 0.0f);
    std::lock_guard<SpinLock> lock(captureLock);
    captured.assign(static_cast<std::size_t>(OutputCount()), {});
    for (auto& block : captured) {
        block.reserve(static_cast<std::size_t>(bufferSize) * 8);
    }
    blocks.store(0);
    return ASE_OK;
}

ASIOError TDummyDriver::disposeBuffers() {
    stop();
    {
        std::lock_guard<SpinLock> lock(captureLock);
        captured.clear();
    }
    return TBuiltinDriver::disposeBuffers();
}

ASIOError TDummyDriver::start() {
    if (!HasBuffers()) {
        SetError("No buffers");
        return ASE_InvalidMode;
    }
    if (running.load()) {
        return ASE_OK;
    }
    ResetSamplePosition();
    running.store(true);
    timer = std::thread([this] { Run(); });
    return ASE_OK;
}

ASIOError TDummyDriver::stop() {
    running.store(false);
    if (timer.joinable()) {
        timer.join();
    }
    return ASE_OK;
}

void TDummyDriver::FillInputs(int half) noexcept {
    const std::int32_t n = Frames();
    if (settings.InputTone) {
        const double step = kTwoPi * kDummyToneFrequency / rate.load(std::memory_order_relaxed);
        for (std::int32_t i = 0; i < n; ++i) {
            toneScratch[static_cast<std::size_t>(i)] =
                static_cast<float>(kDummyToneLevel * std::sin(tonePhase));
            tonePhase += step;
            if (tonePhase >= kTwoPi) {
                tonePhase -= kTwoPi;
            }
        }
    }
    const TOutConverter convert = PlainConversionSet().Out[settings.SampleType];
    for (std::int32_t c = 0; c < InputCount(); ++c) {
        void* target = Input(c).Half(half);
        if (target == nullptr) {
            continue;
        }
        if (settings.InputTone && convert.oc32 != nullptr) {
            convert.oc32(toneScratch.data(), target, n);
        } else {
            std::memset(target, 0,
                        static_cast<std::size_t>(n) * SampleTypeWidth(settings.SampleType));
        }
    }
}

void TDummyDriver::CaptureOutputs(int half) noexcept {
    std::unique_lock<SpinLock> lock(captureLock, std::try_to_lock);
    if (!lock.owns_lock()) {
        return; // a reader holds it; this block is simply not kept
    }
    const std::size_t bytes =
        static_cast<std::size_t>(Frames()) * SampleTypeWidth(settings.SampleType);
    for (std::int32_t c = 0; c < OutputCount() && static_cast<std::size_t>(c) < captured.size();
         ++c) {
        const void* source = Output(c).Half(half);
        auto& block = captured[static_cast<std::size_t>(c)];
        if (source == nullptr || block.capacity() < bytes) {
            continue;
        }
        block.resize(bytes); // within the reserved capacity: no allocation
        std::memcpy(block.data(), source, bytes);
    }
}

std::vector<std::uint8_t> TDummyDriver::LastOutput(std::int32_t channel) const {
    std::lock_guard<SpinLock> lock(captureLock);
    if (channel < 0 || static_cast<std::size_t>(channel) >= captured.size()) {
        return {};
    }
    return captured[static_cast<std::size_t>(channel)];
}

void TDummyDriver::Run() noexcept {
    int half = 0;
    std::int64_t next = MonotonicNanoseconds();
    while (running.load(std::memory_order_acquire)) {
        FillInputs(half);
        SwitchBuffers(half);
        CaptureOutputs(half);
        blocks.fetch_add(1, std::memory_order_release);
        half ^= 1;

        const auto period = static_cast<std::int64_t>(static_cast<double>(Frames()) * kNsPerSecond /
                                                      rate.load(std::memory_order_relaxed));
        next += period;
        const std::int64_t now = MonotonicNanoseconds();
        if (now - next > kMaxBlocksBehind * period) {
            next = now;
        }
        const timespec until = ToTimespec(next);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
    }
}

} // namespace peldor
