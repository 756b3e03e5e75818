#pragma once
// The settings window of a built-in driver, opened by the audio settings dialog's "Control
// panel": one field per setting of the driver's page (server and client name, channel counts,
// rate, block size, output file, ...). "OK" hands the values to the core, which stores them in
// the driver's section and re-opens the driver; a value it refuses is reported and the window
// stays open.
//
// Window thread only.

#include "ui/audio_settings_core.h"

#include <QWidget>

#include <functional>
#include <vector>

class QFormLayout;
class QLabel;
class QPushButton;

namespace peldor {

class TDriverSettingsForm final : public QWidget {
    Q_OBJECT
public:
    TDriverSettingsForm(IAudioSettingsCore& audio, QWidget* parent = nullptr);

    /// Shows the page's settings as stored now.
    void Load(const TDriverSettingsPage& page);
    /// The field of setting i (a QLineEdit, QSpinBox, QCheckBox or QComboBox); its object
    /// name is the setting's key.
    QWidget* Field(int i) const { return fields[static_cast<std::size_t>(i)]; }
    int FieldCount() const noexcept { return static_cast<int>(fields.size()); }
    QPushButton* OkButton() const { return btnOk; }
    /// Called after the core accepted the values and re-opened the driver.
    std::function<void()> OnApplied;

private:
    void btnOkClick();

    IAudioSettingsCore& audio;
    QLabel* heading = nullptr;
    QFormLayout* form = nullptr;
    QPushButton* btnOk = nullptr;
    std::vector<TDriverSetting> settings;
    std::vector<QWidget*> fields;
};

} // namespace peldor
