#include "project/project_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace peldor {

namespace {

class JsonWriter {
public:
    // Containers. A key is given inside objects, none inside arrays.
    void BeginObject(std::string_view key = {}) { Open(key, '{'); }
    void EndObject() { Close('}'); }
    void BeginArray(std::string_view key = {}) { Open(key, '['); }
    void EndArray() { Close(']'); }

    void Int(std::string_view key, std::int64_t value) {
        Key(key);
        out += std::to_string(value);
    }
    void Float(std::string_view key, float value) { Number(key, value); }
    void Double(std::string_view key, double value) { Number(key, value); }
    void String(std::string_view key, std::string_view text) {
        Key(key);
        Quoted(text);
    }

    std::string Take() { return std::move(out); }

private:
    void Open(std::string_view key, char bracket) {
        Key(key);
        out += bracket;
        first = true;
    }
    void Close(char bracket) {
        out += bracket;
        first = false;
    }
    void Key(std::string_view key) {
        if (!first) {
            out += ',';
        }
        first = false;
        if (!key.empty()) {
            Quoted(key);
            out += ':';
        }
    }

    template <typename T> void Number(std::string_view key, T value) {
        Key(key);
        if (std::isnan(value)) {
            out += "\"NaN\"";
        } else if (std::isinf(value)) {
            out += value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
        } else {
            char buffer[64];
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
            out.append(buffer, result.ptr);
        }
    }

    // Length of the valid UTF-8 sequence at text[i], or 0.
    static std::size_t Utf8Length(std::string_view text, std::size_t i) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = byte(i);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return 0;
        }
        if (i + length > text.size()) {
            return 0;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xC0u) != 0x80u) {
                return 0;
            }
            code = (code << 6) | (byte(i + k) & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kMinimum[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            return 0;
        }
        return length;
    }

    void Quoted(std::string_view text) {
        out += '"';
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c == '"' || c == '\\') {
                out += '\\';
                out += static_cast<char>(c);
            } else if (c < 0x20 || c == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (const std::size_t length = Utf8Length(text, i); length > 0) {
                out.append(text.substr(i, length));
                i += length - 1;
            } else {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            }
        }
        out += '"';
    }

    std::string out;
    bool first = true;
};

void Pattern(JsonWriter& json, std::string_view key, const TMidiPattern& pattern) {
    json.BeginArray(key);
    for (const auto& value : pattern) {
        json.Int({}, value.Load());
    }
    json.EndArray();
}

void Flags(JsonWriter& json, std::string_view key,
           const std::array<std::uint8_t, kFileDeviceCount>& flags) {
    json.BeginArray(key);
    for (std::uint8_t flag : flags) {
        json.Int({}, flag);
    }
    json.EndArray();
}

void Descriptors(JsonWriter& json, const TProjectFileImage& image) {
    json.BeginArray("StripDescriptors");
    for (const auto& d : image.Descriptors) {
        json.BeginObject();
        json.Int("Code1", d.Code1);
        json.Int("Code2", d.Code2);
        json.Int("Code3", d.Code3);
        json.Int("Code4", d.Code4);
        json.String("LongName", d.LongName);
        json.String("ShortName", d.ShortName);
        json.Int("Code5", d.Code5);
        json.Int("Code6", d.Code6);
        json.EndObject();
    }
    json.EndArray();
}

void Mixer(JsonWriter& json, const TMixerSettings& m) {
    json.BeginObject("MixerSettings");
    json.Int("oscactive", m.oscactive);
    json.Int("oscsine", m.oscsine);
    json.Int("oscfrq", m.oscfrq);
    json.Int("oscx4", m.oscx4);
    json.Int("osctomain", m.osctomain);
    json.Int("osctosolo", m.osctosolo);
    json.Int("osctomon1", m.osctomon1);
    json.Int("osctomon2", m.osctomon2);
    json.Int("osctoaux1", m.osctoaux1);
    json.Int("osctoaux2", m.osctoaux2);
    json.Int("osctoaux3", m.osctoaux3);
    json.Int("osctoaux4", m.osctoaux4);
    json.Float("osclevel", m.osclevel);
    json.Int("meterspostinputs", m.meterspostinputs);
    json.Int("meterspostvsti", m.meterspostvsti);
    json.Int("meterspostvst", m.meterspostvst);
    json.Int("meterspostoutputs", m.meterspostoutputs);
    json.Float("sololevel", m.sololevel);
    json.Int("addmode", m.addmode);
    json.EndObject();
}

