#pragma once
// The message box's four icons, drawn as vector shapes so they stay sharp at any scaling:
// 0 notice, 1 question, 2 warning, 3 problem. Window thread only.

#include <QRect>

class QPainter;

namespace peldor {

inline constexpr int kMessageIconCount = 4;

/// Draws icon kind (0-3) into area; other kinds draw nothing.
void DrawMessageIcon(QPainter& painter, const QRect& area, int kind);

} // namespace peldor
