// peldor-render from the outside: a show with one connection from input 1 to "VSTi 1" renders a
// MIDI file of three notes, and each note's frequency is in the WAV file while that note sounds
// and not before or after. The same with Kars; the same inputs give the same bytes; the part
// chosen on the command line is the one heard; bad input is refused without output.

#include "app/show_builder.h"
#include "engine/strip_table.h"
#include "tests/app/app_test_support.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace peldor::test {
namespace {

constexpr int kRate = 48000;
constexpr int kPpq = 480;
// Three notes of half a second, a quarter of a second apart, at 120 beats per minute.
constexpr int kNotes[] = {69, 73, 76};
constexpr double kNoteSeconds = 0.5;
constexpr double kNoteSpacing = 0.75;
constexpr double kFirstOnset = 0.25;
constexpr std::chrono::seconds kRenderTimeout{90};

std::vector<std::uint8_t> ThreeNotes() {
    std::vector<MidiEventBytes> track;
    for (std::size_t i = 0; i < std::size(kNotes); ++i) {
        const auto note = static_cast<std::uint8_t>(kNotes[i]);
        track.push_back({240, {0x90, note, 100}});
        track.push_back({480, {0x80, note, 0}});
    }
    return MidiFileBytes(0, kPpq, {track});
}

double Onset(std::size_t note) {
    return kFirstOnset + kNoteSpacing * static_cast<double>(note);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class OfflineRenderTest : public ::testing::Test {
protected:
    OfflineRenderTest() {
        InitStripTable();
        std::filesystem::create_directories(dir / "plugins");
        WriteBytes(dir / "three.mid", ThreeNotes());
    }

    void WriteShow(const std::string& instrument, std::int8_t secondPartTranspose = 12) {
        const std::filesystem::path library = dir / "plugins" / (instrument + ".so");
        if (!std::filesystem::exists(library)) {
            std::filesystem::copy_file(TestPlugin(instrument), library);
        }
        TShowDescription show;
        show.Parts = {{"home", 0}, {"octave", secondPartTranspose}};
        std::string error;
        ASSERT_TRUE(WriteShowFile(dir / "show.pdp", show, error)) << error;
    }

    int Render(const std::string& out, std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{"--project",    (dir / "show.pdp").string(),
                                           "--midi",       (dir / "three.mid").string(),
                                           "--out",        (dir / out).string(),
                                           "--plugin-dir", (dir / "plugins").string(),
                                           "--registry",   (dir / "registry.ini").string(),
                                           "--rate",       std::to_string(kRate)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return RunProgram(RenderProgram(), arguments, dir.Path(), kRenderTimeout, &stdoutText,
                          &stderrText);
    }

    /// Each note's frequency is clearly present while it sounds (from onset to end, margins
    /// cut) and the other notes' are not; before the first and after the last note, silence.
    void ExpectNotesAtTheirTimes(const WavData& wav, int transpose, double window,
                                 double minimumLevel) {
        for (int channel : {0, 1}) {
            const std::vector<float>& master = wav.Samples[static_cast<std::size_t>(channel)];
            for (std::size_t i = 0; i < std::size(kNotes); ++i) {
                const double onset = Onset(i);
                constexpr double kMargin = 0.02;
                const auto begin = static_cast<std::size_t>((onset + kMargin) * kRate);
                const auto end = static_cast<std::size_t>((onset + window) * kRate);
                const double own =
                    ToneLevel(master, begin, end, NoteFrequency(kNotes[i] + transpose), kRate);
                EXPECT_GT(own, minimumLevel) << "note " << i << " channel " << channel;
                for (std::size_t j = 0; j < std::size(kNotes); ++j) {
                    if (j != i) {
                        EXPECT_LT(ToneLevel(master, begin, end,
                                            NoteFrequency(kNotes[j] + transpose), kRate),
                                  own / 10)
                            << "note " << j << " heard during note " << i;
                    }
                }
            }
        }
    }

    TempDir dir;
    std::string stdoutText;
    std::string stderrText;
};

double Peak(const std::vector<float>& samples, std::size_t begin, std::size_t end) {
    float peak = 0.0f;
    for (std::size_t i = begin; i < std::min(end, samples.size()); ++i) {
        peak = std::max(peak, std::abs(samples[i]));
    }
    return peak;
}

TEST_F(OfflineRenderTest, TheTestInstrumentPlaysEachNoteAtItsTimeOnTheMasterChannels) {
    WriteShow("PeldorSynth");
    ASSERT_EQ(Render("out.wav"), 0) << stderrText;
    WavData wav;
    ASSERT_TRUE(ReadWav(dir / "out.wav", wav));
    EXPECT_EQ(wav.SampleRate, kRate);
    ASSERT_EQ(wav.Channels, 6); // master 1-2, monitors 3-4, solo bus 5-6
    // Up to the last note's end plus a second of tail.
    const double lastOff = Onset(2) + kNoteSeconds;
    EXPECT_NEAR(static_cast<double>(wav.Frames()), (lastOff + 1.0) * kRate, 2.0);

    ExpectNotesAtTheirTimes(wav, 0, kNoteSeconds - 0.02, 0.05);
    const std::vector<float>& left = wav.Samples[0];
    // The test instrument stops at note-off: silence between the notes and in the tail. A
    // block of 256 frames is allowed for the note-off to arrive.
    constexpr std::size_t kBlock = 256;
    const auto gapBegin = static_cast<std::size_t>((Onset(0) + kNoteSeconds) * kRate) + kBlock;
    const auto gapEnd = static_cast<std::size_t>(Onset(1) * kRate) - kBlock;
    EXPECT_EQ(Peak(left, gapBegin, gapEnd), 0.0);
    EXPECT_EQ(Peak(left, 0, static_cast<std::size_t>(Onset(0) * kRate) - kBlock), 0.0);
    EXPECT_EQ(Peak(left, static_cast<std::size_t>(lastOff * kRate) + kBlock, wav.Frames()), 0.0);
    // Nothing goes to the monitors or the solo bus.
    for (std::size_t channel = 2; channel < 6; ++channel) {
        EXPECT_EQ(Peak(wav.Samples[channel], 0, wav.Frames()), 0.0) << channel;
    }
    EXPECT_NE(stderrText.find("6 channels"), std::string::npos) << stderrText;
}

// Events land on their own frame, not at the start of their block: with 24000 ticks per
// quarter at 120 beats per minute, a tick is one frame at 48000 Hz.
TEST_F(OfflineRenderTest, NotesStartOnTheirExactFrameWithinTheBlock) {
    constexpr int kFramePpq = 24000;
    constexpr std::uint32_t kStarts[] = {12345, 30001, 45055};
    constexpr std::uint32_t kLength = 4800;
    std::vector<MidiEventBytes> track;
    std::uint32_t now = 0;
    for (const std::uint32_t start : kStarts) {
        track.push_back({start - now, {0x90, 69, 100}});
        track.push_back({kLength, {0x80, 69, 0}});
        now = start + kLength;
    }
    WriteBytes(dir / "three.mid", MidiFileBytes(0, kFramePpq, {track}));
    WriteShow("PeldorSynth");
    ASSERT_EQ(Render("exact.wav"), 0) << stderrText;
    WavData wav;
    ASSERT_TRUE(ReadWav(dir / "exact.wav", wav));
    const std::vector<float>& left = wav.Samples[0];
    for (const std::uint32_t start : kStarts) {
        // The synth's sine starts at phase 0: its first non-zero sample follows the onset.
        std::size_t first = start > 600 ? start - 600 : 0;
        while (first < left.size() && left[first] == 0.0f) {
            ++first;
        }
        EXPECT_NEAR(static_cast<double>(first), static_cast<double>(start), 1.0)
            << "note at frame " << start;
        // It also ends on its frame.
        std::size_t last = start + kLength + 600;
        while (last > start && left[last] == 0.0f) {
            --last;
        }
        EXPECT_NEAR(static_cast<double>(last), static_cast<double>(start + kLength), 1.0)
            << "note-off at frame " << start + kLength;
    }
}

TEST_F(OfflineRenderTest, TheSameInputsGiveTheSameFileAndThePartChosenIsHeard) {
    WriteShow("PeldorSynth");
    ASSERT_EQ(Render("first.wav"), 0) << stderrText;
    ASSERT_EQ(Render("second.wav"), 0) << stderrText;
    const std::string first = ReadFile(dir / "first.wav");
    EXPECT_GT(first.size(), 44u);
    EXPECT_TRUE(first == ReadFile(dir / "second.wav"));

    // Part 2 transposes by an octave.
    ASSERT_EQ(Render("octave.wav", {"--part", "2", "--frames", "120000"}), 0) << stderrText;
    WavData wav;
    ASSERT_TRUE(ReadWav(dir / "octave.wav", wav));
    EXPECT_EQ(wav.Frames(), 120000u);
    ExpectNotesAtTheirTimes(wav, 12, kNoteSeconds - 0.02, 0.05);
    EXPECT_LT(ToneLevel(wav.Samples[0], 1000, 20000, NoteFrequency(kNotes[0]), kRate), 0.005);
}

TEST_F(OfflineRenderTest, KarsPlaysTheNotesAtTheirTimes) {
    const std::filesystem::path kars = "/usr/lib/vst/Kars-vst.so";
    if (!std::filesystem::exists(kars)) {
        GTEST_SKIP() << kars << " is missing (Debian package dpf-plugins-vst)";
    }
    std::filesystem::create_symlink(kars, dir / "plugins" / "Kars-vst.so");
    TShowDescription show;
    std::string error;
    ASSERT_TRUE(WriteShowFile(dir / "show.pdp", show, error)) << error;
    ASSERT_EQ(Render("kars.wav"), 0) << stderrText;
    WavData wav;
    ASSERT_TRUE(ReadWav(dir / "kars.wav", wav));
    ASSERT_GE(wav.Channels, 2);
    const std::vector<float>& left = wav.Samples[0];
    EXPECT_EQ(Peak(left, 0, static_cast<std::size_t>(Onset(0) * kRate) - 256), 0.0);
    // A plucked string with a tuning of its own: each note's strongest partial in the first
    // 0.3 s after its pluck is the note's pitch class (within half a semitone, in any octave),
    // and the pluck starts at the note's time (at the start of the block the note falls in).
    for (std::size_t i = 0; i < std::size(kNotes); ++i) {
        const auto onset = static_cast<std::size_t>(Onset(i) * kRate);
        const std::size_t margin = kRate / 50;
        const double frequency =
            DominantFrequency(left, onset + margin, onset + 15 * margin, 100.0, 2000.0, kRate);
        const double cents = 1200.0 * std::log2(frequency / NoteFrequency(kNotes[i]));
        const double offOctave = std::abs(cents - 1200.0 * std::round(cents / 1200.0));
        EXPECT_LT(offOctave, 50.0) << "note " << i << " sounds at " << frequency << " Hz";
        constexpr std::size_t kBlock = 256;
        EXPECT_GT(Peak(left, onset, onset + 5 * margin),
                  2 * Peak(left, onset - 5 * margin, onset - kBlock))
            << "note " << i;
    }
}

TEST_F(OfflineRenderTest, BadInputIsRefusedWithoutWritingAnything) {
    WriteShow("PeldorSynth");
    const std::filesystem::path out = dir / "never.wav";
    EXPECT_EQ(RunProgram(RenderProgram(),
                         {"--project", (dir / "missing.pdp").string(), "--midi",
                          (dir / "three.mid").string(), "--out", out.string()},
                         dir.Path(), kRenderTimeout, nullptr, &stderrText),
              2);
    EXPECT_NE(stderrText.find("missing.pdp"), std::string::npos) << stderrText;

    std::ofstream(dir / "damaged.mid") << "MThd and nothing more";
    EXPECT_EQ(RunProgram(RenderProgram(),
                         {"--project", (dir / "show.pdp").string(), "--midi",
                          (dir / "damaged.mid").string(), "--out", out.string()},
                         dir.Path(), kRenderTimeout, nullptr, &stderrText),
              2);
    EXPECT_NE(stderrText.find("damaged.mid"), std::string::npos) << stderrText;

    EXPECT_EQ(Render("never.wav", {"--song", "3"}), 2);
    EXPECT_NE(stderrText.find("no song 3"), std::string::npos) << stderrText;
    EXPECT_EQ(Render("never.wav", {"--rate", "fast"}), 2);
    EXPECT_EQ(RunProgram(RenderProgram(), {"--midi", "x.mid"}, dir.Path(), kRenderTimeout), 2);
    EXPECT_FALSE(std::filesystem::exists(out));

    std::string help;
    EXPECT_EQ(RunProgram(RenderProgram(), {"--help"}, dir.Path(), kRenderTimeout, &help), 0);
    EXPECT_NE(help.find("--tail SECONDS"), std::string::npos);
}

TEST_F(OfflineRenderTest, AnInstrumentThatFailsToLoadLeavesItsSlotEmptyAndTheRenderGoesOn) {
    // PeldorOnce answers the plugin scan, then refuses to make a second plugin.
    WriteShow("PeldorOnce");
    ASSERT_EQ(Render("empty.wav"), 0) << stderrText;
    EXPECT_NE(stderrText.find("VSTi 1 stays empty: This is not a valid Vst Plugin!"),
              std::string::npos)
        << stderrText;
    WavData wav;
    ASSERT_TRUE(ReadWav(dir / "empty.wav", wav));
    EXPECT_EQ(Peak(wav.Samples[0], 0, wav.Frames()), 0.0);
}

} // namespace
} // namespace peldor::test
