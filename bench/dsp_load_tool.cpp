// dsp_load_tool: the pieces of bench/dsp_load.sh that need the project model or libjack.
//
//   dsp_load_tool show FILE            writes the heavy show: the first instrument of the
//                                      scanned catalogue in "VSTi 1" and "VSTi 2", the first
//                                      effect in "VST 1".."VST 4", each instrument sending to
//                                      all four aux buses, every MIDI channel of input 1 to
//                                      both instruments; the audio thread priority option
//                                      from DSP_LOAD_PRIORITY (0-6) when set
//   dsp_load_tool midi FILE SECONDS    a standard MIDI file playing the chord loop
//   dsp_load_tool measure WARMUP SECONDS
//                                      a JACK client (JACK_DEFAULT_SERVER) whose MIDI output
//                                      "notes" plays the chord loop; after WARMUP seconds it
//                                      reads jack_cpu_load every 100 ms for SECONDS seconds
//                                      and prints "samples N median M mean A min L max H"
//
// The chord loop: every two seconds a four-note chord (velocity 100), held 1.5 s, cycling
// through four chords, so that both instruments sound and the reverbs have signal.

#include "engine/strip_table.h"
#include "project/atomic_file.h"
#include "project/project_file.h"
#include "project/project_model.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace peldor;

constexpr double kChordPeriodSeconds = 2.0;
constexpr double kChordHoldSeconds = 1.5;
constexpr int kChordCount = 4;
constexpr int kChordNotes = 4;
constexpr std::uint8_t kChords[kChordCount][kChordNotes] = {
    {48, 55, 64, 72}, {45, 57, 60, 69}, {41, 53, 60, 65}, {43, 55, 62, 71}};
constexpr std::uint8_t kVelocity = 100;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;

int Usage() {
    std::fputs("usage: dsp_load_tool show FILE\n"
               "       dsp_load_tool midi FILE SECONDS\n"
               "       dsp_load_tool measure WARMUP SECONDS\n",
               stderr);
    return 1;
}

int WriteShow(const char* path) {
    InitStripTable();
    TProjectFileImage image;
    image.InputSelected[0] = 1;
    image.Descriptors = StripTable.Descriptors;
    image.MixerSettings = StripTable.MixerSettings;

    auto project = std::make_unique<TProject>();
    project->Name = "dsp load";
    auto song = std::make_unique<TSong>("dsp load");
    constexpr int kInstruments = 2;
    for (int i = 0; i < kInstruments; ++i) {
        TPluginSettings& slot = song->SlotSettings[i];
        slot.PluginIndex = 0;
        slot.IsInstrument = 1;
    }
    for (int e = 0; e < kEffectSlotCount; ++e) {
        TPluginSettings& slot = song->SlotSettings[kInstrumentSlotCount + e];
        slot.PluginIndex = 0;
        slot.IsInstrument = 0;
    }
    auto part = std::make_unique<TPart>("reverbs");
    TStripStates& strips = *part->Strips;
    constexpr float kSend = 0.5f;
    for (int i = 0; i < kInstruments; ++i) {
        strips[kFirstInstrumentStrip + i].Level = 0.5f;
        for (auto& send : strips[kFirstInstrumentStrip + i].AuxSend) {
            send = kSend;
        }
    }
    for (int a = 0; a < kAuxCount; ++a) {
        strips[kFirstAuxStrip + a].Level = 1.0f;
    }
    for (int e = 0; e < kEffectSlotCount; ++e) {
        strips[kFirstEffectStrip + e].Level = 0.25f;
    }
    strips[kMasterStrip].Level = 1.0f;
    for (int i = 0; i < kInstruments; ++i) {
        auto connection =
            std::make_unique<TConnection>("keyboard to VSTi " + std::to_string(i + 1));
        connection->SetInPort(0);
        connection->InChannel = kOmniChannel;
        connection->SetOutPort(kFirstInstrumentPort + i);
        connection->OutChannel = 0;
        connection->Position = i;
        part->AppendConnection(std::move(connection));
    }
    part->LastConnection = 0;
    song->AppendPart(std::move(part));
    song->PartAt(0)->SyncFromSong();
    project->AppendSong(std::move(song));
    image.Project = std::move(project);
    image.CurrentSong = 0;
    image.CurrentPart = 0;
    image.CurrentConnection = 0;
    image.SongCounter = 1;
    image.PartCounter = 1;
    image.ConnectionCounter = kInstruments;
    // The workers' priority option, 0-6 ("Normal" unless DSP_LOAD_PRIORITY says otherwise).
    if (const char* priority = std::getenv("DSP_LOAD_PRIORITY")) {
        image.Options.AudioThreadPriority = std::atoi(priority);
    }

    TByteBuffer bytes;
    WriteProjectFile(image, bytes);
    std::string error;
    if (!WriteFileAtomically(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}

void PutVariable(std::vector<std::uint8_t>& out, std::uint32_t value) {
    std::uint8_t bytes[5];
    int count = 0;
    do {
        bytes[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) {
        out.push_back(static_cast<std::uint8_t>(bytes[--count] | 0x80));
    }
    out.push_back(bytes[0]);
}

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int b = bytes - 1; b >= 0; --b) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
    }
}

