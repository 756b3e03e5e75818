// libFuzzer target for the language-file reader. Any input must be refused with a reason or
// read without a crash, a leak or an access outside it; what it reads must survive our writer
// and reader unchanged, and what has a readable form must parse back from it.

#include "i18n/language_file.h"
#include "i18n/pe_resources.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fault(const char* what) {
    std::fprintf(stderr, "language file reader fault: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace peldor;
    TPeResources resources;
    std::string reason;
    if (!ReadPeResources(std::span(data, size), resources, reason)) {
        if (reason.empty() || !resources.Named.empty() || !resources.Numbered.empty()) {
            Fault("refused without a reason, or with resources left");
        }
        return 0;
    }
    TLanguageSource source;
    if (!LanguageSourceFromResources(resources, source, reason)) {
        return 0;
    }
    std::erase_if(source.Classes, [](const auto& entry) { return entry.second.empty(); });
    if (!CanFormatLanguageSource(source, reason)) {
        return 0;
    }
    TLanguageSource parsed;
    if (!ParseLanguageSource(FormatLanguageSource(source), parsed, reason)) {
        Fault("the readable form of a language file does not parse");
    }
    TPeResources again;
    if (!ReadPeResources(BuildLanguageModule(parsed, 0x0407), again, reason)) {
        Fault("the writer made a module the reader refuses");
    }
    TLanguageSource back;
    if (!LanguageSourceFromResources(again, back, reason) || !(back == parsed)) {
        Fault("a module written from what was read reads differently");
    }
    return 0;
}
