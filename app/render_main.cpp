// peldor-render: renders a show offline from a standard MIDI file into a WAV file.

#include "app/offline_render.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace peldor;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    TRenderOptions options;
    std::string message;
    switch (ParseRenderArguments(arguments, options, message)) {
    case TParseResult::Help:
        std::fputs(RenderUsage().c_str(), stdout);
        return kExitOk;
    case TParseResult::Error:
        std::fprintf(stderr, "peldor-render: %s\n", message.c_str());
        return kExitBadInput;
    case TParseResult::Run:
        break;
    }
    return RunRender(options);
}
