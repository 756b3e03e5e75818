#pragma once
// How the project options dialog shows and reads its numbers. Window thread only (QLocale).

#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

namespace peldor {

/// A value in exponent notation with 4 significant digits and an exponent of at least one
/// digit with its sign ("1.000E-29", "2.500E+3"), with the locale's decimal point.
QString FormatEpsilon(float value, const QLocale& locale);
/// A number in the locale's format ("1,000E-29" in German; exponent or not), finite, 0 or
/// more and within float range; nothing otherwise. Surrounding spaces are ignored.
std::optional<float> ParseEpsilon(const QString& text, const QLocale& locale);
/// A decimal whole number from minimum to maximum; nothing otherwise. Surrounding spaces are
/// ignored.
std::optional<std::int32_t> ParseWholeNumber(const QString& text, std::int32_t minimum,
                                             std::int32_t maximum);

} // namespace peldor
