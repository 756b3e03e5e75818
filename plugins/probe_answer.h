#pragma once
// The line format in which peldor-plugin-probe answers for one library, and in which the scan
// cache keeps what each library gave. One line per fact, fields separated by single spaces:
//
//   peldor-plugin-probe 1                         first line of a probe's answer
//   stage opening                                 what the probe is about to do
//   entry instrument 0 -1 0 2 1 :Peldor%20Synth   kind IsShell ShellID Inputs Outputs
//                                                 ProgramChunks :PluginName
//   failed :the%20entry%20function%20returned...  why the library gave no entries
//   end                                           the answer is complete
//
// Texts are written behind a ':' with '%', control characters, space and DEL as %XX, so any
// byte string survives and an empty text is a lone ':'. Library file and sub-folder are not
// part of it: the scan knows them. Reading accepts exactly this and nothing else, so a damaged
// answer or cache is recognised rather than half trusted.

#include "plugins/plugin_scan.h"

#include <string>
#include <string_view>

namespace peldor {

/// The probe's answer header.
inline constexpr std::string_view kProbeAnswerHeader = "peldor-plugin-probe 1";

/// ':' + text with the bytes that would break a line or a field escaped.
std::string EncodeAnswerText(std::string_view text);
/// The reverse of EncodeAnswerText; false for anything it cannot have written.
bool DecodeAnswerText(std::string_view token, std::string& text);

/// The "entry ..." and "failed ..." lines of result (without line ends, each followed by '\n').
std::string FormatResultLines(const TLibraryScanResult& result);
/// "stage <what>\n".
std::string FormatStageLine(std::string_view stage);

/// Reads one "entry" or "failed" line into result; false when line is neither or is damaged.
/// Entries get libraryFile and subFolder.
bool ParseResultLine(std::string_view line, const std::string& libraryFile,
                     const std::string& subFolder, TLibraryScanResult& result);

/// What a probe's output said.
struct TProbeAnswer {
    /// The header came first and every line was understood.
    bool Readable = false;
    /// The "end" line came (and nothing after it).
    bool Complete = false;
    /// The last stage the probe announced; empty before the first.
    std::string Stage;
    TLibraryScanResult Result;
};

/// Reads a probe's whole output. Never fails on any bytes: what it cannot read makes the answer
/// not Readable.
TProbeAnswer ParseProbeAnswer(std::string_view output, const std::string& libraryFile,
                              const std::string& subFolder);

} // namespace peldor
