#pragma once
// TVstPlugIn: one VST 2 plugin library that is or was loaded. It loads the library, obtains the
// plugin's AEffect from the entry function, drives the plugin through its dispatcher, calls its
// audio functions for the engine and opens its editor.
//
// States: empty (no library, no effect), open (library, effect, Active), editor open (open and
// EditVisible), closed (library loaded, no effect, not Active).
//
// Threads: everything runs on the window thread except the audio operations (CanDo,
// ProcessEvents, ProcessReplacing and their siblings, SetParameter, GetParameter), which the
// engine calls from the driver's callback thread. The slot loaders stop the driver before they
// load, close or unload a plugin object, so the two never overlap on one object.

#include "engine/engine_plugin.h"
#include "engine/relaxed.h"
#include "plugins/channel_adapter.h"
#include "plugins/editor_window.h"
#include "vst2/vst2_abi.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace peldor {

class TVstPlugIns;

enum class TPlugCategory : std::uint8_t {
    kpcUnknown,
    kpcEffect,
    kpcSynth,
    kpcAnalysis,
    kpcMastering,
    kpcSpacializer,
    kpcRoomFx,
    kpcSurroundFx,
    kpcRestoration,
    kpcOfflineProcess,
    kpcShell,
    kpcGenerator,
};

enum class TReplaceOrAccumulate { roa0NotSupported, roa1Replace, roa2Accumulate };
enum class TCurrentProcessLevel {
    cpl0NotSupported,
    cpl1UserThread,
    cpl2AudioThread,
    cpl3Sequencer,
    cpl4OfflineProcessing,
};
enum class TAutomationState { as0NotSupported, as1Off, as2Read, as3Write, as4ReadWrite };
/// Layout of the generic editor shown for plugins without an editor of their own.
enum class TGUIStyle { gsOld, gsList };

/// An editor rectangle as the plugin reports it.
struct TEditRect {
    std::int16_t top = 0;
    std::int16_t left = 0;
    std::int16_t bottom = 0;
    std::int16_t right = 0;
    bool operator==(const TEditRect&) const = default;
};
/// What EditGetRect gives when the plugin is not Active or reports no rectangle: 200 x 80.
inline constexpr TEditRect kFallbackEditRect{0, 0, 80, 200};

/// Raised by Open (and GUIStyle) with one of the texts below.
class EVstError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
inline constexpr const char* kErrNotValidPlugin = "This is not a valid Vst Plugin!";
inline constexpr const char* kErrNoMagic = "There is no magic in it... failed!";
inline constexpr const char* kErrCloseEditorFirst = "Close Editor first!";

/// Text buffers handed to plugins: zero-filled, with room to spare for plugins that ignore the
/// interface's length limits. At most kMaxPluginText characters are taken from them.
inline constexpr int kPluginTextBufferSize = 1024;
inline constexpr int kMaxPluginText = 255;

/// A shell library reporting more sub-plugins than this is taken to be looping forever.
inline constexpr int kMaxShellPlugins = 4096;

class TVstPlugIn;
using TVstNotifyEvent = std::function<void(TVstPlugIn& sender)>;
using TVstShowEditEvent = std::function<void(TVstPlugIn& sender, IEditorWindow* form)>;
using TVstProcessEventsEvent = std::function<void(TVstPlugIn& sender, vst2::VstEvents* events)>;
using TVstAutomateEvent =
    std::function<void(TVstPlugIn& sender, std::int32_t paramIndex, std::int32_t paramValue)>;
using TVstOfflineEvent = std::function<void(TVstPlugIn& sender, void* offlineTask)>;
using TVstSampleRateChangedEvent = std::function<void(TVstPlugIn& sender, float sampleRate)>;
using TVstAutomationNotifyEvent =
    std::function<void(TVstPlugIn& sender, std::int32_t parameterIndex)>;
using TVstPinConnectedEvent =
    std::function<bool(TVstPlugIn& sender, std::int32_t pinNr, bool isInput)>;
