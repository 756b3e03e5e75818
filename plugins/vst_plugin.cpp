#include "plugins/vst_plugin.h"

#include "i18n/message_box.h"
#include "i18n/plugins_strings.h"
#include "plugins/generic_editor.h"
#include "plugins/host_callback.h"
#include "plugins/host_values.h"
#include "plugins/plugin_fpu.h"
#include "plugins/vst_host.h"

#include <cstring>
#include <dlfcn.h>
#include <filesystem>

namespace peldor {
namespace {

/// Entry point of a library without either export: calling it raises, as a plugin that is no
/// plugin should.
vst2::AEffect* NotAPluginEntry(vst2::audioMasterCallback /*host*/) {
    throw EVstError(kErrNotValidPlugin);
}

std::string UniqueIdText(vst2::VstInt32 id) {
    const auto bits = static_cast<std::uint32_t>(id);
    std::string text(4, '\0');
    for (int i = 0; i < 4; ++i) {
        text[i] = static_cast<char>((bits >> (8 * (3 - i))) & 0xFF);
    }
    return text;
}

} // namespace

TVstPlugIn::TVstPlugIn(TVstPlugIns* owner) : collection(owner) {}

TVstPlugIn::~TVstPlugIn() {
    Dispose();
}

void TVstPlugIn::Dispose() {
    if (!dllFileName.empty()) {
        if (editVisible) {
            CloseEdit();
        }
        Unload();
    }
    if (genericEditorStyle && editorWindow != nullptr && ownedWindow == nullptr) {
        // The controls in a caller's window call back into this object.
        RemoveGenericEditor(*editorWindow, *genericEditorStyle);
        genericEditorStyle.reset();
    }
    DestroyOwnedWindow();
}

std::int32_t TVstPlugIn::Index() const noexcept {
    return collection != nullptr ? collection->IndexOf(this) : -1;
}

// ---- Life cycle -----------------------------------------------------------------------------

bool TVstPlugIn::LoadLibraryModule(const std::string& fileName) {
    lastLoadError.clear();
    // dlopen searches the library path for a name without a slash; a plugin is a file.
    const std::string path = fileName.find('/') == std::string::npos ? "./" + fileName : fileName;
    const TFpuControlState fpu = SaveFpuControlState();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    RestoreFpuControlState(fpu);
    module = handle;
    entryPoint = nullptr;
    if (handle == nullptr) {
        const char* reason = dlerror();
        lastLoadError = reason != nullptr ? reason : "cannot load " + fileName;
        ShowMessageBox(LoadResString(kStrGetLastErrorTitle), lastLoadError, kMsgNotice, kButtonsOk,
                       1);
        return false;
    }
    void* symbol = dlsym(handle, "main");
    if (symbol == nullptr) {
        symbol = dlsym(handle, "VSTPluginMain");
    }
    if (symbol == nullptr) {
        entryPoint = &NotAPluginEntry;
        lastLoadError = "exports neither \"main\" nor \"VSTPluginMain\"";
        return false;
    }
    entryPoint = reinterpret_cast<vst2::VstPluginMainProc>(symbol);
    return true;
}

vst2::AEffect* TVstPlugIn::CallEntryPoint() {
    if (entryPoint == nullptr) {
        return nullptr;
    }
    PreparePluginFpu();
    return entryPoint(&HostCallback);
}

bool TVstPlugIn::Load(const std::string& fileName) {
    try {
        Unload();
        entryPoint = nullptr;
        std::error_code ec;
        if (!std::filesystem::exists(fileName, ec)) {
            throw EVstError("File " + fileName + " does not exists");
        }
        if (!LoadLibraryModule(fileName)) {
            const std::string reason = lastLoadError;
            Unload();
            lastLoadError = reason;
            return false;
        }
        effect = entryPoint != nullptr ? entryPoint(&HostCallback) : nullptr;
        if (effect == nullptr) {
            Unload();
            lastLoadError = "the entry function returned no effect";
            return false;
        }
        if (OnAfterLoad) {
            OnAfterLoad(*this);
        }
        active = true;
        dllFileName = fileName;
        return true;
    } catch (const std::exception& error) {
        Unload();
        lastLoadError = error.what();
        return false;
    } catch (...) {
        Unload();
        lastLoadError = "the entry function raised an exception";
        return false;
    }
}

void TVstPlugIn::SetActive(bool value) {
    if (value == active) {
        return;
    }
    if (value) {
        Open();
    } else {
        Close();
    }
}

void TVstPlugIn::Open() {
    if (effect == nullptr) {
        Load(dllFileName);
    } else {
        dllFileName.clear();
    }
    PreparePluginFpu();
    editVisible = false;
    needIdle = false;
    vst2::AEffect* const e = effect;
    if (e == nullptr) {
        throw EVstError(kErrNotValidPlugin);
    }
    if (e->magic != vst2::kEffectMagic) {
        // Whatever this record is, its function pointers must not be called: leave the object
        // closed, so a later Close does not send effClose to it.
        active = false;
        effect = nullptr;
        throw EVstError(kErrNoMagic);
    }
    if (e->uniqueID == 0) {
        std::string name;
        for (int i = 0; i < kMaxShellPlugins && ShellGetNextPlugin(name) != 0; ++i) {
        }
    }
    Dispatch(vst2::effOpen);
    CanDo(vst2::kCanDoBypass);
    SetSampleRate(HostSampleRate);
    SetBlockSize(HostBlockSize);
    SetBypass(false);

    active = true;
    uniqueIdText = UniqueIdText(e->uniqueID);
    version = e->version;
    pluginVstVersion = GetVstVersion();
    plugCategory = static_cast<TPlugCategory>(GetPlugCategory() & 0xFF);
    numInputsValue = e->numInputs;
    numOutputsValue = e->numOutputs;
    numProgramsValue = e->numPrograms;
    numParamsValue = e->numParams;

    MainsChanged(true);
}

void TVstPlugIn::Close() {
    if (editVisible) {
        CloseEdit();
    }
    if (active) {
        Dispatch(vst2::effClose);
        effect = nullptr;
    }
    active = false;
    version = 0;
    plugCategory = TPlugCategory::kpcUnknown;
    numInputsValue = 0;
    numOutputsValue = 0;
    numProgramsValue = 0;
    numParamsValue = 0;
    channels.Release();
}

void TVstPlugIn::Unload() {
    try {
        CloseEdit();
        Close();
    } catch (...) {
    }
    numInputsValue = -1;
    numOutputsValue = -1;
    numProgramsValue = -1;
    version = -1;
    uniqueIdText.clear();
    if (module != nullptr) {
        dlclose(module);
        module = nullptr;
    }
    effect = nullptr;
}

// ---- Properties -----------------------------------------------------------------------------

void TVstPlugIn::SetGUIStyle(TGUIStyle style) {
    if (editVisible) {
        throw EVstError(kErrCloseEditorFirst);
    }
    guiStyle = style;
}

void TVstPlugIn::SetEditorWindow(IEditorWindow* window) {
    if (ownedWindow != nullptr && ownedWindow.get() != window) {
        DestroyOwnedWindow();
    }
    editorWindow = window;
}

void TVstPlugIn::DestroyOwnedWindow() {
    if (ownedWindow == nullptr) {
        return;
    }
    if (editorWindow == ownedWindow.get()) {
        editorWindow = nullptr;
        genericEditorStyle.reset();
    }
    ownedWindow.reset();
}

std::int32_t TVstPlugIn::EffectOptions() const noexcept {
    const vst2::AEffect* e = effect;
    return e != nullptr ? (e->flags & 0xFFFF) : 0;
}

std::int32_t TVstPlugIn::InitialDelay() const noexcept {
    const vst2::AEffect* e = effect;
    return e != nullptr ? e->initialDelay : 0;
}

// ---- Dispatcher -----------------------------------------------------------------------------

vst2::VstIntPtr TVstPlugIn::Dispatch(vst2::VstInt32 opcode, vst2::VstInt32 index,
                                     vst2::VstIntPtr value, void* ptr, float opt) noexcept {
    PreparePluginFpu();
    vst2::AEffect* const e = effect;
    if (e == nullptr || e->dispatcher == nullptr) {
        return 0;
    }
    try {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    } catch (...) {
        dispatchFaults = dispatchFaults + 1;
        return 0;
    }
}

std::string TVstPlugIn::QueryText(vst2::VstInt32 opcode, vst2::VstInt32 index, bool takeOnZero) {
    if (!active) {
        return {};
    }
    char buffer[kPluginTextBufferSize] = {};
    const vst2::VstIntPtr answer = Dispatch(opcode, index, 0, buffer, 0.0f);
    if ((answer == 0) != takeOnZero) {
        return {};
    }
    return std::string(buffer, strnlen(buffer, kMaxPluginText));
}

std::int32_t TVstPlugIn::ProgramNr() {
    programCache = active ? static_cast<std::int32_t>(Dispatch(vst2::effGetProgram)) : -1;
    return programCache;
}

void TVstPlugIn::SetProgramNr(std::int32_t n) {
    if (!active) {
        return;
    }
    Dispatch(vst2::effSetProgram, 0, n);
    programCache = n;
}

std::string TVstPlugIn::ProgramName() {
    return QueryText(vst2::effGetProgramName, 0, true);
}

void TVstPlugIn::SetProgramName(const std::string& name) {
    if (!active) {
        return;
    }
    std::string text = name;
    Dispatch(vst2::effSetProgramName, 0, 0, text.data());
}

std::string TVstPlugIn::GetParamLabel(std::int32_t index) {
    return QueryText(vst2::effGetParamLabel, index, true);
}

std::string TVstPlugIn::GetParamDisplay(std::int32_t index) {
    return QueryText(vst2::effGetParamDisplay, index, true);
}

std::string TVstPlugIn::GetParamName(std::int32_t index) {
    return QueryText(vst2::effGetParamName, index, true);
}

void TVstPlugIn::SetSampleRate(float rate) {
    Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, rate);
}

