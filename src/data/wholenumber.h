#pragma once

#include <QLocale>
#include <QString>
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

// A stored number as decimal text: plain digits when whole, otherwise the shortest form that
// reads back as the same value (3.7, not 3.7000000000000002).
inline QString decimalText(double number)
{
    if (number == std::floor(number) && std::fabs(number) <= 1e15)
        return QString::number(qint64(number));
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}
