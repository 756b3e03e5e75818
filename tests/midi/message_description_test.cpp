#include "midi/message_description.h"
#include "midi/midi_backend.h"
#include "midi/midi_names.h"
#include "midi/short_message.h"

#include <gtest/gtest.h>

#include <string>

namespace peldor {
namespace {

const std::string kSep = " \xE2\x80\xBA "; // space, U+203A, space

std::string Describe(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, int scheme = 1) {
    return DescribeMessageText({status, data1, data2}, scheme);
}

TEST(NoteNames, SchemesOctavesAndTheUnnumberedLowestOctave) {
    EXPECT_EQ(NoteName(60, 1), "C4");
    EXPECT_EQ(NoteName(127, 1), "G9");
    EXPECT_EQ(NoteName(12, 1), "C0");
    EXPECT_EQ(NoteName(5, 0), "F");
    EXPECT_EQ(NoteName(11, 1), "B");
    EXPECT_EQ(NoteName(70, 0), "Bb4");
    EXPECT_EQ(NoteName(70, 1), "A#4");
    EXPECT_EQ(NoteName(71, 0), "B4");
    EXPECT_EQ(NoteName(71, 2), "H4");
    EXPECT_EQ(NoteName(70, 2), "Bb4");
    EXPECT_EQ(NoteName(71, 3), "H4");
    EXPECT_EQ(NoteName(70, 3), "A#4");
    EXPECT_EQ(NoteName(61, 0), "Db4");
    // An option value outside 0-3 (damaged file) names as the default scheme.
    EXPECT_EQ(NoteName(61, 9), "C#4");
}

TEST(ControllerNames, TableEntriesAreEightWideWithLsbCopiesAndQuestionMarks) {
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(MIDI_CC[i].size(), 8u) << i;
    }
    EXPECT_EQ(MIDI_CC[0], "Bank    ");
    EXPECT_EQ(MIDI_CC[32], "Bank    ");
    EXPECT_EQ(MIDI_CC[45], "FXCtrl 2");
    EXPECT_EQ(MIDI_CC[39], "Volume  ");
    EXPECT_EQ(MIDI_CC[3], "?       ");
    EXPECT_EQ(MIDI_CC[35], "?       ");
    EXPECT_EQ(MIDI_CC[41], "?       ");
    EXPECT_EQ(MIDI_CC[46], "?       ");
    EXPECT_EQ(MIDI_CC[98], "? Fine  ");
    EXPECT_EQ(MIDI_CC[101], "! Coarse");
    EXPECT_EQ(MIDI_CC[127], "Poly    ");
    EXPECT_EQ(MIDI_CC[90], "?       ");
}

TEST(DescribeMessage, EveryKindOfChannelMessage) {
    EXPECT_EQ(Describe(0x80, 60, 64), "off C4");
    EXPECT_EQ(Describe(0x90, 60, 0), "off C4");
    EXPECT_EQ(Describe(0x90, 61, 100), "on  C#4" + kSep + "100");
    EXPECT_EQ(Describe(0xA3, 0, 7), "pp C" + kSep + "7");
    EXPECT_EQ(Describe(0xB0, 1, 127), "cc ModWheel" + kSep + "127");
    EXPECT_EQ(Describe(0xB0, 10, 64), "cc Pan     " + kSep + "64");
    EXPECT_EQ(Describe(0xC5, 0, 0), "Program 1");
    EXPECT_EQ(Describe(0xC5, 127, 0), "Program 128");
    EXPECT_EQ(Describe(0xD0, 99, 0), "at 99");
    EXPECT_EQ(Describe(0x85, 5, 0, 0), "off F");
}

TEST(DescribeMessage, BalanceIsCentreLeftOrRight) {
    EXPECT_EQ(Describe(0xB0, 8, 64), "cc Balance " + kSep + "C");
    EXPECT_EQ(Describe(0xB0, 8, 65), "cc Balance " + kSep + "R 1");
    EXPECT_EQ(Describe(0xB0, 8, 127), "cc Balance " + kSep + "R 63");
    EXPECT_EQ(Describe(0xB0, 8, 0), "cc Balance " + kSep + "L 64");
    // Only controller 8 speaks of sides; its LSB partner 40 prints a plain value.
    EXPECT_EQ(Describe(0xB0, 40, 64), "cc Balance " + kSep + "64");
}

TEST(DescribeMessage, PitchBendPercentages) {
    EXPECT_EQ(Describe(0xE0, 0x00, 0x40), "pb 0.00%");
    EXPECT_EQ(Describe(0xE0, 0x7F, 0x7F), "pb +100.00%");
    EXPECT_EQ(Describe(0xE0, 0x00, 0x00), "pb -100.00%");
    // One step either side of the centre rounds to zero: no sign, no "-0.00".
    EXPECT_EQ(Describe(0xE0, 0x01, 0x40), "pb 0.00%");
    EXPECT_EQ(Describe(0xE0, 0x7F, 0x3F), "pb 0.00%");
    // 128 steps: 12800 / 8191 = 15.63 tenths, rounded to 16.
    EXPECT_EQ(Describe(0xE0, 0x00, 0x41), "pb +1.60%");
    EXPECT_EQ(Describe(0xE0, 0x00, 0x3F), "pb -1.60%");
    // 4096 steps up: 50.006%, shown as 50.00.
    EXPECT_EQ(Describe(0xE0, 0x00, 0x60), "pb +50.00%");
    EXPECT_EQ(Describe(0xE0, 0x00, 0x20), "pb -50.00%");
}

TEST(DescribeMessage, MalformedSensingAndSystemMessages) {
    MIDI_DISPLAY display;
    display.Port = 21;
    DescribeMessage({0x90, 60, 100}, display, 1);
    EXPECT_EQ(display.Channel, 1);
    EXPECT_EQ(display.Kind, 1);
    EXPECT_EQ(display.MaxVelocity, 100);

    DescribeMessage({0x3C, 0, 0}, display, 1);
    EXPECT_EQ(display.Text, "?");
    EXPECT_EQ(display.Channel, -1);
    EXPECT_EQ(display.Kind, -1);
    DescribeMessage({0x90, 0x80, 1}, display, 1);
    EXPECT_EQ(display.Text, "?");
    DescribeMessage({0x90, 1, 0xFF}, display, 1);
    EXPECT_EQ(display.Text, "?");

    DescribeMessage({0xFE, 0, 0}, display, 1);
    EXPECT_EQ(display.Text, "sense");
    EXPECT_EQ(display.Kind, -1);

    DescribeMessage({0xF8, 0, 0}, display, 1);
    EXPECT_EQ(display.Text, "Sysex data");
    EXPECT_EQ(display.Kind, 7);
    EXPECT_EQ(display.Channel, -1);

    DescribeMessage({0x9F, 61, 40}, display, 1);
    EXPECT_EQ(display.Channel, 16);
    // The highest velocity stays; the port is never touched.
    EXPECT_EQ(display.MaxVelocity, 100);
    EXPECT_EQ(display.Port, 21);
    DescribeMessage({0x9F, 61, 0}, display, 1);
    EXPECT_EQ(display.Kind, 0);
}

TEST(ShortMessages, LengthsFollowTheStatus) {
    EXPECT_EQ(ShortMessageLength(0x90), 3);
    EXPECT_EQ(ShortMessageLength(0xC3), 2);
    EXPECT_EQ(ShortMessageLength(0xD0), 2);
    EXPECT_EQ(ShortMessageLength(0xF2), 3);
    EXPECT_EQ(ShortMessageLength(0xF3), 2);
    EXPECT_EQ(ShortMessageLength(0xF8), 1);
    EXPECT_EQ(ShortMessageLength(0xF0), 0);
    EXPECT_EQ(ShortMessageLength(0x40), 0);
}

} // namespace
} // namespace peldor