int WriteMidi(const char* path, double seconds) {
    // 480 ticks per quarter at the default 120 bpm: 960 ticks per second.
    constexpr int kTicksPerQuarter = 480;
    constexpr double kTicksPerSecond = 960.0;
    struct Event {
        std::uint32_t tick;
        std::uint8_t status, note, velocity;
    };
    std::vector<Event> events;
    const int chords = static_cast<int>(seconds / kChordPeriodSeconds);
    for (int c = 0; c < chords; ++c) {
        const auto on = static_cast<std::uint32_t>(c * kChordPeriodSeconds * kTicksPerSecond);
        const auto off = static_cast<std::uint32_t>((c * kChordPeriodSeconds + kChordHoldSeconds) *
                                                    kTicksPerSecond);
        for (std::uint8_t note : kChords[c % kChordCount]) {
            events.push_back({on, kNoteOn, note, kVelocity});
            events.push_back({off, kNoteOff, note, 0});
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.tick < b.tick; });
    std::vector<std::uint8_t> track;
    std::uint32_t last = 0;
    for (const Event& e : events) {
        PutVariable(track, e.tick - last);
        last = e.tick;
        track.push_back(e.status);
        track.push_back(e.note);
        track.push_back(e.velocity);
    }
    PutVariable(track, 0);
    track.insert(track.end(), {0xFF, 0x2F, 0x00});

    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd'};
    PutBigEndian(file, 6, 4);
    PutBigEndian(file, 0, 2); // format 0
    PutBigEndian(file, 1, 2);
    PutBigEndian(file, kTicksPerQuarter, 2);
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    PutBigEndian(file, static_cast<std::uint32_t>(track.size()), 4);
    file.insert(file.end(), track.begin(), track.end());
    std::string error;
    if (!WriteFileAtomically(path, file, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}

/// Plays the chord loop on its MIDI output, counted in frames from its first cycle.
struct ChordSource {
    jack_port_t* port = nullptr;
    std::uint64_t frame = 0;
    std::uint64_t period = 0;
    std::uint64_t hold = 0;

    static int Process(jack_nframes_t frames, void* self) {
        auto* me = static_cast<ChordSource*>(self);
        void* buffer = jack_port_get_buffer(me->port, frames);
        jack_midi_clear_buffer(buffer);
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const std::uint64_t now = me->frame + i;
            const std::uint64_t within = now % me->period;
            if (within != 0 && within != me->hold) {
                continue;
            }
            const int chord = static_cast<int>((now / me->period) % kChordCount);
            const bool on = within == 0;
            for (std::uint8_t note : kChords[chord]) {
                const jack_midi_data_t message[3] = {on ? kNoteOn : kNoteOff, note,
                                                     on ? kVelocity : std::uint8_t{0}};
                jack_midi_event_write(buffer, i, message, 3);
            }
        }
        me->frame += frames;
        return 0;
    }
};

int Measure(double warmup, double seconds) {
    jack_status_t status{};
    jack_client_t* client = jack_client_open("dsp-load-meter", JackNoStartServer, &status);
    if (client == nullptr) {
        std::fprintf(stderr, "no JACK server answers (status 0x%x)\n", status);
        return 1;
    }
    ChordSource source;
    const double rate = jack_get_sample_rate(client);
    source.period = static_cast<std::uint64_t>(kChordPeriodSeconds * rate);
    source.hold = static_cast<std::uint64_t>(kChordHoldSeconds * rate);
    source.port = jack_port_register(client, "notes", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (source.port == nullptr) {
        std::fputs("cannot register the MIDI port\n", stderr);
        jack_client_close(client);
        return 1;
    }
    jack_set_process_callback(client, &ChordSource::Process, &source);
    jack_activate(client);
    std::this_thread::sleep_for(std::chrono::duration<double>(warmup));

    std::vector<double> loads;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        loads.push_back(jack_cpu_load(client));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    jack_deactivate(client);
    jack_client_close(client);
    if (loads.empty()) {
        return 1;
    }
    std::vector<double> sorted = loads;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.size() % 2 == 1
                              ? sorted[sorted.size() / 2]
                              : 0.5 * (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]);
    const double mean = std::accumulate(loads.begin(), loads.end(), 0.0) / loads.size();
    std::printf("samples %zu median %.2f mean %.2f min %.2f max %.2f\n", loads.size(), median, mean,
                sorted.front(), sorted.back());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "show" && argc == 3) {
        return WriteShow(argv[2]);
    }
    if (command == "midi" && argc == 4) {
        return WriteMidi(argv[2], std::atof(argv[3]));
    }
    if (command == "measure" && argc == 4) {
        return Measure(std::atof(argv[2]), std::atof(argv[3]));
    }
    return Usage();
}
