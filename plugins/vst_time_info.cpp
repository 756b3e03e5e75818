#include "plugins/vst_time_info.h"

#include "plugins/host_values.h"

namespace peldor {
namespace {

constexpr int kDoubleFieldCount = 8;
constexpr int kIntegerFieldCount = 5;
constexpr int kTransportMemberCount = 4;
constexpr int kMemberCount = 14;
/// Record bits 4 and 5 stand for no member.
constexpr int kRecordBitGap = 2;

constexpr double kInitialSampleRate = 44100.0;
constexpr std::int32_t kInitialTimeSignature = 4;
constexpr std::int32_t kInitialSmpteFrameRate = 1;
constexpr TVstTimeInfoFlags kInitialFlags = (1u << vtiNanosValid) | (1u << vtiPpqPosValid) |
                                            (1u << vtiTempoValid) | (1u << vtiBarsValid) |
                                            (1u << vtiCyclePosValid) | (1u << vtiTimeSigValid) |
                                            (1u << vtiSmpteValid) | (1u << vtiClockValid);

double* DoubleField(vst2::VstTimeInfo& r, int index) {
    double* fields[kDoubleFieldCount] = {&r.samplePos,     &r.sampleRate, &r.nanoSeconds,
                                         &r.ppqPos,        &r.tempo,      &r.barStartPos,
                                         &r.cycleStartPos, &r.cycleEndPos};
    return index >= 0 && index < kDoubleFieldCount ? fields[index] : nullptr;
}

vst2::VstInt32* IntegerField(vst2::VstTimeInfo& r, int index) {
    vst2::VstInt32* fields[kIntegerFieldCount] = {&r.timeSigNumerator, &r.timeSigDenominator,
                                                  &r.smpteOffset, &r.smpteFrameRate,
                                                  &r.samplesToNextClock};
    return index >= 0 && index < kIntegerFieldCount ? fields[index] : nullptr;
}

} // namespace

vst2::VstInt32 TimeInfoFlagsToRecord(TVstTimeInfoFlags flags) noexcept {
    std::uint32_t bits = 0;
    for (int member = 0; member < kMemberCount; ++member) {
        if (flags & (1u << member)) {
            const int bit = member < kTransportMemberCount ? member : member + kRecordBitGap;
            bits |= 1u << bit;
        }
    }
    return static_cast<vst2::VstInt32>(bits);
}

TVstTimeInfoFlags TimeInfoFlagsFromRecord(vst2::VstInt32 recordFlags) noexcept {
    const auto bits = static_cast<std::uint32_t>(recordFlags);
    TVstTimeInfoFlags flags = 0;
    for (int member = 0; member < kMemberCount; ++member) {
        const int bit = member < kTransportMemberCount ? member : member + kRecordBitGap;
        if (bits & (1u << bit)) {
            flags |= 1u << member;
        }
    }
    return flags;
}

TVstTimeInformation::TVstTimeInformation() {
    record.sampleRate = kInitialSampleRate;
    record.timeSigNumerator = kInitialTimeSignature;
    record.timeSigDenominator = kInitialTimeSignature;
    record.smpteFrameRate = kInitialSmpteFrameRate;
    record.flags = TimeInfoFlagsToRecord(kInitialFlags);
}

void TVstTimeInformation::Changed() {
    if (OnChanged) {
        OnChanged();
    }
}

void TVstTimeInformation::Assign(const TVstTimeInformation& other) {
    record = other.record;
    Changed();
}

double TVstTimeInformation::GetDouble(int index) const noexcept {
    const double* field = DoubleField(const_cast<vst2::VstTimeInfo&>(record), index);
    return field != nullptr ? *field : 0.0;
}

void TVstTimeInformation::SetDouble(int index, double value) {
    double* field = DoubleField(record, index);
    if (field != nullptr && *field != value) {
        *field = value;
        Changed();
    }
}

std::int32_t TVstTimeInformation::GetInteger(int index) const noexcept {
    const vst2::VstInt32* field = IntegerField(const_cast<vst2::VstTimeInfo&>(record), index);
    return field != nullptr ? *field : 0;
}

void TVstTimeInformation::SetInteger(int index, std::int32_t value) {
    vst2::VstInt32* field = IntegerField(record, index);
    if (field != nullptr && *field != value) {
        *field = value;
        Changed();
    }
}

void TVstTimeInformation::SetSampleRate(double value) {
    SetDouble(1, value);
    HostSampleRate = static_cast<float>(value);
}

void TVstTimeInformation::SetFlags(TVstTimeInfoFlags flags) {
    const vst2::VstInt32 bits = TimeInfoFlagsToRecord(flags);
    if (record.flags != bits) {
        record.flags = bits;
        Changed();
    }
}

} // namespace peldor
