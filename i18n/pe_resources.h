#pragma once
// Reader of the RT_RCDATA resources of a PE file (a Windows resource module, as language files
// are). Only what a language file needs is read: the headers, the section table and the
// resource directory tree (type, name, language). Every file is untrusted: an offset, size or
// count that points outside the file or its sections refuses the whole file with a reason, and
// nothing is ever read outside the given bytes. Plain C++, any thread.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace peldor {

/// Resource type of the language files' resources.
inline constexpr std::uint32_t kRtRcData = 10;

/// The RT_RCDATA resources of a module, copied out of the file.
struct TPeResources {
    /// Resources with a name, keyed by the name in upper case (UTF-8); names compare without
    /// regard to case, as the platform's resource lookup does.
    std::map<std::string, std::vector<std::uint8_t>> Named;
    /// Resources with an integer identifier.
    std::map<std::uint32_t, std::vector<std::uint8_t>> Numbered;
};

/// Reads the RT_RCDATA resources of a PE image. Returns false with a reason when the file is
/// not a PE file or is damaged; `resources` is then left empty. Of several languages of one
/// resource the first in the file is taken. A module without resources reads as empty.
bool ReadPeResources(std::span<const std::uint8_t> file, TPeResources& resources,
                     std::string& reason);

/// Reads a file from disk and its resources; the reason names I/O errors too.
bool ReadPeResourceFile(const std::string& path, TPeResources& resources, std::string& reason);

/// Upper case of ASCII letters only: resource names of class names are ASCII.
std::string UpperAscii(std::string text);

} // namespace peldor
