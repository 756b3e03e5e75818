// Instruments heard through the engine: a note queued for slot 0 reaches the plugin through
// the instrument pass, and ProcessBlock mixes its output into the master outputs.

#include "engine/event_queue.h"
#include "engine/processor.h"
#include "engine/strip_table.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <mutex>

namespace peldor::test {
namespace {

constexpr float kRate = 44100.0f;
constexpr int kBlock = 256;

class EngineRenderTest : public ::testing::Test {
protected:
    EngineRenderTest() {
        InitStripTable();
        InitStripStates(&strips);
        strips[kFirstInstrumentStrip].Level = 1.0f;
        strips[kMasterStrip].Level = 1.0f;
        InitEventQueues();
        for (auto& entry : SlotMap) {
            entry = -1;
        }
        ChannelAssignment.OutMainL = 0;
        ChannelAssignment.OutMainR = 1;
        processor.SetSampleRate(kRate);
        processor.SetBlockSize(kBlock);
        host.SetBlockSize(kBlock);
    }
    ~EngineRenderTest() override {
        ProcessingEnabled = false;
        CurrentStrips.store(nullptr);
        for (auto& entry : SlotMap) {
            entry = -1;
        }
        ChannelAssignment.OutMainL = -1;
        ChannelAssignment.OutMainR = -1;
    }

    /// Opens the library and puts it into instrument slot 0.
    TVstPlugIn& LoadIntoSlot0(const std::string& path) {
        TVstPlugIn& plugin = host.VstPlugIns().Add();
        plugin.SetDLLFileName(path);
        plugin.SetActive(true);
        SlotMap[0] = plugin.Index();
        CurrentStrips.store(&strips);
        ProcessingEnabled = true;
        return plugin;
    }

    static void Queue(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        std::lock_guard lock(RoutingLock);
        ASSERT_TRUE(QueueMidiEvent(0, status, data1, data2));
    }

    /// Runs blocks ProcessBlock calls and returns the left and right outputs one after another.
    std::pair<std::vector<float>, std::vector<float>> Render(int blocks) {
        std::vector<float> left;
        std::vector<float> right;
        float l[kBlock];
        float r[kBlock];
        float* outputs[2] = {l, r};
        for (int b = 0; b < blocks; ++b) {
            std::fill_n(l, kBlock, 0.0f);
            std::fill_n(r, kBlock, 0.0f);
            processor.ProcessBlock(nullptr, 0, outputs, 2);
            left.insert(left.end(), l, l + kBlock);
            right.insert(right.end(), r, r + kBlock);
        }
        return {left, right};
    }

    static float Peak(const std::vector<float>& samples) {
        float peak = 0.0f;
        for (float s : samples) {
            peak = std::max(peak, std::abs(s));
        }
        return peak;
    }

    RecordingPresenter presenter;
    TVstHost host;
    int hostLink = 1; // stands for the audio host; the engine only checks that there is one
    TProcessor processor{&hostLink, &host};
    TStripStates strips;
};

TEST_F(EngineRenderTest, TestSynthPlaysTheNoteItIsSent) {
    LoadIntoSlot0(TestPlugin("PeldorSynth"));
    EXPECT_EQ(Peak(Render(2).first), 0.0f);

    Queue(0x90, 69, 127);                   // A4 at full velocity
    const auto [left, right] = Render(172); // about a second
    // Volume 0.8, then half to each side at the instrument's pan and again at the master's.
    EXPECT_NEAR(Peak(left), 0.2f, 0.01f);
    EXPECT_NEAR(Peak(right), 0.2f, 0.01f);
    int crossings = 0;
    for (std::size_t i = 1; i < left.size(); ++i) {
        crossings += (left[i - 1] < 0.0f) != (left[i] < 0.0f) ? 1 : 0;
    }
    const double seconds = static_cast<double>(left.size()) / kRate;
    EXPECT_NEAR(crossings / (2.0 * seconds), 440.0, 3.0);

    Queue(0x80, 69, 0);
    Render(1);
    EXPECT_EQ(Peak(Render(2).first), 0.0f);
}

TEST_F(EngineRenderTest, KarsRendersAudibleNotes) {
    const std::string path = "/usr/lib/vst/Kars-vst.so";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << path << " is missing (Debian package dpf-plugins-vst)";
    }
    TVstPlugIn& kars = LoadIntoSlot0(path);
    ASSERT_TRUE(kars.Active());
    ASSERT_EQ(kars.numOutputs(), 1); // mono: the engine's right side gets a copy
    Queue(0x90, 60, 110);
    Queue(0x90, 64, 110);
    const auto [left, right] = Render(40);
    EXPECT_GT(Peak(left), 0.01f);
    EXPECT_EQ(left, right);
    kars.SetActive(false);
}

} // namespace
} // namespace peldor::test
