// The host callback's answers, its handler rows, the file selector and the warning for
// unknown opcodes.

#include "engine/realtime_scope.h"
#include "plugins/file_dialog.h"
#include "plugins/host_callback.h"
#include "plugins/host_values.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace peldor::test {
namespace {

using vst2::VstIntPtr;

class HostCallbackTest : public ::testing::Test {
protected:
    HostCallbackTest() {
        HostTempo = kDefaultHostTempo;
        CurrentShellPluginId = 0;
        plugin.PlaceEffect(&fake.effect);
    }
    ~HostCallbackTest() override { plugin.PlaceEffect(nullptr); }

    VstIntPtr Call(vst2::VstInt32 opcode, vst2::VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
        return HostCallback(&fake.effect, opcode, index, value, ptr, opt);
    }

    RecordingPresenter presenter;
    TVstHost host;
    FakeEffect fake;
    TVstPlugIn& plugin = host.VstPlugIns().Add();
};

TEST_F(HostCallbackTest, CanDoAnswersExactlyFromTheTable) {
    EXPECT_EQ(HostCanDo("receiveVstMidiEvent"), 1);
    EXPECT_EQ(HostCanDo("ReceiveVstMidiEvent"), 0);
    EXPECT_EQ(HostCanDo("receiveVstMidiEvent "), 0);
    EXPECT_EQ(HostCanDo("openFileSelector"), 0);
    EXPECT_EQ(HostCanDo("closeFileSelector"), 0);
    EXPECT_EQ(HostCanDo("editFile"), 0);
    EXPECT_EQ(HostCanDo("startStopProcess"), 1);
    EXPECT_EQ(HostCanDo("supplyIdle"), 1);
    EXPECT_EQ(HostCanDo("somethingElse"), 0);
    EXPECT_EQ(HostCanDo(nullptr), 0);
    char text[] = "sizeWindow";
    EXPECT_EQ(Call(vst2::audioMasterCanDo, 0, 0, text), 1);

    // The answers follow the set, except for the two rows that always say yes.
    host.SetCanDos((1u << hcdOpenFileSelector));
    EXPECT_EQ(HostCanDo("openFileSelector"), 1);
    EXPECT_EQ(HostCanDo("receiveVstMidiEvent"), 0);
    EXPECT_EQ(HostCanDo("supportShell"), 1);
    EXPECT_EQ(HostCanDo("shellCategory"), 1);

    // Only the first 255 characters are compared.
    std::string padded = "offline";
    padded.resize(300, 'x');
    host.SetCanDos(kDefaultHostCanDos);
    EXPECT_EQ(HostCanDo(padded.c_str()), 0);
}

TEST_F(HostCallbackTest, TempoAndSampleRateAreRoundedHalfToEven) {
    EXPECT_EQ(Call(vst2::audioMasterTempoAt), 1200000);
    host.SetTempo(120.5f);
    EXPECT_EQ(Call(vst2::audioMasterTempoAt), 1200000);
    host.SetTempo(121.5f);
    EXPECT_EQ(Call(vst2::audioMasterTempoAt), 1220000);
    EXPECT_DOUBLE_EQ(host.VstTimeInfo().Tempo(), 121.5);

    EXPECT_EQ(Call(vst2::audioMasterGetSampleRate), 44100);
    float reported = 0.0f;
    plugin.OnAudioMasterSetOutputSampleRate = [&](TVstPlugIn& sender, float rate) {
        EXPECT_EQ(&sender, &plugin);
        reported = rate;
    };
    Call(vst2::audioMasterSetOutputSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_FLOAT_EQ(reported, 48000.0f);
    // Every plugin sees the new rate, the one that set it and any other.
    EXPECT_EQ(HostCallback(nullptr, vst2::audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), 48000);
    host.VstTimeInfo().SetSampleRate(22050.5);
    EXPECT_EQ(Call(vst2::audioMasterGetSampleRate), 22050);
}

TEST_F(HostCallbackTest, FixedAnswersAndTheTimeRecord) {
    CurrentShellPluginId = 0x41424344;
    // Asked from inside an entry function, before any plugin object knows the effect.
    EXPECT_EQ(HostCallback(nullptr, vst2::audioMasterVersion, 0, 0, nullptr, 0.0f), 2300);
    EXPECT_EQ(HostCallback(nullptr, vst2::audioMasterCurrentId, 0, 0, nullptr, 0.0f), 0x41424344);
    EXPECT_EQ(Call(vst2::audioMasterGetBlockSize), 2048);
    EXPECT_EQ(Call(vst2::audioMasterGetLanguage), 1);
    EXPECT_EQ(Call(vst2::audioMasterGetInputLatency), 0);
    EXPECT_EQ(Call(vst2::audioMasterGetVendorVersion), 0);
    host.ParameterQuantization = 5;
    EXPECT_EQ(Call(vst2::audioMasterGetParameterQuantization, 0, -1), 5);
    EXPECT_EQ(Call(vst2::audioMasterGetParameterQuantization, 0, 3), 0);
    EXPECT_EQ(reinterpret_cast<const char*>(Call(vst2::audioMasterGetDirectory)), host.PlugInDir);

    char vendor[8];
    std::memset(vendor, 'x', sizeof vendor);
    Call(vst2::audioMasterGetVendorString, 0, 0, vendor);
    EXPECT_EQ(vendor[0], '\0');
    EXPECT_EQ(vendor[1], 'x'); // a single zero byte, nothing more

    const vst2::VstTimeInfo* time = nullptr;
    {
        RealtimeScope audioThread; // plugins ask for the time while processing
        time =
            reinterpret_cast<const vst2::VstTimeInfo*>(Call(vst2::audioMasterGetTime, 0, 0xFFFF));
    }
    ASSERT_EQ(time, &host.VstTimeInfo().Record());
    EXPECT_DOUBLE_EQ(time->sampleRate, 44100.0); // no driver has told the host its rate
    EXPECT_DOUBLE_EQ(time->tempo, 0.0);
    EXPECT_EQ(time->flags, 0xFF00);
    EXPECT_EQ(time->timeSigNumerator, 4);
    EXPECT_EQ(time->smpteFrameRate, 1);
}

TEST_F(HostCallbackTest, HandlerRowsNeedTheCallingPluginObject) {
    int wantMidi = 0;
    int idle = 0;
    plugin.OnAudioMasterWantMidi = [&](TVstPlugIn&) { ++wantMidi; };
    plugin.OnAudioMasterIdle = [&](TVstPlugIn&) { ++idle; };
    plugin.OnAudioMasterPinConnected = [](TVstPlugIn&, std::int32_t pin, bool isInput) {
        return pin == 0 && isInput;
    };

    Call(vst2::audioMasterWantMidi);
    HostCallback(nullptr, vst2::audioMasterWantMidi, 0, 0, nullptr, 0.0f);
    FakeEffect stranger;
    HostCallback(&stranger.effect, vst2::audioMasterWantMidi, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(wantMidi, 1);

    EXPECT_FALSE(plugin.NeedIdle());
    Call(vst2::audioMasterIdle);
    EXPECT_TRUE(plugin.NeedIdle());
    EXPECT_EQ(idle, 1);
    EXPECT_EQ(plugin.Idle(), 0); // now reaches the plugin
    EXPECT_EQ(fake.CountOf(vst2::effIdle), 1);

    EXPECT_EQ(Call(vst2::audioMasterPinConnected, 0, 0), 0); // connected answers 0
    EXPECT_EQ(Call(vst2::audioMasterPinConnected, 0, 1), 1);

    plugin.ReplaceOrAccumulate = TReplaceOrAccumulate::roa2Accumulate;
    EXPECT_EQ(Call(vst2::audioMasterWillReplaceOrAccumulate), 2);
    EXPECT_EQ(HostCallback(nullptr, vst2::audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f),
              0);

    // A failing handler is caught and read as 0.
    plugin.OnAudioMasterUpdateDisplay = [](TVstPlugIn&) { throw std::runtime_error("boom"); };
    EXPECT_EQ(Call(vst2::audioMasterUpdateDisplay), 0);
}

TEST_F(HostCallbackTest, SizeWindowSkipsPluginsThatMisuseIt) {
    EXPECT_EQ(Call(vst2::audioMasterSizeWindow, 640, 480), 0); // no editor window
    plugin.SetActive(true);
    THeadlessEditorWindow window;
    window.SetClientSize(100, 50);
    plugin.SetEditorWindow(&window);
    fake.answers[vst2::effGetVendorString] = 1;

    fake.texts[vst2::effGetVendorString] = "Synths by Dash";
    EXPECT_EQ(Call(vst2::audioMasterSizeWindow, 640, 480), 0);
    fake.texts[vst2::effGetVendorString] = "wusik.com";
    EXPECT_EQ(Call(vst2::audioMasterSizeWindow, 640, 480), 0);
    EXPECT_EQ(window.ClientWidth(), 100);

    fake.texts[vst2::effGetVendorString] = "Peldor Tests";
    EXPECT_EQ(Call(vst2::audioMasterSizeWindow, 640, 480), 1);
    EXPECT_EQ(window.ClientWidth(), 640);
    EXPECT_EQ(window.ClientHeight(), 480);
    plugin.SetActive(false);
}

TEST_F(HostCallbackTest, UnknownOpcodesWarnAndAnswerZero) {
    EXPECT_EQ(Call(99, 1, 2, nullptr, 0.25f), 0);
    EXPECT_EQ(Call(5, 7, 8, nullptr, 1.5f), 0);
    EXPECT_EQ(Call(vst2::audioMasterGetInputSpeakerArrangement), 0);
    EXPECT_EQ(Call(vst2::audioMasterGetChunkFile), 0); // known: no warning
    ASSERT_EQ(presenter.boxes.size(), 3u);
    EXPECT_EQ(presenter.boxes[0].text, "Check: 99 - 1 - 2 - 0.25");
    EXPECT_EQ(presenter.boxes[1].text, "Check: 5 - 7 - 8 - 1.5");
    EXPECT_EQ(presenter.boxes[2].text, "Check: 49 - 0 - 0 - 0");
    EXPECT_EQ(presenter.boxes[0].kind, kMsgWarning);

    // Asking for the previous plugin gets a request to report the plugin, and 0.
    EXPECT_EQ(Call(vst2::audioMasterGetPreviousPlug), 0);
    ASSERT_EQ(presenter.boxes.size(), 4u);
    EXPECT_NE(presenter.boxes[3].text.find("report the plugin"), std::string::npos);

    char text[128];
    FormatUnknownOpcodeText(text, sizeof text, "Check: ", -3, 0, -9, 1e20f);
    EXPECT_STREQ(text, "Check: -3 - 0 - -9 - 1.00000002004088E20");
    FormatUnknownOpcodeText(text, sizeof text, "Check: ", 50, 0, 0, 0.1f);
    EXPECT_STREQ(text, "Check: 50 - 0 - 0 - 0.100000001490116");
}

// The warning raised on the driver's thread is handed to the window thread: the caller
// neither waits nor allocates.
TEST_F(HostCallbackTest, WarningFromTheAudioThreadIsPostedNotShown) {
    VstIntPtr answer = -1;
    std::thread audio([&] {
        RealtimeScope realtime;
        answer = HostCallback(&fake.effect, 77, 3, 4, nullptr, 0.5f);
    });
    audio.join();
    EXPECT_EQ(answer, 0);
    EXPECT_TRUE(presenter.boxes.empty());
    DeliverPostedMessageBoxes();
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].title, "Warning");
    EXPECT_EQ(presenter.boxes[0].text, "Check: 77 - 3 - 4 - 0.5");
}

class ConfirmingDialogs final : public IFileDialogFactory {
public:
    class Dialog final : public THostFileDialog {
    public:
        explicit Dialog(ConfirmingDialogs& theOwner) : owner(theOwner) {}
        bool Execute() override {
            ++owner.shown;
            owner.lastFilter = Filter;
            FileName = "/home/player/patch.fxp";
            return true;
        }
        ConfirmingDialogs& owner;
    };
    ConfirmingDialogs() { SetFileDialogFactory(this); }
    ~ConfirmingDialogs() override { SetFileDialogFactory(nullptr); }
    std::unique_ptr<THostFileDialog> CreateFileDialog(bool) override {
        return std::make_unique<Dialog>(*this);
    }
    int shown = 0;
    std::string lastFilter;
};

TEST_F(HostCallbackTest, FileSelectorHoldsOneDialogUntilClosed) {
    vst2::VstFileType types[2] = {};
    std::strcpy(types[0].name, "Patch");
    std::strcpy(types[0].dosType, "fxp");
    std::strcpy(types[1].name, "Bank");
    std::strcpy(types[1].dosType, "fxb");
    vst2::VstFileSelect select{};
    select.command = vst2::kVstFileLoad;
    select.nbFileTypes = 2;
    select.fileTypes = types;
    std::strcpy(select.title, "Load patch");

    // Headless: no file chosen, nothing held.
    EXPECT_EQ(Call(vst2::audioMasterOpenFileSelector, 0, 0, &select), 1);
    EXPECT_EQ(select.returnPath, nullptr);
    EXPECT_EQ(HeldFileDialog(), nullptr);
    EXPECT_EQ(Call(vst2::audioMasterOpenFileSelector), 0); // no record

    ConfirmingDialogs dialogs;
    EXPECT_EQ(Call(vst2::audioMasterOpenFileSelector, 0, 0, &select), 1);
    ASSERT_NE(select.returnPath, nullptr);
    EXPECT_STREQ(select.returnPath, "/home/player/patch.fxp");
    EXPECT_EQ(select.sizeReturnPath, 22);
    EXPECT_EQ(dialogs.lastFilter, "Patch (*.fxp)|*.fxp|Bank (*.fxb)|*.fxb|");
    ASSERT_NE(HeldFileDialog(), nullptr);
    EXPECT_EQ(HeldFileDialog()->Name, "HostDialog");

    vst2::VstFileSelect second = select;
    second.returnPath = nullptr;
    EXPECT_EQ(Call(vst2::audioMasterOpenFileSelector, 0, 0, &second), 0);
    EXPECT_EQ(dialogs.shown, 1);

    std::strcpy(second.title, "Other title");
    Call(vst2::audioMasterCloseFileSelector, 0, 0, &second);
    EXPECT_NE(HeldFileDialog(), nullptr);
    Call(vst2::audioMasterCloseFileSelector, 0, 0, &select);
    EXPECT_EQ(HeldFileDialog(), nullptr);
}

} // namespace
} // namespace peldor::test
