// The headless runner from the outside, on the "Dummy" driver: bad input is refused with exit
// code 2 before anything is written, a plugin that fails to load is named in the status line,
// the demo steps through its parts, and SIGTERM or SIGINT run the shut-down order and exit 0
// within two seconds.

#include "app/settings_file.h"
#include "app/show_builder.h"
#include "engine/strip_table.h"
#include "tests/app/app_test_support.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>

namespace peldor::test {
namespace {

constexpr std::chrono::seconds kRunTimeout{60};

std::size_t Find(const std::string& text, const std::string& part, std::size_t from = 0) {
    return text.find(part, from);
}

class RunnerTest : public ::testing::Test {
protected:
    RunnerTest() {
        InitStripTable();
        std::filesystem::create_directories(dir / "plugins");
        std::ofstream(dir / "dummy.ini") << "[ASIO]\nDriver=1\nSample rate=48000\nOutMainL=0\n"
                                            "OutMainR=1\n[Dummy]\nBuffer size=256\n";
    }

    std::filesystem::path Show(const std::string& instrument) {
        std::filesystem::copy_file(TestPlugin(instrument), dir / "plugins" / (instrument + ".so"),
                                   std::filesystem::copy_options::overwrite_existing);
        TShowDescription show;
        show.SongName = "Show";
        show.Parts = {{"verse", 0}, {"chorus", 12}};
        std::string error;
        EXPECT_TRUE(WriteShowFile(dir / "show.pdp", show, error)) << error;
        return dir / "show.pdp";
    }

