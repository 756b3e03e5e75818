#include "ui/mixer1_form.h"

#include "engine/strip_table.h"
#include "ui/flat_fader.h"
#include "ui/flat_knob.h"
#include "ui/flat_switch.h"
#include "ui/title_bar.h"

#include <QLabel>

namespace peldor {
namespace {

constexpr int kGutter = 42;
constexpr int kColumnWidth = 42;
constexpr int kPageHeight = 24;
constexpr int kMargin = 4;
constexpr int kPanelHeight = TMixer1Form::kHeight - TTitleBar::kHeight;

} // namespace

TMixer1Form::TMixer1Form(IMixerCore& theCore, TMixerHooks theHooks, QWidget* parent)
    : TMixerForm(theCore, std::move(theHooks), "Mixer1Form", "Mixer 1 - MIDI", {kWidth, kHeight},
                 {kWidth, kPanelHeight}, parent) {
    const int pageTop = kPanelHeight - kBottomMargin - kPageHeight;
    const int stripsBottom = pageTop - kMargin;
    const std::vector<TKnobRole> knobs{kChorus, kReverb, kPan};
    for (int c = 0; c < kStripsPerPage; ++c) {
        AddColumn(kKindMidiConnection, c, QString::number(c + 1), kGutter + c * kColumnWidth,
                  kColumnWidth, kMargin, stripsBottom, knobs);
    }
    const int knobTop = kMargin + kNameHeight + kGap;
    const int labelWidth = kGutter - kMargin;
    AddRowLabel("CHO", 0, knobTop, labelWidth);
    AddRowLabel("REV", 0, knobTop + kKnobRow, labelWidth);
    AddRowLabel("PAN", 0, knobTop + 2 * kKnobRow, labelWidth);
    AddRowLabel("PAGE", 0, pageTop - (kKnobRow - kPageHeight) / 2, labelWidth);
    for (int p = 0; p < kStripsPerPage; ++p) {
        const QByteArray name = QString("page%1").arg(p + 1).toUtf8();
        TFlatSwitch* sw = AddSwitch(
            name.constData(), QString::number(p + 1), QString::number(p + 1), false,
            QRect(kGutter + p * kColumnWidth + 1, pageTop, kColumnWidth - 2, kPageHeight));
        connect(sw, &TFlatSwitch::OnClick, this, [this, p] { PageClick(p + 1); });
        pages[static_cast<std::size_t>(p)] = sw;
    }
    PageClick(1);
    LoadGroups({kGroupReverbChorus, kGroupPans, kGroupLevels, kGroupMuteSolo, kGroupNames});
}

TFlatSwitch* TMixer1Form::PageSwitch(int p) const {
    return p >= 1 && p <= kStripsPerPage ? pages[static_cast<std::size_t>(p - 1)] : nullptr;
}

void TMixer1Form::PageClick(int newPage) {
    if (newPage < 1 || newPage > kStripsPerPage) {
        return;
    }
    for (TFlatSwitch* sw : pages) {
        sw->SetOn(false);
    }
    pages[static_cast<std::size_t>(newPage - 1)]->SetOn(true);
    page = newPage;
    LoadGroups({kGroupReverbChorus, kGroupPans, kGroupLevels, kGroupMuteSolo, kGroupNames});
}

void TMixer1Form::LevelChange() {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    const std::int32_t current = core.CurrentConnection();
    for (const TStripColumn& column : columns) {
        if (StripIndex(column) == current) {
            core.SetCurrentConnectionVolume(RoundTo127(column.Level->Val()));
        }
    }
    TMixerForm::LevelChange();
    core.RefreshConnectionViews();
    core.ProcessPendingMessages();
}

void TMixer1Form::PanChange() {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    const std::int32_t current = core.CurrentConnection();
    for (const TStripColumn& column : columns) {
        if (StripIndex(column) == current) {
            core.SetCurrentConnectionPan(RoundTo127(column.Pan->Val()));
        }
    }
    TMixerForm::PanChange();
    core.RefreshConnectionViews();
}

void TMixer1Form::ReverbChange() {
    if (CurrentStrips.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    TMixerForm::ReverbChange();
    if (hooks.ShowHint) {
        hooks.ShowHint(QString::number(RoundTo127(columns.front().Reverb->Val())));
    }
}

void TMixer1Form::showEvent(QShowEvent* event) {
    TMixerForm::showEvent(event);
    LoadGroups({kGroupLevels, kGroupPans, kGroupReverbChorus});
}

} // namespace peldor
