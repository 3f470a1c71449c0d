#include "platform/numbertext.h"

#include <cmath>

QString singleText(float value)
{
    // 'g' drops trailing zeros and the point of whole values.
    return QString::number(double(value), 'g', 7);
}

QString singleRoundTripText(float value)
{
    for (int digits = 6; digits < 9; ++digits) {
        const QString text = QString::number(double(value), 'g', digits);
        if (text.toFloat() == value)
            return text;
    }
    return QString::number(double(value), 'g', 9);
}

double roundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode is to nearest, ties to even
}

QString countedText(qint64 n, const char16_t *one, const char16_t *two, const char16_t *few, const char16_t *many)
{
    if (n == 1)
        return QString::fromUtf16(one);
    if (n == 2)
        return QString::fromUtf16(two);
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf16(n >= 3 && n <= 10 ? few : many);
}
