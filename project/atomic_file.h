#pragma once
// Replacing a file without ever leaving a mixture of old and new contents on disk.

#include "project/byte_codec.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace peldor {

/// Writes bytes to a new file beside path, flushes it to disk, renames it over path and
/// flushes the folder. A symbolic link at path is followed, so the file it points at is
/// replaced. An existing file's permission bits are kept. On failure returns false with the
/// system's reason in error, removes the new file and leaves the old one untouched. Blocks on
/// disk I/O: not for the audio or MIDI threads.
bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         std::string& error);

/// Reads a whole file. False with the system's reason in error.
bool ReadWholeFile(const std::filesystem::path& path, TByteBuffer& bytes, std::string& error);

} // namespace peldor
