#include "project/project_options.h"

#include "engine/oscillator.h"
#include "engine/processor.h"
#include "project/project_links.h"

#include <gtest/gtest.h>

#include <cstring>

namespace peldor {
namespace {

void SetCommand(TProjectOptions& options, int index, std::int16_t status, std::int16_t data1,
                std::int16_t data2) {
    options.RemoteCommands[index].Pattern[0] = status;
    options.RemoteCommands[index].Pattern[1] = data1;
    options.RemoteCommands[index].Pattern[2] = data2;
}

TEST(ProjectOptions, Defaults) {
    const TProjectOptions options;
    std::uint32_t epsilonBits = 0;
    const float epsilon = options.Epsilon;
    std::memcpy(&epsilonBits, &epsilon, sizeof epsilonBits);
    EXPECT_EQ(epsilonBits, 0x0F4AD2F8u);
    EXPECT_EQ(options.DecimalSeparator, '.');
    EXPECT_EQ(options.ThousandSeparator, 0);
    EXPECT_EQ(options.AudioThreadPriority, 3);
    EXPECT_EQ(options.SineAccuracy, 1);
    EXPECT_EQ(options.PinkNoise, 1);
    EXPECT_EQ(options.NoteNamingScheme, 1);
    EXPECT_EQ(options.ProcessActiveSense, 0);
    EXPECT_EQ(options.UserFilter1[0], 176);
    EXPECT_EQ(options.UserFilter1[1], 64);
    EXPECT_EQ(options.UserFilter1[2], -1);
    EXPECT_EQ(options.UserFilter2[1], 123);
    EXPECT_EQ(options.SendAllNotesOffOnChange, 1);
    EXPECT_EQ(options.HotkeysEnabled, 1);
    EXPECT_EQ(options.MidiRemoteEnabled, 1);
    EXPECT_EQ(options.RemotePort, 0);
    const std::int16_t hotkeys[] = {40, 38, 34, 33, 27};
    for (int i = 0; i < kRemoteCommandCount; ++i) {
        EXPECT_EQ(options.RemoteCommands[i].Hotkey, hotkeys[i]);
        EXPECT_EQ(options.RemoteCommands[i].Pattern[0], -1);
    }
}

TEST(ProjectOptions, DefaultTableMatchesNoMessage) {
    const TProjectOptions options;
    for (int status = 0; status < 256; ++status) {
        for (int data : {0, 1, 64, 127, 255}) {
            ASSERT_EQ(options.MatchRemoteCommand(static_cast<std::uint8_t>(status),
                                                 static_cast<std::uint8_t>(data),
                                                 static_cast<std::uint8_t>(data)),
                      -1);
        }
    }
}

TEST(ProjectOptions, PatternRules) {
    TProjectOptions options;
    // Any but zero before any: the first match wins.
    SetCommand(options, 0, 176, 64, -2);
    SetCommand(options, 1, 176, 64, -1);
    EXPECT_EQ(options.MatchRemoteCommand(176, 64, 0), 1);
    EXPECT_EQ(options.MatchRemoteCommand(176, 64, 127), 0);
    EXPECT_EQ(options.MatchRemoteCommand(177, 64, 127), -1) << "status must match exactly";
    EXPECT_EQ(options.MatchRemoteCommand(176, 65, 127), -1);
    // The short-message word carries status, data 1, data 2 from the lowest byte up.
    EXPECT_EQ(options.MatchRemoteCommand(0x007F40B0u), 0);

    // A mask (bit 8 set) needs every bit of its low byte.
    TProjectOptions masked;
    SetCommand(masked, 2, 144, 0x13C, -1);
    EXPECT_EQ(masked.MatchRemoteCommand(0x90, 0x3C, 100), 2);
    EXPECT_EQ(masked.MatchRemoteCommand(0x90, 0x3D, 100), 2);
    EXPECT_EQ(masked.MatchRemoteCommand(0x90, 0x7F, 100), 2);
    EXPECT_EQ(masked.MatchRemoteCommand(0x90, 0x38, 100), -1);

    // A status with bit 8 never matches; neither do data values outside the rules.
    TProjectOptions odd;
    SetCommand(odd, 0, 0x1B0, -1, -1);
    SetCommand(odd, 1, 0xB0, 0x200, -1); // above 255 without bit 8
    SetCommand(odd, 2, 0xB0, -3, 5);     // negative with bit 8: mask 0xFD
    for (int data = 0; data < 128; ++data) {
        const auto d = static_cast<std::uint8_t>(data);
        EXPECT_NE(odd.MatchRemoteCommand(0xB0, d, 0), 0);
        EXPECT_NE(odd.MatchRemoteCommand(0xB0, d, 0), 1);
    }
    EXPECT_EQ(odd.MatchRemoteCommand(0xB0, 0xFF, 5), 2);
    EXPECT_EQ(odd.MatchRemoteCommand(0xB0, 0x7F, 5), -1);

    EXPECT_TRUE(PatternDataMatches(0, 0));
    EXPECT_FALSE(PatternDataMatches(0, 1));
    EXPECT_TRUE(PatternDataMatches(255, 255));
    EXPECT_FALSE(PatternDataMatches(-2, 0));
    EXPECT_TRUE(PatternDataMatches(0x100, 0)) << "an empty mask matches everything";
    EXPECT_FALSE(PatternDataMatches(-257, 0)) << "negative without bit 8 matches nothing";
}

TEST(ProjectOptions, ApplyKeepsTheEngineInStep) {
    TProcessor processor(nullptr, nullptr);
    ProjectLinks.Processor = &processor;
    TProjectOptions options;
    options.SineAccuracy = 0;
    options.PinkNoise = 0;
    options.Epsilon = 0.5f;
    options.DecimalSeparator = ',';
    options.AudioThreadPriority = 6;
    options.Apply();
    EXPECT_EQ(EngineOptions.SineAccuracy, 0);
    EXPECT_EQ(EngineOptions.PinkNoise, 0);
    EXPECT_EQ(EngineOptions.Epsilon, 0.5f);
    EXPECT_EQ(EngineOptions.DecimalSeparator, ',');
    EXPECT_EQ(processor.WorkerPriority(), 6);
    ProjectLinks.Processor = nullptr;

    // The program's options object starts with its defaults pushed into the engine.
    ProjectOptions() = TProjectOptions{};
    ProjectOptions().Apply();
    EXPECT_EQ(EngineOptions.SineAccuracy, 1);
    EXPECT_EQ(EngineOptions.PinkNoise, 1);
    EXPECT_EQ(EngineOptions.DecimalSeparator, '.');
}

} // namespace
} // namespace peldor
