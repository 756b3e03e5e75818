#include "ui/level_meter.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace peldor {
namespace {

constexpr int kDimOff = 10; // Dim 10 shows unlit segments in the background colour
const QColor kSunkenDark{0, 0, 0};
const QColor kSunkenLight{0x5A, 0x62, 0x8A};

} // namespace

TLevelMeter::TLevelMeter(QWidget* parent) : QWidget(parent) {
    resize(14, 105);
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer.setInterval(kTimerMs);
    connect(&timer, &QTimer::timeout, this, &TLevelMeter::TimerTick);
}

void TLevelMeter::SetValue(int v) {
    const int oldLit = LitSegments();
    const int oldPeak = PeakSegment();
    value = std::clamp(v, 0, kMaxValue);
    UpdatePeak(false);
    RefreshFrom(oldLit, oldPeak);
}

void TLevelMeter::Feed(int v) {
    if (v < value) {
        return;
    }
    SetValue(v);
}

void TLevelMeter::TimerTick() {
    const int oldLit = LitSegments();
    const int oldPeak = PeakSegment();
    value = std::max(value - fallOff, -1);
    ++holdCounter;
    UpdatePeak(true);
    RefreshFrom(oldLit, oldPeak);
}

void TLevelMeter::UpdatePeak(bool tick) {
    if (!peakHold) {
        peak = -1;
        return;
    }
    const int lit = LitSegments();
    if (holdCounter < peakHoldTime) {
        if (lit >= peak) {
            peak = lit;
            holdCounter = 0;
        }
        return;
    }
    // A louder level takes over from a peak whose hold has run out.
    if (lit > 0 && lit >= peak) {
        peak = lit;
        holdCounter = 0;
        return;
    }
    if (!tick) {
        return;
    }
    if (animatedPeaks) {
        peak -= peakFallOff;
        if (peak < -1) {
            peak = -1;
            holdCounter = 0;
        }
    } else {
        // The hold starts afresh, or the cleared peak would never catch a level again.
        peak = -1;
        holdCounter = 0;
    }
}

int TLevelMeter::Segments() const {
    return std::max(0, (height() - 4) / (barHeight + barSeparator));
}

int TLevelMeter::LitSegments() const {
    const int n = Segments();
    return std::clamp(n * value / kFullScale, 0, n);
}

int TLevelMeter::PeakSegment() const {
    if (!peakHold) {
        return -1;
    }
    const int segment = peak - 2;
    return segment >= 1 && segment < Segments() ? segment : -1;
}

int TLevelMeter::BandOf(int segment) const {
    const int n = Segments();
    const int t1 = threshold1 * n / kFullScale;
    const int t2 = threshold2 * n / kFullScale - t1;
    if (segment <= t1) {
        return 1;
    }
    return segment <= t1 + t2 ? 2 : 3;
}

QColor TLevelMeter::SegmentColor(int segment, bool lit) const {
    const int band = BandOf(segment);
    const QColor& c = band == 1 ? color1 : band == 2 ? color2 : color3;
    if (lit) {
        return c;
    }
    if (dim >= kDimOff) {
        return bgColor;
    }
    return QColor(c.red() / dim, c.green() / dim, c.blue() / dim);
}

QRect TLevelMeter::SegmentRect(int segment) const {
    const int bottom = height() - 3 - segment * (barHeight + barSeparator);
    return {2, bottom - barHeight + 1, width() - 4, barHeight};
}

void TLevelMeter::RefreshFrom(int oldLit, int oldPeakSegment) {
    const int lit = LitSegments();
    const int peakSegment = PeakSegment();
    QRect dirty;
    if (lit != oldLit) {
        const int low = std::min(lit, oldLit);
        const int high = std::max(lit, oldLit) - 1;
        dirty = SegmentRect(low).united(SegmentRect(high));
    }
    if (peakSegment != oldPeakSegment) {
        for (int s : {peakSegment, oldPeakSegment}) {
            if (s >= 0) {
                dirty = dirty.united(SegmentRect(s));
            }
        }
    }
    if (!dirty.isEmpty()) {
        update(dirty);
    }
}

void TLevelMeter::SetInt(int& field, int v, int low, int high) {
    field = std::clamp(v, low, high);
    Rebuild();
}

void TLevelMeter::SetColor(QColor& field, const QColor& c) {
    field = c;
    Rebuild();
}

void TLevelMeter::SetPeakHold(bool v) {
    peakHold = v;
    peak = -1;
    holdCounter = 0;
    Rebuild();
}

void TLevelMeter::SetSunken(bool v) {
    sunken = v;
    Rebuild();
}

void TLevelMeter::Rebuild() {
    litImage = QPixmap();
    unlitImage = QPixmap();
    update();
}

void TLevelMeter::resizeEvent(QResizeEvent* event) {
    Rebuild();
    QWidget::resizeEvent(event);
    emit OnResize();
}

void TLevelMeter::showEvent(QShowEvent* event) {
    timer.start();
    QWidget::showEvent(event);
}

void TLevelMeter::hideEvent(QHideEvent* event) {
    timer.stop();
    QWidget::hideEvent(event);
}

void TLevelMeter::BuildImages() {
    const qreal ratio = devicePixelRatioF();
    for (bool lit : {true, false}) {
        QPixmap image(size() * ratio);
        image.setDevicePixelRatio(ratio);
        image.fill(bgColor);
        QPainter painter(&image);
        if (sunken) {
            painter.setPen(kSunkenDark);
            painter.drawLine(0, 0, width() - 1, 0);
            painter.drawLine(0, 0, 0, height() - 1);
            painter.setPen(kSunkenLight);
            painter.drawLine(1, height() - 1, width() - 1, height() - 1);
            painter.drawLine(width() - 1, 1, width() - 1, height() - 1);
        }
        const int n = Segments();
        for (int i = 0; i < n; ++i) {
            painter.fillRect(SegmentRect(i), SegmentColor(i, lit));
        }
        painter.end();
        (lit ? litImage : unlitImage) = image;
    }
}

void TLevelMeter::paintEvent(QPaintEvent* event) {
    if (litImage.isNull() || litImage.deviceIndependentSize().toSize() != size()) {
        BuildImages();
    }
    QPainter painter(this);
    const qreal ratio = litImage.devicePixelRatio();
    const auto copy = [&](const QPixmap& image, const QRect& area) {
        const QRect part = area.intersected(event->rect());
        if (!part.isEmpty()) {
            const QRectF source(part.x() * ratio, part.y() * ratio, part.width() * ratio,
                                part.height() * ratio);
            painter.drawPixmap(QRectF(part), image, source);
        }
    };
    const int lit = LitSegments();
    const int split = lit > 0 ? SegmentRect(lit - 1).top() : height();
    copy(unlitImage, QRect(0, 0, width(), split));
    copy(litImage, QRect(0, split, width(), height() - split));
    const int peakSegment = PeakSegment();
    if (peakSegment >= lit) {
        painter.fillRect(SegmentRect(peakSegment), SegmentColor(peakSegment, true));
    }
}

} // namespace peldor
