#pragma once
// Peldor's own definitions of the ASIO driver interface records and codes. Windows' 32-bit LONG
// is int32_t here (never long), and the records keep the 4-byte packing of the published
// interface; the static_asserts at the end pin every layout.

#include <cstddef>
#include <cstdint>

namespace peldor {

using ASIOBool = std::int32_t;
using ASIOError = std::int32_t;
using ASIOSampleRate = double;
using ASIOSampleType = std::int32_t;

inline constexpr ASIOBool ASIOFalse = 0;
inline constexpr ASIOBool ASIOTrue = 1;

// ---- Error codes --------------------------------------------------------------------------------

inline constexpr ASIOError ASE_OK = 0;
/// The success answer of future().
inline constexpr ASIOError ASE_SUCCESS = 0x3F4847A0;
inline constexpr ASIOError ASE_NotPresent = -1000;
inline constexpr ASIOError ASE_HWMalfunction = -999;
inline constexpr ASIOError ASE_InvalidParameter = -998;
inline constexpr ASIOError ASE_InvalidMode = -997;
inline constexpr ASIOError ASE_SPNotAdvancing = -996;
inline constexpr ASIOError ASE_NoClock = -995;
inline constexpr ASIOError ASE_NoMemory = -994;

// ---- Sample types -------------------------------------------------------------------------------

inline constexpr ASIOSampleType ASIOSTInt16MSB = 0;
inline constexpr ASIOSampleType ASIOSTInt24MSB = 1;
inline constexpr ASIOSampleType ASIOSTInt32MSB = 2;
inline constexpr ASIOSampleType ASIOSTFloat32MSB = 3;
inline constexpr ASIOSampleType ASIOSTFloat64MSB = 4;
inline constexpr ASIOSampleType ASIOSTInt32MSB16 = 8;
inline constexpr ASIOSampleType ASIOSTInt32MSB18 = 9;
inline constexpr ASIOSampleType ASIOSTInt32MSB20 = 10;
inline constexpr ASIOSampleType ASIOSTInt32MSB24 = 11;
inline constexpr ASIOSampleType ASIOSTInt16LSB = 16;
inline constexpr ASIOSampleType ASIOSTInt24LSB = 17;
inline constexpr ASIOSampleType ASIOSTInt32LSB = 18;
inline constexpr ASIOSampleType ASIOSTFloat32LSB = 19;
inline constexpr ASIOSampleType ASIOSTFloat64LSB = 20;
inline constexpr ASIOSampleType ASIOSTInt32LSB16 = 24;
inline constexpr ASIOSampleType ASIOSTInt32LSB18 = 25;
inline constexpr ASIOSampleType ASIOSTInt32LSB20 = 26;
inline constexpr ASIOSampleType ASIOSTInt32LSB24 = 27;
inline constexpr ASIOSampleType ASIOSTDSDInt8LSB1 = 32;
inline constexpr ASIOSampleType ASIOSTDSDInt8MSB1 = 33;
inline constexpr ASIOSampleType ASIOSTDSDInt8NER8 = 40;

/// The 18 sample types that have conversion routines, in code order.
inline constexpr ASIOSampleType kConvertedSampleTypes[] = {
    ASIOSTInt16MSB,   ASIOSTInt24MSB,   ASIOSTInt32MSB,   ASIOSTFloat32MSB, ASIOSTFloat64MSB,
    ASIOSTInt32MSB16, ASIOSTInt32MSB18, ASIOSTInt32MSB20, ASIOSTInt32MSB24, ASIOSTInt16LSB,
    ASIOSTInt24LSB,   ASIOSTInt32LSB,   ASIOSTFloat32LSB, ASIOSTFloat64LSB, ASIOSTInt32LSB16,
    ASIOSTInt32LSB18, ASIOSTInt32LSB20, ASIOSTInt32LSB24,
};
inline constexpr int kConvertedSampleTypeCount = 18;

/// Bytes per sample of one of the 18 converted types; 0 for every other code.
constexpr int SampleTypeWidth(ASIOSampleType type) noexcept {
    switch (type) {
    case ASIOSTInt16MSB:
    case ASIOSTInt16LSB:
        return 2;
    case ASIOSTInt24MSB:
    case ASIOSTInt24LSB:
        return 3;
    case ASIOSTFloat64MSB:
    case ASIOSTFloat64LSB:
        return 8;
    case ASIOSTInt32MSB:
    case ASIOSTFloat32MSB:
    case ASIOSTInt32MSB16:
    case ASIOSTInt32MSB18:
    case ASIOSTInt32MSB20:
    case ASIOSTInt32MSB24:
    case ASIOSTInt32LSB:
    case ASIOSTFloat32LSB:
    case ASIOSTInt32LSB16:
    case ASIOSTInt32LSB18:
    case ASIOSTInt32LSB20:
    case ASIOSTInt32LSB24:
        return 4;
    default:
        return 0;
    }
}

/// Short name of a sample type code ("Int24LSB"); "" for codes outside the 18.
const char* SampleTypeName(ASIOSampleType type) noexcept;

// ---- asioMessage and future() selectors ---------------------------------------------------------

inline constexpr std::int32_t kAsioSelectorSupported = 1;
inline constexpr std::int32_t kAsioEngineVersion = 2;
inline constexpr std::int32_t kAsioResetRequest = 3;
inline constexpr std::int32_t kAsioBufferSizeChange = 4;
inline constexpr std::int32_t kAsioResyncRequest = 5;
inline constexpr std::int32_t kAsioLatenciesChanged = 6;
inline constexpr std::int32_t kAsioSupportsTimeInfo = 7;
inline constexpr std::int32_t kAsioSupportsTimeCode = 8;
inline constexpr std::int32_t kAsioMMCCommand = 9;
inline constexpr std::int32_t kAsioSupportsInputMonitor = 10;
inline constexpr std::int32_t kAsioSupportsInputGain = 11;
inline constexpr std::int32_t kAsioSupportsInputMeter = 12;
inline constexpr std::int32_t kAsioSupportsOutputGain = 13;
inline constexpr std::int32_t kAsioSupportsOutputMeter = 14;
inline constexpr std::int32_t kAsioOverload = 15;

inline constexpr std::int32_t kAsioEnableTimeCodeRead = 1;
inline constexpr std::int32_t kAsioDisableTimeCodeRead = 2;
inline constexpr std::int32_t kAsioSetInputMonitor = 3;
inline constexpr std::int32_t kAsioTransport = 4;
inline constexpr std::int32_t kAsioSetInputGain = 5;
inline constexpr std::int32_t kAsioGetInputMeter = 6;
inline constexpr std::int32_t kAsioSetOutputGain = 7;
inline constexpr std::int32_t kAsioGetOutputMeter = 8;
inline constexpr std::int32_t kAsioCanInputMonitor = 9;
inline constexpr std::int32_t kAsioCanTimeInfo = 10;
inline constexpr std::int32_t kAsioCanTimeCode = 11;
inline constexpr std::int32_t kAsioCanTransport = 12;
inline constexpr std::int32_t kAsioCanInputGain = 13;
inline constexpr std::int32_t kAsioCanInputMeter = 14;
inline constexpr std::int32_t kAsioCanOutputGain = 15;
inline constexpr std::int32_t kAsioCanOutputMeter = 16;
inline constexpr std::int32_t kAsioOptionalOne = 17;
/// Peldor's own future() selector, far from the interface's numbers: ASE_SUCCESS when the
/// driver has ended its run on purpose (the "WAV file" driver after its configured length) and
/// makes no buffer switch until it is started again; any other answer otherwise.
inline constexpr std::int32_t kPeldorRunFinished = 0x50444601;

// ---- Time-info and time-code flags --------------------------------------------------------------

inline constexpr std::uint32_t kSystemTimeValid = 1;
inline constexpr std::uint32_t kSamplePositionValid = 2;
inline constexpr std::uint32_t kSampleRateValid = 4;
inline constexpr std::uint32_t kSpeedValid = 8;
inline constexpr std::uint32_t kSampleRateChanged = 16;
inline constexpr std::uint32_t kClockSourceChanged = 32;

inline constexpr std::uint32_t kTcValid = 1;
inline constexpr std::uint32_t kTcRunning = 2;
inline constexpr std::uint32_t kTcReverse = 4;
inline constexpr std::uint32_t kTcOnspeed = 8;
inline constexpr std::uint32_t kTcStill = 16;
inline constexpr std::uint32_t kTcSpeedValid = 256;

// ---- Records ------------------------------------------------------------------------------------

inline constexpr int kAsioNameLength = 32;

#pragma pack(push, 4)

/// A 64-bit sample count as two 32-bit halves, high first.
struct ASIOSamples {
    std::uint32_t hi;
    std::uint32_t lo;
};

/// A 64-bit system time in nanoseconds as two 32-bit halves, high first.
struct ASIOTimeStamp {
    std::uint32_t hi;
    std::uint32_t lo;
};

struct ASIOClockSource {
    std::int32_t index;
    std::int32_t associatedChannel;
    std::int32_t associatedGroup;
    ASIOBool isCurrentSource;
    char name[kAsioNameLength];
};

struct ASIOChannelInfo {
    std::int32_t channel;
    ASIOBool isInput;
    ASIOBool isActive;
    std::int32_t channelGroup;
    ASIOSampleType type;
    char name[kAsioNameLength];
};

struct ASIOBufferInfo {
    ASIOBool isInput;
    std::int32_t channelNum;
    void* buffers[2];
};

struct ASIOChannelControls {
    std::int32_t channel;
    ASIOBool isInput;
    std::int32_t gain;
    std::int32_t meter;
    char future[32];
};

struct ASIOTimeCode {
    double speed;
    ASIOSamples timeCodeSamples;
    std::uint32_t flags;
    char future[64];
};

struct AsioTimeInfo {
    double speed;
    ASIOTimeStamp systemTime;
    ASIOSamples samplePosition;
    ASIOSampleRate sampleRate;
    std::uint32_t flags;
    char reserved[12];
};

struct ASIOTime {
    std::int32_t reserved[4];
    AsioTimeInfo timeInfo;
    ASIOTimeCode timeCode;
};

#pragma pack(pop)

/// The host's four callbacks, handed to the driver by createBuffers. Plain functions, called
/// on whatever thread the driver chooses.
struct ASIOCallbacks {
    void (*bufferSwitch)(std::int32_t doubleBufferIndex, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate sRate);
    std::int32_t (*asioMessage)(std::int32_t selector, std::int32_t value, void* message,
                                double* opt);
    ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params, std::int32_t doubleBufferIndex,
                                      ASIOBool directProcess);
};

