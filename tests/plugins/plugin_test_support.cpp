#include "tests/plugins/plugin_test_support.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

namespace peldor::test {
namespace {

vst2::VstIntPtr FakeDispatcher(vst2::AEffect* e, vst2::VstInt32 opcode, vst2::VstInt32 index,
                               vst2::VstIntPtr value, void* ptr, float opt) {
    auto& fake = *static_cast<FakeEffect*>(e->object);
    FakeCall call{opcode, index, value, opt, {}};
    if (opcode == vst2::effCanDo && ptr != nullptr) {
        call.text = static_cast<const char*>(ptr);
    }
    fake.calls.push_back(call);
    if (fake.handler) {
        return fake.handler(opcode, index, value, ptr, opt);
    }
    if (opcode == vst2::effEditGetRect && fake.reportRect && ptr != nullptr) {
        *static_cast<vst2::ERect**>(ptr) = &fake.rect;
    }
    if (auto text = fake.texts.find(opcode); text != fake.texts.end() && ptr != nullptr) {
        std::memcpy(ptr, text->second.c_str(), text->second.size() + 1);
    }
    auto answer = fake.answers.find(opcode);
    return answer != fake.answers.end() ? answer->second : 0;
}

void FakeSetParameter(vst2::AEffect* e, vst2::VstInt32 index, float value) {
    auto& fake = *static_cast<FakeEffect*>(e->object);
    if (index >= 0 && index < 4) {
        fake.parameters[index] = value;
    }
}

float FakeGetParameter(vst2::AEffect* e, vst2::VstInt32 index) {
    auto& fake = *static_cast<FakeEffect*>(e->object);
    return index >= 0 && index < 4 ? fake.parameters[index] : 0.0f;
}

void* Handle(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle); // NOLOAD took a reference of its own
    }
    return handle;
}

} // namespace

std::string TestPlugin(const std::string& name) {
    return (TestPluginDir() / (name + ".so")).string();
}

void* LibrarySymbol(const std::string& path, const char* name) {
    void* handle = Handle(path);
    return handle != nullptr ? dlsym(handle, name) : nullptr;
}

std::vector<int> OpcodeLog(const std::string& path) {
    using LogProc = int (*)(const int**);
    auto log = reinterpret_cast<LogProc>(LibrarySymbol(path, "peldor_test_log"));
    if (log == nullptr) {
        return {};
    }
    const int* opcodes = nullptr;
    const int count = log(&opcodes);
    return std::vector<int>(opcodes, opcodes + count);
}

void ResetOpcodeLog(const std::string& path) {
    using ResetProc = void (*)();
    if (auto reset = reinterpret_cast<ResetProc>(LibrarySymbol(path, "peldor_test_log_reset"))) {
        reset();
    }
}

std::vector<std::uint32_t> SynthMidiLog(const std::string& path) {
    using LogProc = int (*)(const unsigned**);
    auto log = reinterpret_cast<LogProc>(LibrarySymbol(path, "peldor_test_midi_log"));
    if (log == nullptr) {
        return {};
    }
    const unsigned* words = nullptr;
    const int count = log(&words);
    std::vector<std::uint32_t> copy;
    for (int i = 0; i < count; ++i) {
        copy.push_back(__atomic_load_n(&words[i], __ATOMIC_ACQUIRE));
    }
    return copy;
}

void ResetSynthMidiLog(const std::string& path) {
    using ResetProc = void (*)();
    if (auto reset =
            reinterpret_cast<ResetProc>(LibrarySymbol(path, "peldor_test_midi_log_reset"))) {
        reset();
    }
}

void SetBlockDelay(const std::string& path, int milliseconds) {
    using DelayProc = void (*)(int);
    if (auto set =
            reinterpret_cast<DelayProc>(LibrarySymbol(path, "peldor_test_set_block_delay"))) {
        set(milliseconds);
    }
}

int LiveInstances(const std::string& path) {
    using CountProc = int (*)();
    auto count = reinterpret_cast<CountProc>(LibrarySymbol(path, "peldor_test_live_instances"));
    return count != nullptr ? count() : -1;
}

std::filesystem::path CopyTestPlugin(const std::string& name, const std::filesystem::path& folder,
                                     const std::string& relative) {
    const std::filesystem::path target = folder / relative;
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(TestPlugin(name), target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
}

LibraryPin::LibraryPin(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW)) {}

LibraryPin::~LibraryPin() {
    if (handle != nullptr) {
        dlclose(handle);
    }
}

int RecordingPresenter::CountTitled(const std::string& title) const {
    return static_cast<int>(std::count_if(boxes.begin(), boxes.end(),
                                          [&](const Box& box) { return box.title == title; }));
}

FakeEffect::FakeEffect() {
    effect.magic = vst2::kEffectMagic;
    effect.dispatcher = &FakeDispatcher;
    effect.setParameter = &FakeSetParameter;
    effect.getParameter = &FakeGetParameter;
    effect.numPrograms = 3;
    effect.numParams = 2;
    effect.numInputs = 2;
    effect.numOutputs = 2;
    effect.uniqueID = 0x46616B65; // 'Fake'
    effect.version = 7;
    effect.object = this;
}

std::vector<vst2::VstInt32> FakeEffect::Opcodes() const {
    std::vector<vst2::VstInt32> opcodes;
    for (const FakeCall& call : calls) {
        opcodes.push_back(call.opcode);
    }
    return opcodes;
}

int FakeEffect::CountOf(vst2::VstInt32 opcode) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const FakeCall& c) { return c.opcode == opcode; }));
}

} // namespace peldor::test
