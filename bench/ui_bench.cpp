// The window thread's cost of the meters: 100 faders and 30 level meters fed with moving levels,
// ticked and repainted, one iteration per 50 ms tick. Runs on Qt's offscreen platform unless
// QT_QPA_PLATFORM says otherwise.

#include "ui/flat_fader.h"
#include "ui/level_meter.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cmath>
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
