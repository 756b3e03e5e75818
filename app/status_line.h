#pragma once
// The headless runner's status line: driver, sample rate, block size, current song and part,
// processor load, overload, master level and the slots whose plugin failed to load.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace peldor {

class TMainController;

struct TStatusSnapshot {
    double AudioSeconds = 0.0;
    std::string DriverName;
    bool DriverConfigured = false;
    bool DriverOpen = false;
    bool DriverRunning = false;
    /// The driver ended its run on purpose (it is still open and "running").
    bool DriverFinished = false;
    double SampleRate = 0.0;
    std::int32_t BufferSize = 0;
    bool HasProject = false;
    /// 0-based; -1 none.
    std::int32_t Song = -1;
    std::int32_t SongCount = 0;
    std::string SongName;
    std::int32_t Part = -1;
    std::int32_t PartCount = 0;
    std::string PartName;
    std::int32_t CpuPercent = 0;
    bool Overload = false;
    /// One-off remarks (each said in one status line only).
    std::vector<std::string> Notes;
    /// Linear peak of the master's meters; negative without a current part.
    float MasterLevel = -1.0f;
    /// Slot name and why its plugin failed to load.
    std::vector<std::pair<std::string, std::string>> Problems;
    /// File name of each library the plugin scan left out, and why.
    std::vector<std::pair<std::string, std::string>> LeftOut;
};

/// Reads the state. Window thread.
TStatusSnapshot TakeStatus(TMainController& controller, double audioSeconds);

/// One line, for example
/// [   3.0 s] JACK running 48000 Hz 256 | song 1/1 "Demo" | part 2/2 "Up" | CPU 3% | master -12.0
/// dB
std::string FormatStatusLine(const TStatusSnapshot& status);

} // namespace peldor
