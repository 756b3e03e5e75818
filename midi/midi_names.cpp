#include "midi/midi_names.h"

#include <cstring>

namespace peldor {
namespace {

constexpr std::string_view kUnnamedController = "?       ";

constexpr std::array<std::string_view, 128> BuildControllerNames() {
    std::array<std::string_view, 128> names{};
    for (auto& name : names) {
        name = kUnnamedController;
    }
    names[0] = "Bank    ";
    names[1] = "ModWheel";
    names[2] = "Breath  ";
    names[4] = "FootPd  ";
    names[5] = "PortaTme";
    names[6] = "Data    ";
    names[7] = "Volume  ";
    names[8] = "Balance ";
    names[10] = "Pan     ";
    names[11] = "Exprssn ";
    names[12] = "FXCtrl 1";
    names[13] = "FXCtrl 2";
    names[16] = "GP 1    ";
    names[17] = "GP 2    ";
    names[18] = "GP 3    ";
    names[19] = "GP 4    ";
    // The LSB controllers 32-45 carry the names of their MSB partners 0-13.
    constexpr int kLsbOffset = 32;
    constexpr int kLsbNamed = 14;
    for (int i = 0; i < kLsbNamed; ++i) {
        names[kLsbOffset + i] = names[i];
    }
    names[64] = "Hold    ";
    names[65] = "Portamnt";
    names[66] = "Sustento";
    names[67] = "Soft Pd ";
    names[68] = "LegatoPd";
    names[69] = "Hold 2  ";
    names[70] = "SndVaria";
    names[71] = "SndTimbr";
    names[72] = "SndRlse ";
    names[73] = "SndAttck";
    names[74] = "SndBrght";
    names[75] = "SndCtrl6";
    names[76] = "SndCtrl7";
    names[77] = "SndCtrl8";
    names[78] = "SndCtrl9";
    names[79] = "SndCtl10";
    names[80] = "GP Btn 1";
    names[81] = "GP Btn 2";
    names[82] = "GP Btn 3";
    names[83] = "GP Btn 4";
    names[91] = "FX Lvl  ";
    names[92] = "Trem Lvl";
    names[93] = "ChorusLv";
    names[94] = "CelestLv";
    names[95] = "PhasrLvl";
    names[96] = "Data INC";
    names[97] = "Data DEC";
    names[98] = "? Fine  ";
    names[99] = "? Coarse";
    names[100] = "! Fine  ";
    names[101] = "! Coarse";
    names[120] = "SoundOff";
    names[121] = "CtrlsOff";
    names[122] = "Keyboard";
    names[123] = "AllNotes";
    names[124] = "Omni Off";
    names[125] = "Omni On ";
    names[126] = "Mono    ";
    names[127] = "Poly    ";
    return names;
}

constexpr bool AllNamesHaveWidth(const std::array<std::string_view, 128>& names) {
    for (const auto& name : names) {
        if (name.size() != kControllerNameWidth) {
            return false;
        }
    }
    return true;
}

constexpr int kPitchClasses = 12;
constexpr int kDefaultScheme = 1;

constexpr std::string_view kNoteNames[kNoteNamingSchemeCount][kPitchClasses] = {
    {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"},
    {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"},
    {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "H"},
    {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "H"},
};

struct TNoteText {
    char Text[kNoteNameMax] = {};
    int Length = 0;
};

// Every note's name in every scheme: the pitch-class name, then the octave (note div 12 - 1)
// as one digit, except for octave -1 (notes 0-11), which is shown without a number.
constexpr std::array<std::array<TNoteText, 128>, kNoteNamingSchemeCount> BuildNoteTexts() {
    std::array<std::array<TNoteText, 128>, kNoteNamingSchemeCount> texts{};
    for (int scheme = 0; scheme < kNoteNamingSchemeCount; ++scheme) {
        for (int note = 0; note < 128; ++note) {
            TNoteText& text = texts[scheme][note];
            for (char c : kNoteNames[scheme][note % kPitchClasses]) {
                text.Text[text.Length++] = c;
            }
            const int octave = note / kPitchClasses - 1;
            if (octave >= 0) {
                text.Text[text.Length++] = static_cast<char>('0' + octave);
            }
        }
    }
    return texts;
}

constexpr auto kNoteTexts = BuildNoteTexts();

} // namespace

const std::array<std::string_view, 128> MIDI_CC = BuildControllerNames();
static_assert(AllNamesHaveWidth(BuildControllerNames()));

int WriteNoteName(std::uint8_t note, int scheme, char* out) noexcept {
    if (scheme < 0 || scheme >= kNoteNamingSchemeCount) {
        scheme = kDefaultScheme;
    }
    const TNoteText& name = kNoteTexts[scheme][note & 0x7F];
    std::memcpy(out, name.Text, kNoteNameMax);
    return name.Length;
}

std::string NoteName(std::uint8_t note, int scheme) {
    char name[kNoteNameMax];
    return std::string(name, static_cast<std::size_t>(WriteNoteName(note, scheme, name)));
}

} // namespace peldor
