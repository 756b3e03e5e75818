#pragma once
// Mixer 2 - Masters: the effect returns (level, pan, monitor sends), the two monitor mixes,
// the four aux masters and the master strip, with the test oscillator, meter placement and
// solo settings, the master level meters (the solo bus while something is soloed) and the
// processor-load gauge.
//
// Window thread only.

#include "ui/mixer_form.h"

class QProgressBar;

namespace peldor {

class TLevelMeter;

/// A linear level as the master meters show it: 0 at or below 0.01, otherwise
/// (log10(v) + 2) x 5000 rounded, so that 0..10000 spans -40 dB to 0 dB.
int MainMeterValue(float level);

class TMixer2Form final : public TMixerForm {
    Q_OBJECT
public:
    static constexpr int kWidth = 520;
    static constexpr int kHeight = 362;

    TMixer2Form(IMixerCore& core, TMixerHooks hooks, QWidget* parent = nullptr);

    /// Fader bars, MainVU_L and MainVU_R, and the processor-load gauge and label.
    void UpdateMeters() override;

    TLevelMeter* MeterL() const { return mainVuL; }
    TLevelMeter* MeterR() const { return mainVuR; }
    QProgressBar* CpuGauge() const { return cpuload; }
    QLabel* CpuLabel() const { return lblCpuLoad; }

protected:
    void LoadSettings() override;

private:
    void OscChange();
    void MetersChange();
    void SoloLevelChange();
    void AddModeChange();
    void UpdateCpu();
    TFlatSwitch* SettingSwitch(const char* name, const QString& on, const QString& off,
                               const QRect& geometry, void (TMixer2Form::*handler)());

    TFlatKnob* osclevel = nullptr;
    TFlatKnob* sololevel = nullptr;
    TFlatSwitch* oscactive = nullptr;
    TFlatSwitch* oscsine = nullptr;
    TFlatSwitch* oscfrq = nullptr;
    TFlatSwitch* oscx4 = nullptr;
    std::array<TFlatSwitch*, 8> routing{}; // main, mon 1, mon 2, solo, aux 1-4
    std::array<TFlatSwitch*, 4> meters{};  // inputs, vsti, vst, outputs
    TFlatSwitch* addmode = nullptr;
    TLevelMeter* mainVuL = nullptr;
    TLevelMeter* mainVuR = nullptr;
    QProgressBar* cpuload = nullptr;
    QLabel* lblCpuLoad = nullptr;
};

} // namespace peldor
