// Language files: our writer, our reader, a module made by binutils' resource compiler and
// linker, damaged modules, the readable source and the peldor-wlx tool.

#include "i18n/language_file.h"
#include "i18n/pe_resources.h"
#include "i18n/utf16.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace peldor::test {
namespace {

TLanguageSource Sample() {
    TLanguageSource source;
    source.Classes["TMAINFORM"] = {{"MainForm.Caption", "Hauptfenster"},
                                   {"NewProject.Hint", "Neues Projekt|Ein neues Projekt anlegen"},
                                   {"Memo1.Lines(2).", "dritte Zeile"},
                                   {"btnOK.Caption", ""}};
    source.Classes["TFORM"] = {{"Form.Caption", "Grüße \xF0\x9F\x8E\xB9 \\ Tab\there"}};
    source.Strings[4103] = "kein Instrument";
    source.Strings[120] = "Fehler bei \"%1\".\nFehlermeldung:\n%2";
    source.Strings[7] = "";
    source.Strings[65535] = "Suche: ";
    return source;
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

bool Refused(const std::vector<std::uint8_t>& file, std::string& reason) {
    TPeResources resources;
    const bool read = ReadPeResources(file, resources, reason);
    EXPECT_TRUE(read || !reason.empty());
    EXPECT_TRUE(read || (resources.Named.empty() && resources.Numbered.empty()));
    return !read;
}

TEST(LanguageFile, ModuleRoundTripAndReadableSource) {
    const TLanguageSource source = Sample();
    const std::vector<std::uint8_t> module = BuildLanguageModule(source, 0x0407);
    TPeResources resources;
    std::string reason;
    ASSERT_TRUE(ReadPeResources(module, resources, reason)) << reason;
    // Names are found in upper case; an empty string resource is kept (empty).
    EXPECT_TRUE(resources.Named.contains("TMAINFORM"));
    EXPECT_TRUE(resources.Numbered.at(7).empty());
    // Resource strings are UTF-16 without terminator: size / 2 characters.
    EXPECT_EQ(resources.Numbered.at(4103).size(), 2u * 15);
    TLanguageSource back;
    ASSERT_TRUE(LanguageSourceFromResources(resources, back, reason)) << reason;
    EXPECT_EQ(back, source);

    // The readable form parses back to the same, escapes, trailing spaces and all.
    TLanguageSource parsed;
    ASSERT_TRUE(ParseLanguageSource(FormatLanguageSource(source), parsed, reason)) << reason;
    EXPECT_EQ(parsed, source);

    // Comments, blank lines, CRLF line ends and lower-case class names.
    ASSERT_TRUE(ParseLanguageSource("; comment\r\n\r\n  tmainform a.Caption =x\r\n#5 =\r\n", parsed,
                                    reason))
        << reason;
    EXPECT_EQ(parsed.Classes.at("TMAINFORM"), (std::vector<TTranslationEntry>{{"a.Caption", "x"}}));
    EXPECT_EQ(parsed.Strings.at(5), "");
}

TEST(LanguageFile, SourceMistakesNameTheirLine) {
    TLanguageSource parsed;
    std::string reason;
    for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
             {"#1 = a\nTMAINFORM Caption\n", "line 2: "},
             {"#0 = zero\n", "line 1: resource-string identifier 0"},
             {"#65536 = big\n", "outside 1-65535"},
             {"#x = a\n", "identifier is expected"},
             {"#3 = a\n; c\n#3 = b\n", "line 3: resource string 3 is translated twice"},
             {"T a.B = bad \\q escape\n", "unknown escape"},
             {"T a.B = ends \\", "lone"},
             {"TMAINFORM\n", "expected"},
         }) {
        EXPECT_FALSE(ParseLanguageSource(text, parsed, reason)) << text;
        EXPECT_NE(reason.find(expected), std::string::npos) << text << " -> " << reason;
    }
}

