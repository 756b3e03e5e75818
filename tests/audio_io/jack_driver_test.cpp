#include "audio_io/jack_driver.h"

#include "audio_io/asio_host.h"
#include "i18n/message_box.h"
#include "tests/audio_io/engine_rig.h"
#include "tests/support/jack_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_deadline.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <mutex>
#include <thread>

namespace peldor {
namespace {

using namespace std::chrono_literals;

constexpr int kOutputs = 4;
constexpr std::size_t kCaptureFrames = 48000 / 2;

/// Polls until done() holds, at most limit. True when it did.
template <typename Done> bool WaitUntil(Done done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

/// A second JACK client that records what arrives at its inputs.
class CaptureClient {
public:
    bool Open(const std::string& server) {
        jack_status_t status{};
        client = jack_client_open("capture",
                                  static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                  &status, server.c_str());
        if (client == nullptr) {
            return false;
        }
        for (int c = 0; c < kOutputs; ++c) {
            ports[c] = jack_port_register(client, ("in_" + std::to_string(c + 1)).c_str(),
                                          JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
            samples[c].assign(kCaptureFrames, 0.0f);
        }
        jack_set_process_callback(client, &CaptureClient::Process, this);
        return jack_activate(client) == 0;
    }
    void Close() {
        if (client != nullptr) {
            jack_client_close(client);
            client = nullptr;
        }
    }
    ~CaptureClient() { Close(); }

    bool Connect(const std::string& peldorClient) {
        for (int c = 0; c < kOutputs; ++c) {
            const std::string from = peldorClient + ":out_" + std::to_string(c + 1);
            if (jack_connect(client, from.c_str(), jack_port_name(ports[c])) != 0) {
                return false;
            }
        }
        return true;
    }
    /// Starts a new recording once the signal has settled, and waits until it is full.
    bool Record() {
        frames.store(0);
        recording.store(true);
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (frames.load() < kCaptureFrames) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }
    std::vector<float> Channel(int c) const { return samples[c]; }

private:
    static int Process(jack_nframes_t n, void* self) {
        auto* me = static_cast<CaptureClient*>(self);
        if (!me->recording.load()) {
            return 0;
        }
        std::size_t at = me->frames.load(std::memory_order_relaxed);
        const std::size_t take = std::min<std::size_t>(n, kCaptureFrames - at);
        for (int c = 0; c < kOutputs; ++c) {
            const auto* in = static_cast<const float*>(jack_port_get_buffer(me->ports[c], n));
            std::copy_n(in, take, me->samples[c].begin() + static_cast<std::ptrdiff_t>(at));
        }
        me->frames.store(at + take, std::memory_order_release);
        if (at + take == kCaptureFrames) {
            me->recording.store(false);
        }
        return 0;
    }

    jack_client_t* client = nullptr;
    jack_port_t* ports[kOutputs] = {};
    std::vector<float> samples[kOutputs];
    std::atomic<bool> recording{false};
    std::atomic<std::size_t> frames{0};
};

struct JackFixture : ::testing::Test {
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        std::ofstream(ini) << "[JACK]\nServer=" << server.Name()
                           << "\nInputs=2\nOutputs=" << kOutputs << "\nAuto connect=0\n";
    }

    /// Opens the JACK driver through the host and starts the engine tone on outputs 3 and 4.
    /// A server on a loaded machine may turn a client away; the open is tried a few times.
    void StartPeldor() {
        for (int attempt = 0; attempt < kAttempts && host.Driver() == nullptr; ++attempt) {
            host.SetDriverName("JACK");
        }
        ASSERT_NE(host.Driver(), nullptr);
        ASSERT_TRUE(host.BuffersCreated());
        rig.Attach(host);
        host.SetActive(true);
        ASSERT_TRUE(host.Active());
    }

    /// True when a recording of outputs 3 and 4 holds the clean 1 kHz tone at half scale and
    /// outputs 1 and 2 are silent.
    static bool ToneIsClean(const CaptureClient& capture) {
        for (int c : {2, 3}) {
            const std::vector<float> tone = capture.Channel(c);
            if (std::abs(test::ZeroCrossingFrequency(tone, 48000.0) - 1000.0) > 2.0 ||
                std::abs(test::ToneAmplitude(tone, 48000.0, 1000.0) - 0.5) > 0.03 ||
                test::ToneAmplitude(tone, 48000.0, 1200.0) >= 0.02) {
                return false;
            }
        }
        return test::Peak(capture.Channel(0)) == 0.0f && test::Peak(capture.Channel(1)) == 0.0f;
    }

    /// A cycle the server drops on a loaded machine leaves a gap in one recording; the tone
    /// must come out clean in one of a few.
    void ExpectToneOnOutputs3And4(CaptureClient& capture) {
        const auto* driver = dynamic_cast<TJackDriver*>(host.Driver());
        ASSERT_NE(driver, nullptr);
        ASSERT_TRUE(capture.Connect(driver->ClientName()));
        bool clean = false;
        for (int attempt = 0; attempt < kAttempts && !clean; ++attempt) {
            ASSERT_TRUE(capture.Record());
            clean = ToneIsClean(capture);
        }
        // The last recording, in detail (the clean one when there was one).
        for (int c : {2, 3}) {
            const std::vector<float> tone = capture.Channel(c);
            EXPECT_NEAR(test::ZeroCrossingFrequency(tone, 48000.0), 1000.0, 2.0) << c;
            EXPECT_NEAR(test::ToneAmplitude(tone, 48000.0, 1000.0), 0.5, 0.03) << c;
            EXPECT_LT(test::ToneAmplitude(tone, 48000.0, 1200.0), 0.02) << c;
        }
        EXPECT_EQ(test::Peak(capture.Channel(0)), 0.0f);
        EXPECT_EQ(test::Peak(capture.Channel(1)), 0.0f);
    }

    static constexpr int kAttempts = 3;
    // First in, last out: it covers the tear-down too (the host closes the driver there).
    test::TestDeadline deadline{150s, test::TestDeadline::CurrentTestName()};
    test::JackServer server{48000, 256};
    test::TempDir dir;
    std::filesystem::path ini = dir / "peldor.ini";
    TASIOHost host{BuildDriverList(ini)};
    test::EngineRig rig{2, 3};
};

TEST_F(JackFixture, TheEngineToneReachesTheAssignedJackOutputs) {
    ASSERT_NO_FATAL_FAILURE(StartPeldor());
    EXPECT_EQ(host.SampleRate(), 48000.0);
    EXPECT_EQ(host.BufferSize(), 256u);
    EXPECT_EQ(host.InputChannelCount(), 2);
    EXPECT_EQ(host.OutputChannelCount(), kOutputs);
    EXPECT_EQ(host.OutputChannelInfos()[3].name, std::string("out_4"));
    EXPECT_EQ(host.OutputChannelInfos()[0].type, ASIOSTFloat32LSB);
    EXPECT_EQ(host.CanSampleRate(48000), ASE_OK);
    EXPECT_EQ(host.CanSampleRate(44100), ASE_NoClock);
    CaptureClient capture;
    ASSERT_TRUE(capture.Open(server.Name()));
    ASSERT_NO_FATAL_FAILURE(ExpectToneOnOutputs3And4(capture));
    host.SetActive(false);
}

TEST_F(JackFixture, LosingTheServerIsReportedAndAReopenWorksOnceItIsBack) {
    std::mutex m;
    std::condition_variable cv;
    bool reset = false;
    host.OnReset = [&](TCustomASIOHostBasic&) {
        std::lock_guard lock(m);
        reset = true;
        cv.notify_all();
    };
    ASSERT_NO_FATAL_FAILURE(StartPeldor());
    server.Stop();
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 20s, [&] { return reset; }));
    }
    // The re-open found no server: the host runs on without driver.
    EXPECT_EQ(host.Driver(), nullptr);
    EXPECT_FALSE(host.Active());

    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    ASSERT_TRUE(host.OpenDriver());
    rig.Attach(host);
    host.SetActive(true);
    ASSERT_TRUE(host.Active());
    CaptureClient capture;
    ASSERT_TRUE(capture.Open(server.Name()));
    ASSERT_NO_FATAL_FAILURE(ExpectToneOnOutputs3And4(capture));
    host.SetActive(false);
    DeliverPostedMessageBoxes();
}

