// The window thread's cost of the meters: 100 faders and 30 level meters fed with moving levels,
// ticked and repainted, one iteration per 50 ms tick. Runs on Qt's offscreen platform unless
// QT_QPA_PLATFORM says otherwise.

#include "engine/strip_table.h"
#include "ui/flat_fader.h"
#include "ui/level_meter.h"
#include "ui/mixer1_form.h"
#include "ui/mixer2_form.h"
#include "ui/mixer34_form.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using namespace peldor;

constexpr int kFaders = 100;
constexpr int kMeters = 30;
constexpr int kTicks = 200;
constexpr int kColumns = 25;

struct Desk {
    QWidget window;
    std::vector<TFlatFader*> faders;
    std::vector<TLevelMeter*> meters;

    Desk() {
        window.resize(kColumns * 40, 4 * 170 + 2 * 115);
        for (int i = 0; i < kFaders; ++i) {
            auto* fader = new TFlatFader(&window);
            fader->move((i % kColumns) * 40, (i / kColumns) * 170);
            faders.push_back(fader);
        }
        for (int i = 0; i < kMeters; ++i) {
            auto* meter = new TLevelMeter(&window);
            meter->move((i % kColumns) * 40, 4 * 170 + (i / kColumns) * 115);
            meters.push_back(meter);
        }
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
        QApplication::processEvents();
    }
};

// A level between -40 dB and 0 dB that wanders differently for each control.
double Level(int control, int tick) {
    const double phase = control * 0.37 + tick * 0.21;
    return 0.5 + 0.5 * std::sin(phase) * std::sin(phase * 0.13 + control);
}

void Tick(Desk& desk, int tick, bool moveThumbs) {
    for (int i = 0; i < kFaders; ++i) {
        desk.faders[i]->SetMeter(Level(i, tick));
        if (moveThumbs) {
            desk.faders[i]->SetVal(static_cast<float>(Level(i + 7, tick)));
        }
        desk.faders[i]->TimerTick();
    }
    for (int i = 0; i < kMeters; ++i) {
        desk.meters[i]->Feed(static_cast<int>(9999 * Level(i + 100, tick)));
        desk.meters[i]->TimerTick();
    }
    QApplication::processEvents(); // paints what changed, as the event loop would
}

void BM_MetersTick(benchmark::State& state) {
    Desk desk;
    int tick = 0;
    for (auto _ : state) {
        Tick(desk, tick++, false);
    }
}
BENCHMARK(BM_MetersTick)->Iterations(kTicks)->Unit(benchmark::kMicrosecond);

// The same with every fader's thumb moving as well (automation, a part switch every tick).
void BM_MetersAndThumbsTick(benchmark::State& state) {
    Desk desk;
    int tick = 0;
    for (auto _ : state) {
        Tick(desk, tick++, true);
    }
}
BENCHMARK(BM_MetersAndThumbsTick)->Iterations(kTicks)->Unit(benchmark::kMicrosecond);

// The four mixer windows as the main window's timer drives them: every strip's meter moving,
// the timer's meter refresh of Mixers 2-4, the controls' own 50 ms ticks and the repaints. The
// counter "core_percent" is the share of one core the window thread spends at 20 ticks a
// second (200 iterations are 10 s of ticks).
class BenchMixerCore final : public IMixerCore {
public:
    void UpdateOscillator() override {}
    bool SoloActive() const override { return false; }
    double CpuSum() const override { return 12.0 * (tick + 1); }
    std::int32_t TickCount() const override { return tick; }
    std::int32_t CurrentConnection() const override { return -1; }
    void SetCurrentConnectionVolume(std::int32_t) override {}
    void SetCurrentConnectionPan(std::int32_t) override {}
    void RefreshConnectionViews() override {}
    void ProcessPendingMessages() override {}
    TMixerPlacement ReadPlacement(const std::string&,
                                  const TMixerPlacement& defaults) const override {
        return defaults;
    }
    void WritePlacement(const std::string&, const TMixerPlacement&) override {}
    std::int32_t tick = 0;
};

void BM_FourMixersTick(benchmark::State& state) {
    InitStripTable();
    TStripStates strips;
    InitStripStates(&strips);
    for (TStripState& strip : strips) {
        strip.Level = 1.0f;
    }
    CurrentStrips.store(&strips);
    BenchMixerCore core;
    std::vector<std::unique_ptr<TMixerForm>> mixers;
    mixers.push_back(std::make_unique<TMixer1Form>(core, TMixerHooks{}));
    mixers.push_back(std::make_unique<TMixer2Form>(core, TMixerHooks{}));
    mixers.push_back(std::make_unique<TMixer3Form>(core, TMixerHooks{}));
    mixers.push_back(std::make_unique<TMixer4Form>(core, TMixerHooks{}));
    for (auto& mixer : mixers) {
        mixer->show();
        (void)QTest::qWaitForWindowExposed(mixer.get());
    }
    std::vector<TFlatFader*> faders;
    std::vector<TLevelMeter*> meters;
    for (auto& mixer : mixers) {
        for (TFlatFader* fader : mixer->findChildren<TFlatFader*>()) {
            faders.push_back(fader);
        }
        for (TLevelMeter* meter : mixer->findChildren<TLevelMeter*>()) {
            meters.push_back(meter);
        }
    }
    QApplication::processEvents();
    int tick = 0;
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        // What the audio thread leaves between two ticks.
        for (int i = 0; i < kStripCount; ++i) {
            strips[static_cast<std::size_t>(i)].MeterL = static_cast<float>(Level(i, tick));
            strips[static_cast<std::size_t>(i)].MeterR = static_cast<float>(Level(i + 3, tick));
        }
        core.tick = tick % 8;
        for (std::size_t m = 1; m < mixers.size(); ++m) {
            mixers[m]->UpdateMeters();
        }
        for (TFlatFader* fader : faders) {
            fader->TimerTick();
        }
        for (TLevelMeter* meter : meters) {
            meter->TimerTick();
        }
        QApplication::processEvents();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++tick;
    }
    constexpr double kTickSeconds = 0.05;
    state.counters["core_percent"] = 100.0 * seconds / (tick * kTickSeconds);
    CurrentStrips.store(nullptr);
}
BENCHMARK(BM_FourMixersTick)->Iterations(kTicks)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
