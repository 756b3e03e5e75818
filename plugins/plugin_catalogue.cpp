#include "plugins/plugin_catalogue.h"

#include "i18n/plugins_strings.h"

namespace peldor {

TPluginCatalogue InstrumentCatalogue;
TPluginCatalogue EffectCatalogue;
TPluginMenu InstrumentMenu;
TPluginMenu EffectMenu;

namespace {

TPluginMenu BuildMenu(const TPluginCatalogue& entries, ResourceStringId noneCaption,
                      bool groupShells) {
    TPluginMenu menu;
    menu.Items.push_back(TMenuItem{LoadResString(noneCaption), kMenuTagNone, {}});
    menu.Items.push_back(TMenuItem{"-", kMenuTagSeparator, {}});
    // Index of the most recently created submenu in menu.Items, -1 before the first.
    std::ptrdiff_t lastSubmenu = -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PlgListRecord& entry = entries[i];
        const std::string group = groupShells && entry.IsShell == 1
                                      ? ShellGroupCaption(entry.LibraryFile)
                                      : entry.SubFolder;
        TMenuItem item{entry.PluginName, static_cast<std::int32_t>(i), {}};
        if (group.empty()) {
            menu.Items.push_back(std::move(item));
        } else if (lastSubmenu >= 0 && menu.Items[lastSubmenu].Caption == group) {
            menu.Items[lastSubmenu].Items.push_back(std::move(item));
        } else {
            menu.Items.push_back(TMenuItem{group, kMenuTagSubmenu, {std::move(item)}});
            lastSubmenu = static_cast<std::ptrdiff_t>(menu.Items.size()) - 1;
        }
    }
    return menu;
}

} // namespace

TPluginMenu BuildInstrumentMenu(const TPluginCatalogue& instruments) {
    return BuildMenu(instruments, kStrNoInstrument, false);
}

TPluginMenu BuildEffectMenu(const TPluginCatalogue& effects) {
    return BuildMenu(effects, kStrNoEffect, true);
}

std::string ShellGroupCaption(const std::string& libraryPath) {
    const std::size_t slash = libraryPath.find_last_of('/');
    const std::string name =
        slash == std::string::npos ? libraryPath : libraryPath.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    const std::string base = dot != std::string::npos && dot >= 1 ? name.substr(0, dot) : name;
    return "[" + base + "]";
}

} // namespace peldor