using TVendorSpecificEvent = std::function<std::int32_t(std::int32_t opcode, std::int32_t index,
                                                        std::int32_t value, void* ptr, float opt)>;

class TVstPlugIn final : public IEnginePlugin {
public:
    /// A new empty object; collection is the owner (null for a free-standing object).
    explicit TVstPlugIn(TVstPlugIns* collection = nullptr);
    /// With a DLLFileName: closes the editor and unloads. Destroys an editor window it owns.
    ~TVstPlugIn() override;
    TVstPlugIn(const TVstPlugIn&) = delete;
    TVstPlugIn& operator=(const TVstPlugIn&) = delete;

    /// Position in the owning collection, -1 without one.
    std::int32_t Index() const noexcept;

    // ---- Life cycle (window thread) ---------------------------------------------------------

    /// Unloads, then loads the library and calls its entry function (without FPU preparation).
    /// Sets Active (the field only) and DLLFileName on success. Every failure, an exception in
    /// the entry function included, gives false and leaves the object empty. Shows the
    /// "GetLastError" message box when the system cannot load the file.
    bool Load(const std::string& fileName);
    /// Closes the editor and the plugin, releases the library. numInputs, numOutputs,
    /// numPrograms and Version read -1 afterwards; numParams keeps its value.
    void Unload();
    /// True from a successful Load or Open until Close. Any thread.
    bool Active() const noexcept override { return active; }
    /// true: Open, false: Close; the value it already has does nothing. Open raises EVstError
    /// ("This is not a valid Vst Plugin!", "There is no magic in it... failed!").
    void SetActive(bool value);

    /// Loads the library only (dlopen, then the export "main", else "VSTPluginMain") and sets
    /// Module and the entry point. A Module already held is overwritten, not released (the
    /// plugin scan keeps every library it reads). On failure LastLoadError says why.
    bool LoadLibraryModule(const std::string& fileName);
    /// Why the last LoadLibraryModule or Load failed; empty after success.
    const std::string& LastLoadError() const noexcept { return lastLoadError; }
    /// Calls the entry function with the host callback after preparing the FPU, as the scan
    /// and the shell effect loader do. Null without an entry function; exceptions from the
    /// plugin propagate.
    vst2::AEffect* CallEntryPoint();
    /// Places an effect obtained by the caller; Open then uses it and loads nothing.
    void PlaceEffect(vst2::AEffect* placed) noexcept { effect = placed; }

    // ---- Fields and properties ---------------------------------------------------------------

