// libFuzzer target for the project file reader. Any input must be refused or accepted without
// a crash, a leak or an out-of-bounds access; an accepted file must write back into a file that
// reads again and writes to the very same bytes; and reading it into the program must work.

#include "project/project_file.h"
#include "project/project_json.h"
#include "project/project_links.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void Fault(const char* what) {
    std::fprintf(stderr, "project reader fault: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace peldor;
    StripReleaseWaitMs = 0;

    TProjectFileImage image;
    TFileDamage damage;
    if (!ParseProjectFile(std::span(data, size), image, damage)) {
        if (damage.What.empty() || damage.Offset > size) {
            Fault("damage without a description or beyond the input");
        }
        return 0;
    }

    TByteBuffer written;
    WriteProjectFile(image, written);
    TProjectFileImage again;
    if (!ParseProjectFile(written, again, damage)) {
        Fault("the writer made a file the reader refuses");
    }
    TByteBuffer rewritten;
    WriteProjectFile(again, rewritten);
    if (rewritten != written) {
        Fault("writing a file read back from the writer changed its bytes");
    }
    (void)ProjectImageToJson(image);

    TMemoryDeviceSelection devices(4, 4);
    TMemoryWindowLayout layout;
    ProjectLinks.Devices = &devices;
    ProjectLinks.Layout = &layout;
    ReadProject(image);
    ReadWindowLayout(image);
    TByteBuffer saved;
    TByteWriter writer(saved);
    WriteProject(writer);
    WriteWindowLayout(writer);
    DestroyProject();
    ProjectLinks = TProjectLinks{};
    if (!ParseProjectFile(saved, again, damage)) {
        Fault("the program saved a file the reader refuses");
    }
    return 0;
}
