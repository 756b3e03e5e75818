#include "plugins/catalogue_format.h"

#include <cstdio>

namespace peldor {
namespace {

/// Length of the valid UTF-8 sequence starting at text[at], or 0 when it is not valid.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        minimum = 0x10000;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

void AppendField(std::string& out, const char* name, const std::string& jsonValue) {
    out += '"';
    out += name;
    out += "\": ";
    out += jsonValue;
}

std::string RecordJson(const char* catalogue, std::size_t index, const PlgListRecord& r) {
    std::string out = "  {";
    AppendField(out, "catalogue", JsonString(catalogue));
    out += ", ";
    AppendField(out, "index", std::to_string(index));
    out += ", ";
    AppendField(out, "PluginName", JsonString(r.PluginName));
    out += ", ";
    AppendField(out, "LibraryFile", JsonString(r.LibraryFile));
    out += ", ";
    AppendField(out, "SubFolder", JsonString(r.SubFolder));
    out += ", ";
    AppendField(out, "IsShell", std::to_string(r.IsShell));
    out += ", ";
    AppendField(out, "ShellID", std::to_string(r.ShellID));
    out += ", ";
    AppendField(out, "Inputs", std::to_string(r.Inputs));
    out += ", ";
    AppendField(out, "Outputs", std::to_string(r.Outputs));
    out += ", ";
    AppendField(out, "ProgramChunks", std::to_string(r.ProgramChunks));
    out += "}";
    return out;
}

} // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            ++i;
        } else {
            const std::size_t length = Utf8SequenceLength(text, i);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text, i, length);
                i += length;
            }
        }
    }
    out += '"';
    return out;
}

std::string FormatCatalogueLine(const char* catalogue, std::size_t index, const PlgListRecord& r) {
    return std::string(catalogue) + " " + std::to_string(index) +
           " PluginName=" + JsonString(r.PluginName) + " LibraryFile=" + JsonString(r.LibraryFile) +
           " SubFolder=" + JsonString(r.SubFolder) + " IsShell=" + std::to_string(r.IsShell) +
           " ShellID=" + std::to_string(r.ShellID) + " Inputs=" + std::to_string(r.Inputs) +
           " Outputs=" + std::to_string(r.Outputs) +
           " ProgramChunks=" + std::to_string(r.ProgramChunks);
}

std::string CataloguesJson(const TPluginCatalogue& instruments, const TPluginCatalogue& effects) {
    std::string out = "[";
    bool first = true;
    auto add = [&](const char* catalogue, const TPluginCatalogue& entries) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            out += first ? "\n" : ",\n";
            first = false;
            out += RecordJson(catalogue, i, entries[i]);
        }
    };
    add("instrument", instruments);
    add("effect", effects);
    out += first ? "]\n" : "\n]\n";
    return out;
}

} // namespace peldor
