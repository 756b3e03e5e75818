#pragma once
// The MIDI settings dialog's work without the dialog: the devices it lists, whether its checks
// differ from the devices' Selected flags, and applying them in the device layer's order.
//
// Window thread only.

#include <cstdint>
#include <string>
#include <vector>

namespace peldor {

/// One listed device: index 0-15 of its kind.
struct TListedDevice {
    /// "[01] - " + the device name.
    std::string Text;
    bool Selected = false;
    /// Selected but not open (inputs: not started): the last open or start failed.
    bool Unavailable = false;
};

/// The checks of both lists, one per listed device.
struct TDeviceChecks {
    std::vector<bool> Inputs;
    std::vector<bool> Outputs;
};

/// The devices the dialog lists: indices 0-15 that exist.
std::vector<TListedDevice> ListedMidiInputs();
std::vector<TListedDevice> ListedMidiOutputs();

/// True when a list's length differs from the number of listable devices of its kind or a
/// check differs from its device's Selected flag.
bool DeviceChecksChanged(const TDeviceChecks& checks);

/// Stops, closes, disables and closes the devices; stores the checks into the Selected flags
/// (devices beyond the lists are deselected); opens the inputs and outputs, starts the inputs
/// and enables the outputs. Devices that fail to open stay closed.
void ApplyDeviceChecks(const TDeviceChecks& checks);

/// The list text of device index 0-15: "[01] - name".
std::string ListedDeviceText(std::int32_t index, const std::string& name);

} // namespace peldor
