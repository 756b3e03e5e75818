#include "ui/audio_taper.h"

#include <cmath>

namespace peldor {

TaperPoint TaperFromPosition(double position) {
    const double x = position + kTaperOffset;
    if (!(x > 0.0)) {
        return {position, 0.0, kTaperSilentDb};
    }
    const double dB = 100.0 * std::log10(x);
    return {position, std::pow(10.0, dB / 20.0), dB};
}

TaperPoint TaperFromGain(double gain) {
    if (std::isnan(gain)) {
        gain = 0.0;
    }
    if (gain > kTaperMaxGain) {
        gain = kTaperMaxGain;
    }
    if (gain < kTaperMinGain) {
        return {0.0, 0.0, kTaperSilentDb};
    }
    const double dB = 20.0 * std::log10(gain);
    return {TaperPositionOfDb(dB), gain, dB};
}

double TaperPositionOfDb(double dB) {
    return std::pow(10.0, dB / 100.0) - kTaperOffset;
}

} // namespace peldor
