#include "app/headless_runner.h"

#include "app/console_presenter.h"
#include "app/demo_show.h"
#include "app/main_controller.h"
#include "app/settings_file.h"
#include "app/status_line.h"
#include "app/stop_signals.h"
#include "app/temporary_folder.h"
#include "audio_io/asio_driver.h"
#include "engine/processor.h"
#include "midi/virtual_midi_backend.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/plugin_probe.h"
#include "plugins/registry_file.h"
#include "project/project_file.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <jack/jack.h>
#include <poll.h>
#include <unistd.h>

namespace peldor {
namespace {

bool ParseSeconds(const std::string& text, double& seconds) {
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, seconds);
    return error == std::errc() && next == end && seconds > 0.0;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

/// libjack reports every failed connection attempt in several lines; while the driver tries
/// again every second that would bury everything else. The runner says what matters itself.
extern "C" void QuietJack(const char* /*message*/) {}

void Say(const std::string& line) {
    std::fprintf(stderr, "peldor: %s\n", line.c_str());
    std::fflush(stderr);
}

} // namespace

// ---- Command line ---------------------------------------------------------------------------

std::string RunnerUsage() {
    return "Usage: peldor [--headless] [options]\n"
           "\n"
           "Opens the main window when a display is available (DISPLAY or WAYLAND_DISPLAY\n"
           "set, or QT_QPA_PLATFORM given). With --headless, or without a display, it runs\n"
           "the show without windows: the program starts as usual, opens the project,\n"
           "plays it through the audio driver, answers the remote commands that arrive over\n"
           "MIDI, and prints a status line about once a second (driver, sample rate, block\n"
           "size, song and part, processor load, overload, master level, slot problems).\n"
           "SIGINT (Ctrl+C) and SIGTERM shut it down in the normal order; the exit code is 0.\n"
           "\n"
           "Options:\n"
           "  --headless          run without windows even when a display is available\n"
           "  --project FILE      open this project (.pdp) at start-up, as File > Open does\n"
           "  --ini PATH          settings file (default: $PELDOR_INI, else peldor.ini beside\n"
           "                      the program)\n"
           "  --registry PATH     registry file naming the VST plugin folder (default:\n"
           "                      $PELDOR_REGISTRY, else ~/.config/peldor/registry.ini)\n"
           "  --driver NAME       audio driver by name: \"JACK\", \"Dummy\" or \"WAV file\"\n"
           "                      (instead of the \"ASIO\" section's driver index); when the\n"
           "                      settings assign no output, the master goes to outputs 1-2\n"
           "  --plugin-dir DIR    use DIR as the plugin folder for this run (not registered)\n"
           "  --rescan-plugins    read every plugin library again, also those the scan cache\n"
           "                      remembers (libraries that failed are tried once more)\n"
           "  --duration SECONDS  stop after this much audio (time without a running driver\n"
           "                      counts as it passes)\n"
           "  --demo              the demo show on the \"Dummy\" driver (Kars from\n"
           "                      /usr/lib/vst or our test instrument); headless it plays\n"
           "                      a phrase and ends by itself, in the window it is loaded\n"
           "                      and played from MIDI input 1\n"
           "  --save-demo FILE    write the demo's show to FILE and end; play it from MIDI\n"
           "                      input 1 with --project FILE --plugin-dir DIR (VSTi 1\n"
           "                      holds DIR's first instrument; controller 80 steps on)\n"
           "  --trace             one line per start-up and shut-down step on stderr, and\n"
           "                      the JACK library's own messages\n"
           "  --help              this text\n"
           "\n"
           "Without a registered plugin folder and without --plugin-dir the show runs without\n"
           "plugins. Exit codes: 0 done, 2 bad input (unknown driver, missing or damaged\n"
           "project file, missing plugin folder), 1 the program could not start.\n";
}

TParseResult ParseRunnerArguments(const std::vector<std::string>& arguments,
                                  TRunnerOptions& options, std::string& message) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= arguments.size()) {
                message = argument + " needs a value";
                return false;
            }
            target = arguments[++i];
            return true;
        };
        if (argument == "--help" || argument == "-h") {
            return TParseResult::Help;
        } else if (argument == "--headless") {
            options.Headless = true;
        } else if (argument == "--demo") {
            options.Demo = true;
        } else if (argument == "--trace") {
            options.Trace = true;
        } else if (argument == "--rescan-plugins") {
            options.RescanPlugins = true;
        } else if (argument == "--project") {
            if (!value(options.Project)) {
                return TParseResult::Error;
            }
        } else if (argument == "--ini") {
            if (!value(options.Ini)) {
                return TParseResult::Error;
            }
        } else if (argument == "--registry") {
            if (!value(options.Registry)) {
                return TParseResult::Error;
            }
        } else if (argument == "--driver") {
            if (!value(options.Driver)) {
                return TParseResult::Error;
            }
        } else if (argument == "--plugin-dir") {
            if (!value(options.PluginDir)) {
                return TParseResult::Error;
            }
        } else if (argument == "--save-demo") {
            if (!value(options.SaveDemo)) {
                return TParseResult::Error;
            }
        } else if (argument == "--duration") {
            std::string text;
            double seconds = 0.0;
            if (!value(text)) {
                return TParseResult::Error;
            }
            if (!ParseSeconds(text, seconds)) {
                message = "--duration needs a positive number of seconds, not " + Quoted(text);
                return TParseResult::Error;
            }
            options.Duration = seconds;
        } else {
            message = "unknown argument " + Quoted(argument) + " (see --help)";
            return TParseResult::Error;
        }
    }
    return TParseResult::Run;
}

