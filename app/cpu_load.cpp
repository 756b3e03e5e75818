#include "app/cpu_load.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace peldor {

std::optional<TCpuTimes> ParseCpuTimes(std::string_view statText) {
    constexpr std::string_view kPrefix = "cpu ";
    if (statText.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    const std::size_t end = statText.find('\n');
    std::string_view line =
        statText.substr(kPrefix.size(), end == std::string_view::npos ? std::string_view::npos
                                                                      : end - kPrefix.size());
    // user nice system idle iowait irq softirq steal; guest and guest_nice are included in
    // user and nice already.
    constexpr int kCounted = 8;
    constexpr int kIdle = 3;
    constexpr int kIoWait = 4;
    std::uint64_t fields[kCounted] = {};
    int found = 0;
    while (found < kCounted) {
        while (!line.empty() && line.front() == ' ') {
            line.remove_prefix(1);
        }
        if (line.empty()) {
            break;
        }
        std::uint64_t value = 0;
        const auto [next, error] = std::from_chars(line.data(), line.data() + line.size(), value);
        if (error != std::errc()) {
            return std::nullopt;
        }
        fields[found++] = value;
        line.remove_prefix(static_cast<std::size_t>(next - line.data()));
    }
    constexpr int kMinimumFields = 4; // kernels before 2.6 had only user nice system idle
    if (found < kMinimumFields) {
        return std::nullopt;
    }
    TCpuTimes times;
    for (int i = 0; i < found; ++i) {
        times.Total += fields[i];
        if (i != kIdle && i != kIoWait) {
            times.Busy += fields[i];
        }
    }
    return times;
}

double CpuLoadBetween(const TCpuTimes& earlier, const TCpuTimes& later) noexcept {
    if (later.Total <= earlier.Total || later.Busy < earlier.Busy) {
        return 0.0;
    }
    const double share = static_cast<double>(later.Busy - earlier.Busy) /
                         static_cast<double>(later.Total - earlier.Total);
    return share > 1.0 ? 1.0 : share;
}

double TCpuLoad::Read() {
    std::ifstream stat("/proc/stat");
    std::string firstLine;
    std::getline(stat, firstLine);
    const std::optional<TCpuTimes> now = ParseCpuTimes(firstLine);
    if (!now) {
        return 0.0;
    }
    const double load = previous ? CpuLoadBetween(*previous, *now) : 0.0;
    previous = now;
    return load;
}

} // namespace peldor
