#include "app/warningnotices.h"

#include "app/refreshlog.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

WarningNotices::WarningNotices(QString path)
    : m_path(std::move(path))
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // One warning a line: city, kind, start, end and peak (a list kept by an
    // older board has no peak).
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        if (fields.size() != 4 && fields.size() != 5)
            continue;
        Told told{QString::fromUtf8(fields.at(0)), QString::fromUtf8(fields.at(1)),
                  warningTimeFromText(QString::fromLatin1(fields.at(2))),
                  warningTimeFromText(QString::fromLatin1(fields.at(3)))};
        bool isNumber = false;
        const double peak = fields.size() == 5 ? fields.at(4).toDouble(&isNumber) : -1;
        told.peak = isNumber && peak >= 0 ? peak : -1;
        if (told.start.isValid() && told.end.isValid())
            m_told.append(told);
    }
}

bool WarningNotices::meets(const Told &told, const QString &cityCode, const FeedWarning &w)
{
    return told.city == cityCode && told.kind == w.kind && w.start <= told.end && told.start <= w.end;
}

QList<FeedWarning> WarningNotices::untold(const QString &cityCode, const QList<FeedWarning> &warnings,
                                          const QDateTime &now)
{
    bool changed = false;
    // What was told of this city is forgotten once it has ended and no
    // warning of its kind meets it any more: a storm whose first end has
    // passed while it goes on is still the storm told.
    changed |= m_told.removeIf([&](const Told &told) {
        return told.city == cityCode && told.end <= now
            && std::none_of(warnings.cbegin(), warnings.cend(),
                            [&](const FeedWarning &w) { return meets(told, cityCode, w); });
    }) > 0;

    QList<FeedWarning> untold;
    for (const FeedWarning &w : warnings) {
        if (w.end <= now)
            continue;
        // Dust comes by the hour, and a storm under way moves with the hours;
        // the other kinds come by the day, and a new day is news. So is a
        // peak a band higher than the one told.
        const bool byTheHour = w.kind == QLatin1String("dust");
        const auto told = std::find_if(m_told.begin(), m_told.end(), [&](const Told &t) {
            return meets(t, cityCode, w) && (byTheHour || (t.start <= w.start && w.end <= t.end))
                && (t.peak < 0 || warningBand({w.kind, {}, {}, t.peak}) >= warningBand(w));
        });
        if (told == m_told.end()) {
            untold.append(w);
            continue;
        }
        // The record follows the warning it told.
        if (w.end > told->end || w.peak > told->peak) {
            told->end = std::max(told->end, w.end);
            told->peak = std::max(told->peak, w.peak);
            changed = true;
        }
    }
    if (changed)
        save();
    return untold;
}

void WarningNotices::markTold(const QString &cityCode, const QList<FeedWarning> &warnings)
{
    for (const FeedWarning &w : warnings) {
        // Every told time this one meets becomes one with it, so that the
        // next hour's version of it still meets it.
        Told joined{cityCode, w.kind, w.start, w.end, w.peak};
        m_told.removeIf([&](const Told &t) {
            if (!meets(t, cityCode, w))
                return false;
            joined.start = qMin(joined.start, t.start);
            joined.end = qMax(joined.end, t.end);
            joined.peak = std::max(joined.peak, t.peak);
            return true;
        });
        m_told.append(joined);
    }
    save();
}

void WarningNotices::save() const
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcRefresh, "%s cannot be written: a warning may be told again", qPrintable(m_path));
        return;
    }
    for (const Told &told : m_told) {
        QByteArray line = told.city.toUtf8() + ' ' + told.kind.toUtf8() + ' ' + warningTimeText(told.start).toLatin1()
            + ' ' + warningTimeText(told.end).toLatin1();
        if (told.peak >= 0)
            line += ' ' + QByteArray::number(told.peak);
        file.write(line + '\n');
    }
    if (!file.commit())
        qCWarning(lcRefresh, "%s cannot be written: a warning may be told again", qPrintable(m_path));
}
