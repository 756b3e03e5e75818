#include "ui/flat_style.h"

namespace peldor::style {

QFont SansFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace peldor::style
