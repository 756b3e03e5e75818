#include "i18n/pe_resources.h"

#include "i18n/utf16.h"

#include <fstream>
#include <optional>
#include <set>

namespace peldor {
namespace {

constexpr std::uint16_t kDosMagic = 0x5A4D;      // "MZ"
constexpr std::uint32_t kPeSignature = 0x4550;   // "PE\0\0"
constexpr std::uint32_t kDosLfanewOffset = 0x3C; // where the DOS header keeps the PE offset
constexpr std::uint32_t kCoffHeaderSize = 20;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
/// Offsets of NumberOfRvaAndSizes in the optional header; the data directories follow it.
constexpr std::uint32_t kPe32DirectoryCountOffset = 92;
constexpr std::uint32_t kPe32PlusDirectoryCountOffset = 108;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kResourceDirectorySize = 16;
constexpr std::uint32_t kResourceEntrySize = 8;
constexpr std::uint32_t kResourceDataEntrySize = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;
/// The PE format allows at most this many sections.
constexpr std::uint32_t kMaxSections = 96;
/// A name longer than any class name is not a language file's.
constexpr std::uint32_t kMaxNameUnits = 1024;
/// Resource data copied beyond twice the tree's size: a little room for shared empty data.
constexpr std::uint64_t kCopySlack = 65536;

struct TSection {
    std::uint32_t VirtualAddress;
    std::uint32_t VirtualSize;
    std::uint32_t RawSize;
    std::uint32_t RawOffset;
};

/// Bounds-checked little-endian reads: every read of the file goes through this.
class TReader {
public:
    explicit TReader(std::span<const std::uint8_t> theBytes) : bytes(theBytes) {}

