#include "ui/connection_form.h"

#include "engine/strip_table.h"
#include "midi/routing.h"
#include "project/device_selection.h"
#include "project/project_links.h"
#include "project/project_model.h"
#include "project/project_options.h"
#include "project/slot_host.h"
#include "ui/flat_form_sizer.h"
#include "ui/flat_knob.h"
#include "ui/flat_style.h"
#include "ui/flat_switch.h"
#include "ui/main_window_core.h"
#include "ui/mixer_form.h"
#include "ui/title_bar.h"
#include "ui/window_message_pump.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <cmath>

namespace peldor {
namespace {

constexpr const char* kSection = "Inspector";
const QColor kDisabled{0x40, 0x40, 0x40};
const QColor kAbsentDevice{0x60, 0x60, 0x60};
constexpr int kCloseSize = 20;
constexpr int kSizerSize = 12;
constexpr int kProgramNameWaitMs = 50;
constexpr int kPortCount = 49;

QStringList Numbered(const QString& prefix, int count) {
    QStringList items;
    for (int i = 1; i <= count; ++i) {
        items << QString("%1 %2").arg(prefix).arg(i);
    }
    return items;
}

void SetBack(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Active, role, colour);
    pal.setColor(QPalette::Inactive, role, colour);
    pal.setColor(QPalette::Disabled, role, colour);
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
}

std::uint8_t Flag(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

/// A knob value 0-127 as a MIDI value.
std::uint8_t KnobValue(const TFlatKnob* knob) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(knob->Val()), 0L, 127L));
}

/// Lets window messages run for a while, without user input (which could start another action).
void WaitWithMessages(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, ms);
    }
}

/// Tells the installed poster whether the routing's monitor messages have a receiver.
void SetInspectorExists(bool exists) {
    IWindowMessagePoster& poster = WindowPoster();
    if (auto* pump = dynamic_cast<TWindowMessagePump*>(&poster)) {
        pump->SetInspectorExists(exists);
    } else if (auto* queue = dynamic_cast<TWindowMessageQueue*>(&poster)) {
        queue->SetInspectorExists(exists);
    }
}

} // namespace

QString MonitorPortName(int port) {
    if (port < 0 || port >= kPortCount) {
        return {};
    }
    QString name;
    if (port < 16) {
        name = QString("IN %1").arg(port + 1);
    } else if (port < 32) {
        name = QString("OUT %1").arg(port - 15);
    } else if (port < 48) {
        name = QString("VST %1").arg(port - 31);
    } else {
        name = "N/A";
    }
    return name.leftJustified(6, ' ');
}