std::atomic<int> serverLossesHeard{0};
void HearServerLoss() noexcept {
    serverLossesHeard.fetch_add(1);
}
TJackDriver::TServerAnswer ServerLooksGone(_jack_client* /*client*/) noexcept {
    return TJackDriver::TServerAnswer::Gone;
}

/// Restores the driver's process-wide hooks when a test ends, however it ends.
struct JackHooks {
    JackHooks() {
        serverLossesHeard.store(0);
        TJackDriver::SetServerLostListener(&HearServerLoss);
    }
    ~JackHooks() {
        TJackDriver::SetServerLostListener(nullptr);
        TJackDriver::SetServerProbe(nullptr);
    }
};

// A server that stops running cycles is asked whether it is still there. A frozen one answers
// nothing but has not gone, and is left alone. One that has gone without libjack noticing
// (made to look so by the probe, since libjack notices a real death at once) is reported by
// the driver once, with the reset and the listener call libjack's own report would give, also
// when libjack reports the death afterwards.
TEST_F(JackFixture, AServerThatRunsNoCyclesIsReportedOnlyWhenGoneAndOnce) {
    const JackHooks hooks;
    std::atomic<int> resets{0};
    host.OnReset = [&](TCustomASIOHostBasic&) { resets.fetch_add(1); };
    ASSERT_NO_FATAL_FAILURE(StartPeldor());
    const auto* driver = dynamic_cast<TJackDriver*>(host.Driver());
    ASSERT_NE(driver, nullptr);

    // Long enough for the driver to notice the standstill and give up on an answer.
    ASSERT_TRUE(server.Signal(SIGSTOP));
    std::this_thread::sleep_for(4s);
    ASSERT_TRUE(server.Signal(SIGCONT));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(resets.load(), 0);
    EXPECT_EQ(serverLossesHeard.load(), 0);
    EXPECT_FALSE(driver->ServerLost());
    EXPECT_EQ(host.Driver(), driver);

    TJackDriver::SetServerProbe(&ServerLooksGone);
    ASSERT_TRUE(server.Signal(SIGSTOP));
    ASSERT_TRUE(WaitUntil([] { return serverLossesHeard.load() > 0; }, 10s))
        << "the driver did not report a server that runs no cycles and looks gone";
    // (The driver may be gone from here on: the host re-opens it.)
    // Now it really goes, and libjack hears of it too.
    ASSERT_TRUE(server.Signal(SIGKILL));
    server.Stop();
    ASSERT_TRUE(WaitUntil([&] { return resets.load() > 0; }, 20s)) << "no reset came";
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(resets.load(), 1);
    EXPECT_EQ(serverLossesHeard.load(), 1);
    // The re-open found no server.
    EXPECT_EQ(host.Driver(), nullptr);
    EXPECT_FALSE(host.Active());
    DeliverPostedMessageBoxes();
}

TEST_F(JackFixture, NoServerMeansNoDriver) {
    server.Stop();
    host.SetDriverName("JACK");
    EXPECT_EQ(host.Driver(), nullptr);
    host.SetActive(true);
    EXPECT_FALSE(host.Active());
}

} // namespace
} // namespace peldor
