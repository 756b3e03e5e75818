#include "audio_io/wav_file_driver.h"

#include "audio_io/ini_section.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

namespace peldor {
namespace {

constexpr std::int64_t kNsPerSecond = 1000000000;
constexpr std::uint16_t kWaveFormatPcm = 1;
constexpr std::uint16_t kWaveFormatFloat = 3;
constexpr std::uint32_t kHeaderBytes = 44;
/// Largest data chunk a RIFF file can describe.
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - kHeaderBytes;

void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

} // namespace

TWavFileSettings TWavFileSettings::Read(const std::filesystem::path& iniPath) {
    TIniSection section(iniPath, "WAV file");
    TWavFileSettings s;
    std::filesystem::path path = section.String("Path", s.Path.string());
    if (path.is_relative() && !iniPath.empty()) {
        path = iniPath.parent_path() / path;
    }
    s.Path = path;
    s.SampleRate = section.Float("Sample rate", s.SampleRate);
    s.BufferSize = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(section.Integer("Buffer size", s.BufferSize), 0, kWavMaxBuffer));
    s.Channels = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(section.Integer("Channels", s.Channels), 0, kWavMaxChannels));
    constexpr std::int64_t kFloatBits = 32;
    s.FloatFormat = section.Integer("Format", 24) == kFloatBits;
    s.RealTime = section.Bool("Real time", s.RealTime);
    s.Length = std::max<std::int64_t>(section.Integer("Length", 0), 0);
    s.Clamp();
    return s;
}

void TWavFileSettings::Clamp() noexcept {
    if (!(SampleRate >= kWavLowestRate && SampleRate <= kWavHighestRate)) {
        SampleRate = std::isnan(SampleRate)
                         ? 48000.0
                         : std::clamp(SampleRate, kWavLowestRate, kWavHighestRate);
    }
    BufferSize = std::clamp(BufferSize, kWavMinBuffer, kWavMaxBuffer);
    Channels = std::clamp(Channels, 1, kWavMaxChannels);
    Length = std::max<std::int64_t>(Length, 0);
}

TWavFileDriver::TWavFileDriver(std::filesystem::path path)
    : TBuiltinDriver(kWavFileDriverName), iniPath(std::move(path)), fromFile(true) {}

TWavFileDriver::TWavFileDriver(const TWavFileSettings& fixed)
    : TBuiltinDriver(kWavFileDriverName), settings(fixed) {
    settings.Clamp();
}

TWavFileDriver::~TWavFileDriver() {
    stop();
    disposeBuffers();
}

ASIOBool TWavFileDriver::init(void* /*sysHandle*/) {
    if (fromFile) {
        settings = TWavFileSettings::Read(iniPath);
    }
    rate = settings.SampleRate;
    filePath = settings.Path;
    std::vector<std::string> names;
    for (std::int32_t c = 0; c < settings.Channels; ++c) {
        names.push_back("WAV out " + std::to_string(c + 1));
    }
    const ASIOSampleType type = settings.FloatFormat ? ASIOSTFloat32LSB : ASIOSTInt24LSB;
    std::vector<ASIOSampleType> types(names.size(), type);
    SetChannels({}, {}, std::move(types), std::move(names));
    return ASIOTrue;
}

ASIOError TWavFileDriver::getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) {
    if (inputLatency != nullptr) {
        *inputLatency = 0;
    }
    if (outputLatency != nullptr) {
        *outputLatency = HasBuffers() ? Frames() : settings.BufferSize;
    }
    return ASE_OK;
}

ASIOError TWavFileDriver::getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                                        std::int32_t* preferredSize, std::int32_t* granularity) {
    if (minSize == nullptr || maxSize == nullptr || preferredSize == nullptr ||
        granularity == nullptr) {
        return ASE_InvalidParameter;
    }
    *minSize = kWavMinBuffer;
    *maxSize = kWavMaxBuffer;
    *preferredSize = settings.BufferSize;
    *granularity = 1;
    return ASE_OK;
}

ASIOError TWavFileDriver::canSampleRate(ASIOSampleRate sampleRate) {
    return sampleRate >= kWavLowestRate && sampleRate <= kWavHighestRate ? ASE_OK : ASE_NoClock;
}

ASIOError TWavFileDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    if (sampleRate == nullptr) {
        return ASE_InvalidParameter;
    }
    *sampleRate = rate;
    return ASE_OK;
}

ASIOError TWavFileDriver::setSampleRate(ASIOSampleRate sampleRate) {
    if (canSampleRate(sampleRate) != ASE_OK) {
        return ASE_NoClock;
    }
    if (running.load()) {
        return ASE_InvalidMode; // the file's header already names its rate
    }
    rate = sampleRate;
    return ASE_OK;
}

ASIOError TWavFileDriver::createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                        std::int32_t bufferSize, ASIOCallbacks* hostCallbacks) {
    if (running.load()) {
        return ASE_InvalidMode;
    }
    const ASIOError answer =
        TBuiltinDriver::createBuffers(bufferInfos, numChannels, bufferSize, hostCallbacks);
    if (answer == ASE_OK) {
        frameBuffer.assign(static_cast<std::size_t>(bufferSize) * OutputCount() * BytesPerSample(),
                           0);
    }
    return answer;
}

