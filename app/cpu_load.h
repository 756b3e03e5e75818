#pragma once
// The processor-load reading of the main window's timer: the share of time the processors were
// busy since the previous reading, averaged over all of them, from the "cpu" line of
// /proc/stat.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace peldor {

/// The time counters of one "cpu" line, in clock ticks.
struct TCpuTimes {
    std::uint64_t Busy = 0;
    std::uint64_t Total = 0;
};

/// Parses the first line of a /proc/stat text ("cpu  user nice system idle iowait irq softirq
/// steal ..."); idle and iowait count as not busy, guest time is already part of user time.
/// Nothing when the text does not start with such a line.
std::optional<TCpuTimes> ParseCpuTimes(std::string_view statText);

/// Busy share 0.0-1.0 between two readings; 0 when no time passed or the counters went back.
double CpuLoadBetween(const TCpuTimes& earlier, const TCpuTimes& later) noexcept;

/// Window thread. Each Read costs one small file read.
class TCpuLoad {
public:
    /// The load since the previous Read (the first Read gives 0).
    double Read();

private:
    std::optional<TCpuTimes> previous;
};

} // namespace peldor
