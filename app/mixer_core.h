#pragma once
// The mixer windows' view of the program: IMixerCore over the main controller, the open
// project and the strip table.

#include "ui/mixer_core.h"

namespace peldor {

class TConnection;
class TMainController;

/// Window thread only.
class TMixerCore final : public IMixerCore {
public:
    explicit TMixerCore(TMainController& theController) : controller(theController) {}

    void UpdateOscillator() override;
    bool SoloActive() const override;
    void MetersWanted() override;
    double CpuSum() const override;
    std::int32_t TickCount() const override;
    std::int32_t CurrentConnection() const override;
    /// Stores the value and sends the connection's volume (pan) controller at once, so the
    /// change is heard without sending every connection's bank and program again.
    void SetCurrentConnectionVolume(std::int32_t value) override;
    void SetCurrentConnectionPan(std::int32_t value) override;
    void RefreshConnectionViews() override;
    void ProcessPendingMessages() override;
    TMixerPlacement ReadPlacement(const std::string& section,
                                  const TMixerPlacement& defaults) const override;
    void WritePlacement(const std::string& section, const TMixerPlacement& placement) override;

private:
    /// The current part's current connection, or null.
    static TConnection* Current();

    TMainController& controller;
};

} // namespace peldor
