#pragma once
// The list of plugin libraries the last scan left out, with the reasons ("crashed: segmentation
// fault while opening", "did not answer in 10 s", ...). Reached from Settings > "Rescan
// plugins", which shows it after the scan. Window thread only.

#include "ui/main_window_core.h"

#include <QDialog>

class QLabel;
class QTreeWidget;

namespace peldor {

class TPluginProblemsForm final : public QDialog {
    Q_OBJECT
public:
    explicit TPluginProblemsForm(IMainWindowCore& core, QWidget* parent = nullptr);

    /// Reloads the list from the core.
    void Refresh();
    QTreeWidget* List() const noexcept { return list; }
    QLabel* Summary() const noexcept { return summary; }
    QLabel* Folder() const noexcept { return folderLabel; }

protected:
    /// A language switch re-writes the texts Refresh fills in.
    void changeEvent(QEvent* event) override;

private:
    IMainWindowCore& core;
    QLabel* summary = nullptr;
    QLabel* folderLabel = nullptr;
    QTreeWidget* list = nullptr;
};

} // namespace peldor
