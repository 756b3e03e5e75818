#include "audio_io/wav_file_driver.h"

#include "audio_io/asio_host.h"
#include "tests/audio_io/engine_rig.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace peldor {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

bool WaitUntilFinished(const TWavFileDriver& driver) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!driver.Finished()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

TEST(WavFileDriver, RendersExactlyWhatTheEngineProducesAsA24BitFile) {
    test::TempDir dir;
    const auto ini = dir / "peldor.ini";
    constexpr int kFrames = 4800;
    std::ofstream(ini) << "[WAV file]\nPath=render.wav\nSample rate=48000\nBuffer size=128\n"
                          "Channels=2\nFormat=24\nLength="
                       << kFrames << "\n";
    TASIOHost host(BuildDriverList(ini));
    host.SetDriverName("WAV file");
    ASSERT_TRUE(host.BuffersCreated());
    EXPECT_EQ(host.InputChannelCount(), 0);
    EXPECT_EQ(host.BufferSize(), 128u);
    test::EngineRig rig(0, 1);
    rig.Attach(host);
    auto* driver = dynamic_cast<TWavFileDriver*>(host.Driver());
    ASSERT_NE(driver, nullptr);
    host.SetActive(true);
    ASSERT_TRUE(WaitUntilFinished(*driver));
    host.SetActive(false);

    const std::vector<std::uint8_t> file = ReadFile(dir / "render.wav");
    constexpr std::size_t kHeader = 44, kBytes = kFrames * 2 * 3;
    ASSERT_EQ(file.size(), kHeader + kBytes);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(U32(file, 4), 36 + kBytes);
    EXPECT_EQ(U16(file, 20), 1); // PCM
    EXPECT_EQ(U16(file, 22), 2); // channels
    EXPECT_EQ(U32(file, 24), 48000u);
    EXPECT_EQ(U16(file, 32), 6);  // block align
    EXPECT_EQ(U16(file, 34), 24); // bits
    EXPECT_EQ(U32(file, 40), kBytes);

    // The same engine run by hand, clipped and converted the same way, gives the same bytes.
    test::EngineRig reference(0, 1);
    reference.processor.SetSampleRate(48000.0f);
    reference.processor.SetBlockSize(128);
    reference.processor.UpdateOscillator();
    CurrentStrips = reference.strips.get();
    ProcessingEnabled = true;
    std::vector<float> left(128), right(128);
    float* outs[2] = {left.data(), right.data()};
    std::vector<std::uint8_t> expected;
    std::vector<std::uint8_t> l(128 * 3), r(128 * 3);
    for (int block = 0; block < kFrames / 128 + 1; ++block) {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        reference.processor.ProcessBlock(nullptr, 0, outs, 2);
        DigitalClipPair().cb32(left.data(), 128);
        DigitalClipPair().cb32(right.data(), 128);
        PlainConversionSet().Out[ASIOSTInt24LSB].oc32(left.data(), l.data(), 128);
        PlainConversionSet().Out[ASIOSTInt24LSB].oc32(right.data(), r.data(), 128);
        for (int i = 0; i < 128; ++i) {
            expected.insert(expected.end(), l.begin() + 3 * i, l.begin() + 3 * i + 3);
            expected.insert(expected.end(), r.begin() + 3 * i, r.begin() + 3 * i + 3);
        }
    }
    expected.resize(kBytes);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + kHeader));

    std::vector<float> channel0(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        PlainConversionSet().In[ASIOSTInt24LSB].ic32(file.data() + kHeader + 6 * i,
                                                     &channel0[static_cast<std::size_t>(i)], 1);
    }
    EXPECT_NEAR(test::ZeroCrossingFrequency(channel0, 48000.0), 1000.0, 5.0);
    EXPECT_NEAR(test::ToneAmplitude(channel0, 48000.0, 1000.0), 0.5, 0.03);
}

TEST(WavFileDriver, FloatFilesAndAFileThatCannotBeMade) {
    test::TempDir dir;
    TWavFileSettings settings;
    settings.Path = dir / "float.wav";
    settings.FloatFormat = true;
    settings.Channels = 3;
    settings.BufferSize = 64;
    settings.Length = 100;
    TASIOHost host(
        {{kWavFileDriverName, [settings] { return std::make_unique<TWavFileDriver>(settings); }}});
    host.SetDriverIndex(0);
    EXPECT_EQ(host.OutputChannelInfos()[2].type, ASIOSTFloat32LSB);
    host.SetActive(true);
    ASSERT_TRUE(WaitUntilFinished(*dynamic_cast<TWavFileDriver*>(host.Driver())));
    host.SetActive(false);
    const auto file = ReadFile(settings.Path);
    ASSERT_EQ(file.size(), 44u + 100 * 3 * 4);
    EXPECT_EQ(U16(file, 20), 3); // IEEE float
    EXPECT_EQ(U16(file, 34), 32);

    TWavFileSettings nowhere = settings;
    nowhere.Path = dir / "no" / "such" / "folder.wav";
    TASIOHost failing(
        {{kWavFileDriverName, [nowhere] { return std::make_unique<TWavFileDriver>(nowhere); }}});
    failing.SetDriverIndex(0);
    failing.SetActive(true);
    EXPECT_FALSE(failing.Active());
}

} // namespace
} // namespace peldor
