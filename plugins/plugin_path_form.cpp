#include "plugins/plugin_path_form.h"

#include "i18n/message_box.h"
#include "i18n/plugins_strings.h"
#include "plugins/registry_file.h"

#include <filesystem>

namespace peldor {
namespace {

/// "<start>" + folder + "<end>" CR "Continue?", asked with Yes and No.
bool Confirm(ResourceStringId start, const std::string& folder, ResourceStringId end) {
    const std::string text = LoadResString(start) + folder + LoadResString(end) + '\r' +
                             LoadResString(kStrPluginPathContinueQuestion);
    return ShowMessageBox(LoadResString(kStrPluginPathTitle), text, kMsgQuestion, kButtonsYesNo,
                          1) == kResultYes;
}

} // namespace

void TPluginPathForm::btnCreateClick(const std::string& selectedDir) {
    PluginPath = selectedDir;
    if (!Confirm(kStrPluginPathInstall, PluginPath, kStrPluginPathInstallEnd)) {
        PluginPath.clear();
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(PluginPath, ec);
    std::string error;
    if (ec) {
        error = PluginPath + ": " + ec.message();
    } else if (!WriteRegistryString(RegistryFile(), kVstRegistryKey, kVstPluginsPathValue,
                                    PluginPath, &error)) {
        // error says why
    } else {
        ModalResult = kPluginPathOk;
        return;
    }
    ShowMessageBox(LoadResString(kStrPluginPathTitle),
                   LoadResString(kStrPluginPathWriteFailed) + error, kMsgProblem, kButtonsOk, 1);
    PluginPath.clear();
}

void TPluginPathForm::btnPickClick(const std::string& selectedDir) {
    PluginPath = selectedDir;
    if (!Confirm(kStrPluginPathTemporary, PluginPath, kStrPluginPathTemporaryEnd)) {
        PluginPath.clear();
        return;
    }
    ModalResult = kPluginPathOk;
}

void TPluginPathForm::btnContinueClick() {
    PluginPath.clear();
    ModalResult = kPluginPathCancel;
}

std::string TPluginPathForm::Caption() {
    return LoadResString(kStrPluginPathFormCaption);
}

std::string TPluginPathForm::TextLine(int line) {
    if (line < 1 || line > 5) {
        return {};
    }
    return LoadResString(static_cast<ResourceStringId>(kStrPluginPathLine1 + line - 1));
}

std::string TPluginPathForm::CreateCaption() {
    return LoadResString(kStrPluginPathCreate);
}
std::string TPluginPathForm::PickCaption() {
    return LoadResString(kStrPluginPathPick);
}
std::string TPluginPathForm::ContinueCaption() {
    return LoadResString(kStrPluginPathContinue);
}

int THeadlessPluginPathDialog::ShowModal(TPluginPathForm& form) {
    switch (choice) {
    case TChoice::Create:
        form.btnCreateClick(folder);
        break;
    case TChoice::Pick:
        form.btnPickClick(folder);
        break;
    case TChoice::Continue:
        form.btnContinueClick();
        break;
    }
    // A headless dialog cannot wait for another press: a refused choice means going on
    // without plugins.
    if (form.ModalResult == 0) {
        form.btnContinueClick();
    }
    return form.ModalResult;
}

} // namespace peldor