void TVstPlugIn::PrepareChannels(std::int32_t frames) {
    const vst2::AEffect* e = effect;
    if (e == nullptr) {
        return;
    }
    channels.Prepare(e->numInputs, e->numOutputs, frames > 0 ? frames : kDefaultHostBlockSize);
}

void TVstPlugIn::SetBlockSize(std::int32_t n) {
    Dispatch(vst2::effSetBlockSize, 0, n);
    PrepareChannels(n);
}

void TVstPlugIn::MainsChanged(bool on) {
    Dispatch(vst2::effMainsChanged, 0, on ? 1 : 0);
}

TEditRect TVstPlugIn::EditGetRect() {
    if (!active) {
        return kFallbackEditRect;
    }
    vst2::ERect* rect = nullptr;
    Dispatch(vst2::effEditGetRect, 0, 0, &rect);
    if (rect == nullptr) {
        return kFallbackEditRect;
    }
    return TEditRect{rect->top, rect->left, rect->bottom, rect->right};
}

void TVstPlugIn::EditOpen(TWindowHandle handle) {
    if (handle == 0) {
        // No native window to embed into: a plugin would open a window of its own or fail.
        editVisible = false;
        return;
    }
    editVisible = Dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(handle)) > 0;
}

void TVstPlugIn::EditClose() {
    if (editVisible) {
        Dispatch(vst2::effEditClose);
    }
    editVisible = false;
}

