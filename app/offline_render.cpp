#include "app/offline_render.h"

#include "app/console_presenter.h"
#include "app/main_controller.h"
#include "app/midi_file.h"
#include "app/settings_file.h"
#include "app/temporary_folder.h"
#include "audio_io/wav_file_driver.h"
#include "midi/midi_devices.h"
#include "midi/virtual_midi_backend.h"
#include "midi/window_messages.h"
#include "plugins/registry_file.h"
#include "project/project_file.h"
#include "project/project_model.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <unistd.h>

namespace peldor {
namespace {

constexpr std::int32_t kRenderOutputs = 6; // master, monitors, solo bus
constexpr std::int32_t kRenderMidiOutputs = 16;
constexpr std::chrono::milliseconds kServeWait{1};

void Say(const std::string& line) {
    std::fprintf(stderr, "peldor-render: %s\n", line.c_str());
    std::fflush(stderr);
}

template <typename T> bool ParseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && next == end;
}

/// Hands each block's MIDI events to the routing just before the engine processes the block.
/// The driver's thread announces the block and waits; the window thread routes the events that
/// fall in it (as the MIDI input thread would) and lets the block go on. The wait is why this
/// runs only with the "WAV file" driver, which is not real-time.
class TRenderFeeder {
public:
    struct Event {
        std::int64_t Frame;
        std::uint32_t Message;
    };

    TRenderFeeder(std::vector<Event> theEvents, TVirtualMidiBackend& theKeyboard)
        : events(std::move(theEvents)), keyboard(theKeyboard) {}

    /// Driver thread, inside the block; allocates nothing.
    static void Hook(void* context, std::int64_t position) noexcept {
        static_cast<TRenderFeeder*>(context)->Announce(position);
    }

    /// Window thread: serves the next announced block, or waits a moment for one. Events are
    /// routed when they fall before the end of the block (blockFrames after its start). False
    /// when no block was announced.
    bool Serve(std::int32_t blockFrames) {
        std::int64_t position = 0;
        {
            std::unique_lock<std::mutex> lock(mutex);
            announcedSignal.wait_for(lock, kServeWait, [this] {
                return announced.load(std::memory_order_acquire) != served.load();
            });
            position = announced.load(std::memory_order_acquire);
        }
        if (position == served.load()) {
            return false;
        }
        while (next < events.size() && events[next].Frame < position + blockFrames) {
            // The instruments get the event at its own frame within the block.
            ScopedEventDelta delta(static_cast<std::int32_t>(events[next].Frame - position));
            keyboard.Play(0, events[next].Message);
            ++next;
        }
        // Stepping through the show would stop the driver in the middle of the file.
        droppedCommands += static_cast<int>(DefaultWindowMessageQueue().Drain().size());
        served.store(position, std::memory_order_release);
        served.notify_all();
        return true;
    }

    /// Lets a waiting block go on without its events, now and from now on.
    void Abandon() {
        abandoned.store(true, std::memory_order_release);
        served.store(kAbandoned, std::memory_order_release);
        served.notify_all();
    }

    int DroppedCommands() const noexcept { return droppedCommands; }
    std::size_t EventsPlayed() const noexcept { return next; }

private:
    static constexpr std::int64_t kNone = -1;
    static constexpr std::int64_t kAbandoned = std::numeric_limits<std::int64_t>::min();

    void Announce(std::int64_t position) noexcept {
        if (abandoned.load(std::memory_order_acquire)) {
            return;
        }
        announced.store(position, std::memory_order_release);
        announcedSignal.notify_one();
        std::int64_t seen = served.load(std::memory_order_acquire);
        while (seen != position && !abandoned.load(std::memory_order_acquire)) {
            served.wait(seen, std::memory_order_acquire);
            seen = served.load(std::memory_order_acquire);
        }
    }