TInspectorForm::TInspectorForm(IMainWindowCore& theCore, std::function<void(int)> theUpdateMixers,
                               QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), core(theCore),
      updateMixers(std::move(theUpdateMixers)) {
    setObjectName("Inspector");
    setWindowTitle("Connection Inspector");
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, style::kText);
    setPalette(pal);
    setMinimumSize(180, 400);

    title = new TTitleBar(this);
    title->setObjectName("Title");
    title->SetCaption("Connection Inspector");
    btnX = new TFlatSwitch(this);
    btnX->setObjectName("btnX");
    btnX->SetOnCaption("X");
    btnX->SetOffCaption("X");
    connect(btnX, &TFlatSwitch::OnClick, this, &QWidget::hide);

    body = new QWidget(this);
    body->setObjectName("Body");
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(6, 4, 6, 6);
    column->setSpacing(4);

    pnlConnection = new QLabel(body);
    pnlConnection->setObjectName("pnlConnection");
    pnlConnection->setAlignment(Qt::AlignCenter);
    pnlConnection->setFont(style::SansFont(14, true));
    column->addWidget(pnlConnection);

    grpIn = new QGroupBox("MIDI Input", body);
    grpIn->setObjectName("grpIn");
    auto* in = new QVBoxLayout(grpIn);
    cmbIn = AddList(grpIn, "cmbIn", Numbered("Input", 16));
    cmbInCh = AddList(grpIn, "cmbInCh", Numbered("Channel", 16) << "OMNI");
    in->addWidget(cmbIn);
    in->addWidget(cmbInCh);
    column->addWidget(grpIn);

    grpProc = new QGroupBox("MIDI Processing", body);
    grpProc->setObjectName("grpProc");
    auto* grid = new QGridLayout(grpProc);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(4);
    grid->setContentsMargins(4, 6, 2, 4);
    static constexpr std::array<const char*, 8> kPassNames{"chkPassNT", "chkPassPP", "chkPassCT",
                                                           "chkPassPC", "chkPassAT", "chkPassPB",
                                                           "chkPassU1", "chkPassU2"};
    static constexpr std::array<const char*, 8> kPassCaptions{
        "Note",       "Poly Pressure", "Controller", "Program Change",
        "Aftertouch", "Pitchbend",     "User 1",     "User 2"};
    for (std::size_t i = 0; i < chkPass.size(); ++i) {
        chkPass[i] = AddCheck(grpProc, kPassNames[i], kPassCaptions[i]);
        grid->addWidget(chkPass[i], static_cast<int>(i / 2), static_cast<int>(i % 2));
    }
    int row = 4;
    chkEnbl = AddCheck(grpProc, "chkEnbl", "Processing enabled");
    grid->addWidget(chkEnbl, row++, 0, 1, 2);
    chkBaHi_enbl = AddCheck(grpProc, "chkBaHi_enbl", "Bank Hi");
    edtBaHi = AddNumber(grpProc, "edtBaHi", 0, 127);
    grid->addWidget(chkBaHi_enbl, row, 0);
    grid->addWidget(edtBaHi, row++, 1);
    chkBaLo_enbl = AddCheck(grpProc, "chkBaLo_enbl", "Bank Lo");
    edtBaLo = AddNumber(grpProc, "edtBaLo", 0, 127);
    grid->addWidget(chkBaLo_enbl, row, 0);
    grid->addWidget(edtBaLo, row++, 1);
    chkPC_enbl = AddCheck(grpProc, "chkPC_enbl", "Program");
    edtPC = AddNumber(grpProc, "edtPC", 1, 128);
    grid->addWidget(chkPC_enbl, row, 0);
    grid->addWidget(edtPC, row++, 1);
    auto* nameLabel = new QLabel("Name", grpProc);
    nameLabel->setObjectName("lblPCName");
    edtPCName = new QLineEdit(grpProc);
    edtPCName->setObjectName("edtPCName");
    grid->addWidget(nameLabel, row, 0);
    grid->addWidget(edtPCName, row++, 1);
    chkVolume_enbl = AddCheck(grpProc, "chkVolume_enbl", "Volume");
    chkPan_enbl = AddCheck(grpProc, "chkPan_enbl", "Pan");
    grid->addWidget(chkVolume_enbl, row, 0);
    grid->addWidget(chkPan_enbl, row++, 1);
    auto makeKnob = [this](const char* name) {
        auto* knob = new TFlatKnob(grpProc);
        knob->setObjectName(name);
        knob->SetMin(0.0f);
        knob->SetMax(127.0f);
        knob->setMinimumSize(56, 56);
        return knob;
    };
    knbVolume = makeKnob("knbVolume");
    knbPan = makeKnob("knbPan");
    grid->addWidget(knbVolume, row, 0, Qt::AlignCenter);
    grid->addWidget(knbPan, row++, 1, Qt::AlignCenter);
    auto addNumberRow = [&](const char* label, const char* name, int min, int max) {
        auto* caption = new QLabel(label, grpProc);
        caption->setObjectName(QString("lbl%1").arg(name + 3));
        QSpinBox* number = AddNumber(grpProc, name, min, max);
        grid->addWidget(caption, row, 0);
        grid->addWidget(number, row++, 1);
        return number;
    };
    edtTranspose = addNumberRow("Transpose", "edtTranspose", -48, 48);
    edtRangeHi = addNumberRow("Range Hi", "edtRangeHi", 0, 127);
    edtRangeLo = addNumberRow("Range Lo", "edtRangeLo", 0, 127);
    column->addWidget(grpProc);

    grpOut = new QGroupBox("MIDI Output", body);
    grpOut->setObjectName("grpOut");
    auto* out = new QVBoxLayout(grpOut);
    cmbOut = AddList(grpOut, "cmbOut", Numbered("Output", 16) << Numbered("VSTi", 16));
    cmbOutCh = AddList(grpOut, "cmbOutCh", Numbered("Channel", 16) << "MULTI");
    out->addWidget(cmbOut);
    out->addWidget(cmbOutCh);
    column->addWidget(grpOut);

    lb = new QListWidget(body);
    lb->setObjectName("lb");
    lb->setFont(QFont("monospace", 8));
    lb->setSelectionMode(QAbstractItemView::NoSelection);
    column->addWidget(lb, 1);

    // The events: user input only (activated, clicked, editingFinished-like value changes
    // guarded by `loading`, the knobs' OnChange).
    for (QComboBox* list : {cmbIn, cmbInCh, cmbOut, cmbOutCh}) {
        connect(list, &QComboBox::activated, this, &TInspectorForm::RoutingChanged);
    }
    for (QCheckBox* box : {chkPass[0], chkEnbl}) {
        connect(box, &QCheckBox::clicked, this, &TInspectorForm::RoutingChanged);
    }
    for (QSpinBox* number : {edtTranspose, edtRangeHi, edtRangeLo}) {
        connect(number, &QSpinBox::valueChanged, this, [this] {
            if (!loading) {
                RoutingChanged();
            }
        });
    }
    for (QCheckBox* box : {chkBaHi_enbl, chkBaLo_enbl, chkPC_enbl}) {
        connect(box, &QCheckBox::clicked, this, &TInspectorForm::ProgramChanged);
    }
    for (QSpinBox* number : {edtBaHi, edtBaLo, edtPC}) {
        connect(number, &QSpinBox::valueChanged, this, [this] {
            if (!loading) {
                ProgramChanged();
            }
        });
    }
    connect(chkVolume_enbl, &QCheckBox::clicked, this, &TInspectorForm::VolumeChanged);
    connect(knbVolume, &TFlatControl::OnChange, this, &TInspectorForm::VolumeChanged);
    connect(chkPan_enbl, &QCheckBox::clicked, this, &TInspectorForm::PanChanged);
    connect(knbPan, &TFlatControl::OnChange, this, &TInspectorForm::PanChanged);

    sizer = new TFlatFormSizer(this);
    sizer->setObjectName("Sizer");
    sizer->SetSize(kSizerSize);

    const TMainWindowPlacement placement =
        core.ReadPlacement(kSection, {0, 0, kDefaultWidth, kDefaultHeight, 0});
    move(placement.Left, placement.Top);
    resize(std::max(placement.Width, minimumWidth()), std::max(placement.Height, minimumHeight()));

    SetInspectorView(this);
    SetInspectorExists(true);
    ShowCurrent();
}

