#pragma once
// peldor-render: plays a standard MIDI file into MIDI input 1 of a show and renders the result
// through the "WAV file" driver into a WAV file, faster than real time and the same every time.
// The project is loaded as the program loads it, the chosen part is entered, and each MIDI
// event is routed (through the part's connections, as live) just before the block it falls in.

#include "app/headless_runner.h"

#include <cstdint>
#include <string>
#include <vector>

namespace peldor {

struct TRenderOptions {
    std::string Project;
    std::string Midi;
    std::string Out;
    std::string Ini;
    std::string Registry;
    std::string PluginDir;
    /// 1-based song and part to enter; 0: the file's current one.
    std::int32_t Song = 0;
    std::int32_t Part = 0;
    std::int32_t Rate = 48000;
    /// Frames to render; 0: up to the MIDI file's last event plus Tail seconds.
    std::int64_t Frames = 0;
    double Tail = 1.0;
    bool Trace = false;
};

/// Reads the command line (without the program name). Error: message says why.
TParseResult ParseRenderArguments(const std::vector<std::string>& arguments,
                                  TRenderOptions& options, std::string& message);
std::string RenderUsage();

/// Renders; returns the exit code: 0 done, 2 bad input (arguments, MIDI or project file, part,
/// plugin folder), 1 when the WAV file cannot be written.
int RunRender(const TRenderOptions& options);

} // namespace peldor
