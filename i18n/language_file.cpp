#include "i18n/language_file.h"

#include "i18n/utf16.h"

#include <algorithm>
#include <charconv>

namespace peldor {
namespace {

constexpr std::uint32_t kMaxResourceId = 0xFFFF;

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    return text;
}

bool Unescape(std::string_view text, std::string& out, std::string& reason) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 == text.size()) {
            reason = "a value ends with a lone \"\\\"";
            return false;
        }
        switch (text[++i]) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            reason = std::string("unknown escape \"\\") + text[i] + "\"";
            return false;
        }
    }
    return true;
}

std::string Escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

/// Splits "key = value" after the key: the value starts after "=" and one space.
bool SplitValue(std::string_view rest, std::string& value, std::string& reason) {
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') {
        reason = "\"=\" expected";
        return false;
    }
    rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    // Only a line end is trimmed: trailing spaces of a value are kept.
    if (!rest.empty() && rest.back() == '\r') {
        rest.remove_suffix(1);
    }
    return Unescape(rest, value, reason);
}

bool ParseLine(std::string_view line, TLanguageSource& source, std::string& reason) {
    if (line.front() == '#') {
        const std::string_view digits = line.substr(1);
        std::uint32_t id = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
        if (error != std::errc{} || end == digits.data()) {
            reason = "a resource-string identifier is expected after \"#\"";
            return false;
        }
        if (id == 0 || id > kMaxResourceId) {
            reason = "resource-string identifier " + std::to_string(id) + " is outside 1-65535";
            return false;
        }
        std::string value;
        if (!SplitValue(line.substr(static_cast<std::size_t>(end - line.data())), value, reason)) {
            return false;
        }
        if (!source.Strings.emplace(id, std::move(value)).second) {
            reason = "resource string " + std::to_string(id) + " is translated twice";
            return false;
        }
        return true;
    }
    const std::size_t classEnd = line.find_first_of(" \t");
    if (classEnd == std::string_view::npos) {
        reason = "\"CLASS path = value\" or \"#id = text\" expected";
        return false;
    }
    const std::string_view className = line.substr(0, classEnd);
    std::string_view rest = TrimLeft(line.substr(classEnd));
    const std::size_t pathEnd = rest.find_first_of(" \t=");
    if (pathEnd == 0 || pathEnd == std::string_view::npos) {
        reason = "a property path is expected after the class name";
        return false;
    }
    TTranslationEntry entry;
    entry.Path = std::string(rest.substr(0, pathEnd));
    if (!SplitValue(rest.substr(pathEnd), entry.Value, reason)) {
        return false;
    }
    source.Classes[UpperAscii(std::string(className))].push_back(std::move(entry));
    return true;
}

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    PutU16(out, at, value & 0xFFFF);
    PutU16(out, at + 2, value >> 16);
}

void PutU64(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value) {
    PutU32(out, at, static_cast<std::uint32_t>(value));
    PutU32(out, at + 4, static_cast<std::uint32_t>(value >> 32));
}

