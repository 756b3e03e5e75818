// Writes a few valid project files as the fuzzer's starting corpus.

#include "tests/project/project_samples.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: project_fuzz_seeds FOLDER\n", stderr);
        return 1;
    }
    using namespace peldor;
    const auto write = [&](const char* name, const TProjectFileImage& image) {
        const TByteBuffer bytes = test::FileBytes(image);
        std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    };
    write("empty.pdp", test::EmptyImage());
    write("rich.pdp", test::RichImage());
    write("small.pdp", test::LargeImage(1, 1, 2, 8));
    return 0;
}
