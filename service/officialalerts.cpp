#include "officialalerts.h"

#include "alertcoverage.h"
#include "locationtable.h"

#include <algorithm>

namespace {

int severityRank(const QString &severity)
{
    static const QStringList order{QStringLiteral("Unknown"), QStringLiteral("Minor"), QStringLiteral("Moderate"),
                                   QStringLiteral("Severe"), QStringLiteral("Extreme")};
    return int(order.indexOf(severity));
}

bool isMet(const CapInfo &info)
{
    for (const QString &category : info.categories) {
        if (category.compare(QLatin1String("Met"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool counts(const CapAlert &alert)
{
    return alert.status == QLatin1String("Actual")
        && (alert.msgType == QLatin1String("Alert") || alert.msgType == QLatin1String("Update"))
        && !alert.identifier.isEmpty();
}

} // namespace

QString OfficialAlert::colour() const
{
    if (severity == QLatin1String("Severe") || severity == QLatin1String("Extreme"))
        return QStringLiteral("red");
    if (severity == QLatin1String("Moderate"))
        return QStringLiteral("orange");
    return QStringLiteral("yellow");
}

bool OfficialAlert::operator==(const OfficialAlert &other) const
{
    const auto sameTexts = [](const AlertText &a, const AlertText &b) {
        return a.language == b.language && a.sender == b.sender && a.event == b.event && a.headline == b.headline
            && a.description == b.description;
    };
    return identifier == other.identifier && severity == other.severity && urgency == other.urgency
        && onset == other.onset && expires == other.expires && kind == other.kind && references == other.references
        && cities == other.cities && texts.size() == other.texts.size()
        && std::equal(texts.begin(), texts.end(), other.texts.begin(), sameTexts);
}

QString alertKind(const QStringList &events)
{
    const QString text = events.join(u' ').toLower();
    const auto any = [&text](std::initializer_list<const char16_t *> words) {
        for (const char16_t *word : words) {
            if (text.contains(QString::fromUtf16(word)))
                return true;
        }
        return false;
    };
    // The first that fits: thunder before rain ("أمطار رعدية"), dust before
    // wind ("رياح مثيرة للأتربة").
    if (any({u"dust", u"sand", u"غبار", u"أتربة", u"اتربة"}))
        return QStringLiteral("dust");
    if (any({u"thunder", u"رعد"}))
        return QStringLiteral("thunder");
    if (any({u"rain", u"flood", u"أمطار", u"امطار", u"سيول", u"مطر"}))
        return QStringLiteral("rain");
    // Low temperatures are cold, not heat.
    if (any({u"heat", u"temperature", u"حرارة", u"حراره"}) && !any({u"cold", u"low", u"انخفاض", u"برد"}))
        return QStringLiteral("heat");
    if (any({u"wind", u"رياح"}))
        return QStringLiteral("wind");
    return {};
}

QString foldedAndCut(const QString &text, int length)
{
    const QString folded = text.simplified();
    if (folded.size() <= length)
        return folded;
    QString cut = folded.left(length);
    // At a word boundary: the whole word that the cut would split goes.
    if (!folded.at(length).isSpace()) {
        const qsizetype space = cut.lastIndexOf(u' ');
        if (space > 0)
            cut.truncate(space);
    }
    return cut.trimmed() + QStringLiteral("…");
}

QList<OfficialAlert> alertsInForce(const QList<CapAlert> &alerts, const LocationTable &locations, const QDateTime &now,
                                   Withdrawals *withdrawals)
{
    // What Cancels and Updates take back, from now on.
    for (const CapAlert &alert : alerts) {
        if (alert.status != QLatin1String("Actual")
            || (alert.msgType != QLatin1String("Cancel") && alert.msgType != QLatin1String("Update")))
            continue;
        for (const QString &identifier : alert.references) {
            if (identifier != alert.identifier)
                withdrawals->insert(identifier, now.addDays(WithdrawalDays));
        }
    }
    for (auto it = withdrawals->begin(); it != withdrawals->end();) {
        if (it.value() <= now)
            it = withdrawals->erase(it);
        else
            ++it;
    }

    // Each identifier's Met infos, from whichever feeds carried it.
    QStringList order;
    QHash<QString, const CapAlert *> first;
    QHash<QString, QList<const CapInfo *>> infos;
    for (const CapAlert &alert : alerts) {
        if (!counts(alert) || withdrawals->contains(alert.identifier))
            continue;
        if (!first.contains(alert.identifier)) {
            first.insert(alert.identifier, &alert);
            order.append(alert.identifier);
        }
        for (const CapInfo &info : alert.infos) {
            if (isMet(info))
                infos[alert.identifier].append(&info);
        }
    }

    QList<OfficialAlert> inForce;
    for (const QString &identifier : std::as_const(order)) {
        const QList<const CapInfo *> met = infos.value(identifier);
        if (met.isEmpty())
            continue;
        const CapAlert &alert = *first.value(identifier);
        OfficialAlert official;
        official.identifier = identifier;
        if (alert.msgType == QLatin1String("Update"))
            official.references = alert.references;
        QStringList events;
        const CapInfo *gravest = met.first();
        for (const CapInfo *info : met) {
            if (severityRank(info->severity) > severityRank(gravest->severity))
                gravest = info;
            const QDateTime onset = info->onset.isValid() ? info->onset : info->effective;
            if (onset.isValid() && (!official.onset.isValid() || onset < official.onset))
                official.onset = onset;
            if (info->expires.isValid() && (!official.expires.isValid() || info->expires > official.expires))
                official.expires = info->expires;
            events << info->event << info->eventCodes;
        }
        official.severity = gravest->severity;
        official.urgency = gravest->urgency;
        if (!official.onset.isValid())
            official.onset = alert.sent;
        if (!official.expires.isValid() && alert.sent.isValid())
            official.expires = alert.sent.addSecs(OfficialAlert::DefaultHours * 3600);
        if (!official.onset.isValid() || !official.expires.isValid() || official.expires <= now)
            continue;
        official.kind = alertKind(events);
        for (const char *language : {"ar", "en"}) {
            for (const CapInfo *info : met) {
                if (info->language != QLatin1String(language))
                    continue;
                official.texts.append({info->language, info->senderName.simplified(), info->event.simplified(),
                                       info->headline.simplified(),
                                       foldedAndCut(info->description, OfficialAlert::DescriptionLength)});
                break;
            }
        }
        for (const Location &location : locations.locations()) {
            const bool covered = std::any_of(met.begin(), met.end(), [&location](const CapInfo *info) {
                return std::any_of(info->areas.begin(), info->areas.end(),
                                   [&location](const CapArea &area) { return areaCovers(area, location); });
            });
            if (covered)
                official.cities.append(location.id);
        }
        if (!official.cities.isEmpty())
            inForce.append(official);
    }
    std::sort(inForce.begin(), inForce.end(), [](const OfficialAlert &a, const OfficialAlert &b) {
        return a.onset != b.onset ? a.onset < b.onset : a.identifier < b.identifier;
    });
    return inForce;
}