    bool Has(std::uint64_t offset, std::uint64_t size) const {
        return offset <= bytes.size() && size <= bytes.size() - offset;
    }
    std::optional<std::uint16_t> U16(std::uint64_t offset) const {
        if (!Has(offset, 2)) {
            return std::nullopt;
        }
        return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
    }
    std::optional<std::uint32_t> U32(std::uint64_t offset) const {
        if (!Has(offset, 4)) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(bytes[offset]) |
               (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
               (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
               (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
    }
    std::span<const std::uint8_t> Slice(std::uint64_t offset, std::uint64_t size) const {
        return bytes.subspan(offset, size);
    }

private:
    std::span<const std::uint8_t> bytes;
};

/// The resource tree lives in one section; every offset in it is relative to the tree's start.
class TResourceTree {
public:
    TResourceTree(const TReader& theFile, const std::vector<TSection>& theSections,
                  std::uint64_t theStart, std::uint64_t theSize)
        : file(theFile), sections(theSections), start(theStart), size(theSize) {}

    bool Read(TPeResources& out, std::string& reason) {
        std::vector<TEntry> types;
        if (!ReadDirectory(0, types, reason)) {
            return false;
        }
        for (const TEntry& type : types) {
            if (type.IsNamed || type.Id != kRtRcData) {
                continue;
            }
            if (!type.IsDirectory) {
                reason = "the resource type RT_RCDATA has data instead of a directory";
                return false;
            }
            std::vector<TEntry> names;
            if (!ReadDirectory(type.Offset, names, reason)) {
                return false;
            }
            for (const TEntry& name : names) {
                if (!ReadResource(name, out, reason)) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    struct TEntry {
        bool IsNamed = false;
        std::string Name;
        std::uint32_t Id = 0;
        bool IsDirectory = false;
        std::uint32_t Offset = 0;
    };

    bool ReadDirectory(std::uint32_t offset, std::vector<TEntry>& entries, std::string& reason) {
        if (!visited.insert(offset).second) {
            reason = "the resource directory tree has a loop (directory at " +
                     std::to_string(offset) + " reached twice)";
            return false;
        }
        if (offset > size || size - offset < kResourceDirectorySize) {
            reason = "a resource directory at " + std::to_string(offset) +
                     " lies outside the resource section";
            return false;
        }
        const std::uint16_t namedCount = *file.U16(start + offset + 12);
        const std::uint16_t idCount = *file.U16(start + offset + 14);
        const std::uint64_t count = std::uint64_t{namedCount} + idCount;
        const std::uint64_t first = std::uint64_t{offset} + kResourceDirectorySize;
        if (count * kResourceEntrySize > size - first) {
            reason = "a resource directory at " + std::to_string(offset) + " claims " +
                     std::to_string(count) + " entries, more than the resource section holds";
            return false;
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t at = start + first + i * kResourceEntrySize;
            const std::uint32_t nameField = *file.U32(at);
            const std::uint32_t dataField = *file.U32(at + 4);
            TEntry entry;
            entry.IsNamed = (nameField & kHighBit) != 0;
            entry.IsDirectory = (dataField & kHighBit) != 0;
            entry.Offset = dataField & ~kHighBit;
            if (entry.IsNamed) {
                if (!ReadName(nameField & ~kHighBit, entry.Name, reason)) {
                    return false;
                }
            } else {
                entry.Id = nameField;
            }
            entries.push_back(std::move(entry));
        }
        return true;
    }

    bool ReadName(std::uint32_t offset, std::string& name, std::string& reason) {
        if (offset > size || size - offset < 2) {
            reason = "a resource name at " + std::to_string(offset) +
                     " lies outside the resource section";
            return false;
        }
        const std::uint16_t units = *file.U16(start + offset);
        if (units > kMaxNameUnits || std::uint64_t{units} * 2 > size - offset - 2) {
            reason = "a resource name at " + std::to_string(offset) + " of " +
                     std::to_string(units) + " characters runs past the resource section";
            return false;
        }
        name = UpperAscii(Utf16LeBytesToUtf8(file.Slice(start + offset + 2, units * 2u)));
        return true;
    }

    bool ReadResource(const TEntry& nameEntry, TPeResources& out, std::string& reason) {
        if (!nameEntry.IsDirectory) {
            reason = "a resource has data where its language directory belongs";
            return false;
        }
        std::vector<TEntry> languages;
        if (!ReadDirectory(nameEntry.Offset, languages, reason)) {
            return false;
        }
        if (languages.empty()) {
            return true;
        }
        // Of several languages the first one is used; all of them must still be sound.
        std::vector<std::uint8_t> firstData;
        for (std::size_t i = 0; i < languages.size(); ++i) {
            std::vector<std::uint8_t> data;
            if (!ReadData(languages[i], data, reason)) {
                return false;
            }
            if (i == 0) {
                firstData = std::move(data);
            }
        }
        if (nameEntry.IsNamed) {
            out.Named.emplace(nameEntry.Name, std::move(firstData));
        } else {
            out.Numbered.emplace(nameEntry.Id, std::move(firstData));
        }
        return true;
    }

    bool ReadData(const TEntry& entry, std::vector<std::uint8_t>& data, std::string& reason) {
        if (entry.IsDirectory) {
            reason = "a resource directory at " + std::to_string(entry.Offset) +
                     " sits where a resource's data belongs";
            return false;
        }
        if (entry.Offset > size || size - entry.Offset < kResourceDataEntrySize) {
            reason = "a resource data entry at " + std::to_string(entry.Offset) +
                     " lies outside the resource section";
            return false;
        }
        const std::uint32_t rva = *file.U32(start + entry.Offset);
        const std::uint32_t length = *file.U32(start + entry.Offset + 4);
        const std::optional<std::uint64_t> offset = RvaToOffset(rva, length);
        if (!offset) {
            reason = "resource data of " + std::to_string(length) + " bytes at address " +
                     std::to_string(rva) + " lies outside the file";
            return false;
        }
        // Entries may share data; copies beyond what the file could hold are refused, so a small
        // file cannot make the reader allocate without bound.
        copied += length;
        if (copied > maxCopied) {
            reason = "the resources refer to the same data far more often than a language file "
                     "does";
            return false;
        }
        const auto bytes = file.Slice(*offset, length);
        data.assign(bytes.begin(), bytes.end());
        return true;
    }

    std::optional<std::uint64_t> RvaToOffset(std::uint32_t rva, std::uint32_t length) const {
        for (const TSection& section : sections) {
            if (rva < section.VirtualAddress) {
                continue;
            }
            const std::uint64_t inSection = std::uint64_t{rva} - section.VirtualAddress;
            if (inSection + length <= section.RawSize) {
                const std::uint64_t offset = std::uint64_t{section.RawOffset} + inSection;
                if (file.Has(offset, length)) {
                    return offset;
                }
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    const TReader& file;
    const std::vector<TSection>& sections;
    std::uint64_t start;
    std::uint64_t size;
    std::set<std::uint32_t> visited;
    std::uint64_t copied = 0;
    std::uint64_t maxCopied = 2 * size + kCopySlack;
};

bool Refuse(std::string& reason, std::string text) {
    reason = std::move(text);
    return false;
}

bool ReadImage(const TReader& file, TPeResources& resources, std::string& reason) {
    if (file.U16(0) != kDosMagic) {
        return Refuse(reason, "not a PE file (no \"MZ\" header)");
    }
    const std::optional<std::uint32_t> peOffset = file.U32(kDosLfanewOffset);
    if (!peOffset) {
        return Refuse(reason, "the DOS header is cut short");
    }
    if (file.U32(*peOffset) != kPeSignature) {
        return Refuse(reason, "no PE signature at offset " + std::to_string(*peOffset));
    }
    const std::uint64_t coff = std::uint64_t{*peOffset} + 4;
    if (!file.Has(coff, kCoffHeaderSize)) {
        return Refuse(reason, "the file header is cut short");
    }
    const std::uint16_t sectionCount = *file.U16(coff + 2);
    const std::uint16_t optionalSize = *file.U16(coff + 16);
    const std::uint64_t optional = coff + kCoffHeaderSize;
    if (sectionCount > kMaxSections) {
        return Refuse(reason, "a section count of " + std::to_string(sectionCount) +
                                  " is more than a PE file may have");
    }
    if (!file.Has(optional, optionalSize)) {
        return Refuse(reason, "the optional header runs past the end of the file");
    }
    const std::optional<std::uint16_t> magic = file.U16(optional);
    std::uint32_t countOffset = 0;
    if (optionalSize >= 2 && magic == kPe32Magic) {
        countOffset = kPe32DirectoryCountOffset;
    } else if (optionalSize >= 2 && magic == kPe32PlusMagic) {
        countOffset = kPe32PlusDirectoryCountOffset;
    } else {
        return Refuse(reason, "the optional header is neither PE32 nor PE32+");
    }
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
    if (countOffset + 4 <= optionalSize) {
        const std::uint32_t directoryCount = *file.U32(optional + countOffset);
        const std::uint64_t directories = countOffset + 4;
        if (directories + std::uint64_t{directoryCount} * 8 > optionalSize) {
            return Refuse(reason, std::to_string(directoryCount) +
                                      " data directories do not fit in the optional header");
        }
        if (directoryCount > kResourceDirectoryIndex) {
            const std::uint64_t at = optional + directories + kResourceDirectoryIndex * 8;
            resourceRva = *file.U32(at);
            resourceSize = *file.U32(at + 4);
        }
    }

    const std::uint64_t table = optional + optionalSize;
    if (!file.Has(table, std::uint64_t{sectionCount} * kSectionHeaderSize)) {
        return Refuse(reason, "the section table runs past the end of the file");
    }
    std::vector<TSection> sections;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t at = table + std::uint64_t{i} * kSectionHeaderSize;
        TSection section{*file.U32(at + 12), *file.U32(at + 8), *file.U32(at + 16),
                         *file.U32(at + 20)};
        if (section.RawSize != 0 && !file.Has(section.RawOffset, section.RawSize)) {
            return Refuse(reason, "section " + std::to_string(i + 1) + "'s data (" +
                                      std::to_string(section.RawSize) + " bytes at offset " +
                                      std::to_string(section.RawOffset) +
                                      ") runs past the end of the file");
        }
        sections.push_back(section);
    }
    if (resourceRva == 0 && resourceSize == 0) {
        return true;
    }

    for (const TSection& section : sections) {
        if (resourceRva < section.VirtualAddress) {
            continue;
        }
        const std::uint64_t inSection = std::uint64_t{resourceRva} - section.VirtualAddress;
        if (inSection >= section.RawSize) {
            continue;
        }
        // The tree may be larger than the directory entry says (linkers round it); offsets in
        // it may reach to the end of its section's data.
        const std::uint64_t start = std::uint64_t{section.RawOffset} + inSection;
        const std::uint64_t size = section.RawSize - inSection;
        TResourceTree tree(file, sections, start, size);
        return tree.Read(resources, reason);
    }
    return Refuse(reason, "the resource directory (address " + std::to_string(resourceRva) +
                              ") lies in no section's data");
}

} // namespace

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool ReadPeResources(std::span<const std::uint8_t> file, TPeResources& resources,
                     std::string& reason) {
    resources = {};
    reason.clear();
    const TReader reader(file);
    if (!ReadImage(reader, resources, reason)) {
        resources = {};
        return false;
    }
    return true;
}

bool ReadPeResourceFile(const std::string& path, TPeResources& resources, std::string& reason) {
    resources = {};
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = "cannot open \"" + path + "\"";
        return false;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) {
        reason = "cannot read \"" + path + "\"";
        return false;
    }
    return ReadPeResources(bytes, resources, reason);
}

} // namespace peldor
