#pragma once
// The MIDI device choice stored in a project file: which input and output devices are to be
// opened. The MIDI device layer implements the interface; TMemoryDeviceSelection stands in
// for it in tools and tests.

#include <array>
#include <cstdint>

namespace peldor {

/// Devices 0-15 of each kind take part in the project file.
inline constexpr int kFileDeviceCount = 16;

/// Window thread only.
class IMidiDeviceSelection {
public:
    virtual ~IMidiDeviceSelection() = default;

    /// Number of installed devices of each kind (may exceed 16).
    virtual std::int32_t InputCount() = 0;
    virtual std::int32_t OutputCount() = 0;
    /// The Selected flag of an installed device; the caller checks the index.
    virtual bool InputSelected(std::int32_t index) = 0;
    virtual bool OutputSelected(std::int32_t index) = 0;
    virtual void SetInputSelected(std::int32_t index, bool selected) = 0;
    virtual void SetOutputSelected(std::int32_t index, bool selected) = 0;

    /// Stops and closes every open device (inputs first).
    virtual void CloseAllDevices() = 0;
    /// Opens the selected devices, starts the inputs and enables sending to the outputs.
    virtual void OpenSelectedDevices() = 0;
};

/// Devices that only remember their Selected flags: 16 of each kind unless told otherwise.
class TMemoryDeviceSelection final : public IMidiDeviceSelection {
public:
    explicit TMemoryDeviceSelection(std::int32_t inputDevices = kFileDeviceCount,
                                    std::int32_t outputDevices = kFileDeviceCount)
        : inputCount(inputDevices), outputCount(outputDevices) {}

    std::int32_t InputCount() override { return inputCount; }
    std::int32_t OutputCount() override { return outputCount; }
    bool InputSelected(std::int32_t index) override { return Flag(inputs, index); }
    bool OutputSelected(std::int32_t index) override { return Flag(outputs, index); }
    void SetInputSelected(std::int32_t index, bool selected) override {
        SetFlag(inputs, index, selected);
    }
    void SetOutputSelected(std::int32_t index, bool selected) override {
        SetFlag(outputs, index, selected);
    }
    void CloseAllDevices() override { ++closeCalls; }
    void OpenSelectedDevices() override { ++openCalls; }

    int closeCalls = 0;
    int openCalls = 0;

private:
    static constexpr int kKept = 64;
    static bool Flag(const std::array<bool, kKept>& flags, std::int32_t index) {
        return index >= 0 && index < kKept && flags[index];
    }
    static void SetFlag(std::array<bool, kKept>& flags, std::int32_t index, bool selected) {
        if (index >= 0 && index < kKept) {
            flags[index] = selected;
        }
    }

    std::int32_t inputCount;
    std::int32_t outputCount;
    std::array<bool, kKept> inputs{};
    std::array<bool, kKept> outputs{};
};

} // namespace peldor
