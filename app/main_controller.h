#pragma once
// The main window's duties without the window: the start-up sequence that ends with a running
// driver, the idle handler, the 50 ms timer, the driver's rate and reset notifications, the
// project actions and the shut-down sequence with its pauses. The GUI's main window wraps this
// class; the headless runner and the offline renderer drive it directly.
//
// Threads: everything runs on the window thread (the thread that created the controller),
// except the audio host's notifications, which may arrive on a driver's notification thread;
// they only leave a note that the window thread acts on in its next idle moment or timer tick.

#include "app/cpu_load.h"
#include "app/settings_file.h"
#include "audio_io/asio_host.h"
#include "engine/processor.h"
#include "midi/activating_views.h"
#include "midi/midi_backend.h"
#include "plugins/plugin_path_form.h"
#include "plugins/plugin_scan.h"
#include "plugins/slots.h"
#include "plugins/vst_host.h"
#include "project/project_links.h"
#include "project/window_layout.h"
#include "ui/main_window_core.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace peldor {

/// What the program was started with.
struct TStartOptions {
    /// The settings file (see ResolveSettingsPath).
    std::filesystem::path IniPath;
    /// A driver name of the driver list instead of the "ASIO" section's index; empty: the
    /// section decides.
    std::string DriverName;
    /// A sample rate instead of the "ASIO" section's.
    std::optional<double> SampleRate;
    /// When the settings assign no driver output at all, the master goes to outputs 0 and 1,
    /// the monitors to 2 and 3 and the solo bus to 4 and 5 for this run.
    bool DefaultOutputs = false;
    /// A plugin folder for this run instead of the registered one; empty: the registered one.
    std::string PluginFolder;
    /// The plugin scan reads every library again, whatever its cache holds.
    bool RescanPlugins = false;
    /// Asked when no plugin folder is registered (not owned); null: go on without plugins.
    IPluginPathDialog* PathDialog = nullptr;
    /// Makes the MIDI backend; null: RtMidi with the API the settings file or $PELDOR_MIDI_API
    /// names.
    std::function<std::unique_ptr<IMidiBackend>()> MidiBackend;
    /// Receives one line per start-up and shut-down step; null: silent.
    std::function<void(const std::string&)> Trace;
    /// Pause after each start-up status line (the splash window's 40 ms).
    int SplashStatusDelayMs = 40;
    /// The controller starts the driver by itself (the idle handler, the end of closing a
    /// project). The offline renderer switches this off and starts the driver when it is ready.
    bool AutoStartDriver = true;
};

/// The menu entries that depend on the program's state (UpdateMenuEntries): the record the
/// main window reads.
using TMenuState = TMainMenuEntries;

/// The main window's placement as the settings file keeps it ("MainForm").
using TFormPlacement = TMainWindowPlacement;

/// What the audio driver is doing, for the status line and the status bar.
enum class TDriverState {
    None,     ///< no driver configured
    Failed,   ///< configured, but it cannot be opened; tried again every second
    Stopped,  ///< open and not running (a start that is tried again)
    Running,  ///< open and making buffer switches
    Finished, ///< open and done: it ended its run on purpose (the "WAV file" driver's length)
};

/// The main window's audio settings besides the channel assignment (which lives in the
/// engine's ChannelAssignment).
struct TAudioSettings {
    std::int32_t AudioDriver = -1;
    std::int32_t AudioSampleRate = 44100;
    bool SoftwareMonitoring = false;
    std::int32_t ClockSource = 0;
};

/// Waits of the project actions and the shut-down: a buffer in progress and the plugins' own
/// threads get this long to finish with what is about to go.
inline constexpr int kDriverSettleMs = 200;
inline constexpr int kStripSettleMs = 100;
inline constexpr int kStopAudioMs = 100;
/// How often the idle handler tries to bring back a driver that stopped or went away.
inline constexpr std::chrono::milliseconds kDriverRetryInterval{1000};
/// A running driver that has made no buffer switch for this long is opened afresh.
inline constexpr std::chrono::milliseconds kDriverStallLimit{3000};
/// The main window's timer interval.
inline constexpr std::chrono::milliseconds kUiTimerInterval{50};

class TMainController final : public IProjectShell, private ISlotDriver {
    /// The audio settings dialog's operations (app/audio_setup.h) keep the audio fields.
    friend class TAudioSetup;

public:
    /// The process-wide preparation that runs before anything else: the strip table and mixer
    /// settings, the sample conversion tables, the options object and the MIDI event queues.
    static void InitializeProcess();

