#pragma once
// The project: songs in show order, each an ordered list of parts, each part an ordered list of
// up to 64 MIDI connections with its own strip-state table and the program and plugin state of
// the 20 slots. A song decides which plugin sits in each slot.
//
// Threads. The model belongs to the window thread: every operation below runs there. The one
// exception is the MIDI input thread, which routes through the connections of the routing part
// (see SetRoutingPart):
//   - It reads and writes a connection only while holding RoutingLock (engine/event_queue.h),
//     and it finds the connection under that same hold: it takes the lock, reads the routing
//     part and the connection at list position i, routes, and releases (ForEachRoutingConnection
//     does exactly this). It never keeps a connection pointer across a release.
//   - Every structural change of a connection list (add, delete, swap, clear, the destruction
//     of a part, a song or the project) and every change of the routing part happens under
//     RoutingLock on the window thread. So the MIDI thread never sees a list in the middle of a
//     change, and a connection is never destroyed while the MIDI thread can reach it. A message
//     that arrives during a change may skip or meet a connection twice; that is accepted.
//   - The MIDI thread writes SenseToggle, the display records and the captured values (Volume,
//     Pan, BankHi, BankLo, Program). All scalar connection fields are Relaxed<>, so the window
//     thread reads and writes them whole without the lock. The display texts are std::string:
//     the window thread reads them only under RoutingLock.
//   - Nothing here is called on the driver's callback thread. It reads the strip table of the
//     current part through CurrentStrips; a table is freed only after CurrentStrips no longer
//     names it and the block that may have loaded it earlier has ended (the block handshake,
//     engine/block_handshake.h). When a block does not end in time, the table is leaked.

#include "engine/event_queue.h"
#include "engine/relaxed.h"
#include "engine/strip_table.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace peldor {

// ---- Limits and ranges --------------------------------------------------------------------------

inline constexpr int kMaxConnections = 64;
/// InPort: MIDI input devices 0-15.
inline constexpr int kInPortCount = 16;
/// OutPort: 0-15 MIDI output devices, 16-31 instrument slots 0-15.
inline constexpr int kOutPortCount = 32;
inline constexpr int kFirstInstrumentPort = 16;
/// InChannel 16 is OMNI, OutChannel 16 is "MULTI"; 0-15 are channels 1-16.
inline constexpr int kOmniChannel = 16;
inline constexpr int kMultiChannel = 16;
/// Slots 0-15 are instrument slots, 16-19 effect slots.
inline constexpr int kFirstEffectSlot = kInstrumentSlotCount;

// ---- Connections
// ----------------------------------------------------------------------------------

/// The last message seen at a connection's input or output. Written by the routing under
/// RoutingLock; Text is read by the window thread under RoutingLock only.
struct MIDI_DISPLAY {
    Relaxed<std::int32_t> Port{0};
    /// 1-16, -1 none.
    Relaxed<std::int32_t> Channel{-1};
    /// 0 note off ... 7 system or sysex, -1 none.
    Relaxed<std::int32_t> Kind{-1};
    std::string Text;
    /// Highest note-on velocity seen.
    Relaxed<std::int32_t> MaxVelocity{0};
};

/// One MIDI connection: filter and transform from an input device to an output device or an
/// instrument slot. The window thread edits it; the MIDI thread reads it and writes the runtime
/// fields under RoutingLock (see the file comment).
class TConnection {
public:
    explicit TConnection(std::string name = {});

    /// Sets InPort and InDisplay.Port. Window thread.
    void SetInPort(std::int32_t port);
    /// Sets OutPort and OutDisplay.Port (OutPort + 16). Window thread.
    void SetOutPort(std::int32_t port);

