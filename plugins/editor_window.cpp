#include "plugins/editor_window.h"

#include <algorithm>

namespace peldor {
namespace {

class THeadlessEditorWindowFactory final : public IEditorWindowFactory {
public:
    std::unique_ptr<IEditorWindow> CreateToolWindow() override {
        return std::make_unique<THeadlessEditorWindow>();
    }
};

THeadlessEditorWindowFactory headlessFactory;
IEditorWindowFactory* factory = &headlessFactory;

} // namespace

void SetEditorWindowFactory(IEditorWindowFactory* newFactory) {
    factory = newFactory != nullptr ? newFactory : &headlessFactory;
}

IEditorWindowFactory& EditorWindowFactory() {
    return *factory;
}

void THeadlessEditorWindow::SetClientSize(int width, int height) {
    // Controls anchored on the right keep their right margin.
    const int grown = width - clientWidth;
    for (auto& control : controls) {
        if (control->AnchorRight) {
            control->Width += grown;
        }
    }
    clientWidth = width;
    clientHeight = height;
}

TEditorControl* THeadlessEditorWindow::AddControl(std::unique_ptr<TEditorControl> control) {
    controls.push_back(std::move(control));
    return controls.back().get();
}

TEditorControl* THeadlessEditorWindow::FindControl(const std::string& name) {
    for (auto& control : controls) {
        if (control->Name == name) {
            return control.get();
        }
    }
    return nullptr;
}

bool THeadlessEditorWindow::RemoveControl(const std::string& name) {
    auto found = std::find_if(controls.begin(), controls.end(),
                              [&](const auto& control) { return control->Name == name; });
    if (found == controls.end()) {
        return false;
    }
    controls.erase(found);
    return true;
}

int THeadlessEditorWindow::TextWidth(const std::string& text) const {
    return static_cast<int>(text.size()) * kCharWidth;
}

std::vector<std::string> THeadlessEditorWindow::ControlNames() const {
    std::vector<std::string> names;
    for (const auto& control : controls) {
        names.push_back(control->Name);
    }
    return names;
}

void THeadlessEditorWindow::SimulateClose() {
    // The handler may destroy this window: run a copy and touch nothing afterwards.
    if (auto handler = OnClose) {
        handler();
    }
}

void THeadlessEditorWindow::SimulateActivate() {
    if (OnActivate) {
        OnActivate();
    }
}

void THeadlessEditorWindow::SimulateDeactivate() {
    if (OnDeactivate) {
        OnDeactivate();
    }
}

bool THeadlessEditorWindow::SimulateUserChange(const std::string& name, int value) {
    TEditorControl* control = FindControl(name);
    if (control == nullptr) {
        return false;
    }
    if (control->Kind == TControlKind::ComboBox) {
        control->ItemIndex = value;
    } else {
        control->Position = std::clamp(value, control->Min, control->Max);
    }
    if (auto handler = control->OnChange) {
        handler();
    }
    return true;
}

} // namespace peldor
