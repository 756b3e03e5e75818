#pragma once
// Peldor's own definitions of the VST 2.4 plugin binary interface, as a host sees it on
// x86_64 Linux (plain System V ABI, natural alignment, no packing). Every record's layout is
// pinned by the static_asserts at the end of this file.
//
// Header only, standard library only: the engine includes it for the MIDI event records, the
// plugin host and the in-tree test plugins for everything else.

#include <cstddef>
#include <cstdint>

namespace vst2 {

using VstInt16 = std::int16_t;
using VstInt32 = std::int32_t;
using VstIntPtr = std::intptr_t;

inline constexpr VstInt32 kVstVersion = 2400;
/// 'VstP' read as a big-endian four-character code.
inline constexpr VstInt32 kEffectMagic = 0x56737450;

struct AEffect;

using audioMasterCallback = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);
using AEffectDispatcherProc = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                            VstIntPtr value, void* ptr, float opt);
using AEffectProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs,
                                    VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs,
                                          VstInt32 sampleFrames);
using AEffectSetParameterProc = void (*)(AEffect* effect, VstInt32 index, float value);
using AEffectGetParameterProc = float (*)(AEffect* effect, VstInt32 index);
/// The library's entry function, exported as "main" or "VSTPluginMain".
using VstPluginMainProc = AEffect* (*)(audioMasterCallback host);

/// The record a plugin library hands to its host.
struct AEffect {
    VstInt32 magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process; // deprecated accumulating process
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr resvd1;
    VstIntPtr resvd2;
    VstInt32 initialDelay;
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void* object;
    void* user;
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
};

// AEffect::flags
inline constexpr VstInt32 effFlagsHasEditor = 1;
inline constexpr VstInt32 effFlagsHasClip = 2;
inline constexpr VstInt32 effFlagsHasVu = 4;
inline constexpr VstInt32 effFlagsCanMono = 8;
inline constexpr VstInt32 effFlagsCanReplacing = 16;
inline constexpr VstInt32 effFlagsProgramChunks = 32;
inline constexpr VstInt32 effFlagsIsSynth = 256;
inline constexpr VstInt32 effFlagsNoSoundInStop = 512;
inline constexpr VstInt32 effFlagsExtIsAsync = 1024;
inline constexpr VstInt32 effFlagsExtHasBuffer = 2048;
inline constexpr VstInt32 effFlagsCanDoubleReplacing = 4096;

// ---- Events ---------------------------------------------------------------------------------

inline constexpr VstInt32 kVstMidiType = 1;
inline constexpr VstInt32 kVstAudioType = 2;
inline constexpr VstInt32 kVstVideoType = 3;
inline constexpr VstInt32 kVstParameterType = 4;
inline constexpr VstInt32 kVstTriggerType = 5;
inline constexpr VstInt32 kVstSysExType = 6;

inline constexpr VstInt32 kVstMidiEventIsRealtime = 1;

/// Generic event: a header followed by type-specific data, 32 bytes in all.
struct VstEvent {
    VstInt32 type;
    VstInt32 byteSize; // size of the record minus the type and byteSize fields
    VstInt32 deltaFrames;
    VstInt32 flags;
    char data[16];
};

struct VstMidiEvent {
    VstInt32 type;     // kVstMidiType
    VstInt32 byteSize; // 24
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 noteLength;
    VstInt32 noteOffset;
    char midiData[4]; // status, data 1, data 2, 0
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

struct VstMidiSysexEvent {
    VstInt32 type; // kVstSysExType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 dumpBytes;
    VstIntPtr resvd1;
    char* sysexDump;
    VstIntPtr resvd2;
};

/// A block of events handed over with effProcessEvents. The pointer array really has
/// numEvents entries; senders allocate the record with as many as they need.
struct VstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[2];
};

// ---- Time information -----------------------------------------------------------------------

struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos;
    double tempo;
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    VstInt32 timeSigNumerator;
    VstInt32 timeSigDenominator;
    VstInt32 smpteOffset;
    VstInt32 smpteFrameRate;
    VstInt32 samplesToNextClock;
    VstInt32 flags;
};

