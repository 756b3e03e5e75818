#include "ui/mixer2_form.h"

#include "engine/strip_table.h"
#include "ui/flat_fader.h"
#include "ui/flat_knob.h"
#include "ui/flat_style.h"
#include "ui/flat_switch.h"
#include "ui/level_meter.h"
#include "ui/title_bar.h"

#include <QLabel>
#include <QProgressBar>

#include <cmath>

namespace peldor {
namespace {

constexpr int kPanelHeight = TMixer2Form::kHeight - TTitleBar::kHeight;
constexpr int kMargin = 4;
constexpr int kColumnWidth = 33;
constexpr int kColumns = 11;
constexpr int kMeterWidth = 14;
constexpr int kMetersLeft = kColumns * kColumnWidth + 4;
constexpr int kSettingsLeft = kMetersLeft + 2 * kMeterWidth + 8;
constexpr int kSettingsWidth = TMixer2Form::kWidth - kSettingsLeft - kMargin;
constexpr int kSwitchH = 18;
constexpr int kRowStep = 20;
constexpr int kHeadingH = 14;
constexpr int kKnob = 30;
constexpr int kSettingFontPx = 11;
constexpr int kCpuLabelFontPx = 12;
/// The level meters' floor: 0.01 is -40 dB.
constexpr float kMeterFloor = 0.01f;
constexpr double kMeterScale = 5000.0;
constexpr int kCpuTicks = 8;
constexpr int kCpuWindowLast = kCpuTicks - 1;
constexpr double kCpuTickShare = 1.0 / kCpuTicks;

QLabel* Heading(QWidget* parent, const QString& text, int y) {
    auto* label = new QLabel(text, parent);
    label->setObjectName("lbl" + QString(text).remove(' ')); // "lblTESTTONE"
    label->setFont(style::SansFont(10, true));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, style::kDimText);
    label->setPalette(pal);
    label->setGeometry(kSettingsLeft, y, kSettingsWidth, kHeadingH);
    return label;
}

} // namespace

int MainMeterValue(float level) {
    if (!(level > kMeterFloor)) {
        return 0;
    }
    return static_cast<int>(std::lround((std::log10(level) + 2.0) * kMeterScale));
}

