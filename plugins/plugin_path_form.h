#pragma once
// The plugin folder dialog shown when no VST plugin folder is registered: create (and register)
// a folder, pick one for this run only, or go on without plugins. TPluginPathForm holds the
// dialog's logic; the GUI shows it as a window and calls the button handlers, and
// THeadlessPluginPathDialog answers with a fixed choice.
//
// Window thread only.

#include <string>

namespace peldor {

/// Modal results.
inline constexpr int kPluginPathOk = 1;
inline constexpr int kPluginPathCancel = 2;

class TPluginPathForm {
public:
    static constexpr int kWidth = 346;
    static constexpr int kHeight = 346;

    /// The chosen folder.
    std::string PluginPath;
    /// 0 while the dialog is open, then kPluginPathOk or kPluginPathCancel.
    int ModalResult = 0;

    /// "Create a plugin-folder": creates selectedDir when missing, asks to install it as the
    /// plugin folder; Yes registers it in the registry file and closes with OK, No clears
    /// PluginPath and the dialog stays. When the folder cannot be created or the registry
    /// file cannot be written, the user is told and the dialog stays.
    void btnCreateClick(const std::string& selectedDir);
    /// "Pick a plugin-folder": asks to use selectedDir for this run; Yes closes with OK
    /// without registering it, No clears PluginPath.
    void btnPickClick(const std::string& selectedDir);
    /// "Continue without plugins": clears PluginPath and closes with Cancel.
    void btnContinueClick();

    /// The window's title, its five text lines and the three button captions, translated.
    static std::string Caption();
    static std::string TextLine(int line); // 1-5
    static std::string CreateCaption();
    static std::string PickCaption();
    static std::string ContinueCaption();
};

/// Shows the dialog modally and returns its modal result.
class IPluginPathDialog {
public:
    virtual ~IPluginPathDialog() = default;
    virtual int ShowModal(TPluginPathForm& form) = 0;
};

/// A dialog without a window: presses one button as if the user had.
class THeadlessPluginPathDialog final : public IPluginPathDialog {
public:
    enum class TChoice { Create, Pick, Continue };

    explicit THeadlessPluginPathDialog(TChoice theChoice = TChoice::Continue,
                                       std::string theFolder = {})
        : choice(theChoice), folder(std::move(theFolder)) {}
    int ShowModal(TPluginPathForm& form) override;

private:
    TChoice choice;
    std::string folder;
};

} // namespace peldor
