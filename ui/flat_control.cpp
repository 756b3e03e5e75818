#include "ui/flat_control.h"

#include "ui/audio_taper.h"
#include "ui/flat_style.h"

#include <QLabel>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace peldor {
namespace {

constexpr float kRangeGap = 1e-7f;
constexpr double kSilentPosition = 0.001; // below this a fader is silent and shows minus infinity
// Wheel steps in dB: plain, with Shift (coarse) and with Ctrl (fine).
constexpr double kWheelStepDb = 1.0;
constexpr double kWheelCoarseDb = 3.0;
constexpr double kWheelFineDb = 0.1;
constexpr double kWheelNotch = 120.0;
// Outside the taper's 0-1 range the wheel moves by a share of the range instead.
constexpr double kWheelLinearShare = 1.0 / 40.0;

} // namespace

TFlatControl::TFlatControl(float defaultVal, int defaultThickness, const QString& defaultUnit,
                           QWidget* parent)
    : QWidget(parent), val(defaultVal), fillColor(style::kControlFill),
      markColor(style::kControlMark), penColor(style::kFrame), thickness(defaultThickness),
      valColor(style::kText), valFillColor(style::kTrack), valBorderColor(style::kFrame),
      valUnit(defaultUnit), tickColor(style::kScale) {
    StoreVal(defaultVal);
    setFocusPolicy(Qt::NoFocus);
}

TFlatControl::~TFlatControl() = default;

void TFlatControl::SetMin(float value) {
    if (std::isnan(value)) {
        return;
    }
    if (value >= max) {
        value = max - kRangeGap;
        if (value >= max) {
            value = std::nextafter(max, -std::numeric_limits<float>::infinity());
        }
    }
    min = value;
    StoreVal(val);
    ValChanged();
    LookChanged();
}

void TFlatControl::SetMax(float value) {
    if (std::isnan(value)) {
        return;
    }
    if (value <= min) {
        value = min + kRangeGap;
        if (value <= min) {
            value = std::nextafter(min, std::numeric_limits<float>::infinity());
        }
    }
    max = value;
    StoreVal(val);
    ValChanged();
    LookChanged();
}

void TFlatControl::SetVal(float value) {
    StoreVal(value);
    ValChanged();
}

void TFlatControl::SetValByUser(float value) {
    StoreVal(value);
    ValChanged();
    if (floatingValue != nullptr && floatingValue->isVisible()) {
        floatingValue->setText(ValueText());
        floatingValue->adjustSize();
    }
    emit OnChange();
}

void TFlatControl::StoreVal(float value) {
    if (std::isnan(value)) {
        value = min;
    }
    val = std::clamp(value, min, max);
    const TaperPoint point = TaperFromPosition(val);
    gain = point.gain;
    dBValue = point.dB;
}

void TFlatControl::SetGain(double g) {
    const TaperPoint point = TaperFromGain(g);
    val = std::clamp(static_cast<float>(point.position), min, max);
    gain = point.gain;
    dBValue = point.dB;
    ValChanged();
}

void TFlatControl::SetThickness(int value) {
    thickness = std::clamp(value, 1, 10);
    LookChanged();
}

void TFlatControl::SetValUnit(const QString& unit) {
    valUnit = unit;
    LookChanged();
}

void TFlatControl::SetShowTicks(bool value) {
    showTicks = value;
    LookChanged();
}

void TFlatControl::SetShowEndMarks(bool value) {
    showEndMarks = value;
    LookChanged();
}

void TFlatControl::SetTickStep(float value) {
    tickStep = value;
    LookChanged();
}

void TFlatControl::SetColor(QColor& field, const QColor& value) {
    field = value;
    LookChanged();
}

QString TFlatControl::ValueText() const {
    if (val < kSilentPosition) {
        return QStringLiteral("\u2212\u221E ") + valUnit;
    }
    return QString::asprintf("%-4.1f ", dBValue) + valUnit;
}

void TFlatControl::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / kWheelNotch;
    if (notches == 0.0) {
        event->ignore();
        return;
    }
    event->accept();
    const Qt::KeyboardModifiers mods = event->modifiers();
    float next;
    if (min == 0.0f && max == 1.0f) {
        const double step = (mods & Qt::ShiftModifier)     ? kWheelCoarseDb
                            : (mods & Qt::ControlModifier) ? kWheelFineDb
                                                           : kWheelStepDb;
        // From silence the first step up starts at the taper's floor.
        const double fromDb = TaperFromPosition(std::max(val, 0.0f)).dB;
        next = static_cast<float>(TaperPositionOfDb(fromDb + notches * step));
    } else {
        double share = kWheelLinearShare;
        if (mods & Qt::ShiftModifier) {
            share *= kWheelCoarseDb;
        } else if (mods & Qt::ControlModifier) {
            share *= kWheelFineDb;
        }
        next = static_cast<float>(val + notches * share * (max - min));
    }
    next = std::clamp(next, min, max);
    if (next != val) {
        SetValByUser(next);
    }
}

void TFlatControl::ShowFloatingValue() {
    if (floatingValue == nullptr) {
        floatingValue = new QLabel(this, Qt::ToolTip | Qt::FramelessWindowHint);
        floatingValue->setObjectName(QStringLiteral("FloatingValue"));
        floatingValue->setFont(style::SansFont(13, true));
        floatingValue->setStyleSheet(QStringLiteral("QLabel { background: #121524; color: "
                                                    "#E8EBF4; border: 1px solid #FFB02E; "
                                                    "padding: 2px 5px; }"));
    }
    floatingValue->setText(ValueText());
    floatingValue->adjustSize();
    floatingValue->move(mapToGlobal(QPoint(width() + 4, height() / 2 - floatingValue->height())));
    floatingValue->show();
}

void TFlatControl::HideFloatingValue() {
    if (floatingValue != nullptr) {
        floatingValue->hide();
    }
}

} // namespace peldor
