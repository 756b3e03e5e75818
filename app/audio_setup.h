#pragma once
// The audio settings dialog's operations over the main controller: the driver, rate, clock and
// channel choices, each stored in the "ASIO" section of the settings file at once and followed
// by the engine at once (the channel assignment, ASIOSampleRateChanged), and the settings pages
// of the built-in drivers, which re-open the driver when they change.
//
// Window thread only.

#include "ui/audio_settings_core.h"

#include <array>
#include <cstdint>

namespace peldor {

class TMainController;

/// The rates the dialog offers, in this order (candidate index 0-14).
inline constexpr std::array<std::int32_t, 15> kCandidateSampleRates{
    11025, 12000, 16000, 22050,  24000,  32000,  44100, 48000,
    64000, 88200, 96000, 128000, 176400, 192000, 256000};

/// The settings key of channel list 0-9 in the "ASIO" section.
const char* ChannelListKey(int list);

class TAudioSetup final : public IAudioSettingsCore {
public:
    /// The controller must have been started and must outlive this object.
    explicit TAudioSetup(TMainController& controller) : main(controller) {}

    TAudioSettingsView View() override;
    void ApplyStoredSettings() override;
    void ChooseChannel(int list, int channel) override;
    void ChooseRateAndClock(std::int32_t rateHz, int clock) override;
    void ChooseDriver(int index) override;
    std::string LatencyText() override;

    std::optional<TDriverSettingsPage> DriverSettings() override;
    bool ApplyDriverSettings(const std::vector<std::string>& values, std::string& error) override;
    void ControlPanel() override;

private:
    /// The candidates the open driver accepts; empty without driver.
    std::vector<TRateChoice> SupportedRates();
    /// The driver's clock names and the index of the one it reports current (-1 when none
    /// does); empty when the driver answers with an error.
    std::vector<std::string> ClockSources(int* current = nullptr);
    void WriteValue(const char* key, std::int32_t value);
    /// The chosen driver's name from the list (empty for none).
    std::string ChosenDriverName();

    TMainController& main;
};

} // namespace peldor
