// PeldorShell: a shell library holding two sub-plugins, "Shell Alpha" (ID 1) and "Shell Beta"
// (ID 2). Its entry function asks the host for the current shell plugin ID: 0 gives the shell
// itself (uniqueID 0), which lists the sub-plugins through effShellGetNextPlugin; 1 or 2 gives
// that sub-plugin, a stereo pass-through effect.

#include "testplugins/test_plugin_kit.h"

PELDOR_TEST_DEFINE_OPCODE_LOG()

namespace {

using namespace peldor::testplugins;
using vst2::AEffect;

struct SubPlugin {
    VstInt32 id;
    const char* name;
};
constexpr SubPlugin kSubPlugins[] = {{1, "Shell Alpha"}, {2, "Shell Beta"}};
constexpr int kSubPluginCount = 2;

class ShellEffect {
public:
    explicit ShellEffect(const SubPlugin* plugin) : sub(plugin) {
        effect.magic = vst2::kEffectMagic;
        effect.dispatcher = &DispatcherProc;
        effect.processReplacing = &ProcessReplacingProc;
        effect.numPrograms = 1;
        effect.numInputs = 2;
        effect.numOutputs = 2;
        effect.flags = vst2::effFlagsCanReplacing | vst2::effFlagsProgramChunks;
        effect.uniqueID = sub != nullptr ? sub->id : 0;
        effect.version = 1000;
        effect.object = this;
    }

    AEffect effect{};

private:
    static ShellEffect& Of(AEffect* e) { return *static_cast<ShellEffect*>(e->object); }

    static VstIntPtr DispatcherProc(AEffect* e, VstInt32 opcode, VstInt32 /*index*/,
                                    VstIntPtr /*value*/, void* ptr, float /*opt*/) {
        opcodeLog.Add(opcode);
        ShellEffect& self = Of(e);
        switch (opcode) {
        case vst2::effClose:
            liveInstances.Remove(&self);
            delete &self;
            return 0;
        case vst2::effShellGetNextPlugin:
            if (self.sub != nullptr) {
                return 0;
            }
            if (self.next >= kSubPluginCount) {
                self.next = 0; // the next enumeration starts over
                return 0;
            }
            CopyText(ptr, kSubPlugins[self.next].name);
            return kSubPlugins[self.next++].id;
        case vst2::effGetPlugCategory:
            return self.sub != nullptr ? vst2::kPlugCategEffect : vst2::kPlugCategShell;
        case vst2::effGetEffectName:
            CopyText(ptr, self.sub != nullptr ? self.sub->name : "Peldor Shell");
            return 1;
        case vst2::effGetVstVersion:
            return vst2::kVstVersion;
        default:
            return 0;
        }
    }

    static void ProcessReplacingProc(AEffect* /*e*/, float** inputs, float** outputs,
                                     VstInt32 frames) {
        for (int c = 0; c < 2; ++c) {
            for (VstInt32 s = 0; s < frames; ++s) {
                outputs[c][s] = inputs[c][s];
            }
        }
    }

    const SubPlugin* sub;
    int next = 0;
};

} // namespace

PELDOR_TEST_EXPORT vst2::AEffect* VSTPluginMain(vst2::audioMasterCallback host) {
    const VstIntPtr wanted = host(nullptr, vst2::audioMasterCurrentId, 0, 0, nullptr, 0.0f);
    const SubPlugin* sub = nullptr;
    if (wanted != 0) {
        for (const SubPlugin& candidate : kSubPlugins) {
            if (candidate.id == wanted) {
                sub = &candidate;
            }
        }
        if (sub == nullptr) {
            return nullptr;
        }
    }
    auto* shell = new ShellEffect(sub);
    liveInstances.Add(shell);
    return &shell->effect;
}
