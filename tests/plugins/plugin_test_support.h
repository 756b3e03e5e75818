#pragma once
// Helpers of the plugin tests: paths of the in-tree test plugins and access to their opcode
// logs, a message-box presenter that records, and an in-process fake effect whose answers a
// test sets and whose calls it reads back.

#include "i18n/message_box.h"
#include "tests/support/temp_dir.h"
#include "vst2/vst2_abi.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace peldor::test {

/// Full path of test plugin name (without ".so").
std::string TestPlugin(const std::string& name);

/// The dispatcher opcodes the already loaded test library at path received, and resetting it.
std::vector<int> OpcodeLog(const std::string& path);
void ResetOpcodeLog(const std::string& path);
/// The MIDI events the already loaded synth library at path received (short-message words,
/// status in the lowest byte), and resetting it.
std::vector<std::uint32_t> SynthMidiLog(const std::string& path);
void ResetSynthMidiLog(const std::string& path);
/// Instances of the already loaded test library at path that were not closed.
int LiveInstances(const std::string& path);
/// Makes every processReplacing of the PeldorSynth library at path last at least that long.
void SetBlockDelay(const std::string& path, int milliseconds);
/// An exported variable of the already loaded library at path, or null.
void* LibrarySymbol(const std::string& path, const char* name);

/// Keeps a library loaded for its lifetime, so its opcode log survives the host's Unload.
class LibraryPin {
public:
    explicit LibraryPin(const std::string& path);
    ~LibraryPin();
    LibraryPin(const LibraryPin&) = delete;
    LibraryPin& operator=(const LibraryPin&) = delete;

private:
    void* handle;
};

/// Copies test plugin name to folder/relative (creating the folders on the way).
std::filesystem::path CopyTestPlugin(const std::string& name, const std::filesystem::path& folder,
                                     const std::string& relative);

/// Records every message box and splash status; installed for its lifetime.
class RecordingPresenter final : public IMessageBoxPresenter {
public:
    struct Box {
        std::string title;
        std::string text;
        int kind;
    };

    RecordingPresenter() { SetMessageBoxPresenter(this); }
    ~RecordingPresenter() override { SetMessageBoxPresenter(nullptr); }

    int ShowMessageBox(const std::string& title, const std::string& text, int kind, int buttons,
                       int defaultButton) override {
        boxes.push_back({title, text, kind});
        return answer != kResultNone ? answer : ButtonResult(buttons, defaultButton);
    }
    int ShowInputBox(const std::string& title, const std::string& text, int kind, int buttons,
                     int defaultButton, std::string& /*value*/) override {
        return ShowMessageBox(title, text, kind, buttons, defaultButton);
    }
    void SplashStatus(const std::string& text) override { statuses.push_back(text); }

    int CountTitled(const std::string& title) const;

    std::vector<Box> boxes;
    std::vector<std::string> statuses;
    /// Answer given to every box; kResultNone: the default button's.
    int answer = kResultNone;
};

/// One recorded dispatcher call of a FakeEffect.
struct FakeCall {
    vst2::VstInt32 opcode;
    vst2::VstInt32 index;
    vst2::VstIntPtr value;
    float opt;
    std::string text; // the string passed in ptr for effCanDo
};

/// An AEffect living in the test binary. Answers come from `answers` (by opcode) or from
/// `handler` when set; text answers are written to ptr from `texts` (by opcode).
class FakeEffect {
public:
    FakeEffect();

    vst2::AEffect effect{};
    std::vector<FakeCall> calls;
    std::map<vst2::VstInt32, vst2::VstIntPtr> answers;
    std::map<vst2::VstInt32, std::string> texts;
    std::function<vst2::VstIntPtr(vst2::VstInt32 opcode, vst2::VstInt32 index,
                                  vst2::VstIntPtr value, void* ptr, float opt)>
        handler;
    vst2::ERect rect{0, 0, 0, 0};
    bool reportRect = false;
    float parameters[4] = {};

    /// Opcodes of the recorded calls in order.
    std::vector<vst2::VstInt32> Opcodes() const;
    /// Number of recorded calls with this opcode.
    int CountOf(vst2::VstInt32 opcode) const;
};

} // namespace peldor::test
