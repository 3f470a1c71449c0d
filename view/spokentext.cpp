#include "view/spokentext.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

// A number with its unit after it; anything that does not read as a number
// (a word, nothing) is said as it is.
QString withUnit(const QString &caption, const QString &unit)
{
    bool number = false;
    caption.toDouble(&number);
    if (!number)
        return caption;
    const QString figure = caption.startsWith(QLatin1Char('-'))
        ? QCoreApplication::translate("SpokenText", "سالب ") + caption.mid(1)
        : caption;
    return figure + QLatin1Char(' ') + unit;
}

} // namespace

QString spokenDegrees(const QString &caption)
{
    return withUnit(caption, QCoreApplication::translate("SpokenText", "درجة"));
}

QString spokenKilometres(const QString &caption)
{
    return withUnit(caption, QCoreApplication::translate("SpokenText", "كيلومتر"));
}

QString spokenSpeed(const QString &caption)
{
    return withUnit(caption, QCoreApplication::translate("SpokenText", "كيلومتر في الساعة"));
}

QString spokenPercent(const QString &caption)
{
    return withUnit(caption, QCoreApplication::translate("SpokenText", "بالمئة"));
}

QString spokenCaption(const QString &caption)
{
    QString spoken = caption;
    spoken.replace(QStringLiteral("(c)"), QCoreApplication::translate("SpokenText", "بالدرجة المئوية"));
    spoken.replace(QCoreApplication::translate("SpokenText", "/ كم"),
                   QCoreApplication::translate("SpokenText", "بالكيلومتر"));
    spoken.replace(QStringLiteral("%"), QCoreApplication::translate("SpokenText", "بالمئة"));
    return spoken.simplified();
}

QString spokenList(const QStringList &parts)
{
    QStringList said;
    for (const QString &part : parts) {
        if (!part.trimmed().isEmpty())
            said << part.trimmed();
    }
    return said.join(QCoreApplication::translate("SpokenText", "، "));
}
