#include "app/audio_setup.h"

#include "app/main_controller.h"
#include "audio_io/dummy_driver.h"
#include "audio_io/jack_driver.h"
#include "audio_io/wav_file_driver.h"
#include "engine/numeric.h"
#include "engine/processor.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace peldor {
namespace {

constexpr const char* kSectionAsio = "ASIO";
constexpr const char* kChannelKeys[kAudioChannelLists] = {
    "Input1",   "Input2",  "Input3",  "Input4",   "OutMainL",
    "OutMainR", "OutMon1", "OutMon2", "OutSoloL", "OutSoloR"};
/// The pairs a newly chosen driver gets: Main L/R, Mon 1/2, Solo bus L/R on outputs 0-5.
constexpr int kFirstOutputList = kAudioInputLists;
constexpr int kRateDigits = 5;
constexpr std::int64_t kMillisecondsPerSecond = 1000;

Relaxed<std::int32_t>& ChannelField(int list) {
    TChannelAssignment& c = ChannelAssignment;
    Relaxed<std::int32_t>* fields[kAudioChannelLists] = {
        &c.Input1,   &c.Input2,  &c.Input3,  &c.Input4,   &c.OutMainL,
        &c.OutMainR, &c.OutMon1, &c.OutMon2, &c.OutSoloL, &c.OutSoloR};
    return *fields[list];
}

std::string ShortName(const char* name) {
    return std::string(name, strnlen(name, kAudioNameLength));
}

/// One setting of a page, with the stored texts of a Choice's entries.
struct PageEntry {
    TDriverSetting Setting;
    std::vector<std::string> ChoiceValues;
};

TDriverSetting Text(const char* key, const char* label, std::string value) {
    TDriverSetting s;
    s.Key = key;
    s.Label = label;
    s.Value = std::move(value);
    return s;
}

TDriverSetting Number(const char* key, const char* label, std::int32_t min, std::int32_t max,
                      std::int64_t value) {
    TDriverSetting s = Text(key, label, std::to_string(value));
    s.Kind = TDriverSetting::TKind::Number;
    s.Min = min;
    s.Max = max;
    return s;
}

TDriverSetting Switch(const char* key, const char* label, bool value) {
    TDriverSetting s = Text(key, label, value ? "1" : "0");
    s.Kind = TDriverSetting::TKind::Switch;
    return s;
}

/// The page of a built-in driver with what its section holds now (as the driver reads it,
/// defaults and limits applied); empty for a driver without a page.
std::vector<PageEntry> PageEntries(const std::string& driver, const TSettingsFile& settings) {
    const std::filesystem::path& ini = settings.Path();
    std::vector<PageEntry> page;
    if (driver == kJackDriverName) {
        const TJackSettings s = TJackSettings::Read(ini);
        page.push_back({Text("Server", "Server name", s.ServerName), {}});
        page.push_back({Text("Client name", "Client name", s.ClientName), {}});
        page.push_back({Number("Inputs", "Inputs", 0, kJackMaxChannels, s.Inputs), {}});
        page.push_back({Number("Outputs", "Outputs", 0, kJackMaxChannels, s.Outputs), {}});
        page.push_back({Switch("Auto connect", "Auto connect", s.AutoConnect), {}});
    } else if (driver == kDummyDriverName) {
        const TDummySettings s = TDummySettings::Read(ini);
        page.push_back({Number("Inputs", "Inputs", 0, kDummyMaxChannels, s.Inputs), {}});
        page.push_back({Number("Outputs", "Outputs", 0, kDummyMaxChannels, s.Outputs), {}});
        page.push_back({Number("Sample rate", "Sample rate", static_cast<int>(kDummyLowestRate),
                               static_cast<int>(kDummyHighestRate), std::lround(s.SampleRate)),
                        {}});
        page.push_back(
            {Number("Buffer size", "Block size", kDummyMinBuffer, kDummyMaxBuffer, s.BufferSize),
             {}});
    } else if (driver == kWavFileDriverName) {
        const TWavFileSettings s = TWavFileSettings::Read(ini);
        // The path as stored (relative to the settings file), not as resolved.
        page.push_back(
            {Text("Path", "Output file", settings.ReadString(driver, "Path", "peldor.wav")), {}});
        page.push_back({Number("Length", "Length (frames, 0: until stopped)", 0,
                               std::numeric_limits<std::int32_t>::max(), s.Length),
                        {}});
        page.push_back({Number("Channels", "Channels", 1, kWavMaxChannels, s.Channels), {}});
        PageEntry format{Text("Format", "Sample format", s.FloatFormat ? "1" : "0"), {"24", "32"}};
        format.Setting.Kind = TDriverSetting::TKind::Choice;
        format.Setting.Choices = {"24-bit PCM", "32-bit float"};
        page.push_back(std::move(format));
    }
    return page;
}

/// The text to store for a page entry's value; false with the reason when it is not usable.
bool StoredText(const PageEntry& entry, const std::string& value, std::string& stored,
                std::string& error) {
    const TDriverSetting& s = entry.Setting;
    const auto whole = [&](std::int64_t& number) {
        const char* end = value.data() + value.size();
        const auto [at, ec] = std::from_chars(value.data(), end, number);
        return ec == std::errc{} && at == end;
    };
    switch (s.Kind) {
    case TDriverSetting::TKind::Text:
        if (value.find_first_of("\r\n") != std::string::npos) {
            error = s.Label + ": a line break cannot be stored.";
            return false;
        }
        if (s.Key != "Server" && value.empty()) {
            error = s.Label + " must not be empty.";
            return false;
        }
        stored = value;
        return true;
    case TDriverSetting::TKind::Number: {
        std::int64_t number = 0;
        if (!whole(number) || number < s.Min || number > s.Max) {
            error = s.Label + " must be a whole number from " + std::to_string(s.Min) + " to " +
                    std::to_string(s.Max) + ".";
            return false;
        }
        stored = std::to_string(number);
        return true;
    }
    case TDriverSetting::TKind::Switch:
        if (value != "0" && value != "1") {
            error = s.Label + " must be 0 or 1.";
            return false;
        }
        stored = value;
        return true;
    case TDriverSetting::TKind::Choice: {
        std::int64_t index = 0;
        if (!whole(index) || index < 0 ||
            index >= static_cast<std::int64_t>(entry.ChoiceValues.size())) {
            error = s.Label + ": no such choice.";
            return false;
        }
        stored = entry.ChoiceValues[static_cast<std::size_t>(index)];
        return true;
    }
    }
    return false;
}

} // namespace

