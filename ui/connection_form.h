#pragma once
// The connection inspector: edits the current connection of the current part (input device
// and channel, the message types that pass, bank, program, volume and pan, transposition, key
// range, output device or instrument slot and channel) and shows the last twelve messages that
// left it.
//
// Edits reach the connection through StoreIfEnabled, which the main window's timer calls; the
// program, volume and pan controls also send their messages at once. Loading the controls from
// a connection (ShowConnection) never sends anything.
//
// Window thread only; the MIDI threads reach it through posted messages (WM_MIDIDISPLAY,
// WM_PAINT).

#include "midi/switching_views.h"
#include "midi/window_messages.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace peldor {

class IMainWindowCore;
class TConnection;
class TFlatFormSizer;
class TFlatKnob;
class TFlatSwitch;
class TTitleBar;

/// Monitor line names by WM_MIDIDISPLAY port (0-15 inputs, 16-31 outputs, 32-47 instrument
/// slots, 48 none); six characters each.
QString MonitorPortName(int port);

class TInspectorForm final : public QWidget, public IInspectorView {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 214;
    static constexpr int kDefaultHeight = 747;
    static constexpr int kMonitorLines = 12;

    /// updateMixers(group): the mixer windows reload a group of controls (levels, pans).
    TInspectorForm(IMainWindowCore& core, std::function<void(int)> updateMixers,
                   QWidget* parent = nullptr);
    ~TInspectorForm() override;

    /// The connection at CurrentConnection of the current part, or null.
    static TConnection* CurrentInspectedConnection();

    /// Enables the controls and loads them from the connection; fires no control event.
    void ShowConnection(const TConnection& connection);
    /// While the window is visible and shows this connection: every control back into it.
    void StoreConnection(TConnection& connection);
    void EnableControls(bool on);
    bool ControlsEnabled() const { return controlsEnabled; }
    /// When the controls are enabled and a current connection exists: StoreConnection of it.
    void StoreIfEnabled();
    /// The current connection, or disabled controls without one (the repaint).
    void ShowCurrent();

    /// WM_MIDIDISPLAY and WM_PAINT.
    void HandleWindowMessage(const TWindowMessage& message);

    // IInspectorView
    bool Visible() override { return isVisible(); }
    void StoreControls(TConnection& connection) override { StoreConnection(connection); }
    void DisableControls() override { EnableControls(false); }

    QListWidget* Monitor() const { return lb; }

signals:
    void VisibilityChanged(bool visible);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QCheckBox* AddCheck(QWidget* parent, const char* name, const QString& caption);
    QSpinBox* AddNumber(QWidget* parent, const char* name, int min, int max);
    QComboBox* AddList(QWidget* parent, const char* name, const QStringList& items);
    void RoutingChanged();
    void ProgramChanged();
    void VolumeChanged();
    void PanChanged();
    /// Sets edtPCName from the plugin in the connection's instrument slot, if any.
    void ReadProgramName(const TConnection& connection);
    void ColourDeviceLists();

    IMainWindowCore& core;
    std::function<void(int)> updateMixers;
    TTitleBar* title = nullptr;
    TFlatSwitch* btnX = nullptr;
    QWidget* body = nullptr;
    QLabel* pnlConnection = nullptr;
    QGroupBox* grpIn = nullptr;
    QGroupBox* grpProc = nullptr;
    QGroupBox* grpOut = nullptr;
    QComboBox* cmbIn = nullptr;
    QComboBox* cmbInCh = nullptr;
    std::array<QCheckBox*, 8> chkPass{};
    QCheckBox* chkEnbl = nullptr;
    QCheckBox* chkBaHi_enbl = nullptr;
    QSpinBox* edtBaHi = nullptr;
    QCheckBox* chkBaLo_enbl = nullptr;
    QSpinBox* edtBaLo = nullptr;
    QCheckBox* chkPC_enbl = nullptr;
    QSpinBox* edtPC = nullptr;
    QLineEdit* edtPCName = nullptr;
    QCheckBox* chkVolume_enbl = nullptr;
    TFlatKnob* knbVolume = nullptr;
    QCheckBox* chkPan_enbl = nullptr;
    TFlatKnob* knbPan = nullptr;
    QSpinBox* edtTranspose = nullptr;
    QSpinBox* edtRangeHi = nullptr;
    QSpinBox* edtRangeLo = nullptr;
    QComboBox* cmbOut = nullptr;
    QComboBox* cmbOutCh = nullptr;
    QListWidget* lb = nullptr;
    TFlatFormSizer* sizer = nullptr;
    bool controlsEnabled = true;
    /// ShowConnection is setting the controls: their change signals are not the user's.
    bool loading = false;
    /// The connection the controls were loaded from; compared, never followed.
    const TConnection* shown = nullptr;
};

} // namespace peldor
