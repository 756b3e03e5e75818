#include "midi/message_description.h"

#include "midi/midi_names.h"

#include <cmath>
#include <cstring>
#include <string_view>

namespace peldor {
namespace {

// Kind codes of MIDI_DISPLAY.
constexpr std::int32_t kKindNone = -1;
constexpr std::int32_t kKindNoteOff = 0;
constexpr std::int32_t kKindNoteOn = 1;
constexpr std::int32_t kKindPolyPressure = 2;
constexpr std::int32_t kKindController = 3;
constexpr std::int32_t kKindProgram = 4;
constexpr std::int32_t kKindChannelPressure = 5;
constexpr std::int32_t kKindPitchBend = 6;
constexpr std::int32_t kKindSystem = 7;

constexpr std::uint8_t kBalanceCentre = 64;
constexpr int kPitchBendCentre = 8192;
constexpr double kPitchBendFullScale = 8191.0;

constexpr std::string_view kSeparator = kDescriptionSeparator;

// Appends to a fixed buffer; never writes past kDescriptionMax. Kept to plain copies: the
// routing describes every message twice per connection.
class TextWriter {
public:
    explicit TextWriter(char* buffer) : out(buffer) {}

    TextWriter& Put(std::string_view text) {
        const std::size_t room = static_cast<std::size_t>(kDescriptionMax - length);
        const std::size_t count = text.size() < room ? text.size() : room;
        std::memcpy(out + length, text.data(), count);
        length += static_cast<int>(count);
        return *this;
    }
    // Data bytes and percentages: up to three digits, and nothing here is larger.
    TextWriter& Number(int value) {
        constexpr int kLargest = 999;
        value = value < 0 ? 0 : value > kLargest ? kLargest : value;
        char digits[3];
        int n = 0;
        if (value >= 100) {
            digits[n++] = static_cast<char>('0' + value / 100);
        }
        if (value >= 10) {
            digits[n++] = static_cast<char>('0' + value / 10 % 10);
        }
        digits[n++] = static_cast<char>('0' + value % 10);
        return Put(std::string_view(digits, static_cast<std::size_t>(n)));
    }
    TextWriter& Note(std::uint8_t note, int scheme) {
        char name[kNoteNameMax];
        return Put(
            std::string_view(name, static_cast<std::size_t>(WriteNoteName(note, scheme, name))));
    }
    int Length() const { return length; }

private:
    char* out;
    int length = 0;
};

// The pitch-bend value as a percentage of full scale, rounded to a tenth of a percent (half
// to even) and shown with two decimals: "pb +12.30%", "pb 0.00%", "pb -100.00%". The value has
// a single decimal, so the second is always 0 and no more than four digits are significant.
void WritePitchBend(TextWriter& text, std::uint8_t lsb, std::uint8_t msb) {
    const int value = lsb + 128 * msb - kPitchBendCentre;
    const int tenths = static_cast<int>(std::lrint(value * 1000.0 / kPitchBendFullScale));
    text.Put(tenths > 0 ? "pb +" : tenths < 0 ? "pb -" : "pb ");
    const int magnitude = tenths < 0 ? -tenths : tenths;
    text.Number(magnitude / 10).Put(".").Number(magnitude % 10).Put("0%");
}

// Overwrites in place when the length is unchanged, which it mostly is from one message to
// the next; that spares the general assignment path.
void StoreText(std::string& target, const char* text, int length) {
    const auto size = static_cast<std::size_t>(length);
    if (target.size() == size) {
        std::memcpy(target.data(), text, size);
    } else {
        target.assign(text, size);
    }
}

} // namespace

int FormatMessageDescription(TShortMessage message, int scheme, char* out, std::int32_t& channel,
                             std::int32_t& kind) noexcept {
    TextWriter text(out);
    channel = -1;
    kind = kKindNone;
    const auto [status, data1, data2] = message;
    if (!IsWellFormed(message)) {
        return text.Put("?").Length();
    }
    if (status == kActiveSensing) {
        return text.Put("sense").Length();
    }
    const std::uint8_t command = status & kCommandMask;
    if (command != kSystem) {
        channel = (status & kChannelMask) + 1;
    }
    switch (command) {
    case kNoteOff:
        kind = kKindNoteOff;
        text.Put("off ").Note(data1, scheme);
        break;
    case kNoteOn:
        if (data2 == 0) {
            kind = kKindNoteOff;
            text.Put("off ").Note(data1, scheme);
        } else {
            kind = kKindNoteOn;
            text.Put("on  ").Note(data1, scheme).Put(kSeparator).Number(data2);
        }
        break;
    case kPolyPressure:
        kind = kKindPolyPressure;
        text.Put("pp ").Note(data1, scheme).Put(kSeparator).Number(data2);
        break;
    case kControlChange:
        kind = kKindController;
        text.Put("cc ").Put(MIDI_CC[data1]).Put(kSeparator);
        if (data1 != kCcBalance) {
            text.Number(data2);
        } else if (data2 == kBalanceCentre) {
            text.Put("C");
        } else if (data2 > kBalanceCentre) {
            text.Put("R ").Number(data2 - kBalanceCentre);
        } else {
            text.Put("L ").Number(kBalanceCentre - data2);
        }
        break;
    case kProgramChange:
        kind = kKindProgram;
        text.Put("Program ").Number(data1 + 1);
        break;
    case kChannelPressure:
        kind = kKindChannelPressure;
        text.Put("at ").Number(data1);
        break;
    case kPitchBend:
        kind = kKindPitchBend;
        WritePitchBend(text, data1, data2);
        break;
    default:
        kind = kKindSystem;
        text.Put("Sysex data");
        break;
    }
    return text.Length();
}

void DescribeMessage(TShortMessage message, MIDI_DISPLAY& display, int scheme) {
    char text[kDescriptionMax];
    std::int32_t channel = -1;
    std::int32_t kind = kKindNone;
    const int length = FormatMessageDescription(message, scheme, text, channel, kind);
    display.Channel = channel;
    display.Kind = kind;
    StoreText(display.Text, text, length);
    if (kind == kKindNoteOn && message.Data2 > display.MaxVelocity) {
        display.MaxVelocity = message.Data2;
    }
}

void TDescriptionCache::Describe(TShortMessage message, MIDI_DISPLAY& display) {
    const std::uint32_t word = PackShortMessage(message);
    const Entry* found = nullptr;
    for (int i = 0; i < count; ++i) {
        if (entries[i].Word == word) {
            found = &entries[i];
            break;
        }
    }
    if (found == nullptr) {
        Entry& entry = entries[next];
        next = (next + 1) % kEntries;
        count = count < kEntries ? count + 1 : count;
        entry.Word = word;
        entry.Length =
            FormatMessageDescription(message, scheme, entry.Text, entry.Channel, entry.Kind);
        found = &entry;
    }
    display.Channel = found->Channel;
    display.Kind = found->Kind;
    StoreText(display.Text, found->Text, found->Length);
    if (found->Kind == kKindNoteOn && message.Data2 > display.MaxVelocity) {
        display.MaxVelocity = message.Data2;
    }
}

std::string DescribeMessageText(TShortMessage message, int scheme) {
    char text[kDescriptionMax];
    std::int32_t channel = -1;
    std::int32_t kind = kKindNone;
    const int length = FormatMessageDescription(message, scheme, text, channel, kind);
    return std::string(text, static_cast<std::size_t>(length));
}

} // namespace peldor
