// Writes a few language files as the fuzzer's starting corpus.

#include "i18n/language_file.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: pe_fuzz_seeds FOLDER\n", stderr);
        return 1;
    }
    using namespace peldor;
    const auto write = [&](const char* name, const TLanguageSource& source) {
        const std::vector<std::uint8_t> bytes = BuildLanguageModule(source, 0x0407);
        std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    };
    write("empty.wlx", {});
    TLanguageSource small;
    small.Classes["TMAINFORM"] = {{"mnuFile.Caption", "&Datei"}, {"Memo1.Lines(1).", "zwei"}};
    small.Strings[4103] = "kein Instrument";
    write("small.wlx", small);
    TLanguageSource strings;
    strings.Strings[1] = "";
    strings.Strings[120] = "Fehler \"%1\"";
    strings.Classes["A"] = {{"a.b", "c"}};
    strings.Classes["TSLOTLISTFORM"] = {{"btnClose.Caption", "Schließen"}};
    write("strings.wlx", strings);
    return 0;
}