TEST(LanguageFile, EntryStreamCutShortKeepsTheEntriesBefore) {
    const std::vector<TTranslationEntry> entries{{"a.Caption", "eins"}, {"b.Caption", "zwei"}};
    std::vector<std::uint8_t> data = EncodeTranslationEntries(entries);
    std::vector<TTranslationEntry> read;
    std::string reason;
    ASSERT_TRUE(DecodeTranslationEntries(data, read, reason));
    EXPECT_EQ(read, entries);
    const std::size_t firstSize = EncodeTranslationEntries({entries[0]}).size();
    for (std::size_t cut = 1; cut < data.size(); ++cut) {
        if (data.size() - cut == firstSize) {
            continue;
        }
        const std::span<const std::uint8_t> part(data.data(), data.size() - cut);
        EXPECT_FALSE(DecodeTranslationEntries(part, read, reason)) << cut;
        EXPECT_LE(read.size(), 1u);
    }
    // An odd byte count is not UTF-16.
    PutU32(data, 0, 3);
    EXPECT_FALSE(DecodeTranslationEntries(data, read, reason));
    EXPECT_TRUE(read.empty());
}

TEST(Utf16, ConversionsReplaceWhatIsMalformed) {
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("Eingänge \xF0\x9F\x8E\xB9")), "Eingänge \xF0\x9F\x8E\xB9");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x8E\xB9").size(), 2u);
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");         // cut short
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");       // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80x"), u"\uFFFDx"); // an encoded surrogate
    EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx"); // a lone surrogate
    EXPECT_EQ(Utf16LeBytesToUtf8(std::vector<std::uint8_t>{'O', 0, 'K', 0, 'x'}), "OK");
}