inline constexpr VstInt32 kVstTransportChanged = 1;
inline constexpr VstInt32 kVstTransportPlaying = 1 << 1;
inline constexpr VstInt32 kVstTransportCycleActive = 1 << 2;
inline constexpr VstInt32 kVstTransportRecording = 1 << 3;
inline constexpr VstInt32 kVstAutomationWriting = 1 << 6;
inline constexpr VstInt32 kVstAutomationReading = 1 << 7;
inline constexpr VstInt32 kVstNanosValid = 1 << 8;
inline constexpr VstInt32 kVstPpqPosValid = 1 << 9;
inline constexpr VstInt32 kVstTempoValid = 1 << 10;
inline constexpr VstInt32 kVstBarsValid = 1 << 11;
inline constexpr VstInt32 kVstCyclePosValid = 1 << 12;
inline constexpr VstInt32 kVstTimeSigValid = 1 << 13;
inline constexpr VstInt32 kVstSmpteValid = 1 << 14;
inline constexpr VstInt32 kVstClockValid = 1 << 15;

// ---- Small records --------------------------------------------------------------------------

/// Editor rectangle; effEditGetRect's ptr is an ERect** that the plugin points at its own.
struct ERect {
    VstInt16 top;
    VstInt16 left;
    VstInt16 bottom;
    VstInt16 right;
};

struct MidiProgramCategory {
    VstInt32 thisCategoryIndex;
    char name[64];
    VstInt32 parentCategoryIndex;
    VstInt32 flags;
};

struct VstFileType {
    char name[128];
    char macType[8];
    char dosType[8];
    char unixType[8];
    char mimeType1[128];
    char mimeType2[128];
};

struct VstFileSelect {
    VstInt32 command;
    VstInt32 type;
    VstInt32 macCreator;
    VstInt32 nbFileTypes;
    VstFileType* fileTypes;
    char title[1024];
    char* initialPath;
    char* returnPath;
    VstInt32 sizeReturnPath;
    char** returnMultiplePaths;
    VstInt32 nbReturnPath;
    VstIntPtr reserved;
    char future[116];
};

inline constexpr VstInt32 kVstFileLoad = 0;
inline constexpr VstInt32 kVstFileSave = 1;
inline constexpr VstInt32 kVstMultipleFilesLoad = 2;
inline constexpr VstInt32 kVstDirectorySelect = 3;

// Plugin categories (effGetPlugCategory).
enum VstPlugCategory : VstInt32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
    kPlugCategAnalysis = 3,
    kPlugCategMastering = 4,
    kPlugCategSpacializer = 5,
    kPlugCategRoomFx = 6,
    kPlugSurroundFx = 7,
    kPlugCategRestoration = 8,
    kPlugCategOfflineProcess = 9,
    kPlugCategShell = 10,
    kPlugCategGenerator = 11,
};

// Languages (audioMasterGetLanguage).
inline constexpr VstInt32 kVstLangEnglish = 1;
inline constexpr VstInt32 kVstLangGerman = 2;
inline constexpr VstInt32 kVstLangFrench = 3;
inline constexpr VstInt32 kVstLangItalian = 4;
inline constexpr VstInt32 kVstLangSpanish = 5;
inline constexpr VstInt32 kVstLangJapanese = 6;

// String lengths the interface names. Real plugins write past them: hand out 256-byte,
// zero-filled buffers instead (kHostTextBufferSize).
inline constexpr int kVstMaxProgNameLen = 24;
inline constexpr int kVstMaxParamStrLen = 8;
inline constexpr int kVstMaxVendorStrLen = 64;
inline constexpr int kVstMaxProductStrLen = 64;
inline constexpr int kVstMaxEffectNameLen = 32;
inline constexpr int kHostTextBufferSize = 256;

// ---- Opcodes: host to plugin ----------------------------------------------------------------

