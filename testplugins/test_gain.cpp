// PeldorGain: the in-tree test effect. Two inputs, two outputs, a Gain parameter (0.5 is unity,
// 1.0 doubles) and a Mute switch. No programs of its own, no chunks, no editor: hosts show
// the generic editor for it.

#include "testplugins/test_plugin_kit.h"

#include <cstdio>

PELDOR_TEST_DEFINE_OPCODE_LOG()

namespace {

using namespace peldor::testplugins;
using vst2::AEffect;

constexpr int kParamGain = 0;
constexpr int kParamMute = 1;
constexpr int kParams = 2;

class Gain {
public:
    Gain() {
        effect.magic = vst2::kEffectMagic;
        effect.dispatcher = &DispatcherProc;
        effect.setParameter = &SetParameterProc;
        effect.getParameter = &GetParameterProc;
        effect.processReplacing = &ProcessReplacingProc;
        effect.numPrograms = 1;
        effect.numParams = kParams;
        effect.numInputs = 2;
        effect.numOutputs = 2;
        effect.flags = vst2::effFlagsCanReplacing;
        effect.uniqueID = FourCharCode('P', 'l', 'G', 'n');
        effect.version = 1000;
        effect.object = this;
    }

    AEffect effect{};

private:
    static Gain& Of(AEffect* e) { return *static_cast<Gain*>(e->object); }

    static VstIntPtr DispatcherProc(AEffect* e, VstInt32 opcode, VstInt32 index,
                                    VstIntPtr /*value*/, void* ptr, float /*opt*/) {
        opcodeLog.Add(opcode);
        Gain& self = Of(e);
        switch (opcode) {
        case vst2::effClose:
            liveInstances.Remove(&self);
            delete &self;
            return 0;
        case vst2::effGetParamName:
            CopyText(ptr, index == kParamGain ? "Gain" : "Mute");
            return 0;
        case vst2::effGetParamLabel:
            CopyText(ptr, index == kParamGain ? "x" : "");
            return 0;
        case vst2::effGetParamDisplay:
            if (index == kParamGain) {
                char text[16];
                std::snprintf(text, sizeof text, "%.2f", 2.0 * self.params[kParamGain]);
                CopyText(ptr, text);
            } else {
                CopyText(ptr, self.params[kParamMute] >= 0.5f ? "on" : "off");
            }
            return 0;
        case vst2::effGetPlugCategory:
            return vst2::kPlugCategEffect;
        case vst2::effGetEffectName:
            CopyText(ptr, "Peldor Gain");
            return 1;
        case vst2::effGetVendorString:
            CopyText(ptr, "Peldor Tests");
            return 1;
        case vst2::effGetProductString:
            CopyText(ptr, "Peldor Gain");
            return 1;
        case vst2::effGetVstVersion:
            return vst2::kVstVersion;
        default:
            return 0;
        }
    }

    static void SetParameterProc(AEffect* e, VstInt32 index, float value) {
        if (index >= 0 && index < kParams) {
            Of(e).params[index] = value;
        }
    }
    static float GetParameterProc(AEffect* e, VstInt32 index) {
        return index >= 0 && index < kParams ? Of(e).params[index] : 0.0f;
    }
    static void ProcessReplacingProc(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
        const Gain& self = Of(e);
        const float gain = self.params[kParamMute] >= 0.5f ? 0.0f : 2.0f * self.params[kParamGain];
        for (int c = 0; c < 2; ++c) {
            for (VstInt32 s = 0; s < frames; ++s) {
                outputs[c][s] = inputs[c][s] * gain;
            }
        }
    }

    float params[kParams] = {0.5f, 0.0f};
};

} // namespace

PELDOR_TEST_EXPORT vst2::AEffect* VSTPluginMain(vst2::audioMasterCallback /*host*/) {
    auto* gain = new Gain;
    liveInstances.Add(gain);
    return &gain->effect;
}