ASIOError TWavFileDriver::disposeBuffers() {
    stop();
    return TBuiltinDriver::disposeBuffers();
}

bool TWavFileDriver::WriteHeader(std::uint32_t dataBytes) noexcept {
    std::uint8_t h[kHeaderBytes] = {};
    const auto channels = static_cast<std::uint16_t>(OutputCount());
    const auto bytesPerSample = static_cast<std::uint16_t>(BytesPerSample());
    const auto sampleRate = static_cast<std::uint32_t>(std::lround(rate));
    std::memcpy(h, "RIFF", 4);
    PutU32(h + 4, kHeaderBytes - 8 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutU32(h + 16, 16);
    PutU16(h + 20, settings.FloatFormat ? kWaveFormatFloat : kWaveFormatPcm);
    PutU16(h + 22, channels);
    PutU32(h + 24, sampleRate);
    PutU32(h + 28, sampleRate * channels * bytesPerSample);
    PutU16(h + 32, static_cast<std::uint16_t>(channels * bytesPerSample));
    PutU16(h + 34, static_cast<std::uint16_t>(8 * bytesPerSample));
    std::memcpy(h + 36, "data", 4);
    PutU32(h + 40, dataBytes);
    return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, file) == sizeof h;
}

ASIOError TWavFileDriver::start() {
    if (!HasBuffers()) {
        SetError("No buffers");
        return ASE_InvalidMode;
    }
    if (running.load()) {
        return ASE_OK;
    }
    if (renderer.joinable()) {
        renderer.join(); // a run that reached its length
    }
    file = std::fopen(filePath.c_str(), "wb+");
    if (file == nullptr) {
        SetError("Cannot create " + filePath.string());
        return ASE_HWMalfunction;
    }
    if (!WriteHeader(0)) {
        SetError("Cannot write " + filePath.string());
        CloseFile();
        return ASE_HWMalfunction;
    }
    ResetSamplePosition();
    rendered.store(0);
    finished.store(false);
    running.store(true);
    renderer = std::thread([this] { Run(); });
    return ASE_OK;
}

ASIOError TWavFileDriver::stop() {
    running.store(false);
    if (renderer.joinable()) {
        renderer.join();
    }
    CloseFile();
    return ASE_OK;
}

void TWavFileDriver::CloseFile() noexcept {
    if (file == nullptr) {
        return;
    }
    const std::uint64_t dataBytes = static_cast<std::uint64_t>(rendered.load()) *
                                    static_cast<std::uint64_t>(OutputCount()) * BytesPerSample();
    WriteHeader(static_cast<std::uint32_t>(std::min(dataBytes, kMaxDataBytes)));
    std::fclose(file);
    file = nullptr;
}

void TWavFileDriver::Run() noexcept {
    int half = 0;
    const std::int32_t blockFrames = Frames();
    const std::int32_t channels = OutputCount();
    const int width = BytesPerSample();
    const std::int64_t start = MonotonicNanoseconds();
    const std::uint64_t frameBytes = static_cast<std::uint64_t>(channels) * width;
    while (running.load(std::memory_order_acquire)) {
        SwitchBuffers(half);
        std::int64_t count = blockFrames;
        if (settings.Length > 0) {
            count = std::min<std::int64_t>(count, settings.Length - rendered.load());
        }
        if (static_cast<std::uint64_t>(rendered.load() + count) * frameBytes > kMaxDataBytes) {
            count = 0; // the file is full
        }
        // Interleave the channels frame by frame.
        for (std::int32_t c = 0; c < channels; ++c) {
            const auto* source = static_cast<const std::uint8_t*>(Output(c).Half(half));
            if (source == nullptr) {
                continue;
            }
            for (std::int64_t i = 0; i < count; ++i) {
                std::memcpy(frameBuffer.data() + (i * channels + c) * width, source + i * width,
                            static_cast<std::size_t>(width));
            }
        }
        if (count > 0 &&
            std::fwrite(frameBuffer.data(), static_cast<std::size_t>(frameBytes),
                        static_cast<std::size_t>(count), file) != static_cast<std::size_t>(count)) {
            SetError("Write error");
            break;
        }
        rendered.fetch_add(count);
        half ^= 1;
        if (count < blockFrames) {
            finished.store(true);
            break;
        }
        if (settings.RealTime) {
            const auto due =
                start + static_cast<std::int64_t>(static_cast<double>(rendered.load()) *
                                                  kNsPerSecond / rate);
            timespec until{};
            until.tv_sec = static_cast<time_t>(due / kNsPerSecond);
            until.tv_nsec = static_cast<long>(due % kNsPerSecond);
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
        }
    }
    if (finished.load()) {
        // Complete the header at once, so the file is whole before anyone calls stop.
        const std::uint64_t dataBytes = static_cast<std::uint64_t>(rendered.load()) * frameBytes;
        WriteHeader(static_cast<std::uint32_t>(std::min(dataBytes, kMaxDataBytes)));
        std::fflush(file);
    }
}

} // namespace peldor
