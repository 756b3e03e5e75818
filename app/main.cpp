// peldor: the program. With a display it opens its windows; with --headless, or without a
// display, it runs the headless runner.

#include "app/headless_runner.h"
#include "app/window_program.h"
#include "plugins/plugin_probe.h"
#include "ui/main_form.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Found(const std::string& path) {
    return path.empty() ? std::string("(not found)") : path;
}

} // namespace

int main(int argc, char** argv) {
    using namespace peldor;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    TRunnerOptions options;
    std::string message;
    switch (ParseRunnerArguments(arguments, options, message)) {
    case TParseResult::Help:
        std::fputs(RunnerUsage().c_str(), stdout);
        // Where this copy of the program finds its files (an installed one beside itself).
        std::printf("\nplugin probe: %s\nhelp page: %s\n", Found(FindPluginProbe()).c_str(),
                    Found(FindHelpPage(kLanguageCodeEnglish).string()).c_str());
        return kExitOk;
    case TParseResult::Error:
        std::fprintf(stderr, "peldor: %s\n", message.c_str());
        return kExitBadInput;
    case TParseResult::Run:
        break;
    }
    if (options.Headless || !options.SaveDemo.empty()) {
        return RunHeadless(options);
    }
    if (!DisplayAvailable()) {
        std::fprintf(stderr, "peldor: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
                             "running headless\n");
        return RunHeadless(options);
    }
    // Qt keeps references to these for the application's lifetime.
    int qtArgc = 1;
    return RunWindowProgram(options, qtArgc, argv);
}
