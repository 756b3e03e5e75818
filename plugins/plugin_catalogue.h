#pragma once
// The instrument and effect catalogues the plugin folder scan fills, and the two choice menus
// built from them. Projects and the slot loaders name a plugin by its index in a catalogue, so
// the order of the entries is the scan order and never changes after the scan.
//
// Window thread only.

#include <cstdint>
#include <string>
#include <vector>

namespace peldor {

/// One catalogue entry.
struct PlgListRecord {
    /// The plugin's effect name; the library's file name when that is empty; for a shell entry
    /// the sub-plugin's name.
    std::string PluginName;
    /// Full path of the library.
    std::string LibraryFile;
    /// The library's folder relative to the plugin folder, without leading or trailing
    /// separator; empty for a library directly in the plugin folder.
    std::string SubFolder;
    /// 1 for an entry standing for one sub-plugin of a shell library.
    std::uint8_t IsShell = 0;
    /// The sub-plugin's unique ID; -1 for other entries.
    std::int32_t ShellID = -1;
    std::int32_t Inputs = 0;
    std::int32_t Outputs = 0;
    /// 1 when the plugin keeps its programs as chunks (effFlagsProgramChunks).
    std::uint8_t ProgramChunks = 0;

    bool operator==(const PlgListRecord&) const = default;
};

using TPluginCatalogue = std::vector<PlgListRecord>;

extern TPluginCatalogue InstrumentCatalogue;
extern TPluginCatalogue EffectCatalogue;

/// Tags of the fixed menu items, and of submenu headings (which cannot be chosen).
inline constexpr std::int32_t kMenuTagNone = -1;
inline constexpr std::int32_t kMenuTagSeparator = -1000;
inline constexpr std::int32_t kMenuTagSubmenu = -2;

/// A menu item: a choosable item (tag = catalogue index, or kMenuTagNone), the separator "-",
/// or a submenu heading holding its items.
struct TMenuItem {
    std::string Caption;
    std::int32_t Tag = 0;
    std::vector<TMenuItem> Items;

    bool IsSubmenu() const noexcept { return Tag == kMenuTagSubmenu; }
    bool operator==(const TMenuItem&) const = default;
};

/// A pop-up menu as data; the GUI turns it into widgets and calls the windows' choice handlers
/// with the chosen item's tag.
struct TPluginMenu {
    std::vector<TMenuItem> Items;
    bool operator==(const TPluginMenu&) const = default;
};

extern TPluginMenu InstrumentMenu;
extern TPluginMenu EffectMenu;

/// "no instrument" (tag -1), the separator (tag -1000), then the instruments: a library directly
/// in the plugin folder as a top-level item; consecutive entries of one sub-folder grouped in a
/// submenu captioned with the sub-folder.
TPluginMenu BuildInstrumentMenu(const TPluginCatalogue& instruments);
/// The same for effects with "no effect", except that shell entries are grouped under
/// ShellGroupCaption(LibraryFile).
TPluginMenu BuildEffectMenu(const TPluginCatalogue& effects);

/// "[" + the library's file name without its last extension + "]". A dot at the very start
/// of the name does not count as an extension dot.
std::string ShellGroupCaption(const std::string& libraryPath);

} // namespace peldor