enum AEffectOpcodes : VstInt32 {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effGetVu = 9,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditDraw = 16,
    effEditMouse = 17,
    effEditKey = 18,
    effEditIdle = 19,
    effEditTop = 20,
    effEditSleep = 21,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetNumProgramCategories = 28,
    effGetProgramNameIndexed = 29,
    effCopyProgram = 30,
    effConnectInput = 31,
    effConnectOutput = 32,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effGetCurrentPosition = 36,
    effGetDestinationBuffer = 37,
    effOfflineNotify = 38,
    effOfflinePrepare = 39,
    effOfflineRun = 40,
    effProcessVarIo = 41,
    effSetSpeakerArrangement = 42,
    effSetBlockSizeAndSampleRate = 43,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetErrorText = 46,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effIdle = 53,
    effGetIcon = 54,
    effSetViewPosition = 55,
    effGetParameterProperties = 56,
    effKeysRequired = 57,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiProgramName = 62,
    effGetCurrentMidiProgram = 63,
    effGetMidiProgramCategory = 64,
    effHasMidiProgramsChanged = 65,
    effGetMidiKeyName = 66,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effGetSpeakerArrangement = 69,
    effShellGetNextPlugin = 70,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetTotalSampleToProcess = 73,
    effSetPanLaw = 74,
    effBeginLoadBank = 75,
    effBeginLoadProgram = 76,
    effSetProcessPrecision = 77,
    effGetNumMidiInputChannels = 78,
    effGetNumMidiOutputChannels = 79,
};

// ---- Opcodes: plugin to host ----------------------------------------------------------------

enum AudioMasterOpcodes : VstInt32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    // 5 is unused
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterSetTime = 9,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetOutputSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterSetIcon = 36,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterEditFile = 47,
    audioMasterGetChunkFile = 48,
    audioMasterGetInputSpeakerArrangement = 49,
};

// ---- Can-do texts ---------------------------------------------------------------------------

// Asked of plugins (effCanDo).
inline constexpr const char* kCanDoBypass = "bypass";
inline constexpr const char* kCanDoReceiveVstMidiEvent = "receiveVstMidiEvent";

// Plugins ask these of the host (audioMasterCanDo).
inline constexpr const char* kHostCanDoSendVstEvents = "sendVstEvents";
inline constexpr const char* kHostCanDoSendVstMidiEvent = "sendVstMidiEvent";
inline constexpr const char* kHostCanDoSendVstTimeInfo = "sendVstTimeInfo";
inline constexpr const char* kHostCanDoReceiveVstEvents = "receiveVstEvents";
inline constexpr const char* kHostCanDoReceiveVstMidiEvent = "receiveVstMidiEvent";
inline constexpr const char* kHostCanDoReportConnectionChanges = "reportConnectionChanges";
inline constexpr const char* kHostCanDoAcceptIOChanges = "acceptIOChanges";
inline constexpr const char* kHostCanDoSizeWindow = "sizeWindow";
inline constexpr const char* kHostCanDoOffline = "offline";
inline constexpr const char* kHostCanDoOpenFileSelector = "openFileSelector";
inline constexpr const char* kHostCanDoCloseFileSelector = "closeFileSelector";
inline constexpr const char* kHostCanDoStartStopProcess = "startStopProcess";
inline constexpr const char* kHostCanDoShellCategory = "shellCategory";
inline constexpr const char* kHostCanDoSendVstMidiEventFlagIsRealtime =
    "sendVstMidiEventFlagIsRealtime";

// ---- Layout checks (x86_64) -----------------------------------------------------------------

static_assert(sizeof(void*) == 8, "these definitions describe the x86_64 interface");

static_assert(offsetof(AEffect, magic) == 0);
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, process) == 16);
static_assert(offsetof(AEffect, setParameter) == 24);
static_assert(offsetof(AEffect, getParameter) == 32);
static_assert(offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, numParams) == 44);
static_assert(offsetof(AEffect, numInputs) == 48);
static_assert(offsetof(AEffect, numOutputs) == 52);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, resvd1) == 64);
static_assert(offsetof(AEffect, resvd2) == 72);
static_assert(offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, realQualities) == 84);
static_assert(offsetof(AEffect, offQualities) == 88);
static_assert(offsetof(AEffect, ioRatio) == 92);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, user) == 104);
static_assert(offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, version) == 116);
static_assert(offsetof(AEffect, processReplacing) == 120);
static_assert(offsetof(AEffect, processDoubleReplacing) == 128);
static_assert(offsetof(AEffect, future) == 136);
static_assert(sizeof(AEffect) == 192);

