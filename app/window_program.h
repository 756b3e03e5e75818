#pragma once
// The program with its windows: the Qt application, the main controller, the main window and
// the wiring between them, from start-up to the shut-down order after the window closes.

#include "app/headless_runner.h"

namespace peldor {

/// Whether windows can be shown: DISPLAY or WAYLAND_DISPLAY set, or QT_QPA_PLATFORM given.
bool DisplayAvailable();

/// The folder the window program's demo show lives in ($XDG_CACHE_HOME/peldor/demo, else
/// ~/.cache/peldor/demo): it outlives the run, so that the recent-files list may name it.
std::filesystem::path WindowDemoFolder();

/// Runs the window program; returns the exit code (0 after a normal shut-down, 2 for bad
/// input, 1 when it cannot start). argc and argv go to Qt.
int RunWindowProgram(const TRunnerOptions& options, int& argc, char** argv);

} // namespace peldor
