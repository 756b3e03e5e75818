#include "app/main_controller.h"

#include "app/shutdown_watchdog.h"
#include "audio_io/jack_driver.h"
#include "audio_io/sample_conversion.h"
#include "engine/event_queue.h"
#include "engine/numeric.h"
#include "engine/strip_table.h"
#include "i18n/app_strings.h"
#include "i18n/common_strings.h"
#include "i18n/message_box.h"
#include "midi/midi_devices.h"
#include "midi/rtmidi_backend.h"
#include "midi/switching.h"
#include "midi/window_messages.h"
#include "project/project_file.h"
#include "project/project_model.h"
#include "project/project_options.h"

#include <cmath>
#include <thread>

namespace peldor {
namespace {

constexpr std::int16_t kLanguageEnglish = 1033;
constexpr std::int16_t kLanguageGerman = 1031;
constexpr int kRecentFileCount = 4;
/// "State" of the main window: maximised, as it always starts.
constexpr std::int32_t kWindowStateMaximised = 2;
constexpr const char* kProgramCaption = "PELDOR";

/// The plugins' settings and states as they are now into the current song and part, so that
/// what the user changed in a plugin's editor since the part was entered is saved too.
void CaptureCurrentPartForSaving() {
    TProject* project = ActiveProject();
    TSong* song = project != nullptr && CurrentSong >= 0 ? project->SongAt(CurrentSong) : nullptr;
    if (song == nullptr) {
        return;
    }
    song->CaptureSlots();
    if (TPart* part = CurrentPart >= 0 ? song->PartAt(CurrentPart) : nullptr) {
        part->CaptureState();
    }
}

constexpr const char* kSectionMainForm = "MainForm";
constexpr const char* kSectionGeneral = "General";
constexpr const char* kSectionMru = "MRU";
constexpr const char* kSectionAsio = "ASIO";

/// The splash window's status lines of the windows created at start-up, in order.
constexpr const char* kSplashSteps[] = {
    "Initializing project window...", "Initializing inspector...",  "Initializing MIDI mapping...",
    "Initializing VSTi window...",    "Initializing VST window...", "Initializing ASIO settings...",
    "Initializing mixer 1...",        "Initializing mixer 2...",    "Initializing mixer 3...",
    "Initializing mixer 4...",
};

/// The channel assignment keys of the "ASIO" section, in the dialog's order.
struct ChannelKey {
    const char* Key;
    Relaxed<std::int32_t>& Field;
};

std::array<ChannelKey, 10> ChannelKeys() {
    TChannelAssignment& c = ChannelAssignment;
    return {{{"Input1", c.Input1},
             {"Input2", c.Input2},
             {"Input3", c.Input3},
             {"Input4", c.Input4},
             {"OutMainL", c.OutMainL},
             {"OutMainR", c.OutMainR},
             {"OutMon1", c.OutMon1},
             {"OutMon2", c.OutMon2},
             {"OutSoloL", c.OutSoloL},
             {"OutSoloR", c.OutSoloR}}};
}

void Pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string FileNameOf(const std::filesystem::path& path) {
    return path.filename().string();
}

std::string AbsolutePath(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path.string() : full.lexically_normal().string();
}

} // namespace

// ---- Life -----------------------------------------------------------------------------------

void TMainController::InitializeProcess() {
    InitStripTable();
    InitConversionTables();
    ProjectOptions().Apply();
    InitEventQueues();
}

TMainController::TMainController(TStartOptions startOptions)
    : options(std::move(startOptions)), settings(options.IniPath) {
    // The components of the main window: the audio host with its driver list, the plugin host.
    asio = std::make_unique<TASIOHost>(BuildDriverList(options.IniPath));
    // The JACK MIDI devices must hear of a lost JACK server before the driver is re-opened.
    TJackDriver::SetServerLostListener(&NoteJackServerLost);
    asio->OnSampleRateChanged = [this](TCustomASIOHostBasic&) { ASIOSampleRateChanged(); };
    // The reset arrives on the driver's notification thread: it works on the host it came
    // from and only leaves a note for the window thread.
    asio->OnReset = [this](TCustomASIOHostBasic& host) {
        host.OpenDriver();
        formatChangePending.store(true, std::memory_order_release);
    };
    vst = std::make_unique<TVstHost>();
}

TMainController::~TMainController() {
    Shutdown();
}

void TMainController::TraceStep(const std::string& step) const {
    if (options.Trace) {
        options.Trace(step);
    }
}

TScanReport TMainController::Start() {
    // The MIDI device layer, before any window exists.
    TraceStep("start-up: MIDI devices");
    InstallMidiBackend(options.MidiBackend
                           ? options.MidiBackend()
                           : CreateRtMidiBackend(ConfiguredMidiApi(options.IniPath.string())));
    EnumerateDevices();
    if (IMidiBackend* backend = MidiBackend()) {
        midiProblem = backend->ServiceProblem();
    }
    SetMidiProjectPresent(false);
    ProcessingEnabled = false;

    // The main window's creation.
    TraceStep("start-up: settings");
    caption = kProgramCaption;
    ReadMainFormSettings();
    SwitchLanguage(languageCode == kLanguageGerman ? kLanguageGerman : kLanguageEnglish);
    for (auto& entry : SlotMap) {
        entry = -1;
    }
    tickCount = 0;
    cpuSum = 0.0;
    processor = std::make_unique<TProcessor>(asio.get(), vst.get());

    TraceStep("start-up: audio settings and driver");
    driverConfigured = LoadAudioSettings();

    const bool sse = TProcessor::ProcessorHasSse();
    processor->SetVariant(sse ? TProcessor::Variant::Sse : TProcessor::Variant::Scalar);
    asio->SetOnBufferSwitch32(&TProcessor::BufferSwitch32, processor.get());
    asio->SetOnUpdateSamplePos(&TMainController::OnBlock, this);
    statusPanels[3] = sse ? "SSE" : "x87";

    const auto bufferSize = static_cast<std::int32_t>(asio->BufferSize());
    processor->SetSampleRate(static_cast<float>(asio->SampleRate()));
    processor->SetBlockSize(bufferSize);
    blockFrames = bufferSize;
    if (driverConfigured) {
        // The rate and sample format panels show the opened driver's.
        ApplySampleRateChange();
    }

    TraceStep("start-up: plugin host");
    slots = std::make_unique<TPluginSlots>(*vst, static_cast<ISlotDriver&>(*this), processor.get());
    slots->CreateVstHost(bufferSize);
    slots->ApplyDriverFormat();
    InstallLinks();
    UpdateMenuEntries();

    const int savedDelay = SplashStatusDelayMs;
    SplashStatusDelayMs = options.SplashStatusDelayMs;
    for (const char* step : kSplashSteps) {
        SplashStatus(step);
    }
    SplashStatusDelayMs = savedDelay;

    TraceStep("start-up: plugin scan");
    TScanOptions scan;
    scan.Rescan = options.RescanPlugins;
    TScanEnvironment environment;
    environment.PathDialog = options.PathDialog;
    TScanReport report = options.PluginFolder.empty()
                             ? ScanPlugins(*vst, environment, scan)
                             : ScanPluginFolder(*vst, options.PluginFolder, environment, scan);
    pluginFolder = report.PluginFolder;
    ProcessingEnabled = true;
    started = true;
    TraceStep("start-up: processing enabled");
    return report;
}

void TMainController::InstallLinks() {
    ProjectLinks.Slots = slots.get();
    ProjectLinks.Devices = &MidiDeviceSelection();
    ProjectLinks.Views = &views;
    ProjectLinks.Layout = windowLayout != nullptr ? windowLayout : &layout;
    ProjectLinks.Shell = this;
    ProjectLinks.Processor = processor.get();
}

IWindowLayout* TMainController::SetWindowLayout(IWindowLayout* windows) noexcept {
    windowLayout = windows;
    if (ProjectLinks.Layout != nullptr) {
        ProjectLinks.Layout = windowLayout != nullptr ? windowLayout : &layout;
    }
    return &layout;
}

void TMainController::RemoveLinks() {
    ProjectLinks = TProjectLinks{};
}

void TMainController::Shutdown() {
    if (shutDown) {
        return;
    }
    shutDown = true;
    // A sound server may be going away at the same moment (everything is told to stop at
    // once): re-opening its driver now would open a client of a lost server, which makes
    // libjack free every client of the process under the MIDI devices still to be closed.
    asio->HoldResets();
    if (!started) {
        // Nothing was opened but the components.
        RemoveLinks();
        slots.reset();
        processor.reset();
        asio.reset();
        vst.reset();
        return;
    }
    if (ActiveProject() != nullptr) {
        ExitApp();
    }
    if (IProjectViews* windows = views.Windows()) {
        windows->SetBusyCursor(true);
        windows->ProcessPendingMessages();
    }

    WriteMainFormSettings();
    WriteRecentFiles();
    TraceStep("shut-down: settings written");
    // The rest closes devices and clients of sound servers that may be going away themselves.
    const TShutdownWatchdog watchdog(kShutdownLimit, [this] {
        TraceStep("shut-down: not finished after " + std::to_string(kShutdownLimit.count() / 1000) +
                  " s (a sound server or plugin does not answer); ending the program now");
    });

    CloseAllDevices();
    TraceStep("shut-down: MIDI devices stopped and closed");

    Pause(kDriverSettleMs);
    CurrentStrips.store(nullptr, std::memory_order_release);
    Pause(kStripSettleMs);
    TraceStep("shut-down: current strips cleared");

    asio->SetActive(false);
    Pause(kStopAudioMs);
    Pause(kStopAudioMs);
    TraceStep("shut-down: driver stopped");

    processor->StopWorkers();
    slots->UnloadAllPlugins();
    TraceStep("shut-down: workers stopped, plugins closed and unloaded");

    RemoveLinks();
    asio->SetOnUpdateSamplePos(nullptr, nullptr);
    asio->SetOnBufferSwitch32(nullptr, nullptr);
    ProcessingEnabled = false;
    processor.reset();
    DestroyProject();
    TraceStep("shut-down: engine and project destroyed");

    InstallMidiBackend(nullptr);
    slots.reset();
    asio.reset();
    vst.reset();
    TraceStep("shut-down: audio host and plugin host released");
}

// ---- Settings -------------------------------------------------------------------------------

void TMainController::ReadMainFormSettings() {
    constexpr std::int32_t kDefaultWidth = 400;
    constexpr std::int32_t kDefaultHeight = 300;
    placement.Left = settings.ReadInteger(kSectionMainForm, "Left", 0);
    placement.Top = settings.ReadInteger(kSectionMainForm, "Top", 0);
    placement.Width = settings.ReadInteger(kSectionMainForm, "Width", kDefaultWidth);
    placement.Height = settings.ReadInteger(kSectionMainForm, "Height", kDefaultHeight);
    // The window always starts maximised; "State" is written, not read.
    placement.State = kWindowStateMaximised;
    languageCode = static_cast<std::int16_t>(
        settings.ReadInteger(kSectionGeneral, "Language", kLanguageEnglish));
    for (int i = 0; i < kRecentFileCount; ++i) {
        recentFiles[static_cast<std::size_t>(i)] =
            settings.ReadString(kSectionMru, "File" + std::to_string(i + 1), "");
    }
}

void TMainController::WriteMainFormSettings() const {
    std::string error;
    if (!settings.Write(kSectionMainForm,
                        {{"Left", std::to_string(placement.Left)},
                         {"Top", std::to_string(placement.Top)},
                         {"Width", std::to_string(placement.Width)},
                         {"Height", std::to_string(placement.Height)},
                         {"State", std::to_string(placement.State)}},
                        &error) ||
        !settings.WriteInteger(kSectionGeneral, "Language", languageCode, &error)) {
        TraceStep("settings not written: " + error);
    }
}

void TMainController::WriteRecentFiles() const {
    std::vector<std::pair<std::string, std::string>> values;
    for (int i = 0; i < kRecentFileCount; ++i) {
        values.emplace_back("File" + std::to_string(i + 1),
                            recentFiles[static_cast<std::size_t>(i)]);
    }
    std::string error;
    if (!settings.Write(kSectionMru, values, &error)) {
        TraceStep("recent files not written: " + error);
    }
}

void TMainController::SwitchLanguage(std::int16_t code) {
    languageCode = code;
    std::string error;
    if (!settings.WriteInteger(kSectionGeneral, "Language", languageCode, &error)) {
        TraceStep("language not written: " + error);
    }
}

void TMainController::SetLanguage(std::int16_t code) {
    SwitchLanguage(code == kLanguageGerman ? kLanguageGerman : kLanguageEnglish);
}

bool TMainController::LoadAudioSettings() {
    asio->SetActive(false);
    audio.AudioDriver = settings.ReadInteger(kSectionAsio, "Driver", -1);
    audio.AudioSampleRate = settings.ReadInteger(kSectionAsio, "Sample rate", 44100);
    audio.SoftwareMonitoring = settings.ReadBool(kSectionAsio, "Software monitoring", false);
    audio.ClockSource = settings.ReadInteger(kSectionAsio, "Clock source", 0);
    for (const ChannelKey& channel : ChannelKeys()) {
        channel.Field = settings.ReadInteger(kSectionAsio, channel.Key, -1);
    }

    if (!options.DriverName.empty()) {
        const std::vector<std::string> names = asio->DriverList();
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == options.DriverName) {
                audio.AudioDriver = static_cast<std::int32_t>(i);
            }
        }
    }
    if (options.SampleRate) {
        audio.AudioSampleRate = static_cast<std::int32_t>(std::lround(*options.SampleRate));
    }
    if (options.DefaultOutputs) {
        TChannelAssignment& c = ChannelAssignment;
        const bool noOutput = c.OutMainL < 0 && c.OutMainR < 0 && c.OutMon1 < 0 && c.OutMon2 < 0 &&
                              c.OutSoloL < 0 && c.OutSoloR < 0;
        if (noOutput) {
            // The pairs the audio settings dialog offers for a newly chosen driver.
            c.OutMainL = 0;
            c.OutMainR = 1;
            c.OutMon1 = 2;
            c.OutMon2 = 3;
            c.OutSoloL = 4;
            c.OutSoloR = 5;
        }
    }

    if (audio.AudioDriver < 0) {
        return false;
    }
    asio->SetDriverIndex(audio.AudioDriver);
    // A rate the driver cannot run at would leave the engine and the plugins at one rate and
    // the driver at another: keep the driver's own rate then.
    const auto requested = static_cast<double>(audio.AudioSampleRate);
    if (asio->Driver() == nullptr || asio->CanSampleRate(requested) == ASE_OK) {
        asio->SetSampleRate(requested);
    }
    asio->SetClockSource(audio.ClockSource);
    asio->SetInputMonitor(audio.SoftwareMonitoring ? TInputMonitor::imMono
                                                   : TInputMonitor::imDisabled);
    return true;
}

