// A configurable test plugin, built into several libraries with different compile definitions:
//   IO_INPUTS, IO_OUTPUTS    channel counts
//   IO_LABEL                 effect name "Peldor <label>" (default "Peldor IO <in>x<out>")
//   IO_EMPTY_NAME            1: reports an empty effect name
//   IO_WANTS_MIDI            1: calls audioMasterWantMidi when opened
//   IO_CATEGORY              answer to effGetPlugCategory
//   IO_ENTRY                 0: exports VSTPluginMain; 1: only "main"; 2: both (they give
//                            effects named "via main" and "via VSTPluginMain")
//   IO_UNKNOWN_OPCODES       1: asks the host opcodes 5 and 99 when opened and opcode 77 in
//                            every process call; the first two answers are exported
//
// Its process call reads every input and writes every output: output o carries
// 0.125 * (o + 1) plus the sum of all inputs, so a test can tell the channels apart and see
// that missing inputs read silence.

#include "testplugins/test_plugin_kit.h"

#ifndef IO_INPUTS
#define IO_INPUTS 2
#endif
#ifndef IO_OUTPUTS
#define IO_OUTPUTS 2
#endif
#define IO_STRINGIFY2(x) #x
#define IO_STRINGIFY(x) IO_STRINGIFY2(x)
#if defined(IO_EMPTY_NAME) && IO_EMPTY_NAME
#define IO_NAME ""
#elif defined(IO_LABEL)
#define IO_NAME "Peldor " IO_STRINGIFY(IO_LABEL)
#else
#define IO_NAME "Peldor IO " IO_STRINGIFY(IO_INPUTS) "x" IO_STRINGIFY(IO_OUTPUTS)
#endif
#ifndef IO_WANTS_MIDI
#define IO_WANTS_MIDI 0
#endif
#ifndef IO_CATEGORY
#define IO_CATEGORY 1
#endif
#ifndef IO_ENTRY
#define IO_ENTRY 0
#endif
#ifndef IO_UNKNOWN_OPCODES
#define IO_UNKNOWN_OPCODES 0
#endif

PELDOR_TEST_DEFINE_OPCODE_LOG()

/// Answers to the two unknown opcodes asked at effOpen (IO_UNKNOWN_OPCODES), -1 before.
extern "C" {
__attribute__((visibility("default"))) vst2::VstIntPtr peldor_test_unknown_answers[2] = {-1, -1};
}

namespace {

using namespace peldor::testplugins;
using vst2::AEffect;

constexpr float kOutputMarkerStep = 0.125f;

class IoPlugin {
public:
    IoPlugin(vst2::audioMasterCallback hostCallback, const char* effectName)
        : host(hostCallback), name(effectName) {
        effect.magic = vst2::kEffectMagic;
        effect.dispatcher = &DispatcherProc;
        effect.processReplacing = &ProcessReplacingProc;
        effect.numPrograms = 1;
        effect.numInputs = IO_INPUTS;
        effect.numOutputs = IO_OUTPUTS;
        effect.flags = vst2::effFlagsCanReplacing;
        effect.uniqueID = FourCharCode('P', 'I', '0' + IO_INPUTS, '0' + IO_OUTPUTS);
        effect.version = 1;
        effect.object = this;
    }

    AEffect effect{};

private:
    static IoPlugin& Of(AEffect* e) { return *static_cast<IoPlugin*>(e->object); }

    static VstIntPtr DispatcherProc(AEffect* e, VstInt32 opcode, VstInt32 /*index*/,
                                    VstIntPtr /*value*/, void* ptr, float /*opt*/) {
        opcodeLog.Add(opcode);
        IoPlugin& self = Of(e);
        switch (opcode) {
        case vst2::effOpen:
            if (IO_WANTS_MIDI) {
                self.host(e, vst2::audioMasterWantMidi, 0, 1, nullptr, 0.0f);
            }
            if (IO_UNKNOWN_OPCODES) {
                peldor_test_unknown_answers[0] = self.host(e, 5, 7, 8, nullptr, 1.5f);
                peldor_test_unknown_answers[1] = self.host(e, 99, 1, 2, nullptr, 0.25f);
            }
            return 0;
        case vst2::effClose:
            liveInstances.Remove(&self);
            delete &self;
            return 0;
        case vst2::effGetPlugCategory:
            return IO_CATEGORY;
        case vst2::effGetEffectName:
            CopyText(ptr, self.name);
            return 1;
        case vst2::effGetVstVersion:
            return vst2::kVstVersion;
        default:
            return 0;
        }
    }

    static void ProcessReplacingProc(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
        if (IO_UNKNOWN_OPCODES) {
            Of(e).host(e, 77, 0, 0, nullptr, 0.0f);
        }
        for (VstInt32 s = 0; s < frames; ++s) {
            float sum = 0.0f;
            for (int i = 0; i < IO_INPUTS; ++i) {
                sum += inputs[i][s];
            }
            for (int o = 0; o < IO_OUTPUTS; ++o) {
                outputs[o][s] = kOutputMarkerStep * static_cast<float>(o + 1) + sum;
            }
        }
    }

    vst2::audioMasterCallback host;
    const char* name;
};

AEffect* Create(vst2::audioMasterCallback host, const char* name) {
    auto* plugin = new IoPlugin(host, name);
    liveInstances.Add(plugin);
    return &plugin->effect;
}

} // namespace

#if IO_ENTRY == 0 || IO_ENTRY == 2
PELDOR_TEST_EXPORT vst2::AEffect* VSTPluginMain(vst2::audioMasterCallback host) {
    return Create(host, IO_ENTRY == 2 ? "via VSTPluginMain" : IO_NAME);
}
#endif

#if IO_ENTRY == 1 || IO_ENTRY == 2
// Exported under the name "main", which a C++ function cannot carry itself.
PELDOR_TEST_EXPORT vst2::AEffect* PeldorMainEntry(vst2::audioMasterCallback host) __asm__("main");
vst2::AEffect* PeldorMainEntry(vst2::audioMasterCallback host) {
    return Create(host, IO_ENTRY == 2 ? "via main" : IO_NAME);
}
#endif