    std::string Name;
    Relaxed<std::int32_t> InPort{0};
    Relaxed<std::int32_t> InChannel{0};
    Relaxed<std::uint8_t> PassNote{1};
    Relaxed<std::uint8_t> PassPolyPressure{0};
    Relaxed<std::uint8_t> PassController{1};
    Relaxed<std::uint8_t> PassProgramChange{0};
    Relaxed<std::uint8_t> PassAftertouch{1};
    Relaxed<std::uint8_t> PassPitchbend{1};
    Relaxed<std::uint8_t> PassUser1{0};
    Relaxed<std::uint8_t> PassUser2{0};
    Relaxed<std::uint8_t> Enabled{1};
    Relaxed<std::int32_t> Program{0};
    Relaxed<std::uint8_t> ProgramEnabled{1};
    std::string ProgramName{"unknown"};
    Relaxed<std::uint8_t> BankHi{0};
    Relaxed<std::uint8_t> BankLo{0};
    Relaxed<std::uint8_t> BankHiEnabled{0};
    Relaxed<std::uint8_t> BankLoEnabled{0};
    Relaxed<std::uint8_t> Volume{96};
    Relaxed<std::uint8_t> VolumeEnabled{1};
    Relaxed<std::uint8_t> Pan{64};
    Relaxed<std::uint8_t> PanEnabled{1};
    Relaxed<std::int8_t> Transpose{0};
    Relaxed<std::uint8_t> RangeHi{127};
    Relaxed<std::uint8_t> RangeLo{0};
    Relaxed<std::int32_t> OutPort{0};
    Relaxed<std::int32_t> OutChannel{0};
    /// Flips on every active-sensing byte. Not stored.
    Relaxed<std::int32_t> SenseToggle{0};
    /// Not stored.
    MIDI_DISPLAY InDisplay;
    MIDI_DISPLAY OutDisplay;
    /// List position given when the connection was added; stored, not otherwise used.
    Relaxed<std::int32_t> Position{-1};
};

// ---- Slot settings
// --------------------------------------------------------------------------------

/// One slot's entry. In a song's SlotSettings: which plugin and how its editor is shown. In a
/// part's SlotStates: the program and the saved plugin state, plus a copy of the song fields.
/// Window thread only.
struct TPluginSettings {
    /// Back to the defaults, keeping Slot and freeing StateData.
    void Reset();

    std::int32_t PluginIndex = -1;
    std::uint8_t IsInstrument = 1;
    std::int32_t Reserved1 = 0;
    std::int32_t Reserved2 = 0;
    std::int32_t NumInputs = 0;
    std::int32_t NumOutputs = 0;
    std::uint8_t EditorVisible = 0;
    std::int32_t EditorLeft = 0;
    std::int32_t EditorTop = 0;
    std::int32_t ProgramNr = 0;
    std::int32_t ProgramCategory = 0;
    std::uint8_t HasState = 0;
    std::int32_t StateSize = 0;
    /// Empty (none) or StateSize bytes: a program chunk or the parameters as 32-bit floats.
    std::vector<std::uint8_t> StateData;
    std::int32_t Slot = -1;
};

using TSlotSettings = std::array<TPluginSettings, kSlotCount>;

// ---- Parts, songs, project --------------------------------------------------------------------

class TSong;

/// Window thread only, except the connection list, which the MIDI thread reads under
/// RoutingLock.
class TPart {
public:
    /// A part with new strip states, default slot entries and no connections. Touches no
    /// counter.
    explicit TPart(std::string name = {});
    /// Takes RoutingLock to destroy the connections; stops routing through this part and
    /// releases CurrentStrips when it is this part's table.
    ~TPart();
    TPart(const TPart&) = delete;
    TPart& operator=(const TPart&) = delete;

    std::int32_t ConnectionCount() const;
    /// The connection at index, or null.
    TConnection* ConnectionAt(std::int32_t index) const;
    /// Appends a new connection named after the incremented ConnectionCounter, with Position
    /// set to its index. With 64 connections already, shows "Sorry, maximum number of
    /// connections reached." and returns null.
    TConnection* AddConnection();
    /// Appends a connection as it stands: no limit check, no counter (the file reader).
    TConnection* AppendConnection(std::unique_ptr<TConnection> connection);
    bool DeleteConnection(std::int32_t index);
    bool SwapConnections(std::int32_t i, std::int32_t j);
    void ClearConnections();

