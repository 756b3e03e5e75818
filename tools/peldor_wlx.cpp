// peldor-wlx: language files from their readable sources, and back.
//   peldor-wlx build SOURCE.txt LCID OUT.wlx   (LCID in hexadecimal, e.g. 0407)
//   peldor-wlx dump FILE.wlx                   (the readable form on standard output)

#include "i18n/language_file.h"
#include "i18n/pe_resources.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

namespace {

int Usage() {
    std::fputs("usage: peldor-wlx build SOURCE.txt LCID OUT.wlx   (LCID hexadecimal, e.g. 0407)\n"
               "       peldor-wlx dump FILE.wlx\n",
               stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "peldor-wlx: %s\n", message.c_str());
    return 1;
}

int Build(const std::string& sourcePath, std::string_view lcidText, const std::string& outPath) {
    unsigned lcid = 0;
    const auto [end, error] =
        std::from_chars(lcidText.data(), lcidText.data() + lcidText.size(), lcid, 16);
    if (error != std::errc{} || end != lcidText.data() + lcidText.size() || lcid > 0xFFFF) {
        return Fail("\"" + std::string(lcidText) + "\" is not a hexadecimal language identifier");
    }
    std::ifstream in(sourcePath, std::ios::binary);
    if (!in) {
        return Fail("cannot open \"" + sourcePath + "\"");
    }
    std::ostringstream text;
    text << in.rdbuf();
    peldor::TLanguageSource source;
    std::string reason;
    if (!peldor::ParseLanguageSource(text.str(), source, reason)) {
        return Fail(sourcePath + ": " + reason);
    }
    const std::vector<std::uint8_t> module =
        peldor::BuildLanguageModule(source, static_cast<std::uint16_t>(lcid));
    // Written beside and renamed, so a failed build never leaves half a language file.
    const std::string temporary = outPath + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(module.data()),
                  static_cast<std::streamsize>(module.size()));
        if (!out.flush()) {
            std::remove(temporary.c_str());
            return Fail("cannot write \"" + temporary + "\"");
        }
    }
    if (std::rename(temporary.c_str(), outPath.c_str()) != 0) {
        std::remove(temporary.c_str());
        return Fail("cannot write \"" + outPath + "\"");
    }
    return 0;
}

int Dump(const std::string& path) {
    peldor::TPeResources resources;
    std::string reason;
    if (!peldor::ReadPeResourceFile(path, resources, reason)) {
        return Fail(path + ": " + reason);
    }
    peldor::TLanguageSource source;
    if (!peldor::LanguageSourceFromResources(resources, source, reason) ||
        !peldor::CanFormatLanguageSource(source, reason)) {
        return Fail(path + ": " + reason);
    }
    std::cout << peldor::FormatLanguageSource(source);
    return std::cout.flush() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string_view(argv[1]) == "build") {
        return Build(argv[2], argv[3], argv[4]);
    }
    if (argc == 3 && std::string_view(argv[1]) == "dump") {
        return Dump(argv[2]);
    }
    return Usage();
}