TInspectorForm::~TInspectorForm() {
    if (InspectorView() == this) {
        SetInspectorView(nullptr);
    }
    SetInspectorExists(false);
    TMainWindowPlacement placement;
    placement.Left = pos().x();
    placement.Top = pos().y();
    placement.Width = width();
    placement.Height = height();
    placement.State = 0;
    core.WritePlacement(kSection, placement);
}

QCheckBox* TInspectorForm::AddCheck(QWidget* parent, const char* name, const QString& caption) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setFont(style::SansFont(11));
    return box;
}

QSpinBox* TInspectorForm::AddNumber(QWidget* parent, const char* name, int min, int max) {
    auto* number = new QSpinBox(parent);
    number->setObjectName(name);
    number->setRange(min, max);
    number->setKeyboardTracking(false);
    return number;
}

QComboBox* TInspectorForm::AddList(QWidget* parent, const char* name, const QStringList& items) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->addItems(items);
    return list;
}

void TInspectorForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    title->setGeometry(0, 0, width(), TTitleBar::kHeight);
    btnX->setGeometry(width() - kCloseSize - 2, (TTitleBar::kHeight - kCloseSize) / 2, kCloseSize,
                      kCloseSize);
    body->setGeometry(0, TTitleBar::kHeight, width(), height() - TTitleBar::kHeight);
    sizer->raise();
}

void TInspectorForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ShowCurrent();
    emit VisibilityChanged(true);
}

void TInspectorForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit VisibilityChanged(false);
}

TConnection* TInspectorForm::CurrentInspectedConnection() {
    TProject* project = ActiveProject();
    TPart* part = project != nullptr ? project->CurrentPartObject() : nullptr;
    return part != nullptr ? part->ConnectionAt(CurrentConnection) : nullptr;
}

void TInspectorForm::ShowCurrent() {
    if (const TConnection* connection = CurrentInspectedConnection()) {
        ShowConnection(*connection);
    } else {
        EnableControls(false);
    }
}

void TInspectorForm::ShowConnection(const TConnection& c) {
    EnableControls(true);
    shown = &c;
    loading = true;
    pnlConnection->setText(QString::fromStdString(c.Name));
    cmbIn->setCurrentIndex(c.InPort);
    cmbInCh->setCurrentIndex(c.InChannel);
    const std::array<std::uint8_t, 8> pass{
        c.PassNote,       c.PassPolyPressure, c.PassController, c.PassProgramChange,
        c.PassAftertouch, c.PassPitchbend,    c.PassUser1,      c.PassUser2};
    for (std::size_t i = 0; i < chkPass.size(); ++i) {
        chkPass[i]->setChecked(pass[i] != 0);
    }
    chkEnbl->setChecked(c.Enabled != 0);
    chkBaHi_enbl->setChecked(c.BankHiEnabled != 0);
    edtBaHi->setValue(c.BankHi);
    chkBaLo_enbl->setChecked(c.BankLoEnabled != 0);
    edtBaLo->setValue(c.BankLo);
    chkPC_enbl->setChecked(c.ProgramEnabled != 0);
    edtPC->setValue(c.Program + 1);
    edtPCName->setText(QString::fromStdString(c.ProgramName));
    chkVolume_enbl->setChecked(c.VolumeEnabled != 0);
    knbVolume->SetVal(static_cast<float>(c.Volume));
    chkPan_enbl->setChecked(c.PanEnabled != 0);
    knbPan->SetVal(static_cast<float>(c.Pan));
    edtTranspose->setValue(c.Transpose);
    edtRangeHi->setValue(c.RangeHi);
    edtRangeLo->setValue(c.RangeLo);
    cmbOut->setCurrentIndex(c.OutPort);
    cmbOutCh->setCurrentIndex(c.OutChannel);
    loading = false;
    ColourDeviceLists();
}

void TInspectorForm::StoreConnection(TConnection& c) {
    // Only into the connection the controls were loaded from: greyed controls or another
    // connection's values would overwrite its settings. The name is only shown here; the
    // project window renames.
    if (!isVisible() || !controlsEnabled || &c != shown) {
        return;
    }
    c.InChannel = cmbInCh->currentIndex();
    std::array<Relaxed<std::uint8_t>*, 8> pass{
        &c.PassNote,       &c.PassPolyPressure, &c.PassController, &c.PassProgramChange,
        &c.PassAftertouch, &c.PassPitchbend,    &c.PassUser1,      &c.PassUser2};
    for (std::size_t i = 0; i < chkPass.size(); ++i) {
        *pass[i] = Flag(chkPass[i]);
    }
    c.Enabled = Flag(chkEnbl);
    c.BankHiEnabled = Flag(chkBaHi_enbl);
    c.BankHi = static_cast<std::uint8_t>(edtBaHi->value());
    c.BankLoEnabled = Flag(chkBaLo_enbl);
    c.BankLo = static_cast<std::uint8_t>(edtBaLo->value());
    c.ProgramEnabled = Flag(chkPC_enbl);
    c.Program = edtPC->value() - 1;
    c.ProgramName = edtPCName->text().toStdString();
    c.VolumeEnabled = Flag(chkVolume_enbl);
    c.Volume = KnobValue(knbVolume);
    c.PanEnabled = Flag(chkPan_enbl);
    c.Pan = KnobValue(knbPan);
    c.Transpose = static_cast<std::int8_t>(edtTranspose->value());
    c.RangeHi = static_cast<std::uint8_t>(edtRangeHi->value());
    c.RangeLo = static_cast<std::uint8_t>(edtRangeLo->value());
    c.OutChannel = cmbOutCh->currentIndex();
    // Sets the displays' ports as well.
    c.SetInPort(cmbIn->currentIndex());
    c.SetOutPort(cmbOut->currentIndex());
}

