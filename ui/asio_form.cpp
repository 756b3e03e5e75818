#include "ui/asio_form.h"

#include "i18n/message_box.h"
#include "i18n/ui_strings.h"
#include "ui/driver_settings_form.h"
#include "ui/flat_style.h"
#include "ui/title_bar.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSizeGrip>
#include <QTimer>

namespace peldor {
namespace {

constexpr const char* kSection = "ASIOForm";
constexpr int kExitNoDriver = 1;

constexpr int kMargin = 9;
/// FormResize: the close switch's left edge sits this far from the right edge, the groups are
/// this much narrower than the window.
constexpr int kCloseFromRight = 18;
constexpr int kCloseSize = 16;
/// The left column's labels ("Clock source") need more room than the right column's.
constexpr int kLeftLabel = 8;
constexpr int kLeftField = 96;
constexpr int kLeftLabelWidth = kLeftField - kLeftLabel - 2;
/// Right column: labels at half + 10, fields at half + 74, all fields half - 101 wide.
constexpr int kRightLabelOffset = 10;
constexpr int kRightFieldOffset = 74;
constexpr int kFieldShrink = 101;
constexpr int kRowTop = 22;
constexpr int kRowHeight = 28;
constexpr int kFieldHeight = 24;
constexpr int kLabelWidth = 62;
constexpr int kSettingsTop = TTitleBar::kHeight + 6;
constexpr int kSettingsHeight = 112;
constexpr int kInputsHeight = 84;
constexpr int kOutputsHeight = 112;
constexpr int kGroupGap = 6;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kLabelFontPx = 12;
constexpr int kFieldFontPx = 13;

struct ChannelListDescription {
    const char* Name;
    const char* Label;
};
constexpr std::array<ChannelListDescription, kAudioChannelLists> kChannelLists{{
    {"cmbInput1", "Input 1"},
    {"cmbInput2", "Input 2"},
    {"cmbInput3", "Input 3"},
    {"cmbInput4", "Input 4"},
    {"cmbOutMainL", "Main L"},
    {"cmbOutMainR", "Main R"},
    {"cmbOutMon1", "Mon 1"},
    {"cmbOutMon2", "Mon 2"},
    {"cmbOutSoloL", "Solo bus L"},
    {"cmbOutSoloR", "Solo bus R"},
}};

QString AsioStyleSheet() {
    using namespace style;
    return QString(R"(
TASIOForm { background: %1; border: 1px solid %2; }
QGroupBox { color: %3; border: 1px solid %2; border-radius: 3px; margin-top: 8px;
            font-size: %4px; font-weight: bold; }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0px 3px; }
QLabel { color: %3; font-size: %5px; }
QComboBox, QLineEdit { font-size: %4px; }
QCheckBox { color: %3; font-size: %5px; }
QPushButton { background: %6; color: %3; border: 1px solid %2; border-radius: 2px;
              font-size: %5px; font-weight: bold; padding: 0px; }
QPushButton:hover { border-color: %7; }
QPushButton:focus { border-color: %8; }
)")
        .arg(kWindowBack.name(), kFrame.name(), kText.name())
        .arg(kFieldFontPx)
        .arg(kLabelFontPx)
        .arg(kControlFill.name(), kDimText.name(), kAccent.name());
}

void Select(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

} // namespace

TASIOForm::TASIOForm(IMainWindowCore& theCore, IAudioSettingsCore& theAudio, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), core(theCore),
      audio(theAudio) {
    setObjectName("ASIOForm");
    setWindowTitle("ASIO");
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(AsioStyleSheet());
    setMinimumWidth(kMinimumWidth);
    setFixedHeight(kHeight);

    title = new TTitleBar(this);
    title->SetCaption("ASIO");
    btnX = new QPushButton("X", this);
    btnX->setObjectName("btnX");
    connect(btnX, &QPushButton::clicked, this, &QWidget::hide);

    boxSettings = new QGroupBox("Settings", this);
    boxSettings->setObjectName("boxSettings");
    cmbDriver = AddList(boxSettings, "cmbDriver", "Driver", 0, false);
    cmbSampleRate = AddList(boxSettings, "cmbSampleRate", "Sample rate", 1, false);
    cmbClockSource = AddList(boxSettings, "cmbClockSource", "Clock source", 2, false);
    connect(cmbDriver, &QComboBox::activated, this, &TASIOForm::cmbDriverChange);
    connect(cmbSampleRate, &QComboBox::activated, this, &TASIOForm::cmbSampleRateChange);
    connect(cmbClockSource, &QComboBox::activated, this, &TASIOForm::cmbSampleRateChange);

    auto* lbOutLat = new QLabel("Latency", boxSettings);
    lbOutLat->setObjectName("lbOutLat");
    lbOutLat->setGeometry(0, kRowTop, kLabelWidth, kFieldHeight);
    rightLabels.push_back(lbOutLat);
    edtOutputLatency = new QLineEdit(boxSettings);
    edtOutputLatency->setObjectName("edtOutputLatency");
    edtOutputLatency->setReadOnly(true);
    edtOutputLatency->setEnabled(false);
    edtOutputLatency->setGeometry(0, kRowTop, 0, kFieldHeight);
    rightFields.push_back(edtOutputLatency);
    btnControlPanel = new QPushButton("Control panel", boxSettings);
    btnControlPanel->setObjectName("btnControlPanel");
    btnControlPanel->setGeometry(0, kRowTop + kRowHeight, 0, kFieldHeight);
    rightFields.push_back(btnControlPanel);
    connect(btnControlPanel, &QPushButton::clicked, this, &TASIOForm::btnControlPanelClick);
    // Shows the stored setting; it has no handler of its own.
    chkSoftMon = new QCheckBox("Direct input mon", boxSettings);
    chkSoftMon->setObjectName("chkSoftMon");
    chkSoftMon->setGeometry(0, kRowTop + 2 * kRowHeight, 0, kFieldHeight);
    rightLabels.push_back(chkSoftMon);

    boxInputs = new QGroupBox("Inputs", this);
    boxInputs->setObjectName("boxInputs");
    boxOutputs = new QGroupBox("Outputs", this);
    boxOutputs->setObjectName("BoxOutputs");
    for (int list = 0; list < kAudioChannelLists; ++list) {
        const bool input = list < kAudioInputLists;
        const int inGroup = input ? list : list - kAudioInputLists;
        const ChannelListDescription& d = kChannelLists[static_cast<std::size_t>(list)];
        // Inputs 1 and 2 on the left, 3 and 4 on the right; the outputs' pairs side by side.
        const int row = input ? inGroup % 2 : inGroup / 2;
        const bool right = input ? inGroup >= 2 : inGroup % 2 == 1;
        channels[static_cast<std::size_t>(list)] =
            AddList(input ? boxInputs : boxOutputs, d.Name, d.Label, row, right);
        connect(channels[static_cast<std::size_t>(list)], &QComboBox::activated, this,
                [this, list] { ChannelChange(list); });
    }

    btnClose = new QPushButton("Close", this);
    btnClose->setObjectName("btnClose");
    connect(btnClose, &QPushButton::clicked, this, &QWidget::hide);
    auto* grip = new QSizeGrip(this);
    grip->setObjectName("SizeGrip");
    grip->setGeometry(0, 0, kCloseSize, kCloseSize);

    const TMainWindowPlacement placement = core.ReadPlacement(kSection, {0, 0, kWidth, kHeight, 0});
    move(placement.Left, placement.Top);
    resize(std::max(placement.Width, kMinimumWidth), kHeight);

    // The stored settings pass through the handlers once: what the driver cannot show is
    // stored as unassigned, and the rate and clock reach the driver again.
    Reload();
    audio.ApplyStoredSettings();
    Reload();

    if (cmbDriver->count() == 0) {
        noDriver = true;
        ShowMessageBox("PELDOR", LoadResString(kStrNoAudioDriver), kMsgProblem, kButtonsOk, 1);
        // Ends the event loop as soon as it runs (the start-up may not have reached it yet).
        QTimer::singleShot(0, QCoreApplication::instance(),
                           [] { QCoreApplication::exit(kExitNoDriver); });
    }
    FormResize();
}

TASIOForm::~TASIOForm() {
    core.WritePlacement(kSection, {pos().x(), pos().y(), width(), height(), 0});
}

QComboBox* TASIOForm::AddList(QWidget* group, const char* name, const char* label, int row,
                              bool right) {
    const int top = kRowTop + row * kRowHeight;
    auto* caption = new QLabel(label, group);
    caption->setObjectName(QString("lb") + QString(name).mid(3));
    caption->setGeometry(right ? 0 : kLeftLabel, top, right ? kLabelWidth : kLeftLabelWidth,
                         kFieldHeight);
    auto* list = new QComboBox(group);
    list->setObjectName(name);
    list->setGeometry(right ? 0 : kLeftField, top, 0, kFieldHeight);
    (right ? rightLabels : leftFields).push_back(right ? static_cast<QWidget*>(caption) : list);
    if (right) {
        rightFields.push_back(list);
    }
    return list;
}

void TASIOForm::Reload() {
    const TAudioSettingsView view = audio.View();
    const auto fill = [](QComboBox* list, const std::vector<std::string>& names, int selected) {
        const QSignalBlocker blocker(list);
        list->clear();
        for (const std::string& name : names) {
            list->addItem(QString::fromStdString(name));
        }
        Select(list, selected);
    };
    fill(cmbDriver, view.Drivers, view.Driver);
    fill(cmbClockSource, view.Clocks, view.Clock);
    {
        const QSignalBlocker blocker(cmbSampleRate);
        cmbSampleRate->clear();
        for (const TRateChoice& rate : view.Rates) {
            // Each entry carries its candidate index; the rate itself goes along for the core.
            cmbSampleRate->addItem(QString::fromStdString(rate.Text), rate.Candidate);
            cmbSampleRate->setItemData(cmbSampleRate->count() - 1, rate.Hz, Qt::UserRole + 1);
        }
        Select(cmbSampleRate, view.Rate);
    }
    for (int list = 0; list < kAudioChannelLists; ++list) {
        fill(channels[static_cast<std::size_t>(list)],
             list < kAudioInputLists ? view.InputNames : view.OutputNames,
             view.Channels[static_cast<std::size_t>(list)]);
    }
    {
        const QSignalBlocker blocker(chkSoftMon);
        chkSoftMon->setChecked(view.SoftwareMonitoring);
    }
    edtOutputLatency->setText(QString::fromStdString(view.Latency));
    btnControlPanel->setEnabled(view.Driver >= 0);
}

void TASIOForm::cmbDriverChange() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    audio.ChooseDriver(cmbDriver->currentIndex());
    Reload();
    if (driverSettings != nullptr) {
        // It belonged to the driver that was chosen before.
        driverSettings->hide();
    }
    QApplication::restoreOverrideCursor();
}

