// Routing one note-on through a part of 64 connections that all accept it, each into an
// instrument slot's queue (four connections per slot), the way the MIDI input thread routes
// it: the routing lock taken per connection, input and output described, the event queued.
// The queues are emptied as the engine would at block starts, every 256 messages (1024 events
// per slot, inside the 2047 limit); that cost is part of the figure.
//
// BM_Route_64Connections: no inspector window, so nothing is posted (a show without the
// monitor open). BM_Route_64Connections_InspectorOpen: each of the 64 deliveries also posts
// its monitor text to the window thread, which drains the queue at the same rate.

#include "engine/event_queue.h"
#include "midi/routing.h"
#include "midi/window_messages.h"
#include "project/project_model.h"
#include "project/project_options.h"

#include <benchmark/benchmark.h>

namespace {

using namespace peldor;

constexpr int kMessagesPerBlock = 256;

void BuildPart() {
    TProject& project = CreateProject();
    TPart* part = project.AddSong()->AddPart();
    for (int i = 0; i < kMaxConnections; ++i) {
        TConnection* connection = part->AddConnection();
        connection->InChannel = kOmniChannel;
        connection->SetOutPort(kFirstInstrumentPort + i % kInstrumentSlotCount);
        connection->Transpose = static_cast<std::int8_t>(i % 12);
    }
    CurrentSong = CurrentPart = 0;
    SetRoutingPart(part);
}

void EmptyQueues() {
    for (int slot = 0; slot < kInstrumentSlotCount; ++slot) {
        benchmark::DoNotOptimize(TakeQueuedEvents(slot));
    }
}

void RouteNotes(benchmark::State& state, bool inspectorOpen) {
    ProjectOptions();
    InitEventQueues();
    TWindowMessageQueue queue;
    queue.SetInspectorExists(inspectorOpen);
    SetWindowPoster(&queue);
    BuildPart();
    int sinceBlock = 0;
    std::uint8_t note = 0;
    for (auto _ : state) {
        RouteThroughRoutingPart(0, {0x90, note, 100});
        note = static_cast<std::uint8_t>((note + 1) & 0x5F);
        if (++sinceBlock == kMessagesPerBlock) {
            sinceBlock = 0;
            EmptyQueues();
            if (inspectorOpen) {
                benchmark::DoNotOptimize(queue.Drain());
            }
        }
    }
    if (PendingCount[0] >= kMaxQueuedEvents) {
        state.SkipWithError("a queue overflowed: events were dropped");
    }
    state.SetItemsProcessed(state.iterations());
    SetWindowPoster(nullptr);
    DestroyProject();
    InitEventQueues();
}

void BM_Route_64Connections(benchmark::State& state) {
    RouteNotes(state, false);
}
BENCHMARK(BM_Route_64Connections);

void BM_Route_64Connections_InspectorOpen(benchmark::State& state) {
    RouteNotes(state, true);
}
BENCHMARK(BM_Route_64Connections_InspectorOpen);

} // namespace

BENCHMARK_MAIN();
