#pragma once
// The headless runner: a show without windows, for a small box on stage. It starts the program
// as the main window does, opens a project, answers the remote commands from MIDI, prints a
// status line about once a second and shuts down in the normal order on SIGINT or SIGTERM (or
// after a given length of audio).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace peldor {

struct TRunnerOptions {
    std::string Project;
    std::string Ini;
    std::string Registry;
    std::string Driver;
    std::string PluginDir;
    /// Seconds of audio to play before stopping; none: until a signal.
    std::optional<double> Duration;
    /// Play the demo show (see demo_show.h).
    bool Demo = false;
    /// Write the demo's show to this file and end.
    std::string SaveDemo;
    /// One line per start-up and shut-down step on stderr.
    bool Trace = false;
    /// "--headless": no windows even when a display is available.
    bool Headless = false;
    /// Read every plugin library again, whatever the scan cache holds.
    bool RescanPlugins = false;
    /// Seconds between status lines.
    double StatusInterval = 1.0;
};

enum class TParseResult { Run, Help, Error };

/// Reads the command line (without the program name). Error: message says why.
TParseResult ParseRunnerArguments(const std::vector<std::string>& arguments,
                                  TRunnerOptions& options, std::string& message);

/// The --help text.
std::string RunnerUsage();

/// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitBadInput = 2;

/// Checks the settings path, the driver name and the plugin folder before anything is opened.
/// False with the reason in message.
bool CheckRunnerInput(const TRunnerOptions& runner, const std::filesystem::path& iniPath,
                      std::string& message);

/// Runs the show; returns the process exit code: 0 after a normal shut-down, 2 for an unknown
/// driver, a missing or damaged project file, a missing plugin folder or other bad input
/// (nothing is changed then), 1 when the program cannot start.
int RunHeadless(const TRunnerOptions& options);

} // namespace peldor