// ---- Idle, timer, driver notifications ------------------------------------------------------

void TMainController::Idle() {
    if (!started || shutDown) {
        return;
    }
    ApplyPendingFormatChange();
    if (!options.AutoStartDriver) {
        UpdateMenuEntries();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (driverConfigured && asio->Active()) {
        // A driver that runs but has stopped calling (a sound server that went away without
        // telling its clients) is opened afresh, as one that reported the loss would be. One
        // that ended its run on purpose is not: opening it again would start the run afresh
        // (a rendered file truncated and written again).
        const std::uint64_t blocks = BlocksProcessed();
        if (blocks != blocksSeen || asio->DriverFinished()) {
            blocksSeen = blocks;
            lastBlockSeen = now;
        } else if (now - lastBlockSeen >= kDriverStallLimit &&
                   now - lastDriverRetry >= kDriverRetryInterval) {
            lastDriverRetry = now;
            lastBlockSeen = now;
            TraceStep("the audio driver stopped calling; opening it again");
            if (asio->OpenDriver()) {
                ApplySampleRateChange();
            }
        }
    }
    if (driverConfigured && !asio->Active()) {
        lastBlockSeen = now;
        if (asio->Driver() != nullptr) {
            asio->SetActive(true);
        }
        // A driver that went away, or one that keeps refusing to start, is opened afresh.
        if (!asio->Active() && now - lastDriverRetry >= kDriverRetryInterval) {
            lastDriverRetry = now;
            if (asio->OpenDriver()) {
                ApplySampleRateChange();
                asio->SetActive(true);
            }
        }
    } else if (!driverConfigured && asio->Active()) {
        asio->SetActive(false);
    }
    UpdateMenuEntries();
}

TDriverState TMainController::DriverState() const {
    if (asio == nullptr || (!driverConfigured && asio->Driver() == nullptr)) {
        return TDriverState::None;
    }
    if (asio->Driver() == nullptr) {
        return TDriverState::Failed;
    }
    if (!asio->Active()) {
        return TDriverState::Stopped;
    }
    return asio->DriverFinished() ? TDriverState::Finished : TDriverState::Running;
}

void TMainController::UITimerTimer() {
    if (!started || shutDown) {
        return;
    }
    ApplyPendingFormatChange();
    DeliverPostedMessageBoxes();
    if (ActiveProject() == nullptr) {
        return;
    }
    slots->IdlePass();
    statusPanels[0] = processor->Overload() ? "OVERLOAD!" : "";
    // Time-critical workers sit just below JACK's process thread.
    if (const auto* jack = dynamic_cast<const TJackDriver*>(asio->Driver())) {
        if (jack->RealtimePriority() != processor->DriverRealtimePriority()) {
            processor->SetDriverRealtimePriority(jack->RealtimePriority());
        }
    }
    constexpr std::int32_t kTicksPerWindow = 8;
    constexpr double kPercent = 100.0;
    ++tickCount;
    if (tickCount >= kTicksPerWindow) {
        tickCount = 0;
        cpuSum = 0.0;
    }
    cpuSum += kPercent * cpuLoad.Read();
    if (tickCount == kTicksPerWindow - 1) {
        cpuLoadPercent = static_cast<std::int32_t>(std::lround(cpuSum / kTicksPerWindow));
    }
}

int TMainController::RunRemoteCommands() {
    return RunPostedRemoteCommands(DefaultWindowMessageQueue());
}

void TMainController::ASIOSampleRateChanged() {
    if (OnWindowThread()) {
        ApplySampleRateChange();
    } else {
        formatChangePending.store(true, std::memory_order_release);
    }
}

void TMainController::ASIOReset() {
    if (asio != nullptr) {
        asio->OpenDriver();
    }
    formatChangePending.store(true, std::memory_order_release);
}

void TMainController::ApplyPendingFormatChange() {
    if (formatChangePending.exchange(false, std::memory_order_acq_rel)) {
        ApplySampleRateChange();
    }
}

void TMainController::ApplySampleRateChange() {
    if (processor == nullptr) {
        return;
    }
    const double rate = asio->SampleRate();
    const auto size = static_cast<std::int32_t>(asio->BufferSize());
    if (static_cast<float>(rate) != processor->SampleRate() || size != processor->BufferLength() ||
        static_cast<float>(rate) != vst->VstTimeInfo().SampleRate()) {
        // The engine's buffers may be replaced and the plugins change their rate: no block may
        // be in progress meanwhile.
        const bool wasActive = asio->Active();
        asio->SetActive(false);
        processor->SetSampleRate(static_cast<float>(rate));
        if (size != processor->BufferLength()) {
            processor->SetBlockSize(size);
        }
        blockFrames = size;
        if (slots != nullptr) {
            slots->ApplyDriverFormat();
        }
        if (wasActive) {
            asio->SetActive(true);
        }
    }
    statusPanels[1] = FormatValue(5, "Hz", false, static_cast<float>(rate));
    if (asio->OutputChannelCount() >= 1 && !asio->OutputChannelInfos().empty()) {
        statusPanels[2] = SampleTypeLabel(asio->OutputChannelInfos().front().type);
    }
}

void TMainController::SetBlockHook(TBlockHook hook, void* context) noexcept {
    blockHookContext.store(context, std::memory_order_relaxed);
    blockHook.store(hook, std::memory_order_release);
}

void TMainController::OnBlock(void* context, std::int64_t samplePosition) noexcept {
    auto* self = static_cast<TMainController*>(context);
    self->blocksProcessed.fetch_add(1, std::memory_order_relaxed);
    self->framesProcessed.fetch_add(
        static_cast<std::uint64_t>(std::max(self->blockFrames.load(std::memory_order_relaxed), 0)),
        std::memory_order_relaxed);
    self->lastSamplePosition.store(samplePosition, std::memory_order_relaxed);
    if (TBlockHook hook = self->blockHook.load(std::memory_order_acquire)) {
        hook(self->blockHookContext.load(std::memory_order_relaxed), samplePosition);
    }
}

// ---- ISlotDriver ----------------------------------------------------------------------------

bool TMainController::DriverActive() {
    return asio->Active();
}

void TMainController::SetDriverActive(bool active) {
    asio->SetActive(active);
}

std::int32_t TMainController::DriverBufferSize() {
    return static_cast<std::int32_t>(asio->BufferSize());
}

double TMainController::DriverSampleRate() {
    return asio->SampleRate();
}

// ---- Project actions ------------------------------------------------------------------------

void TMainController::NewProject() {
    CloseProject();
    TProject& project = CreateProject();
    SetMidiProjectPresent(true);

    // The project window's "Add song", then "Add part".
    std::string songName = "new song";
    if (ShowInputBox(LoadResString(kStrSongNameTitle), LoadResString(kStrSongNamePrompt),
                     kMsgQuestion, kButtonsOkCancel, 1, songName) == kResultOk) {
        TSong* song = project.AddSong();
        CurrentSong = project.SongCount() - 1;
        song->Name = songName;
        song->LastPart = -1;
        FillSongs();
        song->ApplySlots();

        std::string partName = "new part";
        if (ShowInputBox(LoadResString(kStrPartNameTitle), LoadResString(kStrPartNamePrompt),
                         kMsgQuestion, kButtonsOkCancel, 1, partName) == kResultOk) {
            TPart* part = song->AddPart();
            CurrentPart = song->PartCount() - 1;
            part->Name = partName;
            part->LastConnection = -1;
            part->CaptureState();
            SyncRoutingPart();
            FillConnections(*part);
            CurrentStrips.store(part->Strips.get(), std::memory_order_release);
            views.UpdateAllMixers();
        }
    }
    UpdateMenuEntries();
}

bool TMainController::ReadProjectFile(const std::filesystem::path& path) {
    std::string message;
    if (!LoadProjectFile(path, message)) {
        ShowMessageBox(LoadResString(kStrProblem), message, kMsgProblem, kButtonsOk, 1);
        return false;
    }
    SetMidiProjectPresent(true);
    // The windows are refreshed and the current song's slots applied once more.
    if (TProject* project = ActiveProject()) {
        if (TSong* song = project->SongAt(CurrentSong)) {
            song->ApplySlots();
        }
    }
    return true;
}

void TMainController::SetProjectCaption(const std::filesystem::path& path) {
    caption = std::string(kProgramCaption) + " - " + FileNameOf(path);
}

bool TMainController::OpenProject(const std::filesystem::path& path) {
    if (path.empty()) {
        UpdateMenuEntries();
        return false;
    }
    views.SetBusyCursor(true);
    const bool opened = ReadProjectFile(path);
    views.SetBusyCursor(false);
    if (opened) {
        SetProjectCaption(path);
        AddRecentFile(AbsolutePath(path));
    }
    UpdateMenuEntries();
    return opened;
}

bool TMainController::OpenRecentFile(int item) {
    if (item < 0 || item >= kRecentFileCount ||
        recentFiles[static_cast<std::size_t>(item)].empty()) {
        return false;
    }
    const std::filesystem::path path = recentFiles[static_cast<std::size_t>(item)];
    views.SetBusyCursor(true);
    views.ProcessPendingMessages();
    CloseProject();
    CreateProject();
    SetMidiProjectPresent(true);
    const bool opened = ReadProjectFile(path);
    views.SetBusyCursor(false);
    if (opened) {
        SetProjectCaption(path);
    }
    UpdateMenuEntries();
    return opened;
}

bool TMainController::SaveProject() {
    TProject* project = ActiveProject();
    if (project == nullptr || project->Settings->FileName.empty()) {
        return false;
    }
    views.SetBusyCursor(true);
    CaptureCurrentPartForSaving();
    std::string message;
    const bool saved = SaveProjectFile(project->Settings->FileName, message);
    views.SetBusyCursor(false);
    if (!saved) {
        ShowMessageBox(LoadResString(kStrProblem), message, kMsgProblem, kButtonsOk, 1);
    }
    UpdateMenuEntries();
    return saved;
}

bool TMainController::SaveProjectAs(const std::filesystem::path& path) {
    bool saved = false;
    if (!path.empty() && ActiveProject() != nullptr) {
        views.SetBusyCursor(true);
        CaptureCurrentPartForSaving();
        std::string message;
        saved = SaveProjectFileAs(path, message);
        views.SetBusyCursor(false);
        if (saved) {
            SetProjectCaption(path);
        } else {
            ShowMessageBox(LoadResString(kStrProblem), message, kMsgProblem, kButtonsOk, 1);
        }
    }
    WriteMainFormSettings();
    UpdateMenuEntries();
    return saved;
}

void TMainController::CloseProject() {
    TraceStep("close project");
    asio->SetActive(false);
    Pause(kDriverSettleMs);
    slots->UnloadSlots();
    SetMidiProjectPresent(false);
    DestroyProject();
    CurrentStrips.store(nullptr, std::memory_order_release);
    UpdateMenuEntries();
    Pause(kDriverSettleMs);
    if (options.AutoStartDriver) {
        asio->SetActive(true);
    }
    caption = kProgramCaption;
}

void TMainController::ExitApp() {
    TraceStep("exit: project destroyed");
    CurrentStrips.store(nullptr, std::memory_order_release);
    SetMidiProjectPresent(false);
    DestroyProject();
}

bool TMainController::EnterPart(std::int32_t songIndex, std::int32_t partIndex) {
    TProject* project = ActiveProject();
    TSong* song = project != nullptr ? project->SongAt(songIndex) : nullptr;
    TPart* part = song != nullptr ? song->PartAt(partIndex) : nullptr;
    if (part == nullptr) {
        return false;
    }
    LeaveCurrent();
    if (songIndex != CurrentSong) {
        // The song clicked in the project window: its plugins come first.
        CurrentSong = songIndex;
        CurrentPart = -1;
        SyncRoutingPart();
        song->ApplySlots();
    }
    // The part clicked.
    CurrentPart = partIndex;
    SyncRoutingPart();
    FillConnections(*part);
    CurrentConnection = part->ConnectionCount() > 0 ? part->LastConnection : -1;
    CurrentStrips.store(part->Strips.get(), std::memory_order_release);
    views.UpdateAllMixers();
    part->ApplyState();
    return true;
}

// ---- Menu -----------------------------------------------------------------------------------

void TMainController::AddRecentFile(const std::string& path) {
    if (path == recentFiles[0]) {
        return;
    }
    for (int i = kRecentFileCount - 1; i > 0; --i) {
        recentFiles[static_cast<std::size_t>(i)] = recentFiles[static_cast<std::size_t>(i - 1)];
    }
    recentFiles[0] = path;
    UpdateMenuEntries();
}

void TMainController::UpdateMenuEntries() {
    TMenuState state;
    const TProject* project = ActiveProject();
    const bool exists = project != nullptr;
    state.Close = state.SaveAs = state.MidiSettings = state.ProjectSettings = exists;
    state.VstEffects = state.VstInstruments = state.Mixers = exists;
    state.ProjectWindow = state.Inspector = exists;
    state.Save = exists && !project->Settings->FileName.empty();
    const bool anyCurrent = CurrentSong >= 0 || CurrentPart >= 0 || CurrentConnection >= 0;
    state.Cut = state.Copy = state.Paste = exists && anyCurrent;
    for (int i = 0; i < kRecentFileCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (!recentFiles[at].empty()) {
            state.RecentCaption[at] = FileNameOf(recentFiles[at]);
            state.RecentHint[at] = recentFiles[at];
            state.RecentEnabled[at] = true;
        } else {
            state.RecentCaption[at] = "Last project " + std::to_string(i + 1);
        }
    }
    menuState = std::move(state);
}

} // namespace peldor
