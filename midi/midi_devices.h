#pragma once
// The MIDI device layer: the tables of installed input and output devices with the user's
// choice, the operations that open, start, stop and close them through the MIDI backend, the
// input callback that hands every incoming message to MIDI learn, the remote commands or the
// connections of the current part, and the device choice stored in a project file.
//
// Threads: the operations run on the window thread. The input callback runs on the backend's
// threads; it reads the tables' handles and flags (atomic fields) and takes no lock itself,
// only the routing lock per connection. The routing reads the output handles and SendEnabled
// under the routing lock; every change of SendEnabled or of an output handle is made under it.

#include "engine/relaxed.h"
#include "midi/midi_backend.h"
#include "midi/short_message.h"
#include "project/device_selection.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

namespace peldor {

/// Devices beyond this many of one kind are not listed.
inline constexpr int kMaxMidiDevices = 128;
/// Only devices 0-15 are routed and stored in project files.
inline constexpr int kRoutedMidiDevices = kFileDeviceCount;

struct TMidiInputDevice {
    /// Valid while Opened.
    Relaxed<TMidiHandle> Handle{kNoMidiHandle};
    Relaxed<std::uint8_t> Selected{0};
    Relaxed<std::uint8_t> Opened{0};
    Relaxed<std::uint8_t> Started{0};
    /// Window thread only.
    std::string Name;
};

struct TMidiOutputDevice {
    Relaxed<TMidiHandle> Handle{kNoMidiHandle};
    Relaxed<std::uint8_t> Selected{0};
    Relaxed<std::uint8_t> Opened{0};
    /// The routing may send to it. Changed under the routing lock.
    Relaxed<std::uint8_t> SendEnabled{0};
    std::string Name;
};

// ---- Backend ------------------------------------------------------------------------------------

/// Replaces the MIDI backend (null: none, every device operation then finds no devices). Closes
/// every device of the old backend first and empties the tables. Window thread.
void InstallMidiBackend(std::unique_ptr<IMidiBackend> backend);
/// The installed backend or null. Window thread, or any thread under the routing lock.
IMidiBackend* MidiBackend() noexcept;

// ---- Tables (window thread unless stated) -------------------------------------------------------

std::int32_t MidiInputCount() noexcept;
std::int32_t MidiOutputCount() noexcept;
/// The entries; the caller checks the index against the count (0 to kMaxMidiDevices - 1 is
/// always addressable). Their atomic fields may be read from any thread.
const TMidiInputDevice& MidiInput(std::int32_t index) noexcept;
const TMidiOutputDevice& MidiOutput(std::int32_t index) noexcept;
/// Sets a device's Selected flag; ignored for an index without a device.
void SetMidiInputSelected(std::int32_t index, bool selected) noexcept;
void SetMidiOutputSelected(std::int32_t index, bool selected) noexcept;

// ---- Device operations (window thread) ----------------------------------------------------------

/// CloseAllDevices, then lists the backend's devices afresh with every flag 0.
void EnumerateDevices();
/// Opens every selected input (callback MidiInputCallback, instance = device index).
void OpenInputs();
/// Starts every selected and opened input.
void StartInputs();
/// Stops every opened and started input; the flags stay.
void StopInputs();
/// Closes every selected or opened input (a failure is ignored) and clears Opened and Started.
void CloseInputs();
/// Opens every selected output.
void OpenOutputs();
/// Sets SendEnabled of every selected and opened output.
void EnableOutputs();
/// Clears SendEnabled of every output.
void DisableOutputs();
/// Closes every selected or opened output (a failure is ignored) and clears Opened.
void CloseOutputs();
/// StopInputs, DisableOutputs, CloseInputs, CloseOutputs.
void CloseAllDevices();
/// OpenInputs, OpenOutputs, StartInputs, EnableOutputs.
void OpenSelectedDevices();

/// The project file's device choice: 16 input Selected flags then 16 output Selected flags,
/// one byte (0 or 1) each; 0 for an index without a device.
void WriteDeviceSelection(std::ostream& stream);
/// Reads the 32 flags into the Selected flags of existing devices (flags of missing devices
/// are ignored; any non-zero byte selects). Changes nothing and returns false when the stream
/// ends early. Does not open or close anything.
bool ReadDeviceSelection(std::istream& stream);

/// The device layer as the project file reader sees it.
class TMidiDeviceSelection final : public IMidiDeviceSelection {
public:
    std::int32_t InputCount() override;
    std::int32_t OutputCount() override;
    bool InputSelected(std::int32_t index) override;
    bool OutputSelected(std::int32_t index) override;
    void SetInputSelected(std::int32_t index, bool selected) override;
    void SetOutputSelected(std::int32_t index, bool selected) override;
    void CloseAllDevices() override;
    void OpenSelectedDevices() override;
};

/// The process-wide instance to install in ProjectLinks.Devices.
TMidiDeviceSelection& MidiDeviceSelection() noexcept;

// ---- Input callback -----------------------------------------------------------------------------

/// The input callback given to the backend. Backend threads. Ignores the call while no
/// project is open, for a device index of 16 or more and for a handle that is not the device's;
/// then: drops active sensing unless the option allows it; hands the message to MIDI learn
/// while it is on; on the remote input posts WM_REMOTECOMMAND for a matching remote command;
/// and routes short messages through every connection of the routing part.
void MidiInputCallback(TMidiHandle handle, std::uint32_t code, std::uintptr_t instance,
                       std::uint32_t message);

/// Whether a project is open, as the input callback sees it. Any thread. The main window sets
/// it after creating a project and clears it before destroying one; it starts set, so that a
/// program that never sets it still routes.
void SetMidiProjectPresent(bool present) noexcept;
bool MidiProjectPresent() noexcept;

// ---- MIDI learn ---------------------------------------------------------------------------------

/// Receives the messages while MIDI learn is on. Called on the backend's threads, possibly from
/// several inputs at once; it must hand what it keeps to the window thread itself.
class IMidiLearnHandler {
public:
    virtual ~IMidiLearnHandler() = default;
    virtual void MidiLearned(TShortMessage message) noexcept = 0;
};

/// Turns MIDI learn on with a handler, or off with null. Turning it off (or replacing the
/// handler) waits until no input callback is still inside the old handler, so the caller may
/// destroy it afterwards. Window thread.
void SetMidiLearnHandler(IMidiLearnHandler* handler);
/// Any thread.
bool MidiLearnActive() noexcept;

/// A learn handler that keeps the last message for the window thread to collect.
class TMidiLearnCapture final : public IMidiLearnHandler {
public:
    void MidiLearned(TShortMessage message) noexcept override;
    /// Window thread: the message learned since the last call, if any.
    bool Take(TShortMessage& message) noexcept;

private:
    static constexpr std::uint32_t kFreshBit = 0x80000000u;
    std::atomic<std::uint32_t> last{0};
};

} // namespace peldor