const char* ChannelListKey(int list) {
    return list >= 0 && list < kAudioChannelLists ? kChannelKeys[list] : "";
}

void TAudioSetup::WriteValue(const char* key, std::int32_t value) {
    std::string error;
    if (!main.settings.WriteInteger(kSectionAsio, key, value, &error)) {
        main.TraceStep(std::string("audio setting \"") + key + "\" not written: " + error);
    }
}

std::vector<TRateChoice> TAudioSetup::SupportedRates() {
    std::vector<TRateChoice> rates;
    if (main.asio->Driver() == nullptr) {
        return rates;
    }
    for (std::size_t i = 0; i < kCandidateSampleRates.size(); ++i) {
        const std::int32_t hz = kCandidateSampleRates[i];
        if (main.asio->CanSampleRate(static_cast<double>(hz)) == ASE_OK) {
            rates.push_back({static_cast<int>(i), hz,
                             FormatValue(kRateDigits, "Hz", false, static_cast<float>(hz))});
        }
    }
    return rates;
}

std::vector<std::string> TAudioSetup::ClockSources(int* current) {
    std::vector<std::string> names;
    if (current != nullptr) {
        *current = -1;
    }
    std::array<ASIOClockSource, kMaxClockSources> clocks{};
    std::int32_t count = kMaxClockSources;
    if (main.asio->GetClockSources(clocks.data(), &count) != ASE_OK) {
        return names;
    }
    for (std::int32_t i = 0; i < std::min(count, kMaxClockSources); ++i) {
        const ASIOClockSource& clock = clocks[static_cast<std::size_t>(i)];
        names.push_back(ShortName(clock.name));
        if (current != nullptr && clock.isCurrentSource != 0) {
            *current = i;
        }
    }
    return names;
}