    /// Copies the song-level fields of the owning song's slot entries into SlotStates.
    void SyncFromSong();
    /// SyncFromSong, then CaptureSlotState for slots 0-19.
    void CaptureState();
    /// SyncFromSong, then ApplySlotState for slots 0-19.
    void ApplyState();

    std::string Name;
    std::unique_ptr<TStripStates> Strips;
    TSlotSettings SlotStates;
    std::int32_t LastConnection = -1;
    /// The song whose part list holds this part.
    TSong* Song = nullptr;

private:
    std::vector<std::unique_ptr<TConnection>> connections;
};

/// Window thread only.
class TSong {
public:
    /// A song with default fields and slot entries. Touches no counter.
    explicit TSong(std::string name = {});
    /// Frees the parts as ClearParts does.
    ~TSong();
    TSong(const TSong&) = delete;
    TSong& operator=(const TSong&) = delete;

    std::int32_t PartCount() const;
    TPart* PartAt(std::int32_t index) const;
    /// Appends a new part named after the incremented PartCounter, linked to this song and
    /// with its slot states synchronised from the song.
    TPart* AddPart();
    /// Appends a part as it stands and links it to this song (the file reader).
    TPart* AppendPart(std::unique_ptr<TPart> part);
    bool DeletePart(std::int32_t index);
    bool SwapParts(std::int32_t i, std::int32_t j);
    /// Clears CurrentStrips when it is one of the parts' tables and waits once for the block
    /// in progress before freeing them all (leaking them when it does not end).
    void ClearParts();

    /// CaptureSlotSettings for every slot.
    void CaptureSlots();
    /// ApplySlotSettings for slots 0-19 in order. Returns the slots whose stored plugin is
    /// not in this machine's catalogue; they are left empty.
    std::vector<std::int32_t> ApplySlots();
    /// After the user put a plugin into a slot: resets that entry in every part, synchronises
    /// it from the song and captures the plugin's state into it.
    void RefreshSlotInParts(std::int32_t slot);
    /// After the user emptied a slot: resets that entry in every part.
    void ClearSlotInParts(std::int32_t slot);

    std::string Name;
    std::string Composer{"unknown composer"};
    float Tempo = 120.0f;
    std::string Key{"c major"};
    TSlotSettings SlotSettings;
    std::int32_t LastPart = -1;

private:
    std::vector<std::unique_ptr<TPart>> parts;
};

struct TProjectSettings {
    /// Full path chosen in the last save-as; stored in the file.
    std::string FileName;
};

/// Window thread only.
class TProject {
public:
    /// A project with default fields, Created = now, and no songs. Touches no model state
    /// (CreateProject does what creating a project does to the current indices).
    TProject();
    /// Frees the songs as ClearSongs does.
    ~TProject();
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    std::int32_t SongCount() const;
    TSong* SongAt(std::int32_t index) const;
    /// Appends a new song named after the incremented SongCounter.
    TSong* AddSong();
    /// Appends a song as it stands (the file reader).
    TSong* AppendSong(std::unique_ptr<TSong> song);
    /// DeleteSong and ClearSongs free the parts' tables as ClearParts does.
    bool DeleteSong(std::int32_t index);
    bool SwapSongs(std::int32_t i, std::int32_t j);
    void ClearSongs();

    /// The part at CurrentPart of the song at CurrentSong, or null.
    TPart* CurrentPartObject() const;
    /// Connections of the current part; 0 when there is none.
    std::int32_t CurrentConnectionCount() const;

    std::string Name{"new project"};
    std::string Venue{"unknown venue"};
    /// Days since 1899-12-30, the fraction being the time of day (local time).
    double Created = 0.0;
    std::string Author{"unknown author"};
    std::unique_ptr<TProjectSettings> Settings;

private:
    std::vector<std::unique_ptr<TSong>> songs;
};

/// The local date and time as days since 1899-12-30.
double NowAsDateTime();

// ---- Model state (window thread) ----------------------------------------------------------------

/// Indices into the song list, the current song's part list and the current part's
/// connection list; -1 none.
extern std::int32_t CurrentSong;
extern std::int32_t CurrentPart;
extern std::int32_t CurrentConnection;
/// Naming counters: incremented before use, never reset by a new project; a project file
/// replaces them.
extern std::int32_t SongCounter;
extern std::int32_t PartCounter;
extern std::int32_t ConnectionCounter;

