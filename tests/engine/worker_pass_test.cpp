// The plugin passes shared between the driver's thread and the worker threads: every slot once
// per pass, effects after instruments, no plugin on two threads at once, the same output as
// rendering on the driver's thread alone; late slots, Overload, priorities, a worker preempted
// on the driver's core, and plugins replaced while workers run. Run under ThreadSanitizer too.

#include "engine/block_handshake.h"
#include "engine/thread_priority.h"
#include "tests/engine/engine_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <sched.h>
#include <sys/resource.h>
#include <thread>

namespace peldor {
namespace {

/// A plugin whose output depends on its own state, its inputs and the block, and which
/// records how it was called: by which thread, when (on one clock shared by all plugins), and
/// whether another call was under way at the same moment.
class RecordingPlugin : public IEnginePlugin {
public:
    RecordingPlugin(int theSlot, std::atomic<std::uint64_t>& theClock)
        : slot(theSlot), clock(theClock) {}
    ~RecordingPlugin() override { alive = 0; }

    bool Active() const noexcept override { return true; }
    std::intptr_t CanDo(const char*) noexcept override { return 1; }
    std::intptr_t ProcessEvents(vst2::VstEvents*) noexcept override { return 1; }
    void ProcessReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept override {
        if (alive != kAlive || inside.exchange(true)) {
            overlapped = true;
        }
        enteredAt = clock.fetch_add(1);
        lastThread = std::this_thread::get_id();
        if (lastThread != driverThread) {
            onWorker.fetch_add(1, std::memory_order_relaxed);
        }
        for (std::int32_t i = 0; i < frames; ++i) {
            const float own = 0.001f * static_cast<float>((phase + i) % 997) - 0.3f;
            outputs[0][i] = inputs ? 0.5f * inputs[0][i] + own * 0.1f : own;
            outputs[1][i] = inputs ? 0.25f * inputs[1][i] - own * 0.1f : 0.5f * own;
        }
        phase += static_cast<std::uint32_t>(frames) + static_cast<std::uint32_t>(slot);
        ++calls;
        leftAt = clock.fetch_add(1);
        inside = false;
    }

    static constexpr std::uint32_t kAlive = 0xA11CE;
    const int slot;
    std::atomic<std::uint64_t>& clock;
    std::thread::id driverThread;
    std::atomic<std::uint32_t> alive{kAlive};
    std::atomic<bool> inside{false};
    std::atomic<bool> overlapped{false};
    std::atomic<int> onWorker{0};
    std::uint32_t phase = 0;
    int calls = 0;
    std::uint64_t enteredAt = 0, leftAt = 0;
    std::thread::id lastThread;
};

/// A random mix over every audio strip: levels, pans, sends, mutes and solos.
void RandomMix(TStripStates& s, std::mt19937& random) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::bernoulli_distribution rarely(0.15);
    for (int t = kFirstInputStrip; t < kStripCount; ++t) {
        s[t].Level = unit(random);
        s[t].Pan = unit(random);
        for (auto& send : s[t].AuxSend) {
            send = unit(random);
        }
        for (auto& send : s[t].MonSend) {
            send = unit(random);
        }
        s[t].Mute = rarely(random);
        s[t].SoloMute = rarely(random);
        s[t].Solo = rarely(random);
    }
}

class WorkerPasses : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ChannelAssignment.OutMainL = 0;
        ChannelAssignment.OutMainR = 1;
        ChannelAssignment.OutMon1 = 2;
        ChannelAssignment.OutMon2 = 3;
        ChannelAssignment.OutSoloL = 4;
        ChannelAssignment.OutSoloR = 5;
        ChannelAssignment.Input1 = 0;
        ChannelAssignment.Input3 = 2;
        for (int c = 0; c < kDriverChannels; ++c) {
            for (int i = 0; i < kFrames; ++i) {
                inputs[c][i] = 0.01f * static_cast<float>((c * 31 + i) % 50) - 0.2f;
            }
        }
    }

    /// Fills all 20 slots with recording plugins.
    void FillSlots(std::vector<std::unique_ptr<RecordingPlugin>>& plugins) {
        for (int slot = 0; slot < kSlotCount; ++slot) {
            plugins.push_back(std::make_unique<RecordingPlugin>(slot, clock));
            plugins.back()->driverThread = std::this_thread::get_id();
            host.plugins.push_back(plugins.back().get());
            SlotMap[slot] = static_cast<std::int32_t>(slot);
        }
    }

    std::atomic<std::uint64_t> clock{0};
};

