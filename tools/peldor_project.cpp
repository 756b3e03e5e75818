// peldor-project: looks into and rewrites project files.
//
//   peldor-project dump FILE      every stored field as one JSON object (exit 0)
//   peldor-project check FILE     "ok" (exit 0)
//   peldor-project copy IN OUT    reads IN into the program and saves it as OUT (exit 0)
//
// A file that cannot be read or is damaged gives exit code 2 and the reader's message on
// stderr; a failed save exit code 3; wrong usage exit code 1.

#include "engine/strip_table.h"
#include "project/device_selection.h"
#include "project/project_file.h"
#include "project/project_json.h"
#include "project/project_links.h"
#include "project/window_layout.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitUnreadable = 2;
constexpr int kExitNotSaved = 3;

int Usage() {
    std::fputs("usage: peldor-project dump FILE\n"
               "       peldor-project check FILE\n"
               "       peldor-project copy IN OUT\n",
               stderr);
    return kExitUsage;
}

int Dump(const char* path, bool printJson) {
    peldor::TProjectFileImage image;
    std::string message;
    if (!peldor::LoadProjectImage(path, image, message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return kExitUnreadable;
    }
    if (printJson) {
        const std::string json = peldor::ProjectImageToJson(image);
        std::fwrite(json.data(), 1, json.size(), stdout);
        std::fputc('\n', stdout);
    } else {
        std::puts("ok");
    }
    return kExitOk;
}

int Copy(const char* in, const char* out) {
    // The program as far as a file reaches it: 16 devices of each kind that remember their
    // choice, windows that remember their places, no audio running.
    peldor::TMemoryDeviceSelection devices;
    peldor::TMemoryWindowLayout layout;
    peldor::ProjectLinks.Devices = &devices;
    peldor::ProjectLinks.Layout = &layout;
    peldor::StripReleaseWaitMs = 0;
    peldor::InitStripTable();

    std::string message;
    int result = kExitOk;
    if (!peldor::LoadProjectFile(in, message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        result = kExitUnreadable;
    } else if (!peldor::SaveProjectFile(out, message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        result = kExitNotSaved;
    }
    peldor::DestroyProject();
    peldor::ProjectLinks = peldor::TProjectLinks{};
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    const std::string_view command = argv[1];
    if (command == "dump" && argc == 3) {
        return Dump(argv[2], true);
    }
    if (command == "check" && argc == 3) {
        return Dump(argv[2], false);
    }
    if (command == "copy" && argc == 4) {
        return Copy(argv[2], argv[3]);
    }
    return Usage();
}
