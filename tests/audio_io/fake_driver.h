#pragma once
// A scripted driver for host tests: answers come from a shared script, every call is logged,
// and the buffers it creates can be filled and read by the test. Window thread only.

#include "audio_io/asio_driver.h"
#include "engine/realtime_scope.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace peldor::test {

struct FakeScript {
    // Answers.
    bool initResult = true;
    std::int32_t minSize = 64, maxSize = 1024, preferredSize = 256, granularity = -1;
    double rate = 48000.0;
    std::int32_t inputs = 2, outputs = 2;
    ASIOSampleType type = ASIOSTInt24LSB;
    std::vector<ASIOSampleType> outputTypes; // overrides type per output when given
    ASIOError startAnswer = ASE_OK;
    bool startThrows = false;
    ASIOError createAnswer = ASE_OK;
    ASIOSamples position{0, 0};
    // What happened.
    std::vector<std::string> calls;
    std::vector<std::int32_t> futureSelectors;
    std::int32_t createdSize = -1;
    double lastSetRate = -1.0;
    ASIOCallbacks* callbacks = nullptr;
    int driversCreated = 0;
    int outputReadyCount = 0;
    /// Driver output bytes (channel 0, half 1) as they were when outputReady came.
    std::vector<std::uint8_t> outputAtReady;
    std::vector<std::vector<std::uint8_t>> storage; // per record: both halves
};

class FakeDriver final : public IASIODriver {
public:
    explicit FakeDriver(std::shared_ptr<FakeScript> s) : script(std::move(s)) {
        ++script->driversCreated;
    }
    ~FakeDriver() override { Log("destroyed"); }

    ASIOBool init(void*) override { return Log("init"), script->initResult ? 1 : 0; }
    void getDriverName(char* name) override { std::strcpy(name, "Fake"); }
    std::int32_t getDriverVersion() override { return 7; }
    void getErrorMessage(char* text) override { text[0] = '\0'; }
    ASIOError start() override {
        Log("start");
        if (script->startThrows) {
            throw std::runtime_error("start");
        }
        return script->startAnswer;
    }
    ASIOError stop() override { return Log("stop"), ASE_OK; }
    ASIOError getChannels(std::int32_t* in, std::int32_t* out) override {
        *in = script->inputs;
        *out = script->outputs;
        return ASE_OK;
    }
    ASIOError getLatencies(std::int32_t* in, std::int32_t* out) override {
        *in = 11;
        *out = 22;
        return ASE_OK;
    }
    ASIOError getBufferSize(std::int32_t* mn, std::int32_t* mx, std::int32_t* pref,
                            std::int32_t* gran) override {
        *mn = script->minSize;
        *mx = script->maxSize;
        *pref = script->preferredSize;
        *gran = script->granularity;
        return ASE_OK;
    }
    ASIOError canSampleRate(ASIOSampleRate rate) override {
        return rate == script->rate ? ASE_OK : ASE_NoClock;
    }
    ASIOError getSampleRate(ASIOSampleRate* rate) override {
        *rate = script->rate;
        return ASE_OK;
    }
    ASIOError setSampleRate(ASIOSampleRate rate) override {
        script->lastSetRate = rate;
        return ASE_OK;
    }
    ASIOError getClockSources(ASIOClockSource* clocks, std::int32_t* count) override {
        // Claims more sources than the room it was given.
        for (std::int32_t i = 0; i < *count; ++i) {
            clocks[i] = ASIOClockSource{};
            clocks[i].index = i;
        }
        *count += 5;
        return ASE_OK;
    }
    ASIOError setClockSource(std::int32_t index) override {
        return index == 0 ? ASE_OK : ASE_InvalidParameter;
    }
    ASIOError getSamplePosition(ASIOSamples* pos, ASIOTimeStamp* stamp) override {
        *pos = script->position;
        *stamp = ASIOTimeStamp{0, 5};
        return ASE_OK;
    }
    ASIOError getChannelInfo(ASIOChannelInfo* info) override {
        info->isActive = ASIOTrue;
        info->type = script->type;
        if (!info->isInput &&
            static_cast<std::size_t>(info->channel) < script->outputTypes.size()) {
            info->type = script->outputTypes[static_cast<std::size_t>(info->channel)];
        }
        std::snprintf(info->name, sizeof info->name, "%s %d", info->isInput ? "In" : "Out",
                      info->channel + 1);
        return ASE_OK;
    }
    ASIOError createBuffers(ASIOBufferInfo* infos, std::int32_t count, std::int32_t size,
                            ASIOCallbacks* callbacks) override {
        Log("createBuffers");
        script->createdSize = size;
        script->callbacks = callbacks;
        if (script->createAnswer != ASE_OK) {
            return script->createAnswer;
        }
        script->storage.assign(static_cast<std::size_t>(count), {});
        for (std::int32_t i = 0; i < count; ++i) {
            // 8 bytes a sample is room enough for every type; 0xAA marks untouched bytes.
            auto& block = script->storage[static_cast<std::size_t>(i)];
            block.assign(2 * static_cast<std::size_t>(size) * 8, 0xAA);
            infos[i].buffers[0] = block.data();
            infos[i].buffers[1] = block.data() + static_cast<std::size_t>(size) * 8;
        }
        return ASE_OK;
    }
    ASIOError disposeBuffers() override { return Log("disposeBuffers"), ASE_OK; }
    ASIOError controlPanel() override { return Log("controlPanel"), ASE_OK; }
    ASIOError future(std::int32_t selector, void* opt) override {
        script->futureSelectors.push_back(selector);
        if (selector == kAsioGetInputMeter && opt != nullptr) {
            static_cast<ASIOChannelControls*>(opt)->meter = 1234;
            return ASE_SUCCESS;
        }
        return ASE_NotPresent;
    }
    ASIOError outputReady() override {
        RealtimeExemption recording; // the test's own bookkeeping may allocate
        ++script->outputReadyCount;
        if (script->storage.size() > static_cast<std::size_t>(script->inputs)) {
            const auto& block = script->storage[static_cast<std::size_t>(script->inputs)];
            script->outputAtReady.assign(
                block.begin() + static_cast<std::ptrdiff_t>(block.size() / 2), block.end());
        }
        return ASE_OK;
    }

private:
    void Log(const char* call) { script->calls.emplace_back(call); }
    std::shared_ptr<FakeScript> script;
};

/// A driver list entry that creates fake drivers on the script.
inline TAsioDriverListEntry FakeEntry(const std::string& name, std::shared_ptr<FakeScript> s) {
    return {name, [s] { return std::make_unique<FakeDriver>(s); }};
}

} // namespace peldor::test