// Renders the same random mixes through a processor with workers and one without, block by
// block, and compares every output sample bit for bit along with the order of the calls.
TEST_F(WorkerPasses, SharedPassesRenderEachSlotOnceAndMatchTheDriverThreadAlone) {
    std::vector<std::unique_ptr<RecordingPlugin>> plugins;
    FillSlots(plugins);
    // The serial twin: its own plugins in the same slots, the same strip states.
    std::vector<std::unique_ptr<RecordingPlugin>> twins;
    test::FakePluginHost twinHost;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        twins.push_back(std::make_unique<RecordingPlugin>(slot, clock));
        twins.back()->driverThread = std::this_thread::get_id();
        twinHost.plugins.push_back(twins.back().get());
    }
    TProcessor serial(&hostStandIn, &twinHost);
    serial.SetWorkerCount(0);
    serial.SetSampleRate(48000.0f);
    serial.SetBlockSize(kFrames);
    ASSERT_EQ(serial.RunningWorkers(), 0);

    processor->SetWorkerCount(3); // more workers than cores: the claims really compete
    processor->SetBlockSize(kFrames);
    ASSERT_EQ(processor->RunningWorkers(), 3);

    std::mt19937 random(20);
    Mix().oscactive = 1;
    Mix().osctoaux2 = 1;
    auto runOn = [&](TProcessor& p) {
        std::vector<std::vector<float>> out(kDriverChannels, std::vector<float>(kFrames, 0.0f));
        const float* in[kDriverChannels];
        float* o[kDriverChannels];
        for (int c = 0; c < kDriverChannels; ++c) {
            in[c] = inputs[c].data();
            o[c] = out[c].data();
        }
        p.ProcessBlock(in, kDriverChannels, o, kDriverChannels);
        return out;
    };
    constexpr int kBlocks = 400;
    for (int block = 0; block < kBlocks; ++block) {
        if (block % 10 == 0) {
            RandomMix(*strips, random);
        }
        processor->UpdateOscillator();
        serial.UpdateOscillator();
        const auto parallelOut = runOn(*processor);
        const auto serialOut = runOn(serial);
        ASSERT_EQ(parallelOut, serialOut) << "block " << block;

        std::uint64_t lastInstrumentLeft = 0;
        for (int slot = 0; slot < kInstrumentSlotCount; ++slot) {
            lastInstrumentLeft = std::max(lastInstrumentLeft, plugins[slot]->leftAt);
        }
        for (int slot = 0; slot < kSlotCount; ++slot) {
            ASSERT_EQ(plugins[slot]->calls, block + 1) << "slot " << slot;
            if (slot >= kInstrumentSlotCount) {
                ASSERT_GT(plugins[slot]->enteredAt, lastInstrumentLeft) << "slot " << slot;
            }
        }
    }
    int onWorkers = 0;
    for (const auto& plugin : plugins) {
        EXPECT_FALSE(plugin->overlapped) << plugin->slot;
        onWorkers += plugin->onWorker;
    }
    EXPECT_GT(onWorkers, 0) << "the workers never rendered a slot";
    EXPECT_FALSE(processor->Overload());
}