void Connection(JsonWriter& json, const TConnection& c) {
    json.BeginObject();
    json.String("Name", c.Name);
    json.Int("InPort", c.InPort);
    json.Int("InChannel", c.InChannel);
    json.Int("PassNote", c.PassNote);
    json.Int("PassPolyPressure", c.PassPolyPressure);
    json.Int("PassController", c.PassController);
    json.Int("PassProgramChange", c.PassProgramChange);
    json.Int("PassAftertouch", c.PassAftertouch);
    json.Int("PassPitchbend", c.PassPitchbend);
    json.Int("PassUser1", c.PassUser1);
    json.Int("PassUser2", c.PassUser2);
    json.Int("Enabled", c.Enabled);
    json.Int("Program", c.Program);
    json.Int("ProgramEnabled", c.ProgramEnabled);
    json.String("ProgramName", c.ProgramName);
    json.Int("BankHi", c.BankHi);
    json.Int("BankLo", c.BankLo);
    json.Int("BankHiEnabled", c.BankHiEnabled);
    json.Int("BankLoEnabled", c.BankLoEnabled);
    json.Int("Volume", c.Volume);
    json.Int("VolumeEnabled", c.VolumeEnabled);
    json.Int("Pan", c.Pan);
    json.Int("PanEnabled", c.PanEnabled);
    json.Int("Transpose", c.Transpose);
    json.Int("RangeHi", c.RangeHi);
    json.Int("RangeLo", c.RangeLo);
    json.Int("OutPort", c.OutPort);
    json.Int("OutChannel", c.OutChannel);
    json.Int("Position", c.Position);
    json.EndObject();
}

