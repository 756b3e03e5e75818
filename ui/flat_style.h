#pragma once
// The flat, dark look shared by every window: colours chosen to be read across a dark stage,
// and the default sans-serif font at pixel sizes, so that layouts keep their proportions at any
// screen scaling.

#include <QColor>
#include <QFont>

namespace peldor::style {

inline const QColor kWindowBack{0x1D, 0x21, 0x36}; // window backgrounds
inline const QColor kListBack{0x27, 0x32, 0x65};   // lists and edit fields
inline const QColor kTitleBack{0x12, 0x15, 0x24};
inline const QColor kText{0xE8, 0xEB, 0xF4};
inline const QColor kDimText{0x9A, 0xA3, 0xC4};
inline const QColor kDisabledText{0x6E, 0x77, 0x9E}; // still readable, plainly not active
inline const QColor kFrame{0x4A, 0x55, 0x8C};
inline const QColor kAccent{0xFF, 0xB0, 0x2E}; // default button outline, focus
inline const QColor kControlFill{0x3A, 0x44, 0x78};
inline const QColor kControlMark{0xF2, 0xF4, 0xFA};
inline const QColor kTrack{0x09, 0x0B, 0x14};
inline const QColor kScale{0xB8, 0xC0, 0xDC};
inline const QColor kWarnText{0xFF, 0xE0, 0x3A}; // values above 0 dB
inline const QColor kBarGreen{0x3C, 0xE0, 0x5A};
inline const QColor kBarOrange{0xFF, 0x94, 0x1E};
inline const QColor kAlarmText{0xFF, 0x45, 0x3A}; // "OVERLOAD!"

/// The default sans-serif font at a size in logical pixels.
QFont SansFont(int pixelSize, bool bold = false);

} // namespace peldor::style
