// peldor-scan: runs the plugin folder scan on a folder, as the program does at start-up (each
// library read by peldor-plugin-probe, through the scan cache), and prints both catalogues in
// scan order. Libraries the scan skipped are listed on stderr with the reason, followed by a
// count of the libraries probed and taken from the cache. Exits 0 when the scan ran, whatever
// it found.

#include "i18n/message_box.h"
#include "i18n/plugins_strings.h"
#include "plugins/catalogue_format.h"
#include "plugins/plugin_probe.h"
#include "plugins/plugin_scan.h"
#include "plugins/vst_host.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr int kExitUsage = 2;

/// Writes the program's message boxes to stderr, except the load errors, which the failure
/// list reports anyway.
class TScanPresenter final : public peldor::IMessageBoxPresenter {
public:
    int ShowMessageBox(const std::string& title, const std::string& text, int /*kind*/, int buttons,
                       int defaultButton) override {
        if (title != peldor::LoadResString(peldor::kStrGetLastErrorTitle)) {
            std::fprintf(stderr, "peldor-scan: %s: %s\n", title.c_str(), text.c_str());
        }
        return peldor::ButtonResult(buttons, defaultButton);
    }
    int ShowInputBox(const std::string& title, const std::string& text, int kind, int buttons,
                     int defaultButton, std::string& /*value*/) override {
        return ShowMessageBox(title, text, kind, buttons, defaultButton);
    }
    void SplashStatus(const std::string& /*text*/) override {}
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: peldor-scan [--json] [--rescan] [--in-process] DIR\n"
                 "Scans DIR for VST 2 plugin libraries (*.so, sub-folders first) as Peldor does\n"
                 "and prints the instrument and effect catalogues in scan order.\n"
                 "  --json         print a JSON array instead of one line per entry\n"
                 "  --rescan       read every library again, whatever the scan cache holds\n"
                 "  --in-process   read the libraries in this process, without probes or cache\n"
                 "                 (a crashing plugin ends the scan)\n");
}

} // namespace

int main(int argc, char** argv) {
    bool json = false;
    peldor::TScanOptions options;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--json") {
            json = true;
        } else if (argument == "--rescan") {
            options.Rescan = true;
        } else if (argument == "--in-process") {
            options.Method = peldor::TScanMethod::InProcess;
        } else if (argument == "--help" || argument == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if (!argument.empty() && argument[0] == '-' && argument != "-") {
            std::fprintf(stderr, "peldor-scan: unknown option %s\n", argument.c_str());
            PrintUsage(stderr);
            return kExitUsage;
        } else if (folder.empty()) {
            folder = argument;
        } else {
            std::fprintf(stderr, "peldor-scan: more than one folder given\n");
            PrintUsage(stderr);
            return kExitUsage;
        }
    }
    if (folder.empty()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        std::fprintf(stderr, "peldor-scan: %s is not a folder\n", folder.c_str());
        return kExitUsage;
    }

    TScanPresenter presenter;
    peldor::SetMessageBoxPresenter(&presenter);
    peldor::TScanReport report;
    {
        peldor::TVstHost host;
        report = peldor::ScanPluginFolder(host, folder, {}, options);
    }
    peldor::SetMessageBoxPresenter(nullptr);

    for (const peldor::TScanFailure& failure : report.Failures) {
        std::fprintf(stderr, "peldor-scan: skipped %s: %s\n", failure.LibraryFile.c_str(),
                     failure.Reason.c_str());
    }
    if (report.ProbeMissing) {
        std::fprintf(stderr, "peldor-scan: %s not found: libraries read in this process\n",
                     peldor::kPluginProbeName);
    }
    if (!report.CacheError.empty()) {
        std::fprintf(stderr, "peldor-scan: scan cache not written: %s\n",
                     report.CacheError.c_str());
    }
    if (!report.InProcess) {
        std::fprintf(stderr, "peldor-scan: %d probed, %d from the cache\n", report.Probed,
                     report.FromCache);
    }
    if (json) {
        std::fputs(
            peldor::CataloguesJson(peldor::InstrumentCatalogue, peldor::EffectCatalogue).c_str(),
            stdout);
    } else {
        for (std::size_t i = 0; i < peldor::InstrumentCatalogue.size(); ++i) {
            std::puts(peldor::FormatCatalogueLine("instrument", i, peldor::InstrumentCatalogue[i])
                          .c_str());
        }
        for (std::size_t i = 0; i < peldor::EffectCatalogue.size(); ++i) {
            std::puts(peldor::FormatCatalogueLine("effect", i, peldor::EffectCatalogue[i]).c_str());
        }
    }
    return 0;
}
