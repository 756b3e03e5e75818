#pragma once
// Shared set-up of the MIDI tests: a virtual MIDI service with four inputs and four outputs,
// a fresh window-message queue with the inspector present, empty event queues, default
// options, and a project that is put back to program start afterwards.

#include "engine/event_queue.h"
#include "midi/midi_devices.h"
#include "midi/routing.h"
#include "midi/switching_views.h"
#include "midi/virtual_midi_backend.h"
#include "midi/window_messages.h"
#include "project/project_links.h"
#include "project/project_model.h"
#include "project/project_options.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace peldor::test {

/// Installs the MIDI test environment and removes every trace of it afterwards.
class MidiTestState {
public:
    explicit MidiTestState(int inputs = 4, int outputs = 4) {
        ResetModel();
        ProjectOptions() = TProjectOptions{};
        InitEventQueues();
        queue.SetInspectorExists(true);
        SetWindowPoster(&queue);
        std::vector<std::string> inputNames;
        std::vector<std::string> outputNames;
        for (int i = 0; i < inputs; ++i) {
            inputNames.push_back("in " + std::to_string(i));
        }
        for (int i = 0; i < outputs; ++i) {
            outputNames.push_back("out " + std::to_string(i));
        }
        auto owned = std::make_unique<TVirtualMidiBackend>(inputNames, outputNames);
        backend = owned.get();
        InstallMidiBackend(std::move(owned));
        EnumerateDevices();
        SetMidiProjectPresent(true);
    }
    ~MidiTestState() {
        SetMidiLearnHandler(nullptr);
        InstallMidiBackend(nullptr);
        SetWindowPoster(nullptr);
        SetInspectorView(nullptr);
        SetMidiProjectPresent(true);
        ProjectOptions() = TProjectOptions{};
        InitEventQueues();
        ResetModel();
    }
    MidiTestState(const MidiTestState&) = delete;
    MidiTestState& operator=(const MidiTestState&) = delete;

    /// Selects, opens and starts every input and output.
    void OpenAll() {
        for (std::int32_t i = 0; i < MidiInputCount(); ++i) {
            SetMidiInputSelected(i, true);
        }
        for (std::int32_t i = 0; i < MidiOutputCount(); ++i) {
            SetMidiOutputSelected(i, true);
        }
        OpenSelectedDevices();
    }

    /// Messages posted since the last call, oldest first.
    std::vector<TWindowMessage> Posted() { return queue.Drain(); }

    TVirtualMidiBackend* backend = nullptr;
    TWindowMessageQueue queue;

private:
    static void ResetModel() {
        DestroyProject();
        CurrentSong = CurrentPart = CurrentConnection = -1;
        SongCounter = PartCounter = ConnectionCounter = 0;
        ProjectLinks = TProjectLinks{};
        StripReleaseWaitMs = 0;
        CurrentStrips.store(nullptr);
    }
};

/// The events queued for an instrument slot, taken as the engine takes them at a block start,
/// each as a short-message word. While a MIDI thread holds the routing lock the engine would
/// take them a block later; the test waits for it instead.
inline std::vector<std::uint32_t> TakeEvents(int slot) {
    std::vector<std::uint32_t> words;
    vst2::VstEvents* events = TakeQueuedEvents(slot);
    while (events == nullptr && PendingCount[slot] > 0) {
        std::this_thread::yield();
        events = TakeQueuedEvents(slot);
    }
    if (events != nullptr) {
        for (int i = 0; i < events->numEvents; ++i) {
            const auto* midi = reinterpret_cast<const vst2::VstMidiEvent*>(events->events[i]);
            words.push_back(static_cast<std::uint8_t>(midi->midiData[0]) |
                            static_cast<std::uint8_t>(midi->midiData[1]) << 8 |
                            static_cast<std::uint8_t>(midi->midiData[2]) << 16);
        }
    }
    return words;
}

/// Packs a message the way the tests write expectations.
constexpr std::uint32_t Msg(std::uint8_t status, std::uint8_t data1 = 0, std::uint8_t data2 = 0) {
    return PackShortMessage(status, data1, data2);
}

} // namespace peldor::test
