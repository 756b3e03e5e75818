#pragma once
// The program's windows over the real controller, with a plugin folder of the test's own: the
// set-up the slot window tests share (offscreen and under a real X server).

#include "app/main_controller.h"
#include "app/main_window_core.h"
#include "app/settings_file.h"
#include "app/show_builder.h"
#include "midi/virtual_midi_backend.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/window/qt_test_app.h"
#include "ui/main_form.h"
#include "ui/slot_list_form.h"
#include "ui/window_message_pump.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace peldor::test {

class SlotWindowFixture : public ::testing::Test {
protected:
    SlotWindowFixture() {
        EnsureQtApplication();
        SetRegistryFile(dir / "registry.ini");
        TMainController::InitializeProcess();
    }
    ~SlotWindowFixture() override {
        if (form) {
            form->close();
        }
        if (controller) {
            controller->Shutdown();
        }
        form.reset();
        core.reset();
        controller.reset();
        SetWindowPoster(nullptr);
        InstrumentCatalogue.clear();
        EffectCatalogue.clear();
        SetRegistryFile(ResolveRegistryPath());
    }

    /// Starts the controller and the main window on the Dummy driver over plugins/ (or, with
    /// useRegistry, over the registered folder or the one pathDialog yields).
    void Open(bool useRegistry = false) {
        TStartOptions options;
        options.IniPath = ini;
        options.PluginFolder = useRegistry ? std::string{} : plugins.string();
        options.PathDialog = pathDialog;
        options.SplashStatusDelayMs = 0;
        options.DriverName = "Dummy";
        options.MidiBackend = [] {
            return std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{"keys"},
                                                         std::vector<std::string>{});
        };
        controller = std::make_unique<TMainController>(std::move(options));
        core = std::make_unique<TMainWindowCore>(*controller);
        form = std::make_unique<TMainForm>(*core);
        controller->Start();
        form->LoadFromCore();
        form->ShowMaximisedWithPlacement();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    /// Writes a show with catalogue entries in "VSTi 1" and "VST 1" (-1: empty) and opens it.
    void OpenShow(std::int32_t instrument, std::int32_t effect) {
        const std::filesystem::path path = dir / "show.pdp";
        TShowDescription show;
        show.InstrumentIndex = instrument;
        show.EffectIndex = effect;
        std::string error;
        ASSERT_TRUE(WriteShowFile(path, show, error)) << error;
        ASSERT_TRUE(core->OpenProject(path));
        form->ApplicationIdle();
    }

    /// Chooses the plugin of a row in the instruments or effects window through its menu.
    void Choose(TSlotListForm* window, int row, const QString& caption) {
        QMenu* menu = window->BuildChoiceMenu(row);
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
            if (action->text() == caption) {
                action->trigger();
                return;
            }
        }
        FAIL() << "no menu item " << caption.toStdString();
    }

    std::string Setting(const char* section, const char* key) {
        return TSettingsFile(ini).ReadString(section, key, "<none>");
    }

    static void Screenshot(const QImage& image, const std::string& name) {
        const char* binary = std::getenv("PELDOR_BINARY_DIR");
        const std::filesystem::path folder =
            std::filesystem::path(binary != nullptr ? binary : ".") / "screenshots";
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(image.save(QString::fromStdString((folder / name).string())));
    }

    TempDir dir{"peldor-slotwindow"};
    std::filesystem::path ini = dir / "peldor.ini";
    std::filesystem::path plugins = dir / "plugins";
    RecordingPresenter presenter;
    IPluginPathDialog* pathDialog = nullptr;
    std::unique_ptr<TMainController> controller;
    std::unique_ptr<TMainWindowCore> core;
    std::unique_ptr<TMainForm> form;
};

} // namespace peldor::test
