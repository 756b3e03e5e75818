#pragma once
// The file dialog a plugin may ask the host for (audioMasterOpenFileSelector). The GUI
// supplies real dialogs; headless, every dialog answers "no file chosen".

#include <memory>
#include <string>

namespace peldor {

/// A modal open or save dialog. The host callback fills the fields, runs Execute and, when the
/// user confirmed, hands FileName's text to the plugin. Window thread.
class THostFileDialog {
public:
    virtual ~THostFileDialog() = default;

    /// Shows the dialog and waits. True when the user chose a file (FileName then holds it).
    virtual bool Execute() = 0;

    std::string Name;
    std::string Title;
    std::string InitialDir;
    /// Pairs of description and pattern, each ended by '|': "Patches (*.fxp)|*.fxp|".
    std::string Filter;
    std::string FileName;
    bool Save = false;
};

class IFileDialogFactory {
public:
    virtual ~IFileDialogFactory() = default;
    /// A new dialog, not yet shown: an open dialog, or a save dialog when save is set.
    virtual std::unique_ptr<THostFileDialog> CreateFileDialog(bool save) = 0;
};

/// Installs the factory (null restores the headless one). Window thread.
void SetFileDialogFactory(IFileDialogFactory* factory);
IFileDialogFactory& FileDialogFactory();

} // namespace peldor