void AppendString(std::vector<std::uint8_t>& out, std::string_view utf8) {
    const std::string bytes = Utf8ToUtf16LeBytes(utf8);
    const std::size_t at = out.size();
    out.resize(at + 4);
    PutU32(out, at, static_cast<std::uint32_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// The module's fixed layout: headers in the first file block, the resource section at the
// first page of the image.
constexpr std::size_t kPeHeaderOffset = 0x40;
constexpr std::size_t kOptionalHeaderSize = 240; // PE32+ with 16 data directories
constexpr std::size_t kFileAlignment = 0x200;
constexpr std::size_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kResourceRva = 0x1000;
constexpr std::uint64_t kImageBase = 0x10000000;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kDllCharacteristics = 0x2022;       // executable image, large address, DLL
constexpr std::uint32_t kResourceSectionFlags = 0x40000040; // initialised data, readable
constexpr std::uint16_t kSubsystemWindowsGui = 2;
constexpr std::uint32_t kDirectoryFlag = 0x80000000u;

/// The resource section: root (one type), the RT_RCDATA directory, one language directory per
/// resource, the data entries, the names, then the data.
std::vector<std::uint8_t> BuildResourceSection(const TLanguageSource& source,
                                               std::uint16_t languageId) {
    struct TItem {
        bool Named;
        std::u16string Name;
        std::uint32_t Id;
        std::vector<std::uint8_t> Data;
    };
    std::vector<TItem> items;
    for (const auto& [name, entries] : source.Classes) {
        items.push_back({true, Utf8ToUtf16(name), 0, EncodeTranslationEntries(entries)});
    }
    std::sort(items.begin(), items.end(),
              [](const TItem& a, const TItem& b) { return a.Name < b.Name; });
    for (const auto& [id, text] : source.Strings) {
        const std::string bytes = Utf8ToUtf16LeBytes(text);
        items.push_back({false, {}, id, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
    }
    const std::size_t namedCount = source.Classes.size();
    const std::size_t idCount = source.Strings.size();

    const std::size_t root = 0;
    const std::size_t typeDir = root + 16 + 8;
    const std::size_t languageDirs = typeDir + 16 + 8 * items.size();
    const std::size_t dataEntries = languageDirs + (16 + 8) * items.size();
    std::size_t next = dataEntries + 16 * items.size();
    std::vector<std::size_t> nameOffsets(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].Named) {
            nameOffsets[i] = next;
            next += 2 + 2 * items[i].Name.size();
        }
    }
    std::vector<std::size_t> dataOffsets(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        next = AlignUp(next, 8);
        dataOffsets[i] = next;
        next += items[i].Data.size();
    }
    std::vector<std::uint8_t> out(next, 0);

    PutU16(out, root + 14, 1);
    PutU32(out, root + 16, kRtRcData);
    PutU32(out, root + 20, kDirectoryFlag | static_cast<std::uint32_t>(typeDir));

    PutU16(out, typeDir + 12, static_cast<std::uint32_t>(namedCount));
    PutU16(out, typeDir + 14, static_cast<std::uint32_t>(idCount));
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::size_t entry = typeDir + 16 + 8 * i;
        const std::size_t languageDir = languageDirs + 24 * i;
        PutU32(out, entry,
               items[i].Named ? kDirectoryFlag | static_cast<std::uint32_t>(nameOffsets[i])
                              : items[i].Id);
        PutU32(out, entry + 4, kDirectoryFlag | static_cast<std::uint32_t>(languageDir));

        PutU16(out, languageDir + 14, 1);
        PutU32(out, languageDir + 16, languageId);
        const std::size_t dataEntry = dataEntries + 16 * i;
        PutU32(out, languageDir + 20, static_cast<std::uint32_t>(dataEntry));

        PutU32(out, dataEntry, kResourceRva + static_cast<std::uint32_t>(dataOffsets[i]));
        PutU32(out, dataEntry + 4, static_cast<std::uint32_t>(items[i].Data.size()));

        if (items[i].Named) {
            PutU16(out, nameOffsets[i], static_cast<std::uint32_t>(items[i].Name.size()));
            for (std::size_t c = 0; c < items[i].Name.size(); ++c) {
                PutU16(out, nameOffsets[i] + 2 + 2 * c, items[i].Name[c]);
            }
        }
        std::copy(items[i].Data.begin(), items[i].Data.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(dataOffsets[i]));
    }
    return out;
}

} // namespace

bool ParseLanguageSource(std::string_view text, TLanguageSource& source, std::string& reason) {
    source = {};
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (lineNumber == 1 && line.starts_with("\xEF\xBB\xBF")) {
            reason = "line 1: a byte order mark is not expected (the file is UTF-8)";
            return false;
        }
        const std::string_view trimmed = TrimRight(TrimLeft(line));
        if (trimmed.empty() || trimmed.front() == ';') {
            continue;
        }
        std::string why;
        if (!ParseLine(TrimLeft(line), source, why)) {
            reason = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        }
    }
    return true;
}

std::string FormatLanguageSource(const TLanguageSource& source) {
    std::string out;
    for (const auto& [name, entries] : source.Classes) {
        for (const TTranslationEntry& entry : entries) {
            out += name + " " + entry.Path + " = " + Escape(entry.Value) + "\n";
        }
    }
    for (const auto& [id, text] : source.Strings) {
        out += "#" + std::to_string(id) + " = " + Escape(text) + "\n";
    }
    return out;
}

