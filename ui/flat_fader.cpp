#include "ui/flat_fader.h"

#include "engine/numeric.h"
#include "ui/audio_taper.h"
#include "ui/flat_style.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace peldor {
namespace {

constexpr double kSilentPosition = 0.001;
constexpr double kMeterFloor = 0.01; // -40 dB, the bar's empty end
constexpr double kMeterCeiling = 1.0;
constexpr double kBarFallPerTick = 0.04; // 1.6 dB per tick
constexpr double kBarGoneBelow = -0.8;   // the value box returns once the bar falls below this
constexpr double kBarOrangeShare = 0.9;
constexpr int kScaleDb[] = {10, 5, 0, -5, -10, -20, -30, -40};
constexpr int kTrackWidth = 4;
constexpr int kThumbMaxWidth = 18;
constexpr int kScaleFontPx = 8;
constexpr int kValueFontMaxPx = 11;
constexpr int kValueFontMinPx = 7;
constexpr int kBoxShowsValue = -1;
constexpr int kBoxForceRepaint = -2;

} // namespace

TFlatFader::TFlatFader(QWidget* parent) : TFlatControl(0.625f, 1, QStringLiteral("dB"), parent) {
    resize(36, 160);
    // The fader paints every pixel (its background in its parent's colour), so the parent
    // need not be painted under each tick's repaint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer.setInterval(kTimerMs);
    connect(&timer, &QTimer::timeout, this, &TFlatFader::TimerTick);
    ValChanged();
}

double TFlatFader::Gain() const {
    return Val() < kSilentPosition ? 0.0 : TFlatControl::Gain();
}

void TFlatFader::SetMeter(double level) {
    if (std::isnan(level)) {
        return;
    }
    level = std::clamp(level, kMeterFloor, kMeterCeiling);
    const double current = std::pow(10.0, 2.0 * barLevel - 2.0);
    if (level > current) {
        barLevel = (FastLog10(level) + 2.0) * 0.5;
        boxState = TBoxState::BarRising;
    }
}

void TFlatFader::TimerTick() {
    if (dragging) {
        return;
    }
    switch (boxState) {
    case TBoxState::ValueShown:
        if (--countdown > 0) {
            return;
        }
        boxState = TBoxState::BarFalling;
        break;
    case TBoxState::BarRising:
        boxState = TBoxState::BarFalling;
        break;
    case TBoxState::BarFalling:
        barLevel -= kBarFallPerTick;
        if (barLevel < kBarGoneBelow) {
            boxState = TBoxState::Idle;
        }
        break;
    case TBoxState::Idle:
        return;
    }
    RefreshBox();
}

int TFlatFader::BoxContent() const {
    if (boxState != TBoxState::BarRising && boxState != TBoxState::BarFalling) {
        return kBoxShowsValue;
    }
    return BarReach() / 2;
}

void TFlatFader::RefreshBox() {
    const int content = BoxContent();
    if (content != shownContent) {
        shownContent = content;
        update(ValueBoxRect());
    }
}

int TFlatFader::BarReach() const {
    if (boxState != TBoxState::BarRising && boxState != TBoxState::BarFalling) {
        return 0;
    }
    return std::max(0, static_cast<int>((width() - 2) * barLevel));
}

int TFlatFader::TrackTop() const {
    return kThumbHeight / 2;
}

int TFlatFader::TrackBottom() const {
    return std::max(TrackTop() + 1, height() - kValueBoxHeight - kThumbHeight / 2 - 2);
}

QRect TFlatFader::ValueBoxRect() const {
    return {0, height() - kValueBoxHeight, width(), kValueBoxHeight};
}

QRect TFlatFader::ThumbRect() const {
    const double share = (Max() - Val()) / (Max() - Min());
    const int centre = TrackTop() + qRound(share * (TrackBottom() - TrackTop()));
    const int w = std::min(kThumbMaxWidth, width() - 4);
    return {TrackX() - w / 2, centre - kThumbHeight / 2, w, kThumbHeight};
}

float TFlatFader::PositionAt(double y) const {
    const double p =
        Max() - (Max() - Min()) * (y - kThumbHeight / 2.0) / (TrackBottom() - TrackTop());
    return std::clamp(static_cast<float>(p), Min(), Max());
}

void TFlatFader::ValChanged() {
    boxState = TBoxState::ValueShown;
    countdown = kValueShownTicks;
    const QRect thumb = ThumbRect();
    if (thumb != lastThumb) {
        update(lastThumb.adjusted(-1, -1, 1, 1));
        update(thumb.adjusted(-1, -1, 1, 1));
    }
    shownContent = kBoxForceRepaint; // the value's text changed
    RefreshBox();
}

void TFlatFader::LookChanged() {
    scale = QPixmap();
    shownContent = kBoxForceRepaint;
    update();
}

void TFlatFader::resizeEvent(QResizeEvent* event) {
    scale = QPixmap();
    shownContent = kBoxForceRepaint;
    QWidget::resizeEvent(event);
}

void TFlatFader::showEvent(QShowEvent* event) {
    timer.start();
    QWidget::showEvent(event);
}

void TFlatFader::hideEvent(QHideEvent* event) {
    timer.stop();
    QWidget::hideEvent(event);
}

