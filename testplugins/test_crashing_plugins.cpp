// Plugins that take their process down, one per value of CRASH_KIND:
//   1 CrashInEntry      null-pointer write in the entry function
//   2 CrashInOpen       null-pointer write in effOpen
//   3 CrashOnName       opens politely, null-pointer write when asked its name
//                       (effGetEffectName)
//   4 HangInOpen        never returns from effOpen
//   5 ExitInOpen        calls exit(3) in effOpen
//   6 AbortInOpen       calls abort() in effOpen
//   7 CrashingEditor    a working stereo effect with an editor of its own whose every editor
//                       opcode (effEditGetRect, effEditOpen, effEditClose, effEditIdle) is a
//                       null-pointer write, like a plugin that needs a display to answer
// Each is an effect named "Peldor <kind>" that wants MIDI, so a scan that survives one lists
// it as an instrument.

#include "testplugins/test_plugin_kit.h"

#include <cstdlib>
#include <unistd.h>

#ifndef CRASH_KIND
#error "CRASH_KIND must be 1-7"
#endif

PELDOR_TEST_DEFINE_OPCODE_LOG()

namespace {

using namespace peldor::testplugins;
using vst2::AEffect;

#define CRASH_STRINGIFY2(x) #x
#define CRASH_STRINGIFY(x) CRASH_STRINGIFY2(x)

/// A real store through a null pointer: the sanitizers are kept out of it so that the process
/// ends on SIGSEGV in every build.
[[maybe_unused]] __attribute__((noinline, no_sanitize("address", "undefined"))) void NullWrite() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

[[maybe_unused]] void Misbehave() {
#if CRASH_KIND == 4
    for (;;) {
        ::pause();
    }
#elif CRASH_KIND == 5
    std::exit(3);
#elif CRASH_KIND == 6
    std::abort();
#else
    NullWrite();
#endif
}

vst2::audioMasterCallback hostCallback = nullptr;

VstIntPtr Dispatcher(AEffect* e, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    opcodeLog.Add(opcode);
    switch (opcode) {
    case vst2::effOpen:
#if CRASH_KIND == 2 || CRASH_KIND == 4 || CRASH_KIND == 5 || CRASH_KIND == 6
        Misbehave();
#endif
        hostCallback(e, vst2::audioMasterWantMidi, 0, 1, nullptr, 0.0f);
        return 0;
    case vst2::effGetPlugCategory:
        return 2; // kpcSynth
    case vst2::effGetEffectName:
#if CRASH_KIND == 3
        Misbehave();
#endif
        CopyText(ptr, "Peldor " CRASH_STRINGIFY(CRASH_NAME));
        return 1;
    case vst2::effGetVstVersion:
        return vst2::kVstVersion;
#if CRASH_KIND == 7
    case vst2::effEditGetRect:
    case vst2::effEditOpen:
    case vst2::effEditClose:
    case vst2::effEditIdle:
        NullWrite();
        return 0;
#endif
    default:
        return 0;
    }
}

void Process(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    for (VstInt32 s = 0; s < frames; ++s) {
        outputs[0][s] = inputs[0][s];
        outputs[1][s] = inputs[1][s];
    }
}

} // namespace

PELDOR_TEST_EXPORT AEffect* VSTPluginMain(vst2::audioMasterCallback host) {
#if CRASH_KIND == 1
    Misbehave();
#endif
    hostCallback = host;
    static AEffect effect{};
    effect.magic = vst2::kEffectMagic;
    effect.dispatcher = &Dispatcher;
    effect.processReplacing = &Process;
    effect.numPrograms = 1;
    effect.numInputs = 2;
    effect.numOutputs = 2;
    effect.flags = vst2::effFlagsCanReplacing | (CRASH_KIND == 7 ? vst2::effFlagsHasEditor : 0);
    effect.uniqueID = FourCharCode('P', 'C', 'r', static_cast<char>('0' + CRASH_KIND));
    effect.version = 1;
    return &effect;
}
