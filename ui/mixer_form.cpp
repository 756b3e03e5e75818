#include "ui/mixer_form.h"

#include "engine/strip_table.h"
#include "ui/flat_fader.h"
#include "ui/flat_form_sizer.h"
#include "ui/flat_knob.h"
#include "ui/flat_style.h"
#include "ui/flat_switch.h"
#include "ui/title_bar.h"

#include <QFontMetrics>
#include <QLabel>
#include <QScrollArea>

#include <cmath>

namespace peldor {
namespace {

constexpr int kCloseSize = 20;
constexpr int kNameFontPx = 14;
constexpr int kNameMinFontPx = 8;
constexpr int kSizerSize = 12;
constexpr int kRowLabelFontPx = 10;
constexpr int kSwitchFontPx = 13;
constexpr double kMidiScale = 127.0;

/// Knob colours by role, so that a row is found by its colour across a dark stage.
const QColor kAuxFill{0x1E, 0x7A, 0x86};
const QColor kMonFill{0x6A, 0x3F, 0x9A};
const QColor kEffectFill{0x2F, 0x7D, 0x3C};
/// Mute on: red; solo on: yellow. Both with dark captions.
const QColor kMuteOn{0xE5, 0x3B, 0x30};
const QColor kSoloOn{0xFF, 0xD2, 0x2E};

const char* KnobPrefix(TMixerForm::TKnobRole role) {
    if (role <= TMixerForm::kAux4) {
        return "aux";
    }
    if (role <= TMixerForm::kMon2) {
        return "mon";
    }
    switch (role) {
    case TMixerForm::kPan:
        return "pan";
    case TMixerForm::kChorus:
        return "cho";
    default:
        return "rev";
    }
}

QColor KnobFill(TMixerForm::TKnobRole role) {
    if (role <= TMixerForm::kAux4) {
        return kAuxFill;
    }
    if (role <= TMixerForm::kMon2) {
        return kMonFill;
    }
    return role == TMixerForm::kPan ? style::kControlFill : kEffectFill;
}

/// The largest bold font, up to the name size, that fits the name into its panel; a name with
/// a space may take two lines ("MON 1").
void FitName(QLabel& label) {
    const QRect box = label.contentsRect().adjusted(1, 0, -1, 0);
    for (int px = kNameFontPx; px >= kNameMinFontPx; --px) {
        const QFont font = style::SansFont(px, true);
        const QRect needed =
            QFontMetrics(font).boundingRect(QRect(0, 0, box.width(), box.height()),
                                            Qt::AlignCenter | Qt::TextWordWrap, label.text());
        if ((needed.width() <= box.width() && needed.height() <= box.height()) ||
            px == kNameMinFontPx) {
            if (label.font() != font) {
                label.setFont(font);
            }
            return;
        }
    }
}

} // namespace

int StripTableIndex(std::int32_t kind, std::int32_t index) {
    if (index < 0) {
        return -1;
    }
    struct Range {
        int First, Count;
    };
    constexpr std::array<Range, 8> kRanges{{{kFirstMidiStrip, kMidiStripCount},
                                            {kFirstInputStrip, kInputStripCount},
                                            {kFirstInstrumentStrip, kInstrumentSlotCount},
                                            {kFirstEffectStrip, kEffectSlotCount},
                                            {kMasterStrip, 1},
                                            {kFirstMonitorStrip, kMonitorCount},
                                            {kFirstAuxStrip, kAuxCount},
                                            {kSoloStrip, 1}}};
    if (kind < 0 || kind >= static_cast<int>(kRanges.size())) {
        return -1;
    }
    const Range range = kRanges[static_cast<std::size_t>(kind)];
    if (range.Count == 1) {
        return range.First; // master and solo ignore the index
    }
    return index < range.Count ? range.First + index : -1;
}

std::int32_t RoundTo127(double position) {
    // nearbyint rounds in the current mode, which is to nearest with halves to even.
    return static_cast<std::int32_t>(std::nearbyint(position * kMidiScale));
}

TMixerForm::TMixerForm(IMixerCore& theCore, TMixerHooks theHooks, const char* name,
                       const QString& caption, QSize defaultSize, QSize panelSize, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), core(theCore),
      hooks(std::move(theHooks)), section(name) {
    setObjectName(name);
    setWindowTitle(caption);
    setMinimumSize(2 * TTitleBar::kHeight + kCloseSize, 2 * TTitleBar::kHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, style::kWindowBack);
    pal.setColor(QPalette::WindowText, style::kText);
    setPalette(pal);
    setAutoFillBackground(true);

    title = new TTitleBar(this);
    title->setObjectName("Title");
    title->SetCaption(caption);
    btnX = new TFlatSwitch(this);
    btnX->setObjectName("btnX");
    btnX->SetOnCaption("X");
    btnX->SetOffCaption("X");
    connect(btnX, &TFlatSwitch::OnClick, this, &QWidget::hide);

    // The strips keep their size; a window that grows shows more of them, a smaller one
    // scrolls.
    scroll = new QScrollArea(this);
    scroll->setObjectName("Strips");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(false);
    scroll->setPalette(pal);
    panel = new QWidget;
    panel->setObjectName("StripPanel");
    panel->setPalette(pal);
    panel->setAutoFillBackground(true);
    panel->setFixedSize(panelSize);
    scroll->setWidget(panel);
    scroll->viewport()->setPalette(pal);
    scroll->viewport()->setAutoFillBackground(true);

    sizer = new TFlatFormSizer(this);
    sizer->setObjectName("Sizer");
    sizer->SetSize(kSizerSize);

    const TMixerPlacement placement =
        core.ReadPlacement(section, {0, 0, defaultSize.width(), defaultSize.height()});
    move(placement.Left, placement.Top);
    resize(std::max(placement.Width, minimumWidth()), std::max(placement.Height, minimumHeight()));
}

TMixerForm::~TMixerForm() {
    core.WritePlacement(section, {pos().x(), pos().y(), width(), height()});
}

void TMixerForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    title->setGeometry(0, 0, width(), TTitleBar::kHeight);
    btnX->setGeometry(width() - kCloseSize - 2, (TTitleBar::kHeight - kCloseSize) / 2, kCloseSize,
                      kCloseSize);
    scroll->setGeometry(0, TTitleBar::kHeight, width(), height() - TTitleBar::kHeight);
    sizer->raise();
}

void TMixerForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    emit VisibilityChanged(true);
}

void TMixerForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit VisibilityChanged(false);
}

TFlatSwitch* TMixerForm::AddSwitch(const char* name, const QString& onCaption,
                                   const QString& offCaption, bool autoCheck,
                                   const QRect& geometry) {
    auto* sw = new TFlatSwitch(panel);
    sw->setObjectName(name);
    sw->SetOnCaption(onCaption);
    sw->SetOffCaption(offCaption);
    sw->SetAutoCheck(autoCheck);
    sw->setFont(style::SansFont(kSwitchFontPx, true));
    sw->setGeometry(geometry);
    return sw;
}

TFlatKnob* TMixerForm::AddKnob(const QString& name, const QColor& fill, const QRect& geometry) {
    auto* knob = new TFlatKnob(panel);
    knob->setObjectName(name);
    knob->SetFillColor(fill);
    knob->SetShowTicks(false);
    knob->setGeometry(geometry);
    return knob;
}

QLabel* TMixerForm::AddRowLabel(const QString& text, int x, int y, int width) {
    auto* label = new QLabel(text, panel);
    // Named after its English text ("lblMON1"), so that a language file can reach it.
    label->setObjectName("lbl" + QString(text).remove(' '));
    label->setFont(style::SansFont(kRowLabelFontPx, true));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, style::kDimText);
    label->setPalette(pal);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(x, y, width, kKnobRow);
    return label;
}

