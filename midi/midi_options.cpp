#include "midi/midi_options.h"

#include "project/project_options.h"

namespace peldor {

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
    return filter == 2 ? options.UserFilter2[1].Load() : -1;
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

} // namespace peldor
