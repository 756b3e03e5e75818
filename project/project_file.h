#pragma once
// The project file: a binary, little-endian file without signature that holds the MIDI device
// choice, the strip table and mixer settings, the songs with their parts, connections, strip
// states and slot records, the current indices and naming counters, the options, and the
// window layout, in that order.
//
// Reading is strict and has two phases. ParseProjectFile checks every count, length and index
// while it builds a complete image of the file in memory, and touches nothing of the running
// program; a damaged file is refused with the offset and nature of the damage. Only an image
// that parsed completely is handed to ReadProject, which brings the running program in line
// with it. Saving writes the complete file into memory first and then replaces the file on
// disk atomically, so a failed save leaves the old file as it was.
//
// Everything here runs on the window thread (the tools and tests call it from their main
// thread).

#include "engine/strip_table.h"
#include "project/byte_codec.h"
#include "project/device_selection.h"
#include "project/project_model.h"
#include "project/project_options.h"
#include "project/window_layout.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace peldor {

// ---- Record sizes -------------------------------------------------------------------------------

inline constexpr std::size_t kDeviceSectionSize = 2 * kFileDeviceCount;
inline constexpr std::size_t kDescriptorRecordSize = 40;
inline constexpr int kLongNameWidth = 25;
inline constexpr int kShortNameWidth = 9;
inline constexpr std::size_t kMixerSettingsRecordSize = 25;
inline constexpr std::size_t kStripStateRecordSize = 55;
inline constexpr std::size_t kSongSlotRecordSize = 30;
/// A part slot record without its state bytes.
inline constexpr std::size_t kPartSlotRecordSize = 13;
/// A connection record without the bytes of its two texts.
inline constexpr std::size_t kConnectionRecordSize = 45;
inline constexpr std::size_t kIndicesRecordSize = 24;
inline constexpr std::size_t kOptionsRecordSize = 76;
inline constexpr std::size_t kAbsentWindowRecordSize = 1;
inline constexpr std::size_t kWindowRecordSize = 18;

/// Table index of the strip stored at file position 0-95: 0-87, then 89-94, then 88 (master),
/// then 95 (solo).
constexpr int StripAtFilePosition(int position) {
    if (position < kMasterStrip || position == kSoloStrip) {
        return position;
    }
    return position == kSoloStrip - 1 ? kMasterStrip : position + 1;
}

// ---- The file in memory -------------------------------------------------------------------------

/// Everything a project file holds, parsed and checked, not yet applied.
struct TProjectFileImage {
    /// Section 1 as stored (a non-zero byte selects the device).
    std::array<std::uint8_t, kFileDeviceCount> InputSelected{};
    std::array<std::uint8_t, kFileDeviceCount> OutputSelected{};
    /// Sections 2 and 3; descriptors in table-index order.
    std::array<TStripDescriptor, kStripCount> Descriptors;
    TMixerSettings MixerSettings;
    /// Sections 4 and 5: a project that belongs to no one yet.
    std::unique_ptr<TProject> Project;
    /// Section 6.
    std::int32_t CurrentSong = -1;
    std::int32_t CurrentPart = -1;
    std::int32_t CurrentConnection = -1;
    std::int32_t SongCounter = 0;
    std::int32_t PartCounter = 0;
    std::int32_t ConnectionCounter = 0;
    /// Section 7.
    TProjectOptions Options;
    /// Section 8.
    TWindowLayout WindowLayout{};
};

/// Parses a whole file (sections 1-8; bytes after section 8 are ignored). On damage returns
/// false with the offset and a description, and the image is left partly filled. Allocates
/// only for data the file actually holds. Touches no program state.
bool ParseProjectFile(std::span<const std::uint8_t> bytes, TProjectFileImage& image,
                      TFileDamage& damage);

/// Writes an image as a file (sections 1-8); an image without a project writes an empty one.
void WriteProjectFile(const TProjectFileImage& image, TByteBuffer& out);

// ---- Reading into and writing from the running program ----------------------------------------

/// Sections 1-7 from the running program: the device choice, StripTable, the open project
/// (a new empty one when none is open), the indices, counters and options.
void WriteProject(TByteWriter& writer);
/// Section 8 from ProjectLinks.Layout (every window absent without one).
void WriteWindowLayout(TByteWriter& writer);

/// Brings the running program in line with a parsed file: devices, strip table (and the test
/// oscillator), the project (which becomes the open project, replacing any other), indices,
/// counters and options, then the current song's slots and part state, the windows, and
/// CurrentStrips. Slots whose plugin is not installed are reported in one message box.
/// Consumes image.Project.
void ReadProject(TProjectFileImage& image);
/// Places the windows the image's layout records name.
void ReadWindowLayout(const TProjectFileImage& image);

/// Reads and parses a file; false with a message naming the file, the damage and its offset.
bool LoadProjectImage(const std::filesystem::path& path, TProjectFileImage& image,
                      std::string& message);
/// Opens a project file: parses it completely first, and only then closes the open project
/// (through ProjectLinks.Shell, else DestroyProject) and reads the file into the program. On
/// failure returns false with a message for the user and changes nothing.
bool LoadProjectFile(const std::filesystem::path& path, std::string& message);
/// Saves the open project and window layout to path, replacing the file atomically. On
/// failure returns false with a message; the file on disk is unchanged.
bool SaveProjectFile(const std::filesystem::path& path, std::string& message);
/// Save-as: stores the absolute path in the project's FileName first (and restores the old
/// name when the save fails), then saves.
bool SaveProjectFileAs(const std::filesystem::path& path, std::string& message);

} // namespace peldor