/// The open project, or null.
TProject* ActiveProject();
/// Destroys the open project (DestroyProject) and creates a new empty one; CurrentSong := -1,
/// the other indices stay.
TProject& CreateProject();
/// Makes a project built elsewhere (the file reader) the open one; destroys the old one first.
TProject& InstallProject(std::unique_ptr<TProject> project);
/// Stops routing, clears CurrentStrips (pausing StripReleaseWaitMs when it was set), waits
/// for the audio thread to leave the block in progress and destroys the open project. When
/// the block does not end within the handshake's limit the project is leaked, not freed.
void DestroyProject();

/// Pause after CurrentStrips is cleared before a table is released. 100 ms. The memory no
/// longer depends on it: the release waits for the block in progress as well.
extern int StripReleaseWaitMs;
/// Clears CurrentStrips when it is table (then pauses StripReleaseWaitMs), and waits until no
/// block that started before the call is still running. False when one still runs after the
/// handshake's limit: the table must then not be freed. Window thread.
bool ReleaseCurrentStrips(const TStripStates* table);

// ---- Routing part -------------------------------------------------------------------------------

/// Makes part the one whose connections the MIDI input thread routes (null: none). Takes
/// RoutingLock; window thread. Whoever makes a part current calls this.
void SetRoutingPart(TPart* part);
/// The routing part. The caller holds RoutingLock.
TPart* RoutingPartLocked();

/// Calls visit(connection, index) for each connection of the routing part in list order,
/// taking RoutingLock around each single call and finding the connection afresh under it.
/// For the MIDI input thread; visit must not take RoutingLock itself.
template <typename Visit> void ForEachRoutingConnection(Visit&& visit) {
    for (std::int32_t index = 0;; ++index) {
        std::lock_guard hold(RoutingLock);
        TPart* part = RoutingPartLocked();
        TConnection* connection = part != nullptr ? part->ConnectionAt(index) : nullptr;
        if (connection == nullptr) {
            return;
        }
        visit(*connection, index);
    }
}

// ---- Plugin capture and apply (window thread) ---------------------------------------------------

/// Song level: input and output counts and the editor window of the slot's plugin. Nothing
/// for a slot outside 0-19, an empty slot, or without the main window.
void CaptureSlotSettings(TPluginSettings& settings);
/// Song level: loads (or keeps) the stored plugin and shows or hides its editor. Returns
/// false when PluginIndex names no entry of this machine's catalogue; the slot is then
/// emptied and PluginIndex is kept.
bool ApplySlotSettings(const TPluginSettings& settings);
/// Part level: program, program category and chunk or parameter values of the slot's plugin.
void CaptureSlotState(TPluginSettings& settings);
/// Part level: program first, then the chunk or the parameter values. A parameter array
/// whose length differs from the plugin's parameter count is not applied.
void ApplySlotState(const TPluginSettings& settings);

/// "VSTi 1".."VSTi 16" for slots 0-15, "VST 1".."VST 4" for 16-19.
std::string SlotDisplayName(std::int32_t slot);

// ---- Deep copies (window thread) ----------------------------------------------------------------

/// Copies the stored fields (not SenseToggle, the displays or Position).
void CopyConnection(const TConnection& source, TConnection& target);
std::unique_ptr<TConnection> CopyConnection(const TConnection& source);
/// Copies every field; the target gets its own copy of the state when there is one.
void CopySlot(const TPluginSettings& source, TPluginSettings& target);
/// Replaces the target's connections through AddConnection (counter and 64 limit apply),
/// copies the strip table, the name and the slot states.
void CopyPart(const TPart& source, TPart& target);
std::unique_ptr<TPart> CopyPart(const TPart& source);
/// Replaces the target's parts through AddPart and CopyPart, copies the song fields and the
/// slot settings.
void CopySong(const TSong& source, TSong& target);
std::unique_ptr<TSong> CopySong(const TSong& source);

} // namespace peldor
