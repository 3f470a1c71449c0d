#include "feed/dataage.h"

#include "platform/boardlanguage.h"
#include "platform/numbertext.h"

#include <QCoreApplication>

bool isOldData(const QDateTime &published, const QDateTime &now)
{
    return published.secsTo(now) > 3600;
}

QString dataAgeText(const QDateTime &published, const QDateTime &now)
{
    if (!isOldData(published, now))
        return QString();
    const qint64 hours = published.secsTo(now) / 3600;
    if (hours < 24) {
        const QString arabic = QStringLiteral(u"آخر تحديث قبل ")
            + countedText(hours, u"ساعة", u"ساعتين", u"ساعات", u"ساعة");
        return countedInLanguage(arabic, "DataAge", QT_TRANSLATE_N_NOOP("DataAge", "آخر تحديث قبل %n ساعة"), hours);
    }
    const QString arabic = QStringLiteral(u"آخر تحديث قبل ")
        + countedText(hours / 24, u"يوم", u"يومين", u"أيام", u"يوماً");
    return countedInLanguage(arabic, "DataAge", QT_TRANSLATE_N_NOOP("DataAge", "آخر تحديث قبل %n يوم"), hours / 24);
}
