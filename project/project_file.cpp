#include "project/project_file.h"

#include "engine/processor.h"
#include "i18n/common_strings.h"
#include "i18n/message_box.h"
#include "i18n/project_strings.h"
#include "project/atomic_file.h"
#include "project/project_links.h"
#include "project/project_views.h"

#include <algorithm>
#include <limits>

namespace peldor {

namespace {

// Smallest possible records, for judging whether a count can be true.
constexpr std::size_t kSlotRecordsMinSize = kSlotCount * kPartSlotRecordSize;
constexpr std::size_t kPartMinSize =
    4 + 4 + kStripCount * kStripStateRecordSize + kSlotRecordsMinSize;
constexpr std::size_t kStringMinSize = 4;
constexpr std::size_t kSongMinSize = 3 * kStringMinSize + 4 + 4 + kSlotCount * kSongSlotRecordSize;
constexpr std::size_t kConnectionMinSize = kConnectionRecordSize + 2 * kStringMinSize;

[[noreturn]] void Damage(std::size_t offset, ResourceStringId id, std::int64_t value) {
    TByteReader::Fail(offset, FormatText(LoadResString(id), {std::to_string(value)}));
}

std::int32_t RangedI32(TByteReader& reader, std::int32_t low, std::int32_t high,
                       ResourceStringId id) {
    const std::size_t at = reader.Offset();
    const std::int32_t value = reader.I32();
    if (value < low || value > high) {
        Damage(at, id, value);
    }
    return value;
}

std::uint8_t FlagByte(TByteReader& reader, ResourceStringId id) {
    const std::size_t at = reader.Offset();
    const std::uint8_t value = reader.U8();
    if (value > 1) {
        Damage(at, id, value);
    }
    return value;
}

// Reads a count whose records take at least recordSize bytes each. A count the rest of the
// file cannot hold is refused before anything is allocated for it.
std::int32_t Count(TByteReader& reader, std::size_t recordSize, std::int32_t limit,
                   ResourceStringId id) {
    const std::size_t at = reader.Offset();
    const std::int32_t count = reader.I32();
    if (count < 0 || count > limit) {
        Damage(at, id, count);
    }
    const std::size_t needed = static_cast<std::size_t>(count) * recordSize;
    if (needed > reader.Remaining()) {
        TByteReader::Fail(at, FormatText(LoadResString(kStrDamageEndsEarly),
                                         {std::to_string(needed - reader.Remaining())}));
    }
    return count;
}

// ---- Readers ------------------------------------------------------------------------------------

void ReadDescriptor(TByteReader& reader, TStripDescriptor& d) {
    d.Code1 = reader.U8();
    d.Code2 = reader.U8();
    d.Code3 = reader.U8();
    d.Code4 = reader.U8();
    d.LongName = reader.ShortString(kLongNameWidth);
    d.ShortName = reader.ShortString(kShortNameWidth);
    d.Code5 = reader.U8();
    d.Code6 = reader.U8();
}

void ReadMixerSettings(TByteReader& reader, TMixerSettings& m) {
    m.oscactive = reader.U8();
    m.oscsine = reader.U8();
    m.oscfrq = reader.U8();
    m.oscx4 = reader.U8();
    m.osctomain = reader.U8();
    m.osctosolo = reader.U8();
    m.osctomon1 = reader.U8();
    m.osctomon2 = reader.U8();
    m.osctoaux1 = reader.U8();
    m.osctoaux2 = reader.U8();
    m.osctoaux3 = reader.U8();
    m.osctoaux4 = reader.U8();
    m.osclevel = reader.F32();
    m.meterspostinputs = reader.U8();
    m.meterspostvsti = reader.U8();
    m.meterspostvst = reader.U8();
    m.meterspostoutputs = reader.U8();
    m.sololevel = reader.F32();
    m.addmode = reader.U8();
}

void ReadStripState(TByteReader& reader, TStripState& s) {
    s.Mute = reader.U8();
    s.SoloMute = reader.U8();
    s.Solo = reader.U8();
    s.Level = reader.F32();
    s.Pan = reader.F32();
    for (auto& send : s.MonSend) {
        send = reader.F32();
    }
    for (auto& send : s.AuxSend) {
        send = reader.F32();
    }
    s.Reverb = reader.I32();
    s.Chorus = reader.I32();
    for (auto& reserved : s.Reserved1) {
        reserved = reader.I32();
    }
    s.MeterL = reader.F32();
}

std::unique_ptr<TConnection> ReadConnection(TByteReader& reader) {
    auto c = std::make_unique<TConnection>(reader.String());
    c->SetInPort(RangedI32(reader, 0, kInPortCount - 1, kStrDamageInPort));
    c->InChannel = RangedI32(reader, 0, kOmniChannel, kStrDamageInChannel);
    c->PassNote = reader.U8();
    c->PassPolyPressure = reader.U8();
    c->PassController = reader.U8();
    c->PassProgramChange = reader.U8();
    c->PassAftertouch = reader.U8();
    c->PassPitchbend = reader.U8();
    c->PassUser1 = reader.U8();
    c->PassUser2 = reader.U8();
    c->Enabled = reader.U8();
    c->Program = reader.I32();
    c->ProgramEnabled = reader.U8();
    c->ProgramName = reader.String();
    c->BankHi = reader.U8();
    c->BankHiEnabled = reader.U8();
    c->BankLo = reader.U8();
    c->BankLoEnabled = reader.U8();
    c->Volume = reader.U8();
    c->VolumeEnabled = reader.U8();
    c->Pan = reader.U8();
    c->PanEnabled = reader.U8();
    c->Transpose = static_cast<std::int8_t>(reader.U8());
    c->RangeHi = reader.U8();
    c->RangeLo = reader.U8();
    c->SetOutPort(RangedI32(reader, 0, kOutPortCount - 1, kStrDamageOutPort));
    c->OutChannel = RangedI32(reader, 0, kMultiChannel, kStrDamageOutChannel);
    c->Position = reader.I32();
    return c;
}

void ReadPartSlot(TByteReader& reader, TPluginSettings& slot) {
    slot.ProgramNr = reader.I32();
    slot.ProgramCategory = reader.I32();
    slot.HasState = FlagByte(reader, kStrDamageStateFlag);
    const std::size_t at = reader.Offset();
    slot.StateSize = reader.I32();
    if (slot.StateSize < 0 ||
        (slot.HasState && static_cast<std::size_t>(slot.StateSize) > reader.Remaining())) {
        Damage(at, kStrDamageStateSize, slot.StateSize);
    }
    if (slot.HasState && slot.StateSize > 0) {
        const auto data = reader.Bytes(static_cast<std::size_t>(slot.StateSize));
        slot.StateData.assign(data.begin(), data.end());
    }
}

void ReadSongSlot(TByteReader& reader, TPluginSettings& slot) {
    slot.PluginIndex =
        RangedI32(reader, -1, std::numeric_limits<std::int32_t>::max(), kStrDamagePluginIndex);
    slot.IsInstrument = reader.U8();
    slot.Reserved1 = reader.I32();
    slot.Reserved2 = reader.I32();
    slot.NumInputs = reader.I32();
    slot.NumOutputs = reader.I32();
    slot.EditorVisible = reader.U8();
    slot.EditorLeft = reader.I32();
    slot.EditorTop = reader.I32();
}

std::unique_ptr<TPart> ReadPart(TByteReader& reader) {
    auto part = std::make_unique<TPart>(reader.String());
    const std::int32_t connections =
        Count(reader, kConnectionMinSize, kMaxConnections, kStrDamageConnectionCount);
    for (std::int32_t i = 0; i < connections; ++i) {
        part->AppendConnection(ReadConnection(reader));
    }
    reader.Need(kStripCount * kStripStateRecordSize);
    for (int position = 0; position < kStripCount; ++position) {
        ReadStripState(reader, (*part->Strips)[StripAtFilePosition(position)]);
    }
    for (auto& slot : part->SlotStates) {
        ReadPartSlot(reader, slot);
    }
    return part;
}

std::unique_ptr<TSong> ReadSong(TByteReader& reader) {
    auto song = std::make_unique<TSong>(reader.String());
    song->Composer = reader.String();
    song->Tempo = reader.F32();
    song->Key = reader.String();
    const std::int32_t parts =
        Count(reader, kPartMinSize, std::numeric_limits<std::int32_t>::max(), kStrDamagePartCount);
    for (std::int32_t i = 0; i < parts; ++i) {
        song->AppendPart(ReadPart(reader));
    }
    for (auto& slot : song->SlotSettings) {
        ReadSongSlot(reader, slot);
    }
    // The part slot records hold only the part fields; the plugin identities come from the
    // song, as they do before every capture and apply.
    for (std::int32_t i = 0; i < parts; ++i) {
        song->PartAt(i)->SyncFromSong();
    }
    return song;
}

void ReadPattern(TByteReader& reader, TMidiPattern& pattern) {
    for (auto& value : pattern) {
        value = reader.I16();
    }
}

void ReadOptions(TByteReader& reader, TProjectOptions& o) {
    o.NoteNamingScheme = reader.U8();
    o.ProcessActiveSense = reader.U8();
    o.SendAllNotesOffOnChange = reader.U8();
    ReadPattern(reader, o.UserFilter1);
    ReadPattern(reader, o.UserFilter2);
    o.HotkeysEnabled = reader.U8();
    o.MidiRemoteEnabled = reader.U8();
    o.RemotePort = reader.I32();
    for (auto& command : o.RemoteCommands) {
        command.Hotkey = reader.I16();
        ReadPattern(reader, command.Pattern);
    }
    o.Epsilon = reader.F32();
    o.DecimalSeparator = reader.U8();
    o.ThousandSeparator = reader.U8();
    o.AudioThreadPriority = reader.I32();
    o.SineAccuracy = reader.I32();
    o.PinkNoise = reader.U8();
}

void ReadLayoutRecords(TByteReader& reader, TWindowLayout& layout) {
    for (auto& record : layout) {
        record = TWindowLayoutRecord{};
        record.Exists = FlagByte(reader, kStrDamageWindowFlag);
        if (record.Exists) {
            record.Left = reader.I32();
            record.Top = reader.I32();
            record.Width = reader.I32();
            record.Height = reader.I32();
            record.Visible = reader.U8();
        }
    }
}

// ---- Writers ------------------------------------------------------------------------------------

// What the writer needs, wherever it comes from (the running program or an image).
struct FileSource {
    std::array<std::uint8_t, kFileDeviceCount> inputs{};
    std::array<std::uint8_t, kFileDeviceCount> outputs{};
    const std::array<TStripDescriptor, kStripCount>* descriptors = nullptr;
    const TMixerSettings* mixer = nullptr;
    const TProject* project = nullptr;
    std::array<std::int32_t, 6> indices{};
    const TProjectOptions* options = nullptr;
};

void WriteDescriptor(TByteWriter& w, const TStripDescriptor& d) {
    w.U8(d.Code1);
    w.U8(d.Code2);
    w.U8(d.Code3);
    w.U8(d.Code4);
    w.ShortString(d.LongName, kLongNameWidth);
    w.ShortString(d.ShortName, kShortNameWidth);
    w.U8(d.Code5);
    w.U8(d.Code6);
}

void WriteMixerSettings(TByteWriter& w, const TMixerSettings& m) {
    w.U8(m.oscactive);
    w.U8(m.oscsine);
    w.U8(m.oscfrq);
    w.U8(m.oscx4);
    w.U8(m.osctomain);
    w.U8(m.osctosolo);
    w.U8(m.osctomon1);
    w.U8(m.osctomon2);
    w.U8(m.osctoaux1);
    w.U8(m.osctoaux2);
    w.U8(m.osctoaux3);
    w.U8(m.osctoaux4);
    w.F32(m.osclevel);
    w.U8(m.meterspostinputs);
    w.U8(m.meterspostvsti);
    w.U8(m.meterspostvst);
    w.U8(m.meterspostoutputs);
    w.F32(m.sololevel);
    w.U8(m.addmode);
}

void WriteStripState(TByteWriter& w, const TStripState& s) {
    w.U8(s.Mute);
    w.U8(s.SoloMute);
    w.U8(s.Solo);
    w.F32(s.Level);
    w.F32(s.Pan);
    for (const auto& send : s.MonSend) {
        w.F32(send);
    }
    for (const auto& send : s.AuxSend) {
        w.F32(send);
    }
    w.I32(s.Reverb);
    w.I32(s.Chorus);
    for (const auto& reserved : s.Reserved1) {
        w.I32(reserved);
    }
    w.F32(s.MeterL);
}

void WriteConnection(TByteWriter& w, const TConnection& c) {
    w.String(c.Name);
    w.I32(c.InPort);
    w.I32(c.InChannel);
    w.U8(c.PassNote);
    w.U8(c.PassPolyPressure);
    w.U8(c.PassController);
    w.U8(c.PassProgramChange);
    w.U8(c.PassAftertouch);
    w.U8(c.PassPitchbend);
    w.U8(c.PassUser1);
    w.U8(c.PassUser2);
    w.U8(c.Enabled);
    w.I32(c.Program);
    w.U8(c.ProgramEnabled);
    w.String(c.ProgramName);
    w.U8(c.BankHi);
    w.U8(c.BankHiEnabled);
    w.U8(c.BankLo);
    w.U8(c.BankLoEnabled);
    w.U8(c.Volume);
    w.U8(c.VolumeEnabled);
    w.U8(c.Pan);
    w.U8(c.PanEnabled);
    w.U8(static_cast<std::uint8_t>(c.Transpose.Load()));
    w.U8(c.RangeHi);
    w.U8(c.RangeLo);
    w.I32(c.OutPort);
    w.I32(c.OutChannel);
    w.I32(c.Position);
}

void WritePartSlot(TByteWriter& w, const TPluginSettings& slot) {
    // A state flag without a buffer of the stated size would make an unreadable file.
    const bool withData = slot.HasState && slot.StateSize > 0 &&
                          slot.StateData.size() == static_cast<std::size_t>(slot.StateSize);
    const bool hasState = slot.HasState && (withData || slot.StateSize == 0);
    w.I32(slot.ProgramNr);
    w.I32(slot.ProgramCategory);
    w.U8(hasState ? 1 : 0);
    w.I32(std::max(slot.StateSize, 0));
    if (withData) {
        w.Bytes(slot.StateData.data(), slot.StateData.size());
    }
}

void WriteSongSlot(TByteWriter& w, const TPluginSettings& slot) {
    w.I32(std::max(slot.PluginIndex, -1));
    w.U8(slot.IsInstrument);
    w.I32(slot.Reserved1);
    w.I32(slot.Reserved2);
    w.I32(slot.NumInputs);
    w.I32(slot.NumOutputs);
    w.U8(slot.EditorVisible);
    w.I32(slot.EditorLeft);
    w.I32(slot.EditorTop);
}

// Connections are written only with values the reader accepts; the model never holds others,
// this keeps a stray value from making the whole show unreadable.
std::int32_t Clamped(std::int32_t value, std::int32_t high) {
    return std::clamp(value, 0, high);
}

void WritePart(TByteWriter& w, const TPart& part) {
    w.String(part.Name);
    const std::int32_t count = std::min(part.ConnectionCount(), kMaxConnections);
    w.I32(count);
    for (std::int32_t i = 0; i < count; ++i) {
        const TConnection& c = *part.ConnectionAt(i);
        if (c.InPort < 0 || c.InPort >= kInPortCount || c.InChannel < 0 ||
            c.InChannel > kOmniChannel || c.OutPort < 0 || c.OutPort >= kOutPortCount ||
            c.OutChannel < 0 || c.OutChannel > kMultiChannel) {
            TConnection safe;
            CopyConnection(c, safe);
            safe.SetInPort(Clamped(c.InPort, kInPortCount - 1));
            safe.InChannel = Clamped(c.InChannel, kOmniChannel);
            safe.SetOutPort(Clamped(c.OutPort, kOutPortCount - 1));
            safe.OutChannel = Clamped(c.OutChannel, kMultiChannel);
            safe.Position = c.Position;
            WriteConnection(w, safe);
        } else {
            WriteConnection(w, c);
        }
    }
    for (int position = 0; position < kStripCount; ++position) {
        WriteStripState(w, (*part.Strips)[StripAtFilePosition(position)]);
    }
    for (const auto& slot : part.SlotStates) {
        WritePartSlot(w, slot);
    }
}

void WriteSong(TByteWriter& w, const TSong& song) {
    w.String(song.Name);
    w.String(song.Composer);
    w.F32(song.Tempo);
    w.String(song.Key);
    w.I32(song.PartCount());
    for (std::int32_t i = 0; i < song.PartCount(); ++i) {
        WritePart(w, *song.PartAt(i));
    }
    for (const auto& slot : song.SlotSettings) {
        WriteSongSlot(w, slot);
    }
}

void WritePattern(TByteWriter& w, const TMidiPattern& pattern) {
    for (const auto& value : pattern) {
        w.I16(value);
    }
}

void WriteOptions(TByteWriter& w, const TProjectOptions& o) {
    w.U8(o.NoteNamingScheme);
    w.U8(o.ProcessActiveSense);
    w.U8(o.SendAllNotesOffOnChange);
    WritePattern(w, o.UserFilter1);
    WritePattern(w, o.UserFilter2);
    w.U8(o.HotkeysEnabled);
    w.U8(o.MidiRemoteEnabled);
    w.I32(o.RemotePort);
    for (const auto& command : o.RemoteCommands) {
        w.I16(command.Hotkey);
        WritePattern(w, command.Pattern);
    }
    w.F32(o.Epsilon);
    w.U8(o.DecimalSeparator);
    w.U8(o.ThousandSeparator);
    w.I32(o.AudioThreadPriority);
    w.I32(o.SineAccuracy);
    w.U8(o.PinkNoise);
}

void WriteLayoutRecords(TByteWriter& w, const TWindowLayout& layout) {
    for (const auto& record : layout) {
        w.U8(record.Exists ? 1 : 0);
        if (record.Exists) {
            w.I32(record.Left);
            w.I32(record.Top);
            w.I32(record.Width);
            w.I32(record.Height);
            w.U8(record.Visible);
        }
    }
}

void WriteSections(TByteWriter& w, const FileSource& source) {
    for (std::uint8_t flag : source.inputs) {
        w.U8(flag);
    }
    for (std::uint8_t flag : source.outputs) {
        w.U8(flag);
    }
    for (int position = 0; position < kStripCount; ++position) {
        WriteDescriptor(w, (*source.descriptors)[StripAtFilePosition(position)]);
    }
    WriteMixerSettings(w, *source.mixer);
    const TProject& project = *source.project;
    w.String(project.Name);
    w.String(project.Venue);
    w.F64(project.Created);
    w.String(project.Author);
    w.String(project.Settings ? project.Settings->FileName : std::string());
    w.I32(project.SongCount());
    for (std::int32_t i = 0; i < project.SongCount(); ++i) {
        WriteSong(w, *project.SongAt(i));
    }
    for (std::int32_t value : source.indices) {
        w.I32(value);
    }
    WriteOptions(w, *source.options);
}

// Bytes a project will take, for sizing the buffer once.
std::size_t EstimatedSize(const TProject& project) {
    constexpr std::size_t kFixed =
        kDeviceSectionSize + kStripCount * kDescriptorRecordSize + kMixerSettingsRecordSize + 1024;
    std::size_t size = kFixed;
    for (std::int32_t s = 0; s < project.SongCount(); ++s) {
        const TSong& song = *project.SongAt(s);
        size += kSongMinSize + song.Name.size() + song.Composer.size() + song.Key.size();
        for (std::int32_t p = 0; p < song.PartCount(); ++p) {
            const TPart& part = *song.PartAt(p);
            size += kPartMinSize + part.Name.size() +
                    static_cast<std::size_t>(part.ConnectionCount()) * (kConnectionMinSize + 32);
            for (const auto& slot : part.SlotStates) {
                size += slot.StateData.size();
            }
        }
    }
    return size;
}

void BusyAndPending() {
    if (IProjectViews* views = ProjectLinks.Views) {
        views->SetBusyCursor(true);
        views->ProcessPendingMessages();
    }
}

std::string JoinedSlotNames(const std::vector<std::int32_t>& slots) {
    std::string names;
    for (std::int32_t slot : slots) {
        if (!names.empty()) {
            names += ", ";
        }
        names += SlotDisplayName(slot);
    }
    return names;
}

} // namespace

// ---- Public -------------------------------------------------------------------------------------

bool ParseProjectFile(std::span<const std::uint8_t> bytes, TProjectFileImage& image,
                      TFileDamage& damage) {
    try {
        TByteReader reader(bytes);
        for (auto& flag : image.InputSelected) {
            flag = reader.U8();
        }
        for (auto& flag : image.OutputSelected) {
            flag = reader.U8();
        }
        for (int position = 0; position < kStripCount; ++position) {
            ReadDescriptor(reader, image.Descriptors[StripAtFilePosition(position)]);
        }
        ReadMixerSettings(reader, image.MixerSettings);

        auto project = std::make_unique<TProject>();
        project->Name = reader.String();
        project->Venue = reader.String();
        project->Created = reader.F64();
        project->Author = reader.String();
        project->Settings->FileName = reader.String();
        const std::int32_t songs = Count(
            reader, kSongMinSize, std::numeric_limits<std::int32_t>::max(), kStrDamageSongCount);
        for (std::int32_t i = 0; i < songs; ++i) {
            project->AppendSong(ReadSong(reader));
        }
        image.Project = std::move(project);

        image.CurrentSong = reader.I32();
        image.CurrentPart = reader.I32();
        image.CurrentConnection = reader.I32();
        image.SongCounter = reader.I32();
        image.PartCounter = reader.I32();
        image.ConnectionCounter = reader.I32();
        ReadOptions(reader, image.Options);
        ReadLayoutRecords(reader, image.WindowLayout);
        return true;
    } catch (TFileDamage& found) {
        damage = std::move(found);
        return false;
    }
}

void WriteProjectFile(const TProjectFileImage& image, TByteBuffer& out) {
    FileSource source;
    source.inputs = image.InputSelected;
    source.outputs = image.OutputSelected;
    source.descriptors = &image.Descriptors;
    source.mixer = &image.MixerSettings;
    source.project = image.Project.get();
    source.indices = {image.CurrentSong, image.CurrentPart, image.CurrentConnection,
                      image.SongCounter, image.PartCounter, image.ConnectionCounter};
    source.options = &image.Options;
    const TProject emptyProject;
    if (source.project == nullptr) {
        source.project = &emptyProject;
    }
    out.reserve(out.size() + EstimatedSize(*source.project));
    TByteWriter writer(out);
    WriteSections(writer, source);
    WriteLayoutRecords(writer, image.WindowLayout);
}

void WriteProject(TByteWriter& writer) {
    FileSource source;
    if (IMidiDeviceSelection* devices = ProjectLinks.Devices) {
        const std::int32_t inputs = devices->InputCount();
        const std::int32_t outputs = devices->OutputCount();
        for (int i = 0; i < kFileDeviceCount; ++i) {
            source.inputs[i] = i < inputs && devices->InputSelected(i) ? 1 : 0;
            source.outputs[i] = i < outputs && devices->OutputSelected(i) ? 1 : 0;
        }
    }
    source.descriptors = &StripTable.Descriptors;
    source.mixer = &StripTable.MixerSettings;
    const TProject emptyProject;
    source.project = ActiveProject() != nullptr ? ActiveProject() : &emptyProject;
    source.indices = {CurrentSong, CurrentPart, CurrentConnection,
                      SongCounter, PartCounter, ConnectionCounter};
    source.options = &ProjectOptions();
    writer.Reserve(EstimatedSize(*source.project));
    WriteSections(writer, source);
}

void WriteWindowLayout(TByteWriter& writer) {
    TWindowLayout layout{};
    if (IWindowLayout* windows = ProjectLinks.Layout) {
        for (int i = 0; i < kLayoutWindowCount; ++i) {
            layout[i] = windows->Placement(i);
        }
    }
    WriteLayoutRecords(writer, layout);
}

void ReadProject(TProjectFileImage& image) {
    IProjectViews* views = ProjectLinks.Views;
    BusyAndPending();

    if (IMidiDeviceSelection* devices = ProjectLinks.Devices) {
        devices->CloseAllDevices();
        const std::int32_t inputs = std::min(devices->InputCount(), kFileDeviceCount);
        const std::int32_t outputs = std::min(devices->OutputCount(), kFileDeviceCount);
        for (std::int32_t i = 0; i < inputs; ++i) {
            devices->SetInputSelected(i, image.InputSelected[i] != 0);
        }
        for (std::int32_t i = 0; i < outputs; ++i) {
            devices->SetOutputSelected(i, image.OutputSelected[i] != 0);
        }
        devices->OpenSelectedDevices();
        BusyAndPending();
    }

    StripTable.Descriptors = image.Descriptors;
    StripTable.MixerSettings = image.MixerSettings;
    // The test tone follows the stored mixer settings at once, not only when a control moves.
    if (TProcessor* processor = ProjectLinks.Processor) {
        processor->UpdateOscillator();
    }

    TProject& project =
        InstallProject(image.Project ? std::move(image.Project) : std::make_unique<TProject>());
    CurrentSong = image.CurrentSong;
    CurrentPart = image.CurrentPart;
    CurrentConnection = image.CurrentConnection;
    SongCounter = image.SongCounter;
    PartCounter = image.PartCounter;
    ConnectionCounter = image.ConnectionCounter;
    ProjectOptions() = image.Options;
    ProjectOptions().Apply();

    if (views != nullptr) {
        views->FillSongList();
    }
    TSong* song = CurrentSong >= 0 ? project.SongAt(CurrentSong) : nullptr;
    TPart* part = nullptr;
    std::vector<std::int32_t> missing;
    if (song != nullptr) {
        missing = song->ApplySlots();
        if (views != nullptr) {
            views->FillPartList(*song);
        }
        part = CurrentPart >= 0 ? song->PartAt(CurrentPart) : nullptr;
    }
    if (part != nullptr) {
        part->ApplyState();
        SetRoutingPart(part);
        if (views != nullptr) {
            views->FillConnectionList(*part);
            if (part->ConnectionAt(CurrentConnection) != nullptr) {
                views->ShowConnectionInInspector(CurrentConnection);
            }
        }
    }
    if (views != nullptr) {
        if (song != nullptr) {
            views->SelectSong(CurrentSong);
        }
        if (part != nullptr) {
            views->SelectPart(CurrentPart);
            if (part->ConnectionAt(CurrentConnection) != nullptr) {
                views->SelectConnection(CurrentConnection);
            }
        }
    }
    CurrentStrips.store(part != nullptr ? part->Strips.get() : nullptr, std::memory_order_release);
    if (views != nullptr) {
        views->UpdateAllMixers();
        views->SetBusyCursor(false);
    }
    if (!missing.empty()) {
        ShowMessageBox(LoadResString(kStrProblem),
                       FormatText(LoadResString(kStrPluginsMissing), {JoinedSlotNames(missing)}),
                       kMsgWarning, kButtonsOk, 1);
    }
}

void ReadWindowLayout(const TProjectFileImage& image) {
    IWindowLayout* windows = ProjectLinks.Layout;
    if (windows == nullptr) {
        return;
    }
    for (int i = 0; i < kLayoutWindowCount; ++i) {
        if (image.WindowLayout[i].Exists) {
            windows->Place(i, image.WindowLayout[i]);
        }
    }
}

bool LoadProjectImage(const std::filesystem::path& path, TProjectFileImage& image,
                      std::string& message) {
    TByteBuffer bytes;
    std::string reason;
    if (!ReadWholeFile(path, bytes, reason)) {
        message = FormatText(LoadResString(kStrProjectUnreadable), {path.string(), reason});
        return false;
    }
    TFileDamage damage;
    if (!ParseProjectFile(bytes, image, damage)) {
        message = FormatText(LoadResString(kStrProjectDamaged),
                             {path.string(), damage.What, std::to_string(damage.Offset)});
        return false;
    }
    return true;
}

bool LoadProjectFile(const std::filesystem::path& path, std::string& message) {
    TProjectFileImage image;
    if (!LoadProjectImage(path, image, message)) {
        return false;
    }
    if (IProjectShell* shell = ProjectLinks.Shell) {
        shell->CloseProject();
    } else {
        DestroyProject();
    }
    ReadProject(image);
    ReadWindowLayout(image);
    return true;
}

bool SaveProjectFile(const std::filesystem::path& path, std::string& message) {
    TProject* project = ActiveProject();
    if (project == nullptr) {
        message = FormatText(LoadResString(kStrProjectNotSaved),
                             {path.string(), LoadResString(kStrNoProjectOpen)});
        return false;
    }
    TByteBuffer bytes;
    TByteWriter writer(bytes);
    WriteProject(writer);
    WriteWindowLayout(writer);
    std::string reason;
    if (!WriteFileAtomically(path, bytes, reason)) {
        message = FormatText(LoadResString(kStrProjectNotSaved), {path.string(), reason});
        return false;
    }
    return true;
}

bool SaveProjectFileAs(const std::filesystem::path& path, std::string& message) {
    TProject* project = ActiveProject();
    if (project == nullptr) {
        return SaveProjectFile(path, message);
    }
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error) {
        full = path;
    }
    std::string previous = project->Settings->FileName;
    project->Settings->FileName = full.string();
    if (!SaveProjectFile(full, message)) {
        project->Settings->FileName = std::move(previous);
        return false;
    }
    return true;
}

} // namespace peldor
