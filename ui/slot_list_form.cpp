#include "ui/slot_list_form.h"

#include "plugins/plugin_catalogue.h"
#include "ui/flat_style.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>

namespace peldor {
namespace {

constexpr int kInstrumentRows = 8;
constexpr int kEffectRows = 4;
constexpr int kFirstEffectSlot = 16;
constexpr int kRowTop = 8;
constexpr int kRowHeight = 32;
constexpr int kLabelLeft = 6;
/// Wide enough for "VSTi 16" in the bold row font.
constexpr int kLabelWidth = 64;
constexpr int kControlHeight = 25;
constexpr int kVisibleWidth = 44;
/// FormResize: the "Visible" switches sit 48 pixels from the right edge; the plugin panels
/// reach from the labels to just before them.
constexpr int kVisibleFromRight = 48;
constexpr int kGap = 4;
constexpr int kPanelLeft = kLabelLeft + kLabelWidth + kGap;
/// Slot names and plugin names are read from the stage; the buttons keep the size that fits
/// "Visible" into its 44 pixels.
constexpr int kRowFontPx = 15;
constexpr int kButtonFontPx = 11;
constexpr int kBottomButtonFontPx = 13;
/// The plugin field of an empty slot: darker than a filled one, but still a field to click.
const QColor kEmptyFieldBack{0x17, 0x1A, 0x2B};
const QColor kEmptyFieldFrame{0x2E, 0x35, 0x58};

/// The rows, the plugin fields and the buttons in the flat colours; empty slots (the property
/// "empty") are dimmer.
QString SlotListStyleSheet() {
    using namespace style;
    return QString(R"(
QLabel { color: %1; font-size: %7px; font-weight: bold; }
QLabel[empty="true"] { color: %2; font-weight: normal; }
QPushButton { background: %3; color: %1; border: 1px solid %4; border-radius: 2px;
              font-size: %8px; font-weight: bold; padding: 0px; }
QPushButton:hover { border-color: %5; }
QPushButton:checked { background: %6; color: %9; border-color: %6; }
QPushButton:disabled { background: %10; color: %2; border-color: %11; }
QPushButton:focus { border-color: %6; }
QPushButton[plugin="true"] { background: %12; text-align: left; padding-left: 6px;
                             font-size: %7px; }
QPushButton[plugin="true"][empty="true"] { background: %13; border-color: %11; }
QPushButton[plugin="true"]:focus { border-color: %6; }
QPushButton#page1, QPushButton#page2, QPushButton#btnClose { font-size: %14px; }
)")
        .arg(kText.name(), kDisabledText.name(), kControlFill.name(), kFrame.name(),
             kDimText.name(), kAccent.name())
        .arg(kRowFontPx)
        .arg(kButtonFontPx)
        .arg(kTitleBack.name(), kWindowBack.name(), kEmptyFieldFrame.name(), kListBack.name(),
             kEmptyFieldBack.name())
        .arg(kBottomButtonFontPx);
}

/// Sets the "empty" property and lets the style sheet see the change.
void MarkEmpty(QWidget& widget, bool empty) {
    if (widget.property("empty").toBool() == empty && widget.property("empty").isValid()) {
        return;
    }
    widget.setProperty("empty", empty);
    widget.style()->unpolish(&widget);
    widget.style()->polish(&widget);
}

/// Adds the items of a menu description; a chosen item calls choose with its tag.
void AddItems(QMenu& menu, const std::vector<TMenuItem>& items,
              const std::function<void(int)>& choose) {
    for (const TMenuItem& item : items) {
        if (item.Tag == kMenuTagSeparator || item.Caption == "-") {
            menu.addSeparator();
        } else if (item.IsSubmenu()) {
            AddItems(*menu.addMenu(QString::fromStdString(item.Caption)), item.Items, choose);
        } else {
            const int tag = item.Tag;
            menu.addAction(QString::fromStdString(item.Caption), [choose, tag] { choose(tag); });
        }
    }
}

} // namespace

TSlotListForm::TSlotListForm(IMainWindowCore& theCore, bool forInstruments, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), core(theCore),
      instruments(forInstruments), firstSlot(forInstruments ? 0 : kFirstEffectSlot) {
    setObjectName(instruments ? "VSTiForm" : "VSTForm");
    setWindowTitle(instruments ? "VSTi" : "VST");
    const int height = instruments ? kInstrumentsHeight : kEffectsHeight;
    setMinimumWidth(kMinimumWidth);
    setFixedHeight(height);
    setStyleSheet(SlotListStyleSheet());

    const int rowCount = instruments ? kInstrumentRows : kEffectRows;
    for (int r = 0; r < rowCount; ++r) {
        Row row;
        const int top = kRowTop + r * kRowHeight;
        row.Label = new QLabel(this);
        row.Label->setObjectName(QString("lb%1").arg(r + 1));
        row.Label->setGeometry(kLabelLeft, top, kLabelWidth, kControlHeight);
        row.Plugin = new QPushButton(this);
        row.Plugin->setObjectName(QString("edtPlug%1").arg(r + 1));
        row.Plugin->setFlat(true);
        row.Plugin->setProperty("plugin", true);
        connect(row.Plugin, &QPushButton::clicked, this, [this, r] { edtPlugClick(r); });
        row.Visible = new QPushButton("Visible", this);
        row.Visible->setObjectName(QString("btnVisible%1").arg(r + 1));
        row.Visible->setCheckable(true);
        connect(row.Visible, &QPushButton::clicked, this, [this, r] { btnVisibleClick(r); });
        rows.push_back(row);
    }
    const int bottom = height - kControlHeight - 8;
    if (instruments) {
        page1 = new QPushButton("Page 1", this);
        page1->setObjectName("page1");
        page2 = new QPushButton("Page 2", this);
        page2->setObjectName("page2");
        for (QPushButton* page : {page1, page2}) {
            page->setCheckable(true);
        }
        page1->setGeometry(8, bottom, 70, kControlHeight);
        page2->setGeometry(84, bottom, 70, kControlHeight);
        connect(page1, &QPushButton::clicked, this, [this] { ShowPage(0); });
        connect(page2, &QPushButton::clicked, this, [this] { ShowPage(1); });
    }
    auto* close = new QPushButton("Close", this);
    close->setObjectName("btnClose");
    close->setGeometry(kWidth - 88, bottom, 80, kControlHeight);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);