TMixer2Form::TMixer2Form(IMixerCore& theCore, TMixerHooks theHooks, QWidget* parent)
    : TMixerForm(theCore, std::move(theHooks), "Mixer2Form", "Mixer 2 - Masters", {kWidth, kHeight},
                 {kWidth, kPanelHeight}, parent) {
    const int bottom = kPanelHeight - kBottomMargin;
    int column = 0;
    const auto x = [&column] { return column * kColumnWidth; };
    const auto suffix = [&column] { return QString("%1").arg(column + 1, 2, 10, QChar('0')); };
    for (int i = 0; i < kEffectSlotCount; ++i, ++column) {
        AddColumn(kKindEffect, i, suffix(), x(), kColumnWidth, kMargin, bottom,
                  {kMon1, kMon2, kPan});
    }
    for (int i = 0; i < kMonitorCount; ++i, ++column) {
        AddColumn(kKindMonitor, i, suffix(), x(), kColumnWidth, kMargin, bottom,
                  {kNoKnob, kNoKnob, kNoKnob});
    }
    for (int i = 0; i < kAuxCount; ++i, ++column) {
        AddColumn(kKindAux, i, suffix(), x(), kColumnWidth, kMargin, bottom,
                  {kNoKnob, kNoKnob, kNoKnob});
    }
    TStripColumn& master = AddColumn(kKindMaster, 0, suffix(), x(), kColumnWidth, kMargin, bottom,
                                     {kNoKnob, kNoKnob, kPan});
    master.Pan->setObjectName("panmain");
    const int knobTop = kMargin + kNameHeight + kGap;
    // The row captions sit beside the effect returns' knobs, where the buses have none.
    const int labelLeft = kEffectSlotCount * kColumnWidth + kGap;
    const int labelWidth = 2 * kColumnWidth;
    for (const auto& [row, text] : {std::pair{0, "MON 1"}, {1, "MON 2"}, {2, "PAN"}}) {
        AddRowLabel(text, labelLeft, knobTop + row * kKnobRow, labelWidth)
            ->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    mainVuL = new TLevelMeter(Panel());
    mainVuL->setObjectName("MainVU_L");
    mainVuR = new TLevelMeter(Panel());
    mainVuR->setObjectName("MainVU_R");
    for (TLevelMeter* meter : {mainVuL, mainVuR}) {
        meter->SetValue(0);
        meter->SetFallOff(600);
        meter->SetColor1(style::kBarGreen);
        meter->SetColor2(style::kWarnText);
        meter->SetColor3(style::kAlarmText);
        meter->SetBGColor(style::kTrack);
    }
    mainVuL->setGeometry(kMetersLeft, kMargin, kMeterWidth, bottom - kMargin);
    mainVuR->setGeometry(kMetersLeft + kMeterWidth + 2, kMargin, kMeterWidth, bottom - kMargin);

    // The settings: test tone, its routing, the meter placement, the solo bus, the load.
    const int sx = kSettingsLeft;
    const int half = (kSettingsWidth - 4) / 2;
    int y = 0;
    Heading(Panel(), "TEST TONE", y);
    y += kHeadingH + 2;
    osclevel = AddKnob("osclevel", style::kControlFill, QRect(sx, y, kKnob, kKnob));
    connect(osclevel, &TFlatControl::OnChange, this, &TMixer2Form::OscChange);
    const int sw = (kSettingsWidth - kKnob - 6) / 2;
    const int sx1 = sx + kKnob + 2;
    const int sx2 = sx1 + sw + 2;
    oscactive =
        SettingSwitch("oscactive", "on", "off", {sx1, y, sw, kSwitchH}, &TMixer2Form::OscChange);
    oscsine =
        SettingSwitch("oscsine", "sine", "noise", {sx2, y, sw, kSwitchH}, &TMixer2Form::OscChange);
    y += kRowStep;
    oscfrq =
        SettingSwitch("oscfrq", "1kHz", "440Hz", {sx1, y, sw, kSwitchH}, &TMixer2Form::OscChange);
    oscx4 = SettingSwitch("oscx4", "x10", "x1", {sx2, y, sw, kSwitchH}, &TMixer2Form::OscChange);
    y += kRowStep + 4;
    const char* routeNames[] = {"osctomain", "osctomon1", "osctomon2", "osctosolo",
                                "osctoaux1", "osctoaux2", "osctoaux3", "osctoaux4"};
    const char* routeCaptions[] = {"main",  "mon 1", "mon 2", "solo",
                                   "aux 1", "aux 2", "aux 3", "aux 4"};
    for (std::size_t i = 0; i < routing.size(); ++i) {
        const int row = static_cast<int>(i % 4);
        const int left = i < 4 ? sx : sx + half + 4;
        routing[i] =
            SettingSwitch(routeNames[i], routeCaptions[i], routeCaptions[i],
                          {left, y + row * kRowStep, half, kSwitchH}, &TMixer2Form::OscChange);
    }
    y += 4 * kRowStep + 2;
    Heading(Panel(), "METERS", y);
    y += kHeadingH + 2;
    const char* meterNames[] = {"meterspostinputs", "meterspostvsti", "meterspostvst",
                                "meterspostoutputs"};
    const char* meterWhat[] = {"inputs", "vsti", "vst", "outputs"};
    for (std::size_t i = 0; i < meters.size(); ++i) {
        meters[i] = SettingSwitch(meterNames[i], QString(meterWhat[i]) + " post",
                                  QString(meterWhat[i]) + " pre", {sx, y, kSettingsWidth, kSwitchH},
                                  &TMixer2Form::MetersChange);
        y += kRowStep;
    }
    y += 2;
    Heading(Panel(), "SOLO", y);
    y += kHeadingH + 2;
    sololevel = AddKnob("sololevel", style::kControlFill, QRect(sx, y, kKnob, kKnob));
    connect(sololevel, &TFlatControl::OnChange, this, &TMixer2Form::SoloLevelChange);
    addmode =
        SettingSwitch("addmode", "add", "add", {sx1, y + (kKnob - kSwitchH) / 2, sw, kSwitchH},
                      &TMixer2Form::AddModeChange);
    y += kKnob + 4;
    Heading(Panel(), "CPU", y);
    y += kHeadingH;
    cpuload = new QProgressBar(Panel());
    cpuload->setObjectName("cpuload");
    cpuload->setRange(0, 100);
    cpuload->setValue(0);
    cpuload->setTextVisible(false);
    cpuload->setStyleSheet(
        QString("QProgressBar { background: %1; border: 1px solid %2; }"
                "QProgressBar::chunk { background: %3; }")
            .arg(style::kTrack.name(), style::kFrame.name(), style::kBarGreen.name()));
    cpuload->setGeometry(sx, y + 3, kSettingsWidth - 52, kSwitchH - 6);
    lblCpuLoad = new QLabel("(0%)", Panel());
    lblCpuLoad->setObjectName("lblCpuLoad");
    lblCpuLoad->setFont(style::SansFont(kCpuLabelFontPx, true));
    lblCpuLoad->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCpuLoad->setGeometry(sx + kSettingsWidth - 50, y, 50, kSwitchH);

    LoadGroups({kGroupMonSends, kGroupAuxSends, kGroupPans, kGroupLevels, kGroupMuteSolo,
                kGroupNames, kGroupSettings});
}

TFlatSwitch* TMixer2Form::SettingSwitch(const char* name, const QString& on, const QString& off,
                                        const QRect& geometry, void (TMixer2Form::*handler)()) {
    TFlatSwitch* sw = AddSwitch(name, on, off, true, geometry);
    sw->setFont(style::SansFont(kSettingFontPx, true));
    connect(sw, &TFlatSwitch::OnChange, this, handler);
    return sw;
}

void TMixer2Form::LoadSettings() {
    const TMixerSettings& s = StripTable.MixerSettings;
    oscactive->SetOn(s.oscactive != 0);
    oscsine->SetOn(s.oscsine != 0);
    oscfrq->SetOn(s.oscfrq != 0);
    oscx4->SetOn(s.oscx4 != 0);
    oscfrq->setEnabled(oscsine->On());
    oscx4->setEnabled(oscsine->On());
    osclevel->SetGain(s.osclevel);
    const std::array<const Relaxed<std::uint8_t>*, 8> routes{
        &s.osctomain, &s.osctomon1, &s.osctomon2, &s.osctosolo,
        &s.osctoaux1, &s.osctoaux2, &s.osctoaux3, &s.osctoaux4};
    for (std::size_t i = 0; i < routes.size(); ++i) {
        routing[i]->SetOn(*routes[i] != 0);
    }
    meters[0]->SetOn(s.meterspostinputs != 0);
    meters[1]->SetOn(s.meterspostvsti != 0);
    meters[2]->SetOn(s.meterspostvst != 0);
    meters[3]->SetOn(s.meterspostoutputs != 0);
    sololevel->SetGain(s.sololevel);
    addmode->SetOn(s.addmode != 0);
}

void TMixer2Form::OscChange() {
    TMixerSettings& s = StripTable.MixerSettings;
    oscfrq->setEnabled(oscsine->On());
    oscx4->setEnabled(oscsine->On());
    s.oscactive = oscactive->On() ? 1 : 0;
    s.osclevel = static_cast<float>(osclevel->Gain());
    s.oscsine = oscsine->On() ? 1 : 0;
    s.oscfrq = oscfrq->On() ? 1 : 0;
    s.oscx4 = oscx4->On() ? 1 : 0;
    const std::array<Relaxed<std::uint8_t>*, 8> routes{&s.osctomain, &s.osctomon1, &s.osctomon2,
                                                       &s.osctosolo, &s.osctoaux1, &s.osctoaux2,
                                                       &s.osctoaux3, &s.osctoaux4};
    for (std::size_t i = 0; i < routes.size(); ++i) {
        *routes[i] = routing[i]->On() ? 1 : 0;
    }
    core.UpdateOscillator();
}

void TMixer2Form::MetersChange() {
    TMixerSettings& s = StripTable.MixerSettings;
    s.meterspostinputs = meters[0]->On() ? 1 : 0;
    s.meterspostvsti = meters[1]->On() ? 1 : 0;
    s.meterspostvst = meters[2]->On() ? 1 : 0;
    s.meterspostoutputs = meters[3]->On() ? 1 : 0;
}

void TMixer2Form::SoloLevelChange() {
    StripTable.MixerSettings.sololevel = static_cast<float>(sololevel->Gain());
}

void TMixer2Form::AddModeChange() {
    StripTable.MixerSettings.addmode = addmode->On() ? 1 : 0;
}

void TMixer2Form::UpdateMeters() {
    UpdateCpu();
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    FeedFaderMeters();
    const TStripState* bus = FindStrip(core.SoloActive() ? kKindSolo : kKindMaster, 0);
    mainVuL->Feed(MainMeterValue(bus->MeterL));
    mainVuR->Feed(MainMeterValue(bus->MeterR));
}

void TMixer2Form::UpdateCpu() {
    // The gauge rises once per 8 ticks to the window's average and falls a step per tick.
    const std::int32_t tick = core.TickCount();
    const double sum = core.CpuSum();
    const auto average = static_cast<int>(std::lround(sum / (tick + 1)));
    if (average < cpuload->value()) {
        cpuload->setValue(cpuload->value() - 1);
    }
    if (tick == kCpuWindowLast) {
        if (average > cpuload->value()) {
            cpuload->setValue(std::min(average, cpuload->maximum()));
        }
        lblCpuLoad->setText(QString("(%1%)").arg(std::lround(sum * kCpuTickShare)));
    }
}

} // namespace peldor