    void* Module() const noexcept { return module; }
    /// Any thread.
    vst2::AEffect* Effect() const noexcept { return effect; }
    const std::string& DLLFileName() const noexcept { return dllFileName; }
    /// Stores the text only.
    void SetDLLFileName(const std::string& fileName) { dllFileName = fileName; }
    TWindowHandle EditorParent() const noexcept { return editorParent; }
    /// Any thread: the window thread changes it, plugins' idle requests read it.
    bool EditVisible() const noexcept { return editVisible; }
    /// Set by the host callback when the plugin asks for idle; gates Idle. Any thread.
    bool NeedIdle() const noexcept { return needIdle; }
    void SetNeedIdle(bool value) noexcept { needIdle = value; }
    /// Idle requests (audioMasterIdle, audioMasterNeedIdle) the plugin made on the driver's
    /// callback thread, where they are not answered: the window thread's next idle pass answers
    /// them (see RaiseDeferredIdleRequests). Bits of kDeferredIdle*. Any thread.
    static constexpr std::uint8_t kDeferredIdle = 1;
    static constexpr std::uint8_t kDeferredNeedIdle = 2;
    void DeferIdleRequest(std::uint8_t request) noexcept {
        deferredIdle.fetch_or(request, std::memory_order_relaxed);
    }
    /// The deferred requests, cleared. Window thread.
    std::uint8_t TakeDeferredIdleRequests() noexcept {
        return deferredIdle.exchange(0, std::memory_order_relaxed);
    }
    std::int32_t numInputs() const noexcept { return numInputsValue; }
    std::int32_t numOutputs() const noexcept { return numOutputsValue; }
    std::int32_t numPrograms() const noexcept { return numProgramsValue; }
    std::int32_t numParams() const noexcept { return numParamsValue; }
    std::int32_t Version() const noexcept { return version; }
    /// The effect's uniqueID as four characters, most significant byte first.
    const std::string& uID() const noexcept { return uniqueIdText; }
    std::int32_t PluginVstVersion() const noexcept { return pluginVstVersion; }
    TPlugCategory PlugCategory() const noexcept { return plugCategory; }
    bool OwnsEditorWindow() const noexcept { return ownedWindow != nullptr; }
    TGUIStyle GUIStyle() const noexcept { return guiStyle; }
    /// Raises "Close Editor first!" while EditVisible.
    void SetGUIStyle(TGUIStyle style);
    IEditorWindow* EditorWindow() const noexcept { return editorWindow; }
    /// A window of the caller's (a slot window); the object does not own it. A window the
    /// object created itself is destroyed first.
    void SetEditorWindow(IEditorWindow* window);
    /// The effect's flags word (low 16 bits), 0 without an effect.
    std::int32_t EffectOptions() const noexcept;
    /// The effect's initialDelay, 0 without an effect.
    std::int32_t InitialDelay() const noexcept;
    /// Exceptions caught inside the plugin's dispatcher since the object was created.
    std::int32_t DispatchFaults() const noexcept { return dispatchFaults; }

    std::string DisplayName;
    TReplaceOrAccumulate ReplaceOrAccumulate = TReplaceOrAccumulate::roa0NotSupported;
    TCurrentProcessLevel CurrentProcessLevel = TCurrentProcessLevel::cpl0NotSupported;
    TAutomationState AutomationState = TAutomationState::as0NotSupported;

    // Handlers; the host callback raises the OnAudioMaster... ones on the plugin's thread.
    TVstNotifyEvent OnAfterLoad;
    TVstShowEditEvent OnShowEdit;
    TVstNotifyEvent OnCloseEdit;
    TVstProcessEventsEvent OnProcessEvents;
    TVstAutomateEvent OnAudioMasterAutomate;
    TVstNotifyEvent OnAudioMasterIdle;
    TVstNotifyEvent OnAudioMasterNeedIdle;
    TVstNotifyEvent OnAudioMasterWantMidi;
    TVstNotifyEvent OnAudioMasterIOChanged;
    TVstNotifyEvent OnAudioMasterOfflineStart;
    TVstOfflineEvent OnAudioMasterOfflineRead;
    TVstOfflineEvent OnAudioMasterOfflineWrite;
    TVstNotifyEvent OnAudioMasterOfflineGetCurrentPass;
    TVstNotifyEvent OnAudioMasterOfflineGetCurrentMetaPass;
    TVstSampleRateChangedEvent OnAudioMasterSetOutputSampleRate;
    TVstNotifyEvent OnAudioMasterUpdateDisplay;
    TVstAutomationNotifyEvent OnAudioMasterBeginEdit;
    TVstAutomationNotifyEvent OnAudioMasterEndEdit;
    TVstPinConnectedEvent OnAudioMasterPinConnected;
    TVendorSpecificEvent OnVendorSpecific;

    // ---- Dispatcher --------------------------------------------------------------------------

    /// Prepares the FPU, then calls the effect's dispatcher and returns its answer; 0 without
    /// an effect. An exception inside the plugin is caught and read as 0. Any thread; makes no
    /// allocation of its own.
    vst2::VstIntPtr Dispatch(vst2::VstInt32 opcode, vst2::VstInt32 index = 0,
                             vst2::VstIntPtr value = 0, void* ptr = nullptr,
                             float opt = 0.0f) noexcept;

