#pragma once
// The audio taper shared by knobs and faders: a control position 0.0-1.0 becomes the linear gain
// (position + 0.375)^5, so 0.625 is 0 dB. Plain arithmetic, any thread.

namespace peldor {

inline constexpr double kTaperOffset = 0.375;
/// Gain at position 1.0 (1.375^5, about +13.8 dB); SetGain limits to it.
inline constexpr double kTaperMaxGain = 4.9148865;
/// Gain at position 0.0 (0.375^5, about -42.6 dB); anything below is silence.
inline constexpr double kTaperMinGain = 0.0074157715;
/// The dB value a silenced control reports.
inline constexpr double kTaperSilentDb = -120.0;
/// The position of 0 dB.
inline constexpr double kTaperUnityPosition = 0.625;

struct TaperPoint {
    double position = 0.0;
    double gain = 0.0;
    double dB = 0.0;
};

/// Gain and dB of a position. Positions at or below -0.375 have no logarithm: they give gain 0
/// and the silent dB value.
TaperPoint TaperFromPosition(double position);
/// The position of a gain, as SetGain puts a control there: the gain is limited to
/// kTaperMaxGain; below kTaperMinGain the point is position 0, gain 0 and kTaperSilentDb.
TaperPoint TaperFromGain(double gain);
/// The position a dB value sits at (the fader's scale marks).
double TaperPositionOfDb(double dB);

} // namespace peldor
