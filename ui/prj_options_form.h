#pragma once
// The project options dialog (TPrjOptionsForm, "Project options"): the options of the project
// on four pages ("General", "MIDI", "Remote", "Expert"), stored only by "Apply", and the seven
// learn switches that fill a remote command's or a user filter's MIDI fields from the next
// messages played on any input.
//
// Learned messages arrive on the MIDI input threads; they wait in a lock-free inbox that this
// window empties on its own thread while learning is on, so none is lost while the dialog
// exists. Window thread only.

#include "midi/learn_inbox.h"
#include "ui/dialog_frame.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

namespace peldor {

class THotkeyEdit;

class TPrjOptionsForm final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 390;
    /// Learn targets besides the remote rows 0-4.
    static constexpr int kLearnFilter1 = 101;
    static constexpr int kLearnFilter2 = 102;
    static constexpr int kNoLearnTarget = -1;

    /// applied runs after every Apply (the main window gives the remote actions their new
    /// shortcuts there).
    explicit TPrjOptionsForm(std::function<void()> applied, QWidget* parent = nullptr);
    /// Ends learning when this dialog is the learn handler.
    ~TPrjOptionsForm() override;

    /// Every control from the options; "Apply" off.
    void LoadOptions();
    /// Checks every field, then stores every control and applies the options. A field that
    /// does not hold an accepted value is named in a message box and focused; nothing is stored
    /// then. False in that case.
    bool btnApplyClick();
    /// Close or X: while learning, asks whether to quit learn mode (Cancel keeps the dialog).
    void btnCloseClick();

    int LearnTarget() const noexcept { return learnTarget; }
    /// Takes what the MIDI threads handed over; the dialog's timer calls it while learning.
    void TakeLearnedMessages();

    QPushButton* ApplyButton() const { return btnApply; }
    QTabWidget* Pages() const { return pages; }

signals:
    /// Shown or hidden (the menu's check mark follows it).
    void VisibleChanged(bool visible);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct FieldRow {
        std::array<QLineEdit*, 3> Fields{};
        QPushButton* Learn = nullptr;
        int Target = kNoLearnTarget;
        /// Names the row in messages (its caption, in the chosen language).
        QLabel* Label = nullptr;
    };

    void BuildGeneralPage();
    void BuildMidiPage();
    void BuildRemotePage();
    void BuildExpertPage();
    QLineEdit* AddNumberField(QWidget* page, const char* name, int left, int top, int width);
    QPushButton* AddLearnSwitch(QWidget* page, const char* name, int target, int left, int top);
    void Changed();
    void LearnSwitchClick(QPushButton* clicked);
    void SetLearnTarget(int target);
    FieldRow* RowOfTarget(int target);

    std::function<void()> onApplied;
    TDialogFrame frame;
    QTabWidget* pages = nullptr;
    QComboBox* cmbNoteSystem = nullptr;
    QCheckBox* chkActiveSense = nullptr;
    QCheckBox* chkSendANO = nullptr;
    std::array<FieldRow, 2> filterRows{};
    QCheckBox* chkHotKeysEnable = nullptr;
    QCheckBox* chkMIDIRemoteEnable = nullptr;
    QComboBox* cmbRemotePort = nullptr;
    std::array<THotkeyEdit*, 5> hotkeys{};
    std::array<FieldRow, 5> remoteRows{};
    QLineEdit* edtEpsilon = nullptr;
    QLineEdit* edtDecimalSeparator = nullptr;
    QLineEdit* edtThousandSeparator = nullptr;
    QComboBox* cmbAudioThreadPriority = nullptr;
    QComboBox* cmbSineAccuracy = nullptr;
    QRadioButton* rdoPinkNoise = nullptr;
    QRadioButton* rdoWhiteNoise = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnClose = nullptr;
    QTimer* learnTimer = nullptr;
    /// The Epsilon text as loaded: an unchanged field keeps the exact value it shows rounded.
    QString loadedEpsilon;
    int learnTarget = kNoLearnTarget;
    TMidiLearnInbox inbox;
};

} // namespace peldor
