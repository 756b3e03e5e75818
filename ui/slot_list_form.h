#pragma once
// The instruments window (TVSTiForm: 16 instrument slots on two pages of 8 rows) and the
// effects window (TVSTForm: the 4 effect slots). Each row shows the slot's name, the plugin in
// it (a click opens the choice menu the plugin scan built) and a "Visible" switch for the
// slot's editor window. The choices go to the core's slot operations; the rows are reloaded
// from the slots (RefreshSlots) whenever a loader changed them.
//
// Window thread only.

#include "ui/main_window_core.h"

#include <QWidget>

#include <vector>

class QLabel;
class QMenu;
class QPushButton;

namespace peldor {

class TSlotListForm final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 444;
    static constexpr int kInstrumentsHeight = 315;
    static constexpr int kEffectsHeight = 183;
    static constexpr int kMinimumWidth = 200;

    /// instruments: the instruments window, else the effects window. Reads its placement.
    TSlotListForm(IMainWindowCore& core, bool instruments, QWidget* parent = nullptr);
    /// Writes its placement.
    ~TSlotListForm() override;

    /// Reloads every row from the slots.
    void RefreshSlots();
    /// Shows slots 0-7 (page 0) or 8-15 (page 1) of the instruments window.
    void ShowPage(int page);
    int FirstSlot() const noexcept { return firstSlot; }
    int RowCount() const noexcept { return static_cast<int>(rows.size()); }

    QLabel* RowLabel(int row) const { return rows[static_cast<std::size_t>(row)].Label; }
    QPushButton* RowPlugin(int row) const { return rows[static_cast<std::size_t>(row)].Plugin; }
    QPushButton* RowVisible(int row) const { return rows[static_cast<std::size_t>(row)].Visible; }
    /// The choice menu of a row, built afresh from the scan's menu.
    QMenu* BuildChoiceMenu(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Row {
        QLabel* Label = nullptr;
        QPushButton* Plugin = nullptr;
        QPushButton* Visible = nullptr;
    };

    void edtPlugClick(int row);
    void btnVisibleClick(int row);
    QString SlotCaption(int slot) const;

    IMainWindowCore& core;
    bool instruments;
    int firstSlot;
    std::vector<Row> rows;
    QPushButton* page1 = nullptr;
    QPushButton* page2 = nullptr;
};

} // namespace peldor
