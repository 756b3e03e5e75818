#pragma once
// The "WAV file" driver: renders the outputs into a WAV file, as fast as possible or paced in
// real time, for offline rendering and deterministic end-to-end runs. It has no inputs. Each
// start writes a new file; stop (or reaching the configured length) completes its header.

#include "audio_io/builtin_driver.h"

#include <cstdio>
#include <filesystem>
#include <thread>

namespace peldor {

/// Settings of the "WAV file" section.
struct TWavFileSettings {
    std::filesystem::path Path = "peldor.wav"; // "Path"; relative to the settings file
    double SampleRate = 48000.0;               // "Sample rate", 8000 .. 384000
    std::int32_t BufferSize = 256;             // "Buffer size", 16 .. 8192
    std::int32_t Channels = 2;                 // "Channels", 1 .. 64
    bool FloatFormat = false;                  // "Format": 24 = 24-bit PCM, 32 = 32-bit float
    bool RealTime = false;                     // "Real time": paced like a sound card
    std::int64_t Length = 0;                   // "Length" in frames; 0 renders until stopped

    static TWavFileSettings Read(const std::filesystem::path& iniPath);
    void Clamp() noexcept;
};

inline constexpr std::int32_t kWavMinBuffer = 16;
inline constexpr std::int32_t kWavMaxBuffer = 8192;
inline constexpr std::int32_t kWavMaxChannels = 64;
inline constexpr double kWavLowestRate = 8000.0;
inline constexpr double kWavHighestRate = 384000.0;

class TWavFileDriver final : public TBuiltinDriver {
public:
    explicit TWavFileDriver(std::filesystem::path iniPath);
    explicit TWavFileDriver(const TWavFileSettings& settings);
    ~TWavFileDriver() override;

    ASIOBool init(void* sysHandle) override;
    /// Creates the file and starts rendering; ASE_HWMalfunction when the file cannot be made.
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) override;
    ASIOError getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                            std::int32_t* preferredSize, std::int32_t* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                            std::int32_t bufferSize, ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;

    /// Frames written to the current file. Any thread.
    std::int64_t FramesRendered() const noexcept { return rendered.load(); }
    /// True once a configured length has been rendered and the file completed. Any thread.
    bool Finished() const noexcept { return finished.load(); }
    /// The file being (or last) written.
    const std::filesystem::path& FilePath() const noexcept { return filePath; }

protected:
    std::int32_t MinBufferSize() const noexcept override { return kWavMinBuffer; }
    std::int32_t MaxBufferSize() const noexcept override { return kWavMaxBuffer; }
    const char* ClockName() const noexcept override { return "File clock"; }
    bool RunFinished() const noexcept override { return Finished(); }

private:
    void Run() noexcept;
    bool WriteHeader(std::uint32_t dataBytes) noexcept;
    void CloseFile() noexcept;
    int BytesPerSample() const noexcept { return settings.FloatFormat ? 4 : 3; }

    std::filesystem::path iniPath;
    bool fromFile = false;
    TWavFileSettings settings;
    std::filesystem::path filePath;
    double rate = 48000.0;
    std::FILE* file = nullptr;
    std::vector<std::uint8_t> frameBuffer;
    std::atomic<bool> running{false};
    std::atomic<bool> finished{false};
    std::atomic<std::int64_t> rendered{0};
    std::thread renderer;
};

} // namespace peldor
