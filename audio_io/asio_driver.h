#pragma once
// The driver interface: the 21 operations of an ASIO driver, in the interface's order and with
// its meanings, as an abstract class that Peldor's drivers implement. The driver list stands
// for the system's registry of drivers: it names the built-in drivers in a fixed order, and
// creating a driver for an entry gives a fresh driver object.
//
// Threads: the host calls every operation on the window thread (or, for a reset request, on
// the thread that delivered it), never two at once. Drivers call the host's callbacks on
// threads of their own.

#include "audio_io/asio_types.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace peldor {

class IASIODriver {
public:
    virtual ~IASIODriver() = default;

    /// Prepares the driver; true (non-zero) when it is usable. sysHandle identifies the host.
    virtual ASIOBool init(void* sysHandle) = 0;
    /// Writes the driver's name, at most 31 characters and a terminating zero.
    virtual void getDriverName(char* name) = 0;
    virtual std::int32_t getDriverVersion() = 0;
    /// Writes the last error text, at most 123 characters and a terminating zero.
    virtual void getErrorMessage(char* text) = 0;
    virtual ASIOError start() = 0;
    /// Once stop has returned the driver calls no buffer switch until the next start.
    virtual ASIOError stop() = 0;
    virtual ASIOError getChannels(std::int32_t* numInputChannels,
                                  std::int32_t* numOutputChannels) = 0;
    virtual ASIOError getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) = 0;
    virtual ASIOError getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                                    std::int32_t* preferredSize, std::int32_t* granularity) = 0;
    /// ASE_OK when the driver can run at the rate.
    virtual ASIOError canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError setSampleRate(ASIOSampleRate sampleRate) = 0;
    /// clocks has room for *numSources records on entry; *numSources is the count on return.
    virtual ASIOError getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) = 0;
    virtual ASIOError setClockSource(std::int32_t reference) = 0;
    /// ASE_OK when both the sample position and the time stamp are valid.
    virtual ASIOError getSamplePosition(ASIOSamples* samplePosition, ASIOTimeStamp* timeStamp) = 0;
    /// Fills isActive, channelGroup, type and name of the channel named by channel and isInput.
    virtual ASIOError getChannelInfo(ASIOChannelInfo* info) = 0;
    /// Creates both halves of every listed channel's buffer and fills the records' buffers.
    /// The callbacks table must outlive the buffers.
    virtual ASIOError createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                    std::int32_t bufferSize, ASIOCallbacks* callbacks) = 0;
    virtual ASIOError disposeBuffers() = 0;
    virtual ASIOError controlPanel() = 0;
    /// ASE_SUCCESS when the selector is supported or done.
    virtual ASIOError future(std::int32_t selector, void* opt) = 0;
    virtual ASIOError outputReady() = 0;
};

/// Longest driver name the list keeps.
inline constexpr std::size_t kDriverNameMax = 511;

/// One entry of the driver list: the driver's stable name and how to create it.
struct TAsioDriverListEntry {
    std::string Name;
    std::function<std::unique_ptr<IASIODriver>()> Create;
};
using TAsioDriverList = std::vector<TAsioDriverListEntry>;

/// Names of the built-in drivers, in list order.
inline constexpr const char* kJackDriverName = "JACK";
inline constexpr const char* kDummyDriverName = "Dummy";
inline constexpr const char* kWavFileDriverName = "WAV file";

/// The built-in drivers in their fixed order ("JACK", "Dummy", "WAV file"). Each reads its own
/// section of the settings file at iniPath whenever it is initialised. Window thread.
TAsioDriverList BuildDriverList(const std::filesystem::path& iniPath);

/// Creates the driver of an entry. True with a driver; false (driver empty) when the entry has
/// no factory or the factory failed. Window thread.
bool CreateDriver(const TAsioDriverListEntry& entry, std::unique_ptr<IASIODriver>& driver);

} // namespace peldor
