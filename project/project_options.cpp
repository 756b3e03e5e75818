#include "project/project_options.h"

#include "engine/oscillator.h"
#include "engine/processor.h"
#include "project/project_links.h"

#include <cstring>

namespace peldor {

namespace {

constexpr std::uint32_t kEpsilonBits = 0x0F4AD2F8u; // 1e-29

struct DefaultCommand {
    std::int16_t hotkey;
};
// Down arrow, Up arrow, Page Down, Page Up, Escape.
constexpr DefaultCommand kDefaultCommands[kRemoteCommandCount] = {{40}, {38}, {34}, {33}, {27}};

void SetPattern(TMidiPattern& pattern, std::int16_t status, std::int16_t data1,
                std::int16_t data2) {
    pattern[0] = status;
    pattern[1] = data1;
    pattern[2] = data2;
}

} // namespace

TProjectOptions::TProjectOptions() {
    float epsilon = 0.0f;
    std::memcpy(&epsilon, &kEpsilonBits, sizeof epsilon);
    Epsilon = epsilon;
    // Controller 64 (hold) and 123 (all notes off).
    SetPattern(UserFilter1, 176, 64, -1);
    SetPattern(UserFilter2, 176, 123, -1);
    for (int i = 0; i < kRemoteCommandCount; ++i) {
        RemoteCommands[i].Hotkey = kDefaultCommands[i].hotkey;
        SetPattern(RemoteCommands[i].Pattern, kPatternNoStatus, 0, 0);
    }
}

void TProjectOptions::Apply() const {
    EngineOptions.Epsilon = Epsilon;
    EngineOptions.DecimalSeparator = static_cast<char>(DecimalSeparator.Load());
    EngineOptions.SineAccuracy = SineAccuracy;
    EngineOptions.PinkNoise = PinkNoise;
    if (TProcessor* processor = ProjectLinks.Processor) {
        processor->SetWorkerPriority(AudioThreadPriority);
    }
}

bool PatternDataMatches(std::int16_t pattern, std::uint8_t value) noexcept {
    constexpr std::int16_t kLowBits = 0xFF;
    if (pattern == kPatternAny) {
        return true;
    }
    if (pattern == kPatternAnyButZero) {
        return value != 0;
    }
    if (pattern >= 0 && pattern <= kLowBits) {
        return pattern == value;
    }
    if ((pattern & kPatternMaskBit) != 0) {
        return (pattern & kLowBits) == (pattern & value);
    }
    return false;
}

std::int32_t TProjectOptions::MatchRemoteCommand(std::uint8_t status, std::uint8_t data1,
                                                 std::uint8_t data2) const noexcept {
    for (std::int32_t i = 0; i < kRemoteCommandCount; ++i) {
        const TMidiPattern& pattern = RemoteCommands[i].Pattern;
        const std::int16_t patternStatus = pattern[0];
        if (patternStatus == kPatternNoStatus || patternStatus != status) {
            continue;
        }
        if (PatternDataMatches(pattern[1], data1) && PatternDataMatches(pattern[2], data2)) {
            return i;
        }
    }
    return -1;
}

std::int32_t TProjectOptions::MatchRemoteCommand(std::uint32_t message) const noexcept {
    return MatchRemoteCommand(static_cast<std::uint8_t>(message & 0xFF),
                              static_cast<std::uint8_t>((message >> 8) & 0xFF),
                              static_cast<std::uint8_t>((message >> 16) & 0xFF));
}

TProjectOptions& ProjectOptions() {
    static TProjectOptions& options = []() -> TProjectOptions& {
        static TProjectOptions created;
        created.Apply();
        return created;
    }();
    return options;
}

} // namespace peldor
