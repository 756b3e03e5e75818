#include "ui/flat_knob.h"

#include "ui/flat_style.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace peldor {
namespace {

constexpr float kAngleGap = 1e-7f;
constexpr double kFullTurn = 360.0;
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
// Proportions of the half width.
constexpr double kBodyRadius = 0.7;
constexpr double kPointerFrom = 0.3;
constexpr double kEndMarkFrom = 0.8;
constexpr double kTickFrom = 0.9;
constexpr int kMaxTicks = 1000; // a tiny TickStep must not hang the painting

// The point at distance r from the centre at an angle clockwise from straight down.
QPointF AtAngle(QPointF centre, double degrees, double r) {
    const double a = degrees * kDegToRad;
    return centre + QPointF(-std::sin(a) * r, std::cos(a) * r);
}

} // namespace

TFlatKnob::TFlatKnob(QWidget* parent)
    : TFlatControl(0.5f, 2, QStringLiteral("dBFS"), parent), backColor(style::kWindowBack) {
    resize(36, 36);
}

void TFlatKnob::SetMinAngle(float value) {
    value = std::clamp(value, 0.0f, static_cast<float>(kFullTurn));
    if (value >= maxAngle) {
        value = std::nextafter(maxAngle - kAngleGap, -std::numeric_limits<float>::infinity());
    }
    minAngle = value;
    update();
}

void TFlatKnob::SetMaxAngle(float value) {
    value = std::clamp(value, 0.0f, static_cast<float>(kFullTurn));
    if (value <= minAngle) {
        value = std::nextafter(minAngle + kAngleGap, std::numeric_limits<float>::infinity());
    }
    maxAngle = value;
    update();
}

void TFlatKnob::SetBackColor(const QColor& c) {
    backColor = c;
    update();
}

void TFlatKnob::SetFill(bool value) {
    fill = value;
    update();
}

double TFlatKnob::PointerAngle() const {
    return minAngle + (maxAngle - minAngle) * (Val() - Min()) / (Max() - Min());
}

void TFlatKnob::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), backColor);
    painter.setRenderHint(QPainter::Antialiasing);
    const double half = std::min(width(), height()) / 2.0;
    const QPointF centre(width() / 2.0, height() / 2.0);

    QPen tickPen(TickColor(), 1.5);
    tickPen.setCapStyle(Qt::RoundCap);
    painter.setPen(tickPen);
    if (ShowEndMarks()) {
        for (double a : {static_cast<double>(minAngle), static_cast<double>(maxAngle)}) {
            painter.drawLine(AtAngle(centre, a, kEndMarkFrom * half), AtAngle(centre, a, half));
        }
    }
    const double range = Max() - Min();
    if (ShowTicks() && TickStep() > 0.0f && range / TickStep() < kMaxTicks) {
        tickPen.setWidthF(1.0);
        painter.setPen(tickPen);
        for (double v = 0.0; v <= range + 1e-6; v += TickStep()) {
            const double a = minAngle + (maxAngle - minAngle) * v / range;
            painter.drawLine(AtAngle(centre, a, kTickFrom * half), AtAngle(centre, a, half));
        }
    }

    const double body = kBodyRadius * half;
    painter.setPen(QPen(PenColor(), Thickness() * 0.5));
    painter.setBrush(fill ? QBrush(FillColor()) : Qt::NoBrush);
    painter.drawEllipse(centre, body, body);

    QPen pointerPen(MarkColor(), Thickness());
    pointerPen.setCapStyle(Qt::RoundCap);
    painter.setPen(pointerPen);
    const double angle = PointerAngle();
    painter.drawLine(AtAngle(centre, angle, kPointerFrom * half),
                     AtAngle(centre, angle, kBodyRadius * half));
}

void TFlatKnob::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    dragging = true;
    dragStartY = qRound(event->position().y());
    dragStartVal = Val();
    ShowFloatingValue();
}

void TFlatKnob::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging) {
        return;
    }
    const int y = qRound(event->position().y());
    SetValByUser(dragStartVal + (dragStartY - y) * (Max() - Min()) / kDragRange);
}

void TFlatKnob::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging || event->button() != Qt::LeftButton) {
        return;
    }
    const int y = qRound(event->position().y());
    dragging = false;
    HideFloatingValue();
    SetValByUser(dragStartVal + (dragStartY - y) * (Max() - Min()) / kDragRange);
}

} // namespace peldor