/// The 64-bit value of two 32-bit halves.
constexpr std::int64_t SamplesToInt64(const ASIOSamples& s) noexcept {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(s.hi) << 32) | s.lo);
}
constexpr ASIOSamples Int64ToSamples(std::int64_t v) noexcept {
    const auto u = static_cast<std::uint64_t>(v);
    return ASIOSamples{static_cast<std::uint32_t>(u >> 32), static_cast<std::uint32_t>(u)};
}
constexpr ASIOTimeStamp Int64ToTimeStamp(std::int64_t v) noexcept {
    const auto u = static_cast<std::uint64_t>(v);
    return ASIOTimeStamp{static_cast<std::uint32_t>(u >> 32), static_cast<std::uint32_t>(u)};
}

static_assert(sizeof(ASIOSamples) == 8);
static_assert(sizeof(ASIOClockSource) == 48 && offsetof(ASIOClockSource, name) == 16);
static_assert(sizeof(ASIOChannelInfo) == 52 && offsetof(ASIOChannelInfo, type) == 16 &&
              offsetof(ASIOChannelInfo, name) == 20);
static_assert(sizeof(ASIOBufferInfo) == 24 && offsetof(ASIOBufferInfo, buffers) == 8);
static_assert(sizeof(ASIOChannelControls) == 48 && offsetof(ASIOChannelControls, future) == 16);
static_assert(sizeof(ASIOTimeCode) == 84 && offsetof(ASIOTimeCode, flags) == 16 &&
              offsetof(ASIOTimeCode, future) == 20);
static_assert(sizeof(AsioTimeInfo) == 48 && offsetof(AsioTimeInfo, samplePosition) == 16 &&
              offsetof(AsioTimeInfo, sampleRate) == 24 && offsetof(AsioTimeInfo, flags) == 32);
static_assert(sizeof(ASIOTime) == 148 && offsetof(ASIOTime, timeInfo) == 16 &&
              offsetof(ASIOTime, timeCode) == 64);

} // namespace peldor