    const char* section = instruments ? "VSTiForm" : "VSTForm";
    const TMainWindowPlacement placement = core.ReadPlacement(section, {0, 0, kWidth, height, 0});
    move(placement.Left, placement.Top);
    resize(std::max(placement.Width, kMinimumWidth), height);
    ShowPage(0);
}

TSlotListForm::~TSlotListForm() {
    core.WritePlacement(instruments ? "VSTiForm" : "VSTForm",
                        {pos().x(), pos().y(), width(), height(), 0});
}

QString TSlotListForm::SlotCaption(int slot) const {
    return slot < kFirstEffectSlot ? QString("VSTi %1").arg(slot + 1)
                                   : QString("VST %1").arg(slot - kFirstEffectSlot + 1);
}

void TSlotListForm::ShowPage(int page) {
    if (!instruments) {
        RefreshSlots();
        return;
    }
    firstSlot = page == 0 ? 0 : kInstrumentRows;
    page1->setChecked(page == 0);
    page2->setChecked(page != 0);
    RefreshSlots();
}

void TSlotListForm::RefreshSlots() {
    for (int r = 0; r < RowCount(); ++r) {
        const int slot = firstSlot + r;
        Row& row = rows[static_cast<std::size_t>(r)];
        row.Label->setText(SlotCaption(slot));
        const std::string name = core.SlotPluginName(slot);
        row.Plugin->setText(QString::fromStdString(name));
        const bool empty = name.empty();
        MarkEmpty(*row.Label, empty);
        MarkEmpty(*row.Plugin, empty);
        row.Visible->setChecked(!empty && core.SlotEditorVisible(slot));
        row.Visible->setEnabled(!empty);
    }
}

QMenu* TSlotListForm::BuildChoiceMenu(int row) {
    auto* menu = new QMenu(this);
    menu->setObjectName(instruments ? "InstrumentMenu" : "EffectMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const int slot = firstSlot + row;
    AddItems(*menu, core.SlotMenu(instruments).Items, [this, slot](int tag) {
        core.ChooseSlotPlugin(slot, tag);
        RefreshSlots();
    });
    return menu;
}

void TSlotListForm::edtPlugClick(int row) {
    if (!core.ProjectOpen()) {
        return;
    }
    QMenu* menu = BuildChoiceMenu(row);
    QPushButton* panel = rows[static_cast<std::size_t>(row)].Plugin;
    menu->popup(panel->mapToGlobal(QPoint(0, panel->height())));
}

void TSlotListForm::btnVisibleClick(int row) {
    core.ToggleSlotEditor(firstSlot + row);
    RefreshSlots();
}

void TSlotListForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (const Row& row : rows) {
        const int top = row.Label->y();
        const int panelRight = width() - kVisibleFromRight - kGap;
        row.Plugin->setGeometry(kPanelLeft, top, std::max(0, panelRight - kPanelLeft),
                                kControlHeight);
        row.Visible->setGeometry(width() - kVisibleFromRight, top, kVisibleWidth, kControlHeight);
    }
}

} // namespace peldor
