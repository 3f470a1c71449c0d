#include "feedformat.h"

#include <algorithm>
#include <cmath>

namespace {

const char *const weekdays[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char *const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

QString month(const QDate &date)
{
    return QString::fromLatin1(months[date.month() - 1]);
}

} // namespace

QString feedClockText(const QTime &time)
{
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QStringLiteral("%1:%2 %3")
        .arg(hour12)
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm"));
}

QString feedWeekdayText(const QDate &date)
{
    return QString::fromLatin1(weekdays[date.dayOfWeek() - 1]);
}

QString feedDateTimeText(const QDate &date, const QTime &time, const QString &zone)
{
    QString text = QStringLiteral("%1, %2 %3 %4 %5")
                       .arg(feedWeekdayText(date))
                       .arg(date.day(), 2, 10, QLatin1Char('0'))
                       .arg(month(date))
                       .arg(date.year())
                       .arg(feedClockText(time));
    if (!zone.isEmpty())
        text += QLatin1Char(' ') + zone;
    return text;
}

QString feedZoneText(const QString &timezoneName, const QString &abbreviation, std::optional<int> utcOffsetSeconds)
{
    // Open-Meteo abbreviates Saudi time as "GMT+3"; the feed format and the
    // board's publication-time column want the short name.
    if (timezoneName == QLatin1String("Asia/Riyadh"))
        return QStringLiteral("AST");
    const bool shortName = !abbreviation.isEmpty() && abbreviation.size() <= 4
        && std::all_of(abbreviation.begin(), abbreviation.end(),
                       [](QChar c) { return c.isLetter() && c.unicode() < 128; });
    if (shortName)
        return abbreviation;
    if (!utcOffsetSeconds)
        return {};
    const int offset = *utcOffsetSeconds;
    if (offset == 0)
        return QStringLiteral("GMT");
    if (offset % 3600 != 0)
        return {};
    return QLatin1Char(offset < 0 ? '-' : '+')
        + QStringLiteral("%1").arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'));
}

QString feedDecimalText(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

QString feedWholeText(double value)
{
    // Checked before the cast: a double beyond qint64 does not convert.
    if (!(std::fabs(value) <= MaximumFeedNumber))
        return {};
    const double rounded = std::round(value);
    return QString::number(static_cast<qint64>(rounded));
}

QString feedTemperatureText(double value)
{
    const QString whole = feedWholeText(value);
    if (whole != QLatin1String("0") || value == 0.0)
        return whole;
    const QString tenths = feedDecimalText(value, 1);
    return tenths == QLatin1String("0") ? feedDecimalText(value, 2) : tenths;
}

double windChillCelsius(double celsius, double windKmh)
{
    if (celsius > 10.0 || !(windKmh > 4.8))
        return celsius;
    const double v = std::pow(windKmh, 0.16);
    return 13.12 + 0.6215 * celsius - 11.37 * v + 0.3965 * celsius * v;
}

double celsiusToFahrenheit(double celsius)
{
    return celsius * 9.0 / 5.0 + 32.0;
}

double kmhToMph(double kmh)
{
    return kmh / 1.609344;
}

double metresToKilometres(double metres)
{
    return metres / 1000.0;
}

double metresToMiles(double metres)
{
    return metres / 1609.344;
}

double hectopascalsToInchesOfMercury(double hectopascals)
{
    return hectopascals / 33.8638866667;
}

QString feedCoordinateText(double degrees)
{
    for (int decimals = 4; decimals > 0; --decimals) {
        const QString text = feedDecimalText(degrees, decimals);
        if (text.size() <= 8)
            return text;
    }
    return feedDecimalText(degrees, 0);
}