    std::vector<Event> events;
    TVirtualMidiBackend& keyboard;
    std::size_t next = 0;
    int droppedCommands = 0;
    std::mutex mutex;
    std::condition_variable announcedSignal;
    std::atomic<std::int64_t> announced{kNone};
    std::atomic<std::int64_t> served{kNone};
    std::atomic<bool> abandoned{false};
};

/// The settings file the render runs with: the user's (when given) with the "WAV file"
/// section pointed at the output, and the default channel assignment unless the user's file
/// has an "ASIO" section.
bool PrepareSettings(const TRenderOptions& options, std::int64_t frames,
                     const std::filesystem::path& target, std::string& error) {
    std::error_code ec;
    bool keepAssignment = false;
    std::int32_t channels = kRenderOutputs;
    if (!options.Ini.empty()) {
        const TSettingsFile user(options.Ini);
        std::filesystem::copy_file(options.Ini, target,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) {
            error = "cannot read " + options.Ini + ": " + ec.message();
            return false;
        }
        keepAssignment = user.HasSection("ASIO");
        channels = std::max(channels, user.ReadInteger("WAV file", "Channels", 0));
        for (const char* key :
             {"OutMainL", "OutMainR", "OutMon1", "OutMon2", "OutSoloL", "OutSoloR"}) {
            channels = std::max(channels, user.ReadInteger("ASIO", key, -1) + 1);
        }
    }
    const TSettingsFile settings(target);
    if (!keepAssignment && !settings.Write("ASIO",
                                           {{"OutMainL", "0"},
                                            {"OutMainR", "1"},
                                            {"OutMon1", "2"},
                                            {"OutMon2", "3"},
                                            {"OutSoloL", "4"},
                                            {"OutSoloR", "5"}},
                                           &error)) {
        return false;
    }
    const std::filesystem::path out = std::filesystem::absolute(options.Out, ec);
    return settings.Write("WAV file",
                          {{"Path", ec ? options.Out : out.string()},
                           {"Sample rate", std::to_string(options.Rate)},
                           {"Channels", std::to_string(std::min(channels, kWavMaxChannels))},
                           {"Real time", "0"},
                           {"Length", std::to_string(frames)}},
                          &error);
}

} // namespace

std::string RenderUsage() {
    return "Usage: peldor-render --project FILE --midi IN.mid --out OUT.wav [options]\n"
           "\n"
           "Loads the project as Peldor does, enters a part, plays the standard MIDI file\n"
           "(format 0 or 1) into MIDI input 1 through the part's connections, and renders\n"
           "the driver outputs through the \"WAV file\" driver into OUT.wav. Each MIDI event\n"
           "reaches the instruments at its own frame within the block. The same inputs\n"
           "always give the same file. Remote commands in the MIDI file are not run.\n"
           "\n"
           "Options:\n"
           "  --song N          enter song N (1-based; default: the file's current song)\n"
           "  --part N          enter part N of that song (1-based; default: the current\n"
           "                    part, or the first part of another song)\n"
           "  --rate R          sample rate in Hz (default 48000)\n"
           "  --frames N        render N frames (default: to the last MIDI event + tail)\n"
           "  --tail SECONDS    what is rendered after the last MIDI event (default 1)\n"
           "  --plugin-dir DIR  plugin folder (default: the registered one)\n"
           "  --ini PATH        settings file; without an \"ASIO\" section in it the master\n"
           "                    goes to WAV channels 1-2, the monitors to 3-4, the solo bus\n"
           "                    to 5-6 (the file itself is not changed)\n"
           "  --registry PATH   registry file naming the plugin folder\n"
           "  --trace           one line per start-up and shut-down step on stderr\n"
           "  --help            this text\n"
           "\n"
           "Exit codes: 0 done, 2 bad input, 1 the WAV file could not be written.\n";
}

