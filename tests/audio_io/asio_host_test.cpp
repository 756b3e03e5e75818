#include "audio_io/asio_host.h"

#include "i18n/message_box.h"
#include "tests/audio_io/fake_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace peldor {
namespace {

using test::FakeEntry;
using test::FakeScript;

/// Records every message box instead of showing it.
class RecordingPresenter final : public IMessageBoxPresenter {
public:
    RecordingPresenter() { SetMessageBoxPresenter(this); }
    ~RecordingPresenter() override { SetMessageBoxPresenter(nullptr); }
    int ShowMessageBox(const std::string&, const std::string& text, int, int, int) override {
        texts.push_back(text);
        return kResultOk;
    }
    int ShowInputBox(const std::string&, const std::string&, int, int, int, std::string&) override {
        return kResultOk;
    }
    void SplashStatus(const std::string&) override {}
    std::vector<std::string> texts;
};

struct HostFixture : ::testing::Test {
    std::shared_ptr<FakeScript> script = std::make_shared<FakeScript>();
    std::shared_ptr<FakeScript> second = std::make_shared<FakeScript>();
    TASIOHost host{TAsioDriverList{FakeEntry("Fake A", script), FakeEntry("Fake B", second)}};

    void* OutputHalf(int channel, int half) {
        return host.BufferInfos()[static_cast<std::size_t>(host.InputChannelCount() + channel)]
            .buffers[half];
    }
    void* InputHalf(int channel, int half) {
        return host.BufferInfos()[static_cast<std::size_t>(channel)].buffers[half];
    }
};

TEST(AsioHostEmpty, AnEmptyListLeavesTheHostWithoutDriver) {
    TASIOHost host{TAsioDriverList{}};
    EXPECT_EQ(host.DriverIndex(), -1);
    host.SetDriverIndex(3);
    EXPECT_EQ(host.DriverIndex(), -1);
    EXPECT_EQ(host.Driver(), nullptr);
    host.SetActive(true);
    EXPECT_FALSE(host.Active());
    EXPECT_EQ(host.CanSampleRate(48000), ASE_NotPresent);
    ASIOClockSource clocks[2];
    std::int32_t count = 2;
    EXPECT_EQ(host.GetClockSources(clocks, &count), ASE_NotPresent);
    EXPECT_EQ(host.SetClockSource(0), ASE_NoClock);
    EXPECT_EQ(host.GetInputMeter(0), -1);
    EXPECT_EQ(host.SampleRate(), 44100.0);
    EXPECT_EQ(host.PreventClipping(), TPreventClipping::pcDigital);
    EXPECT_EQ(host.PreFillOutBuffer(), TBufferPreFill::bpfZero);
    EXPECT_EQ(host.ASIOTime().Flags(),
              atSystemTimeValid | atSamplePositionValid | atSampleRateValid | atSpeedValid);
}

TEST_F(HostFixture, SelectingADriverClampsOpensAndQueriesIt) {
    int changed = 0;
    host.OnDriverChanged = [&](TCustomASIOHostBasic&) { ++changed; };
    EXPECT_EQ(host.DriverList(), (std::vector<std::string>{"Fake A", "Fake B"}));
    host.SetDriverIndex(7);
    EXPECT_EQ(host.DriverIndex(), 1);
    EXPECT_EQ(host.DriverName(), "Fake B");
    EXPECT_EQ(second->driversCreated, 1);
    EXPECT_EQ(host.DriverVersion(), 7);
    EXPECT_EQ(second->futureSelectors, (std::vector<std::int32_t>{11, 10, 12, 13, 14, 15, 16}));
    EXPECT_EQ(changed, 1);
    EXPECT_TRUE(host.BuffersCreated());
    EXPECT_EQ(host.InputChannelCount(), 2);
    EXPECT_EQ(host.OutputChannelInfos()[1].name, std::string("Out 2"));
    EXPECT_EQ(host.InputLatency(), 11);
    EXPECT_EQ(host.SampleRate(), 48000.0);

    host.SetDriverName("Fake A");
    EXPECT_EQ(host.DriverIndex(), 0);
    host.SetDriverName("No such driver");
    EXPECT_EQ(host.DriverIndex(), 0);

    host.SetActive(true);
    host.SetDriverIndex(-5);
    EXPECT_EQ(host.DriverIndex(), -1);
    EXPECT_EQ(host.DriverName(), "");
    EXPECT_EQ(host.BufferSize(), 0u);
    EXPECT_EQ(host.OutputChannelCount(), 0);
    EXPECT_EQ(host.Driver(), nullptr);
    EXPECT_FALSE(host.Active());
    EXPECT_EQ(changed, 3);
}

TEST_F(HostFixture, ReselectionRestoresTheRunningState) {
    host.SetDriverIndex(0);
    host.SetActive(true);
    host.SetDriverIndex(1);
    EXPECT_TRUE(host.Active());
    EXPECT_EQ(std::count(script->calls.begin(), script->calls.end(), "stop"), 1);
    EXPECT_EQ(second->calls.back(), "start");
}

TEST_F(HostFixture, ADriverThatFailsToInitialiseIsReportedAndTheProgramRunsOn) {
    RecordingPresenter presenter;
    int changed = 0;
    host.OnDriverChanged = [&](TCustomASIOHostBasic&) { ++changed; };
    script->initResult = false;
    host.SetDriverIndex(0);
    EXPECT_EQ(host.Driver(), nullptr);
    EXPECT_FALSE(host.BuffersCreated());
    EXPECT_EQ(changed, 0);
    host.SetActive(true);
    EXPECT_FALSE(host.Active());
    EXPECT_EQ(presenter.texts, (std::vector<std::string>{"ASIO Driver Failed!"}));

    TASIOHost throwing{TAsioDriverList{
        {"Broken", []() -> std::unique_ptr<IASIODriver> { throw std::runtime_error("x"); }},
        {"Missing", nullptr}}};
    throwing.SetDriverIndex(0);
    throwing.SetDriverIndex(1);
    EXPECT_EQ(throwing.Driver(), nullptr);
    EXPECT_EQ(presenter.texts.size(), 3u);
}

TEST_F(HostFixture, AFailingDriverIsReportedOnceUntilItHasWorkedInBetween) {
    RecordingPresenter presenter;
    script->initResult = false;
    host.SetDriverIndex(0);
    host.OpenDriver(); // the idle handler's retries
    host.OpenDriver();
    EXPECT_EQ(presenter.texts.size(), 1u);
    script->initResult = true;
    EXPECT_TRUE(host.OpenDriver());
    script->initResult = false;
    EXPECT_FALSE(host.OpenDriver()); // a new outage
    EXPECT_FALSE(host.OpenDriver());
    EXPECT_EQ(presenter.texts.size(), 2u);
    // A driver chosen anew is reported when it fails, whatever came before.
    host.SetDriverIndex(-1);
    host.SetDriverIndex(0);
    EXPECT_EQ(presenter.texts.size(), 3u);
}

TEST_F(HostFixture, BufferSizeRules) {
    struct Case {
        std::int32_t min, max, preferred;
        std::uint32_t bufferSize;
    };
    // Equal minimum and maximum win; 0 and sizes above 65530 give 4096.
    for (const Case& c : {Case{128, 128, 512, 128}, Case{64, 100000, 70000, 4096},
                          Case{64, 1024, 0, 4096}, Case{64, 1024, 300, 300}}) {
        script->minSize = c.min;
        script->maxSize = c.max;
        script->preferredSize = c.preferred;
        host.SetDriverIndex(-1);
        host.SetDriverIndex(0);
        EXPECT_EQ(host.BufferSize(), c.bufferSize) << c.preferred;
        // The driver's buffers always hold what the host converts.
        EXPECT_EQ(script->createdSize, static_cast<std::int32_t>(c.bufferSize));
        EXPECT_TRUE(host.BuffersCreated());
    }
    script->minSize = 1;
    script->preferredSize = -5;
    EXPECT_FALSE(host.CreateBuffers());
    EXPECT_FALSE(host.BuffersCreated());

    script->preferredSize = 256;
    script->createAnswer = ASE_NoMemory;
    host.SetDriverIndex(-1);
    host.SetDriverIndex(0);
    EXPECT_NE(host.Driver(), nullptr);
    EXPECT_FALSE(host.BuffersCreated());
    host.BufferSwitch(0); // nothing to convert, and nothing breaks
}

TEST_F(HostFixture, SampleRateRules) {
    host.SetDriverIndex(0);
    host.SetSampleRate(0);
    EXPECT_EQ(host.SampleRate(), 44100.0);
    EXPECT_EQ(host.ASIOTime().SampleRate(), 0.0);
    EXPECT_EQ(script->lastSetRate, 0.0);
    host.SetSampleRate(2e6);
    EXPECT_EQ(host.SampleRate(), 44100.0);
    host.SetSampleRate(std::nan(""));
    EXPECT_EQ(host.SampleRate(), 44100.0);
    host.SetSampleRate(96000);
    EXPECT_EQ(host.SampleRate(), 96000.0);
    EXPECT_EQ(host.CanSampleRate(48000), ASE_OK);
    EXPECT_EQ(host.CanSampleRate(44100), ASE_NoClock);
    host.CloseDriver();
    EXPECT_EQ(host.SampleRate(), 44100.0);
}

TEST_F(HostFixture, ActiveStartsOnceAndStopZeroesTheKnownDriverBuffers) {
    script->outputs = 3;
    script->outputTypes = {ASIOSTInt16LSB, ASIOSTFloat64MSB, ASIOSTDSDInt8NER8};
    host.SetDriverIndex(0);
    host.SetActive(true);
    host.SetActive(true);
    EXPECT_EQ(std::count(script->calls.begin(), script->calls.end(), "start"), 1);
    EXPECT_TRUE(host.Active());
    host.SetActive(false);
    const std::size_t frames = host.BufferSize();
    auto zeroedBytes = [&](int record, int half) {
        const auto* p = static_cast<const std::uint8_t*>(host.BufferInfos()[record].buffers[half]);
        return static_cast<std::size_t>(
            std::find_if(p, p + 8 * frames, [](std::uint8_t b) { return b != 0; }) - p);
    };
    for (int half = 0; half < 2; ++half) {
        EXPECT_EQ(zeroedBytes(0, half), 3 * frames); // Int24LSB input
        EXPECT_EQ(zeroedBytes(2, half), 2 * frames); // Int16LSB output
        EXPECT_EQ(zeroedBytes(3, half), 8 * frames); // Float64MSB output
        EXPECT_EQ(zeroedBytes(4, half), 0u);         // an unknown type is left alone
    }
}

TEST_F(HostFixture, AFailingStartLeavesTheHostStopped) {
    host.SetDriverIndex(0);
    script->startAnswer = ASE_HWMalfunction;
    host.SetActive(true);
    EXPECT_FALSE(host.Active());
    EXPECT_EQ(script->calls.back(), "stop");

    script->startThrows = true;
    host.SetActive(true);
    EXPECT_FALSE(host.Active());
    EXPECT_EQ(host.BufferSize(), 2048u);
    EXPECT_EQ(host.SampleRate(), 44100.0);
    // Stopping again must not zero 2048 samples of 256-sample buffers.
    script->startThrows = false;
    script->startAnswer = ASE_OK;
    host.SetActive(true);
    host.SetActive(false);
    EXPECT_EQ(script->storage[0].size(), 2u * 256 * 8);
}

TEST_F(HostFixture, AsioMessageAnswers) {
    host.SetDriverIndex(0);
    ASIOCallbacks* callbacks = script->callbacks;
    ASSERT_NE(callbacks, nullptr);
    auto message = [&](std::int32_t selector, std::int32_t value = 0) {
        return callbacks->asioMessage(selector, value, nullptr, nullptr);
    };
    std::vector<std::int32_t> supported;
    for (std::int32_t value = 0; value <= 16; ++value) {
        if (message(kAsioSelectorSupported, value) == 1) {
            supported.push_back(value);
        }
    }
    // Selector 4 is handled as a reset request but not announced.
    EXPECT_EQ(supported, (std::vector<std::int32_t>{2, 3, 5, 6, 7, 8}));
    EXPECT_EQ(message(kAsioEngineVersion), 2);
    EXPECT_EQ(message(kAsioResyncRequest), 0);
    EXPECT_EQ(message(kAsioSupportsTimeInfo), 1);
    EXPECT_EQ(message(kAsioSupportsTimeCode), 0);
    EXPECT_EQ(message(kAsioMMCCommand), 0);
    EXPECT_EQ(message(99), 0);

    int resets = 0, latencies = 0;
    host.OnReset = [&](TCustomASIOHostBasic&) { ++resets; };
    host.OnLatencyChanged = [&](TCustomASIOHostBasic&) { ++latencies; };
    host.SetActive(true);
    EXPECT_EQ(message(kAsioResetRequest), 1);
    EXPECT_EQ(message(kAsioBufferSizeChange), 1);
    EXPECT_EQ(resets, 2);
    EXPECT_EQ(script->driversCreated, 3); // re-opened twice
    EXPECT_TRUE(host.Active());           // and running again
    EXPECT_EQ(message(kAsioLatenciesChanged), 1);
    EXPECT_EQ(latencies, 3); // two re-opens (buffers created) and the message

    int rateChanges = 0;
    host.OnSampleRateChanged = [&](TCustomASIOHostBasic&) { ++rateChanges; };
    script->callbacks->sampleRateDidChange(96000);
    EXPECT_EQ(rateChanges, 1);
    EXPECT_EQ(host.SampleRate(), 48000.0); // the rate is not stored

    // Once shut-down holds resets, a request (a server going away) re-opens nothing.
    host.HoldResets();
    EXPECT_EQ(message(kAsioResetRequest), 1);
    EXPECT_EQ(resets, 2);
    EXPECT_EQ(script->driversCreated, 3);

    host.SetDriverIndex(-1);
    EXPECT_EQ(message(kAsioResetRequest), 1);
    EXPECT_EQ(resets, 2);
}

TEST_F(HostFixture, ClockSourcesNeverOverrunTheCallersArray) {
    host.SetDriverIndex(0);
    ASIOClockSource clocks[3];
    std::int32_t count = 3;
    EXPECT_EQ(host.GetClockSources(clocks, &count), ASE_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(host.SetClockSource(1), ASE_InvalidParameter);
    EXPECT_EQ(host.GetInputMeter(0), 1234);
    EXPECT_EQ(host.GetOutputMeter(0), -1);
}

// Input 0 carries values up to one step beyond full scale, input 1 a constant.
void FillInputs(HostFixture& f, int half) {
    const std::uint8_t in0[] = {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x00, 0x00, 0x40};
    auto* target = static_cast<std::uint8_t*>(f.InputHalf(0, half));
    for (std::uint32_t i = 0; i < f.host.BufferSize(); ++i) {
        std::memcpy(target + 3 * i, in0 + 3 * (i % 3), 3);
    }
    auto* other = static_cast<std::uint8_t*>(f.InputHalf(1, half));
    for (std::uint32_t i = 0; i < f.host.BufferSize(); ++i) {
        const std::uint8_t quarter[] = {0x00, 0x00, 0x20};
        std::memcpy(other + 3 * i, quarter, 3);
    }
}

struct Seen {
    std::int32_t inCount = -1, outCount = -1;
    float in0[3] = {}, out0[3] = {}, out1 = -9.0f;
    int calls = 0;
};

void Handler32(void* context, const float* const* in, std::int32_t inCount, float* const* out,
               std::int32_t outCount, std::int32_t /*frames*/) {
    auto* seen = static_cast<Seen*>(context);
    seen->inCount = inCount;
    seen->outCount = outCount;
    std::copy_n(in[0], 3, seen->in0);
    std::copy_n(out[0], 3, seen->out0);
    seen->out1 = out[1][0];
    ++seen->calls;
}

TEST_F(HostFixture, ABlockReadsClipsMonitorsProcessesAndConverts) {
    host.SetDriverIndex(0);
    host.SetInputMonitor(TInputMonitor::imMono);
    Seen seen;
    host.SetOnBufferSwitch32(&Handler32, &seen);
    FillInputs(*this, 1);
    std::int64_t position = 0;
    host.SetOnUpdateSamplePos(
        [](void* context, std::int64_t p) noexcept { *static_cast<std::int64_t*>(context) = p; },
        &position);
    script->position = ASIOSamples{1, 0x80000000u};
    host.SetActive(true);
    host.BufferSwitch(1);

    EXPECT_EQ(position, (std::int64_t{1} << 32) + 0x80000000LL);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.inCount, 2);
    EXPECT_EQ(seen.outCount, 2);
    EXPECT_EQ(seen.in0[0], 1.0f);
    EXPECT_EQ(seen.in0[1], -1.0f);  // clipped
    EXPECT_EQ(seen.out0[1], -1.0f); // monitored before the handler
    EXPECT_EQ(seen.out1, 0.0f);

    // Output 0 carries input 0 clipped; output 1 is silent; half 0 was not touched; the
    // driver heard outputReady only after the conversion.
    const std::uint8_t expected0[] = {0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0x00, 0x00, 0x40};
    EXPECT_EQ(0, std::memcmp(OutputHalf(0, 1), expected0, sizeof expected0));
    const std::vector<std::uint8_t> silence(3 * host.BufferSize(), 0);
    EXPECT_EQ(0, std::memcmp(OutputHalf(1, 1), silence.data(), silence.size()));
    EXPECT_EQ(*static_cast<std::uint8_t*>(OutputHalf(0, 0)), 0xAA);
    EXPECT_EQ(script->outputReadyCount, 1);
    EXPECT_EQ(0, std::memcmp(script->outputAtReady.data(), expected0, sizeof expected0));

    host.BufferSwitchTimeInfo(2, ASIOTime{}); // not a half: ignored
    EXPECT_EQ(script->outputReadyCount, 1);
}

TEST_F(HostFixture, MonitoringModesAndOffsetsStayWithinTheChannels) {
    script->inputs = 2;
    script->outputs = 3;
    host.SetDriverIndex(0);
    host.SetInputChannelOffset(2); // refused: only 2 inputs
    EXPECT_EQ(host.InputChannelOffset(), 0);
    host.SetOutputChannelOffset(2);
    EXPECT_EQ(host.OutputChannelOffset(), 2);
    FillInputs(*this, 0);
    auto outFloat = [&](int channel) { return host.SingleOutBuffer(channel)[0]; };

    host.SetInputMonitor(TInputMonitor::imStereo); // input 1 would go to output 3: skipped
    host.BufferSwitch(0);
    EXPECT_EQ(outFloat(0), 0.0f);
    EXPECT_EQ(outFloat(2), 1.0f);

    host.SetOutputChannelOffset(0);
    host.SetInputMonitor(TInputMonitor::imAll);
    host.BufferSwitch(0);
    EXPECT_EQ(outFloat(0), 1.0f);
    EXPECT_FLOAT_EQ(outFloat(1), 0.25f);
    EXPECT_EQ(outFloat(2), 0.0f);
}

TEST_F(HostFixture, PreFillAndAnalogClipping) {
    host.SetDriverIndex(0);
    host.SetPreventClipping(TPreventClipping::pcAnalog);
    host.SetInputMonitor(TInputMonitor::imMono);
    FillInputs(*this, 0);
    host.BufferSwitch(0);
    // Full scale passes the soft clip twice: on the input and on the output.
    const float twice = 2.0f * 0.8f * 3.8f / (6.0f + 0.8f * 3.8f);
    EXPECT_NEAR(host.SingleOutBuffer(0)[0], twice, 1e-6f);

    host.SetPreventClipping(TPreventClipping::pcNone);
    host.SetPreFillInBuffer(TBufferPreFill::bpfNoise);
    host.SetPreFillOutBuffer(TBufferPreFill::bpfNone);
    host.SetInputMonitor(TInputMonitor::imDisabled);
    host.BufferSwitch(0);
    const float* noise = host.SingleInBuffer(1);
    bool varied = false;
    for (std::uint32_t i = 0; i < host.BufferSize(); ++i) {
        ASSERT_GE(noise[i], -1.0f);
        ASSERT_LT(noise[i], 1.0f);
        varied = varied || noise[i] != noise[0];
    }
    EXPECT_TRUE(varied);
    host.SetPreFillInBuffer(TBufferPreFill::bpfZero);
    host.BufferSwitch(0);
    EXPECT_EQ(host.SingleInBuffer(0)[0], 0.0f); // the driver's input is not read
}

struct Seen64 {
    double in0 = 0.0;
    int calls = 0;
};

TEST_F(HostFixture, TheDoublePathWinsAndUnknownTypesStayUnconverted) {
    script->outputTypes = {ASIOSTInt24LSB, 77};
    host.SetDriverIndex(0);
    EXPECT_EQ(host.OutputConverterOf(1).oc32, nullptr);
    Seen seen;
    Seen64 seen64;
    host.SetOnBufferSwitch32(&Handler32, &seen);
    host.SetOnBufferSwitch64(
        [](void* context, const double* const* in, std::int32_t, double* const* out, std::int32_t,
           std::int32_t) {
            auto* s = static_cast<Seen64*>(context);
            s->in0 = in[0][0];
            ++s->calls;
            std::fill_n(out[1], 4, 0.5); // a channel the host cannot convert
            out[0][0] = 0.5;
        },
        &seen64);
    FillInputs(*this, 0);
    host.BufferSwitch(0);
    EXPECT_EQ(seen.calls, 0);
    EXPECT_EQ(seen64.calls, 1);
    EXPECT_DOUBLE_EQ(seen64.in0, 1.0);
    const std::uint8_t half[] = {0x00, 0x00, 0x40};
    EXPECT_EQ(0, std::memcmp(OutputHalf(0, 0), half, 3));
    EXPECT_EQ(*static_cast<std::uint8_t*>(OutputHalf(1, 0)), 0xAA); // never written

    host.SetOnBufferSwitch64(nullptr, nullptr);
    host.BufferSwitch(0);
    EXPECT_EQ(seen.calls, 1);
}

TEST_F(HostFixture, TheNativeHandlerSeesTheDriverBuffers) {
    host.SetDriverIndex(0);
    struct Native {
        std::int32_t count = 0, index = -1;
    } native;
    host.SetOnBufferSwitchNative(
        [](void* context, const ASIOBufferInfo*, std::int32_t count, std::int32_t index) {
            static_cast<Native*>(context)->count = count;
            static_cast<Native*>(context)->index = index;
        },
        &native);
    host.BufferSwitch(1);
    EXPECT_EQ(native.count, 4);
    EXPECT_EQ(native.index, 1);
    EXPECT_EQ(script->outputReadyCount, 1);
}

} // namespace
} // namespace peldor