void TInspectorForm::StoreIfEnabled() {
    if (!controlsEnabled) {
        return;
    }
    if (TConnection* connection = CurrentInspectedConnection()) {
        StoreConnection(*connection);
    }
}

void TInspectorForm::EnableControls(bool on) {
    controlsEnabled = on;
    const QColor back = on ? style::kWindowBack : kDisabled;
    const QColor field = on ? style::kListBack : kDisabled;
    const QColor monitor = on ? QColor(Qt::black) : kDisabled;
    SetBack(this, QPalette::Window, back);
    SetBack(body, QPalette::Window, back);
    SetBack(pnlConnection, QPalette::Window, back);
    for (QWidget* widget : body->findChildren<QWidget*>()) {
        if (qobject_cast<QComboBox*>(widget) != nullptr ||
            qobject_cast<QSpinBox*>(widget) != nullptr ||
            qobject_cast<QLineEdit*>(widget) != nullptr) {
            QPalette pal = widget->palette();
            for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
                pal.setColor(group, QPalette::Base, field);
                pal.setColor(group, QPalette::Button, field);
            }
            widget->setPalette(pal);
        }
    }
    QPalette monitorPalette = lb->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        monitorPalette.setColor(group, QPalette::Base, monitor);
        monitorPalette.setColor(group, QPalette::Text, style::kText);
    }
    lb->setPalette(monitorPalette);
    for (QWidget* widget : {static_cast<QWidget*>(grpIn), static_cast<QWidget*>(grpProc),
                            static_cast<QWidget*>(grpOut), static_cast<QWidget*>(lb),
                            static_cast<QWidget*>(pnlConnection)}) {
        widget->setEnabled(on);
    }
    if (!on) {
        pnlConnection->clear();
        shown = nullptr;
    }
}

void TInspectorForm::ColourDeviceLists() {
    IMidiDeviceSelection* devices = ProjectLinks.Devices;
    auto colour = [](QComboBox* list, int row, bool present) {
        if (auto* model = qobject_cast<QStandardItemModel*>(list->model())) {
            if (QStandardItem* item = model->item(row)) {
                item->setForeground(present ? QColor(Qt::white) : kAbsentDevice);
            }
        }
    };
    for (int i = 0; i < 16; ++i) {
        const bool in =
            devices != nullptr && i < devices->InputCount() && devices->InputSelected(i);
        const bool out =
            devices != nullptr && i < devices->OutputCount() && devices->OutputSelected(i);
        colour(cmbIn, i, in);
        colour(cmbOut, i, out);
        colour(cmbOut, 16 + i, true);
    }
}

// ---- Events ----------------------------------------------------------------------------------

void TInspectorForm::RoutingChanged() {
    TConnection* connection = CurrentInspectedConnection();
    if (connection == nullptr || loading) {
        return;
    }
    // Notes started through the old routing are released through it.
    if (ProjectOptions().SendAllNotesOffOnChange != 0) {
        SendAllNotesOff(*connection);
    }
    // The new routing takes effect now rather than at the next timer tick, so nothing more goes
    // out through the old one.
    StoreConnection(*connection);
}

