#pragma once
// The parts of the running program that the project code calls upwards: the plugin slots,
// the MIDI devices, the windows, the engine. Each link is optional; a missing one means that
// part of the program does not exist (yet), and the calls that need it are skipped. The main
// window installs the links when it has created what they point at and removes them before
// destroying it. Window thread only.

namespace peldor {

class ISlotHost;
class IMidiDeviceSelection;
class IProjectViews;
class IWindowLayout;
class TProcessor;

/// What closing a project takes in the running program (hiding windows, unloading the slot
/// plugins); the main window implements it.
class IProjectShell {
public:
    virtual ~IProjectShell() = default;
    /// Closes the open project; ends with DestroyProject. Window thread.
    virtual void CloseProject() = 0;
};

struct TProjectLinks {
    /// The plugin slots; null while the main window does not exist.
    ISlotHost* Slots = nullptr;
    IMidiDeviceSelection* Devices = nullptr;
    IProjectViews* Views = nullptr;
    IWindowLayout* Layout = nullptr;
    IProjectShell* Shell = nullptr;
    /// The audio processor, for the oscillator and the worker priority.
    TProcessor* Processor = nullptr;
};

extern TProjectLinks ProjectLinks;

} // namespace peldor