std::string TAudioSetup::LatencyText() {
    const long rate = std::lround(main.asio->SampleRate());
    const std::int64_t samples = main.asio->BufferSize();
    const std::int64_t ms = rate > 0 ? samples * kMillisecondsPerSecond / rate : 0;
    return std::to_string(ms) + " ms";
}

TAudioSettingsView TAudioSetup::View() {
    TAudioSettingsView view;
    const TAudioSettings& audio = main.audio;
    view.Drivers = main.asio->DriverList();
    const auto inList = [](int value, std::size_t count) {
        return value >= 0 && static_cast<std::size_t>(value) < count ? value : -1;
    };
    view.Driver = inList(audio.AudioDriver, view.Drivers.size());
    for (const ASIOChannelInfo& info : main.asio->InputChannelInfos()) {
        view.InputNames.push_back(ShortName(info.name));
    }
    for (const ASIOChannelInfo& info : main.asio->OutputChannelInfos()) {
        view.OutputNames.push_back(ShortName(info.name));
    }
    view.Clocks = ClockSources();
    view.Clock = inList(audio.ClockSource, view.Clocks.size());
    view.Rates = SupportedRates();
    for (std::size_t i = 0; i < view.Rates.size(); ++i) {
        if (view.Rates[i].Hz == audio.AudioSampleRate) {
            view.Rate = static_cast<int>(i);
        }
    }
    for (int list = 0; list < kAudioChannelLists; ++list) {
        const std::size_t count =
            list < kAudioInputLists ? view.InputNames.size() : view.OutputNames.size();
        view.Channels[static_cast<std::size_t>(list)] = inList(ChannelField(list), count);
    }
    view.SoftwareMonitoring = audio.SoftwareMonitoring;
    view.Latency = LatencyText();
    return view;
}

void TAudioSetup::ApplyStoredSettings() {
    if (main.asio->Driver() == nullptr) {
        // Without an open driver (its server not started yet, no driver chosen) the lists are
        // empty: rewriting the settings as the dialog shows them would lose the whole channel
        // assignment and the rate before the driver ever comes back.
        return;
    }
    const TAudioSettingsView view = View();
    std::int32_t rate = view.Rate >= 0 ? view.Rates[static_cast<std::size_t>(view.Rate)].Hz : -1;
    if (rate < 0 &&
        main.asio->CanSampleRate(static_cast<double>(main.audio.AudioSampleRate)) != ASE_OK) {
        // The driver refuses the stored rate and runs at its own: show and keep that one, so
        // that the engine and the plugins run at the driver's rate.
        const long actual = std::lround(main.asio->SampleRate());
        for (const TRateChoice& choice : view.Rates) {
            rate = choice.Hz == actual ? choice.Hz : rate;
        }
    }
    ChooseRateAndClock(rate, view.Clock);
    for (int list = 0; list < kAudioChannelLists; ++list) {
        ChooseChannel(list, view.Channels[static_cast<std::size_t>(list)]);
    }
}

void TAudioSetup::ChooseChannel(int list, int channel) {
    if (list < 0 || list >= kAudioChannelLists) {
        return;
    }
    const std::int32_t value = std::max(channel, -1);
    ChannelField(list) = value;
    WriteValue(kChannelKeys[list], value);
}

void TAudioSetup::ChooseRateAndClock(std::int32_t rateHz, int clock) {
    const std::int32_t clockIndex = std::max(clock, -1);
    WriteValue("Clock source", clockIndex);
    main.audio.ClockSource = clockIndex;
    if (clockIndex != -1) {
        main.asio->SetClockSource(clockIndex);
    }
    if (rateHz > 0) {
        WriteValue("Sample rate", rateHz);
        main.asio->SetSampleRate(static_cast<double>(rateHz));
        main.ASIOSampleRateChanged();
        main.audio.AudioSampleRate = rateHz;
    } else {
        WriteValue("Sample rate", -1);
    }
}