/// An instrument that takes far longer than the period when a worker renders it.
class SlowOnWorker : public test::FakePlugin {
public:
    SlowOnWorker() : FakePlugin(1000.0f, 1000.0f) {}
    void ProcessReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept override {
        if (std::this_thread::get_id() != driverThread && slow) {
            slowCalls.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        FakePlugin::ProcessReplacing(inputs, outputs, frames);
    }
    std::thread::id driverThread = std::this_thread::get_id();
    std::atomic<bool> slow{true};
    std::atomic<int> slowCalls{0};
};

TEST_F(WorkerPasses, ALateSlotIsLeftOutAndSetsOverloadUntilBlocksMakeItAgain) {
    processor->SetPassDeadline(std::chrono::milliseconds(5));
    processor->SetWorkerCount(2);
    processor->SetBlockSize(kFrames);
    std::vector<std::unique_ptr<test::FakePlugin>> others;
    for (int slot = 0; slot < kInstrumentSlotCount - 1; ++slot) {
        others.push_back(std::make_unique<test::FakePlugin>(0.001f, 0.001f));
        Assign(slot, *others.back());
        Instrument(slot).Level = 1.0f;
    }
    auto slow = std::make_unique<SlowOnWorker>();
    Assign(kInstrumentSlotCount - 1, *slow);
    Instrument(kInstrumentSlotCount - 1).Level = 1.0f;
    Instrument(kInstrumentSlotCount - 1).Pan = 0.0f;

    // Until a worker happens to take the slow slot, the driver's thread renders it in time.
    int block = 0;
    for (; block < 5000 && processor->OverloadCount() == 0; ++block) {
        Run();
    }
    ASSERT_EQ(processor->OverloadCount(), 1u) << "no worker took the slow slot";
    EXPECT_TRUE(processor->Overload());
    // Left out, not half rendered: the master holds only the fast instruments.
    EXPECT_LT(MasterL(), 1.0f);
    // While the late call lasts, the slot is still busy and left out of the next block, which
    // makes its deadline all the same.
    slow->slow = false;
    Run();
    EXPECT_LT(MasterL(), 1.0f);
    EXPECT_EQ(processor->OverloadCount(), 1u);
    // Once the call has ended the slot plays again; Overload stays up long enough for the
    // window's timer to see it, then normal blocks clear it.
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    Run();
    EXPECT_GT(MasterL(), 999.0f);
    EXPECT_TRUE(processor->Overload());
    for (int i = 0; i < 48000 / kFrames; ++i) {
        Run();
    }
    EXPECT_FALSE(processor->Overload());
    EXPECT_EQ(slow->slowCalls, 1);
}

/// Sleeps when the driver's thread renders it (so that a worker on the same core gets the
/// core), burns the CPU for a while when a worker does.
class SleepsOnDriverBurnsOnWorker : public test::FakePlugin {
public:
    SleepsOnDriverBurnsOnWorker() : FakePlugin(1.0f, 1.0f) {}
    void ProcessReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept override {
        if (std::this_thread::get_id() == driverThread) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } else {
            workerCalls.fetch_add(1);
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3);
            while (std::chrono::steady_clock::now() < end) {
            }
        }
        FakePlugin::ProcessReplacing(inputs, outputs, frames);
    }
    std::thread::id driverThread = std::this_thread::get_id();
    std::atomic<int> workerCalls{0};
};

/// Real-time scheduling for the calling thread and one core for it and another thread, undone
/// on destruction. Not allowed everywhere (no permission, a restricted CPU set).
class SharedCoreRealtime {
public:
    explicit SharedCoreRealtime(pid_t other) : other_(other) {
        sched_getaffinity(0, sizeof(savedSelf_), &savedSelf_);
        sched_getaffinity(other_, sizeof(savedOther_), &savedOther_);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &savedSelf_)) {
                CPU_SET(cpu, &one);
                break;
            }
        }
        const sched_param param{10};
        ok_ = sched_setaffinity(0, sizeof(one), &one) == 0 &&
              sched_setaffinity(other_, sizeof(one), &one) == 0 &&
              sched_setscheduler(0, SCHED_FIFO, &param) == 0;
    }
    ~SharedCoreRealtime() {
        const sched_param normal{0};
        sched_setscheduler(0, SCHED_OTHER, &normal);
        sched_setaffinity(0, sizeof(savedSelf_), &savedSelf_);
        sched_setaffinity(other_, sizeof(savedOther_), &savedOther_);
    }
    bool Ok() const { return ok_; }

private:
    pid_t other_;
    cpu_set_t savedSelf_{};
    cpu_set_t savedOther_{};
    bool ok_ = false;
};

// The driver's thread usually outranks the workers (real-time against normal scheduling). When
// a worker holding a slot is preempted on the driver's own core, the driver must leave the core
// while it waits, or the worker never finishes and the block misses its deadline.
TEST_F(WorkerPasses, AWorkerPreemptedOnTheDriversCoreFinishesWhileTheDriverWaits) {
    processor->SetPassDeadline(std::chrono::milliseconds(100));
    processor->SetWorkerCount(1);
    processor->SetBlockSize(kFrames);
    ASSERT_EQ(processor->RunningWorkers(), 1);
    SleepsOnDriverBurnsOnWorker first;
    SleepsOnDriverBurnsOnWorker second;
    Assign(0, first);
    Assign(1, second);
    for (int slot = 0; slot < 2; ++slot) {
        Instrument(slot).Level = 1.0f;
        Instrument(slot).Pan = 0.0f;
    }
    SharedCoreRealtime shared(processor->WorkerThreadId(0));
    if (!shared.Ok()) {
        GTEST_SKIP() << "real-time scheduling or CPU affinity not allowed here";
    }
    // The driver's thread sleeps in one slot; the worker takes the other and is preempted on
    // the shared core when the driver's thread comes back to wait for it.
    for (int block = 0; block < 200 && first.workerCalls + second.workerCalls < 5; ++block) {
        Run();
    }
    EXPECT_GE(first.workerCalls + second.workerCalls, 5) << "the worker rarely took a slot";
    EXPECT_EQ(processor->OverloadCount(), 0u);
    EXPECT_NEAR(MasterL(), 2.0f, 1e-5f);
}