static_assert(sizeof(VstEvent) == 32);
static_assert(offsetof(VstMidiEvent, type) == 0);
static_assert(offsetof(VstMidiEvent, byteSize) == 4);
static_assert(offsetof(VstMidiEvent, deltaFrames) == 8);
static_assert(offsetof(VstMidiEvent, flags) == 12);
static_assert(offsetof(VstMidiEvent, noteLength) == 16);
static_assert(offsetof(VstMidiEvent, noteOffset) == 20);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(offsetof(VstMidiEvent, detune) == 28);
static_assert(offsetof(VstMidiEvent, noteOffVelocity) == 29);
static_assert(offsetof(VstMidiEvent, reserved1) == 30);
static_assert(offsetof(VstMidiEvent, reserved2) == 31);
static_assert(sizeof(VstMidiEvent) == 32);

static_assert(offsetof(VstMidiSysexEvent, dumpBytes) == 16);
static_assert(offsetof(VstMidiSysexEvent, resvd1) == 24);
static_assert(offsetof(VstMidiSysexEvent, sysexDump) == 32);
static_assert(offsetof(VstMidiSysexEvent, resvd2) == 40);
static_assert(sizeof(VstMidiSysexEvent) == 48);

static_assert(offsetof(VstEvents, numEvents) == 0);
static_assert(offsetof(VstEvents, reserved) == 8);
static_assert(offsetof(VstEvents, events) == 16);

static_assert(offsetof(VstTimeInfo, samplePos) == 0);
static_assert(offsetof(VstTimeInfo, sampleRate) == 8);
static_assert(offsetof(VstTimeInfo, nanoSeconds) == 16);
static_assert(offsetof(VstTimeInfo, ppqPos) == 24);
static_assert(offsetof(VstTimeInfo, tempo) == 32);
static_assert(offsetof(VstTimeInfo, barStartPos) == 40);
static_assert(offsetof(VstTimeInfo, cycleStartPos) == 48);
static_assert(offsetof(VstTimeInfo, cycleEndPos) == 56);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64);
static_assert(offsetof(VstTimeInfo, timeSigDenominator) == 68);
static_assert(offsetof(VstTimeInfo, smpteOffset) == 72);
static_assert(offsetof(VstTimeInfo, smpteFrameRate) == 76);
static_assert(offsetof(VstTimeInfo, samplesToNextClock) == 80);
static_assert(offsetof(VstTimeInfo, flags) == 84);
static_assert(sizeof(VstTimeInfo) == 88);

static_assert(offsetof(ERect, top) == 0);
static_assert(offsetof(ERect, left) == 2);
static_assert(offsetof(ERect, bottom) == 4);
static_assert(offsetof(ERect, right) == 6);
static_assert(sizeof(ERect) == 8);

static_assert(offsetof(MidiProgramCategory, name) == 4);
static_assert(offsetof(MidiProgramCategory, parentCategoryIndex) == 68);
static_assert(offsetof(MidiProgramCategory, flags) == 72);
static_assert(sizeof(MidiProgramCategory) == 76);

static_assert(offsetof(VstFileType, macType) == 128);
static_assert(offsetof(VstFileType, dosType) == 136);
static_assert(offsetof(VstFileType, unixType) == 144);
static_assert(offsetof(VstFileType, mimeType1) == 152);
static_assert(offsetof(VstFileType, mimeType2) == 280);
static_assert(sizeof(VstFileType) == 408);

static_assert(offsetof(VstFileSelect, fileTypes) == 16);
static_assert(offsetof(VstFileSelect, title) == 24);
static_assert(offsetof(VstFileSelect, initialPath) == 1048);
static_assert(offsetof(VstFileSelect, returnPath) == 1056);
static_assert(offsetof(VstFileSelect, sizeReturnPath) == 1064);
static_assert(offsetof(VstFileSelect, returnMultiplePaths) == 1072);
static_assert(offsetof(VstFileSelect, nbReturnPath) == 1080);
static_assert(offsetof(VstFileSelect, reserved) == 1088);
static_assert(offsetof(VstFileSelect, future) == 1096);
static_assert(sizeof(VstFileSelect) == 1216);

} // namespace vst2