    // The rest run on the window thread unless noted. "Requires Active": while not Active the
    // plugin is not called and the stated fallback is returned.

    /// effGetProgram; requires Active, else -1. The answer (or -1) is cached.
    std::int32_t ProgramNr();
    /// effSetProgram; requires Active (else nothing, the cache untouched). Caches n.
    void SetProgramNr(std::int32_t n);
    /// The last program set or read through ProgramNr.
    std::int32_t CachedProgramNr() const noexcept { return programCache; }
    /// effGetProgramName; requires Active, else empty; taken when the plugin answers 0.
    std::string ProgramName();
    /// effSetProgramName; requires Active.
    void SetProgramName(const std::string& name);
    /// effGetParamLabel / effGetParamDisplay / effGetParamName; require Active, else empty;
    /// the text is taken when the plugin answers 0.
    std::string GetParamLabel(std::int32_t index);
    std::string GetParamDisplay(std::int32_t index);
    std::string GetParamName(std::int32_t index);
    /// effSetSampleRate.
    void SetSampleRate(float rate);
    /// effSetBlockSize; also sizes the channel adapter's buffers for n frames.
    void SetBlockSize(std::int32_t n);
    /// effMainsChanged with 1 or 0.
    void MainsChanged(bool on);
    /// effEditGetRect; requires Active. kFallbackEditRect when not Active or when the plugin
    /// stores no rectangle.
    TEditRect EditGetRect();
    /// effEditOpen with the window handle; EditVisible := answer > 0. A handle of 0 (no
    /// native window, as headless) is not sent and leaves EditVisible false.
    void EditOpen(TWindowHandle handle);
    /// effEditClose when EditVisible; EditVisible := false in every case.
    void EditClose();
    /// effEditIdle while the plugin's own editor is open (EditVisible), else 0.
    vst2::VstIntPtr EditIdle();
    /// effEditTop / effEditSleep when EditVisible.
    void EditTop();
    void EditSleep();
    /// effGetChunk: the plugin points *data at its chunk; returns the size in bytes.
    /// isPreset: true for the current program, false for the bank.
    std::int32_t GetChunk(void** data, bool isPreset);
    /// effSetChunk; the plugin's answer.
    vst2::VstIntPtr SetChunk(void* data, std::int32_t size, bool isPreset);
    /// effProcessEvents. Driver callback thread.
    vst2::VstIntPtr ProcessEvents(vst2::VstEvents* events) noexcept override;
    /// effConnectInput / effConnectOutput; require Active, else -1.
    vst2::VstIntPtr ConnectInput(std::int32_t input, bool state);
    vst2::VstIntPtr ConnectOutput(std::int32_t output, bool state);
    /// effGetPlugCategory; requires Active, else -1.
    std::int32_t GetPlugCategory();
    /// effSetBlockSizeAndSampleRate; also sizes the channel adapter's buffers for n frames.
    vst2::VstIntPtr SetBlockSizeAndSampleRate(std::int32_t n, float rate);
    /// effSetBypass with 1 or 0.
    vst2::VstIntPtr SetBypass(bool on);
    /// effGetEffectName / effGetVendorString / effGetProductString; require Active, else
    /// empty; the text is taken when the plugin answers non-zero.
    std::string GetEffectName();
    std::string VendorString();
    std::string ProductString();
    /// effGetVendorVersion; requires Active, else -1.
    std::int32_t VendorVersion();
    /// effCanDo: 1 yes, 0 don't know, -1 no. Driver callback thread too; no allocation.
    vst2::VstIntPtr CanDo(const char* text) noexcept override;
    /// effIdle when NeedIdle, else 0.
    vst2::VstIntPtr Idle();
    /// effGetVstVersion; requires Active, else -1.
    std::int32_t GetVstVersion();
    /// effGetMidiProgramCategory with the caller's record; requires Active, else 0.
    vst2::VstIntPtr GetMidiProgramCategory(vst2::MidiProgramCategory* category);
    /// effShellGetNextPlugin; requires Active, else 0. name is set when the answer is not 0.
    std::int32_t ShellGetNextPlugin(std::string& name);
    /// The same without the Active test, as the plugin scan asks a shell it never opens.
    std::int32_t ShellGetNextPluginUnchecked(std::string& name);

