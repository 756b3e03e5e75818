#pragma once
// What the audio settings dialog needs of the program's core: the driver list, the chosen
// driver's channels, clock sources and accepted rates, the stored settings, and the operations
// behind its handlers. Every operation writes what it changes to the "ASIO" section of the
// settings file at once, and the engine follows at once. app/ implements this over the main
// controller and the audio host.
//
// Window thread only.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace peldor {

/// The ten channel lists in the dialog's order: Input1-4, OutMainL, OutMainR, OutMon1, OutMon2,
/// OutSoloL, OutSoloR.
inline constexpr int kAudioChannelLists = 10;
inline constexpr int kAudioInputLists = 4;
/// The dialog asks for at most this many clock sources.
inline constexpr int kMaxClockSources = 16;
/// Channel and clock names are shown with at most this many characters.
inline constexpr std::size_t kAudioNameLength = 32;

/// An entry of the rate list: a candidate rate the driver accepts.
struct TRateChoice {
    /// Index 0-14 among the candidate rates.
    int Candidate = 0;
    std::int32_t Hz = 0;
    /// "44.100 kHz" and the like (the value formatter, 5 significant digits).
    std::string Text;
};

/// What the dialog shows: the lists and each one's selection (-1: nothing selected).
struct TAudioSettingsView {
    std::vector<std::string> Drivers;
    int Driver = -1;
    std::vector<std::string> InputNames;
    std::vector<std::string> OutputNames;
    std::vector<std::string> Clocks;
    int Clock = -1;
    std::vector<TRateChoice> Rates;
    int Rate = -1;
    /// Selected channel of each list: an index into InputNames (lists 0-3) or OutputNames.
    std::array<int, kAudioChannelLists> Channels{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    bool SoftwareMonitoring = false;
    /// "5 ms": the block length at the host's rate, whole milliseconds.
    std::string Latency;
};

/// One setting on a built-in driver's settings page.
struct TDriverSetting {
    enum class TKind { Text, Number, Switch, Choice };
    /// The key in the driver's section of the settings file.
    std::string Key;
    std::string Label;
    TKind Kind = TKind::Text;
    /// Range of a Number.
    std::int32_t Min = 0, Max = 0;
    /// Captions of a Choice; its value is the caption's index.
    std::vector<std::string> Choices;
    /// Text; a Number in decimal; a Switch "0" or "1"; a Choice the index.
    std::string Value;
};

/// The settings page of a built-in driver: its section and its settings as stored now.
struct TDriverSettingsPage {
    std::string Driver;
    std::string Section;
    std::vector<TDriverSetting> Settings;
};

class IAudioSettingsCore {
public:
    virtual ~IAudioSettingsCore() = default;

    /// The lists and selections as the core holds them now. Asks the driver, changes nothing.
    virtual TAudioSettingsView View() = 0;
    /// The dialog's creation: every stored setting passed through its handler, so that what the
    /// dialog cannot show (a channel the driver lacks, a rate that is no candidate) is stored
    /// as -1, and the rate and clock reach the driver again. Nothing without an open driver,
    /// whose lists would be empty.
    virtual void ApplyStoredSettings() = 0;
    /// A channel list changed: list 0-9, channel -1 for none.
    virtual void ChooseChannel(int list, int channel) = 0;
    /// The rate or the clock list changed: the selected rate in Hz (-1: none) and clock (-1:
    /// none). The engine and the plugins follow the rate.
    virtual void ChooseRateAndClock(std::int32_t rateHz, int clock) = 0;
    /// A driver chosen: the host stopped, the driver opened with the defaults for a new driver,
    /// everything stored, the host started. Nothing when index is the current driver or out of
    /// range. From then on the driver counts as configured.
    virtual void ChooseDriver(int index) = 0;
    /// The latency text for the host's block size and rate.
    virtual std::string LatencyText() = 0;

    /// The settings page of the chosen driver when it is a built-in one.
    virtual std::optional<TDriverSettingsPage> DriverSettings() = 0;
    /// Writes a page's values (in the page's order) to the driver's section and re-opens the
    /// driver, stopped around the change. False with the reason when a value is not usable;
    /// nothing is written then.
    virtual bool ApplyDriverSettings(const std::vector<std::string>& values,
                                     std::string& error) = 0;
    /// The driver's own control panel (drivers that are not built in).
    virtual void ControlPanel() = 0;
};

} // namespace peldor
