#pragma once
// What Peldor's own drivers share: the double buffers of every channel, the channel records,
// the single clock source, the sample position, and the buffer switch call into the host.
// A derived driver supplies its channels, rate and buffer sizes, and runs the switches.

#include "audio_io/asio_driver.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace peldor {

/// Both halves of one channel's driver buffer.
struct TChannelBuffer {
    bool created = false;
    ASIOSampleType type = ASIOSTFloat32LSB;
    std::vector<std::uint8_t> storage; // half 0, then half 1
    void* Half(int half) noexcept {
        return created ? storage.data() + storage.size() / 2 * static_cast<std::size_t>(half)
                       : nullptr;
    }
};

class TBuiltinDriver : public IASIODriver {
public:
    void getDriverName(char* name) override;
    std::int32_t getDriverVersion() override { return kVersion; }
    void getErrorMessage(char* text) override;
    ASIOError getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) override;
    ASIOError getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) override;
    ASIOError setClockSource(std::int32_t reference) override;
    ASIOError getSamplePosition(ASIOSamples* samplePosition, ASIOTimeStamp* timeStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    /// Checks the records (known channel, each at most once) and the size (MinBufferSize ..
    /// MaxBufferSize), then makes zeroed halves of the channel's sample width.
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                            std::int32_t bufferSize, ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    ASIOError controlPanel() override { return ASE_NotPresent; }
    ASIOError future(std::int32_t selector, void* opt) override;
    ASIOError outputReady() override { return ASE_OK; }

    /// Frames per half of the created buffers (0 without buffers).
    std::int32_t Frames() const noexcept { return frames; }

protected:
    static constexpr std::int32_t kVersion = 1;
    /// name: the driver's name; channelPrefix: the start of its channel names.
    explicit TBuiltinDriver(std::string name);

    /// Sets the channels (types may be any code; buffers exist only for the 18 known ones).
    /// Call before createBuffers.
    void SetChannels(std::vector<ASIOSampleType> inputTypes, std::vector<std::string> inputNames,
                     std::vector<ASIOSampleType> outputTypes, std::vector<std::string> outputNames);
    void SetError(const std::string& text) { errorText = text; }
    virtual std::int32_t MinBufferSize() const noexcept = 0;
    virtual std::int32_t MaxBufferSize() const noexcept = 0;
    /// Name of the single clock source.
    virtual const char* ClockName() const noexcept = 0;
    /// True when the driver has ended its run on purpose (see kPeldorRunFinished).
    virtual bool RunFinished() const noexcept { return false; }

    /// Calls the host for half `half` with the current sample position and system time, then
    /// advances the position by one block. The driver's thread; no allocation.
    void SwitchBuffers(int half) noexcept;
    /// Sets the sample position (start of the run).
    void ResetSamplePosition() noexcept;

    TChannelBuffer& Input(std::int32_t channel) noexcept {
        return inputs[static_cast<std::size_t>(channel)];
    }
    TChannelBuffer& Output(std::int32_t channel) noexcept {
        return outputs[static_cast<std::size_t>(channel)];
    }
    std::int32_t InputCount() const noexcept { return static_cast<std::int32_t>(inputs.size()); }
    std::int32_t OutputCount() const noexcept { return static_cast<std::int32_t>(outputs.size()); }
    const ASIOCallbacks& HostCallbacks() const noexcept { return callbacks; }
    bool HasBuffers() const noexcept { return buffersCreated; }

private:
    std::string driverName;
    std::string errorText;
    std::vector<TChannelBuffer> inputs, outputs;
    std::vector<std::string> inputNames, outputNames;
    ASIOCallbacks callbacks{};
    bool useTimeInfo = false;
    bool buffersCreated = false;
    std::int32_t frames = 0;
    std::atomic<std::int64_t> samplePosition{0};
    std::atomic<std::int64_t> systemTime{0};
    ASIOTime timeRecord{};
};

/// Nanoseconds of the monotonic clock.
std::int64_t MonotonicNanoseconds() noexcept;

} // namespace peldor
