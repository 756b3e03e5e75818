#include "plugins/generic_editor.h"

#include "engine/numeric.h"
#include "plugins/host_values.h"

#include <algorithm>
#include <string>

namespace peldor {
namespace {

// gsOld layout.
constexpr int kLabelLeft = 10;
constexpr int kLabelTop = 64;
constexpr int kBarLeft = 5;
constexpr int kBarTop = 33;
constexpr int kBarMargin = 20; // window width minus bar width
constexpr int kBarHeight = 32;
constexpr int kBarMax = 100;
constexpr int kBarTabOrder = 3;
constexpr int kBoxLeft = 4;
constexpr int kBoxTop = 5;
constexpr int kBoxMargin = 16;
constexpr int kBoxHeight = 21;
constexpr int kBoxItemHeight = 13;
constexpr int kBoxTabOrder = 2;

// gsList layout.
constexpr int kRowHeight = 16;
constexpr int kRowTopOffset = 2;
constexpr int kListLabelLeft = 2;
constexpr int kListBarGap = 2;    // between the widest label and the bars
constexpr int kListBarMargin = 4; // right of the bars
constexpr int kListBarMax = 1000;
constexpr int kListBarLargeChange = 10;
constexpr int kListFirstTabOrder = 3;

constexpr const char* kOldLabel = "LbL";
constexpr const char* kOldBar = "ParamBar";
constexpr const char* kOldBox = "ParamBox";

void BuildOld(TVstPlugIn& plugin, IEditorWindow& window) {
    const int width = window.Width();

    auto label = std::make_unique<TEditorControl>();
    label->Name = kOldLabel;
    label->Kind = TControlKind::Label;
    label->Centered = true;
    label->Left = kLabelLeft;
    label->Top = kLabelTop;
    window.AddControl(std::move(label));

    auto bar = std::make_unique<TEditorControl>();
    bar->Name = kOldBar;
    bar->Kind = TControlKind::TrackBar;
    bar->AnchorRight = true;
    bar->Left = kBarLeft;
    bar->Top = kBarTop;
    bar->Width = width - kBarMargin;
    bar->Height = kBarHeight;
    bar->Min = 0;
    bar->Max = kBarMax;
    bar->Position = 0;
    bar->Frequency = 1;
    bar->TabOrder = kBarTabOrder;
    bar->NoTicks = true;
    TEditorControl* barControl = window.AddControl(std::move(bar));

    auto box = std::make_unique<TEditorControl>();
    box->Name = kOldBox;
    box->Kind = TControlKind::ComboBox;
    box->AnchorRight = true;
    box->Left = kBoxLeft;
    box->Top = kBoxTop;
    box->Width = width - kBoxMargin;
    box->Height = kBoxHeight;
    box->ItemHeight = kBoxItemHeight;
    box->TabOrder = kBoxTabOrder;
    for (std::int32_t i = 0; i < plugin.numParams(); ++i) {
        box->Items.push_back(plugin.GetParamName(i));
    }
    box->ItemIndex = box->Items.empty() ? -1 : 0;
    TEditorControl* boxControl = window.AddControl(std::move(box));

    IEditorWindow* host = &window;
    barControl->OnChange = [&plugin, host]() {
        TEditorControl* list = host->FindControl(kOldBox);
        TEditorControl* trackBar = host->FindControl(kOldBar);
        TEditorControl* text = host->FindControl(kOldLabel);
        if (list == nullptr || trackBar == nullptr) {
            return;
        }
        const int selected = list->ItemIndex;
        plugin.SetParameter(selected, static_cast<float>(trackBar->Position * 0.01));
        if (text != nullptr) {
            text->Text =
                "Value: " + plugin.GetParamDisplay(selected) + plugin.GetParamLabel(selected);
            host->ControlChanged(*text);
        }
    };
    boxControl->OnChange = [&plugin, host]() {
        TEditorControl* list = host->FindControl(kOldBox);
        TEditorControl* trackBar = host->FindControl(kOldBar);
        TEditorControl* text = host->FindControl(kOldLabel);
        if (list == nullptr || trackBar == nullptr) {
            return;
        }
        const int selected = list->ItemIndex;
        if (selected >= 0 && selected < plugin.numParams()) {
            trackBar->Position = static_cast<int>(
                RoundHalfEven(static_cast<double>(plugin.GetParameter(selected)) * kBarMax));
            host->ControlChanged(*trackBar);
            // The value line shows the parameter now selected, not the one before it. The
            // parameter itself is left as it is: moving the bar here is no user's change.
            if (text != nullptr) {
                text->Text =
                    "Value: " + plugin.GetParamDisplay(selected) + plugin.GetParamLabel(selected);
                host->ControlChanged(*text);
            }
        }
    };
    // The list's change handler runs once, so the bar starts at the first parameter's value.
    boxControl->OnChange();
}

void BuildList(TVstPlugIn& plugin, IEditorWindow& window) {
    const std::int32_t count = std::max<std::int32_t>(plugin.numParams(), 0);
    std::vector<std::string> names;
    int widest = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        names.push_back(plugin.GetParamName(i));
        widest = std::max(widest, window.TextWidth(names.back() + ":_"));
    }
    const int barLeft = widest + kListBarGap;
    for (std::int32_t i = 0; i < count; ++i) {
        auto label = std::make_unique<TEditorControl>();
        label->Name = "LbL" + std::to_string(i);
        label->Kind = TControlKind::Label;
        label->Text = names[i] + ":";
        label->Height = kRowHeight;
        label->Centered = true;
        label->Left = kListLabelLeft;
        label->Top = kRowHeight * i + kRowTopOffset;
        window.AddControl(std::move(label));

        auto bar = std::make_unique<TEditorControl>();
        bar->Name = "ParamBar" + std::to_string(i);
        bar->Kind = TControlKind::ScrollBar;
        bar->AnchorRight = true;
        bar->Height = kRowHeight;
        bar->Top = kRowHeight * i + kRowTopOffset;
        bar->Left = barLeft;
        bar->Width = window.Width() - barLeft - kListBarMargin;
        bar->Min = 0;
        bar->Max = kListBarMax;
        bar->LargeChange = kListBarLargeChange;
        bar->TabOrder = i + kListFirstTabOrder;
        bar->Tag = i;
        bar->Position = static_cast<int>(
            RoundHalfEven(static_cast<double>(plugin.GetParameter(i)) * kListBarMax));
        TEditorControl* barControl = window.AddControl(std::move(bar));
        barControl->OnChange = [&plugin, barControl]() {
            plugin.SetParameter(barControl->Tag, static_cast<float>(barControl->Position * 0.001));
        };
    }
}

void RemoveNumbered(IEditorWindow& window, const std::string& prefix) {
    for (int i = 0; window.RemoveControl(prefix + std::to_string(i)); ++i) {
    }
}

} // namespace

void BuildGenericEditor(TVstPlugIn& plugin, IEditorWindow& window, TGUIStyle style) {
    if (style == TGUIStyle::gsOld) {
        BuildOld(plugin, window);
    } else {
        BuildList(plugin, window);
    }
}

void RemoveGenericEditor(IEditorWindow& window, TGUIStyle style) {
    if (style == TGUIStyle::gsOld) {
        window.RemoveControl(kOldBox);
        window.RemoveControl(kOldBar);
        window.RemoveControl(kOldLabel);
    } else {
        RemoveNumbered(window, "ParamBar");
        RemoveNumbered(window, "LbL");
    }
}

} // namespace peldor
