// The plugin host with the driver's thread running: channel buffers resized under a running
// audio thread, warnings posted from it, and notes handed to an instrument while it renders.
// Run under ThreadSanitizer as well.

#include "engine/event_queue.h"
#include "engine/processor.h"
#include "engine/realtime_scope.h"
#include "engine/strip_table.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace peldor::test
