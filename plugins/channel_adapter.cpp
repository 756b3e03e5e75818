#include "plugins/channel_adapter.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace peldor {
namespace {

constexpr std::int32_t kEngineChannels = 2;

std::int32_t ClampChannels(std::int32_t count) {
    return std::clamp<std::int32_t>(count, 0, kMaxAdaptedChannels);
}

} // namespace

void TChannelAdapter::Prepare(std::int32_t numInputs, std::int32_t numOutputs,
                              std::int32_t newCapacity) {
    const std::int32_t inputs = ClampChannels(numInputs);
    const std::int32_t outputs = ClampChannels(numOutputs);
    const std::int32_t frames = std::max<std::int32_t>(newCapacity, 0);
    const std::int32_t extra = std::max<std::int32_t>(outputs - kEngineChannels, 0);

    std::vector<float> newStorage(static_cast<std::size_t>(inputs + extra) * frames, 0.0f);
    std::vector<float*> newSilent(inputs);
    std::vector<float*> newExtra(extra);
    for (std::int32_t i = 0; i < inputs; ++i) {
        newSilent[i] = newStorage.data() + static_cast<std::size_t>(i) * frames;
    }
    for (std::int32_t o = 0; o < extra; ++o) {
        newExtra[o] = newStorage.data() + static_cast<std::size_t>(inputs + o) * frames;
    }
    std::vector<float*> newInputArray(std::max<std::int32_t>(inputs, 1));
    std::vector<float*> newOutputArray(std::max<std::int32_t>(outputs, 1));

    while (busy.test_and_set(std::memory_order_acquire)) {
        std::this_thread::yield();
    }
    storage.swap(newStorage);
    silentInputs.swap(newSilent);
    extraOutputs.swap(newExtra);
    inputArray.swap(newInputArray);
    outputArray.swap(newOutputArray);
    preparedInputs = inputs;
    preparedOutputs = outputs;
    capacity = frames;
    busy.clear(std::memory_order_release);
    // The old buffers are freed here, outside the swap.
}

void TChannelAdapter::Release() {
    Prepare(0, 0, 0);
}

void TChannelAdapter::Silence(float** engineOutputs, std::int32_t frames) noexcept {
    if (engineOutputs == nullptr || frames <= 0) {
        return;
    }
    for (int c = 0; c < kEngineChannels; ++c) {
        if (engineOutputs[c] != nullptr) {
            std::memset(engineOutputs[c], 0, sizeof(float) * frames);
        }
    }
}

void TChannelAdapter::Process(vst2::AEffect* effect, float** engineInputs, float** engineOutputs,
                              std::int32_t frames) noexcept {
    if (effect == nullptr || effect->processReplacing == nullptr) {
        return;
    }
    // The counts are read from the effect every block: a plugin may change them (and report it
    // with audioMasterIOChanged) after it was opened.
    const std::int32_t inputs = effect->numInputs;
    const std::int32_t outputs = effect->numOutputs;
    const std::int32_t engineInputCount = engineInputs != nullptr ? kEngineChannels : 0;
    if (inputs == engineInputCount && outputs == kEngineChannels) {
        effect->processReplacing(effect, engineInputs, engineOutputs, frames);
        return;
    }
    if (engineOutputs == nullptr || frames <= 0) {
        return;
    }
    if (busy.test_and_set(std::memory_order_acquire)) {
        Silence(engineOutputs, frames);
        return;
    }
    if (inputs < 0 || outputs < 0 || inputs > preparedInputs || outputs > preparedOutputs ||
        capacity <= 0) {
        busy.clear(std::memory_order_release);
        Silence(engineOutputs, frames);
        return;
    }

    for (std::int32_t offset = 0; offset < frames; offset += capacity) {
        const std::int32_t n = std::min(capacity, frames - offset);
        for (std::int32_t i = 0; i < inputs; ++i) {
            if (i < engineInputCount) {
                inputArray[i] = engineInputs[i] + offset;
            } else {
                // Cleared every time: a plugin may write into its inputs.
                std::memset(silentInputs[i], 0, sizeof(float) * n);
                inputArray[i] = silentInputs[i];
            }
        }
        for (std::int32_t o = 0; o < outputs; ++o) {
            outputArray[o] =
                o < kEngineChannels ? engineOutputs[o] + offset : extraOutputs[o - kEngineChannels];
        }
        effect->processReplacing(effect, inputArray.data(), outputArray.data(), n);
        if (outputs == 0) {
            std::memset(engineOutputs[0] + offset, 0, sizeof(float) * n);
            std::memset(engineOutputs[1] + offset, 0, sizeof(float) * n);
        } else if (outputs == 1) {
            std::memcpy(engineOutputs[1] + offset, engineOutputs[0] + offset, sizeof(float) * n);
        }
    }
    busy.clear(std::memory_order_release);
}

} // namespace peldor
