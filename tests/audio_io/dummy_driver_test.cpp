#include "audio_io/dummy_driver.h"

#include "audio_io/asio_host.h"
#include "tests/audio_io/engine_rig.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace peldor {
namespace {

using namespace std::chrono_literals;

bool WaitForBlocks(const TDummyDriver& driver, std::uint64_t count) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (driver.BlocksProcessed() < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::vector<float> Decode(ASIOSampleType type, const std::vector<std::uint8_t>& bytes) {
    std::vector<float> samples(bytes.size() / static_cast<std::size_t>(SampleTypeWidth(type)));
    PlainConversionSet().In[type].ic32(bytes.data(), samples.data(),
                                       static_cast<std::int32_t>(samples.size()));
    return samples;
}

TAsioDriverList DummyList(const TDummySettings& settings) {
    return {{kDummyDriverName, [settings] { return std::make_unique<TDummyDriver>(settings); }}};
}

TEST(DummyDriver, TheEngineToneReachesTheAssignedOutputInEverySampleType) {
    for (ASIOSampleType type : kConvertedSampleTypes) {
        SCOPED_TRACE(SampleTypeName(type));
        TDummySettings settings;
        settings.BufferSize = 1024;
        settings.Inputs = 2;
        settings.Outputs = 3;
        settings.SampleType = type;
        TASIOHost host(DummyList(settings));
        host.SetDriverIndex(0);
        ASSERT_TRUE(host.BuffersCreated());
        test::EngineRig rig(1, -1);
        rig.Attach(host);
        auto* driver = dynamic_cast<TDummyDriver*>(host.Driver());
        ASSERT_NE(driver, nullptr);
        host.SetActive(true);
        ASSERT_TRUE(host.Active());
        ASSERT_TRUE(WaitForBlocks(*driver, 3));
        host.SetActive(false);

        const std::vector<float> tone = Decode(type, driver->LastOutput(1));
        ASSERT_EQ(tone.size(), 1024u);
        EXPECT_NEAR(test::ZeroCrossingFrequency(tone, 48000.0), 1000.0, 10.0);
        EXPECT_NEAR(test::ToneAmplitude(tone, 48000.0, 1000.0), 0.5, 0.03);
        EXPECT_LT(test::ToneAmplitude(tone, 48000.0, 1500.0), 0.03);
        EXPECT_EQ(test::Peak(Decode(type, driver->LastOutput(0))), 0.0f);
        EXPECT_EQ(test::Peak(Decode(type, driver->LastOutput(2))), 0.0f);
    }
}

TEST(DummyDriver, InputToneIsMonitoredOntoTheFirstOutput) {
    TDummySettings settings;
    settings.SampleType = ASIOSTInt16MSB;
    settings.InputTone = true;
    settings.BufferSize = 960;
    TASIOHost host(DummyList(settings));
    host.SetDriverIndex(0);
    host.SetInputMonitor(TInputMonitor::imMono);
    auto* driver = dynamic_cast<TDummyDriver*>(host.Driver());
    host.SetActive(true);
    ASSERT_TRUE(WaitForBlocks(*driver, 3));
    host.SetActive(false);
    const std::vector<float> monitored = Decode(ASIOSTInt16MSB, driver->LastOutput(0));
    EXPECT_NEAR(test::ToneAmplitude(monitored, 48000.0, 1000.0), 0.5, 0.01);
    EXPECT_EQ(test::Peak(Decode(ASIOSTInt16MSB, driver->LastOutput(1))), 0.0f);
}

TEST(DummyDriver, SettingsComeFromTheFileAndAreKeptInRange) {
    test::TempDir dir;
    const auto ini = dir / "peldor.ini";
    std::ofstream(ini) << "[dummy]\nsample RATE=1000\nBuffer size=5\nInputs=300\nOutputs=3\n"
                          "Sample type=32\n";
    TDummyDriver driver(ini);
    ASSERT_EQ(driver.init(nullptr), ASIOTrue);
    EXPECT_EQ(driver.Settings().SampleRate, kDummyLowestRate);
    EXPECT_EQ(driver.Settings().BufferSize, kDummyMinBuffer);
    EXPECT_EQ(driver.Settings().Inputs, kDummyMaxChannels);
    EXPECT_EQ(driver.Settings().Outputs, 3);
    EXPECT_EQ(driver.Settings().SampleType, ASIOSTFloat32LSB);
    EXPECT_EQ(driver.canSampleRate(192000), ASE_OK);
    EXPECT_EQ(driver.canSampleRate(200000), ASE_NoClock);
    std::int32_t mn = 0, mx = 0, pref = 0, gran = 0;
    driver.getBufferSize(&mn, &mx, &pref, &gran);
    EXPECT_EQ(mn, 32);
    EXPECT_EQ(mx, 4096);

    // A missing file gives the defaults.
    TDummyDriver fallback(dir / "missing.ini");
    fallback.init(nullptr);
    EXPECT_EQ(fallback.Settings().SampleRate, 48000.0);
    EXPECT_EQ(fallback.Settings().Outputs, 2);
}

TEST(DummyDriver, BadBufferRecordsAreRefused) {
    TDummyDriver driver{TDummySettings{}};
    driver.init(nullptr);
    ASIOCallbacks callbacks{};
    ASIOBufferInfo twice[2] = {{ASIOFalse, 0, {}}, {ASIOFalse, 0, {}}};
    EXPECT_EQ(driver.createBuffers(twice, 2, 256, &callbacks), ASE_InvalidParameter);
    ASIOBufferInfo unknown[1] = {{ASIOTrue, 9, {}}};
    EXPECT_EQ(driver.createBuffers(unknown, 1, 256, &callbacks), ASE_InvalidParameter);
    ASIOBufferInfo fine[1] = {{ASIOTrue, 1, {}}};
    EXPECT_EQ(driver.createBuffers(fine, 1, 8, &callbacks), ASE_InvalidMode);
    EXPECT_EQ(driver.start(), ASE_InvalidMode); // no buffers
    EXPECT_EQ(driver.createBuffers(fine, 1, 256, &callbacks), ASE_OK);
    EXPECT_NE(fine[0].buffers[0], nullptr);
    EXPECT_NE(fine[0].buffers[1], fine[0].buffers[0]);
}

TEST(DriverList, TheBuiltInDriversInTheirFixedOrder) {
    TASIOHost host(BuildDriverList("/nonexistent/peldor.ini"));
    EXPECT_EQ(host.DriverList(), (std::vector<std::string>{"JACK", "Dummy", "WAV file"}));
    host.SetDriverName("Dummy");
    EXPECT_EQ(host.DriverIndex(), 1);
    EXPECT_EQ(host.OutputChannelCount(), 2);
    EXPECT_EQ(host.OutputChannelInfos()[0].name, std::string("Dummy out 1"));
}

} // namespace
} // namespace peldor
