// peldor-plugin-probe LIBRARY: reads one plugin library exactly as the plugin folder scan
// reads it in process (entry function, magic test, Open, the want-MIDI and category decision,
// name, channel counts, chunk flag, or the shell's sub-plugins) and writes what it found to
// stdout in the probe answer format (plugins/probe_answer.h), then ends.
//
// The scan runs it once per library, so a plugin that crashes, hangs or ends the process takes
// only the probe with it. Before each step the probe writes which step it is taking, so a
// probe that dies can be told where. Whatever the plugin itself writes to stdout goes to
// stderr, where it cannot spoil the answer.

#include "plugins/plugin_scan.h"
#include "plugins/probe_answer.h"
#include "plugins/vst_host.h"
#include "plugins/vst_plugin.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

// A plugin's crash must end the probe on its signal, which the scan reads; the address
// sanitizer's own reports would turn it into an ordinary exit code.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:"
           "detect_leaks=0";
}

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitNoAnswer = 1;

int answerFd = -1;

/// Writes the whole text straight to the answer, unbuffered: what is written survives a crash
/// a moment later.
bool Answer(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(answerFd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0' || std::string(argv[1]) == "--help") {
        std::fprintf(stderr, "Usage: peldor-plugin-probe LIBRARY\n"
                             "Reads one VST 2 plugin library as Peldor's plugin scan does and\n"
                             "prints what it found.\n");
        return argc == 2 && std::string(argv[1]) == "--help" ? 0 : kExitUsage;
    }
    answerFd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (answerFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        return kExitNoAnswer;
    }
    if (!Answer(std::string(peldor::kProbeAnswerHeader) + '\n')) {
        return kExitNoAnswer;
    }

    peldor::TVstHost host;
    peldor::TVstPlugIn& scratch = host.VstPlugIns().Add();
    peldor::CurrentShellPluginId = 0;
    peldor::TScanEnvironment environment;
    environment.Stage = [](const char* stage) { Answer(peldor::FormatStageLine(stage)); };
    const peldor::TLibraryScanResult result =
        peldor::ScanLibrary(scratch, argv[1], {}, environment);
    if (!Answer(peldor::FormatResultLines(result) + "end\n")) {
        ::_exit(kExitNoAnswer);
    }
    // The library stays loaded as the in-process scan leaves it: its destructors and the
    // host's are not run, so a plugin that crashes while it is torn down cannot spoil an
    // answer that is already complete.
    std::fflush(stderr);
    ::_exit(0);
}
