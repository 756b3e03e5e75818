// Debian's real plugins (dpf-plugins-vst and whatever else is installed beside it) in the scan,
// and their state round trip.

#include "plugins/plugin_scan.h"
#include "plugins/vst_host.h"
#include "tests/plugins/plugin_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace peldor::test {
namespace {

constexpr const char* kDebianPlugins = "/usr/lib/vst";

class RealPluginsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(kDebianPlugins)) {
            GTEST_SKIP() << kDebianPlugins << " is missing (Debian package dpf-plugins-vst)";
        }
    }

    static bool Lists(const TPluginCatalogue& catalogue, const std::string& name) {
        return std::any_of(catalogue.begin(), catalogue.end(),
                           [&](const PlgListRecord& entry) { return entry.PluginName == name; });
    }

    RecordingPresenter presenter;
    TVstHost host;
};

TEST_F(RealPluginsTest, ScanSortsInstrumentsAndEffects) {
    const TScanReport report = ScanPluginFolder(host, kDebianPlugins);
    // Other packages' libraries may sit beside dpf-plugins-vst's, and some may fail.
    for (const TScanFailure& failure : report.Failures) {
        for (const char* ours :
             {"Kars-vst.so", "Nekobi-vst.so", "MVerb-vst.so", "3BandEQ-vst.so"}) {
            EXPECT_EQ(failure.LibraryFile.find(ours), std::string::npos) << failure.Reason;
        }
    }
    EXPECT_TRUE(Lists(InstrumentCatalogue, "Kars"));
    EXPECT_TRUE(Lists(InstrumentCatalogue, "Nekobi"));
    EXPECT_TRUE(Lists(EffectCatalogue, "MVerb"));
    EXPECT_TRUE(Lists(EffectCatalogue, "3 Band EQ"));
    EXPECT_FALSE(Lists(InstrumentCatalogue, "MVerb"));
}

TEST_F(RealPluginsTest, EveryInstalledPluginFolderScansWithoutHarmTwice) {
    TempDir dir;
    TScanOptions options;
    options.CacheFile = dir / "plugin-scan.cache";
    for (const char* folder : {"/usr/lib/vst", "/usr/lib/lxvst"}) {
        if (!std::filesystem::is_directory(folder)) {
            continue;
        }
        const TScanReport cold = ScanPluginFolder(host, folder, {}, options);
        EXPECT_TRUE(cold.Scanned);
        EXPECT_FALSE(cold.InProcess);
        const TPluginCatalogue instruments = InstrumentCatalogue;
        const TPluginCatalogue effects = EffectCatalogue;
        std::size_t listed = instruments.size() + effects.size();
        for (const TScanFailure& failure : cold.Failures) {
            EXPECT_FALSE(failure.Reason.empty()) << failure.LibraryFile;
        }
        EXPECT_GT(listed + cold.Failures.size(), 0u) << folder;

        // The second start reads nothing and comes to the same catalogues.
        const TScanReport warm = ScanPluginFolder(host, folder, {}, options);
        EXPECT_EQ(warm.Probed, 0) << folder;
        EXPECT_EQ(InstrumentCatalogue, instruments);
        EXPECT_EQ(EffectCatalogue, effects);
        EXPECT_EQ(warm.Failures.size(), cold.Failures.size());
    }
}

TEST_F(RealPluginsTest, KarsStateSurvivesARoundTrip) {
    const std::string path = std::string(kDebianPlugins) + "/Kars-vst.so";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << path << " is missing";
    }
    TVstPlugIn& source = host.VstPlugIns().Add();
    source.SetDLLFileName(path);
    source.SetActive(true);
    TVstPlugIn& target = host.VstPlugIns().Add();
    target.SetDLLFileName(path);
    target.SetActive(true);
    ASSERT_GT(source.numParams(), 0);

    if (source.EffectOptions() & vst2::effFlagsProgramChunks) {
        void* data = nullptr;
        const std::int32_t size = source.GetChunk(&data, true);
        ASSERT_GT(size, 0);
        target.SetChunk(data, size, true);
    } else {
        // Move every parameter off its default, then carry the values across.
        for (std::int32_t i = 0; i < source.numParams(); ++i) {
            source.SetParameter(i, 1.0f - source.GetParameter(i) * 0.5f);
        }
        for (std::int32_t i = 0; i < source.numParams(); ++i) {
            target.SetParameter(i, source.GetParameter(i));
        }
    }
    for (std::int32_t i = 0; i < source.numParams(); ++i) {
        EXPECT_FLOAT_EQ(target.GetParameter(i), source.GetParameter(i)) << "parameter " << i;
    }
    EXPECT_EQ(target.ProgramNr(), source.ProgramNr());
}

} // namespace
} // namespace peldor::test
