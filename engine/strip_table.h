#pragma once
// The 96 channel strips: the fixed strip table with its names and the mixer settings, the
// per-part strip state, the pointer to the live strip states, the slot map, and the mute and
// solo rules.
//
// Threads: the window thread writes names, settings, states and CurrentStrips; the driver's
// callback thread reads them once or more per block and writes the meters. Every shared field
// is a Relaxed<> value, so each read is whole; a block may see old and new values of
// different fields.

#include "engine/relaxed.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace peldor {

// ---- Strip kinds and table indices ------------------------------------------------------------

enum StripKind : std::int32_t {
    kKindMidiConnection = 0,
    kKindInput = 1,
    kKindInstrument = 2,
    kKindEffect = 3,
    kKindMaster = 4,
    kKindMonitor = 5,
    kKindAux = 6,
    kKindSolo = 7,
};

inline constexpr int kStripCount = 96;
inline constexpr int kMidiStripCount = 64;
inline constexpr int kInputStripCount = 4;
inline constexpr int kInstrumentSlotCount = 16;
inline constexpr int kEffectSlotCount = 4;
inline constexpr int kSlotCount = kInstrumentSlotCount + kEffectSlotCount;
inline constexpr int kMonitorCount = 2;
inline constexpr int kAuxCount = 4;

inline constexpr int kFirstMidiStrip = 0;
inline constexpr int kFirstInputStrip = 64;
inline constexpr int kFirstInstrumentStrip = 68;
inline constexpr int kFirstEffectStrip = 84;
inline constexpr int kMasterStrip = 88;
inline constexpr int kFirstMonitorStrip = 89;
inline constexpr int kFirstAuxStrip = 91;
inline constexpr int kSoloStrip = 95;

/// Kind of the strip at table index 0-95.
StripKind KindOfStrip(int tableIndex);

// ---- Strip table --------------------------------------------------------------------------------

inline constexpr int kLongNameMax = 24;
inline constexpr int kShortNameMax = 8;

/// Fixed description of one strip. The names are UTF-8; their byte lengths are kept within
/// the short-string limits by the setters of whoever writes them (the project reader, the
/// mixer windows). Window thread only.
struct TStripDescriptor {
    std::uint8_t Code1 = 0, Code2 = 0, Code3 = 0, Code4 = 0;
    std::string LongName;
    std::string ShortName;
    std::uint8_t Code5 = 0, Code6 = 0;
};

/// Project-wide mixer settings. Read by the audio thread every block.
struct TMixerSettings {
    Relaxed<std::uint8_t> oscactive{0};
    Relaxed<std::uint8_t> oscsine{1};
    Relaxed<std::uint8_t> oscfrq{0};
    Relaxed<std::uint8_t> oscx4{0};
    Relaxed<std::uint8_t> osctomain{1};
    Relaxed<std::uint8_t> osctomon1{0};
    Relaxed<std::uint8_t> osctomon2{0};
    Relaxed<std::uint8_t> osctosolo{0};
    Relaxed<std::uint8_t> osctoaux1{0};
    Relaxed<std::uint8_t> osctoaux2{0};
    Relaxed<std::uint8_t> osctoaux3{0};
    Relaxed<std::uint8_t> osctoaux4{0};
    Relaxed<float> osclevel{1.0f};
    Relaxed<std::uint8_t> meterspostinputs{0};
    Relaxed<std::uint8_t> meterspostoutputs{0};
    Relaxed<std::uint8_t> meterspostvst{0};
    Relaxed<std::uint8_t> meterspostvsti{0};
    Relaxed<float> sololevel{1.0f};
    Relaxed<std::uint8_t> addmode{0};
};

struct TStripTable {
    std::array<TStripDescriptor, kStripCount> Descriptors;
    TMixerSettings MixerSettings;
};

/// The program's one strip table. Filled by InitStripTable, overwritten when a project is read.
extern TStripTable StripTable;

// ---- Strip state --------------------------------------------------------------------------------

/// Live settings and meters of one strip; 64 bytes, 96 of them per part.
struct TStripState {
    Relaxed<std::uint8_t> Mute{0};
    Relaxed<std::uint8_t> SoloMute{0};
    Relaxed<std::uint8_t> Solo{0};
    Relaxed<float> Level{0.0f};
    Relaxed<float> Pan{0.5f};
    Relaxed<float> AuxSend[kAuxCount]{};
    Relaxed<float> MonSend[kMonitorCount]{};
    Relaxed<std::int32_t> Reverb{0};
    Relaxed<std::int32_t> Chorus{0};
    Relaxed<std::int32_t> Reserved1[2]{};
    Relaxed<float> MeterL{0.0f};
    Relaxed<float> MeterR{0.0f};
    Relaxed<std::int32_t> Reserved2{0};
};
static_assert(sizeof(TStripState) == 64);

/// A part's whole mix: 96 strip states in table-index order.
using TStripStates = std::array<TStripState, kStripCount>;

/// The current part's strip states, or null. The engine processes audio only while it is set.
/// Set and cleared on the window thread; never owns the table.
extern std::atomic<TStripStates*> CurrentStrips;

/// Plugin index of each slot in the plugin host's collection, or -1: entries 0-15 are
/// instrument slots 1-16, entries 16-19 effect slots 1-4.
extern std::array<Relaxed<std::int32_t>, kSlotCount> SlotMap;

// ---- Operations (window thread) -----------------------------------------------------------------

/// Fills every descriptor with its kind's codes and names and resets the mixer settings.
void InitStripTable();

/// Sets all 96 states to the new-table values (every field 0, Pan 0.5). Null does nothing.
void InitStripStates(TStripStates* table);

/// Copies the 96 states; allocates the destination when it does not exist yet.
void CopyStripStates(const TStripStates& source, std::unique_ptr<TStripStates>& destination);

/// The state of one strip of CurrentStrips, or null (see the kind and index rules).
TStripState* FindStrip(std::int32_t kind, std::int32_t index);

/// Flips Mute of the strip FindStrip returns; nothing when there is none.
void ToggleMute(std::int32_t kind, std::int32_t index);

/// Applies the solo rule (additive or exclusive, by addmode) to one strip.
void ToggleSolo(std::int32_t kind, std::int32_t index);

/// True when any strip 0-94 of CurrentStrips is soloed.
bool AnySolo();

/// Clears Solo and SoloMute on strips 0-94 of CurrentStrips.
void ClearSolo();

} // namespace peldor
