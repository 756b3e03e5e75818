#pragma once
// What the mixer windows need of the program beyond the strips and the mixer settings (which
// they read and write directly in the engine): the processor's oscillator and solo state, the
// processor-load readings of the main window's timer, the current connection's volume and pan,
// the refresh of the project window and the inspector, and the placements in the settings
// file. app/ implements it over the main controller.
//
// Window thread only.

#include <cstdint>
#include <string>

namespace peldor {

/// A window's placement in its settings-file section.
struct TMixerPlacement {
    std::int32_t Left = 0, Top = 0, Width = 0, Height = 0;
};

class IMixerCore {
public:
    virtual ~IMixerCore() = default;

    /// The processor takes over the oscillator's mixer settings; nothing without a processor.
    virtual void UpdateOscillator() = 0;
    /// The processor's SoloActive: something is soloed, the solo bus carries it.
    virtual bool SoloActive() const = 0;
    /// The meters are read (every timer tick while a mixer with meters is shown): the
    /// processor computes them for about the next second. Nothing without a processor.
    virtual void MetersWanted() {}

    /// The main window's timer: CpuSum (percent readings of the current 8-tick window) and
    /// TickCount (0-7, readings so far minus one).
    virtual double CpuSum() const = 0;
    virtual std::int32_t TickCount() const = 0;

    /// Index of the current connection in the current part, -1 when none.
    virtual std::int32_t CurrentConnection() const = 0;
    /// Sets Volume or Pan (0-127) of the current connection; nothing when there is none.
    virtual void SetCurrentConnectionVolume(std::int32_t value) = 0;
    virtual void SetCurrentConnectionPan(std::int32_t value) = 0;
    /// The project window reloads the current part's connection list (which sends the
    /// connections' activation messages) and the inspector shows the current connection.
    virtual void RefreshConnectionViews() = 0;
    /// Lets pending window messages run.
    virtual void ProcessPendingMessages() = 0;

    /// A placement from the settings file, with defaults for missing keys; and back.
    virtual TMixerPlacement ReadPlacement(const std::string& section,
                                          const TMixerPlacement& defaults) const = 0;
    virtual void WritePlacement(const std::string& section, const TMixerPlacement& placement) = 0;
};

} // namespace peldor
