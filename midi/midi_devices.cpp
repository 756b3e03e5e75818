#include "midi/midi_devices.h"

#include "engine/event_queue.h"
#include "engine/held_notes.h"
#include "midi/midi_options.h"
#include "midi/routing.h"
#include "midi/window_messages.h"

#include <algorithm>
#include <istream>
#include <mutex>
#include <ostream>
#include <thread>
#include <utility>

namespace peldor {
namespace {

std::unique_ptr<IMidiBackend> ownedBackend;
// Read by the routing under RoutingLock; changed under it.
std::atomic<IMidiBackend*> backendInUse{nullptr};

std::array<TMidiInputDevice, kMaxMidiDevices> inputDevices;
std::array<TMidiOutputDevice, kMaxMidiDevices> outputDevices;
Relaxed<std::int32_t> inputCount{0};
Relaxed<std::int32_t> outputCount{0};

Relaxed<bool> projectPresent{true};

std::atomic<IMidiLearnHandler*> learnHandler{nullptr};
// Input callbacks inside the learn step; SetMidiLearnHandler waits for it to reach 0.
std::atomic<int> learnCallsInFlight{0};

bool HasInput(std::int32_t index) {
    return index >= 0 && index < inputCount;
}

bool HasOutput(std::int32_t index) {
    return index >= 0 && index < outputCount;
}

void ResetInput(TMidiInputDevice& device) {
    device.Handle = kNoMidiHandle;
    device.Selected = 0;
    device.Opened = 0;
    device.Started = 0;
    device.Name.clear();
}

void ResetOutput(TMidiOutputDevice& device) {
    std::lock_guard hold(RoutingLock);
    device.Handle = kNoMidiHandle;
    device.Selected = 0;
    device.Opened = 0;
    device.SendEnabled = 0;
    device.Name.clear();
}

// The notes and pedals still held at a routed output that is about to close get their
// note-offs and pedal releases first, so nothing hangs on the instrument behind it. The caller
// holds RoutingLock.
void EndHeldNotesAt(std::int32_t index, const TMidiOutputDevice& device) {
    IMidiBackend* backend = MidiBackend();
    const TMidiHandle handle = device.Handle;
    if (index >= kRoutedMidiDevices) {
        return;
    }
    const bool canSend = backend != nullptr && device.Opened && handle != kNoMidiHandle;
    constexpr std::uint8_t kReleaseVelocity = 64;
    HeldNotes.ForgetPort(
        index, -1, true,
        [&](const TNoteDestination& dest) {
            if (canSend) {
                backend->SendShortMessage(
                    handle, PackShortMessage(static_cast<std::uint8_t>(kNoteOff | dest.Channel),
                                             dest.Key, kReleaseVelocity));
            }
        },
        [&](const TNoteDestination& dest) {
            if (canSend) {
                backend->SendShortMessage(
                    handle,
                    PackShortMessage(static_cast<std::uint8_t>(kControlChange | dest.Channel),
                                     kCcSustain, 0));
            }
        });
}

// Clears the tables to "no devices".
void ClearTables() {
    for (auto& device : inputDevices) {
        ResetInput(device);
    }
    for (auto& device : outputDevices) {
        ResetOutput(device);
    }
    inputCount = 0;
    outputCount = 0;
}

// Remote commands, learn and routing for one callback of a valid input.
void HandleInput(std::int32_t device, std::uint32_t code, std::uint32_t word) {
    const TShortMessage message = UnpackShortMessage(word);
    if (message.Status == kActiveSensing && !ProcessActiveSenseOption()) {
        return;
    }
    learnCallsInFlight.fetch_add(1, std::memory_order_seq_cst);
    IMidiLearnHandler* learner = learnHandler.load(std::memory_order_seq_cst);
    if (learner != nullptr) {
        learner->MidiLearned(message);
    }
    learnCallsInFlight.fetch_sub(1, std::memory_order_seq_cst);
    if (learner != nullptr) {
        return;
    }
    if (MidiRemoteEnabledOption() && device == RemotePortOption()) {
        const std::int32_t command = MatchRemoteCommandOption(message);
        if (command >= 0) {
            WindowPoster().Post({TWindowTarget::MainWindow,
                                 WM_REMOTECOMMAND,
                                 static_cast<std::uint32_t>(command),
                                 0,
                                 {}});
            return;
        }
    }
    if (code != kMidiInData) {
        return;
    }
    RouteThroughRoutingPart(device, message);
}

} // namespace

// ---- Backend ------------------------------------------------------------------------------------

void InstallMidiBackend(std::unique_ptr<IMidiBackend> backend) {
    CloseAllDevices();
    ClearTables();
    std::unique_ptr<IMidiBackend> old;
    {
        std::lock_guard hold(RoutingLock);
        old = std::exchange(ownedBackend, std::move(backend));
        backendInUse.store(ownedBackend.get(), std::memory_order_release);
    }
}

IMidiBackend* MidiBackend() noexcept {
    return backendInUse.load(std::memory_order_acquire);
}

// ---- Tables -------------------------------------------------------------------------------------

std::int32_t MidiInputCount() noexcept {
    return inputCount;
}

std::int32_t MidiOutputCount() noexcept {
    return outputCount;
}

const TMidiInputDevice& MidiInput(std::int32_t index) noexcept {
    return inputDevices[static_cast<std::size_t>(index)];
}

const TMidiOutputDevice& MidiOutput(std::int32_t index) noexcept {
    return outputDevices[static_cast<std::size_t>(index)];
}

void SetMidiInputSelected(std::int32_t index, bool selected) noexcept {
    if (HasInput(index)) {
        inputDevices[index].Selected = selected ? 1 : 0;
    }
}

void SetMidiOutputSelected(std::int32_t index, bool selected) noexcept {
    if (HasOutput(index)) {
        outputDevices[index].Selected = selected ? 1 : 0;
    }
}

// ---- Device operations --------------------------------------------------------------------------

void EnumerateDevices() {
    CloseAllDevices();
    ClearTables();
    IMidiBackend* backend = MidiBackend();
    if (backend == nullptr) {
        return;
    }
    const std::int32_t inputs = std::clamp(backend->InputCount(), 0, kMaxMidiDevices);
    for (std::int32_t i = 0; i < inputs; ++i) {
        inputDevices[i].Name = backend->InputName(i);
    }
    inputCount = inputs;
    const std::int32_t outputs = std::clamp(backend->OutputCount(), 0, kMaxMidiDevices);
    for (std::int32_t i = 0; i < outputs; ++i) {
        outputDevices[i].Name = backend->OutputName(i);
    }
    outputCount = outputs;
}

void OpenInputs() {
    IMidiBackend* backend = MidiBackend();
    for (std::int32_t i = 0; i < inputCount; ++i) {
        TMidiInputDevice& device = inputDevices[i];
        if (!device.Selected) {
            continue;
        }
        TMidiHandle handle = kNoMidiHandle;
        if (backend != nullptr &&
            backend->OpenInput(i, &MidiInputCallback, static_cast<std::uintptr_t>(i), handle)) {
            device.Handle = handle;
            device.Opened = 1;
        } else {
            device.Opened = 0;
            device.Started = 0;
        }
    }
}

void StartInputs() {
    IMidiBackend* backend = MidiBackend();
    for (std::int32_t i = 0; i < inputCount; ++i) {
        TMidiInputDevice& device = inputDevices[i];
        if (device.Selected && device.Opened) {
            device.Started = backend != nullptr && backend->StartInput(device.Handle) ? 1 : 0;
        }
    }
}

void StopInputs() {
    IMidiBackend* backend = MidiBackend();
    for (std::int32_t i = 0; i < inputCount; ++i) {
        TMidiInputDevice& device = inputDevices[i];
        // An input deselected while it was open is stopped and closed all the same.
        if (device.Opened && device.Started && backend != nullptr) {
            backend->StopInput(device.Handle);
        }
    }
}

void CloseInputs() {
    IMidiBackend* backend = MidiBackend();
    for (std::int32_t i = 0; i < inputCount; ++i) {
        TMidiInputDevice& device = inputDevices[i];
        if (!device.Selected && !device.Opened) {
            continue;
        }
        if (backend != nullptr && device.Handle != kNoMidiHandle) {
            backend->CloseInput(device.Handle); // a failure changes nothing here
        }
        device.Handle = kNoMidiHandle;
        device.Opened = 0;
        device.Started = 0;
    }
}

void OpenOutputs() {
    IMidiBackend* backend = MidiBackend();
    for (std::int32_t i = 0; i < outputCount; ++i) {
        TMidiOutputDevice& device = outputDevices[i];
        if (!device.Selected) {
            continue;
        }
        TMidiHandle handle = kNoMidiHandle;
        const bool opened = backend != nullptr && backend->OpenOutput(i, handle);
        std::lock_guard hold(RoutingLock);
        if (opened) {
            device.Handle = handle;
            device.Opened = 1;
        } else {
            device.Opened = 0;
            device.SendEnabled = 0;
        }
    }
}

void EnableOutputs() {
    std::lock_guard hold(RoutingLock);
    for (std::int32_t i = 0; i < outputCount; ++i) {
        TMidiOutputDevice& device = outputDevices[i];
        if (device.Selected && device.Opened) {
            device.SendEnabled = 1;
        }
    }
}

void DisableOutputs() {
    std::lock_guard hold(RoutingLock);
    for (std::int32_t i = 0; i < outputCount; ++i) {
        outputDevices[i].SendEnabled = 0;
    }
}

void CloseOutputs() {
    IMidiBackend* backend = MidiBackend();
    for (std::int32_t i = 0; i < outputCount; ++i) {
        TMidiOutputDevice& device = outputDevices[i];
        if (!device.Selected && !device.Opened) {
            continue;
        }
        TMidiHandle handle = kNoMidiHandle;
        {
            // No routing may still be sending to the handle once it is closed.
            std::lock_guard hold(RoutingLock);
            handle = device.Handle;
            EndHeldNotesAt(i, device);
            device.Handle = kNoMidiHandle;
            device.Opened = 0;
            device.SendEnabled = 0;
        }
        if (backend != nullptr && handle != kNoMidiHandle) {
            backend->CloseOutput(handle);
        }
    }
}

void CloseAllDevices() {
    StopInputs();
    DisableOutputs();
    CloseInputs();
    CloseOutputs();
}

void OpenSelectedDevices() {
    OpenInputs();
    OpenOutputs();
    StartInputs();
    EnableOutputs();
}

void WriteDeviceSelection(std::ostream& stream) {
    char flags[2 * kRoutedMidiDevices] = {};
    for (std::int32_t i = 0; i < kRoutedMidiDevices; ++i) {
        flags[i] = HasInput(i) && inputDevices[i].Selected ? 1 : 0;
        flags[kRoutedMidiDevices + i] = HasOutput(i) && outputDevices[i].Selected ? 1 : 0;
    }
    stream.write(flags, sizeof flags);
}

bool ReadDeviceSelection(std::istream& stream) {
    char flags[2 * kRoutedMidiDevices] = {};
    if (!stream.read(flags, sizeof flags)) {
        return false;
    }
    for (std::int32_t i = 0; i < kRoutedMidiDevices; ++i) {
        SetMidiInputSelected(i, flags[i] != 0);
        SetMidiOutputSelected(i, flags[kRoutedMidiDevices + i] != 0);
    }
    return true;
}

std::int32_t TMidiDeviceSelection::InputCount() {
    return MidiInputCount();
}

std::int32_t TMidiDeviceSelection::OutputCount() {
    return MidiOutputCount();
}

bool TMidiDeviceSelection::InputSelected(std::int32_t index) {
    return HasInput(index) && inputDevices[index].Selected;
}

bool TMidiDeviceSelection::OutputSelected(std::int32_t index) {
    return HasOutput(index) && outputDevices[index].Selected;
}

void TMidiDeviceSelection::SetInputSelected(std::int32_t index, bool selected) {
    SetMidiInputSelected(index, selected);
}

void TMidiDeviceSelection::SetOutputSelected(std::int32_t index, bool selected) {
    SetMidiOutputSelected(index, selected);
}

void TMidiDeviceSelection::CloseAllDevices() {
    peldor::CloseAllDevices();
}

void TMidiDeviceSelection::OpenSelectedDevices() {
    peldor::OpenSelectedDevices();
}

TMidiDeviceSelection& MidiDeviceSelection() noexcept {
    static TMidiDeviceSelection selection;
    return selection;
}

// ---- Input callback -----------------------------------------------------------------------------

void MidiInputCallback(TMidiHandle handle, std::uint32_t code, std::uintptr_t instance,
                       std::uint32_t message) {
    if (!projectPresent || instance >= static_cast<std::uintptr_t>(kRoutedMidiDevices)) {
        return;
    }
    const auto device = static_cast<std::int32_t>(instance);
    if (!HasInput(device) || inputDevices[device].Handle != handle || handle == kNoMidiHandle) {
        return;
    }
    HandleInput(device, code, message & 0x00FFFFFFu);
}

void SetMidiProjectPresent(bool present) noexcept {
    projectPresent = present;
}

bool MidiProjectPresent() noexcept {
    return projectPresent;
}

// ---- MIDI learn ---------------------------------------------------------------------------------

void SetMidiLearnHandler(IMidiLearnHandler* handler) {
    IMidiLearnHandler* old = learnHandler.exchange(handler, std::memory_order_seq_cst);
    if (old == nullptr || old == handler) {
        return;
    }
    // A callback that loaded the old handler has already counted itself in.
    while (learnCallsInFlight.load(std::memory_order_seq_cst) != 0) {
        std::this_thread::yield();
    }
}

bool MidiLearnActive() noexcept {
    return learnHandler.load(std::memory_order_relaxed) != nullptr;
}

void TMidiLearnCapture::MidiLearned(TShortMessage message) noexcept {
    last.store(kFreshBit | PackShortMessage(message), std::memory_order_release);
}

bool TMidiLearnCapture::Take(TShortMessage& message) noexcept {
    const std::uint32_t value = last.exchange(0, std::memory_order_acquire);
    if ((value & kFreshBit) == 0) {
        return false;
    }
    message = UnpackShortMessage(value);
    return true;
}

} // namespace peldor