void Strip(JsonWriter& json, const TStripState& s) {
    json.BeginObject();
    json.Int("Mute", s.Mute);
    json.Int("SoloMute", s.SoloMute);
    json.Int("Solo", s.Solo);
    json.Float("Level", s.Level);
    json.Float("Pan", s.Pan);
    json.BeginArray("MonSend");
    for (const auto& send : s.MonSend) {
        json.Float({}, send);
    }
    json.EndArray();
    json.BeginArray("AuxSend");
    for (const auto& send : s.AuxSend) {
        json.Float({}, send);
    }
    json.EndArray();
    json.Int("Reverb", s.Reverb);
    json.Int("Chorus", s.Chorus);
    json.Float("MeterL", s.MeterL);
    json.EndObject();
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

void Part(JsonWriter& json, const TPart& part) {
    json.BeginObject();
    json.String("Name", part.Name);
    json.BeginArray("Connections");
    for (std::int32_t i = 0; i < part.ConnectionCount(); ++i) {
        Connection(json, *part.ConnectionAt(i));
    }
    json.EndArray();
    json.BeginArray("Strips");
    for (const auto& strip : *part.Strips) {
        Strip(json, strip);
    }
    json.EndArray();
    json.BeginArray("SlotStates");
    for (const auto& slot : part.SlotStates) {
        json.BeginObject();
        json.Int("ProgramNr", slot.ProgramNr);
        json.Int("ProgramCategory", slot.ProgramCategory);
        json.Int("HasState", slot.HasState);
        json.Int("StateSize", slot.StateSize);
        json.String("StateData", Hex(slot.StateData));
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

void Song(JsonWriter& json, const TSong& song) {
    json.BeginObject();
    json.String("Name", song.Name);
    json.String("Composer", song.Composer);
    json.Float("Tempo", song.Tempo);
    json.String("Key", song.Key);
    json.BeginArray("Parts");
    for (std::int32_t i = 0; i < song.PartCount(); ++i) {
        Part(json, *song.PartAt(i));
    }
    json.EndArray();
    json.BeginArray("SlotSettings");
    for (const auto& slot : song.SlotSettings) {
        json.BeginObject();
        json.Int("PluginIndex", slot.PluginIndex);
        json.Int("IsInstrument", slot.IsInstrument);
        json.Int("NumInputs", slot.NumInputs);
        json.Int("NumOutputs", slot.NumOutputs);
        json.Int("EditorVisible", slot.EditorVisible);
        json.Int("EditorLeft", slot.EditorLeft);
        json.Int("EditorTop", slot.EditorTop);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

void Options(JsonWriter& json, const TProjectOptions& o) {
    json.BeginObject("Options");
    json.Int("NoteNamingScheme", o.NoteNamingScheme);
    json.Int("ProcessActiveSense", o.ProcessActiveSense);
    json.Int("SendAllNotesOffOnChange", o.SendAllNotesOffOnChange);
    Pattern(json, "UserFilter1", o.UserFilter1);
    Pattern(json, "UserFilter2", o.UserFilter2);
    json.Int("HotkeysEnabled", o.HotkeysEnabled);
    json.Int("MidiRemoteEnabled", o.MidiRemoteEnabled);
    json.Int("RemotePort", o.RemotePort);
    json.BeginArray("RemoteCommands");
    for (const auto& command : o.RemoteCommands) {
        json.BeginObject();
        json.Int("Hotkey", command.Hotkey);
        Pattern(json, "Pattern", command.Pattern);
        json.EndObject();
    }
    json.EndArray();
    json.Float("Epsilon", o.Epsilon);
    json.Int("DecimalSeparator", o.DecimalSeparator);
    json.Int("ThousandSeparator", o.ThousandSeparator);
    json.Int("AudioThreadPriority", o.AudioThreadPriority);
    json.Int("SineAccuracy", o.SineAccuracy);
    json.Int("PinkNoise", o.PinkNoise);
    json.EndObject();
}

void Layout(JsonWriter& json, const TWindowLayout& layout) {
    json.BeginArray("WindowLayout");
    for (const auto& record : layout) {
        json.BeginObject();
        json.Int("Exists", record.Exists);
        if (record.Exists) {
            json.Int("Left", record.Left);
            json.Int("Top", record.Top);
            json.Int("Width", record.Width);
            json.Int("Height", record.Height);
            json.Int("Visible", record.Visible);
        }
        json.EndObject();
    }
    json.EndArray();
}

} // namespace

std::string ProjectImageToJson(const TProjectFileImage& image) {
    JsonWriter json;
    json.BeginObject();
    json.BeginObject("DeviceSelection");
    Flags(json, "Inputs", image.InputSelected);
    Flags(json, "Outputs", image.OutputSelected);
    json.EndObject();
    Descriptors(json, image);
    Mixer(json, image.MixerSettings);
    const TProject& project = *image.Project;
    json.String("Name", project.Name);
    json.String("Venue", project.Venue);
    json.Double("Created", project.Created);
    json.String("Author", project.Author);
    json.String("FileName", project.Settings->FileName);
    json.BeginArray("Songs");
    for (std::int32_t i = 0; i < project.SongCount(); ++i) {
        Song(json, *project.SongAt(i));
    }
    json.EndArray();
    json.Int("CurrentSong", image.CurrentSong);
    json.Int("CurrentPart", image.CurrentPart);
    json.Int("CurrentConnection", image.CurrentConnection);
    json.Int("SongCounter", image.SongCounter);
    json.Int("PartCounter", image.PartCounter);
    json.Int("ConnectionCounter", image.ConnectionCounter);
    Options(json, image.Options);
    Layout(json, image.WindowLayout);
    json.EndObject();
    return json.Take();
}

} // namespace peldor