TStripColumn& TMixerForm::AddColumn(std::int32_t kind, std::int32_t index, const QString& suffix,
                                    int x, int width, int top, int bottom,
                                    const std::vector<TKnobRole>& knobs, bool withFader) {
    const int c = static_cast<int>(columns.size());
    TStripColumn column;
    column.Kind = kind;
    column.Index = index;

    column.Name = new QLabel(panel);
    column.Name->setObjectName("name" + suffix);
    column.Name->setAlignment(Qt::AlignCenter);
    column.Name->setWordWrap(true);
    column.Name->setFont(style::SansFont(kNameFontPx, true));
    column.Name->setAutoFillBackground(true);
    QPalette namePal = column.Name->palette();
    namePal.setColor(QPalette::Window, style::kListBack);
    namePal.setColor(QPalette::WindowText, style::kText);
    column.Name->setPalette(namePal);
    column.Name->setGeometry(x + 1, top, width - 2, kNameHeight);

    int y = top + kNameHeight + kGap;
    const int knobSize = std::min(width - 2, kKnobRow);
    for (const TKnobRole role : knobs) {
        if (role == kNoKnob) {
            y += kKnobRow;
            continue;
        }
        QString knobName = KnobPrefix(role) + suffix;
        if (role <= kMon2) {
            knobName += QString("_%1").arg(role <= kAux4 ? role + 1 : role - kMon1 + 1);
        }
        TFlatKnob* knob = AddKnob(knobName, KnobFill(role),
                                  QRect(x + (width - knobSize) / 2, y, knobSize, knobSize));
        if (role <= kAux4) {
            column.Aux[static_cast<std::size_t>(role)] = knob;
            connect(knob, &TFlatControl::OnChange, this, [this, role] { AuxChange(role); });
        } else if (role <= kMon2) {
            column.Mon[static_cast<std::size_t>(role - kMon1)] = knob;
            connect(knob, &TFlatControl::OnChange, this, [this, role] { MonChange(role - kMon1); });
        } else if (role == kPan) {
            column.Pan = knob;
            connect(knob, &TFlatControl::OnChange, this, &TMixerForm::PanChange);
        } else if (role == kChorus) {
            column.Chorus = knob;
            connect(knob, &TFlatControl::OnChange, this, &TMixerForm::ChorusChange);
        } else {
            column.Reverb = knob;
            connect(knob, &TFlatControl::OnChange, this, &TMixerForm::ReverbChange);
        }
        y += kKnobRow;
    }

    const int switchTop = bottom - kSwitchHeight;
    if (withFader) {
        column.Level = new TFlatFader(panel);
        column.Level->setObjectName("level" + suffix);
        column.Level->setGeometry(x, y + kGap, width, switchTop - y - 2 * kGap);
        connect(column.Level, &TFlatControl::OnChange, this, &TMixerForm::LevelChange);
    }
    const int half = (width - kGap) / 2;
    column.Mute = AddSwitch(("mute" + suffix).toUtf8().constData(), "M", "M", false,
                            QRect(x + 1, switchTop, half, kSwitchHeight));
    column.Mute->SetOnFillColor(kMuteOn);
    column.Mute->SetOnPenColor(kMuteOn);
    column.Solo = AddSwitch(("solo" + suffix).toUtf8().constData(), "S", "S", true,
                            QRect(x + width - half - 1, switchTop, half, kSwitchHeight));
    column.Solo->SetOnFillColor(kSoloOn);
    column.Solo->SetOnPenColor(kSoloOn);
    connect(column.Mute, &TFlatSwitch::OnClick, this,
            [this, c] { MuteClick(columns[static_cast<std::size_t>(c)]); });
    connect(column.Solo, &TFlatSwitch::OnClick, this,
            [this, c] { SoloClick(columns[static_cast<std::size_t>(c)]); });

    columns.push_back(column);
    return columns.back();
}

void TMixerForm::LoadGroups(std::initializer_list<int> groups) {
    for (const int group : groups) {
        UpdateControls(group);
    }
}

