#include "midi/midi_options.h"

#if __has_include("project/project_options.h")
#include "project/project_options.h"
#define PELDOR_HAVE_PROJECT_OPTIONS 1
#else
#include "engine/relaxed.h"
#include <array>
#endif

namespace peldor {

#if PELDOR_HAVE_PROJECT_OPTIONS

int NoteNamingSchemeOption() noexcept {
    return ProjectOptions().NoteNamingScheme;
}

bool ProcessActiveSenseOption() noexcept {
    return ProjectOptions().ProcessActiveSense != 0;
}

std::int32_t UserFilterControllerOption(int filter) noexcept {
    const TProjectOptions& options = ProjectOptions();
    if (filter == 1) {
        return options.UserFilter1[1];
    }
    return filter == 2 ? options.UserFilter2[1] : -1;
}

bool MidiRemoteEnabledOption() noexcept {
    return ProjectOptions().MidiRemoteEnabled != 0;
}

std::int32_t RemotePortOption() noexcept {
    return ProjectOptions().RemotePort;
}

std::int32_t MatchRemoteCommandOption(TShortMessage message) noexcept {
    return ProjectOptions().MatchRemoteCommand(message.Status, message.Data1, message.Data2);
}

#else

// Interim defaults until the options object exists.
int NoteNamingSchemeOption() noexcept {
    return 1;
}
bool ProcessActiveSenseOption() noexcept {
    return false;
}
std::int32_t UserFilterControllerOption(int filter) noexcept {
    return filter == 1 ? 64 : filter == 2 ? 123 : -1;
}
bool MidiRemoteEnabledOption() noexcept {
    return true;
}
std::int32_t RemotePortOption() noexcept {
    return 0;
}
std::int32_t MatchRemoteCommandOption(TShortMessage) noexcept {
    return -1;
}

#endif

} // namespace peldor
