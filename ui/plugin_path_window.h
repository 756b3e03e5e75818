#pragma once
// The plugin folder dialog as a window (TPluginPathForm): five lines of explanation, the
// folder tree `Dir` and the three choices. The buttons call the dialog's logic
// (plugins/plugin_path_form.h), which asks its questions through the program's message box and
// writes the registry file; the window closes once the logic has a modal result.
//
// Window thread only.

#include "plugins/plugin_path_form.h"

#include <QDialog>

#include <string>

class QFileSystemModel;
class QTreeView;

namespace peldor {

/// The folder the tree starts at: the first entry of $VST_PATH, ~/.vst, /usr/local/lib/vst or
/// /usr/lib/vst that exists; else the home folder.
std::string DefaultPluginFolder();

class TPluginPathWindow final : public QDialog {
    Q_OBJECT
public:
    /// form: the dialog's logic, which receives the choice (not owned).
    TPluginPathWindow(TPluginPathForm& form, QWidget* parent = nullptr);

    QTreeView* Dir() const noexcept { return dir; }
    /// The folder selected in the tree; empty when none.
    std::string SelectedFolder() const;
    /// Selects folder in the tree (as a click on it would).
    void SelectFolder(const std::string& folder);

private:
    void Press(void (TPluginPathForm::*handler)(const std::string&));

    TPluginPathForm& form;
    QFileSystemModel* model = nullptr;
    QTreeView* dir = nullptr;
};

/// Shows TPluginPathWindow modally over parent.
class TQtPluginPathDialog final : public IPluginPathDialog {
public:
    explicit TQtPluginPathDialog(QWidget* theParent = nullptr) : parent(theParent) {}
    int ShowModal(TPluginPathForm& form) override;

private:
    QWidget* parent;
};

} // namespace peldor