TEST_F(WorkerPasses, ReplacedPluginsAreFreedOnlyAfterWorkersLeaveThem) {
    // A host whose slots change while blocks run, as the slot loaders change them.
    struct SwappingHost : IEnginePluginHost {
        IEnginePlugin* EnginePlugin(std::int32_t) noexcept override { return nullptr; }
        IEnginePlugin* SlotPlugin(std::int32_t slot) noexcept override {
            return slots[slot].load(std::memory_order_acquire);
        }
        std::atomic<IEnginePlugin*> slots[kSlotCount] = {};
    } swapping;
    TProcessor engine(&hostStandIn, &swapping);
    engine.SetWorkerCount(3);
    engine.SetSampleRate(48000.0f);
    engine.SetPassDeadline(std::chrono::microseconds(300)); // late slots happen too
    engine.SetBlockSize(kFrames);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        Strip(slot < kInstrumentSlotCount ? kFirstInstrumentStrip + slot
                                          : kFirstEffectStrip + slot - kInstrumentSlotCount)
            .Level = 0.5f;
        swapping.slots[slot] = new RecordingPlugin(slot, clock);
    }

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        const float* in[kDriverChannels] = {};
        std::vector<std::vector<float>> out(kDriverChannels, std::vector<float>(kFrames));
        float* o[kDriverChannels];
        for (int c = 0; c < kDriverChannels; ++c) {
            o[c] = out[c].data();
        }
        while (!stop) {
            engine.ProcessBlock(in, 0, o, kDriverChannels);
        }
    });
    std::mt19937 random(7);
    std::uniform_int_distribution<int> anySlot(0, kSlotCount - 1);
    int leaked = 0;
    for (int change = 0; change < 600; ++change) {
        const int slot = anySlot(random);
        auto* fresh = change % 5 == 0 ? nullptr : new RecordingPlugin(slot, clock);
        IEnginePlugin* old = swapping.slots[slot].exchange(fresh, std::memory_order_acq_rel);
        if (WaitForAudioThreadToLeave()) {
            delete old; // a worker still inside it would trip ASan or its own canary
        } else {
            ++leaked;
        }
        if (change % 100 == 0) {
            engine.SetWorkerPriority(change % 200 == 0 ? 2 : 4);
        }
    }
    stop = true;
    audio.join();
    engine.StopWorkers();
    EXPECT_EQ(leaked, 0);
    for (auto& slot : swapping.slots) {
        auto* plugin = static_cast<RecordingPlugin*>(slot.load());
        if (plugin != nullptr) {
            EXPECT_FALSE(plugin->overlapped);
        }
        delete plugin;
    }
}

TEST_F(WorkerPasses, PriorityOptionReachesTheRunningWorkers) {
    processor->SetWorkerCount(2);
    processor->SetBlockSize(kFrames);
    ASSERT_EQ(processor->RunningWorkers(), 2);
    auto expectEach = [&](int policy, int nice, const char* what) {
        for (int k = 0; k < 2; ++k) {
            const pid_t tid = processor->WorkerThreadId(k);
            ASSERT_NE(tid, 0);
            EXPECT_EQ(sched_getscheduler(tid), policy) << what;
            if (policy != SCHED_FIFO) {
                errno = 0;
                EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(tid)), nice) << what;
            }
        }
    };
    processor->SetWorkerPriority(1);
    expectEach(SCHED_OTHER, 10, "lowest");
    processor->SetWorkerPriority(0);
    expectEach(SCHED_IDLE, 19, "idle");
    processor->SetWorkerPriority(2);
    expectEach(SCHED_OTHER, 5, "lower");

    // Time-critical: real-time scheduling just below the driver's thread, or, where that is
    // not allowed, the highest nice value the process may take.
    processor->SetDriverRealtimePriority(20);
    processor->SetWorkerPriority(6);
    if (!processor->WorkerRealtimeRefused()) {
        expectEach(SCHED_FIFO, 0, "time-critical");
        sched_param param{};
        sched_getparam(processor->WorkerThreadId(0), &param);
        EXPECT_EQ(param.sched_priority, 19);
    } else {
        expectEach(SCHED_OTHER,
                   getpriority(PRIO_PROCESS, static_cast<id_t>(processor->WorkerThreadId(0))),
                   "time-critical refused");
    }
    // Workers started later (a new block size) take the option too.
    processor->SetWorkerPriority(1);
    processor->SetBlockSize(kFrames * 2);
    expectEach(SCHED_OTHER, 10, "restarted");
    processor->SetWorkerPriority(3);
}

} // namespace
} // namespace peldor
