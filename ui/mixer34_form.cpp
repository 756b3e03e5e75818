#include "ui/mixer34_form.h"

#include "engine/strip_table.h"
#include "ui/title_bar.h"

namespace peldor {
namespace {

constexpr int kMargin = 4;
constexpr int kMixer3Gutter = 40;
constexpr int kMixer3Column = 33;
constexpr int kMixer4Gutter = 56;
constexpr int kMixer4Column = 38;

} // namespace

TSendMixerForm::TSendMixerForm(IMixerCore& theCore, TMixerHooks theHooks, const char* name,
                               const QString& caption, QSize size, std::int32_t kind, int strips,
                               int gutter, int columnWidth, QWidget* parent)
    : TMixerForm(theCore, std::move(theHooks), name, caption, size,
                 {size.width(), size.height() - TTitleBar::kHeight}, parent) {
    const int bottom = size.height() - TTitleBar::kHeight - kBottomMargin;
    const std::vector<TKnobRole> knobs{kAux1, kAux2, kAux3, kAux4, kMon1, kMon2, kPan};
    for (int i = 0; i < strips; ++i) {
        AddColumn(kind, i, QString("%1").arg(i + 1, 2, 10, QChar('0')), gutter + i * columnWidth,
                  columnWidth, kMargin, bottom, knobs);
    }
    const int knobTop = kMargin + kNameHeight + kGap;
    const char* labels[] = {"AUX1", "AUX2", "AUX3", "AUX4", "MON1", "MON2", "PAN"};
    for (int row = 0; row < static_cast<int>(knobs.size()); ++row) {
        AddRowLabel(labels[row], 0, knobTop + row * kKnobRow, gutter - 3);
    }
    LoadGroups(
        {kGroupMonSends, kGroupAuxSends, kGroupPans, kGroupLevels, kGroupMuteSolo, kGroupNames});
}

TMixer3Form::TMixer3Form(IMixerCore& theCore, TMixerHooks theHooks, QWidget* parent)
    : TSendMixerForm(theCore, std::move(theHooks), "Mixer3Form", "Mixer 3 - Inputs",
                     {kWidth, kHeight}, kKindInput, kInputStripCount, kMixer3Gutter, kMixer3Column,
                     parent) {}

TMixer4Form::TMixer4Form(IMixerCore& theCore, TMixerHooks theHooks, QWidget* parent)
    : TSendMixerForm(theCore, std::move(theHooks), "Mixer4Form", "Mixer 4 - VSTi",
                     {kWidth, kHeight}, kKindInstrument, kInstrumentSlotCount, kMixer4Gutter,
                     kMixer4Column, parent) {}

} // namespace peldor