// Every prefix of a module must be refused or read, never read outside it (ASan watches);
// the header fields that point elsewhere refuse the file with a reason.
TEST(PeResources, DamagedModulesAreRefused) {
    const std::vector<std::uint8_t> good = BuildLanguageModule(Sample(), 0x0407);
    std::string reason;
    for (std::size_t size = 0; size < good.size(); ++size) {
        const std::vector<std::uint8_t> cut(good.begin(),
                                            good.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_TRUE(Refused(cut, reason)) << "truncated to " << size;
    }

    const std::size_t pe = U32(good, 0x3C);
    const std::size_t optional = pe + 24;
    const std::size_t section = optional + 240;
    const std::size_t rsrc = U32(good, section + 20);
    const std::size_t typeDirectory = rsrc + 24;
    const std::size_t items = Sample().Classes.size() + Sample().Strings.size();
    const std::size_t languageDirectories = typeDirectory + 16 + 8 * items;
    const std::size_t dataEntries = languageDirectories + 24 * items;
    const auto patched = [&](std::size_t at, std::uint32_t value) {
        std::vector<std::uint8_t> bad = good;
        PutU32(bad, at, value);
        return bad;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> file;
        const char* reason;
    };
    const std::vector<Case> cases{
        {"no MZ", patched(0, 0), "not a PE file"},
        {"PE offset past the end", patched(0x3C, 0x7FFFFFF0), "no PE signature"},
        {"section data past the end", patched(section + 16, 0x100000), "past the end"},
        {"section data offset past the end", patched(section + 20, 0xFFFFFFF0), "past the end"},
        {"resource address in no section", patched(optional + 112 + 16, 0x9000), "no section"},
        {"section count", patched(pe + 4, 0xFFFF0000 | 0x8664), "section count"},
        {"entry count", patched(typeDirectory + 12, 0xFFFFFFFF), "entries"},
        {"loop to the root", patched(typeDirectory + 16 + 4, 0x80000000), "loop"},
        {"name past the section", patched(typeDirectory + 16, 0x80FFFFF0), "name"},
        {"data entry past the section", patched(languageDirectories + 20, 0x00FFFFF0),
         "data entry"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(Refused(c.file, reason)) << c.what;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }

    // Resource data whose address or size leaves the file.
    std::vector<std::uint8_t> bad = good;
    PutU32(bad, dataEntries + 4, 0x7FFFFFFF);
    EXPECT_TRUE(Refused(bad, reason));
    EXPECT_NE(reason.find("outside the file"), std::string::npos) << reason;
}

/// The sample as a resource script for binutils' resource compiler: every UTF-16 unit as a
/// 16-bit number, byte counts as 32-bit numbers.
std::string ResourceScript(const TLanguageSource& source) {
    std::ostringstream rc;
    const auto units = [&](const std::string& text) {
        for (const char16_t unit : Utf8ToUtf16(text)) {
            rc << ", " << static_cast<unsigned>(unit);
        }
    };
    for (const auto& [name, entries] : source.Classes) {
        rc << name << " RCDATA\n{\n  0L";
        for (const TTranslationEntry& entry : entries) {
            rc << ", " << 2 * Utf8ToUtf16(entry.Path).size() << "L";
            units(entry.Path);
            rc << ", " << 2 * Utf8ToUtf16(entry.Value).size() << "L";
            units(entry.Value);
        }
        rc << "\n}\n";
    }
    for (const auto& [id, text] : source.Strings) {
        if (!text.empty()) { // the compiler cannot write an empty resource
            rc << id << " RCDATA\n{\n  0";
            units(text);
            rc << "\n}\n";
        }
    }
    return rc.str();
}

TEST(PeResources, ModuleFromBinutilsReadsAsOurs) {
    if (std::system("command -v x86_64-w64-mingw32-windres >/dev/null 2>&1") != 0 ||
        std::system("command -v x86_64-w64-mingw32-ld >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "binutils-mingw-w64-x86-64 is not installed";
    }
    TLanguageSource source = Sample();
    source.Strings.erase(7);
    TempDir dir("peldor-windres");
    std::ofstream(dir / "lang.rc") << ResourceScript(source);
    const std::string command =
        "cd '" + dir.Path().string() +
        "' && x86_64-w64-mingw32-windres --preprocessor=cpp lang.rc -O coff -o lang.o"
        " && x86_64-w64-mingw32-ld -shared -e 0 -o lang.dll lang.o";
    ASSERT_EQ(std::system(command.c_str()), 0);

    TPeResources theirs;
    std::string reason;
    ASSERT_TRUE(ReadPeResourceFile((dir / "lang.dll").string(), theirs, reason)) << reason;
    // The script starts each resource with a filler number (a script cannot start with a
    // 32-bit one); drop it before comparing.
    for (auto& [name, data] : theirs.Named) {
        data.erase(data.begin(), data.begin() + 4);
    }
    for (auto& [id, data] : theirs.Numbered) {
        data.erase(data.begin(), data.begin() + 2);
    }
    TPeResources ours;
    ASSERT_TRUE(ReadPeResources(BuildLanguageModule(source, 0x0407), ours, reason)) << reason;
    EXPECT_EQ(theirs.Named, ours.Named);
    EXPECT_EQ(theirs.Numbered, ours.Numbered);
}

int RunTool(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PeldorWlx, BuildsAndDumpsLanguageFiles) {
    const char* binary = std::getenv("PELDOR_BINARY_DIR");
    ASSERT_NE(binary, nullptr);
    const std::string tool = std::string(binary) + "/tools/peldor-wlx";
    TempDir dir("peldor-wlx");
    const std::string text = FormatLanguageSource(Sample());
    std::ofstream(dir / "de.txt") << text;
    const std::string wlx = (dir / "peldor.0407.wlx").string();
    ASSERT_EQ(RunTool(tool + " build '" + (dir / "de.txt").string() + "' 0407 '" + wlx + "'"), 0);
    ASSERT_EQ(RunTool(tool + " dump '" + wlx + "' > '" + (dir / "back.txt").string() + "'"), 0);
    std::ifstream back(dir / "back.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(back), {}), text);

    // Mistakes: a bad source leaves no file, a damaged file is not dumped, a bad identifier.
    std::ofstream(dir / "bad.txt") << "TMAINFORM no value\n";
    const std::string out = (dir / "bad.wlx").string();
    EXPECT_EQ(RunTool(tool + " build '" + (dir / "bad.txt").string() + "' 0407 '" + out +
                      "' 2>/dev/null"),
              1);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(RunTool(tool + " dump '" + (dir / "de.txt").string() + "' 2>/dev/null"), 1);
    EXPECT_EQ(
        RunTool(tool + " build '" + (dir / "de.txt").string() + "' 4G7 '" + out + "' 2>/dev/null"),
        1);

    // The shipped sources build (the build made them beside the program).
    for (const char* file : {"app/peldor.0407.wlx", "app/peldor.0409.wlx"}) {
        TPeResources resources;
        std::string reason;
        EXPECT_TRUE(ReadPeResourceFile(std::string(binary) + "/" + file, resources, reason))
            << file << ": " << reason;
        EXPECT_TRUE(resources.Named.contains("TMAINFORM")) << file;
    }
}

} // namespace
} // namespace peldor::test
