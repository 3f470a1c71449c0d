#include "view/spokentext.h"

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
    const QString figure = caption.startsWith(QLatin1Char('-')) ? QStringLiteral(u"سالب ") + caption.mid(1) : caption;
    return figure + QLatin1Char(' ') + unit;
}

} // namespace

QString spokenDegrees(const QString &caption)
{
    return withUnit(caption, QStringLiteral(u"درجة"));
}

QString spokenKilometres(const QString &caption)
{
    return withUnit(caption, QStringLiteral(u"كيلومتر"));
}

QString spokenSpeed(const QString &caption)
{
    return withUnit(caption, QStringLiteral(u"كيلومتر في الساعة"));
}

QString spokenPercent(const QString &caption)
{
    return withUnit(caption, QStringLiteral(u"بالمئة"));
}

QString spokenCaption(const QString &caption)
{
    QString spoken = caption;
    spoken.replace(QStringLiteral("(c)"), QStringLiteral(u"بالدرجة المئوية"));
    spoken.replace(QStringLiteral(u"/ كم"), QStringLiteral(u"بالكيلومتر"));
    spoken.replace(QStringLiteral("%"), QStringLiteral(u"بالمئة"));
    return spoken.simplified();
}

QString spokenList(const QStringList &parts)
{
    QStringList said;
    for (const QString &part : parts) {
        if (!part.trimmed().isEmpty())
            said << part.trimmed();
    }
    return said.join(QStringLiteral(u"، "));
}
