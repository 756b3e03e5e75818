#pragma once
// The audio settings dialog (TASIOForm): the driver, its rate and clock source, the latency,
// the driver's settings ("Control panel"), and which driver channel each of the engine's four
// inputs and six outputs uses. It is created at start-up, which passes the stored settings
// through its handlers once, and afterwards only shown and hidden. Every change goes to the
// core at once (IAudioSettingsCore), which stores it and makes the engine follow; the lists are
// then reloaded from the core without firing their handlers.
//
// Window thread only.

#include "ui/audio_settings_core.h"
#include "ui/main_window_core.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace peldor {

class TDriverSettingsForm;
class TTitleBar;

class TASIOForm final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 492;
    static constexpr int kHeight = 390;
    static constexpr int kMinimumWidth = 420;

    /// Reads its placement ("ASIOForm"), fills the lists, and runs the handlers over the stored
    /// settings. With no driver at all it says so and ends the program.
    TASIOForm(IMainWindowCore& core, IAudioSettingsCore& audio, QWidget* parent = nullptr);
    /// Writes its placement.
    ~TASIOForm() override;

    /// Reloads every list and selection from the core; fires no handler.
    void Reload();
    /// The driver list was empty at creation: the program is ending.
    bool NoDriverPresent() const noexcept { return noDriver; }
    /// Called with true when the dialog is shown and false when it is hidden (the menu's
    /// check mark).
    std::function<void(bool visible)> OnVisibleChanged;

    /// Channel list 0-9 in the order Input1-4, Main L/R, Mon 1/2, Solo bus L/R.
    QComboBox* ChannelList(int list) const { return channels[static_cast<std::size_t>(list)]; }
    QComboBox* DriverList() const { return cmbDriver; }
    QComboBox* RateList() const { return cmbSampleRate; }
    QComboBox* ClockList() const { return cmbClockSource; }
    QLineEdit* LatencyField() const { return edtOutputLatency; }
    QPushButton* ControlPanelButton() const { return btnControlPanel; }
    /// The built-in driver's settings window; null until "Control panel" first opened it.
    TDriverSettingsForm* DriverSettingsWindow() const { return driverSettings; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QComboBox* AddList(QWidget* group, const char* name, const char* label, int row, bool right);
    void cmbDriverChange();
    void cmbSampleRateChange();
    void ChannelChange(int list);
    void btnControlPanelClick();
    void FormResize();

    IMainWindowCore& core;
    IAudioSettingsCore& audio;
    TTitleBar* title = nullptr;
    QPushButton* btnX = nullptr;
    QPushButton* btnClose = nullptr;
    QGroupBox* boxSettings = nullptr;
    QGroupBox* boxInputs = nullptr;
    QGroupBox* boxOutputs = nullptr;
    QComboBox* cmbDriver = nullptr;
    QComboBox* cmbSampleRate = nullptr;
    QComboBox* cmbClockSource = nullptr;
    QLineEdit* edtOutputLatency = nullptr;
    QPushButton* btnControlPanel = nullptr;
    QCheckBox* chkSoftMon = nullptr;
    std::array<QComboBox*, kAudioChannelLists> channels{};
    /// Labels and lists of the right-hand column, placed by FormResize.
    std::vector<QWidget*> rightLabels;
    std::vector<QWidget*> rightFields;
    std::vector<QWidget*> leftFields;
    TDriverSettingsForm* driverSettings = nullptr;
    bool noDriver = false;
};

} // namespace peldor