vst2::VstIntPtr TVstPlugIn::EditIdle() {
    // The generic editor counts as visible too; it is ours and needs no idle calls.
    return editVisible && (EffectOptions() & vst2::effFlagsHasEditor) != 0 && !genericEditorStyle
               ? Dispatch(vst2::effEditIdle)
               : 0;
}

void TVstPlugIn::EditTop() {
    if (editVisible && !genericEditorStyle) {
        Dispatch(vst2::effEditTop);
    }
}

void TVstPlugIn::EditSleep() {
    if (editVisible && !genericEditorStyle) {
        Dispatch(vst2::effEditSleep);
    }
}

std::int32_t TVstPlugIn::GetChunk(void** data, bool isPreset) {
    return static_cast<std::int32_t>(Dispatch(vst2::effGetChunk, isPreset ? 1 : 0, 0, data));
}

vst2::VstIntPtr TVstPlugIn::SetChunk(void* data, std::int32_t size, bool isPreset) {
    return Dispatch(vst2::effSetChunk, isPreset ? 1 : 0, size, data);
}

vst2::VstIntPtr TVstPlugIn::ProcessEvents(vst2::VstEvents* events) noexcept {
    return Dispatch(vst2::effProcessEvents, 0, 0, events);
}

vst2::VstIntPtr TVstPlugIn::ConnectInput(std::int32_t input, bool state) {
    return active ? Dispatch(vst2::effConnectInput, input, state ? 1 : 0) : -1;
}

vst2::VstIntPtr TVstPlugIn::ConnectOutput(std::int32_t output, bool state) {
    return active ? Dispatch(vst2::effConnectOutput, output, state ? 1 : 0) : -1;
}

std::int32_t TVstPlugIn::GetPlugCategory() {
    return active ? static_cast<std::int32_t>(Dispatch(vst2::effGetPlugCategory)) : -1;
}

