#include "ui/title_bar.h"

#include "ui/flat_style.h"

#include <QMouseEvent>
#include <QPainter>

namespace peldor {
namespace {

constexpr int kCaptionFontPx = 13;
constexpr int kCaptionIndent = 10;

} // namespace

TTitleBar::TTitleBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Title"));
    resize(parent != nullptr ? parent->width() : 100, kHeight);
}

void TTitleBar::SetCaption(const QString& text) {
    caption = text;
    update();
}

void TTitleBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), style::kTitleBack);
    painter.setPen(style::kFrame);
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);
    painter.setFont(style::SansFont(kCaptionFontPx, true));
    painter.setPen(style::kText);
    const QRect text = rect().adjusted(kCaptionIndent, 0, -kCaptionIndent, 0);
    painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                     painter.fontMetrics().elidedText(caption, Qt::ElideRight, text.width()));
}

void TTitleBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    dragging = true;
    grab = event->globalPosition().toPoint() - window()->pos();
}

void TTitleBar::mouseMoveEvent(QMouseEvent* event) {
    if (dragging) {
        window()->move(event->globalPosition().toPoint() - grab);
    }
}

void TTitleBar::mouseReleaseEvent(QMouseEvent*) {
    dragging = false;
}

} // namespace peldor
