#include "audio_io/builtin_driver.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace peldor {
namespace {

void CopyText(char* target, std::size_t room, const std::string& text) {
    const std::size_t length = std::min(text.size(), room - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

constexpr std::size_t kErrorMessageRoom = 124;

} // namespace

std::int64_t MonotonicNanoseconds() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    constexpr std::int64_t kNsPerSecond = 1000000000;
    return static_cast<std::int64_t>(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

TBuiltinDriver::TBuiltinDriver(std::string name) : driverName(std::move(name)) {}

void TBuiltinDriver::getDriverName(char* name) {
    if (name != nullptr) {
        CopyText(name, kAsioNameLength, driverName);
    }
}

void TBuiltinDriver::getErrorMessage(char* text) {
    if (text != nullptr) {
        CopyText(text, kErrorMessageRoom, errorText);
    }
}

void TBuiltinDriver::SetChannels(std::vector<ASIOSampleType> inputTypes,
                                 std::vector<std::string> newInputNames,
                                 std::vector<ASIOSampleType> outputTypes,
                                 std::vector<std::string> newOutputNames) {
    inputs.assign(inputTypes.size(), TChannelBuffer{});
    outputs.assign(outputTypes.size(), TChannelBuffer{});
    for (std::size_t c = 0; c < inputTypes.size(); ++c) {
        inputs[c].type = inputTypes[c];
    }
    for (std::size_t c = 0; c < outputTypes.size(); ++c) {
        outputs[c].type = outputTypes[c];
    }
    inputNames = std::move(newInputNames);
    outputNames = std::move(newOutputNames);
    inputNames.resize(inputs.size());
    outputNames.resize(outputs.size());
}

ASIOError TBuiltinDriver::getChannels(std::int32_t* numInputChannels,
                                      std::int32_t* numOutputChannels) {
    if (numInputChannels != nullptr) {
        *numInputChannels = InputCount();
    }
    if (numOutputChannels != nullptr) {
        *numOutputChannels = OutputCount();
    }
    return ASE_OK;
}

ASIOError TBuiltinDriver::getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) {
    if (clocks == nullptr || numSources == nullptr) {
        return ASE_InvalidParameter;
    }
    if (*numSources < 1) {
        *numSources = 0;
        return ASE_OK;
    }
    clocks[0] = ASIOClockSource{};
    clocks[0].index = 0;
    clocks[0].associatedChannel = -1;
    clocks[0].associatedGroup = -1;
    clocks[0].isCurrentSource = ASIOTrue;
    CopyText(clocks[0].name, kAsioNameLength, ClockName());
    *numSources = 1;
    return ASE_OK;
}

ASIOError TBuiltinDriver::setClockSource(std::int32_t reference) {
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError TBuiltinDriver::getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp) {
    if (position == nullptr || timeStamp == nullptr) {
        return ASE_InvalidParameter;
    }
    *position = Int64ToSamples(samplePosition.load(std::memory_order_relaxed));
    *timeStamp = Int64ToTimeStamp(systemTime.load(std::memory_order_relaxed));
    return ASE_OK;
}

ASIOError TBuiltinDriver::getChannelInfo(ASIOChannelInfo* info) {
    if (info == nullptr) {
        return ASE_InvalidParameter;
    }
    const bool isInput = info->isInput != ASIOFalse;
    const std::int32_t count = isInput ? InputCount() : OutputCount();
    if (info->channel < 0 || info->channel >= count) {
        return ASE_InvalidParameter;
    }
    const auto c = static_cast<std::size_t>(info->channel);
    const TChannelBuffer& buffer = isInput ? inputs[c] : outputs[c];
    info->isActive = buffer.created ? ASIOTrue : ASIOFalse;
    info->channelGroup = 0;
    info->type = buffer.type;
    CopyText(info->name, kAsioNameLength, isInput ? inputNames[c] : outputNames[c]);
    return ASE_OK;
}

ASIOError TBuiltinDriver::createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                        std::int32_t bufferSize, ASIOCallbacks* hostCallbacks) {
    if (buffersCreated) {
        return ASE_InvalidMode;
    }
    if (numChannels < 0 || (numChannels > 0 && bufferInfos == nullptr) ||
        hostCallbacks == nullptr) {
        return ASE_InvalidParameter;
    }
    if (bufferSize < MinBufferSize() || bufferSize > MaxBufferSize()) {
        return ASE_InvalidMode;
    }
    // Check every record before touching anything.
    std::vector<bool> seenIn(inputs.size()), seenOut(outputs.size());
    for (std::int32_t i = 0; i < numChannels; ++i) {
        const ASIOBufferInfo& record = bufferInfos[i];
        const bool isInput = record.isInput != ASIOFalse;
        std::vector<bool>& seen = isInput ? seenIn : seenOut;
        if (record.channelNum < 0 || static_cast<std::size_t>(record.channelNum) >= seen.size() ||
            seen[static_cast<std::size_t>(record.channelNum)]) {
            return ASE_InvalidParameter;
        }
        seen[static_cast<std::size_t>(record.channelNum)] = true;
    }
    try {
        for (std::int32_t i = 0; i < numChannels; ++i) {
            ASIOBufferInfo& record = bufferInfos[i];
            TChannelBuffer& buffer = record.isInput != ASIOFalse
                                         ? inputs[static_cast<std::size_t>(record.channelNum)]
                                         : outputs[static_cast<std::size_t>(record.channelNum)];
            const int width = SampleTypeWidth(buffer.type);
            if (width == 0) {
                // A type the host cannot convert still gets 4 bytes a sample, zeroed.
                buffer.storage.assign(2 * static_cast<std::size_t>(bufferSize) * 4, 0);
            } else {
                buffer.storage.assign(2 * static_cast<std::size_t>(bufferSize) * width, 0);
            }
            buffer.created = true;
            record.buffers[0] = buffer.Half(0);
            record.buffers[1] = buffer.Half(1);
        }
    } catch (const std::bad_alloc&) {
        disposeBuffers();
        return ASE_NoMemory;
    }
    callbacks = *hostCallbacks;
    useTimeInfo = callbacks.asioMessage != nullptr && callbacks.bufferSwitchTimeInfo != nullptr &&
                  callbacks.asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
    frames = bufferSize;
    buffersCreated = true;
    return ASE_OK;
}

ASIOError TBuiltinDriver::disposeBuffers() {
    for (auto* set : {&inputs, &outputs}) {
        for (TChannelBuffer& buffer : *set) {
            buffer.created = false;
            std::vector<std::uint8_t>().swap(buffer.storage);
        }
    }
    const bool had = buffersCreated;
    buffersCreated = false;
    frames = 0;
    return had ? ASE_OK : ASE_InvalidMode;
}

ASIOError TBuiltinDriver::future(std::int32_t selector, void* /*opt*/) {
    if (selector == kPeldorRunFinished) {
        return RunFinished() ? ASE_SUCCESS : ASE_NotPresent;
    }
    return selector == kAsioCanTimeInfo ? ASE_SUCCESS : ASE_NotPresent;
}

void TBuiltinDriver::ResetSamplePosition() noexcept {
    samplePosition.store(0, std::memory_order_relaxed);
}

void TBuiltinDriver::SwitchBuffers(int half) noexcept {
    const std::int64_t position = samplePosition.load(std::memory_order_relaxed);
    const std::int64_t now = MonotonicNanoseconds();
    systemTime.store(now, std::memory_order_relaxed);
    if (useTimeInfo) {
        std::memset(&timeRecord, 0, sizeof timeRecord);
        timeRecord.timeInfo.speed = 1.0;
        timeRecord.timeInfo.samplePosition = Int64ToSamples(position);
        timeRecord.timeInfo.systemTime = Int64ToTimeStamp(now);
        timeRecord.timeInfo.flags = kSystemTimeValid | kSamplePositionValid;
        callbacks.bufferSwitchTimeInfo(&timeRecord, half, ASIOTrue);
    } else if (callbacks.bufferSwitch != nullptr) {
        callbacks.bufferSwitch(half, ASIOTrue);
    }
    samplePosition.store(position + frames, std::memory_order_relaxed);
}

} // namespace peldor