vst2::VstIntPtr TVstPlugIn::SetBlockSizeAndSampleRate(std::int32_t n, float rate) {
    const vst2::VstIntPtr answer =
        Dispatch(vst2::effSetBlockSizeAndSampleRate, 0, n, nullptr, rate);
    PrepareChannels(n);
    return answer;
}

vst2::VstIntPtr TVstPlugIn::SetBypass(bool on) {
    return Dispatch(vst2::effSetBypass, 0, on ? 1 : 0);
}

std::string TVstPlugIn::GetEffectName() {
    return QueryText(vst2::effGetEffectName, 0, false);
}

std::string TVstPlugIn::VendorString() {
    return QueryText(vst2::effGetVendorString, 0, false);
}

std::string TVstPlugIn::ProductString() {
    return QueryText(vst2::effGetProductString, 0, false);
}

std::int32_t TVstPlugIn::VendorVersion() {
    return active ? static_cast<std::int32_t>(Dispatch(vst2::effGetVendorVersion)) : -1;
}

vst2::VstIntPtr TVstPlugIn::CanDo(const char* text) noexcept {
    return Dispatch(vst2::effCanDo, 0, 0, const_cast<char*>(text));
}

vst2::VstIntPtr TVstPlugIn::Idle() {
    return needIdle ? Dispatch(vst2::effIdle) : 0;
}

std::int32_t TVstPlugIn::GetVstVersion() {
    return active ? static_cast<std::int32_t>(Dispatch(vst2::effGetVstVersion)) : -1;
}

vst2::VstIntPtr TVstPlugIn::GetMidiProgramCategory(vst2::MidiProgramCategory* category) {
    return active ? Dispatch(vst2::effGetMidiProgramCategory, 0, 0, category) : 0;
}

std::int32_t TVstPlugIn::ShellGetNextPlugin(std::string& name) {
    return active ? ShellGetNextPluginUnchecked(name) : 0;
}

std::int32_t TVstPlugIn::ShellGetNextPluginUnchecked(std::string& name) {
    char buffer[kPluginTextBufferSize] = {};
    const auto id = static_cast<std::int32_t>(Dispatch(vst2::effShellGetNextPlugin, 0, 0, buffer));
    if (id != 0) {
        name.assign(buffer, strnlen(buffer, kMaxPluginText));
    }
    return id;
}

// ---- Audio ----------------------------------------------------------------------------------

void TVstPlugIn::SetParameter(std::int32_t index, float value) noexcept {
    vst2::AEffect* const e = effect;
    if (e != nullptr && e->setParameter != nullptr) {
        e->setParameter(e, index, value);
    }
}

float TVstPlugIn::GetParameter(std::int32_t index) noexcept {
    vst2::AEffect* const e = effect;
    if (e != nullptr && e->getParameter != nullptr) {
        return e->getParameter(e, index);
    }
    return 0.0f;
}

