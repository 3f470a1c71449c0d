// The national centre's alerts as a city's document carries them, and how
// the board words them.
#include "feed/feedalert.h"

#include "platform/boardlanguage.h"

#include <QCoreApplication>
#include <QDomElement>
#include <QDomNodeList>
#include <QSet>

#include <algorithm>

namespace {

// An attribute, or nothing when it is longer than the board keeps: a text
// the centre never sends that long is not worth a truncated half.
QString bounded(const QDomElement &e, const QString &name, int most)
{
    const QString value = e.attribute(name);
    return value.size() <= most ? value : QString();
}

bool fitIdentifier(const QString &id, int most)
{
    if (id.isEmpty() || id.size() > most)
        return false;
    // Identifiers are kept one a word in the list of what was told.
    return std::none_of(id.cbegin(), id.cend(), [](QChar c) { return c.isSpace(); });
}

FeedAlertText readText(const QDomElement &e)
{
    return FeedAlertText{bounded(e, QStringLiteral("sender"), AlertLimits::SenderLength),
                         bounded(e, QStringLiteral("event"), AlertLimits::EventLength),
                         bounded(e, QStringLiteral("headline"), AlertLimits::HeadlineLength),
                         bounded(e, QStringLiteral("description"), AlertLimits::DescriptionLength)};
}

} // namespace

QList<FeedAlert> readAlerts(const QDomElement &channel)
{
    QList<FeedAlert> alerts;
    QSet<QString> seen;
    const QDomNodeList elements = channel.elementsByTagName(QStringLiteral("rorizedivo:alert"));
    for (int i = 0; i < elements.size() && alerts.size() < AlertLimits::AlertsRead; ++i) {
        const QDomElement e = elements.item(i).toElement();
        FeedAlert a;
        a.id = e.attribute(QStringLiteral("id"));
        a.colour = e.attribute(QStringLiteral("colour"));
        a.onset = warningTimeFromText(e.attribute(QStringLiteral("onset")));
        a.expires = warningTimeFromText(e.attribute(QStringLiteral("expires")));
        if (!fitIdentifier(a.id, AlertLimits::IdLength) || seen.contains(a.id) || alertColourRank(a.colour) == 0
            || !a.onset.isValid() || !a.expires.isValid() || a.expires <= a.onset)
            continue;
        a.severity = bounded(e, QStringLiteral("severity"), AlertLimits::WordLength);
        a.urgency = bounded(e, QStringLiteral("urgency"), AlertLimits::WordLength);
        const QString kind = e.attribute(QStringLiteral("kind"));
        a.kind = warningKindText(kind).isEmpty() ? QString() : kind;
        for (const QString &ref :
             bounded(e, QStringLiteral("references"), AlertLimits::ReferencesLength).split(u' ', Qt::SkipEmptyParts)) {
            if (fitIdentifier(ref, AlertLimits::IdLength) && ref != a.id && !a.references.contains(ref))
                a.references << ref;
        }
        // One text a language; a second of the same language is passed over.
        const QDomNodeList texts = e.elementsByTagName(QStringLiteral("rorizedivo:text"));
        bool hasArabic = false;
        bool hasEnglish = false;
        for (int t = 0; t < texts.size() && !(hasArabic && hasEnglish); ++t) {
            const QDomElement text = texts.item(t).toElement();
            const QString lang = text.attribute(QStringLiteral("lang"));
            if (lang == QLatin1String("ar") && !std::exchange(hasArabic, true))
                a.arabic = readText(text);
            else if (lang == QLatin1String("en") && !std::exchange(hasEnglish, true))
                a.english = readText(text);
        }
        seen.insert(a.id);
        alerts.append(a);
    }
    return alerts;
}

const FeedAlertText &shownAlertText(const FeedAlert &alert)
{
    const bool english = boardLanguage() == BoardLanguage::English;
    const FeedAlertText &own = english ? alert.english : alert.arabic;
    const FeedAlertText &other = english ? alert.arabic : alert.english;
    return own.isEmpty() && !other.isEmpty() ? other : own;
}

QString alertSourceName()
{
    return QCoreApplication::translate("FeedAlert", "المركز الوطني للأرصاد");
}

int alertColourRank(const QString &colour)
{
    if (colour == QLatin1String("yellow"))
        return 1;
    if (colour == QLatin1String("orange"))
        return 2;
    if (colour == QLatin1String("red"))
        return 3;
    return 0;
}

FeedWarning alertSpan(const FeedAlert &alert)
{
    // Said on the cities' clock, whatever offset the alert was written in.
    const int offset = alert.onset.offsetFromUtc();
    return FeedWarning{alert.kind, alert.onset, alert.expires.toOffsetFromUtc(offset), 0};
}

QString alertName(const FeedAlert &alert)
{
    const FeedAlertText &text = shownAlertText(alert);
    if (!text.event.isEmpty())
        return text.event;
    if (!alert.kind.isEmpty())
        return warningKindText(alert.kind);
    if (!text.headline.isEmpty())
        return text.headline;
    return QCoreApplication::translate("FeedAlert", "تنبيه");
}

QString alertLine(const FeedAlert &alert, const QDateTime &now)
{
    const FeedAlertText &text = shownAlertText(alert);
    const QString what = text.headline.isEmpty() ? alertName(alert) : text.headline;
    // Until when, from now on: said as for a warning under way.
    FeedWarning span = alertSpan(alert);
    span.start = std::min(span.start, now.toOffsetFromUtc(span.start.offsetFromUtc()));
    // The headline last: where the room ends, it is what is cut short.
    return QCoreApplication::translate("FeedAlert", "%1، %2: %3")
        .arg(alertSourceName(), warningShortTimeWords(span, now), what);
}

QString dayAlertText(const QList<FeedAlert> &alerts, const QDate &day, const QDateTime &now)
{
    QStringList said;
    for (const FeedAlert &a : alerts) {
        if (!alertInForce(a, now))
            continue;
        const FeedWarning span = alertSpan(a);
        const QString text = daySpanText(alertName(a), span.start, span.end, day);
        if (!text.isEmpty())
            said << text;
    }
    return said.join(QCoreApplication::translate("SpokenText", "، "));
}

bool alertCovers(const FeedAlert &alert, const FeedWarning &warning)
{
    return !alert.kind.isEmpty() && alert.kind == warning.kind && alert.onset < warning.end
        && warning.start < alert.expires;
}
