#include "app/window_program.h"

#include "app/demo_show.h"
#include "app/main_controller.h"
#include "app/main_window_core.h"
#include "app/settings_file.h"
#include "app/stop_signals.h"
#include "plugins/registry_file.h"
#include "ui/main_form.h"
#include "ui/qt_message_box_presenter.h"
#include "ui/splash_form.h"
#include "ui/stage_look.h"
#include "ui/window_message_pump.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <jack/jack.h>
#include <unistd.h>

namespace peldor {
namespace {

void Say(const std::string& line) {
    std::fprintf(stderr, "peldor: %s\n", line.c_str());
    std::fflush(stderr);
}

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

extern "C" void QuietWindowJack(const char* /*message*/) {}

} // namespace

bool DisplayAvailable() {
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

std::filesystem::path WindowDemoFolder() {
    if (Set("XDG_CACHE_HOME")) {
        return std::filesystem::path(std::getenv("XDG_CACHE_HOME")) / "peldor" / "demo";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : "/tmp") / ".cache" / "peldor" / "demo";
}

int RunWindowProgram(const TRunnerOptions& runner, int& argc, char** argv) {
    if (!runner.Trace) {
        jack_set_error_function(&QuietWindowJack);
        jack_set_info_function(&QuietWindowJack);
    }
    SetRegistryFile(ResolveRegistryPath(runner.Registry));
    const std::filesystem::path iniPath = ResolveSettingsPath(runner.Ini);
    if (std::string message; !CheckRunnerInput(runner, iniPath, message)) {
        Say(message);
        return kExitBadInput;
    }

    TMainController::InitializeProcess();

    std::string project = runner.Project;
    std::string pluginFolder = runner.PluginDir;
    std::string driver = runner.Driver;
    if (runner.Demo) {
        // The demo's show, kept where the recent files can find it again; played from the
        // system's MIDI input 1.
        const std::string instrument = FindDemoInstrument();
        TDemoShow demo;
        std::string error;
        std::error_code ec;
        const std::filesystem::path folder = WindowDemoFolder();
        std::filesystem::create_directories(folder, ec);
        if (instrument.empty()) {
            Say("the demo needs an instrument: install dpf-plugins-vst (Kars) or build the "
                "test plugins (cmake --build build --target peldor_testplugins)");
            return kExitFailure;
        }
        if (ec || !PrepareDemoShow(folder, instrument, demo, error)) {
            Say("cannot prepare the demo in " + folder.string() + ": " +
                (ec ? ec.message() : error));
            return kExitFailure;
        }
        pluginFolder = demo.PluginFolder.string();
        if (project.empty()) {
            project = demo.ProjectFile.string();
        }
        if (driver.empty()) {
            driver = "Dummy";
        }
        Say("demo: " + instrument + " in VSTi 1 on the \"" + driver + "\" driver");
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("PELDOR");
    ApplyStageLook(application);
    StopSignals stopSignals;

    TStartOptions start;
    start.IniPath = iniPath;
    start.DriverName = driver;
    start.DefaultOutputs = true;
    start.PluginFolder = pluginFolder;
    start.RescanPlugins = runner.RescanPlugins;
    if (runner.Trace) {
        start.Trace = [](const std::string& step) { Say(step); };
    }

    TMainController controller(std::move(start));
    TMainWindowCore core(controller);
    int exitCode = kExitOk;
    {
        TMainForm form(core);
        // Remote commands from the MIDI threads reach the window thread through the event loop.
        TWindowMessagePump pump(
            [&form](const TWindowMessage& message) { form.HandleWindowMessage(message); });
        SetWindowPoster(&pump);
        const std::unique_ptr<TQtMessageBoxPresenter> presenter =
            InstallQtMessageBoxPresenter(&form);
        // The splash window shows the start-up's status lines and the plugin scan; the first
        // idle moment fades it out. It deletes itself.
        auto* splash = new TSplashForm;
        splash->show();
        const TScanReport report = controller.Start();
        if (pluginFolder.empty() && !report.Scanned) {
            Say("no plugin folder is registered in " + RegistryFile().string() +
                "; running without plugins");
        }
        form.LoadFromCore();
        form.ShowMaximisedWithPlacement();
        if (!project.empty()) {
            core.OpenProject(project);
            form.ApplyRemoteHotkeys();
            form.UpdateMenuEntries();
        }

        QSocketNotifier stopNotifier(stopSignals.ReadFd(), QSocketNotifier::Read);
        stopNotifier.setEnabled(stopSignals.ReadFd() >= 0);
        QObject::connect(&stopNotifier, &QSocketNotifier::activated, &form, [&form, &stopSignals] {
            stopSignals.Wait(std::chrono::milliseconds(0));
            Say("stop signal received; shutting down");
            form.close();
        });

        if (QApplication::exec() != 0) {
            exitCode = kExitFailure;
        }
        // The shut-down order, while the window's busy cursor still exists.
        controller.ExitApp();
        controller.Shutdown();
        SetWindowPoster(nullptr);
    }
    return exitCode;
}

} // namespace peldor