bool CheckRunnerInput(const TRunnerOptions& runner, const std::filesystem::path& iniPath,
                      std::string& message) {
    if (std::error_code ec;
        std::filesystem::exists(iniPath, ec) && !std::filesystem::is_regular_file(iniPath, ec)) {
        message = "the settings file " + iniPath.string() + " is not a file";
        return false;
    }
    if (!runner.Driver.empty()) {
        std::string known;
        bool found = false;
        for (const TAsioDriverListEntry& entry : BuildDriverList(iniPath)) {
            found = found || entry.Name == runner.Driver;
            known += (known.empty() ? "" : ", ") + Quoted(entry.Name);
        }
        if (!found) {
            message =
                "unknown audio driver " + Quoted(runner.Driver) + "; the drivers are " + known;
            return false;
        }
    }
    if (!runner.PluginDir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(runner.PluginDir, ec)) {
            message = "the plugin folder " + runner.PluginDir + " does not exist";
            return false;
        }
    }
    return true;
}

// ---- The run --------------------------------------------------------------------------------

int RunHeadless(const TRunnerOptions& runner) {
    StopSignals signals;
    if (!runner.Trace) {
        jack_set_error_function(&QuietJack);
        jack_set_info_function(&QuietJack);
    }
    TConsolePresenter presenter;
    SetMessageBoxPresenter(&presenter);
    struct PresenterReset {
        ~PresenterReset() { SetMessageBoxPresenter(nullptr); }
    } presenterReset;

    SetRegistryFile(ResolveRegistryPath(runner.Registry));
    std::filesystem::path iniPath = ResolveSettingsPath(runner.Ini);
    std::string project = runner.Project;
    std::string pluginFolder = runner.PluginDir;

    // Bad input is refused before anything is opened or written.
    if (std::string message; !CheckRunnerInput(runner, iniPath, message)) {
        Say(message);
        return kExitBadInput;
    }
    if (!project.empty()) {
        TProjectFileImage image;
        std::string message;
        if (!LoadProjectImage(project, image, message)) {
            Say(message);
            return kExitBadInput;
        }
    }

    TMainController::InitializeProcess();

    if (!runner.SaveDemo.empty()) {
        std::string error;
        if (!WriteShowFile(runner.SaveDemo, DemoShowDescription(), error)) {
            Say("cannot write " + runner.SaveDemo + ": " + error);
            return kExitFailure;
        }
        Say("wrote the demo show to " + runner.SaveDemo);
        return kExitOk;
    }

    TTemporaryFolder demoFolder;
    TDemoShow demo;
    TVirtualMidiBackend* demoKeyboard = nullptr;
    TStartOptions start;
    if (runner.Demo) {
        const std::string instrument = FindDemoInstrument();
        std::string error;
        if (instrument.empty()) {
            Say("the demo needs an instrument: install dpf-plugins-vst (Kars) or build the "
                "test plugins (cmake --build build --target peldor_testplugins)");
            return kExitFailure;
        }
        if (!demoFolder.Create("peldor-demo") ||
            !PrepareDemoShow(demoFolder.Path(), instrument, demo, error)) {
            Say("cannot prepare the demo: " + error);
            return kExitFailure;
        }
        iniPath = demo.SettingsFile;
        pluginFolder = demo.PluginFolder.string();
        project = demo.ProjectFile.string();
        start.MidiBackend = [&demoKeyboard]() -> std::unique_ptr<IMidiBackend> {
            auto backend = std::make_unique<TVirtualMidiBackend>(
                std::vector<std::string>{"Demo keyboard"}, std::vector<std::string>{});
            demoKeyboard = backend.get();
            return backend;
        };
        Say("demo: " + instrument + " in VSTi 1, two parts, the second a fifth higher");
    }

    start.IniPath = iniPath;
    start.DriverName = runner.Driver;
    start.DefaultOutputs = true;
    start.PluginFolder = pluginFolder;
    start.RescanPlugins = runner.RescanPlugins;
    if (runner.Trace) {
        start.Trace = [](const std::string& step) { Say(step); };
    }

    TMainController controller(std::move(start));
    const TScanReport report = controller.Start();
    if (pluginFolder.empty() && !report.Scanned) {
        Say("no plugin folder is registered in " + RegistryFile().string() +
            "; running without plugins (use --plugin-dir DIR for this run)");
    } else {
        Say("plugins from " + report.PluginFolder + ": " +
            std::to_string(InstrumentCatalogue.size()) + " instruments, " +
            std::to_string(EffectCatalogue.size()) + " effects");
        for (const TScanFailure& failure : report.Failures) {
            Say("left out " + failure.LibraryFile + ": " + failure.Reason);
        }
        if (report.ProbeMissing) {
            Say(std::string(kPluginProbeName) +
                " was not found beside the program: plugins were read in this process");
        }
    }
    if (!controller.MidiProblem().empty()) {
        Say("no MIDI devices are available: " + controller.MidiProblem() +
            "; running without MIDI (JACK MIDI instead: PELDOR_MIDI_API=jack)");
    }
    if (!controller.DriverConfigured()) {
        Say("no audio driver is configured in " + iniPath.string() +
            " (use --driver NAME); running without audio");
    }

    if (!project.empty() && !controller.OpenProject(project)) {
        controller.Shutdown();
        return kExitBadInput;
    }

    std::optional<TDemoPlayer> player;
    std::optional<double> duration = runner.Duration;
    if (runner.Demo && demoKeyboard != nullptr) {
        player.emplace(*demoKeyboard, DemoPhrase());
        if (!duration) {
            duration = kDemoLengthSeconds;
        }
    }

    using Clock = std::chrono::steady_clock;
    const auto began = Clock::now();
    auto nextTick = began;
    const auto statusInterval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(runner.StatusInterval));
    auto nextStatus = began + statusInterval;
    bool wasRunning = false;
    bool reportedStop = false;
    bool reportedFinish = false;
    double elapsed = 0.0;
    double lastAudioSeconds = 0.0;
    auto lastLoop = began;
    constexpr std::chrono::milliseconds kLoopWait{10};

    auto audioSeconds = [&controller]() {
        const double rate = controller.Asio().SampleRate();
        return rate > 0.0 ? static_cast<double>(controller.FramesProcessed()) / rate : 0.0;
    };

    for (;;) {
        if (signals.Wait(kLoopWait)) {
            Say("stop signal received; shutting down");
            break;
        }
        controller.RunRemoteCommands();
        controller.Idle();
        const auto now = Clock::now();
        if (now >= nextTick) {
            controller.UITimerTimer();
            nextTick = std::max(nextTick + kUiTimerInterval, now);
            // The status line reads the master meter; the processor (which a driver change
            // may replace) computes it only while asked, so ask until past the next line.
            if (TProcessor* processor = controller.Processor()) {
                processor->MetersWanted(statusInterval + kMetersWantedSpan);
            }
        }
        const double seconds = audioSeconds();
        if (player) {
            player->Advance(seconds);
        }

        // A driver that ended its run on purpose counts as stopped for the run's length.
        const bool finished = controller.DriverState() == TDriverState::Finished;
        const bool running = controller.Asio().Active() && !finished;
        if (finished && !reportedFinish) {
            Say("audio driver " + Quoted(controller.Asio().DriverName()) + " has finished its run");
            reportedFinish = true;
        } else if (running && !wasRunning) {
            Say("audio driver " + Quoted(controller.Asio().DriverName()) + " running");
            reportedStop = false;
            reportedFinish = false;
        } else if (!running && !finished && wasRunning && controller.DriverConfigured() &&
                   !reportedStop) {
            Say("audio driver " + Quoted(controller.Asio().DriverName()) +
                " stopped; trying again every second");
            reportedStop = true;
        }
        wasRunning = running;

        if (now >= nextStatus) {
            std::printf("%s\n", FormatStatusLine(TakeStatus(controller, seconds)).c_str());
            std::fflush(stdout);
            nextStatus = std::max(nextStatus + statusInterval, now);
        }
        // Audio time while the driver plays; time without a running driver counts as it passes,
        // so a driver that is gone does not keep the run going for ever.
        if (running && seconds >= lastAudioSeconds) {
            elapsed += seconds - lastAudioSeconds;
        } else if (!running) {
            elapsed += std::chrono::duration<double>(now - lastLoop).count();
        }
        lastAudioSeconds = seconds;
        lastLoop = now;
        if (duration && elapsed >= *duration) {
            break;
        }
    }
    std::printf("%s\n", FormatStatusLine(TakeStatus(controller, audioSeconds())).c_str());
    std::fflush(stdout);

    controller.ExitApp();
    controller.Shutdown();
    presenter.FlushRepeats();
    return kExitOk;
}

} // namespace peldor
