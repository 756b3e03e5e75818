#include "ui/flat_switch.h"

#include "ui/flat_style.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace peldor {
namespace {

constexpr int kDefaultFontPx = 11;
constexpr int kDisabledAlpha = 90;

} // namespace

TFlatSwitch::TFlatSwitch(QWidget* parent)
    : QWidget(parent), onFill(style::kAccent), onMark(style::kTitleBack), onPen(style::kAccent),
      offFill(style::kControlFill), offMark(style::kText), offPen(style::kFrame) {
    resize(16, 16);
    setFont(style::SansFont(kDefaultFontPx, true));
    setFocusPolicy(Qt::NoFocus);
    blinkTimer.setInterval(kBlinkMs);
    connect(&blinkTimer, &QTimer::timeout, this, [this] {
        on = !on;
        update();
    });
}

void TFlatSwitch::SetOn(bool value) {
    if (blink) {
        onBeforeBlink = value;
        return;
    }
    on = value;
    update();
}

void TFlatSwitch::SetBlink(bool value) {
    if (value == blink) {
        return;
    }
    blink = value;
    if (blink) {
        onBeforeBlink = on;
        blinkTimer.start();
    } else {
        blinkTimer.stop();
        on = onBeforeBlink;
        update();
    }
}

void TFlatSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor fill = on ? onFill : offFill;
    QColor pen = on ? onPen : offPen;
    QColor mark = on ? onMark : offMark;
    if (!isEnabled()) {
        fill.setAlpha(kDisabledAlpha);
        mark.setAlpha(kDisabledAlpha);
        pen.setAlpha(kDisabledAlpha);
    }
    painter.fillRect(rect(), fill);
    painter.setPen(pen);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (pressed && !autoCheck) {
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
    painter.setPen(mark);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, on ? onCaption : offCaption);
}

void TFlatSwitch::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        event->ignore();
        return;
    }
    if (autoCheck) {
        SetOn(!On());
        emit OnChange();
        emit OnClick();
        return;
    }
    pressed = true;
    on = true;
    update();
}

void TFlatSwitch::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed) {
        return;
    }
    pressed = false;
    on = false;
    update();
    // A push button counts only when released over it, as the hand expects.
    if (rect().contains(event->position().toPoint())) {
        emit OnClick();
    }
}

void TFlatSwitch::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled() && pressed) {
            pressed = false;
            on = false;
        }
        update();
    }
    QWidget::changeEvent(event);
}

} // namespace peldor
