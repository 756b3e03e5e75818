#include "ui/option_texts.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace peldor {

QString FormatEpsilon(float value, const QLocale& locale) {
    // printf gives "1.000E-29"; the exponent loses its leading zeros and the point becomes the
    // locale's.
    char text[64];
    std::snprintf(text, sizeof text, "%.3E", static_cast<double>(value));
    QString result = QString::fromLatin1(text);
    const qsizetype e = result.indexOf('E');
    if (e >= 0 && e + 2 < result.size()) {
        const QChar sign = result[e + 1];
        const int exponent = std::abs(result.mid(e + 2).toInt());
        result = result.left(e + 1) + sign + QString::number(exponent);
    }
    return result.replace('.', locale.decimalPoint());
}

std::optional<float> ParseEpsilon(const QString& text, const QLocale& locale) {
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value) || value < 0.0 ||
        value > static_cast<double>(std::numeric_limits<float>::max())) {
        return std::nullopt;
    }
    return static_cast<float>(value);
}

std::optional<std::int32_t> ParseWholeNumber(const QString& text, std::int32_t minimum,
                                             std::int32_t maximum) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < minimum || value > maximum) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace peldor
