#include "engine/numeric.h"

#include "engine/oscillator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace peldor {

double FastLog10(double x) noexcept {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    const auto high = static_cast<std::uint32_t>(bits >> 32);
    // log10(2) / 2^20: one unit of the exponent field, seen through the upper word.
    constexpr double kLog10Step = 2.870846503301891e-07;
    constexpr double kExponentBias = 1072632447.0;
    return (static_cast<double>(high) - kExponentBias) * kLog10Step;
}

double RoundHalfEven(double x) noexcept {
    return std::nearbyint(x);
}

std::string FormatValue(int digits, const std::string& unit, bool longPrefix, float x) {
    struct Prefix {
        const char* shortForm;
        const char* longForm;
    };
    static constexpr Prefix kPrefixes[17] = {
        {"y", "Yocto"}, {"z", "Zepto"},      {"a", "Atto"},  {"f", "Femto"}, {"p", "Pico"},
        {"n", "Nano"},  {"\u00B5", "Micro"}, {"m", "Milli"}, {"", ""},       {"k", "Kilo"},
        {"M", "Mega"},  {"G", "Giga"},       {"T", "Tera"},  {"P", "Peta"},  {"E", "Exa"},
        {"Z", "Zetta"}, {"Y", "Yotta"},
    };
    constexpr int kMaxGroup = 8;

    if (std::fabs(x) < static_cast<float>(EngineOptions.Epsilon)) {
        return "0 " + unit;
    }
    // nearbyint rounds halves to even in the default rounding mode.
    int group = static_cast<int>(RoundHalfEven((FastLog10(x) - 1.5) / 3.0));
    group = std::clamp(group, -kMaxGroup, kMaxGroup);
    const float scaled = static_cast<float>(x * std::pow(10.0, -3.0 * group));
    const int n = static_cast<int>(RoundHalfEven(FastLog10(scaled) + 0.5));
    const int decimals = std::max(0, digits - std::abs(n));

    char number[64];
    std::snprintf(number, sizeof number, "%.*f", decimals, static_cast<double>(scaled));
    std::string text = number;
    const char separator = EngineOptions.DecimalSeparator;
    std::replace(text.begin(), text.end(), '.', separator);

    const Prefix& prefix = kPrefixes[group + kMaxGroup];
    return text + " " + (longPrefix ? prefix.longForm : prefix.shortForm) + unit;
}

} // namespace peldor
