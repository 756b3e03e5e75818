#include "plugins/file_dialog.h"

namespace peldor {
namespace {

class THeadlessFileDialog final : public THostFileDialog {
public:
    bool Execute() override { return false; }
};

class THeadlessFileDialogFactory final : public IFileDialogFactory {
public:
    std::unique_ptr<THostFileDialog> CreateFileDialog(bool save) override {
        auto dialog = std::make_unique<THeadlessFileDialog>();
        dialog->Save = save;
        return dialog;
    }
};

THeadlessFileDialogFactory headlessFactory;
IFileDialogFactory* factory = &headlessFactory;

} // namespace

void SetFileDialogFactory(IFileDialogFactory* newFactory) {
    factory = newFactory != nullptr ? newFactory : &headlessFactory;
}

IFileDialogFactory& FileDialogFactory() {
    return *factory;
}

} // namespace peldor
