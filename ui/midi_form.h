#pragma once
// The MIDI settings dialog (TMIDIForm, "MIDI Mapping"): a check list of the MIDI inputs and one
// of the outputs, "[01] - " + the device name for devices 1-16. "Apply" stores the checks as
// the devices' selection and reopens the devices; it is enabled exactly while a check differs
// from the selection. "Rescan" lists the devices afresh with nothing selected. Selected devices
// that could not be opened are drawn grey and named below the lists. The placement is kept in
// "MIDIForm"; the selection itself only in project files.
//
// Window thread only.

#include "ui/dialog_frame.h"
#include "ui/main_window_core.h"

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

namespace peldor {

class TMIDIForm final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 490;
    static constexpr int kDefaultHeight = 307;

    /// Reads its placement and fills the lists.
    explicit TMIDIForm(IMainWindowCore& core, QWidget* parent = nullptr);
    /// Writes its placement.
    ~TMIDIForm() override;

    /// Both lists from the device tables; "Apply" follows the changed test.
    void FillLists();
    void btnApplyClick();
    void btnRescanClick();

    QListWidget* Inputs() const { return inputs; }
    QListWidget* Outputs() const { return outputs; }
    QPushButton* ApplyButton() const { return btnApply; }
    QLabel* ProblemLabel() const { return lblProblem; }

signals:
    /// Shown or hidden (the menu's check mark follows it).
    void VisibleChanged(bool visible);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool ChecksChanged() const;
    void ListClicked();

    IMainWindowCore& core;
    TDialogFrame frame;
    QLabel* lblInputs = nullptr;
    QLabel* lblOutputs = nullptr;
    QListWidget* inputs = nullptr;
    QListWidget* outputs = nullptr;
    QLabel* lblProblem = nullptr;
    QPushButton* btnRescan = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnClose = nullptr;
};

} // namespace peldor
