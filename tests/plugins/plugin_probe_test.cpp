// The scan through peldor-plugin-probe and its cache: misbehaving libraries are contained and
// explained while the good ones keep the catalogue indices they have without them; answers and
// cache files that cannot be trusted are not; an unchanged library is not read again.

#include "plugins/plugin_probe.h"
#include "plugins/plugin_scan.h"
#include "plugins/probe_answer.h"
#include "plugins/scan_cache.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>

namespace peldor::test {
namespace {

namespace fs = std::filesystem;

/// What a scan made, with library paths relative to the folder, so two folders compare.
struct TScanSnapshot {
    TPluginCatalogue Instruments;
    TPluginCatalogue Effects;
    TPluginMenu InstrumentItems;
    TPluginMenu EffectItems;
    bool operator==(const TScanSnapshot&) const = default;
};

TScanSnapshot Snapshot(const fs::path& folder) {
    TScanSnapshot snapshot{InstrumentCatalogue, EffectCatalogue, InstrumentMenu, EffectMenu};
    for (TPluginCatalogue* catalogue : {&snapshot.Instruments, &snapshot.Effects}) {
        for (PlgListRecord& entry : *catalogue) {
            entry.LibraryFile = fs::path(entry.LibraryFile).lexically_relative(folder).string();
        }
    }
    return snapshot;
}

std::map<std::string, std::string> Reasons(const TScanReport& report, const fs::path& folder) {
    std::map<std::string, std::string> reasons;
    for (const TScanFailure& failure : report.Failures) {
        reasons[fs::path(failure.LibraryFile).lexically_relative(folder).string()] = failure.Reason;
    }
    return reasons;
}

class ProbeScanTest : public ::testing::Test {
protected:
    static constexpr std::chrono::seconds kShortTimeout{2};

    fs::path CacheFile() const { return dir / "cache" / kScanCacheFileName; }

    TScanReport Scan(const fs::path& folder, TScanOptions options = {}) {
        options.CacheFile = CacheFile();
        options.ProbeTimeout = kShortTimeout;
        return ScanPluginFolder(host, folder.string(), {}, options);
    }

    /// Libraries that behave, in sub-folders and at the top, and one that fails politely.
    static void GoodPlugins(const fs::path& folder) {
        CopyTestPlugin("PeldorSynth", folder, "Keys/synth.so");
        CopyTestPlugin("PeldorGain", folder, "FX/gain.so");
        CopyTestPlugin("PeldorShell", folder, "Bundle.so");
        CopyTestPlugin("MidiEffect", folder, "midi-effect.so");
        CopyTestPlugin("EmptyName", folder, "nameless.so");
        CopyTestPlugin("WrongMagic", folder, "wrong-magic.so");
    }

