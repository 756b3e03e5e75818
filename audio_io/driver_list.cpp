#include "audio_io/asio_driver.h"
#include "audio_io/dummy_driver.h"
#include "audio_io/jack_driver.h"
#include "audio_io/wav_file_driver.h"

namespace peldor {

TAsioDriverList BuildDriverList(const std::filesystem::path& iniPath) {
    TAsioDriverList list;
    list.push_back({kJackDriverName, [iniPath] { return std::make_unique<TJackDriver>(iniPath); }});
    list.push_back(
        {kDummyDriverName, [iniPath] { return std::make_unique<TDummyDriver>(iniPath); }});
    list.push_back(
        {kWavFileDriverName, [iniPath] { return std::make_unique<TWavFileDriver>(iniPath); }});
    return list;
}

bool CreateDriver(const TAsioDriverListEntry& entry, std::unique_ptr<IASIODriver>& driver) {
    driver.reset();
    if (!entry.Create) {
        return false;
    }
    try {
        driver = entry.Create();
    } catch (...) {
        driver.reset();
    }
    return driver != nullptr;
}

} // namespace peldor
