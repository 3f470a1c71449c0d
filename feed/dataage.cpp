#include "feed/dataage.h"

#include "platform/numbertext.h"

bool isOldData(const QDateTime &published, const QDateTime &now)
{
    return published.secsTo(now) > 3600;
}

QString dataAgeText(const QDateTime &published, const QDateTime &now)
{
    if (!isOldData(published, now))
        return QString();
    const qint64 hours = published.secsTo(now) / 3600;
    const QString age = hours < 24 ? countedText(hours, u"ساعة", u"ساعتين", u"ساعات", u"ساعة")
                                   : countedText(hours / 24, u"يوم", u"يومين", u"أيام", u"يوماً");
    return QStringLiteral(u"آخر تحديث قبل ") + age;
}