TParseResult ParseRenderArguments(const std::vector<std::string>& arguments,
                                  TRenderOptions& options, std::string& message) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string value;
        auto take = [&]() {
            if (i + 1 >= arguments.size()) {
                message = argument + " needs a value";
                return false;
            }
            value = arguments[++i];
            return true;
        };
        auto number = [&](auto& target, auto lowest) {
            if (!take()) {
                return false;
            }
            if (!ParseNumber(value, target) || target < lowest) {
                message = argument + " needs a number of at least " + std::to_string(lowest) +
                          ", not \"" + value + "\"";
                return false;
            }
            return true;
        };
        bool ok = true;
        if (argument == "--help" || argument == "-h") {
            return TParseResult::Help;
        } else if (argument == "--trace") {
            options.Trace = true;
        } else if (argument == "--project") {
            ok = take() && !(options.Project = value).empty();
        } else if (argument == "--midi") {
            ok = take() && !(options.Midi = value).empty();
        } else if (argument == "--out") {
            ok = take() && !(options.Out = value).empty();
        } else if (argument == "--ini") {
            ok = take() && !(options.Ini = value).empty();
        } else if (argument == "--registry") {
            ok = take() && !(options.Registry = value).empty();
        } else if (argument == "--plugin-dir") {
            ok = take() && !(options.PluginDir = value).empty();
        } else if (argument == "--song") {
            ok = number(options.Song, 1);
        } else if (argument == "--part") {
            ok = number(options.Part, 1);
        } else if (argument == "--rate") {
            ok = number(options.Rate, static_cast<std::int32_t>(kWavLowestRate));
            if (ok && options.Rate > kWavHighestRate) {
                message = "--rate must not exceed " +
                          std::to_string(static_cast<std::int32_t>(kWavHighestRate));
                ok = false;
            }
        } else if (argument == "--frames") {
            ok = number(options.Frames, std::int64_t{1});
        } else if (argument == "--tail") {
            ok = number(options.Tail, 0.0);
        } else {
            message = "unknown argument \"" + argument + "\" (see --help)";
            ok = false;
        }
        if (!ok) {
            if (message.empty()) {
                message = argument + " needs a value";
            }
            return TParseResult::Error;
        }
    }
    if (options.Project.empty() || options.Midi.empty() || options.Out.empty()) {
        message = "--project, --midi and --out are needed (see --help)";
        return TParseResult::Error;
    }
    return TParseResult::Run;
}

