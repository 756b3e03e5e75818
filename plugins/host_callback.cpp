#include "plugins/host_callback.h"

#include "engine/numeric.h"
#include "engine/realtime_scope.h"
#include "i18n/message_box.h"
#include "i18n/plugins_strings.h"
#include "plugins/file_dialog.h"
#include "plugins/host_values.h"
#include "plugins/plugin_fpu.h"
#include "plugins/vst_host.h"
#include "plugins/vst_plugin.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace peldor {
namespace {

using vst2::VstInt32;
using vst2::VstIntPtr;

constexpr std::size_t kMaxCanDoText = 255;
constexpr std::size_t kMaxSelectorTitle = 1024;
constexpr std::size_t kMaxFileTypeName = 128;
constexpr std::size_t kMaxFileTypeExtension = 8;
constexpr std::size_t kWarningTextSize = 256;
constexpr int kOpcodeUnused = 5;
constexpr int kLastKnownOpcode = vst2::audioMasterGetChunkFile;

struct TCanDoEntry {
    const char* text;
    int member; // -1: answered 1 whatever the set holds
};

constexpr TCanDoEntry kCanDoTable[] = {
    {"sendVstEvents", hcdSendVstEvents},
    {"sendVstMidiEvent", hcdSendVstMidiEvent},
    {"sendVstTimeInfo", hcdSendVstTimeInfo},
    {"receiveVstEvents", hcdReceiveVstEvents},
    {"receiveVstMidiEvent", hcdReceiveVstMidiEvent},
    {"receiveVstTimeInfo", hcdReceiveVstTimeInfo},
    {"reportConnectionChanges", hcdReportConnectionChanges},
    {"acceptIOChanges", hcdAcceptIOChanges},
    {"sizeWindow", hcdSizeWindow},
    {"asyncProcessing", hcdAsyncProcessing},
    {"offline", hcdOffline},
    {"supplyIdle", hcdSupplyIdle},
    {"supportShell", -1},
    {"openFileSelector", hcdOpenFileSelector},
    {"closeFileSelector", hcdCloseFileSelector},
    {"editFile", hcdEditFile},
    {"shellCategory", -1},
    {"startStopProcess", hcdStartStopProcess},
};

/// The one file dialog the callback may hold.
std::unique_ptr<THostFileDialog> heldDialog;

std::string BoundedText(const char* text, std::size_t limit) {
    return std::string(text, strnlen(text, limit));
}

/// Copies text with its terminating zero to a plugin's buffer.
void CopyOut(void* destination, const std::string& text) {
    if (destination != nullptr) {
        std::memcpy(destination, text.c_str(), text.size() + 1);
    }
}

/// A message box from the callback: shown (and waited for) on the window thread, handed to it
/// from any other thread without blocking or allocating (untranslated there, as translating
/// allocates).
void NotifyUser(ResourceStringId title, const char* text, int kind) {
    if (OnWindowThread()) {
        ShowMessageBox(LoadResString(title), text, kind, kButtonsOk, 1);
    } else {
        const std::string_view english = EnglishResString(title);
        char titleBuffer[kWarningTextSize];
        std::snprintf(titleBuffer, sizeof titleBuffer, "%.*s", static_cast<int>(english.size()),
                      english.data());
        PostMessageBox(titleBuffer, text, kind);
    }
}

void WarnUnknownOpcode(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt) {
    char text[kWarningTextSize];
    if (OnWindowThread()) {
        const std::string prefix = LoadResString(kStrCheckPrefix);
        FormatUnknownOpcodeText(text, sizeof text, prefix, opcode, index, value, opt);
    } else {
        FormatUnknownOpcodeText(text, sizeof text, EnglishResString(kStrCheckPrefix), opcode, index,
                                value, opt);
    }
    NotifyUser(kStrPluginWarningTitle, text, kMsgWarning);
}

VstIntPtr OpenFileSelector(vst2::VstFileSelect* select) {
    if (select == nullptr || heldDialog != nullptr) {
        return 0;
    }
    if (select->command == vst2::kVstFileLoad || select->command == vst2::kVstFileSave ||
        select->command == vst2::kVstMultipleFilesLoad) {
        heldDialog = FileDialogFactory().CreateFileDialog(select->command == vst2::kVstFileSave);
        heldDialog->Name = "HostDialog";
        heldDialog->Title = BoundedText(select->title, kMaxSelectorTitle);
        heldDialog->InitialDir = select->initialPath != nullptr ? select->initialPath : "";
        std::string filter;
        for (VstInt32 i = 0; i < select->nbFileTypes && select->fileTypes != nullptr; ++i) {
            const vst2::VstFileType& type = select->fileTypes[i];
            const std::string extension = BoundedText(type.dosType, kMaxFileTypeExtension);
            filter += BoundedText(type.name, kMaxFileTypeName) + " (*." + extension + ")|*." +
                      extension + "|";
        }
        heldDialog->Filter = filter;
        if (heldDialog->Execute()) {
            select->returnPath = heldDialog->FileName.data();
            select->sizeReturnPath = static_cast<VstInt32>(heldDialog->FileName.size());
        }
    }
    if (select->returnPath == nullptr) {
        heldDialog.reset();
    }
    return 1;
}

VstIntPtr CloseFileSelector(const vst2::VstFileSelect* select) {
    if (heldDialog != nullptr && select != nullptr &&
        (select->command == vst2::kVstFileLoad || select->command == vst2::kVstFileSave ||
         select->command == vst2::kVstMultipleFilesLoad) &&
        BoundedText(select->title, kMaxSelectorTitle) == heldDialog->Title) {
        heldDialog.reset();
    }
    return 0;
}

VstIntPtr SizeWindow(TVstPlugIn* plugin, VstInt32 width, VstIntPtr height) {
    if (plugin == nullptr || plugin->EditorWindow() == nullptr) {
        return 0;
    }
    std::string vendor = plugin->VendorString();
    std::transform(vendor.begin(), vendor.end(), vendor.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (vendor.find("DASH") != std::string::npos || vendor.find("WUSIK") != std::string::npos) {
        return 0;
    }
    plugin->EditorWindow()->SetClientSize(width, static_cast<int>(height));
    return 1;
}

// audioMasterIdle after SetNeedIdle: the plugin's handler, and with the host managing idle,
// effEditIdle to every open editor. Not on the driver's callback thread.
void AnswerIdle(TVstPlugIn& plugin, TVstHost* host) {
    if (plugin.OnAudioMasterIdle) {
        plugin.OnAudioMasterIdle(plugin);
    }
    if (host != nullptr && host->ManageIdleAutomaticly) {
        if (plugin.EditVisible()) {
            plugin.EditIdle();
        }
        for (std::int32_t i = 0; i < host->VstPlugIns().Count(); ++i) {
            TVstPlugIn* other = host->VstPlugIns().Items(i);
            if (other->EditVisible()) {
                other->EditIdle();
            }
        }
    }
}

// audioMasterNeedIdle after SetNeedIdle. Not on the driver's callback thread.
void AnswerNeedIdle(TVstPlugIn& plugin, TVstHost* host) {
    if (plugin.OnAudioMasterNeedIdle) {
        plugin.OnAudioMasterNeedIdle(plugin);
    }
    if (host != nullptr && host->ManageIdleAutomaticly) {
        plugin.Idle();
    }
}

VstIntPtr Answer(TVstPlugIn* plugin, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                 float opt) {
    TVstHost* const host = CurrentHost.load(std::memory_order_acquire);
    switch (opcode) {
    case vst2::audioMasterAutomate:
        if (plugin != nullptr && plugin->OnAudioMasterAutomate) {
            plugin->OnAudioMasterAutomate(*plugin, index, static_cast<std::int32_t>(value));
        }
        return 0;
    case vst2::audioMasterVersion:
        return HostVstVersion;
    case vst2::audioMasterCurrentId:
        return CurrentShellPluginId;
    case vst2::audioMasterIdle:
        if (plugin != nullptr) {
            plugin->SetNeedIdle(true);
            if (InRealtimeScope()) {
                // Asked from inside processReplacing: effIdle and effEditIdle are not sent on
                // the driver's thread; the window thread's next idle pass answers.
                plugin->DeferIdleRequest(TVstPlugIn::kDeferredIdle);
            } else {
                AnswerIdle(*plugin, host);
            }
        }
        return 0;
    case vst2::audioMasterPinConnected:
        if (plugin != nullptr && plugin->OnAudioMasterPinConnected) {
            return plugin->OnAudioMasterPinConnected(*plugin, index, value == 0) ? 0 : 1;
        }
        return 0;
    case vst2::audioMasterWantMidi:
        if (plugin != nullptr && plugin->OnAudioMasterWantMidi) {
            plugin->OnAudioMasterWantMidi(*plugin);
        }
        return 0;
    case vst2::audioMasterGetTime:
        return host != nullptr ? reinterpret_cast<VstIntPtr>(&host->VstTimeInfo().Record()) : 0;
    case vst2::audioMasterProcessEvents:
        if (plugin != nullptr && plugin->OnProcessEvents) {
            plugin->OnProcessEvents(*plugin, static_cast<vst2::VstEvents*>(ptr));
        }
        return 0;
    case vst2::audioMasterSetTime:
        return 0;
    case vst2::audioMasterTempoAt:
        return static_cast<VstIntPtr>(RoundHalfEven(HostTempo)) * 10000;
    case vst2::audioMasterGetNumAutomatableParameters:
        return host != nullptr ? host->NumAutomatableParameters : 0;
    case vst2::audioMasterGetParameterQuantization:
        return value == -1 && host != nullptr ? host->ParameterQuantization : 0;
    case vst2::audioMasterIOChanged:
        if (plugin != nullptr && plugin->OnAudioMasterIOChanged) {
            plugin->OnAudioMasterIOChanged(*plugin);
        }
        return 0;
    case vst2::audioMasterNeedIdle:
        if (plugin != nullptr) {
            plugin->SetNeedIdle(true);
            if (InRealtimeScope()) {
                plugin->DeferIdleRequest(TVstPlugIn::kDeferredNeedIdle);
            } else {
                AnswerNeedIdle(*plugin, host);
            }
        }
        return 0;
    case vst2::audioMasterSizeWindow:
        return SizeWindow(plugin, index, value);
    case vst2::audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(RoundHalfEven(HostSampleRate));
    case vst2::audioMasterGetBlockSize:
        return HostBlockSize;
    case vst2::audioMasterGetInputLatency:
        return host != nullptr ? host->LatencyInput : 0;
    case vst2::audioMasterGetOutputLatency:
        return host != nullptr ? host->LatencyOutput : 0;
    case vst2::audioMasterGetPreviousPlug: {
        char text[kWarningTextSize * 2];
        if (OnWindowThread()) {
            std::snprintf(text, sizeof text, "%s", LoadResString(kStrPreviousPlugText).c_str());
        } else {
            const std::string_view english = EnglishResString(kStrPreviousPlugText);
            std::snprintf(text, sizeof text, "%.*s", static_cast<int>(english.size()),
                          english.data());
        }
        NotifyUser(kStrPreviousPlugTitle, text, kMsgNotice);
        return 0;
    }
    case vst2::audioMasterGetNextPlug:
        return 0;
    case vst2::audioMasterWillReplaceOrAccumulate:
        return plugin != nullptr ? static_cast<VstIntPtr>(plugin->ReplaceOrAccumulate) : 0;
    case vst2::audioMasterGetCurrentProcessLevel:
        return plugin != nullptr ? static_cast<VstIntPtr>(plugin->CurrentProcessLevel) : 0;
    case vst2::audioMasterGetAutomationState:
        return plugin != nullptr ? static_cast<VstIntPtr>(plugin->AutomationState) : 0;
    case vst2::audioMasterOfflineStart:
        if (plugin != nullptr && plugin->OnAudioMasterOfflineStart) {
            plugin->OnAudioMasterOfflineStart(*plugin);
        }
        return 0;
    case vst2::audioMasterOfflineRead:
        if (plugin != nullptr && plugin->OnAudioMasterOfflineRead) {
            plugin->OnAudioMasterOfflineRead(*plugin, ptr);
        }
        return 0;
    case vst2::audioMasterOfflineWrite:
        if (plugin != nullptr && plugin->OnAudioMasterOfflineWrite) {
            plugin->OnAudioMasterOfflineWrite(*plugin, ptr);
        }
        return 0;
    case vst2::audioMasterOfflineGetCurrentPass:
        if (plugin != nullptr && plugin->OnAudioMasterOfflineGetCurrentPass) {
            plugin->OnAudioMasterOfflineGetCurrentPass(*plugin);
        }
        return 0;
    case vst2::audioMasterOfflineGetCurrentMetaPass:
        if (plugin != nullptr && plugin->OnAudioMasterOfflineGetCurrentMetaPass) {
            plugin->OnAudioMasterOfflineGetCurrentMetaPass(*plugin);
        }
        return 0;
    case vst2::audioMasterSetOutputSampleRate:
        if (plugin != nullptr && plugin->OnAudioMasterSetOutputSampleRate) {
            plugin->OnAudioMasterSetOutputSampleRate(*plugin, opt);
        }
        HostSampleRate = opt;
        return 0;
    case vst2::audioMasterGetOutputSpeakerArrangement:
        return 0;
    case vst2::audioMasterGetVendorString:
        CopyOut(ptr, host != nullptr ? host->VendorString : std::string());
        return 0;
    case vst2::audioMasterGetProductString:
        CopyOut(ptr, host != nullptr ? host->ProductString : std::string());
        return 0;
    case vst2::audioMasterGetVendorVersion:
        return host != nullptr ? host->VendorVersion : 0;
    case vst2::audioMasterVendorSpecific:
        if (plugin != nullptr && plugin->OnVendorSpecific) {
            plugin->OnVendorSpecific(opcode, index, static_cast<std::int32_t>(value), ptr, opt);
        }
        return 0;
    case vst2::audioMasterSetIcon:
        return 0;
    case vst2::audioMasterCanDo:
        return HostCanDo(static_cast<const char*>(ptr));
    case vst2::audioMasterGetLanguage:
        return host != nullptr ? static_cast<VstIntPtr>(host->Language) : 0;
    case vst2::audioMasterOpenWindow:
    case vst2::audioMasterCloseWindow:
        return 0;
    case vst2::audioMasterGetDirectory:
        return host != nullptr ? reinterpret_cast<VstIntPtr>(host->PlugInDir.c_str()) : 0;
    case vst2::audioMasterUpdateDisplay:
        if (plugin != nullptr && plugin->OnAudioMasterUpdateDisplay) {
            plugin->OnAudioMasterUpdateDisplay(*plugin);
        }
        return 0;
    case vst2::audioMasterBeginEdit:
        if (plugin != nullptr && plugin->OnAudioMasterBeginEdit) {
            plugin->OnAudioMasterBeginEdit(*plugin, index);
        }
        return 0;
    case vst2::audioMasterEndEdit:
        if (plugin != nullptr && plugin->OnAudioMasterEndEdit) {
            plugin->OnAudioMasterEndEdit(*plugin, index);
        }
        return 0;
    case vst2::audioMasterOpenFileSelector:
        return OpenFileSelector(static_cast<vst2::VstFileSelect*>(ptr));
    case vst2::audioMasterCloseFileSelector:
        return CloseFileSelector(static_cast<const vst2::VstFileSelect*>(ptr));
    case vst2::audioMasterEditFile:
    case vst2::audioMasterGetChunkFile:
        return 0;
    default:
        WarnUnknownOpcode(opcode, index, value, opt);
        return 0;
    }
}

} // namespace

VstIntPtr HostCallback(vst2::AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                       void* ptr, float opt) noexcept {
    TVstPlugIn* const plugin = FindPlugInByEffect(effect);
    PreparePluginFpu();
    try {
        if (opcode == kOpcodeUnused || opcode < 0 || opcode > kLastKnownOpcode) {
            WarnUnknownOpcode(opcode, index, value, opt);
            return 0;
        }
        return Answer(plugin, opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void RaiseDeferredIdleRequests(TVstPlugIn& plugin) {
    const std::uint8_t requests = plugin.TakeDeferredIdleRequests();
    TVstHost* const host = CurrentHost.load(std::memory_order_acquire);
    if ((requests & TVstPlugIn::kDeferredIdle) != 0) {
        AnswerIdle(plugin, host);
    }
    if ((requests & TVstPlugIn::kDeferredNeedIdle) != 0) {
        AnswerNeedIdle(plugin, host);
    }
}

TVstPlugIn* FindPlugInByEffect(const vst2::AEffect* effect) noexcept {
    TVstHost* const host = CurrentHost.load(std::memory_order_acquire);
    if (effect == nullptr || host == nullptr) {
        return nullptr;
    }
    return host->VstPlugIns().FindByEffect(effect);
}

std::intptr_t HostCanDo(const char* text) noexcept {
    if (text == nullptr) {
        return 0;
    }
    const std::size_t length = strnlen(text, kMaxCanDoText);
    const THostCanDos canDos = HostCanDos;
    for (const TCanDoEntry& entry : kCanDoTable) {
        if (std::strlen(entry.text) == length && std::memcmp(entry.text, text, length) == 0) {
            if (entry.member < 0) {
                return 1;
            }
            return (canDos >> entry.member) & 1u ? 1 : 0;
        }
    }
    return 0;
}

THostFileDialog* HeldFileDialog() noexcept {
    return heldDialog.get();
}

void ReleaseHeldFileDialog() {
    heldDialog.reset();
}

void FormatUnknownOpcodeText(char* buffer, std::size_t size, std::string_view prefix,
                             VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt) noexcept {
    if (buffer == nullptr || size == 0) {
        return;
    }
    // A general number with up to 15 significant digits, written without a '+' or leading
    // zeros in the exponent: 1.5, 0.1, 1E20, 1E-5.
    char number[64];
    std::snprintf(number, sizeof number, "%.15G", static_cast<double>(opt));
    if (char* exponent = std::strchr(number, 'E')) {
        char* digits = exponent + 1;
        char* read = digits;
        const bool negative = *read == '-';
        if (*read == '+' || *read == '-') {
            ++read;
        }
        while (*read == '0' && read[1] != '\0') {
            ++read;
        }
        char* write = digits;
        if (negative) {
            *write++ = '-';
        }
        std::memmove(write, read, std::strlen(read) + 1);
    }
    std::snprintf(buffer, size, "%.*s%d - %d - %ld - %s", static_cast<int>(prefix.size()),
                  prefix.data(), opcode, index, static_cast<long>(value), number);
}

} // namespace peldor