    /// Creates the components: the audio host with its driver list (reading the settings file
    /// named in options) and the plugin host. Nothing is opened yet.
    explicit TMainController(TStartOptions options);
    /// Runs Shutdown when it has not run.
    ~TMainController() override;
    TMainController(const TMainController&) = delete;
    TMainController& operator=(const TMainController&) = delete;

    /// The start-up sequence from the main window's creation to ProcessingEnabled: settings,
    /// engine, audio settings and driver, block handler, engine format, slots, MIDI devices,
    /// plugin scan. The driver is started by the first Idle.
    TScanReport Start();

    /// The idle handler: keeps the host's Active equal to DriverConfigured, re-opens a driver
    /// that went away or stopped calling (at most every kDriverRetryInterval; a driver that
    /// ended its run on purpose is left alone), applies notified format changes.
    void Idle();
    /// The 50 ms timer: posted message boxes; with a project, plugin idle, the overload state
    /// and the processor load.
    void UITimerTimer();
    /// Runs the remote commands the MIDI input posted (the headless program's message loop).
    int RunRemoteCommands();

    /// The audio host's rate notification: engine rate and block size (the driver stopped
    /// around a block-size change), status panels, slot plugins. Window thread; from another
    /// thread it is noted and done at the next Idle or timer tick.
    void ASIOSampleRateChanged();
    /// The audio host's reset notification: re-opens the driver once more and notes a format
    /// change for the window thread. Window thread (the host's own notification, which may come
    /// on a driver thread, does the same on the host that raised it).
    void ASIOReset();

    // ---- Project actions (window thread) ----
    /// Closes the project, creates one with one song and one part.
    void NewProject();
    /// Opens a project file: parsed completely first, so a damaged file leaves the open project
    /// as it was; then read, its slots applied, the caption set and the file added to the recent
    /// files. An empty path means the dialog was cancelled. False with the message shown when
    /// the file cannot be read.
    bool OpenProject(const std::filesystem::path& path);
    /// Opens recent file 0-3: closes the project first; a file that cannot be read leaves a new
    /// empty project. The recent-file list is not changed.
    bool OpenRecentFile(int item);
    /// Saves to the project's file name (atomically); nothing without one.
    bool SaveProject();
    /// Saves under a new name, which the project keeps; then writes the window and language
    /// settings. An empty path means the dialog was cancelled.
    bool SaveProjectAs(const std::filesystem::path& path);
    /// Driver off and 200 ms pause, slots emptied, project destroyed, 200 ms pause, driver on.
    void CloseProject() override;
    /// CurrentStrips cleared and the project destroyed; the caller then ends its loop and
    /// calls Shutdown.
    void ExitApp();
    /// Enters part partIndex of song songIndex as clicking them in the project window does.
    /// False when either does not exist.
    bool EnterPart(std::int32_t songIndex, std::int32_t partIndex);

    /// The shut-down order: settings written; MIDI devices stopped and closed; 200 ms, no
    /// current strips, 100 ms; driver stopped, 200 ms; workers stopped and every plugin closed
    /// and unloaded; engine and project destroyed; MIDI backend, audio host and plugin host
    /// released. Runs once.
    void Shutdown();

    // ---- State ----
    TASIOHost& Asio() noexcept { return *asio; }
    TVstHost& Vst() noexcept { return *vst; }
    TPluginSlots& Slots() noexcept { return *slots; }
    /// Null before Start and after Shutdown.
    TProcessor* Processor() noexcept { return processor.get(); }
    const TSettingsFile& Settings() const noexcept { return settings; }
    const TAudioSettings& AudioSettings() const noexcept { return audio; }
    /// The plugin folder the last scan read; empty when there was none.
    const std::string& PluginFolder() const noexcept { return pluginFolder; }
    void SetPluginFolder(const std::string& folder) { pluginFolder = folder; }
    bool DriverConfigured() const noexcept { return driverConfigured; }
    /// Why there are no MIDI devices at all (the MIDI service cannot be reached), as found at
    /// start-up; empty when the service works.
    const std::string& MidiProblem() const noexcept { return midiProblem; }
    /// The driver's state as of now. Window thread.
    TDriverState DriverState() const;
    const std::array<std::string, 4>& RecentFiles() const noexcept { return recentFiles; }
    const std::string& Caption() const noexcept { return caption; }
    /// The four status panels: hints or "OVERLOAD!", sample rate, sample format, "SSE"/"x87".
    const std::array<std::string, 4>& StatusPanels() const noexcept { return statusPanels; }
    const TMenuState& MenuState() const noexcept { return menuState; }
    std::int16_t LanguageCode() const noexcept { return languageCode; }
    /// The processor load over the last 8 timer ticks, in percent (the mixer's label).
    std::int32_t CpuLoadPercent() const noexcept { return cpuLoadPercent; }
    /// The timer's processor-load readings of the current 8-tick window, in percent, and the
    /// tick within it (0-7): the mixer's gauge follows their running average.
    double CpuSum() const noexcept { return cpuSum; }
    std::int32_t TickCount() const noexcept { return tickCount; }
    /// Buffer switches the driver has made since start-up. Any thread.
    std::uint64_t BlocksProcessed() const noexcept {
        return blocksProcessed.load(std::memory_order_relaxed);
    }
    /// Frames the driver has processed since start-up. Any thread.
    std::uint64_t FramesProcessed() const noexcept {
        return framesProcessed.load(std::memory_order_relaxed);
    }