bool CanFormatLanguageSource(const TLanguageSource& source, std::string& reason) {
    const auto plain = [](std::string_view text) {
        return !text.empty() && text.find_first_of(" \t\r\n\v\f=") == std::string_view::npos;
    };
    for (const auto& [name, entries] : source.Classes) {
        if (!plain(name) || name.front() == '#' || name.front() == ';' ||
            name.starts_with("\xEF\xBB\xBF")) {
            reason = "the class name \"" + name + "\" has no readable form";
            return false;
        }
        for (const TTranslationEntry& entry : entries) {
            if (!plain(entry.Path)) {
                reason = "the path \"" + entry.Path + "\" of " + name + " has no readable form";
                return false;
            }
        }
    }
    for (const auto& [id, text] : source.Strings) {
        if (id == 0 || id > kMaxResourceId) {
            reason = "resource string " + std::to_string(id) + " is outside 1-65535";
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> EncodeTranslationEntries(const std::vector<TTranslationEntry>& entries) {
    std::vector<std::uint8_t> out;
    for (const TTranslationEntry& entry : entries) {
        AppendString(out, entry.Path);
        AppendString(out, entry.Value);
    }
    return out;
}

bool DecodeTranslationEntries(std::span<const std::uint8_t> data,
                              std::vector<TTranslationEntry>& entries, std::string& reason) {
    entries.clear();
    std::size_t at = 0;
    const auto readString = [&](std::string& text) {
        if (data.size() - at < 4) {
            reason = "an entry is cut short at byte " + std::to_string(at);
            return false;
        }
        const std::uint32_t length = static_cast<std::uint32_t>(data[at]) |
                                     (static_cast<std::uint32_t>(data[at + 1]) << 8) |
                                     (static_cast<std::uint32_t>(data[at + 2]) << 16) |
                                     (static_cast<std::uint32_t>(data[at + 3]) << 24);
        at += 4;
        if (length % 2 != 0 || length > data.size() - at) {
            reason = "a text of " + std::to_string(length) + " bytes at byte " +
                     std::to_string(at - 4) + " does not fit";
            return false;
        }
        text = Utf16LeBytesToUtf8(data.subspan(at, length));
        at += length;
        return true;
    };
    while (at < data.size()) {
        TTranslationEntry entry;
        if (!readString(entry.Path) || !readString(entry.Value)) {
            return false;
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

std::vector<std::uint8_t> BuildLanguageModule(const TLanguageSource& source,
                                              std::uint16_t languageId) {
    const std::vector<std::uint8_t> section = BuildResourceSection(source, languageId);
    const std::size_t rawSize = AlignUp(std::max<std::size_t>(section.size(), 1), kFileAlignment);
    const std::size_t headersSize = kFileAlignment;
    std::vector<std::uint8_t> out(headersSize + rawSize, 0);

    out[0] = 'M';
    out[1] = 'Z';
    PutU32(out, 0x3C, kPeHeaderOffset);
    const std::size_t pe = kPeHeaderOffset;
    out[pe] = 'P';
    out[pe + 1] = 'E';
    const std::size_t coff = pe + 4;
    PutU16(out, coff, kMachineAmd64);
    PutU16(out, coff + 2, 1);
    PutU16(out, coff + 16, kOptionalHeaderSize);
    PutU16(out, coff + 18, kDllCharacteristics);

    const std::size_t opt = coff + 20;
    PutU16(out, opt, 0x20B);
    PutU32(out, opt + 8, static_cast<std::uint32_t>(rawSize)); // SizeOfInitializedData
    PutU32(out, opt + 20, kResourceRva);                       // BaseOfCode
    PutU64(out, opt + 24, kImageBase);
    PutU32(out, opt + 32, kSectionAlignment);
    PutU32(out, opt + 36, kFileAlignment);
    PutU16(out, opt + 40, 4); // operating system version 4.0
    PutU16(out, opt + 48, 4); // subsystem version 4.0
    PutU32(out, opt + 56,
           static_cast<std::uint32_t>(kResourceRva + AlignUp(section.size(), kSectionAlignment)));
    PutU32(out, opt + 60, static_cast<std::uint32_t>(headersSize));
    PutU16(out, opt + 68, kSubsystemWindowsGui);
    PutU64(out, opt + 72, 0x100000); // stack reserve
    PutU64(out, opt + 80, 0x1000);   // stack commit
    PutU64(out, opt + 88, 0x100000); // heap reserve
    PutU64(out, opt + 96, 0x1000);   // heap commit
    PutU32(out, opt + 108, 16);      // data directories
    PutU32(out, opt + 112 + 8 * 2, kResourceRva);
    PutU32(out, opt + 112 + 8 * 2 + 4, static_cast<std::uint32_t>(section.size()));

    const std::size_t header = opt + kOptionalHeaderSize;
    const char name[] = ".rsrc";
    std::copy(name, name + 5, out.begin() + static_cast<std::ptrdiff_t>(header));
    PutU32(out, header + 8, static_cast<std::uint32_t>(section.size()));
    PutU32(out, header + 12, kResourceRva);
    PutU32(out, header + 16, static_cast<std::uint32_t>(rawSize));
    PutU32(out, header + 20, static_cast<std::uint32_t>(headersSize));
    PutU32(out, header + 36, kResourceSectionFlags);

    std::copy(section.begin(), section.end(),
              out.begin() + static_cast<std::ptrdiff_t>(headersSize));
    return out;
}

bool LanguageSourceFromResources(const TPeResources& resources, TLanguageSource& source,
                                 std::string& reason) {
    source = {};
    for (const auto& [name, data] : resources.Named) {
        std::string why;
        if (!DecodeTranslationEntries(data, source.Classes[name], why)) {
            reason = "resource " + name + ": " + why;
            return false;
        }
    }
    for (const auto& [id, data] : resources.Numbered) {
        if (data.size() % 2 != 0) {
            reason = "resource string " + std::to_string(id) + " has an odd byte count";
            return false;
        }
        source.Strings.emplace(id, Utf16LeBytesToUtf8(data));
    }
    return true;
}

} // namespace peldor