    // ---- Audio (driver callback thread; no FPU preparation, no exception guard) --------------

    /// Forwarded to the effect; nothing (0.0) without an effect.
    void SetParameter(std::int32_t index, float value) noexcept;
    float GetParameter(std::int32_t index) noexcept;
    /// The accumulating process, forwarded unchanged.
    void Process(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept;
    /// processReplacing with the engine's stereo pairs (inputs null for an instrument, else
    /// two; two outputs), fitted to the plugin's own channel counts (see TChannelAdapter).
    void ProcessReplacing(float** inputs, float** outputs,
                          std::int32_t sampleFrames) noexcept override;
    /// Forwarded unchanged.
    void ProcessDoubleReplacing(double** inputs, double** outputs,
                                std::int32_t sampleFrames) noexcept;

    // ---- Editor (window thread) --------------------------------------------------------------

    /// Shows the editor in a window of the object's own, creating it (and opening the editor in
    /// it) when there is no EditorWindow yet.
    void ShowEdit();
    /// Opens the plugin's editor in window, or builds the generic editor there for plugins
    /// without one. A plugin whose own editor cannot be opened in a window that falls back
    /// (IEditorWindow::FallsBackToGenericEditor) gets the generic editor too. Raises OnShowEdit.
    void EditOpenIn(IEditorWindow* window);
    /// The generic editor stands in the editor window (for a plugin without an editor of its
    /// own, or as the fallback).
    bool GenericEditorShown() const noexcept { return genericEditorStyle.has_value(); }
    /// Closes the editor (or removes the generic editor) and destroys a window the object owns;
    /// a window of the caller's stays assigned. Nothing happens without an effect.
    void CloseEdit();

    /// Copies display name, the three state enumerations, the handlers and DLLFileName, then
    /// opens this object, takes over the program number and moves the bank chunk across.
    void Assign(TVstPlugIn& source);

private:
    friend class TVstPlugIns;

    void Open();
    void Close();
    /// The destructor's work, run while the object is still in its collection.
    void Dispose();
    std::string QueryText(vst2::VstInt32 opcode, vst2::VstInt32 index, bool takeOnZero);
    void PrepareChannels(std::int32_t frames);
    void DestroyOwnedWindow();

    TVstPlugIns* collection;
    void* module = nullptr;
    vst2::VstPluginMainProc entryPoint = nullptr;
    TWindowHandle editorParent = 0;
    Relaxed<bool> editVisible{false};
    Relaxed<bool> needIdle{false};
    std::atomic<std::uint8_t> deferredIdle{0};
    Relaxed<bool> active{false};
    std::int32_t numInputsValue = 0;
    std::int32_t numOutputsValue = 0;
    std::int32_t numProgramsValue = 0;
    std::int32_t numParamsValue = 0;
    std::int32_t version = 0;
    std::int32_t programCache = 0;
    std::string uniqueIdText;
    std::int32_t pluginVstVersion = -1;
    TPlugCategory plugCategory = TPlugCategory::kpcUnknown;
    std::string dllFileName;
    TGUIStyle guiStyle = TGUIStyle::gsOld;
    Relaxed<vst2::AEffect*> effect{nullptr};
    IEditorWindow* editorWindow = nullptr;
    std::unique_ptr<IEditorWindow> ownedWindow;
    /// Style of the generic editor currently built in editorWindow, if any.
    std::optional<TGUIStyle> genericEditorStyle;
    std::string lastLoadError;
    Relaxed<std::int32_t> dispatchFaults{0};
    TChannelAdapter channels;
};

} // namespace peldor