void TInspectorForm::ProgramChanged() {
    TConnection* connection = CurrentInspectedConnection();
    if (connection == nullptr || loading) {
        return;
    }
    TConnection& c = *connection;
    c.BankHi = static_cast<std::uint8_t>(edtBaHi->value());
    c.BankLo = static_cast<std::uint8_t>(edtBaLo->value());
    c.BankHiEnabled = Flag(chkBaHi_enbl);
    c.BankLoEnabled = Flag(chkBaLo_enbl);
    c.Program = edtPC->value() - 1;
    c.ProgramEnabled = Flag(chkPC_enbl);
    if (c.Enabled != 0 && c.ProgramEnabled != 0 && ProjectOptions().SendAllNotesOffOnChange != 0) {
        SendAllNotesOff(c);
    }
    SendBankAndProgram(c);
    // The plugin takes the program with its next block.
    WaitWithMessages(kProgramNameWaitMs);
    if (TConnection* still = CurrentInspectedConnection()) {
        ReadProgramName(*still);
    }
}

void TInspectorForm::ReadProgramName(const TConnection& connection) {
    const std::int32_t port = connection.OutPort;
    if (port < kFirstInstrumentPort || ProjectLinks.Slots == nullptr) {
        return;
    }
    if (ISlotPlugin* plugin = ProjectLinks.Slots->SlotPlugin(port - kFirstInstrumentPort)) {
        edtPCName->setText(QString::fromStdString(plugin->ProgramName()));
    }
}

void TInspectorForm::VolumeChanged() {
    TConnection* connection = CurrentInspectedConnection();
    if (connection == nullptr) {
        return;
    }
    TConnection& c = *connection;
    const std::uint8_t old = c.Volume;
    c.Volume = KnobValue(knbVolume);
    c.VolumeEnabled = Flag(chkVolume_enbl);
    if (TStripStates* strips = CurrentStrips.load(std::memory_order_acquire)) {
        (*strips)[static_cast<std::size_t>(kFirstMidiStrip + CurrentConnection)].Level =
            static_cast<float>(knbVolume->Val());
    }
    if (updateMixers) {
        updateMixers(kGroupLevels);
    }
    if (c.Enabled != 0 && c.VolumeEnabled != 0 && c.Volume != old) {
        SendVolume(c);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void TInspectorForm::PanChanged() {
    TConnection* connection = CurrentInspectedConnection();
    if (connection == nullptr) {
        return;
    }
    TConnection& c = *connection;
    const std::uint8_t old = c.Pan;
    c.Pan = KnobValue(knbPan);
    c.PanEnabled = Flag(chkPan_enbl);
    if (TStripStates* strips = CurrentStrips.load(std::memory_order_acquire)) {
        (*strips)[static_cast<std::size_t>(kFirstMidiStrip + CurrentConnection)].Pan =
            knbPan->Val() / 127.0f;
    }
    if (updateMixers) {
        updateMixers(kGroupPans);
    }
    if (c.Enabled != 0 && c.PanEnabled != 0 && c.Pan != old) {
        SendPan(c);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

// ---- Messages
// ------------------------------------------------------------------------------------

void TInspectorForm::HandleWindowMessage(const TWindowMessage& message) {
    if (message.Message == WM_PAINT) {
        ShowCurrent();
        return;
    }
    if (message.Message != WM_MIDIDISPLAY) {
        return;
    }
    const int port = static_cast<int>((message.WParam >> 16) & 0xFF);
    if (port > 47) {
        return;
    }
    const int channel = static_cast<int>(message.WParam & 0x0F) + 1;
    const QString line = MonitorPortName(port).toLower() + "[" +
                         QString::number(channel).rightJustified(2, ' ') + "]  " +
                         QString::fromStdString(message.Text);
    while (lb->count() > kMonitorLines - 1) {
        delete lb->takeItem(0);
    }
    lb->addItem(line);
    lb->scrollToBottom();
    if ((message.WParam & 0x80000000u) != 0) {
        if (const TConnection* connection = CurrentInspectedConnection()) {
            ReadProgramName(*connection);
        }
    }
}

} // namespace peldor
