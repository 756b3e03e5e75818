#include "midi/virtual_midi_backend.h"

#include <utility>

namespace peldor {

TVirtualMidiBackend::TVirtualMidiBackend(std::vector<std::string> inputNames,
                                         std::vector<std::string> outputNames) {
    for (auto& name : inputNames) {
        inputs.push_back({std::move(name)});
    }
    for (auto& name : outputNames) {
        outputs.push_back(OutputDevice{std::move(name), false, true, {}});
    }
}

TVirtualMidiBackend::~TVirtualMidiBackend() {
    std::unique_lock<std::mutex> lock(mutex);
    for (auto& [handle, state] : openInputs) {
        state.Started = false;
        WaitForCallbacks(lock, state);
    }
}

std::int32_t TVirtualMidiBackend::InputCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<std::int32_t>(inputs.size());
}

std::string TVirtualMidiBackend::InputName(std::int32_t index) {
    std::lock_guard<std::mutex> lock(mutex);
    return index >= 0 && index < static_cast<std::int32_t>(inputs.size()) ? inputs[index].Name
                                                                          : std::string();
}

std::int32_t TVirtualMidiBackend::OutputCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<std::int32_t>(outputs.size());
}

std::string TVirtualMidiBackend::OutputName(std::int32_t index) {
    std::lock_guard<std::mutex> lock(mutex);
    return index >= 0 && index < static_cast<std::int32_t>(outputs.size()) ? outputs[index].Name
                                                                           : std::string();
}

bool TVirtualMidiBackend::OpenInput(std::int32_t index, TMidiInputCallback callback,
                                    std::uintptr_t instance, TMidiHandle& handle) {
    std::lock_guard<std::mutex> lock(mutex);
    handle = kNoMidiHandle;
    if (index < 0 || index >= static_cast<std::int32_t>(inputs.size()) || callback == nullptr ||
        inputs[index].Busy || !inputs[index].Present) {
        return false;
    }
    for (const auto& [open, state] : openInputs) {
        if (state.Index == index) {
            return false; // one client at a time, like the platform's drivers
        }
    }
    handle = nextHandle++;
    openInputs[handle] = OpenInputState{index, callback, instance};
    return true;
}

bool TVirtualMidiBackend::StartInput(TMidiHandle handle) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = openInputs.find(handle);
    if (it == openInputs.end() || !inputs[it->second.Index].Present) {
        return false;
    }
    it->second.Started = true;
    return true;
}

void TVirtualMidiBackend::WaitForCallbacks(std::unique_lock<std::mutex>& lock,
                                           const OpenInputState& state) {
    callbacksDone.wait(lock, [&state] { return state.CallsInFlight == 0; });
}

bool TVirtualMidiBackend::StopInput(TMidiHandle handle) {
    std::unique_lock<std::mutex> lock(mutex);
    auto it = openInputs.find(handle);
    if (it == openInputs.end()) {
        return false;
    }
    it->second.Started = false;
    WaitForCallbacks(lock, it->second);
    return true;
}

bool TVirtualMidiBackend::CloseInput(TMidiHandle handle) {
    std::unique_lock<std::mutex> lock(mutex);
    auto it = openInputs.find(handle);
    if (it == openInputs.end()) {
        return false;
    }
    it->second.Started = false;
    WaitForCallbacks(lock, it->second);
    openInputs.erase(it);
    return true;
}

bool TVirtualMidiBackend::OpenOutput(std::int32_t index, TMidiHandle& handle) {
    std::lock_guard<std::mutex> lock(mutex);
    handle = kNoMidiHandle;
    if (index < 0 || index >= static_cast<std::int32_t>(outputs.size()) || outputs[index].Busy ||
        !outputs[index].Present) {
        return false;
    }
    handle = nextHandle++;
    openOutputs[handle] = index;
    return true;
}

bool TVirtualMidiBackend::CloseOutput(TMidiHandle handle) {
    std::lock_guard<std::mutex> lock(mutex);
    return openOutputs.erase(handle) > 0;
}

bool TVirtualMidiBackend::SendShortMessage(TMidiHandle handle, std::uint32_t message) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = openOutputs.find(handle);
    if (it == openOutputs.end()) {
        return false;
    }
    OutputDevice& device = outputs[it->second];
    if (!device.Present || ShortMessageLength(static_cast<std::uint8_t>(message & 0xFF)) == 0) {
        return false;
    }
    device.Sent.push_back(message);
    return true;
}

bool TVirtualMidiBackend::Play(std::int32_t input, std::uint32_t message, std::uint32_t code) {
    std::unique_lock<std::mutex> lock(mutex);
    if (input < 0 || input >= static_cast<std::int32_t>(inputs.size()) || !inputs[input].Present) {
        return false;
    }
    for (auto& [handle, state] : openInputs) {
        if (state.Index != input || !state.Started) {
            continue;
        }
        // The callback runs outside the lock, so it may send to outputs of this backend.
        ++state.CallsInFlight;
        const TMidiInputCallback callback = state.Callback;
        const std::uintptr_t instance = state.Instance;
        const TMidiHandle openHandle = handle;
        lock.unlock();
        callback(openHandle, code, instance, message);
        lock.lock();
        --state.CallsInFlight;
        callbacksDone.notify_all();
        return true;
    }
    return false;
}

std::vector<std::uint32_t> TVirtualMidiBackend::TakeSent(std::int32_t output) {
    std::lock_guard<std::mutex> lock(mutex);
    if (output < 0 || output >= static_cast<std::int32_t>(outputs.size())) {
        return {};
    }
    return std::exchange(outputs[output].Sent, {});
}

void TVirtualMidiBackend::SetInputBusy(std::int32_t index, bool busy) {
    std::lock_guard<std::mutex> lock(mutex);
    if (index >= 0 && index < static_cast<std::int32_t>(inputs.size())) {
        inputs[index].Busy = busy;
    }
}

void TVirtualMidiBackend::SetOutputBusy(std::int32_t index, bool busy) {
    std::lock_guard<std::mutex> lock(mutex);
    if (index >= 0 && index < static_cast<std::int32_t>(outputs.size())) {
        outputs[index].Busy = busy;
    }
}

void TVirtualMidiBackend::UnplugInput(std::int32_t index) {
    std::lock_guard<std::mutex> lock(mutex);
    if (index >= 0 && index < static_cast<std::int32_t>(inputs.size())) {
        inputs[index].Present = false;
    }
}

void TVirtualMidiBackend::UnplugOutput(std::int32_t index) {
    std::lock_guard<std::mutex> lock(mutex);
    if (index >= 0 && index < static_cast<std::int32_t>(outputs.size())) {
        outputs[index].Present = false;
    }
}

void TVirtualMidiBackend::AddInput(std::string name) {
    std::lock_guard<std::mutex> lock(mutex);
    inputs.push_back({std::move(name)});
}

void TVirtualMidiBackend::AddOutput(std::string name) {
    std::lock_guard<std::mutex> lock(mutex);
    outputs.push_back(OutputDevice{std::move(name), false, true, {}});
}

int TVirtualMidiBackend::OpenInputCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(openInputs.size());
}

int TVirtualMidiBackend::OpenOutputCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(openOutputs.size());
}

bool TVirtualMidiBackend::InputStarted(std::int32_t index) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& [handle, state] : openInputs) {
        if (state.Index == index) {
            return state.Started;
        }
    }
    return false;
}

} // namespace peldor