void TFlatFader::BuildImages() {
    const qreal ratio = devicePixelRatioF();
    const QColor back = parentWidget() != nullptr
                            ? parentWidget()->palette().color(QPalette::Window)
                            : style::kWindowBack;
    scale = QPixmap(size() * ratio);
    scale.setDevicePixelRatio(ratio);
    scale.fill(back);
    QPainter painter(&scale);
    const int x = TrackX();
    const int top = TrackTop();
    const int bottom = TrackBottom();
    painter.fillRect(QRect(x - kTrackWidth / 2, top, kTrackWidth, bottom - top + 1), style::kTrack);

    painter.setFont(style::SansFont(kScaleFontPx));
    const auto markY = [&](double position) {
        return top + qRound((Max() - position) / (Max() - Min()) * (bottom - top));
    };
    const int labelRight = x - kThumbMaxWidth / 2 - 1;
    if (ShowTicks()) {
        for (int dB : kScaleDb) {
            const double position = TaperPositionOfDb(dB);
            if (position < Min() || position > Max()) {
                continue;
            }
            const int y = markY(position);
            painter.setPen(dB == 0 ? style::kText : TickColor());
            painter.drawLine(x + kTrackWidth / 2 + 1, y, x + kThumbMaxWidth / 2, y);
            painter.drawText(QRect(0, y - kScaleFontPx, labelRight, 2 * kScaleFontPx),
                             Qt::AlignRight | Qt::AlignVCenter, QString::number(std::abs(dB)));
        }
    }
    if (ShowEndMarks()) {
        painter.setPen(TickColor());
        for (int y : {top, bottom}) {
            painter.drawLine(x - kThumbMaxWidth / 2, y, x + kThumbMaxWidth / 2, y);
        }
    }
    painter.end();

    valueFontPx.fill(0);

    const QSize boxSize(width(), kValueBoxHeight);
    for (bool bar : {false, true}) {
        QPixmap image(boxSize * ratio);
        image.setDevicePixelRatio(ratio);
        QPainter boxPainter(&image);
        boxPainter.setPen(ValBorderColor());
        boxPainter.setBrush(ValFillColor());
        boxPainter.drawRect(QRect(QPoint(0, 0), boxSize).adjusted(0, 0, -1, -1));
        if (bar) {
            const int orangeFrom = static_cast<int>(width() * kBarOrangeShare);
            for (int lineX = 2; lineX <= width() - 2; lineX += 2) {
                boxPainter.setPen(lineX < orangeFrom ? style::kBarGreen : style::kBarOrange);
                boxPainter.drawLine(lineX, 2, lineX, kValueBoxHeight - 3);
            }
        }
        boxPainter.end();
        (bar ? fullBar : emptyBox) = image;
    }
}

void TFlatFader::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (scale.isNull() || scale.deviceIndependentSize().toSize() != size()) {
        BuildImages();
    }
    const QRect box = ValueBoxRect();
    if (event->rect().top() < box.top()) {
        painter.drawPixmap(0, 0, scale);
        lastThumb = ThumbRect();
        painter.setPen(QPen(PenColor(), 1));
        painter.setBrush(FillColor());
        painter.drawRect(lastThumb.adjusted(0, 0, -1, -1));
        painter.setPen(QPen(MarkColor(), Thickness() + 1));
        const int mid = lastThumb.center().y();
        painter.drawLine(lastThumb.left() + 2, mid, lastThumb.right() - 2, mid);
    }
    if (event->rect().intersects(box)) {
        PaintValueBox(painter);
    }
}

void TFlatFader::PaintValueBox(QPainter& painter) {
    const QRect box = ValueBoxRect();
    const qreal ratio = emptyBox.devicePixelRatio();
    if (boxState == TBoxState::BarRising || boxState == TBoxState::BarFalling) {
        // Lines stand at every even x up to the reach: the bar image up to the last of them.
        const int split = std::min(width(), BarReach() / 2 * 2 + 1);
        painter.drawPixmap(QRectF(0, box.top(), split, box.height()), fullBar,
                           QRectF(0, 0, split * ratio, box.height() * ratio));
        painter.drawPixmap(
            QRectF(split, box.top(), width() - split, box.height()), emptyBox,
            QRectF(split * ratio, 0, (width() - split) * ratio, box.height() * ratio));
        return;
    }
    painter.drawPixmap(box.topLeft(), emptyBox);
    const QString text = ValueText().simplified();
    QFont font = style::SansFont(kValueFontMaxPx, true);
    const auto length = static_cast<std::size_t>(text.size());
    int& px = valueFontPx[std::min(length, valueFontPx.size() - 1)];
    if (px == 0) {
        px = kValueFontMaxPx;
        while (px > kValueFontMinPx && QFontMetrics(font).horizontalAdvance(text) > width() - 2) {
            font.setPixelSize(--px);
        }
    }
    font.setPixelSize(px);
    painter.setFont(font);
    painter.setPen(Val() > kTaperUnityPosition ? style::kWarnText : ValColor());
    painter.drawText(box, Qt::AlignCenter, text);
}

void TFlatFader::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const double y = event->position().y();
    const QRect thumb = ThumbRect();
    dragging = true;
    if (thumb.contains(event->position().toPoint())) {
        // Grabbed where it was clicked: the thumb does not jump under the pointer.
        grabOffset = y - (thumb.top() + kThumbHeight / 2.0);
    } else {
        grabOffset = 0.0;
        SetValByUser(PositionAt(y));
    }
    ShowFloatingValue();
}

void TFlatFader::mouseMoveEvent(QMouseEvent* event) {
    if (dragging) {
        SetValByUser(PositionAt(event->position().y() - grabOffset));
    }
}

void TFlatFader::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging || event->button() != Qt::LeftButton) {
        return;
    }
    dragging = false;
    HideFloatingValue();
    SetValByUser(PositionAt(event->position().y() - grabOffset));
}

} // namespace peldor
