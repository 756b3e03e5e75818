#pragma once
// Fits the engine's stereo pairs to a plugin's own channel counts.
//
// The engine hands every instrument no inputs and two outputs and every effect two inputs and
// two outputs. A plugin with other counts would read a null input array or write past the
// two-entry output array. The adapter gives the plugin exactly numInputs input and numOutputs
// output buffers: missing inputs read silence, extra outputs land in scratch buffers and are
// discarded, a mono output is copied to both sides and a plugin without outputs leaves silence.
//
// Prepare and Release run on the window thread and allocate. Should the audio thread be inside
// Process at that moment, it renders silence for that block instead of waiting. Process never
// allocates or waits.

#include "vst2/vst2_abi.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace peldor {

/// A plugin declaring more channels than this is not processed at all.
inline constexpr std::int32_t kMaxAdaptedChannels = 256;

class TChannelAdapter {
public:
    /// Window thread. Channel arrays and scratch buffers for a plugin with these counts and
    /// blocks of up to capacity frames (longer blocks are processed in pieces).
    void Prepare(std::int32_t numInputs, std::int32_t numOutputs, std::int32_t capacity);
    /// Window thread. Frees everything; Process then passes matching plugins straight through
    /// and renders silence for the others.
    void Release();

    /// Driver callback thread. Calls the effect's processReplacing with adapted channel arrays.
    /// engineInputs is null (an instrument) or two buffers; engineOutputs two buffers; each
    /// holds at least frames samples. Allocates nothing and never waits.
    void Process(vst2::AEffect* effect, float** engineInputs, float** engineOutputs,
                 std::int32_t frames) noexcept;

    std::int32_t PreparedInputs() const noexcept { return preparedInputs; }
    std::int32_t PreparedOutputs() const noexcept { return preparedOutputs; }
    std::int32_t Capacity() const noexcept { return capacity; }

private:
    static void Silence(float** engineOutputs, std::int32_t frames) noexcept;

    // Taken by Process with a single test-and-set (skipping the block when busy) and by
    // Prepare and Release for the few instructions that swap the buffers.
    std::atomic_flag busy = ATOMIC_FLAG_INIT;

    std::int32_t preparedInputs = 0;
    std::int32_t preparedOutputs = 0;
    std::int32_t capacity = 0;
    std::vector<float> storage;       // silent inputs, then extra outputs
    std::vector<float*> silentInputs; // one per input
    std::vector<float*> extraOutputs; // one per output beyond the second
    std::vector<float*> inputArray;   // handed to the plugin
    std::vector<float*> outputArray;  // handed to the plugin
};

} // namespace peldor
