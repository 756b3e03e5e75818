#pragma once
// An in-process MIDI service for tests and the headless runner: named input devices that a
// test plays into and output devices whose received messages a test reads. Devices can refuse
// to open (held by another program) and can go away (unplugged).

#include "midi/midi_backend.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace peldor {

/// Every method is safe from any thread. Play runs the input callback on the calling thread,
/// which then plays the part of the platform's MIDI thread.
class TVirtualMidiBackend final : public IMidiBackend {
public:
    TVirtualMidiBackend(std::vector<std::string> inputNames, std::vector<std::string> outputNames);
    ~TVirtualMidiBackend() override;

    std::int32_t InputCount() override;
    std::string InputName(std::int32_t index) override;
    std::int32_t OutputCount() override;
    std::string OutputName(std::int32_t index) override;
    bool OpenInput(std::int32_t index, TMidiInputCallback callback, std::uintptr_t instance,
                   TMidiHandle& handle) override;
    bool StartInput(TMidiHandle handle) override;
    bool StopInput(TMidiHandle handle) override;
    bool CloseInput(TMidiHandle handle) override;
    bool OpenOutput(std::int32_t index, TMidiHandle& handle) override;
    bool CloseOutput(TMidiHandle handle) override;
    bool SendShortMessage(TMidiHandle handle, std::uint32_t message) override;

    // ---- Test side --------------------------------------------------------------------------

    /// Delivers a message from input index to its callback with the given code when the input
    /// is open and started; false when nothing was delivered.
    bool Play(std::int32_t input, std::uint32_t message, std::uint32_t code = kMidiInData);
    /// Messages received by output index since the last TakeSent, oldest first.
    std::vector<std::uint32_t> TakeSent(std::int32_t output);
    /// Devices that refuse to open from now on (another program holds them).
    void SetInputBusy(std::int32_t index, bool busy);
    void SetOutputBusy(std::int32_t index, bool busy);
    /// The device goes away: it stops delivering or receiving and cannot be opened again;
    /// handles stay valid for stop and close.
    void UnplugInput(std::int32_t index);
    void UnplugOutput(std::int32_t index);
    /// Adds a device at the end of the list (seen by the next count).
    void AddInput(std::string name);
    void AddOutput(std::string name);

    /// How many inputs and outputs are open now.
    int OpenInputCount();
    int OpenOutputCount();
    /// Whether input index is open and started.
    bool InputStarted(std::int32_t index);

private:
    struct InputDevice {
        std::string Name;
        bool Busy = false;
        bool Present = true;
    };
    struct OutputDevice {
        std::string Name;
        bool Busy = false;
        bool Present = true;
        std::vector<std::uint32_t> Sent;
    };
    struct OpenInputState {
        std::int32_t Index = -1;
        TMidiInputCallback Callback = nullptr;
        std::uintptr_t Instance = 0;
        bool Started = false;
        int CallsInFlight = 0;
    };

    // Waits until no callback of the input runs. Caller holds lock.
    void WaitForCallbacks(std::unique_lock<std::mutex>& lock, const OpenInputState& state);

    std::mutex mutex;
    std::condition_variable callbacksDone;
    std::vector<InputDevice> inputs;
    std::vector<OutputDevice> outputs;
    std::map<TMidiHandle, OpenInputState> openInputs;
    std::map<TMidiHandle, std::int32_t> openOutputs;
    TMidiHandle nextHandle = 1;
};

} // namespace peldor
