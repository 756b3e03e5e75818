#pragma once
// JPEG pictures decoded with libjpeg-turbo. Any thread (no Qt GUI objects are touched).

#include <QByteArray>
#include <QImage>

namespace peldor {

/// Largest side accepted; a picture claiming more is refused rather than allocated.
inline constexpr int kJpegMaxSide = 8192;

/// Decodes a JPEG held in memory into an RGB image. Damaged, truncated, oversized or
/// non-JPEG data give a null image; nothing is reported.
QImage DecodeJpeg(const QByteArray& data);

} // namespace peldor
