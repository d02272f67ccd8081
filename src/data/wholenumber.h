#pragma once

#include <QVariant>

#include <cmath>
#include <optional>

// The whole-number part of a stored number (a slot, a rune, a count). Null, a text that is no
// number and a number too large to name anything have none: a damaged file's 1e300 must not
// reach an integer conversion.
inline std::optional<qint64> wholeNumber(const QVariant &value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (value.isNull() || !ok || !std::isfinite(number) || std::fabs(number) > 1e15)
        return std::nullopt;
    return qint64(std::floor(number));
}
