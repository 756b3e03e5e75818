// peldor: the program. Until it has a graphical interface it runs the headless runner, with or
// without "--headless".

#include "app/headless_runner.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace peldor;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    TRunnerOptions options;
    std::string message;
    switch (ParseRunnerArguments(arguments, options, message)) {
    case TParseResult::Help:
        std::fputs(RunnerUsage().c_str(), stdout);
        return kExitOk;
    case TParseResult::Error:
        std::fprintf(stderr, "peldor: %s\n", message.c_str());
        return kExitBadInput;
    case TParseResult::Run:
        break;
    }
    return RunHeadless(options);
}
