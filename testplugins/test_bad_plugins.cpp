// Misbehaving libraries, one per value of BAD_KIND:
//   1 NoEntry             exports neither "main" nor "VSTPluginMain"
//   2 NullEntry           the entry function returns no effect
//   3 WrongMagic          the effect's magic is wrong (its dispatcher only logs)
//   4 ThrowingDispatcher  the dispatcher raises a C++ exception on every call
//   5 ThrowingEntry       the entry function raises a C++ exception

#include "testplugins/test_plugin_kit.h"

#include <stdexcept>

PELDOR_TEST_DEFINE_OPCODE_LOG()

namespace {

using namespace peldor::testplugins;
using vst2::AEffect;

[[maybe_unused]] VstIntPtr LoggingDispatcher(AEffect* /*e*/, VstInt32 opcode, VstInt32, VstIntPtr,
                                             void*, float) {
    opcodeLog.Add(opcode);
    return 0;
}

[[maybe_unused]] VstIntPtr ThrowingDispatcher(AEffect* /*e*/, VstInt32 opcode, VstInt32, VstIntPtr,
                                              void*, float) {
    opcodeLog.Add(opcode);
    throw std::runtime_error("dispatcher failure");
}

[[maybe_unused]] void SilentProcess(AEffect*, float**, float** outputs, VstInt32 frames) {
    for (VstInt32 s = 0; s < frames; ++s) {
        outputs[0][s] = 0.0f;
        outputs[1][s] = 0.0f;
    }
}

[[maybe_unused]] AEffect* MakeEffect(vst2::AEffectDispatcherProc dispatcher, VstInt32 magic) {
    static AEffect effect{};
    effect.magic = magic;
    effect.dispatcher = dispatcher;
    effect.processReplacing = &SilentProcess;
    effect.numInputs = 2;
    effect.numOutputs = 2;
    effect.uniqueID = FourCharCode('P', 'B', 'a', 'd');
    return &effect;
}

} // namespace

#if BAD_KIND == 1
PELDOR_TEST_EXPORT int peldor_not_a_plugin() {
    return 42;
}
#elif BAD_KIND == 2
PELDOR_TEST_EXPORT AEffect* VSTPluginMain(vst2::audioMasterCallback) {
    return nullptr;
}
#elif BAD_KIND == 3
PELDOR_TEST_EXPORT AEffect* VSTPluginMain(vst2::audioMasterCallback) {
    return MakeEffect(&LoggingDispatcher, 0x12345678);
}
#elif BAD_KIND == 4
PELDOR_TEST_EXPORT AEffect* VSTPluginMain(vst2::audioMasterCallback) {
    return MakeEffect(&ThrowingDispatcher, vst2::kEffectMagic);
}
#elif BAD_KIND == 5
PELDOR_TEST_EXPORT AEffect* VSTPluginMain(vst2::audioMasterCallback) {
    throw std::runtime_error("entry failure");
}
#else
#error "BAD_KIND must be 1-5"
#endif
