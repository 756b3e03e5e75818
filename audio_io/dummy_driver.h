#pragma once
// The "Dummy" driver: no hardware. A timer thread calls the host's buffer switch at the pace
// of the chosen rate and buffer size. Inputs carry silence or a 1 kHz test tone; the last block
// of every output is kept so that tests can read what the host wrote.

#include "audio_io/builtin_driver.h"
#include "engine/spin_lock.h"

#include <filesystem>
#include <thread>

namespace peldor {

/// Settings of the "Dummy" section.
struct TDummySettings {
    double SampleRate = 48000.0;                  // "Sample rate", 44100 .. 192000
    std::int32_t BufferSize = 256;                // "Buffer size", 32 .. 4096
    std::int32_t Inputs = 2;                      // "Inputs", 0 .. 64
    std::int32_t Outputs = 2;                     // "Outputs", 0 .. 64
    ASIOSampleType SampleType = ASIOSTFloat32LSB; // "Sample type", one of the 18 codes
    bool InputTone = false; // "Input tone": 1 kHz sine at half scale instead of silence

    /// Reads the section, keeping the defaults for missing keys and clamping the values.
    static TDummySettings Read(const std::filesystem::path& iniPath);
    /// Brings every value into its range (an unknown sample type becomes Float32LSB).
    void Clamp() noexcept;
};

inline constexpr double kDummyLowestRate = 44100.0;
inline constexpr double kDummyHighestRate = 192000.0;
inline constexpr std::int32_t kDummyMinBuffer = 32;
inline constexpr std::int32_t kDummyMaxBuffer = 4096;
inline constexpr std::int32_t kDummyMaxChannels = 64;
inline constexpr double kDummyToneFrequency = 1000.0;
inline constexpr double kDummyToneLevel = 0.5;

class TDummyDriver final : public TBuiltinDriver {
public:
    /// Reads its settings from the file at every init.
    explicit TDummyDriver(std::filesystem::path iniPath);
    /// Uses fixed settings.
    explicit TDummyDriver(const TDummySettings& settings);
    ~TDummyDriver() override;

    ASIOBool init(void* sysHandle) override;
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

    /// Blocks switched since buffers were created. Any thread.
    std::uint64_t BlocksProcessed() const noexcept {
        return blocks.load(std::memory_order_acquire);
    }
    /// The driver's bytes of an output channel's most recent block (empty without one). Any
    /// thread but the timer's.
    std::vector<std::uint8_t> LastOutput(std::int32_t channel) const;
    const TDummySettings& Settings() const noexcept { return settings; }

protected:
    std::int32_t MinBufferSize() const noexcept override { return kDummyMinBuffer; }
    std::int32_t MaxBufferSize() const noexcept override { return kDummyMaxBuffer; }
    const char* ClockName() const noexcept override { return "Internal"; }

private:
    void Run() noexcept;
    void FillInputs(int half) noexcept;
    void CaptureOutputs(int half) noexcept;

    std::filesystem::path iniPath;
    bool fromFile = false;
    TDummySettings settings;
    std::atomic<double> rate{48000.0};
    std::atomic<bool> running{false};
    std::thread timer;
    std::atomic<std::uint64_t> blocks{0};
    std::vector<float> toneScratch;
    double tonePhase = 0.0;
    mutable SpinLock captureLock;
    std::vector<std::vector<std::uint8_t>> captured;
};

} // namespace peldor