    TempDir dir;
    RecordingPresenter presenter;
    TVstHost host;
};

TEST_F(ProbeScanTest, MisbehavingLibrariesAreContainedAndTheGoodOnesKeepTheirIndices) {
    const fs::path clean = dir / "clean";
    GoodPlugins(clean);
    TScanOptions inProcess;
    inProcess.Method = TScanMethod::InProcess;
    ASSERT_TRUE(Scan(clean, inProcess).InProcess);
    const TScanSnapshot readInProcess = Snapshot(clean);
    const TScanReport probedClean = Scan(clean);
    EXPECT_FALSE(probedClean.InProcess);
    EXPECT_EQ(probedClean.Probed, 6);
    EXPECT_EQ(Snapshot(clean), readInProcess);
    EXPECT_EQ(readInProcess.Instruments.size(), 2u);
    EXPECT_EQ(readInProcess.Effects.size(), 4u);

    // The same libraries with every kind of bad one between them.
    const fs::path mixed = dir / "mixed";
    GoodPlugins(mixed);
    CopyTestPlugin("CrashInEntry", mixed, "Keys/a-entry.so");
    CopyTestPlugin("AbortInOpen", mixed, "FX/a-abort.so");
    CopyTestPlugin("CrashInOpen", mixed, "crash-open.so");
    CopyTestPlugin("HangInOpen", mixed, "hang.so");
    CopyTestPlugin("CrashOnName", mixed, "name-crash.so");
    CopyTestPlugin("ExitInOpen", mixed, "zz-exit.so");
    const TScanReport report = Scan(mixed);
    EXPECT_EQ(Snapshot(mixed), readInProcess);
    EXPECT_EQ(
        Reasons(report, mixed),
        (std::map<std::string, std::string>{
            {"Keys/a-entry.so", "crashed: segmentation fault while calling the entry function"},
            {"FX/a-abort.so", "crashed: abort while opening"},
            {"crash-open.so", "crashed: segmentation fault while opening"},
            {"hang.so", "did not answer in 2 s"},
            {"name-crash.so", "crashed: segmentation fault while reading its name and kind"},
            {"zz-exit.so", "exited with code 3"},
            {"wrong-magic.so", "There is no magic in it... failed!"}}));
    ASSERT_EQ(PluginProblems.size(), report.Failures.size());
    EXPECT_NE(FindPluginProblem((mixed / "hang.so").string()), nullptr);
    EXPECT_EQ(FindPluginProblem((mixed / "Bundle.so").string()), nullptr);
}

TEST_F(ProbeScanTest, AnswersThatCannotBeTrustedLeaveTheLibraryOut) {
    CopyTestPlugin("PeldorGain", dir / "vst", "gain.so");
    const auto scanWith = [&](const std::string& script) {
        const fs::path program = dir / "fake-probe";
        std::ofstream(program) << "#!/bin/sh\n" << script << "\n";
        fs::permissions(program, fs::perms::owner_all);
        TScanOptions options;
        options.ProbeProgram = program.string();
        options.UseCache = false;
        const TScanReport report = Scan(dir / "vst", options);
        EXPECT_EQ(EffectCatalogue.empty(), report.Failures.size() == 1);
        return report.Failures.size() == 1 ? report.Failures[0].Reason : std::string("none");
    };
    EXPECT_EQ(scanWith("echo 'Hello from a plugin'"), "gave an answer that could not be read");
    EXPECT_EQ(scanWith("yes peldor-plugin-probe"), "gave an answer that could not be read");
    EXPECT_EQ(scanWith("printf 'peldor-plugin-probe 1\\nentry effect 2 -1 2 2 0 :x\\nend\\n'"),
              "gave an answer that could not be read");
    EXPECT_EQ(scanWith("printf 'peldor-plugin-probe 1\\nend\\nentry effect 0 -1 2 2 0 :x\\n'"),
              "gave an answer that could not be read");
    EXPECT_EQ(scanWith("printf 'peldor-plugin-probe 1\\nstage opening\\n'"),
              "ended without a complete answer while opening");
    EXPECT_EQ(scanWith("printf 'peldor-plugin-probe 1\\nentry effect 0 -1 2 2 0 :x\\nen'"),
              "ended without a complete answer");
    EXPECT_EQ(scanWith("kill -TERM $$"), "crashed: terminated");
    EXPECT_EQ(scanWith("printf 'peldor-plugin-probe 1\\nend\\n'; exit 7"), "exited with code 7");
    EXPECT_EQ(scanWith("printf 'peldor-plugin-probe 1\\nentry effect 0 -1 2 2 0 :A%%20B\\nend\\n'"),
              "none");
    ASSERT_EQ(EffectCatalogue.size(), 1u);
    EXPECT_EQ(EffectCatalogue[0].PluginName, "A B");

    TScanOptions missing;
    missing.ProbeProgram = (dir / "no-such-probe").string();
    const TScanReport report = Scan(dir / "vst", missing);
    ASSERT_EQ(report.Failures.size(), 1u);
    EXPECT_EQ(report.Failures[0].Reason.rfind("could not start", 0), 0u);
    // Not the library's fault: not remembered.
    TScanCache cache;
    cache.Load(CacheFile());
    EXPECT_EQ(cache.Count(), 0u);
}

TEST_F(ProbeScanTest, UnchangedLibrariesComeFromTheCacheAndFailuresStayOut) {
    const fs::path folder = dir / "vst";
    GoodPlugins(folder);
    CopyTestPlugin("CrashInOpen", folder, "crash.so");
    const TScanReport first = Scan(folder);
    EXPECT_EQ(first.Probed, 7);
    const TScanSnapshot scanned = Snapshot(folder);

    const TScanReport warm = Scan(folder);
    EXPECT_EQ(warm.Probed, 0);
    EXPECT_EQ(warm.FromCache, 7);
    EXPECT_EQ(Snapshot(folder), scanned);
    EXPECT_EQ(Reasons(warm, folder), Reasons(first, folder));

    // A library whose file changed is read again, and only that one.
    const fs::path gain = folder / "FX/gain.so";
    fs::last_write_time(gain, fs::last_write_time(gain) + std::chrono::seconds(1));
    EXPECT_EQ(Scan(folder).Probed, 1);
    TScanOptions fresh;
    fresh.Rescan = true;
    EXPECT_EQ(Scan(folder, fresh).Probed, 7);
    EXPECT_EQ(Snapshot(folder), scanned);

    // A library that went away leaves the cache; a new one is read.
    fs::remove(folder / "midi-effect.so");
    CopyTestPlugin("SynthNoMidi", folder, "quiet.so");
    EXPECT_EQ(Scan(folder).Probed, 1);
    TScanCache cache;
    ASSERT_TRUE(cache.Load(CacheFile()));
    EXPECT_EQ(cache.Count(), 7u);
}

TEST_F(ProbeScanTest, ADamagedCacheIsIgnoredAndRebuilt) {
    const fs::path folder = dir / "vst";
    GoodPlugins(folder);
    Scan(folder);
    const TScanSnapshot scanned = Snapshot(folder);
    std::string good;
    {
        std::ifstream in(CacheFile(), std::ios::binary);
        good.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_FALSE(good.empty());

    std::mt19937 random(11);
    std::string noise(good.size(), '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    std::string wrongVersion = good;
    wrongVersion.replace(0, std::string(kScanCacheHeader).size(), "peldor-plugin-cache 9");
    std::string doubled = good + good.substr(good.find('\n') + 1);
    for (const std::string& damaged :
         {good.substr(0, good.size() / 2), noise, wrongVersion, doubled, std::string()}) {
        std::ofstream(CacheFile(), std::ios::binary | std::ios::trunc) << damaged;
        EXPECT_EQ(Scan(folder).Probed, 6);
        EXPECT_EQ(Snapshot(folder), scanned);
        EXPECT_EQ(Scan(folder).Probed, 0); // rebuilt
    }

    // Any bytes are survived: changed, dropped or repeated ones anywhere.
    for (int round = 0; round < 300; ++round) {
        std::string mutated = good;
        const std::size_t at = random() % mutated.size();
        switch (round % 3) {
        case 0:
            mutated[at] = static_cast<char>(random());
            break;
        case 1:
            mutated.erase(at, 1 + random() % 8);
            break;
        default:
            mutated.insert(at, mutated.substr(at / 2, random() % 16));
            break;
        }
        std::ofstream(CacheFile(), std::ios::binary | std::ios::trunc) << mutated;
        TScanCache cache;
        if (cache.Load(CacheFile())) {
            EXPECT_LE(cache.Count(), 6u);
        }
    }
}

TEST(ProbeAnswerTest, TextsSurviveAnyBytesAndDamagedAnswersAreRecognised) {
    std::string every;
    for (int byte = 0; byte < 256; ++byte) {
        every += static_cast<char>(byte);
    }
    for (const std::string& text : {every, std::string(), std::string("%"), std::string(":")}) {
        const std::string encoded = EncodeAnswerText(text);
        EXPECT_EQ(encoded.find_first_of(" \n\r\t"), std::string::npos);
        std::string decoded;
        ASSERT_TRUE(DecodeAnswerText(encoded, decoded));
        EXPECT_EQ(decoded, text);
    }
    std::string ignored;
    for (const char* bad : {"", "x", ":%", ":%4", ":%G0", ":a b"}) {
        EXPECT_FALSE(DecodeAnswerText(bad, ignored)) << bad;
    }

    TLibraryScanResult result;
    PlgListRecord entry;
    entry.PluginName = "Strings\n\"1\"";
    entry.ShellID = -1;
    entry.Outputs = 2;
    entry.ProgramChunks = 1;
    result.Instruments.push_back(entry);
    entry.PluginName = "Shell";
    entry.IsShell = 1;
    entry.ShellID = 0x7FFFFFFF;
    result.Effects.push_back(entry);
    result.Failure = "partly";
    const std::string answer = std::string(kProbeAnswerHeader) + "\n" +
                               FormatStageLine(kStageOpening) + FormatResultLines(result) + "end\n";
    TProbeAnswer read = ParseProbeAnswer(answer, "/vst/x.so", "Sub");
    ASSERT_TRUE(read.Readable && read.Complete);
    EXPECT_EQ(read.Stage, kStageOpening);
    for (PlgListRecord* made : {&result.Instruments[0], &result.Effects[0]}) {
        made->LibraryFile = "/vst/x.so";
        made->SubFolder = "Sub";
    }
    EXPECT_EQ(read.Result.Instruments, result.Instruments);
    EXPECT_EQ(read.Result.Effects, result.Effects);
    EXPECT_EQ(read.Result.Failure, "partly");

    for (const char* line :
         {"entry instrument 1 5 0 2 0 :shells-are-effects", "entry effect 0 -1 2 2 2 :x",
          "entry effect 0 -1 2 2 :x", "entry effect 0 99999999999 2 2 0 :x",
          "entry effect 0 -1 2 2 0 x", "entry bus 0 -1 2 2 0 :x", "failed :", "failed", "bogus"}) {
        const std::string damaged = std::string(kProbeAnswerHeader) + "\n" + line + "\nend\n";
        EXPECT_FALSE(ParseProbeAnswer(damaged, "", "").Readable) << line;
    }
    EXPECT_FALSE(ParseProbeAnswer(answer + "end\n", "", "").Readable);
}

TEST(ScanCachePathTest, TheUsersCacheFolder) {
    const char* savedCache = std::getenv("XDG_CACHE_HOME");
    const std::string restoreCache = savedCache != nullptr ? savedCache : "";
    ::setenv("XDG_CACHE_HOME", "/tmp/elsewhere", 1);
    EXPECT_EQ(DefaultScanCachePath(), fs::path("/tmp/elsewhere/peldor/plugin-scan.cache"));
    ::setenv("XDG_CACHE_HOME", "relative", 1); // not absolute: ignored
    ::setenv("HOME", getenv("HOME") != nullptr ? getenv("HOME") : "/root", 1);
    EXPECT_EQ(DefaultScanCachePath(),
              fs::path(getenv("HOME")) / ".cache" / "peldor" / "plugin-scan.cache");
    if (savedCache != nullptr) {
        ::setenv("XDG_CACHE_HOME", restoreCache.c_str(), 1);
    } else {
        ::unsetenv("XDG_CACHE_HOME");
    }
}

} // namespace
} // namespace peldor::test
