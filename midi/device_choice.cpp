#include "midi/device_choice.h"

#include "midi/midi_devices.h"

#include <algorithm>
#include <cstdio>

namespace peldor {
namespace {

std::int32_t Listable(std::int32_t count) {
    return std::clamp(count, 0, kRoutedMidiDevices);
}

} // namespace

std::string ListedDeviceText(std::int32_t index, const std::string& name) {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", static_cast<int>(index + 1));
    return std::string("[") + number + "] - " + name;
}

std::vector<TListedDevice> ListedMidiInputs() {
    std::vector<TListedDevice> listed;
    for (std::int32_t i = 0; i < Listable(MidiInputCount()); ++i) {
        const TMidiInputDevice& device = MidiInput(i);
        const bool selected = device.Selected != 0;
        listed.push_back({ListedDeviceText(i, device.Name), selected,
                          selected && (device.Opened == 0 || device.Started == 0)});
    }
    return listed;
}

std::vector<TListedDevice> ListedMidiOutputs() {
    std::vector<TListedDevice> listed;
    for (std::int32_t i = 0; i < Listable(MidiOutputCount()); ++i) {
        const TMidiOutputDevice& device = MidiOutput(i);
        const bool selected = device.Selected != 0;
        listed.push_back(
            {ListedDeviceText(i, device.Name), selected, selected && device.Opened == 0});
    }
    return listed;
}

bool DeviceChecksChanged(const TDeviceChecks& checks) {
    // Devices 16 and above are never listed, so they count as unchanged.
    const auto differs = [](const std::vector<bool>& list, std::int32_t count, auto selected) {
        if (static_cast<std::int32_t>(list.size()) != Listable(count)) {
            return true;
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i] != selected(static_cast<std::int32_t>(i))) {
                return true;
            }
        }
        return false;
    };
    return differs(checks.Inputs, MidiInputCount(),
                   [](std::int32_t i) { return MidiInput(i).Selected != 0; }) ||
           differs(checks.Outputs, MidiOutputCount(),
                   [](std::int32_t i) { return MidiOutput(i).Selected != 0; });
}

void ApplyDeviceChecks(const TDeviceChecks& checks) {
    StopInputs();
    CloseInputs();
    DisableOutputs();
    CloseOutputs();
    const auto store = [](const std::vector<bool>& list, std::int32_t count, auto setSelected) {
        for (std::int32_t i = 0; i < count; ++i) {
            const auto at = static_cast<std::size_t>(i);
            setSelected(i, i < kRoutedMidiDevices && at < list.size() && list[at]);
        }
    };
    store(checks.Inputs, MidiInputCount(), SetMidiInputSelected);
    store(checks.Outputs, MidiOutputCount(), SetMidiOutputSelected);
    OpenInputs();
    OpenOutputs();
    StartInputs();
    EnableOutputs();
}

} // namespace peldor
