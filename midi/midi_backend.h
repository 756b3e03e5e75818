#pragma once
// The MIDI service of the platform, reduced to the operations the device layer uses: count and
// name the devices, open an input with a callback and an instance value, start, stop and close
// it, open and close an output and send it a short message. Implementations: RtMidi (ALSA
// sequencer or JACK MIDI) and an in-process virtual backend for tests.

#include <cstdint>
#include <memory>
#include <string>

namespace peldor {

/// An open device. 0 is never a valid handle.
using TMidiHandle = std::uintptr_t;
inline constexpr TMidiHandle kNoMidiHandle = 0;

/// What an input callback reports. Only kMidiInData carries a short message.
enum TMidiInputCode : std::uint32_t {
    kMidiInOpen = 1,
    kMidiInClose = 2,
    kMidiInData = 3,
    kMidiInError = 5,
};

/// Called by the backend on its own thread, possibly for several inputs at once, with the
/// handle of the input, the code, the instance value given to OpenInput and the message
/// (status in the lowest byte). Never called for an input after its StopInput returned.
using TMidiInputCallback = void (*)(TMidiHandle handle, std::uint32_t code, std::uintptr_t instance,
                                    std::uint32_t message);

/// Everything but SendShortMessage runs on the window thread. Indices are checked: a bad index
/// or handle makes an operation fail, never crash. A device that has gone away (unplugged,
/// server stopped) fails to open and silently swallows what is sent to it.
class IMidiBackend {
public:
    virtual ~IMidiBackend() = default;

    /// The installed devices, in the platform's order, as of now. May scan the system.
    virtual std::int32_t InputCount() = 0;
    virtual std::string InputName(std::int32_t index) = 0;
    virtual std::int32_t OutputCount() = 0;
    virtual std::string OutputName(std::int32_t index) = 0;

    /// Opens input index (as last counted) without delivering yet. False when it cannot be
    /// opened; handle is then kNoMidiHandle.
    virtual bool OpenInput(std::int32_t index, TMidiInputCallback callback, std::uintptr_t instance,
                           TMidiHandle& handle) = 0;
    /// Starts delivering the input's messages to its callback.
    virtual bool StartInput(TMidiHandle handle) = 0;
    /// Stops delivering; when it returns no callback of the input runs or is pending.
    virtual bool StopInput(TMidiHandle handle) = 0;
    /// Closes the input, stopping it first when it runs. The handle is invalid afterwards.
    virtual bool CloseInput(TMidiHandle handle) = 0;

    virtual bool OpenOutput(std::int32_t index, TMidiHandle& handle) = 0;
    virtual bool CloseOutput(TMidiHandle handle) = 0;
    /// Why the backend lists no devices at all when its MIDI service cannot be reached, in a
    /// sentence for the user ("the ALSA sequencer cannot be opened: ..."); empty while the
    /// service works. As of the last listing or open.
    virtual std::string ServiceProblem() { return {}; }

    /// Sends a short message (status in the lowest byte; its length follows from the status).
    /// Any thread, but never twice at once for one handle (the routing lock sees to that).
    /// False when the handle is not an open output or the device has gone.
    virtual bool SendShortMessage(TMidiHandle handle, std::uint32_t message) = 0;
};

/// Bytes in the short message that starts with this status: 1-3, or 0 for a data byte and
/// the system-exclusive frame bytes 0xF0 and 0xF7, which are not sent as short messages.
int ShortMessageLength(std::uint8_t status) noexcept;

} // namespace peldor