    /// The placement read at start-up, or the one the window last reported.
    const TFormPlacement& FormPlacement() const noexcept { return placement; }
    /// The window reports its placement; it is written at shut-down and after a save-as.
    void SetFormPlacement(const TFormPlacement& value) noexcept { placement = value; }
    /// The language switch: 1031 German, any other code English; writes "General" "Language".
    void SetLanguage(std::int16_t code);
    /// The windows' views (busy cursor, pending messages, lists); null removes them. The views
    /// must outlive their installation. Window thread.
    void SetWindowViews(IProjectViews* windows) noexcept { views.SetWindows(windows); }
    /// The windows the project file's window records go to and come from (null: the records
    /// kept in memory); returns the records kept in memory.
    IWindowLayout* SetWindowLayout(IWindowLayout* windows) noexcept;
    /// The windows' views (display only, no activation messages); null while there are none.
    IProjectViews* WindowViews() const noexcept { return views.Windows(); }

    /// Adds a path to the recent files (nothing when it is already entry 0).
    void AddRecentFile(const std::string& path);
    /// Recomputes MenuState.
    void UpdateMenuEntries();

    /// Called on the driver's thread with each block's sample position, before the engine
    /// processes the block (the offline renderer feeds its MIDI events from here). Set before
    /// Start; must not allocate.
    using TBlockHook = void (*)(void* context, std::int64_t samplePosition) noexcept;
    void SetBlockHook(TBlockHook hook, void* context) noexcept;

private:
    // ISlotDriver
    bool DriverActive() override;
    void SetDriverActive(bool active) override;
    std::int32_t DriverBufferSize() override;
    double DriverSampleRate() override;

    void TraceStep(const std::string& step) const;
    void ReadMainFormSettings();
    void WriteMainFormSettings() const;
    void WriteRecentFiles() const;
    void SwitchLanguage(std::int16_t code);
    bool LoadAudioSettings();
    void ApplySampleRateChange();
    void ApplyPendingFormatChange();
    void InstallLinks();
    void RemoveLinks();
    bool ReadProjectFile(const std::filesystem::path& path);
    void SetProjectCaption(const std::filesystem::path& path);
    static void OnBlock(void* context, std::int64_t samplePosition) noexcept;

    TStartOptions options;
    TSettingsFile settings;
    std::unique_ptr<TASIOHost> asio;
    std::unique_ptr<TVstHost> vst;
    std::unique_ptr<TProcessor> processor;
    std::unique_ptr<TPluginSlots> slots;
    TActivatingProjectViews views;
    TMemoryWindowLayout layout;
    IWindowLayout* windowLayout = nullptr;
    TCpuLoad cpuLoad;

    TAudioSettings audio;
    bool driverConfigured = false;
    std::string midiProblem;
    std::string pluginFolder;
    std::array<std::string, 4> recentFiles;
    std::int16_t languageCode = 1033;
    TFormPlacement placement;
    std::string caption{"PELDOR"};
    std::array<std::string, 4> statusPanels;
    TMenuState menuState;
    std::int32_t tickCount = 0;
    double cpuSum = 0.0;
    std::int32_t cpuLoadPercent = 0;

    std::atomic<bool> formatChangePending{false};
    std::chrono::steady_clock::time_point lastDriverRetry{};
    std::chrono::steady_clock::time_point lastBlockSeen{};
    std::uint64_t blocksSeen = ~std::uint64_t{0};
    bool started = false;
    bool shutDown = false;

    std::atomic<std::uint64_t> blocksProcessed{0};
    std::atomic<std::uint64_t> framesProcessed{0};
    std::atomic<std::int64_t> lastSamplePosition{-1};
    std::atomic<std::int32_t> blockFrames{0};
    std::atomic<TBlockHook> blockHook{nullptr};
    std::atomic<void*> blockHookContext{nullptr};
};

} // namespace peldor
