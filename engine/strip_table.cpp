#include "engine/strip_table.h"

#include <string>

namespace peldor {

TStripTable StripTable;
std::atomic<TStripStates*> CurrentStrips{nullptr};
std::array<Relaxed<std::int32_t>, kSlotCount> SlotMap = [] {
    std::array<Relaxed<std::int32_t>, kSlotCount> map;
    for (auto& entry : map) {
        entry = -1;
    }
    return map;
}();

namespace {

struct KindInfo {
    StripKind kind;
    int first;
    int count;
    std::uint8_t codes[6]; // Code1..Code4, Code5, Code6
};

// Table layout and start-up descriptor bytes per kind.
constexpr KindInfo kKinds[] = {
    {kKindMidiConnection, kFirstMidiStrip, kMidiStripCount, {0, 3, 2, 1, 0, 0}},
    {kKindInput, kFirstInputStrip, kInputStripCount, {1, 2, 0, 0, 1, 1}},
    {kKindInstrument, kFirstInstrumentStrip, kInstrumentSlotCount, {1, 1, 1, 0, 1, 1}},
    {kKindEffect, kFirstEffectStrip, kEffectSlotCount, {1, 0, 1, 2, 0, 1}},
    {kKindMaster, kMasterStrip, 1, {1, 2, 1, 1, 0, 0}},
    {kKindMonitor, kFirstMonitorStrip, kMonitorCount, {1, 2, 0, 1, 0, 0}},
    {kKindAux, kFirstAuxStrip, kAuxCount, {1, 3, 0, 1, 0, 0}},
    {kKindSolo, kSoloStrip, 1, {1, 2, 1, 1, 0, 0}},
};

void StripNames(StripKind kind, int n, std::string& longName, std::string& shortName) {
    const std::string number = std::to_string(n);
    switch (kind) {
    case kKindMidiConnection:
        longName = "MIDI connection " + number;
        shortName = number;
        break;
    case kKindInput:
        longName = "Input " + number;
        shortName = "IN " + number;
        break;
    case kKindInstrument:
        longName = "VST instrument " + number;
        shortName = "VSTi" + number;
        break;
    case kKindEffect:
        longName = "VST effect " + number;
        shortName = "VST " + number;
        break;
    case kKindMaster:
        longName = "MAIN";
        shortName = "MAIN";
        break;
    case kKindMonitor:
        longName = "Monitor mix " + number;
        shortName = "MON " + number;
        break;
    case kKindAux:
        longName = "Aux " + number + " master";
        shortName = "AUX " + number;
        break;
    case kKindSolo:
        longName = "Solo bus";
        shortName = "SOLO";
        break;
    }
}

TStripStates* Current() {
    return CurrentStrips.load(std::memory_order_acquire);
}

} // namespace

StripKind KindOfStrip(int tableIndex) {
    for (const auto& info : kKinds) {
        if (tableIndex >= info.first && tableIndex < info.first + info.count) {
            return info.kind;
        }
    }
    return kKindSolo;
}

void InitStripTable() {
    for (const auto& info : kKinds) {
        for (int i = 0; i < info.count; ++i) {
            TStripDescriptor& d = StripTable.Descriptors[info.first + i];
            d.Code1 = info.codes[0];
            d.Code2 = info.codes[1];
            d.Code3 = info.codes[2];
            d.Code4 = info.codes[3];
            d.Code5 = info.codes[4];
            d.Code6 = info.codes[5];
            StripNames(info.kind, i + 1, d.LongName, d.ShortName);
        }
    }
    StripTable.MixerSettings = TMixerSettings{};
}

void InitStripStates(TStripStates* table) {
    if (table == nullptr) {
        return;
    }
    for (auto& state : *table) {
        state = TStripState{};
    }
}

void CopyStripStates(const TStripStates& source, std::unique_ptr<TStripStates>& destination) {
    if (!destination) {
        destination = std::make_unique<TStripStates>();
    }
    *destination = source;
}

TStripState* FindStrip(std::int32_t kind, std::int32_t index) {
    TStripStates* strips = Current();
    if (strips == nullptr || index < 0) {
        return nullptr;
    }
    switch (kind % 128) {
    case kKindMidiConnection:
        return index < kMidiStripCount ? &(*strips)[kFirstMidiStrip + index] : nullptr;
    case kKindInput:
        return index < kInputStripCount ? &(*strips)[kFirstInputStrip + index] : nullptr;
    case kKindInstrument:
        return index < kInstrumentSlotCount ? &(*strips)[kFirstInstrumentStrip + index] : nullptr;
    case kKindEffect:
        return index < kEffectSlotCount ? &(*strips)[kFirstEffectStrip + index] : nullptr;
    case kKindMaster:
        return &(*strips)[kMasterStrip];
    case kKindMonitor:
        return index < kMonitorCount ? &(*strips)[kFirstMonitorStrip + index] : nullptr;
    case kKindAux:
        return index < kAuxCount ? &(*strips)[kFirstAuxStrip + index] : nullptr;
    case kKindSolo:
        return &(*strips)[kSoloStrip];
    default:
        return nullptr;
    }
}

void ToggleMute(std::int32_t kind, std::int32_t index) {
    if (TStripState* strip = FindStrip(kind, index)) {
        strip->Mute = strip->Mute ? 0 : 1;
    }
}

bool AnySolo() {
    TStripStates* strips = Current();
    if (strips == nullptr) {
        return false;
    }
    for (int i = 0; i < kSoloStrip; ++i) {
        if ((*strips)[i].Solo) {
            return true;
        }
    }
    return false;
}

void ClearSolo() {
    TStripStates* strips = Current();
    if (strips == nullptr) {
        return;
    }
    for (int i = 0; i < kSoloStrip; ++i) {
        (*strips)[i].Solo = 0;
        (*strips)[i].SoloMute = 0;
    }
}

void ToggleSolo(std::int32_t kind, std::int32_t index) {
    TStripStates* strips = Current();
    TStripState* strip = FindStrip(kind, index);
    if (strips == nullptr || strip == nullptr) {
        return;
    }
    // The loops cover strips 0-94: the solo strip is never changed as a side effect.
    if (StripTable.MixerSettings.addmode) {
        if (strip->Solo) {
            strip->Solo = 0;
            if (AnySolo()) {
                strip->SoloMute = 1;
            } else {
                ClearSolo();
            }
        } else {
            strip->Solo = 1;
            for (int i = 0; i < kSoloStrip; ++i) {
                (*strips)[i].SoloMute = (*strips)[i].Solo ? 0 : 1;
            }
        }
    } else {
        if (strip->Solo) {
            ClearSolo();
        } else {
            for (int i = 0; i < kSoloStrip; ++i) {
                (*strips)[i].Solo = 0;
                (*strips)[i].SoloMute = 1;
            }
            strip->SoloMute = 0;
            strip->Solo = 1;
        }
    }
}

} // namespace peldor