void TMixerForm::UpdateControls(int group) {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    if (group == kGroupSettings) {
        LoadSettings();
        return;
    }
    for (const TStripColumn& column : columns) {
        const std::int32_t index = StripIndex(column);
        const TStripState* strip = FindStrip(column.Kind, index);
        if (strip == nullptr) {
            continue;
        }
        switch (group) {
        case kGroupMonSends:
            for (std::size_t m = 0; m < column.Mon.size(); ++m) {
                if (column.Mon[m] != nullptr) {
                    column.Mon[m]->SetGain(strip->MonSend[m]);
                }
            }
            break;
        case kGroupAuxSends:
            for (std::size_t a = 0; a < column.Aux.size(); ++a) {
                if (column.Aux[a] != nullptr) {
                    column.Aux[a]->SetGain(strip->AuxSend[a]);
                }
            }
            break;
        case kGroupPans:
            if (column.Pan != nullptr) {
                column.Pan->SetVal(strip->Pan);
            }
            break;
        case kGroupLevels:
            if (column.Level != nullptr) {
                if (column.Kind == kKindMidiConnection) {
                    column.Level->SetVal(static_cast<float>(strip->Level / kMidiScale));
                } else {
                    column.Level->SetGain(strip->Level);
                }
            }
            break;
        case kGroupMuteSolo:
            column.Mute->SetOn(strip->Mute != 0 || strip->SoloMute != 0);
            column.Solo->SetOn(strip->Solo != 0);
            break;
        case kGroupReverbChorus:
            if (column.Chorus != nullptr) {
                column.Chorus->SetVal(static_cast<float>(strip->Chorus / kMidiScale));
            }
            if (column.Reverb != nullptr) {
                column.Reverb->SetVal(static_cast<float>(strip->Reverb / kMidiScale));
            }
            break;
        case kGroupNames: {
            const int table = StripTableIndex(column.Kind, index);
            column.Name->setText(QString::fromStdString(
                StripTable.Descriptors[static_cast<std::size_t>(table)].ShortName));
            FitName(*column.Name);
            break;
        }
        default:
            break;
        }
    }
}

void TMixerForm::LevelChange() {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    for (const TStripColumn& column : columns) {
        TStripState* strip = FindStrip(column.Kind, StripIndex(column));
        if (strip == nullptr || column.Level == nullptr) {
            continue;
        }
        strip->Level = column.Kind == kKindMidiConnection
                           ? static_cast<float>(column.Level->Val() * kMidiScale)
                           : static_cast<float>(column.Level->Gain());
    }
}

void TMixerForm::PanChange() {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    for (const TStripColumn& column : columns) {
        if (TStripState* strip = FindStrip(column.Kind, StripIndex(column));
            strip != nullptr && column.Pan != nullptr) {
            strip->Pan = column.Pan->Val();
        }
    }
}

void TMixerForm::AuxChange(int aux) {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    const auto a = static_cast<std::size_t>(aux);
    for (const TStripColumn& column : columns) {
        if (TStripState* strip = FindStrip(column.Kind, StripIndex(column));
            strip != nullptr && column.Aux[a] != nullptr) {
            strip->AuxSend[a] = static_cast<float>(column.Aux[a]->Gain());
        }
    }
}

void TMixerForm::MonChange(int mon) {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    const auto m = static_cast<std::size_t>(mon);
    for (const TStripColumn& column : columns) {
        if (TStripState* strip = FindStrip(column.Kind, StripIndex(column));
            strip != nullptr && column.Mon[m] != nullptr) {
            strip->MonSend[m] = static_cast<float>(column.Mon[m]->Gain());
        }
    }
}

void TMixerForm::ChorusChange() {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    for (const TStripColumn& column : columns) {
        if (TStripState* strip = FindStrip(column.Kind, StripIndex(column));
            strip != nullptr && column.Chorus != nullptr) {
            strip->Chorus = RoundTo127(column.Chorus->Val());
        }
    }
}

void TMixerForm::ReverbChange() {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    for (const TStripColumn& column : columns) {
        if (TStripState* strip = FindStrip(column.Kind, StripIndex(column));
            strip != nullptr && column.Reverb != nullptr) {
            strip->Reverb = RoundTo127(column.Reverb->Val());
        }
    }
}

void TMixerForm::MuteClick(const TStripColumn& column) {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    ToggleMute(column.Kind, StripIndex(column));
    if (hooks.UpdateMixers) {
        hooks.UpdateMixers(kGroupMuteSolo);
    } else {
        UpdateControls(kGroupMuteSolo);
    }
}

void TMixerForm::SoloClick(const TStripColumn& column) {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    ToggleSolo(column.Kind, StripIndex(column));
    if (hooks.UpdateMixers) {
        hooks.UpdateMixers(kGroupMuteSolo);
    } else {
        UpdateControls(kGroupMuteSolo);
    }
}

void TMixerForm::FeedFaderMeters() {
    // Asked for on every tick, also without a part: the meters are computed only while read.
    core.MetersWanted();
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    for (const TStripColumn& column : columns) {
        if (const TStripState* strip = FindStrip(column.Kind, StripIndex(column));
            strip != nullptr && column.Level != nullptr) {
            column.Level->SetMeter(strip->MeterL);
        }
    }
}

} // namespace peldor
