#include "ui/midi_form.h"

#include "midi/device_choice.h"
#include "midi/midi_devices.h"
#include "ui/flat_style.h"
#include "ui/title_bar.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace peldor {
namespace {

constexpr const char* kCaption = "MIDI Mapping";
constexpr const char* kSection = "MIDIForm";
constexpr int kButtonWidth = 84;
constexpr int kButtonHeight = 25;
/// FormResize: the buttons sit 31 pixels above the bottom; the lists end a line above them,
/// which names the devices that could not be opened.
constexpr int kButtonsFromBottom = 31;
constexpr int kProblemLineHeight = 20;
constexpr int kListLeft = 8;
constexpr int kListGap = 13;
constexpr int kOutputFromMiddle = 3;
constexpr int kLabelHeight = 18;

void FillList(QListWidget& list, const std::vector<TListedDevice>& devices, QStringList& missing,
              const char* kind) {
    const QSignalBlocker quiet(list);
    list.clear();
    for (const TListedDevice& device : devices) {
        auto* item = new QListWidgetItem(QString::fromStdString(device.Text), &list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(device.Selected ? Qt::Checked : Qt::Unchecked);
        if (device.Unavailable) {
            item->setForeground(style::kDisabledText);
            item->setToolTip("Could not be opened: it is in use by another program, or gone");
            missing << QString("%1 %2").arg(kind, item->text());
        }
    }
}

std::vector<bool> Checks(const QListWidget& list) {
    std::vector<bool> checks;
    for (int i = 0; i < list.count(); ++i) {
        checks.push_back(list.item(i)->checkState() == Qt::Checked);
    }
    return checks;
}

} // namespace

TMIDIForm::TMIDIForm(IMainWindowCore& theCore, QWidget* parent)
    : QWidget(parent, ToolDialogFlags()), core(theCore) {
    setObjectName("MIDIForm");
    setWindowTitle(kCaption);
    setStyleSheet(DialogStyleSheet());
    setMinimumSize(240, 160);
    frame = AddDialogFrame(*this, kCaption);
    connect(frame.X, &QPushButton::clicked, this, &QWidget::hide);

    lblInputs = new QLabel("Inputs", this);
    lblOutputs = new QLabel("Outputs", this);
    lblInputs->setObjectName("lblInputs");
    lblOutputs->setObjectName("lblOutputs");
    inputs = new QListWidget(this);
    inputs->setObjectName("inputs");
    outputs = new QListWidget(this);
    outputs->setObjectName("outputs");
    for (QListWidget* list : {inputs, outputs}) {
        connect(list, &QListWidget::itemChanged, this, &TMIDIForm::ListClicked);
    }
    lblProblem = new QLabel(this);
    lblProblem->setObjectName("lblProblem");

    btnRescan = new QPushButton("Rescan", this);
    btnRescan->setObjectName("btnRescan");
    connect(btnRescan, &QPushButton::clicked, this, &TMIDIForm::btnRescanClick);
    btnApply = new QPushButton("Apply", this);
    btnApply->setObjectName("btnApply");
    btnApply->setEnabled(false);
    connect(btnApply, &QPushButton::clicked, this, &TMIDIForm::btnApplyClick);
    btnClose = new QPushButton("Close", this);
    btnClose->setObjectName("btnClose");
    connect(btnClose, &QPushButton::clicked, this, &QWidget::hide);

    TMainWindowPlacement defaults;
    defaults.Left = 0;
    defaults.Top = 0;
    defaults.Width = kDefaultWidth;
    defaults.Height = kDefaultHeight;
    const TMainWindowPlacement placement = core.ReadPlacement(kSection, defaults);
    setGeometry(placement.Left, placement.Top, placement.Width, placement.Height);
    FillLists();
}

TMIDIForm::~TMIDIForm() {
    TMainWindowPlacement placement;
    placement.Left = x();
    placement.Top = y();
    placement.Width = width();
    placement.Height = height();
    core.WritePlacement(kSection, placement);
}

void TMIDIForm::FillLists() {
    QStringList missing;
    FillList(*inputs, ListedMidiInputs(), missing, "Input");
    FillList(*outputs, ListedMidiOutputs(), missing, "Output");
    lblProblem->setText(missing.isEmpty() ? QString() : "Could not open: " + missing.join(", "));
    lblProblem->setToolTip(lblProblem->text());
    btnApply->setEnabled(ChecksChanged());
}

bool TMIDIForm::ChecksChanged() const {
    return DeviceChecksChanged({Checks(*inputs), Checks(*outputs)});
}

void TMIDIForm::ListClicked() {
    btnApply->setEnabled(ChecksChanged());
}

void TMIDIForm::btnApplyClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ApplyDeviceChecks({Checks(*inputs), Checks(*outputs)});
    QApplication::restoreOverrideCursor();
    // The lists now show which of the chosen devices opened.
    FillLists();
}

void TMIDIForm::btnRescanClick() {
    EnumerateDevices();
    FillLists();
}

void TMIDIForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FillLists();
    emit VisibleChanged(true);
}

void TMIDIForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit VisibleChanged(false);
}

void TMIDIForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutDialogFrame(*this, frame);
    const int w = width();
    const int h = height();
    const int listWidth = w / 2 - kListGap;
    const int labelTop = TTitleBar::kHeight + 6;
    const int listTop = labelTop + kLabelHeight + 2;
    const int buttonTop = h - kButtonsFromBottom;
    const int listHeight = buttonTop - kProblemLineHeight - 4 - listTop;
    lblInputs->setGeometry(kListLeft, labelTop, listWidth, kLabelHeight);
    lblOutputs->setGeometry(w / 2 + kOutputFromMiddle, labelTop, listWidth, kLabelHeight);
    inputs->setGeometry(kListLeft, listTop, listWidth, listHeight);
    outputs->setGeometry(w / 2 + kOutputFromMiddle, listTop, listWidth, listHeight);
    lblProblem->setGeometry(kListLeft, listTop + listHeight + 2, w - 2 * kListLeft,
                            kProblemLineHeight);
    btnRescan->setGeometry(kListLeft, buttonTop, kButtonWidth, kButtonHeight);
    btnClose->setGeometry(w - kListLeft - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight);
    btnApply->setGeometry(w - 2 * (kListLeft + kButtonWidth), buttonTop, kButtonWidth,
                          kButtonHeight);
}

} // namespace peldor
