// PeldorOnce: an instrument whose library hands out one plugin per process and no more, like a
// plugin whose licence check fails the second time. The plugin scan reads it as an instrument;
// loading it into a slot afterwards fails, which is what the tests of failing slots need.
// Since the scan reads libraries in peldor-plugin-probe, a process of its own, the library hands
// its one plugin to the probe only and refuses every other process.

#include "testplugins/test_plugin_kit.h"

#include <cerrno>
#include <cstring>

PELDOR_TEST_DEFINE_OPCODE_LOG()

namespace {

using namespace peldor::testplugins;
using vst2::AEffect;

constexpr VstInt32 kCategorySynth = 2;

class OncePlugin {
public:
    explicit OncePlugin(vst2::audioMasterCallback hostCallback) : host(hostCallback) {
        effect.magic = vst2::kEffectMagic;
        effect.dispatcher = &DispatcherProc;
        effect.processReplacing = &ProcessReplacingProc;
        effect.numPrograms = 1;
        effect.numInputs = 0;
        effect.numOutputs = 2;
        effect.flags = vst2::effFlagsCanReplacing | vst2::effFlagsIsSynth;
        effect.uniqueID = FourCharCode('P', 'O', 'n', 'c');
        effect.version = 1;
        effect.object = this;
    }

    AEffect effect{};

private:
    static OncePlugin& Of(AEffect* e) { return *static_cast<OncePlugin*>(e->object); }

    static VstIntPtr DispatcherProc(AEffect* e, VstInt32 opcode, VstInt32 /*index*/,
                                    VstIntPtr /*value*/, void* ptr, float /*opt*/) {
        opcodeLog.Add(opcode);
        OncePlugin& self = Of(e);
        switch (opcode) {
        case vst2::effOpen:
            self.host(e, vst2::audioMasterWantMidi, 0, 1, nullptr, 0.0f);
            return 0;
        case vst2::effClose:
            liveInstances.Remove(&self);
            delete &self;
            return 0;
        case vst2::effGetPlugCategory:
            return kCategorySynth;
        case vst2::effGetEffectName:
            CopyText(ptr, "Peldor Once");
            return 1;
        case vst2::effGetVstVersion:
            return vst2::kVstVersion;
        default:
            return 0;
        }
    }

    static void ProcessReplacingProc(AEffect* /*e*/, float** /*inputs*/, float** outputs,
                                     VstInt32 frames) {
        for (VstInt32 s = 0; s < frames; ++s) {
            outputs[0][s] = 0.0f;
            outputs[1][s] = 0.0f;
        }
    }

    vst2::audioMasterCallback host;
};

std::atomic<int> created{0};

} // namespace

PELDOR_TEST_EXPORT vst2::AEffect* VSTPluginMain(vst2::audioMasterCallback host) {
    if (std::strcmp(program_invocation_short_name, "peldor-plugin-probe") != 0) {
        return nullptr;
    }
    if (host == nullptr || created.fetch_add(1) > 0) {
        return nullptr;
    }
    auto* plugin = new OncePlugin(host);
    liveInstances.Add(plugin);
    return &plugin->effect;
}
