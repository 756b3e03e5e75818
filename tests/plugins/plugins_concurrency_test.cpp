// The plugin host with the driver's thread running: channel buffers resized under a running
// audio thread, warnings posted from it, and notes handed to an instrument while it renders.
// Run under ThreadSanitizer as well.

#include "engine/event_queue.h"
#include "engine/processor.h"
#include "engine/realtime_scope.h"
#include "engine/strip_table.h"
#include "plugins/host_callback.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace peldor::test {
namespace {

constexpr int kFrames = 128;

class PluginConcurrencyTest : public ::testing::Test {
protected:
    TVstPlugIn& Open(const std::string& name) {
        TVstPlugIn& plugin = host.VstPlugIns().Add();
        plugin.SetDLLFileName(TestPlugin(name));
        plugin.SetActive(true);
        return plugin;
    }

    RecordingPresenter presenter;
    TVstHost host;
};

TEST_F(PluginConcurrencyTest, ResizingWhileTheAudioThreadRendersNeverTearsABlock) {
    TVstPlugIn& plugin = Open("Io1x6");
    std::atomic<bool> stop{false};
    std::atomic<int> wrongBlocks{0};
    std::thread audio([&] {
        float left[kFrames];
        float right[kFrames];
        float* outputs[2] = {left, right};
        while (!stop.load()) {
            RealtimeScope realtime;
            plugin.ProcessReplacing(nullptr, outputs, kFrames);
            // A whole block of the plugin's markers, or a whole block of silence.
            const bool rendered = left[0] == 0.125f && right[0] == 0.25f;
            for (int s = 0; s < kFrames; ++s) {
                const bool ok = rendered ? left[s] == 0.125f && right[s] == 0.25f
                                         : left[s] == 0.0f && right[s] == 0.0f;
                if (!ok) {
                    wrongBlocks.fetch_add(1);
                    break;
                }
            }
        }
    });
    for (int i = 0; i < 300; ++i) {
        plugin.SetBlockSize(16 + (i % 7) * 32);
    }
    stop = true;
    audio.join();
    EXPECT_EQ(wrongBlocks.load(), 0);
    plugin.SetActive(false);
}

TEST_F(PluginConcurrencyTest, WarningsFromTheAudioThreadReachTheWindowThread) {
    TVstPlugIn& plugin = Open("UnknownOpcode");
    presenter.boxes.clear();
    std::atomic<bool> done{false};
    std::thread audio([&] {
        float buffers[2][kFrames] = {};
        float* inputs[2] = {buffers[0], buffers[1]};
        float* outputs[2] = {buffers[0], buffers[1]};
        for (int block = 0; block < 50; ++block) {
            RealtimeScope realtime;
            plugin.ProcessReplacing(inputs, outputs, kFrames); // asks opcode 77 every block
        }
        done = true;
    });
    while (!done.load()) {
        DeliverPostedMessageBoxes();
        std::this_thread::yield();
    }
    audio.join();
    DeliverPostedMessageBoxes();
    ASSERT_FALSE(presenter.boxes.empty());
    EXPECT_EQ(presenter.boxes.front().text, "Check: 77 - 0 - 0 - 0");
    plugin.SetActive(false);
}

TEST_F(PluginConcurrencyTest, NotesQueuedWhileTheEngineRendersAreHeard) {
    InitStripTable();
    TStripStates strips;
    InitStripStates(&strips);
    strips[kFirstInstrumentStrip].Level = 1.0f;
    strips[kMasterStrip].Level = 1.0f;
    InitEventQueues();
    int hostLink = 1;
    TProcessor processor(&hostLink, &host);
    processor.SetSampleRate(44100.0f);
    processor.SetBlockSize(kFrames);
    TVstPlugIn& synth = Open("PeldorSynth");
    SlotMap[0] = synth.Index();
    ChannelAssignment.OutMainL = 0;
    ChannelAssignment.OutMainR = 1;
    CurrentStrips.store(&strips);
    ProcessingEnabled = true;

    std::atomic<bool> stop{false};
    std::atomic<int> audibleBlocks{0};
    std::thread driver([&] {
        float left[kFrames];
        float right[kFrames];
        float* outputs[2] = {left, right};
        while (!stop.load()) {
            std::fill_n(left, kFrames, 0.0f);
            std::fill_n(right, kFrames, 0.0f);
            processor.ProcessBlock(nullptr, 0, outputs, 2);
            if (std::any_of(left, left + kFrames, [](float s) { return s != 0.0f; })) {
                audibleBlocks.fetch_add(1);
            }
        }
    });
    for (int note = 0; note < 40; ++note) {
        {
            std::lock_guard lock(RoutingLock);
            QueueMidiEvent(0, 0x90, static_cast<std::uint8_t>(48 + note % 24), 100);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    while (audibleBlocks.load() == 0) {
        std::this_thread::yield();
    }
    stop = true;
    driver.join();
    EXPECT_GT(audibleBlocks.load(), 0);

    ProcessingEnabled = false;
    CurrentStrips.store(nullptr);
    SlotMap[0] = -1;
    ChannelAssignment.OutMainL = -1;
    ChannelAssignment.OutMainR = -1;
    synth.SetActive(false);
}

// A plugin's callbacks come from its own threads and the driver's at any time, while the
// window thread adds and deletes plugin objects: the look-up of the calling object must never
// read a list being changed, nor an object being freed.
TEST_F(PluginConcurrencyTest, CallbacksFindTheirObjectWhileOthersComeAndGo) {
    TVstPlugIn& synth = Open("PeldorSynth");
    const vst2::AEffect* effect = synth.Effect();
    std::atomic<bool> stop{false};
    std::atomic<int> misses{0};
    std::atomic<int> lookups{0};
    std::thread caller([&] {
        while (!stop.load()) {
            RealtimeScope realtime;
            if (FindPlugInByEffect(effect) != &synth || host.EnginePlugin(0) != &synth) {
                misses.fetch_add(1);
            }
            lookups.fetch_add(1);
        }
    });
    TVstPlugIns& plugIns = host.VstPlugIns();
    for (int round = 0; round < 3000; ++round) {
        plugIns.Add();
        if (round % 3 == 2) {
            plugIns.Delete(1);
            plugIns.Delete(plugIns.Count() - 1);
        }
        if (round % 500 == 0) {
            while (lookups.load() <= round / 500) {
                std::this_thread::yield();
            }
        }
    }
    stop = true;
    caller.join();
    EXPECT_EQ(misses.load(), 0);
    EXPECT_EQ(plugIns.Items(0), &synth);
    synth.SetActive(false);
}

// effIdle and effEditIdle asked for from inside processReplacing are sent later, from the window
// thread's idle pass, never on the driver's thread.
TEST_F(PluginConcurrencyTest, IdleRequestsMadeWhileProcessingAreAnsweredFromTheWindowThread) {
    TVstPlugIn& synth = Open("PeldorSynth");
    const std::string library = TestPlugin("PeldorSynth");
    auto setIdleFromProcess = reinterpret_cast<void (*)(int)>(
        LibrarySymbol(library, "peldor_test_set_idle_from_process"));
    auto idleWhileProcessing = reinterpret_cast<int (*)()>(
        LibrarySymbol(library, "peldor_test_idle_opcodes_while_processing"));
    ASSERT_NE(setIdleFromProcess, nullptr);
    ASSERT_NE(idleWhileProcessing, nullptr);
    // The handlers the slots install: effIdle for audioMasterIdle, effEditIdle for NeedIdle.
    std::atomic<int> answered{0};
    std::atomic<int> answeredOnTheDriverThread{0};
    auto note = [&] {
        answered.fetch_add(1);
        if (InRealtimeScope()) {
            answeredOnTheDriverThread.fetch_add(1);
        }
    };
    synth.OnAudioMasterIdle = [note](TVstPlugIn& plugin) {
        note();
        plugin.Idle();
    };
    synth.OnAudioMasterNeedIdle = [note](TVstPlugIn& plugin) {
        note();
        plugin.EditIdle();
    };

    setIdleFromProcess(1);
    const int idleBefore = idleWhileProcessing();
    std::thread audio([&] {
        float left[kFrames];
        float right[kFrames];
        float* outputs[2] = {left, right};
        for (int block = 0; block < 20; ++block) {
            RealtimeScope realtime;
            synth.ProcessReplacing(nullptr, outputs, kFrames);
        }
    });
    audio.join();
    setIdleFromProcess(0);
    EXPECT_EQ(idleWhileProcessing(), idleBefore);
    EXPECT_EQ(answered.load(), 0);
    EXPECT_TRUE(synth.NeedIdle());

    ResetOpcodeLog(library);
    RaiseDeferredIdleRequests(synth); // the window thread's next tick
    EXPECT_EQ(answered.load(), 2) << "one answer per kind of request, however many blocks asked";
    EXPECT_EQ(answeredOnTheDriverThread.load(), 0);
    const std::vector<int> log = OpcodeLog(library);
    EXPECT_NE(std::find(log.begin(), log.end(), vst2::effIdle), log.end());
    RaiseDeferredIdleRequests(synth);
    EXPECT_EQ(answered.load(), 2);
    synth.SetActive(false);
}

} // namespace
} // namespace peldor::test
