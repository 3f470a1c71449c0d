#include "feed/dataage.h"

#include <QLocale>

std::optional<QDateTime> publishedAt(const QString &pubDate)
{
    QString text = pubDate.simplified();
    int offset = 0;
    bool zoned = false;
    // The zones the feed service writes: AST for the cities, GMT, or the
    // offset in hours ("+03") where a zone has no short name.
    const qsizetype space = text.lastIndexOf(QLatin1Char(' '));
    const QString zone = space > 0 ? text.mid(space + 1) : QString();
    bool hours = false;
    const int offsetHours = zone.size() == 3 && (zone[0] == u'+' || zone[0] == u'-') ? zone.toInt(&hours) : 0;
    if (zone == QLatin1String("AST")) {
        offset = 3 * 3600;
        zoned = true;
    } else if (zone == QLatin1String("GMT") || zone == QLatin1String("UTC")) {
        zoned = true;
    } else if (hours) {
        offset = offsetHours * 3600;
        zoned = true;
    }
    if (zoned)
        text.truncate(space);
    QDateTime at = QLocale::c().toDateTime(text, QStringLiteral("ddd, d MMM yyyy h:mm ap"));
    if (!at.isValid())
        at = QLocale::c().toDateTime(text, QStringLiteral("ddd, d MMM yyyy h:mm AP"));
    if (!at.isValid())
        return std::nullopt;
    if (zoned)
        at = QDateTime(at.date(), at.time(), Qt::OffsetFromUTC, offset);
    return at;
}

bool isOldData(const QDateTime &published, const QDateTime &now)
{
    return published.secsTo(now) > 3600;
}

namespace {

// Arabic counts: one, two (the dual), three to ten (plural), eleven on (singular).
QString counted(qint64 n, const char16_t *one, const char16_t *two, const char16_t *few, const char16_t *many)
{
    if (n == 1)
        return QString::fromUtf16(one);
    if (n == 2)
        return QString::fromUtf16(two);
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf16(n <= 10 ? few : many);
}

} // namespace

QString dataAgeText(const QDateTime &published, const QDateTime &now)
{
    if (!isOldData(published, now))
        return QString();
    const qint64 hours = published.secsTo(now) / 3600;
    const QString age = hours < 24 ? counted(hours, u"ساعة", u"ساعتين", u"ساعات", u"ساعة")
                                   : counted(hours / 24, u"يوم", u"يومين", u"أيام", u"يوماً");
    return QStringLiteral(u"آخر تحديث قبل ") + age;
}
