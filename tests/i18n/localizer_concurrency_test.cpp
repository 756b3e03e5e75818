// Resource strings loaded on another thread while the window thread switches languages: each
// lookup gives the English or the German text, never a torn one (ThreadSanitizer watches).

#include "i18n/language_file.h"
#include "i18n/localizer.h"
#include "i18n/plugins_strings.h"
#include "i18n/resource_strings.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

namespace peldor::test {
namespace {

TEST(LocalizerConcurrency, LookupsDuringLanguageSwitches) {
    TempDir dir("peldor-localizer-threads");
    TLanguageSource german;
    german.Strings[kStrNoInstrument] = "kein Instrument";
    const std::vector<std::uint8_t> module = BuildLanguageModule(german, 0x0407);
    std::ofstream(dir / "peldor.0407.wlx", std::ios::binary)
        .write(reinterpret_cast<const char*>(module.data()),
               static_cast<std::streamsize>(module.size()));

    TLocalizerInt localizer;
    localizer.SetDirectory(QString::fromStdString(dir.Path().string()));
    localizer.SetBaseName("peldor");

    std::atomic<bool> done{false};
    std::atomic<int> germanSeen{0};
    std::atomic<int> wrong{0};
    std::thread reader([&] {
        while (!done.load(std::memory_order_relaxed)) {
            const std::string text = LoadResString(kStrNoInstrument);
            if (text == "kein Instrument") {
                germanSeen.fetch_add(1, std::memory_order_relaxed);
            } else if (text != "no instrument") {
                wrong.fetch_add(1, std::memory_order_relaxed);
            }
        }
    });
    for (int i = 0; i < 200; ++i) {
        EXPECT_TRUE(localizer.LoadLanguage(1031, false));
        EXPECT_FALSE(localizer.LoadLanguage(1033, false));
    }
    EXPECT_TRUE(localizer.LoadLanguage(1031, false));
    while (germanSeen.load(std::memory_order_relaxed) == 0) {
        std::this_thread::yield();
    }
    done.store(true, std::memory_order_relaxed);
    reader.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
} // namespace peldor::test