void TAudioSetup::ChooseDriver(int index) {
    TASIOHost& asio = *main.asio;
    if (index < 0 || index >= asio.GetNumDrivers() || index == main.audio.AudioDriver) {
        return;
    }
    asio.SetActive(false);
    asio.SetDriverIndex(index);
    main.audio.AudioDriver = index;
    // Chosen here, the driver is the configured one: the idle handler keeps it running.
    main.driverConfigured = true;

    // The defaults for a new driver: its first clock, its lowest rate, inputs 1-4 on its first
    // inputs and the output pairs on its first outputs, as far as it has them.
    const std::vector<std::string> clocks = ClockSources();
    const int clock = clocks.empty() ? -1 : 0;
    const std::vector<TRateChoice> rates = SupportedRates();
    ChooseRateAndClock(rates.empty() ? -1 : rates.front().Hz, clock);
    if (rates.empty() && asio.Driver() != nullptr) {
        // The engine still follows the new driver's block size.
        main.ASIOSampleRateChanged();
    }
    const std::int32_t inputs = asio.InputChannelCount();
    const std::int32_t outputs = asio.OutputChannelCount();
    for (int list = 0; list < kAudioChannelLists; ++list) {
        const bool input = list < kAudioInputLists;
        const int channel = input ? list : list - kFirstOutputList;
        ChooseChannel(list, channel < (input ? inputs : outputs) ? channel : -1);
    }
    WriteValue("Driver", index);
    asio.SetActive(true);
}

std::string TAudioSetup::ChosenDriverName() {
    const std::vector<std::string> drivers = main.asio->DriverList();
    const int index = main.audio.AudioDriver;
    return index >= 0 && static_cast<std::size_t>(index) < drivers.size()
               ? drivers[static_cast<std::size_t>(index)]
               : std::string();
}

std::optional<TDriverSettingsPage> TAudioSetup::DriverSettings() {
    const std::string driver = ChosenDriverName();
    std::vector<PageEntry> entries = PageEntries(driver, main.settings);
    if (entries.empty()) {
        return std::nullopt;
    }
    TDriverSettingsPage page;
    page.Driver = driver;
    page.Section = driver;
    for (PageEntry& entry : entries) {
        page.Settings.push_back(std::move(entry.Setting));
    }
    return page;
}

bool TAudioSetup::ApplyDriverSettings(const std::vector<std::string>& values, std::string& error) {
    const std::string driver = ChosenDriverName();
    const std::vector<PageEntry> entries = PageEntries(driver, main.settings);
    if (entries.empty() || values.size() != entries.size()) {
        error = "The driver \"" + driver + "\" has no settings page.";
        return false;
    }
    std::vector<std::pair<std::string, std::string>> stored;
    bool rateChanged = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::string text;
        if (!StoredText(entries[i], values[i], text, error)) {
            return false;
        }
        stored.emplace_back(entries[i].Setting.Key, text);
        // A rate changed on the page is the one the user wants; one left alone gives way to
        // the dialog's rate.
        rateChanged = rateChanged ||
                      (entries[i].Setting.Key == "Sample rate" && text != entries[i].Setting.Value);
    }
    if (!main.settings.Write(driver, stored, &error)) {
        return false;
    }

    // The driver reads its section when it is opened: open it afresh, stopped meanwhile.
    TASIOHost& asio = *main.asio;
    const bool wasActive = asio.Active();
    asio.SetActive(false);
    if (asio.DriverIndex() != main.audio.AudioDriver) {
        asio.SetDriverIndex(main.audio.AudioDriver);
    } else {
        asio.OpenDriver();
    }
    if (asio.Driver() != nullptr) {
        if (rateChanged) {
            main.audio.AudioSampleRate = static_cast<std::int32_t>(std::lround(asio.SampleRate()));
        }
        main.ASIOSampleRateChanged();
    }
    // Channels the driver no longer has are stored as -1, the rate and clock passed again.
    ApplyStoredSettings();
    if (wasActive || main.driverConfigured) {
        asio.SetActive(true);
    }
    return true;
}

void TAudioSetup::ControlPanel() {
    main.asio->ControlPanel();
}

} // namespace peldor
