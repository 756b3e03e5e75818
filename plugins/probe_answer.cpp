#include "plugins/probe_answer.h"

#include <charconv>
#include <cstdint>
#include <vector>

namespace peldor {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned char kFirstPrintable = 0x21; // the space itself is escaped
constexpr unsigned char kDelete = 0x7F;
/// kind IsShell ShellID Inputs Outputs ProgramChunks name
constexpr std::size_t kEntryFields = 7;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = line.find(' ', start);
        fields.push_back(line.substr(start, space - start));
        if (space == std::string_view::npos) {
            return fields;
        }
        start = space + 1;
    }
}

template <typename T> bool ParseInteger(std::string_view text, T& value) {
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end;
}

} // namespace

std::string EncodeAnswerText(std::string_view text) {
    std::string out = ":";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kFirstPrintable || byte == kDelete || c == '%') {
            out += '%';
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

bool DecodeAnswerText(std::string_view token, std::string& text) {
    if (token.empty() || token.front() != ':') {
        return false;
    }
    text.clear();
    for (std::size_t i = 1; i < token.size(); ++i) {
        const auto byte = static_cast<unsigned char>(token[i]);
        if (byte < kFirstPrintable || byte == kDelete) {
            return false;
        }
        if (token[i] != '%') {
            text += token[i];
            continue;
        }
        if (i + 2 >= token.size()) {
            return false;
        }
        const int high = HexValue(token[i + 1]);
        const int low = HexValue(token[i + 2]);
        if (high < 0 || low < 0) {
            return false;
        }
        text += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::string FormatResultLines(const TLibraryScanResult& result) {
    std::string out;
    const auto add = [&](const char* kind, const PlgListRecord& entry) {
        out += "entry ";
        out += kind;
        out += ' ' + std::to_string(entry.IsShell) + ' ' + std::to_string(entry.ShellID) + ' ' +
               std::to_string(entry.Inputs) + ' ' + std::to_string(entry.Outputs) + ' ' +
               std::to_string(entry.ProgramChunks) + ' ' + EncodeAnswerText(entry.PluginName) +
               '\n';
    };
    for (const PlgListRecord& entry : result.Instruments) {
        add("instrument", entry);
    }
    for (const PlgListRecord& entry : result.Effects) {
        add("effect", entry);
    }
    if (!result.Failure.empty()) {
        out += "failed " + EncodeAnswerText(result.Failure) + '\n';
    }
    return out;
}

std::string FormatStageLine(std::string_view stage) {
    return "stage " + std::string(stage) + '\n';
}

bool ParseResultLine(std::string_view line, const std::string& libraryFile,
                     const std::string& subFolder, TLibraryScanResult& result) {
    const std::vector<std::string_view> fields = Fields(line);
    if (fields[0] == "failed") {
        std::string why;
        if (fields.size() != 2 || !DecodeAnswerText(fields[1], why) || why.empty() ||
            !result.Failure.empty()) {
            return false;
        }
        result.Failure = std::move(why);
        return true;
    }
    if (fields[0] != "entry" || fields.size() != kEntryFields + 1) {
        return false;
    }
    const bool instrument = fields[1] == "instrument";
    if (!instrument && fields[1] != "effect") {
        return false;
    }
    PlgListRecord entry;
    int isShell = 0;
    int chunks = 0;
    if (!ParseInteger(fields[2], isShell) || (isShell != 0 && isShell != 1) ||
        !ParseInteger(fields[3], entry.ShellID) || !ParseInteger(fields[4], entry.Inputs) ||
        !ParseInteger(fields[5], entry.Outputs) || !ParseInteger(fields[6], chunks) ||
        (chunks != 0 && chunks != 1) || !DecodeAnswerText(fields[7], entry.PluginName)) {
        return false;
    }
    // Shell entries are effects: nothing else could have written one as an instrument.
    if (instrument && isShell == 1) {
        return false;
    }
    entry.IsShell = static_cast<std::uint8_t>(isShell);
    entry.ProgramChunks = static_cast<std::uint8_t>(chunks);
    entry.LibraryFile = libraryFile;
    entry.SubFolder = subFolder;
    (instrument ? result.Instruments : result.Effects).push_back(std::move(entry));
    return true;
}

TProbeAnswer ParseProbeAnswer(std::string_view output, const std::string& libraryFile,
                              const std::string& subFolder) {
    TProbeAnswer answer;
    bool headerSeen = false;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t lineEnd = output.find('\n', start);
        if (lineEnd == std::string_view::npos) {
            // A last line without its end: the probe was cut off while writing it.
            return answer;
        }
        const std::string_view line = output.substr(start, lineEnd - start);
        start = lineEnd + 1;
        if (!headerSeen) {
            if (line != kProbeAnswerHeader) {
                return answer;
            }
            headerSeen = true;
            answer.Readable = true;
            continue;
        }
        if (answer.Complete) {
            answer.Readable = false;
            return answer;
        }
        if (line == "end") {
            answer.Complete = true;
        } else if (line.substr(0, 6) == "stage ") {
            answer.Stage = std::string(line.substr(6));
        } else if (!ParseResultLine(line, libraryFile, subFolder, answer.Result)) {
            answer.Readable = false;
            answer.Complete = false;
            return answer;
        }
    }
    return answer;
}

} // namespace peldor