    /// The common arguments: our settings and registry files, our plugin folder.
    std::vector<std::string> Arguments(std::vector<std::string> extra) const {
        std::vector<std::string> arguments{"--headless",
                                           "--ini",
                                           (dir / "dummy.ini").string(),
                                           "--registry",
                                           (dir / "registry.ini").string(),
                                           "--plugin-dir",
                                           (dir / "plugins").string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    }

    int Run(std::vector<std::string> arguments) {
        return RunProgram(PeldorProgram(), arguments, dir.Path(), kRunTimeout, &out, &err);
    }

    TempDir dir;
    std::string out;
    std::string err;
};

TEST_F(RunnerTest, BadInputIsRefusedWithExitCodeTwoAndNothingWritten) {
    const std::string ini = (dir / "untouched.ini").string();
    EXPECT_EQ(Run({"--ini", ini, "--project", (dir / "missing.pdp").string()}), 2);
    EXPECT_NE(Find(err, "missing.pdp"), std::string::npos) << err;

    std::ofstream(dir / "damaged.pdp") << "certainly not a project";
    EXPECT_EQ(Run({"--ini", ini, "--project", (dir / "damaged.pdp").string()}), 2);
    EXPECT_NE(Find(err, "damaged.pdp"), std::string::npos) << err;

    EXPECT_EQ(Run({"--ini", ini, "--driver", "ASIO4ALL"}), 2);
    EXPECT_NE(Find(err, "unknown audio driver \"ASIO4ALL\""), std::string::npos) << err;
    EXPECT_NE(Find(err, "\"JACK\", \"Dummy\", \"WAV file\""), std::string::npos) << err;

    EXPECT_EQ(Run({"--ini", ini, "--plugin-dir", (dir / "nowhere").string()}), 2);
    EXPECT_EQ(Run({"--ini", ini, "--duration", "soon"}), 2);
    EXPECT_EQ(Run({"--ini", ini, "--project"}), 2);
    EXPECT_EQ(Run({"--ini", dir.Path().string()}), 2); // a folder is no settings file
    EXPECT_NE(Find(err, "is not a file"), std::string::npos) << err;
    EXPECT_EQ(Run({"--ini", ini, "--bogus"}), 2);
    EXPECT_NE(Find(err, "--bogus"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(ini));

    EXPECT_EQ(Run({"--help"}), 0);
    for (const char* option :
         {"--headless", "--project FILE", "--ini PATH", "--registry PATH", "--driver NAME",
          "--plugin-dir DIR", "--duration SECONDS", "--demo", "SIGTERM"}) {
        EXPECT_NE(Find(out, option), std::string::npos) << option;
    }
}

TEST_F(RunnerTest, WithoutAPluginFolderItSaysSoAndPlaysOn) {
    EXPECT_EQ(Run({"--ini", (dir / "dummy.ini").string(), "--registry",
                   (dir / "registry.ini").string(), "--duration", "1.2"}),
              0)
        << err;
    EXPECT_NE(Find(err, "no plugin folder is registered in " + (dir / "registry.ini").string()),
              std::string::npos)
        << err;
    EXPECT_NE(Find(out, "Dummy running 48000 Hz 256 | no project"), std::string::npos) << out;
}

// Regression: without an ALSA sequencer (containers, headless servers) the MIDI library's raw
// error lines were printed at start. An ALSA configuration that names no sequencer stands for
// a machine without one, whatever this machine has.
TEST_F(RunnerTest, WithoutAMidiServiceItSaysSoOnceInItsOwnWordsAndPlaysOn) {
    const std::map<std::string, std::string> noSequencer = {
        {"ALSA_CONFIG_PATH", (dir / "no-such-alsa.conf").string()}, {"PELDOR_MIDI_API", "alsa"}};
    EXPECT_EQ(RunProgram(PeldorProgram(), Arguments({"--duration", "0.5"}), dir.Path(), kRunTimeout,
                         &out, &err, noSequencer),
              0)
        << err;
    const std::string said = "peldor: no MIDI devices are available: the ALSA sequencer cannot be "
                             "opened";
    const std::size_t first = Find(err, said);
    EXPECT_NE(first, std::string::npos) << err;
    EXPECT_EQ(Find(err, said, first + 1), std::string::npos) << err;
    for (const char* raw : {"ALSA lib", "MidiInAlsa", "MidiOutAlsa", "RtMidi"}) {
        EXPECT_EQ(Find(err, raw), std::string::npos) << raw << " in\n" << err;
    }
    EXPECT_NE(Find(out, "Dummy running"), std::string::npos) << out;
}

TEST_F(RunnerTest, APluginThatFailsToLoadIsNamedInTheStatusAndTheShowGoesOn) {
    // PeldorOnce answers the scan and then refuses to make the slot's plugin.
    const std::filesystem::path show = Show("PeldorOnce");
    EXPECT_EQ(Run(Arguments({"--project", show.string(), "--duration", "1.2"})), 0) << err;
    EXPECT_NE(Find(out, "song 1/1 \"Show\" | part 1/2 \"verse\""), std::string::npos) << out;
    EXPECT_NE(Find(out, "VSTi 1 empty: This is not a valid Vst Plugin! (the entry function "
                        "returned no effect)"),
              std::string::npos)
        << out;
}

TEST_F(RunnerTest, ACrashingLibraryIsLeftOutAndNoEditorIsAskedForWithoutWindows) {
    // CrashInOpen would take the program down if it were read in process; CrashingEditor
    // plays, but crashes on the first editor opcode it receives.
    std::filesystem::copy_file(TestPlugin("CrashInOpen"), dir / "plugins" / "CrashInOpen.so");
    const std::filesystem::path show = Show("CrashingEditor");
    EXPECT_EQ(Run(Arguments({"--project", show.string(), "--duration", "1.2"})), 0) << err;
    EXPECT_NE(Find(err, "CrashInOpen.so: crashed: segmentation fault while opening"),
              std::string::npos)
        << err;
    EXPECT_NE(Find(out, "part 1/2 \"verse\""), std::string::npos) << out;
    EXPECT_NE(Find(out, "| left out CrashInOpen.so: crashed: segmentation fault while opening"),
              std::string::npos)
        << out;
    EXPECT_EQ(Find(out, "empty:"), std::string::npos) << out;

    // A fresh scan tries the library again, with the same outcome.
    EXPECT_EQ(Run(Arguments({"--project", show.string(), "--duration", "0.2", "--rescan-plugins"})),
              0)
        << err;
    EXPECT_NE(Find(err, "CrashInOpen.so: crashed"), std::string::npos) << err;
}

TEST_F(RunnerTest, KarsAndMVerbPlayWithoutADisplay) {
    const std::filesystem::path debian = "/usr/lib/vst";
    for (const char* library : {"Kars-vst.so", "MVerb-vst.so"}) {
        if (!std::filesystem::exists(debian / library)) {
            GTEST_SKIP() << library << " is missing (Debian package dpf-plugins-vst)";
        }
        std::filesystem::copy_file(debian / library, dir / "plugins" / library);
    }
    // Kars is the only instrument and MVerb the only effect of the folder.
    TShowDescription description;
    description.SongName = "Show";
    description.Parts = {{"verse", 0}};
    description.InstrumentIndex = 0;
    description.EffectIndex = 0;
    std::string error;
    ASSERT_TRUE(WriteShowFile(dir / "debian.pdp", description, error)) << error;

    // MVerb asked for its editor's size opens a display to answer, and crashes without one.
    struct DisplayGone {
        std::optional<std::string> display;
        DisplayGone() {
            if (const char* value = std::getenv("DISPLAY")) {
                display = value;
            }
            ::unsetenv("DISPLAY");
        }
        ~DisplayGone() {
            if (display) {
                ::setenv("DISPLAY", display->c_str(), 1);
            }
        }
    } displayGone;
    EXPECT_EQ(Run(Arguments({"--project", (dir / "debian.pdp").string(), "--duration", "1.2"})), 0)
        << err;
    EXPECT_NE(Find(out, "part 1/1 \"verse\""), std::string::npos) << out;
    EXPECT_EQ(Find(out, "empty:"), std::string::npos) << out;
    EXPECT_EQ(Find(out, "left out"), std::string::npos) << out;
}

TEST_F(RunnerTest, StopSignalsRunTheShutDownOrderAndExitZeroWithinTwoSeconds) {
    const std::filesystem::path show = Show("PeldorSynth");
    for (int signal : {SIGTERM, SIGINT}) {
        ChildProcess runner;
        ASSERT_TRUE(runner.Start(PeldorProgram(),
                                 Arguments({"--project", show.string(), "--trace"}), dir.Path(),
                                 "signal" + std::to_string(signal)));
        // Playing: a status line with the driver running and the part current.
        ASSERT_TRUE(WaitUntil(std::chrono::seconds(30), [&] {
            return Find(runner.Stdout(), "Dummy running") != std::string::npos &&
                   Find(runner.Stdout(), "part 1/2") != std::string::npos;
        })) << runner.Stderr();
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(runner.Signal(signal));
        const std::optional<int> code = runner.Wait(std::chrono::seconds(10));
        const auto took = std::chrono::steady_clock::now() - sent;
        ASSERT_TRUE(code.has_value());
        EXPECT_EQ(*code, 0);
        EXPECT_LT(took, std::chrono::seconds(2));

        const std::string log = runner.Stderr();
        std::size_t at = Find(log, "stop signal received");
        ASSERT_NE(at, std::string::npos) << log;
        for (const char* step : {"exit: project destroyed", "shut-down: settings written",
                                 "shut-down: MIDI devices stopped and closed",
                                 "shut-down: current strips cleared", "shut-down: driver stopped",
                                 "shut-down: workers stopped, plugins closed and unloaded",
                                 "shut-down: engine and project destroyed",
                                 "shut-down: audio host and plugin host released"}) {
            const std::size_t next = Find(log, step, at);
            ASSERT_NE(next, std::string::npos) << step << " missing or out of order:\n" << log;
            at = next;
        }
    }
    // The settings were written on the way out, with the opened show as recent file 1.
    EXPECT_EQ(TSettingsFile(dir / "dummy.ini").ReadString("MRU", "File1", ""), show.string());
}

TEST_F(RunnerTest, TheDemoStepsToItsSecondPartByRemoteCommandAndEndsByItself) {
    const std::map<std::string, std::string> environment{
        {"PELDOR_DEMO_PLUGIN", TestPlugin("PeldorSynth")}};
    EXPECT_EQ(
        RunProgram(PeldorProgram(), {"--demo"}, dir.Path(), kRunTimeout, &out, &err, environment),
        0)
        << err;
    const std::size_t first = Find(out, "part 1/2 \"Home key\"");
    const std::size_t second = Find(out, "part 2/2 \"Up a fifth\"");
    ASSERT_NE(first, std::string::npos) << out;
    ASSERT_NE(second, std::string::npos) << out;
    EXPECT_LT(first, second);
    EXPECT_NE(Find(out, "master -"), std::string::npos) << out; // something was played
    EXPECT_EQ(Find(err, "empty:"), std::string::npos);
}

} // namespace
} // namespace peldor::test
