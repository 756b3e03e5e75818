#include "app/show_builder.h"

#include "engine/strip_table.h"
#include "project/atomic_file.h"
#include "project/project_file.h"

namespace peldor {

std::vector<std::uint8_t> BuildShowFile(const TShowDescription& show) {
    TProjectFileImage image;
    image.InputSelected[0] = 1;
    image.Descriptors = StripTable.Descriptors;
    image.MixerSettings = StripTable.MixerSettings;
    if (show.TestTone) {
        image.MixerSettings.oscactive = 1;
        image.MixerSettings.oscfrq = 1;
        image.MixerSettings.osctomain = 1;
    }

    auto project = std::make_unique<TProject>();
    project->Name = show.SongName;
    auto song = std::make_unique<TSong>(show.SongName);
    TPluginSettings& slot = song->SlotSettings[0];
    slot.PluginIndex = show.InstrumentIndex;
    slot.IsInstrument = 1;
    TPluginSettings& effect = song->SlotSettings[kInstrumentSlotCount];
    effect.PluginIndex = show.EffectIndex;
    effect.IsInstrument = 0;
    effect.EditorVisible = show.EffectIndex >= 0 ? 1 : 0;
    for (const TShowPart& description : show.Parts) {
        auto part = std::make_unique<TPart>(description.Name);
        (*part->Strips)[kFirstInstrumentStrip].Level = show.InstrumentLevel;
        (*part->Strips)[kMasterStrip].Level = show.MasterLevel;
        auto connection = std::make_unique<TConnection>("keyboard to VSTi 1");
        connection->SetInPort(0);
        connection->InChannel = kOmniChannel;
        connection->SetOutPort(kFirstInstrumentPort);
        connection->OutChannel = 0;
        connection->Transpose = description.Transpose;
        connection->Position = 0;
        part->AppendConnection(std::move(connection));
        part->LastConnection = 0;
        song->AppendPart(std::move(part));
    }
    for (std::int32_t i = 0; i < song->PartCount(); ++i) {
        song->PartAt(i)->SyncFromSong();
    }
    project->AppendSong(std::move(song));
    image.Project = std::move(project);

    const bool hasParts = !show.Parts.empty();
    image.CurrentSong = 0;
    image.CurrentPart = hasParts ? 0 : -1;
    image.CurrentConnection = hasParts ? 0 : -1;
    image.SongCounter = 1;
    image.PartCounter = static_cast<std::int32_t>(show.Parts.size());
    image.ConnectionCounter = static_cast<std::int32_t>(show.Parts.size());
    if (show.NextPartController >= 0) {
        constexpr std::int16_t kControlChange = 0xB0;
        TRemoteCommand& next = image.Options.RemoteCommands[kRemoteNextPart];
        next.Pattern[0] = kControlChange;
        next.Pattern[1] = static_cast<std::int16_t>(show.NextPartController);
        next.Pattern[2] = kPatternAny;
        image.Options.RemotePort = 0;
        image.Options.MidiRemoteEnabled = 1;
    }

    TByteBuffer bytes;
    WriteProjectFile(image, bytes);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

bool WriteShowFile(const std::filesystem::path& path, const TShowDescription& show,
                   std::string& error) {
    const std::vector<std::uint8_t> bytes = BuildShowFile(show);
    return WriteFileAtomically(path, bytes, error);
}

} // namespace peldor
