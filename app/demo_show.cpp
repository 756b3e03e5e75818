#include "app/demo_show.h"

#include "app/settings_file.h"
#include "app/show_builder.h"
#include "midi/virtual_midi_backend.h"

#include <cstdlib>

namespace peldor {
namespace {

constexpr const char* kKarsPath = "/usr/lib/vst/Kars-vst.so";
constexpr const char* kTestInstrument = "PeldorSynth.so";

bool Exists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::uint32_t Message(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    return status | (static_cast<std::uint32_t>(data1) << 8) |
           (static_cast<std::uint32_t>(data2) << 16);
}

} // namespace

std::string FindDemoInstrument() {
    if (const char* chosen = std::getenv("PELDOR_DEMO_PLUGIN"); chosen != nullptr && *chosen) {
        return Exists(chosen) ? std::string(chosen) : std::string();
    }
    if (Exists(kKarsPath)) {
        return kKarsPath;
    }
    if (const char* folder = std::getenv("PELDOR_TESTPLUGIN_DIR"); folder != nullptr && *folder) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / kTestInstrument;
        if (Exists(candidate)) {
            return candidate.string();
        }
    }
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path candidate =
            program.parent_path().parent_path() / "testplugins" / kTestInstrument;
        if (Exists(candidate)) {
            return candidate.string();
        }
    }
    return {};
}

bool PrepareDemoShow(const std::filesystem::path& folder, const std::string& instrument,
                     TDemoShow& demo, std::string& error) {
    demo.Folder = folder;
    demo.Instrument = instrument;
    demo.PluginFolder = folder / "plugins";
    demo.SettingsFile = folder / kSettingsFileName;
    demo.ProjectFile = folder / "demo.pdp";

    std::error_code ec;
    std::filesystem::create_directories(demo.PluginFolder, ec);
    // A link keeps the plugin where it is installed; the scan follows it.
    if (!ec) {
        std::filesystem::create_symlink(
            instrument, demo.PluginFolder / std::filesystem::path(instrument).filename(), ec);
    }
    if (ec) {
        error = "cannot prepare " + demo.PluginFolder.string() + ": " + ec.message();
        return false;
    }

    const TSettingsFile settings(demo.SettingsFile);
    constexpr std::int32_t kDummyDriverIndex = 1;
    constexpr std::int32_t kDemoBufferSize = 256;
    if (!settings.Write("ASIO",
                        {{"Driver", std::to_string(kDummyDriverIndex)},
                         {"Sample rate", std::to_string(kDemoSampleRate)},
                         {"OutMainL", "0"},
                         {"OutMainR", "1"}},
                        &error) ||
        !settings.Write("Dummy",
                        {{"Sample rate", std::to_string(kDemoSampleRate)},
                         {"Buffer size", std::to_string(kDemoBufferSize)},
                         {"Outputs", "2"}},
                        &error)) {
        return false;
    }

    return WriteShowFile(demo.ProjectFile, DemoShowDescription(), error);
}

TShowDescription DemoShowDescription() {
    TShowDescription show;
    show.SongName = "Demo";
    show.Parts = {{"Home key", 0}, {"Up a fifth", 7}};
    show.InstrumentIndex = 0;
    show.NextPartController = kDemoRemoteController;
    return show;
}

std::vector<TDemoEvent> DemoPhrase() {
    constexpr std::uint8_t kNoteOn = 0x90;
    constexpr std::uint8_t kNoteOff = 0x80;
    constexpr std::uint8_t kControlChange = 0xB0;
    constexpr std::uint8_t kVelocity = 100;
    constexpr double kNoteLength = 0.3;
    constexpr double kStep = 0.4;
    constexpr double kSecondPhrase = 4.0;
    // C4 E4 G4 C5, then a chord of the three.
    const std::uint8_t notes[] = {60, 64, 67, 72};
    const std::uint8_t chord[] = {60, 64, 67};
    std::vector<TDemoEvent> events;
    auto phrase = [&](double start) {
        double at = start + 0.5;
        for (std::uint8_t note : notes) {
            events.push_back({at, Message(kNoteOn, note, kVelocity)});
            events.push_back({at + kNoteLength, Message(kNoteOff, note, 0)});
            at += kStep;
        }
        for (std::uint8_t note : chord) {
            events.push_back({at, Message(kNoteOn, note, kVelocity)});
            events.push_back({at + 3 * kNoteLength, Message(kNoteOff, note, 0)});
        }
    };
    phrase(0.0);
    events.push_back({kSecondPhrase - 0.2, Message(kControlChange, kDemoRemoteController, 127)});
    phrase(kSecondPhrase);
    return events;
}

int TDemoPlayer::Advance(double seconds) {
    int played = 0;
    while (next < events.size() && events[next].Seconds <= seconds) {
        backend.Play(0, events[next].Message);
        ++next;
        ++played;
    }
    return played;
}

} // namespace peldor
