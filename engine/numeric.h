#pragma once
// Small numeric routines of the engine: fast approximations and value printing.

#include <string>

namespace peldor {

/// Approximate log10 read from the upper 32 bits of x's bits; within about 0.018 for x > 0,
/// meaningless for zero and negative x.
double FastLog10(double x) noexcept;
/// Parabolic sine for 0 <= x <= 2*pi.
float FastSin(float x) noexcept;
/// FastSin with one refinement step.
float FastSinFine(float x) noexcept;
/// Rounds to the nearest integer, halves to even.
double RoundHalfEven(double x) noexcept;

/// x with an SI prefix and a unit, for example FormatValue(5, "Hz", false, 44100) is
/// "44.100 kHz". Uses EngineOptions' Epsilon and DecimalSeparator. Window thread.
std::string FormatValue(int digits, const std::string& unit, bool longPrefix, float x);

} // namespace peldor
