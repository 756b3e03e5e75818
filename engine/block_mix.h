#pragma once
// The mixing steps of one block, bus by bus, over one snapshot of the strip values taken at the
// start of the block: a block never mixes old and new values of one strip. Work that cannot
// change the output is skipped: sources that add nothing (no plugin, no input channel, a send
// or level of 0), buses nothing feeds (left as the silence they already hold), outputs that go
// nowhere. TProcessor::SetSkipIdleWork(false) turns the skipping off; the outputs are the same
// either way (a zero may differ in sign).
//
// Driver callback thread only; allocates nothing.

#include "engine/mix_kernels.h"
#include "engine/processor.h"
#include "engine/strip_table.h"

#include <cstdint>
#include <cstring>

namespace peldor {

/// The values of one audio strip as the block uses them.
struct TStripValues {
    bool Mute = false;
    bool SoloMute = false;
    bool Solo = false;
    float Level = 0.0f;
    float Pan = 0.5f;
    float AuxSend[kAuxCount] = {};
    float MonSend[kMonitorCount] = {};

    /// Counts as soloed on the solo bus.
    bool Soloed() const noexcept { return Solo && !Mute; }
};

/// Every audio strip (table indices kFirstInputStrip..kSoloStrip), read once.
struct TStripSnapshot {
    static constexpr int kFirst = kFirstInputStrip;
    TStripValues Strips[kStripCount - kFirstInputStrip];

    void Take(const TStripStates& live) noexcept {
        for (int t = kFirst; t < kStripCount; ++t) {
            const TStripState& from = live[t];
            TStripValues& to = Strips[t - kFirst];
            to.Mute = from.Mute != 0;
            to.SoloMute = from.SoloMute != 0;
            to.Solo = from.Solo != 0;
            to.Level = from.Level;
            to.Pan = from.Pan;
            for (int a = 0; a < kAuxCount; ++a) {
                to.AuxSend[a] = from.AuxSend[a];
            }
            for (int m = 0; m < kMonitorCount; ++m) {
                to.MonSend[m] = from.MonSend[m];
            }
        }
    }
    const TStripValues& operator[](int tableIndex) const noexcept {
        return Strips[tableIndex - kFirst];
    }
    const TStripValues& Input(int k) const noexcept { return (*this)[kFirstInputStrip + k]; }
    const TStripValues& Instrument(int i) const noexcept {
        return (*this)[kFirstInstrumentStrip + i];
    }
    const TStripValues& Effect(int e) const noexcept { return (*this)[kFirstEffectStrip + e]; }
    const TStripValues& Monitor(int m) const noexcept { return (*this)[kFirstMonitorStrip + m]; }
    const TStripValues& Aux(int a) const noexcept { return (*this)[kFirstAuxStrip + a]; }
    const TStripValues& Master() const noexcept { return (*this)[kMasterStrip]; }
};

/// The mixer settings the block uses, read once.
struct TMixerSnapshot {
    bool OscActive = false;
    bool OscToMain = false;
    bool OscToMon[kMonitorCount] = {};
    bool OscToSolo = false;
    bool OscToAux[kAuxCount] = {};
    bool MetersPostInputs = false;
    bool MetersPostOutputs = false;
    bool MetersPostVst = false;
    bool MetersPostVsti = false;
    float SoloLevel = 1.0f;

    void Take(const TMixerSettings& m) noexcept {
        OscActive = m.oscactive != 0;
        OscToMain = m.osctomain != 0;
        OscToMon[0] = m.osctomon1 != 0;
        OscToMon[1] = m.osctomon2 != 0;
        OscToSolo = m.osctosolo != 0;
        OscToAux[0] = m.osctoaux1 != 0;
        OscToAux[1] = m.osctoaux2 != 0;
        OscToAux[2] = m.osctoaux3 != 0;
        OscToAux[3] = m.osctoaux4 != 0;
        MetersPostInputs = m.meterspostinputs != 0;
        MetersPostOutputs = m.meterspostoutputs != 0;
        MetersPostVst = m.meterspostvst != 0;
        MetersPostVsti = m.meterspostvsti != 0;
        SoloLevel = m.sololevel;
    }
};

/// What the block mixes: each instrument's and effect's output pair, or null when it adds
/// nothing (no plugin, switched off, late, or an effect known to be silent), and each input
/// strip's driver channel, or null.
struct TBlockSources {
    float** Instrument[kInstrumentSlotCount] = {};
    float** Effect[kEffectSlotCount] = {};
    const float* Input[kInputStripCount] = {};
};

/// The mixing steps of ProcessBlock for one block.
template <typename Kernels> class TBlockMixer {
public:
    TBlockMixer(std::int32_t frames, bool skipIdle, const float* osc) noexcept
        : n(frames), skip(skipIdle), oscBuffer(osc) {}

    /// Starts a bus: a copy of the test tone when withOsc, else silence. A bus that is silent
    /// already is left alone. silent: the bus is known to hold only zeros (kept per bus by the
    /// processor across blocks).
    void Start(float* const* channels, int count, bool withOsc, bool& silent) const noexcept {
        if (withOsc) {
            for (int c = 0; c < count; ++c) {
                std::memcpy(channels[c], oscBuffer, sizeof(float) * n);
            }
            silent = false;
            return;
        }
        if (silent && skip) {
            return;
        }
        for (int c = 0; c < count; ++c) {
            std::memset(channels[c], 0, sizeof(float) * n);
        }
        silent = true;
    }

    /// dst += gain * src; nothing when the gain is 0 (a finite source then adds nothing).
    void AddScaled(const float* src, float* dst, float gain, bool& silent) const noexcept {
        if (gain == 0.0f && skip) {
            return;
        }
        Kernels::AddScaled(src, dst, gain, n);
        silent = false;
    }
    void AddBuffer(const float* src, float* dst, bool& silent) const noexcept {
        Kernels::AddBuffer(src, dst, n);
        silent = false;
    }
    /// Into a driver output: nothing when the bus is silent or the gain 0.
    void AddToOutput(const float* src, float* dst, float gain, bool silent) const noexcept {
        if (skip && (silent || gain == 0.0f)) {
            return;
        }
        Kernels::AddScaled(src, dst, gain, n);
    }
    /// LevelOf, without reading a bus known to be silent.
    float Level(const float* buffer, bool silent) const noexcept {
        return silent && skip ? 0.0f : LevelOf(buffer, n);
    }

private:
    const std::int32_t n;
    const bool skip;
    const float* const oscBuffer;
};

} // namespace peldor
