#pragma once
// The demo show ./run plays: a folder holding one instrument (Kars from /usr/lib/vst when it is
// installed, else our test instrument), a settings file that chooses the "Dummy" driver with the
// master on outputs 1 and 2, and a two-part show. A short phrase is played into MIDI input 1 of
// an in-process device, then a remote command steps to the second part, a fifth higher, and
// the phrase comes again.

#include "app/show_builder.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace peldor {

class TVirtualMidiBackend;

/// The instrument the demo uses: $PELDOR_DEMO_PLUGIN when set, else Kars in /usr/lib/vst, else
/// PeldorSynth.so from $PELDOR_TESTPLUGIN_DIR or from the build tree beside the program
/// (../testplugins). Empty when none exists.
std::string FindDemoInstrument();

struct TDemoShow {
    std::filesystem::path Folder;
    std::filesystem::path SettingsFile;
    std::filesystem::path PluginFolder;
    std::filesystem::path ProjectFile;
    std::string Instrument;
};

/// The controller number the demo's remote command ("Next part") listens to.
inline constexpr std::uint8_t kDemoRemoteController = 80;
/// Sample rate of the demo's Dummy driver.
inline constexpr std::int32_t kDemoSampleRate = 48000;

/// The demo's show: one song "Demo" with the parts "Home key" and "Up a fifth" (7 semitones
/// up), every channel of MIDI input 1 going to "VSTi 1", which holds the plugin folder's first
/// instrument; controller 80 on input 1 steps to the next part.
TShowDescription DemoShowDescription();

/// Writes the demo into folder (which must exist): plugins/<instrument>, peldor.ini, demo.pdp.
/// Call InitStripTable first. False with the reason in error.
bool PrepareDemoShow(const std::filesystem::path& folder, const std::string& instrument,
                     TDemoShow& demo, std::string& error);

/// One message of the demo phrase, due at a time in seconds of audio.
struct TDemoEvent {
    double Seconds = 0.0;
    std::uint32_t Message = 0;
};

/// The phrase twice, with the remote command between: about kDemoLengthSeconds of audio.
std::vector<TDemoEvent> DemoPhrase();
inline constexpr double kDemoLengthSeconds = 8.0;

/// Plays the phrase into input 0 of a virtual MIDI backend as audio time passes. Window thread.
class TDemoPlayer {
public:
    TDemoPlayer(TVirtualMidiBackend& theBackend, std::vector<TDemoEvent> theEvents)
        : backend(theBackend), events(std::move(theEvents)) {}
    /// Plays every event due by audio time seconds; returns how many were played.
    int Advance(double seconds);
    bool Done() const noexcept { return next >= events.size(); }

private:
    TVirtualMidiBackend& backend;
    std::vector<TDemoEvent> events;
    std::size_t next = 0;
};

} // namespace peldor