void TASIOForm::cmbSampleRateChange() {
    const int entry = cmbSampleRate->currentIndex();
    const std::int32_t rate =
        entry >= 0 ? cmbSampleRate->itemData(entry, Qt::UserRole + 1).toInt() : -1;
    audio.ChooseRateAndClock(rate, cmbClockSource->currentIndex());
    edtOutputLatency->setText(QString::fromStdString(audio.LatencyText()));
}

void TASIOForm::ChannelChange(int list) {
    audio.ChooseChannel(list, channels[static_cast<std::size_t>(list)]->currentIndex());
}

void TASIOForm::btnControlPanelClick() {
    const std::optional<TDriverSettingsPage> page = audio.DriverSettings();
    if (!page) {
        audio.ControlPanel();
        return;
    }
    if (driverSettings == nullptr) {
        driverSettings = new TDriverSettingsForm(audio, this);
        driverSettings->OnApplied = [this] { Reload(); };
    }
    driverSettings->Load(*page);
    driverSettings->move(mapToGlobal(QPoint(width() / 4, TTitleBar::kHeight * 2)));
    driverSettings->show();
    driverSettings->raise();
}

void TASIOForm::FormResize() {
    const int w = width();
    title->setGeometry(1, 1, w - 2, TTitleBar::kHeight - 1);
    btnX->setGeometry(w - kCloseFromRight, (TTitleBar::kHeight - kCloseSize) / 2, kCloseSize,
                      kCloseSize);
    btnX->raise();
    const int groupWidth = w - kCloseFromRight;
    int top = kSettingsTop;
    for (auto [group, height] :
         {std::pair{boxSettings, kSettingsHeight}, std::pair{boxInputs, kInputsHeight},
          std::pair{boxOutputs, kOutputsHeight}}) {
        group->setGeometry(kMargin, top, groupWidth, height);
        top += height + kGroupGap;
    }
    const int half = w / 2;
    const int fieldWidth = half - kFieldShrink;
    for (QWidget* label : rightLabels) {
        const int labelWidth =
            label == chkSoftMon ? fieldWidth + kRightFieldOffset - kRightLabelOffset : kLabelWidth;
        label->setGeometry(half + kRightLabelOffset, label->y(), labelWidth, kFieldHeight);
    }
    for (QWidget* field : rightFields) {
        field->setGeometry(half + kRightFieldOffset, field->y(), fieldWidth, kFieldHeight);
    }
    for (QWidget* field : leftFields) {
        field->setGeometry(kLeftField, field->y(), fieldWidth, kFieldHeight);
    }
    btnClose->setGeometry(w - kCloseFromRight - kButtonWidth - kCloseSize,
                          kHeight - kButtonHeight - 8, kButtonWidth, kButtonHeight);
    if (auto* grip = findChild<QSizeGrip*>("SizeGrip")) {
        grip->move(w - kCloseSize, kHeight - kCloseSize);
    }
}

void TASIOForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TASIOForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The driver may have been re-opened meanwhile (a server that came back, a reset).
    Reload();
    if (OnVisibleChanged) {
        OnVisibleChanged(true);
    }
}

void TASIOForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (OnVisibleChanged) {
        OnVisibleChanged(false);
    }
}

} // namespace peldor
