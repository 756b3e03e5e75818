#pragma once
// Small numeric routines of the engine: fast approximations and value printing.

#include <string>

namespace peldor {

/// Approximate log10 read from the upper 32 bits of x's bits; within about 0.018 for x > 0,
/// meaningless for zero and negative x.
double FastLog10(double x) noexcept;
/// Parabolic sine for 0 <= x <= 2*pi. Inline: the oscillator calls it once per sample.
inline float FastSin(float x) noexcept {
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kFourOverPi = 1.2732395447351628;
    constexpr double kFourOverPiSquared = 0.4052847345693511;
    double v = x;
    if (v > kPi) {
        v -= 2.0 * kPi;
    }
    return static_cast<float>(kFourOverPi * v - kFourOverPiSquared * v * (v < 0.0 ? -v : v));
}
/// FastSin with one refinement step.
inline float FastSinFine(float x) noexcept {
    constexpr double kRefinement = 0.225;
    const double y = FastSin(x);
    return static_cast<float>(y + kRefinement * (y * (y < 0.0 ? -y : y) - y));
}
/// Rounds to the nearest integer, halves to even.
double RoundHalfEven(double x) noexcept;

/// x with an SI prefix and a unit, for example FormatValue(5, "Hz", false, 44100) is
/// "44.100 kHz". Uses EngineOptions' Epsilon and DecimalSeparator. Window thread.
std::string FormatValue(int digits, const std::string& unit, bool longPrefix, float x);

} // namespace peldor
