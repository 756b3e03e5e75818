#include "ui/message_icons.h"

#include "ui/flat_style.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace peldor {
namespace {

const QColor kNoticeColor{0x3C, 0x9C, 0xFF};
const QColor kQuestionColor{0x3C, 0xD0, 0x8C};
const QColor kWarningColor{0xFF, 0xC0, 0x2E};
const QColor kProblemColor{0xFF, 0x4A, 0x4A};
const QColor kGlyphColor{0xFF, 0xFF, 0xFF};
const QColor kWarningGlyph{0x1D, 0x21, 0x36};

void DrawGlyph(QPainter& painter, const QRectF& box, const QString& glyph, const QColor& color) {
    QFont font = style::SansFont(std::max(6, static_cast<int>(box.height() * 0.62)), true);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(box, Qt::AlignCenter, glyph);
}

} // namespace

void DrawMessageIcon(QPainter& painter, const QRect& area, int kind) {
    if (kind < 0 || kind >= kMessageIconCount) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(area.width(), area.height());
    const QRectF box(area.x() + (area.width() - side) / 2.0,
                     area.y() + (area.height() - side) / 2.0, side, side);
    painter.setPen(Qt::NoPen);
    switch (kind) {
    case 0:
    case 1:
        painter.setBrush(kind == 0 ? kNoticeColor : kQuestionColor);
        painter.drawEllipse(box.adjusted(1, 1, -1, -1));
        DrawGlyph(painter, box, kind == 0 ? QStringLiteral("i") : QStringLiteral("?"), kGlyphColor);
        break;
    case 2: {
        QPainterPath triangle;
        triangle.moveTo(box.center().x(), box.top() + 2);
        triangle.lineTo(box.right() - 1, box.bottom() - 3);
        triangle.lineTo(box.left() + 1, box.bottom() - 3);
        triangle.closeSubpath();
        painter.setBrush(kWarningColor);
        painter.drawPath(triangle);
        DrawGlyph(painter, box.adjusted(0, side * 0.12, 0, 0), QStringLiteral("!"), kWarningGlyph);
        break;
    }
    case 3: {
        painter.setBrush(kProblemColor);
        painter.drawEllipse(box.adjusted(1, 1, -1, -1));
        QPen cross(kGlyphColor, std::max(2.0, side / 9.0));
        cross.setCapStyle(Qt::RoundCap);
        painter.setPen(cross);
        const QRectF inner = box.adjusted(side * 0.32, side * 0.32, -side * 0.32, -side * 0.32);
        painter.drawLine(inner.topLeft(), inner.bottomRight());
        painter.drawLine(inner.topRight(), inner.bottomLeft());
        break;
    }
    default:
        break;
    }
    painter.restore();
}

} // namespace peldor
