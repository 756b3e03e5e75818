// Fitting the engine's stereo pairs to plugins with other channel counts. Run under ASan, these
// tests also prove that no plugin reads or writes outside the buffers it is given.

#include "engine/realtime_scope.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace peldor::test {
namespace {

constexpr int kFrames = 64;
constexpr float kStale = 9.0f;
constexpr float kLeftIn = 0.01f;
constexpr float kRightIn = 0.02f;

/// The engine's side: two-entry channel arrays over exactly sized heap buffers.
struct EnginePair {
    explicit EnginePair(int theFrames, float fill) : frames(theFrames) {
        for (int c = 0; c < 2; ++c) {
            buffers.push_back(std::make_unique<float[]>(frames));
            std::fill_n(buffers[c].get(), frames, fill);
            channels[c] = buffers[c].get();
        }
    }
    float** Array() { return channels.get(); }
    float At(int channel, int frame) const { return buffers[channel][frame]; }

    int frames;
    std::vector<std::unique_ptr<float[]>> buffers;
    std::unique_ptr<float*[]> channels = std::make_unique<float*[]>(2);
};

/// What the Io test plugin writes on output o, given the sum of its inputs.
float Marker(int output, float inputSum) {
    return 0.125f * static_cast<float>(output + 1) + inputSum;
}

class ChannelAdapterTest : public ::testing::Test {
protected:
    TVstPlugIn& Open(const std::string& path) {
        TVstPlugIn& plugin = host.VstPlugIns().Add();
        plugin.SetDLLFileName(path);
        plugin.SetActive(true);
        return plugin;
    }

    RecordingPresenter presenter;
    TVstHost host;
};

TEST_F(ChannelAdapterTest, EveryLayoutGetsExactlyItsOwnChannels) {
    for (int inputs : {0, 1, 2}) {
        for (int outputs : {0, 1, 2, 6}) {
            SCOPED_TRACE("Io" + std::to_string(inputs) + "x" + std::to_string(outputs));
            TVstPlugIn& plugin =
                Open(TestPlugin("Io" + std::to_string(inputs) + "x" + std::to_string(outputs)));
            plugin.SetBlockSize(kFrames);
            ASSERT_EQ(plugin.numInputs(), inputs);
            ASSERT_EQ(plugin.numOutputs(), outputs);

            // As an instrument: no inputs at all, so every plugin input reads silence.
            EnginePair out(kFrames, kStale);
            {
                RealtimeScope realtime;
                plugin.ProcessReplacing(nullptr, out.Array(), kFrames);
            }
            const float left = outputs == 0 ? 0.0f : Marker(0, 0.0f);
            const float right = outputs == 0 ? 0.0f : Marker(outputs == 1 ? 0 : 1, 0.0f);
            EXPECT_FLOAT_EQ(out.At(0, 0), left);
            EXPECT_FLOAT_EQ(out.At(1, kFrames - 1), right);

            // As an effect: the engine's two inputs, as far as the plugin has inputs.
            EnginePair in(kFrames, 0.0f);
            std::fill_n(in.buffers[0].get(), kFrames, kLeftIn);
            std::fill_n(in.buffers[1].get(), kFrames, kRightIn);
            const float sum = inputs == 0 ? 0.0f : inputs == 1 ? kLeftIn : kLeftIn + kRightIn;
            EnginePair effectOut(kFrames, kStale);
            {
                RealtimeScope realtime;
                plugin.ProcessReplacing(in.Array(), effectOut.Array(), kFrames);
            }
            EXPECT_FLOAT_EQ(effectOut.At(0, 5), outputs == 0 ? 0.0f : Marker(0, sum));
            EXPECT_FLOAT_EQ(effectOut.At(1, 5),
                            outputs == 0 ? 0.0f : Marker(outputs == 1 ? 0 : 1, sum));
            EXPECT_FLOAT_EQ(in.At(0, 5), kLeftIn); // inputs are left alone
            plugin.SetActive(false);
        }
    }
}

TEST_F(ChannelAdapterTest, BlocksLongerThanPreparedAreRenderedInPieces) {
    TVstPlugIn& plugin = Open(TestPlugin("Io1x6"));
    plugin.SetBlockSize(48);
    constexpr int kLongBlock = 200;
    EnginePair out(kLongBlock, kStale);
    {
        RealtimeScope realtime;
        plugin.ProcessReplacing(nullptr, out.Array(), kLongBlock);
    }
    for (int s = 0; s < kLongBlock; ++s) {
        ASSERT_FLOAT_EQ(out.At(0, s), Marker(0, 0.0f)) << "frame " << s;
        ASSERT_FLOAT_EQ(out.At(1, s), Marker(1, 0.0f)) << "frame " << s;
    }
    plugin.SetActive(false);
}

TEST_F(ChannelAdapterTest, ChannelCountsGrownAfterOpeningAreNotTrusted) {
    FakeEffect fake;
    bool called = false;
    fake.effect.numInputs = 0;
    fake.effect.numOutputs = 1;
    fake.effect.processReplacing = [](vst2::AEffect* e, float**, float**, vst2::VstInt32) {
        *static_cast<bool*>(static_cast<FakeEffect*>(e->object)->effect.user) = true;
    };
    fake.effect.user = &called;
    TVstPlugIn& plugin = host.VstPlugIns().Add();
    plugin.PlaceEffect(&fake.effect);
    plugin.SetActive(true);
    fake.effect.numOutputs = 8; // more than were prepared at Open
    EnginePair out(kFrames, kStale);
    plugin.ProcessReplacing(nullptr, out.Array(), kFrames);
    EXPECT_FALSE(called);
    EXPECT_FLOAT_EQ(out.At(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(out.At(1, 0), 0.0f);
    plugin.SetActive(false);
}

// Debian's 3 Band Splitter has two inputs and six outputs: called with the engine's two-entry
// output array as is, it writes past it.
TEST_F(ChannelAdapterTest, RealSplitterWithSixOutputsStaysInItsBuffers) {
    const std::string path = "/usr/lib/vst/3BandSplitter-vst.so";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << path << " is missing (Debian package dpf-plugins-vst)";
    }
    TVstPlugIn& splitter = Open(path);
    ASSERT_EQ(splitter.numOutputs(), 6);
    splitter.SetBlockSize(kFrames);
    EnginePair in(kFrames, 0.25f);
    EnginePair out(kFrames, kStale);
    for (int block = 0; block < 4; ++block) {
        splitter.ProcessReplacing(in.Array(), out.Array(), kFrames);
    }
    EXPECT_LT(std::abs(out.At(0, kFrames - 1)), 2.0f);
    splitter.SetActive(false);
}

} // namespace
} // namespace peldor::test
