#pragma once
// Helpers of the program-level tests: child processes that are always cleaned up, standard
// MIDI files to feed the renderer, WAV files to read back, and the level of one frequency in a
// stretch of samples.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace peldor::test {

/// A child process whose stdout and stderr go to files. The destructor kills (SIGKILL) and
/// reaps a child that is still running, so a failing test leaves nothing behind.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// Starts program with arguments; environment entries are added to (or replace) the
    /// test's own environment. Output goes to outputFolder/<name>.out and .err.
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& outputFolder, const std::string& name,
               const std::map<std::string, std::string>& environment = {});
    /// Waits up to timeout for the child to end; its exit code, or -signal when a signal ended
    /// it, or nothing when it is still running.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    bool Signal(int signal);
    bool Running() const { return pid > 0; }

    std::string Stdout() const;
    std::string Stderr() const;

private:
    pid_t pid = -1;
    std::filesystem::path outPath;
    std::filesystem::path errPath;
};

/// Runs a program to its end (at most timeout) and gives its exit code (-1 on timeout, after
/// killing it); stdout and stderr are returned through the pointers when given.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& outputFolder,
               std::chrono::milliseconds timeout = std::chrono::seconds(60),
               std::string* out = nullptr, std::string* err = nullptr,
               const std::map<std::string, std::string>& environment = {});

/// Waits until condition holds or timeout passes.
template <typename Condition>
bool WaitUntil(std::chrono::milliseconds timeout, Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

/// One event of a MIDI file to write: delta ticks and the raw bytes (a status may be left out
/// for running status; meta events start with 0xFF).
struct MidiEventBytes {
    std::uint32_t Delta = 0;
    std::vector<std::uint8_t> Bytes;
};
/// The bytes of a standard MIDI file with the given tracks.
std::vector<std::uint8_t> MidiFileBytes(int format, int ticksPerQuarter,
                                        const std::vector<std::vector<MidiEventBytes>>& tracks);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

/// A WAV file read back: samples per channel as floats in -1..1.
struct WavData {
    int Channels = 0;
    int SampleRate = 0;
    int BitsPerSample = 0;
    std::vector<std::vector<float>> Samples;
    std::size_t Frames() const { return Samples.empty() ? 0 : Samples.front().size(); }
};
/// Reads 16/24-bit PCM and 32-bit float files; false when the file is not one of them.
bool ReadWav(const std::filesystem::path& path, WavData& wav);

/// Amplitude of a sine at frequency in samples [begin, end) (Goertzel; a full-scale sine gives
/// about 1.0).
double ToneLevel(const std::vector<float>& samples, std::size_t begin, std::size_t end,
                 double frequency, double sampleRate);

/// The frequency in [lowest, highest] (1 Hz steps) with the highest ToneLevel in samples
/// [begin, end).
double DominantFrequency(const std::vector<float>& samples, std::size_t begin, std::size_t end,
                         double lowest, double highest, double sampleRate);

/// Frequency of MIDI note.
double NoteFrequency(int note);

/// Paths of the program's executables (from the build).
std::string PeldorProgram();
std::string RenderProgram();

} // namespace peldor::test
