#include "ui/flat_form_sizer.h"

#include "ui/flat_style.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace peldor {
namespace {

constexpr int kMinGrip = 4;
constexpr int kMaxGrip = 200;
constexpr int kLinePairs = 4;

} // namespace

TFlatFormSizer::TFlatFormSizer(QWidget* owner)
    : QWidget(owner), hiColor(style::kDimText), loColor(style::kTitleBack) {
    setCursor(Qt::SizeFDiagCursor);
    resize(gripSize, gripSize);
    if (owner != nullptr) {
        owner->installEventFilter(this);
    }
    KeepInCorner();
}

void TFlatFormSizer::SetSize(int value) {
    gripSize = std::clamp(value, kMinGrip, kMaxGrip);
    resize(gripSize, gripSize);
    KeepInCorner();
    update();
}

void TFlatFormSizer::SetHiColor(const QColor& c) {
    hiColor = c;
    update();
}

void TFlatFormSizer::SetLoColor(const QColor& c) {
    loColor = c;
    update();
}

void TFlatFormSizer::KeepInCorner() {
    if (QWidget* owner = parentWidget()) {
        move(owner->width() - width(), owner->height() - height());
        raise();
    }
}

bool TFlatFormSizer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        KeepInCorner();
    }
    return QWidget::eventFilter(watched, event);
}

void TFlatFormSizer::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The owner's colour as background.
    if (QWidget* owner = parentWidget()) {
        painter.fillRect(rect(), owner->palette().color(owner->backgroundRole()));
    }
    const int step = std::max(1, gripSize / kLinePairs);
    for (int i = 1; i <= kLinePairs; ++i) {
        const int d = i * step;
        painter.setPen(hiColor);
        painter.drawLine(width() - d, height() - 1, width() - 1, height() - d);
        painter.setPen(loColor);
        painter.drawLine(width() - d + 1, height() - 1, width() - 1, height() - d + 1);
    }
}

void TFlatFormSizer::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    dragging = true;
    pressGlobal = event->globalPosition().toPoint();
    pressSize = window()->size();
}

void TFlatFormSizer::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging) {
        return;
    }
    QWidget* target = window();
    const QPoint delta = event->globalPosition().toPoint() - pressGlobal;
    // Qt keeps "no maximum" as QWIDGETSIZE_MAX, so the bound is the maximum size as it stands.
    const QSize low = target->minimumSize();
    const QSize high = target->maximumSize();
    const QSize wanted(std::clamp(pressSize.width() + delta.x(), low.width(), high.width()),
                       std::clamp(pressSize.height() + delta.y(), low.height(), high.height()));
    if (wanted != target->size()) {
        target->resize(wanted);
        emit OnChange();
    }
}

void TFlatFormSizer::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging = false;
    }
}

} // namespace peldor
