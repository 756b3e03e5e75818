#pragma once
// Small shows written from a description: one song whose instrument slot 1 holds one plugin of
// the instrument catalogue (and effect slot 1 one of the effect catalogue), and parts that each
// route every channel of MIDI input 1 to it with their own transposition. The demo show and the
// end-to-end tests are made with it.
//
// Window thread (it reads the strip table's names); touches no other program state.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace peldor {

struct TShowPart {
    std::string Name;
    std::int8_t Transpose = 0;
};

struct TShowDescription {
    std::string SongName = "song";
    std::vector<TShowPart> Parts{{"part", 0}};
    /// Instrument catalogue index of the plugin in "VSTi 1"; -1 leaves the slot empty.
    std::int32_t InstrumentIndex = 0;
    /// Effect catalogue index of the plugin in "VST 1", its editor shown as choosing it in the
    /// effects window leaves it; -1 (the default) leaves the slot empty.
    std::int32_t EffectIndex = -1;
    /// Levels of the instrument strip and of the master (linear gains).
    float InstrumentLevel = 1.0f;
    float MasterLevel = 1.0f;
    /// Controller number whose messages on input 1 step to the next part (the remote
    /// command "Next part"); -1 for none.
    std::int32_t NextPartController = -1;
    /// The mixer's test tone (a 1 kHz sine) on the master.
    bool TestTone = false;
};

/// The project file of the show, as bytes. The MIDI input 1 is selected, the first part is
/// current. Call InitStripTable first: the strip names are taken from the strip table.
std::vector<std::uint8_t> BuildShowFile(const TShowDescription& show);
/// Writes the show to path; false with the reason in error.
bool WriteShowFile(const std::filesystem::path& path, const TShowDescription& show,
                   std::string& error);

} // namespace peldor