void TVstPlugIn::Process(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept {
    vst2::AEffect* const e = effect;
    if (e != nullptr && e->process != nullptr) {
        e->process(e, inputs, outputs, sampleFrames);
    }
}

void TVstPlugIn::ProcessReplacing(float** inputs, float** outputs,
                                  std::int32_t sampleFrames) noexcept {
    channels.Process(effect, inputs, outputs, sampleFrames);
}

void TVstPlugIn::ProcessDoubleReplacing(double** inputs, double** outputs,
                                        std::int32_t sampleFrames) noexcept {
    vst2::AEffect* const e = effect;
    if (e != nullptr && e->processDoubleReplacing != nullptr) {
        e->processDoubleReplacing(e, inputs, outputs, sampleFrames);
    }
}

// ---- Editor ---------------------------------------------------------------------------------

void TVstPlugIn::ShowEdit() {
    if (editorWindow == nullptr) {
        ownedWindow = EditorWindowFactory().CreateToolWindow();
        editorWindow = ownedWindow.get();
        std::string caption = VendorString() + " - " + ProductString();
        editorWindow->OnClose = [this]() {
            CloseEdit();
            // Without an effect CloseEdit leaves the window alone; it goes all the same.
            DestroyOwnedWindow();
            editorWindow = nullptr;
        };
        editorWindow->OnActivate = [this]() { EditTop(); };
        editorWindow->OnDeactivate = [this]() { EditSleep(); };
        if (caption == " - ") {
            caption = GetEffectName();
        }
        editorWindow->SetCaption(caption);
        EditOpenIn(editorWindow);
        // Without a native window (headless) the plugin's own editor is never asked for.
        const bool ownEditor =
            (EffectOptions() & vst2::effFlagsHasEditor) != 0 && editorWindow->Handle() != 0;
        const TEditRect rect = ownEditor ? EditGetRect() : kFallbackEditRect;
        editorWindow->SetClientSize(rect.right - rect.left, rect.bottom - rect.top);
    }
    editorWindow->Show();
}

void TVstPlugIn::EditOpenIn(IEditorWindow* window) {
    if (window == nullptr) {
        return;
    }
    const bool ownEditor = (EffectOptions() & vst2::effFlagsHasEditor) != 0;
    if (ownEditor && !genericEditorStyle) {
        if (!editVisible) {
            EditOpen(window->Handle());
            editorParent = window->Handle();
            EditIdle();
        }
    }
    const bool fallBack = ownEditor && !editVisible && window->FallsBackToGenericEditor();
    if (!ownEditor || fallBack) {
        if (genericEditorStyle && editorWindow != nullptr) {
            RemoveGenericEditor(*editorWindow, *genericEditorStyle);
        }
        if (ownedWindow != nullptr && ownedWindow.get() != window) {
            DestroyOwnedWindow();
        }
        editorWindow = window;
        BuildGenericEditor(*this, *window, guiStyle);
        genericEditorStyle = guiStyle;
        editVisible = true;
    }
    if (OnShowEdit) {
        OnShowEdit(*this, editorWindow);
    }
}

void TVstPlugIn::CloseEdit() {
    if (effect == nullptr) {
        return;
    }
    if (OnCloseEdit) {
        OnCloseEdit(*this);
    }
    if (genericEditorStyle) {
        // The plugin's own editor was never opened when the generic one stands in for it.
        if (editorWindow != nullptr) {
            RemoveGenericEditor(*editorWindow, *genericEditorStyle);
        }
        genericEditorStyle.reset();
    } else if (EffectOptions() & vst2::effFlagsHasEditor) {
        EditClose();
    }
    if (editorWindow != nullptr && ownedWindow != nullptr) {
        DestroyOwnedWindow();
    }
    editVisible = false;
}

// ---- Copying --------------------------------------------------------------------------------

void TVstPlugIn::Assign(TVstPlugIn& source) {
    DisplayName = source.DisplayName;
    ReplaceOrAccumulate = source.ReplaceOrAccumulate;
    CurrentProcessLevel = source.CurrentProcessLevel;
    AutomationState = source.AutomationState;
    OnAfterLoad = source.OnAfterLoad;
    OnShowEdit = source.OnShowEdit;
    OnCloseEdit = source.OnCloseEdit;
    OnProcessEvents = source.OnProcessEvents;
    OnAudioMasterAutomate = source.OnAudioMasterAutomate;
    OnAudioMasterIdle = source.OnAudioMasterIdle;
    OnAudioMasterNeedIdle = source.OnAudioMasterNeedIdle;
    OnAudioMasterWantMidi = source.OnAudioMasterWantMidi;
    OnAudioMasterIOChanged = source.OnAudioMasterIOChanged;
    OnAudioMasterOfflineStart = source.OnAudioMasterOfflineStart;
    OnAudioMasterOfflineRead = source.OnAudioMasterOfflineRead;
    OnAudioMasterOfflineWrite = source.OnAudioMasterOfflineWrite;
    OnAudioMasterOfflineGetCurrentPass = source.OnAudioMasterOfflineGetCurrentPass;
    OnAudioMasterOfflineGetCurrentMetaPass = source.OnAudioMasterOfflineGetCurrentMetaPass;
    OnAudioMasterSetOutputSampleRate = source.OnAudioMasterSetOutputSampleRate;
    OnAudioMasterUpdateDisplay = source.OnAudioMasterUpdateDisplay;
    OnAudioMasterBeginEdit = source.OnAudioMasterBeginEdit;
    OnAudioMasterEndEdit = source.OnAudioMasterEndEdit;
    OnAudioMasterPinConnected = source.OnAudioMasterPinConnected;
    OnVendorSpecific = source.OnVendorSpecific;
    dllFileName = source.dllFileName;
    SetActive(true);
    SetProgramNr(source.ProgramNr());
    void* bank = nullptr;
    const std::int32_t size = source.GetChunk(&bank, false);
    if (size > 0 && bank != nullptr) {
        SetChunk(bank, size, false);
    }
}

} // namespace peldor
