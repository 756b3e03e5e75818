#pragma once
// TVstTimeInformation: the host's one VstTimeInfo record, handed to plugins that ask for the
// time (audioMasterGetTime), with a property per field.
//
// Plugins read the record from whatever thread they call on, the driver's thread included.
// Nothing in the program changes it after creation; the setters are for the window thread.

#include "vst2/vst2_abi.h"

#include <cstdint>
#include <functional>

namespace peldor {

/// Members of the time-info flag set, in ordinal order. Members 0-3 map to record flag bits
/// 0-3, members 4-13 to bits 6-15.
enum TVstTimeInfoFlag : int {
    vtiTransportChanged,
    vtiTransportPlaying,
    vtiTransportCycleActive,
    vtiTransportRecording,
    vtiAutomationWriting,
    vtiAutomationReading,
    vtiNanosValid,
    vtiPpqPosValid,
    vtiTempoValid,
    vtiBarsValid,
    vtiCyclePosValid,
    vtiTimeSigValid,
    vtiSmpteValid,
    vtiClockValid,
};

/// A set of TVstTimeInfoFlag: bit n stands for member n.
using TVstTimeInfoFlags = std::uint32_t;

/// Record flag bits of a member set, and back (record bits 4 and 5 are dropped).
vst2::VstInt32 TimeInfoFlagsToRecord(TVstTimeInfoFlags flags) noexcept;
TVstTimeInfoFlags TimeInfoFlagsFromRecord(vst2::VstInt32 recordFlags) noexcept;

class TVstTimeInformation {
public:
    /// Position 0, sample rate 44100, tempo 0, 4/4, frame rate code 1, flags 0xFF00.
    TVstTimeInformation();

    /// The record handed to plugins. Valid as long as this object.
    vst2::VstTimeInfo& Record() noexcept { return record; }
    const vst2::VstTimeInfo& Record() const noexcept { return record; }

    /// Raised after any property changed its value.
    std::function<void()> OnChanged;

    /// Copies the other object's record and raises OnChanged.
    void Assign(const TVstTimeInformation& other);

    // Indexed access: the eight floating-point fields by index 0-7 and the five integer fields
    // (timeSigNumerator .. samplesToNextClock) by index 0-4 in record order. Other indices
    // read 0 and write nothing. A setter stores only a different value, then raises OnChanged.
    double GetDouble(int index) const noexcept;
    void SetDouble(int index, double value);
    std::int32_t GetInteger(int index) const noexcept;
    void SetInteger(int index, std::int32_t value);

    double SamplePos() const noexcept { return record.samplePos; }
    void SetSamplePos(double value) { SetDouble(0, value); }
    double SampleRate() const noexcept { return record.sampleRate; }
    /// Also sets the unit-wide host sample rate (as a 32-bit float).
    void SetSampleRate(double value);
    double NanoSeconds() const noexcept { return record.nanoSeconds; }
    void SetNanoSeconds(double value) { SetDouble(2, value); }
    double PpqPos() const noexcept { return record.ppqPos; }
    void SetPpqPos(double value) { SetDouble(3, value); }
    double Tempo() const noexcept { return record.tempo; }
    void SetTempo(double value) { SetDouble(4, value); }
    double BarStartPos() const noexcept { return record.barStartPos; }
    void SetBarStartPos(double value) { SetDouble(5, value); }
    double CycleStartPos() const noexcept { return record.cycleStartPos; }
    void SetCycleStartPos(double value) { SetDouble(6, value); }
    double CycleEndPos() const noexcept { return record.cycleEndPos; }
    void SetCycleEndPos(double value) { SetDouble(7, value); }
    std::int32_t TimeSigNumerator() const noexcept { return record.timeSigNumerator; }
    void SetTimeSigNumerator(std::int32_t value) { SetInteger(0, value); }
    std::int32_t TimeSigDenominator() const noexcept { return record.timeSigDenominator; }
    void SetTimeSigDenominator(std::int32_t value) { SetInteger(1, value); }
    std::int32_t SmpteOffset() const noexcept { return record.smpteOffset; }
    void SetSmpteOffset(std::int32_t value) { SetInteger(2, value); }
    std::int32_t SmpteFrameRate() const noexcept { return record.smpteFrameRate; }
    void SetSmpteFrameRate(std::int32_t value) { SetInteger(3, value); }
    std::int32_t SamplesToNextClock() const noexcept { return record.samplesToNextClock; }
    void SetSamplesToNextClock(std::int32_t value) { SetInteger(4, value); }
    TVstTimeInfoFlags Flags() const noexcept { return TimeInfoFlagsFromRecord(record.flags); }
    void SetFlags(TVstTimeInfoFlags flags);

private:
    void Changed();

    vst2::VstTimeInfo record{};
};

} // namespace peldor