int RunRender(const TRenderOptions& options) {
    TConsolePresenter presenter;
    SetMessageBoxPresenter(&presenter);
    struct PresenterReset {
        ~PresenterReset() { SetMessageBoxPresenter(nullptr); }
    } presenterReset;
    SetRegistryFile(ResolveRegistryPath(options.Registry));

    TMidiFile midi;
    std::string error;
    if (!ReadMidiFile(options.Midi, midi, error)) {
        Say(error);
        return kExitBadInput;
    }
    {
        TProjectFileImage image;
        if (!LoadProjectImage(options.Project, image, error)) {
            Say(error);
            return kExitBadInput;
        }
    }
    std::error_code ec;
    if (!options.PluginDir.empty() && !std::filesystem::is_directory(options.PluginDir, ec)) {
        Say("the plugin folder " + options.PluginDir + " does not exist");
        return kExitBadInput;
    }
    if (!options.Ini.empty() && !std::filesystem::is_regular_file(options.Ini, ec)) {
        Say("the settings file " + options.Ini + " does not exist");
        return kExitBadInput;
    }

    std::vector<TRenderFeeder::Event> events;
    events.reserve(midi.Events.size());
    for (const TMidiFileEvent& event : midi.Events) {
        events.push_back({TickToFrame(midi, event.Tick, options.Rate), event.Word()});
    }
    const std::int64_t frames =
        options.Frames > 0
            ? options.Frames
            : TickToFrame(midi, midi.LastTick, options.Rate) +
                  static_cast<std::int64_t>(std::llround(options.Tail * options.Rate)) + 1;

    TTemporaryFolder folder;
    if (!folder.Create("peldor-render")) {
        Say("cannot create a temporary folder");
        return kExitFailure;
    }
    const std::filesystem::path settingsPath = folder.Path() / kSettingsFileName;
    if (!PrepareSettings(options, frames, settingsPath, error)) {
        Say(error);
        return kExitFailure;
    }

    TMainController::InitializeProcess();
    TVirtualMidiBackend* keyboard = nullptr;
    TStartOptions start;
    start.IniPath = settingsPath;
    start.DriverName = kWavFileDriverName;
    start.SampleRate = options.Rate;
    start.PluginFolder = options.PluginDir;
    start.AutoStartDriver = false;
    start.SplashStatusDelayMs = 0;
    start.MidiBackend = [&keyboard]() -> std::unique_ptr<IMidiBackend> {
        std::vector<std::string> outputs;
        for (int i = 0; i < kRenderMidiOutputs; ++i) {
            outputs.push_back("render out " + std::to_string(i + 1));
        }
        auto backend = std::make_unique<TVirtualMidiBackend>(
            std::vector<std::string>{"render in 1"}, std::move(outputs));
        keyboard = backend.get();
        return backend;
    };
    if (options.Trace) {
        start.Trace = [](const std::string& step) { Say(step); };
    }

    TMainController controller(std::move(start));
    const TScanReport report = controller.Start();
    if (options.PluginDir.empty() && !report.Scanned) {
        Say("no plugin folder is registered; rendering without plugins (use --plugin-dir)");
    }
    if (!controller.OpenProject(options.Project)) {
        controller.Shutdown();
        return kExitBadInput;
    }
    if (options.Song > 0 || options.Part > 0) {
        const std::int32_t song = options.Song > 0 ? options.Song - 1 : CurrentSong;
        const std::int32_t part =
            options.Part > 0 ? options.Part - 1 : (song == CurrentSong ? CurrentPart : 0);
        if (!controller.EnterPart(song, part)) {
            Say("the project has no song " + std::to_string(song + 1) + " with a part " +
                std::to_string(part + 1));
            controller.Shutdown();
            return kExitBadInput;
        }
    }
    if (ActiveProject() == nullptr || ActiveProject()->CurrentPartObject() == nullptr) {
        Say("the project has no current part: nothing is routed");
    }
    for (std::int32_t slot = 0; slot < kSlotCount; ++slot) {
        const std::string& problem = controller.Slots().SlotProblem(slot);
        if (!problem.empty()) {
            Say(TPluginSlots::SlotName(slot) + " stays empty: " + problem);
        }
    }
    // The MIDI file always plays into input 1, whatever devices the project opens.
    if (!MidiInput(0).Started) {
        CloseAllDevices();
        SetMidiInputSelected(0, true);
        OpenSelectedDevices();
    }

    auto* wav = dynamic_cast<TWavFileDriver*>(controller.Asio().Driver());
    if (wav == nullptr || keyboard == nullptr) {
        Say("the \"WAV file\" driver could not be opened");
        controller.Shutdown();
        return kExitFailure;
    }
    TRenderFeeder feeder(std::move(events), *keyboard);
    // No period to keep: the blocks wait for every plugin, however slow, rather than leave
    // one out of the file.
    constexpr auto kOfflinePassLimit = std::chrono::seconds(30);
    controller.Processor()->SetPassDeadline(kOfflinePassLimit);
    controller.SetBlockHook(&TRenderFeeder::Hook, &feeder);
    controller.Asio().SetActive(true);
    if (!controller.Asio().Active()) {
        char why[128] = {};
        wav->getErrorMessage(why);
        Say(std::string("cannot write ") + options.Out + ": " + why);
        controller.SetBlockHook(nullptr, nullptr);
        controller.Shutdown();
        return kExitFailure;
    }
    const auto blockFrames = static_cast<std::int32_t>(controller.Asio().BufferSize());
    // A driver that stopped on a write error announces no more blocks.
    constexpr auto kStallLimit = std::chrono::seconds(10);
    auto lastProgress = std::chrono::steady_clock::now();
    bool stalled = false;
    while (!wav->Finished()) {
        if (feeder.Serve(blockFrames)) {
            lastProgress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastProgress > kStallLimit) {
            stalled = true;
            break;
        }
    }
    feeder.Abandon();
    const std::int64_t rendered = wav->FramesRendered();
    controller.Asio().SetActive(false);
    controller.SetBlockHook(nullptr, nullptr);
    if (feeder.DroppedCommands() > 0) {
        Say(std::to_string(feeder.DroppedCommands()) + " remote command(s) in the MIDI file " +
            "were not run");
    }
    const std::int32_t channels = controller.Asio().OutputChannelCount();
    if (stalled) {
        char why[128] = {};
        wav->getErrorMessage(why);
        Say(std::string("rendering stopped: ") + why);
    }
    controller.ExitApp();
    controller.Shutdown();
    presenter.FlushRepeats();
    Say("wrote " + options.Out + ": " + std::to_string(rendered) + " frames at " +
        std::to_string(options.Rate) + " Hz, " + std::to_string(channels) + " channels, " +
        std::to_string(feeder.EventsPlayed()) + " MIDI events");
    return rendered > 0 && !stalled ? kExitOk : kExitFailure;
}

} // namespace peldor
