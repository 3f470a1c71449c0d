#include "app/warningnotices.h"

#include "app/refreshlog.h"

#include <QFile>
#include <QSaveFile>

WarningNotices::WarningNotices(QString path)
    : m_path(std::move(path))
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // One warning a line: city, kind, start and end.
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        if (fields.size() != 4)
            continue;
        Told told{QString::fromUtf8(fields.at(0)), QString::fromUtf8(fields.at(1)),
                  warningTimeFromText(QString::fromLatin1(fields.at(2))),
                  warningTimeFromText(QString::fromLatin1(fields.at(3)))};
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
    if (m_told.removeIf([&now](const Told &told) { return told.end <= now; }) > 0)
        save();
    QList<FeedWarning> untold;
    for (const FeedWarning &w : warnings) {
        if (w.end <= now)
            continue;
        // Dust comes by the hour, and a storm under way moves with the hours;
        // the other kinds come by the day, and a new day is news.
        const bool byTheHour = w.kind == QLatin1String("dust");
        const bool told = std::any_of(m_told.cbegin(), m_told.cend(), [&](const Told &t) {
            return meets(t, cityCode, w) && (byTheHour || (t.start <= w.start && w.end <= t.end));
        });
        if (!told)
            untold.append(w);
    }
    return untold;
}

void WarningNotices::markTold(const QString &cityCode, const QList<FeedWarning> &warnings)
{
    for (const FeedWarning &w : warnings) {
        // Every told time this one meets becomes one with it, so that the
        // next hour's version of it still meets it.
        Told joined{cityCode, w.kind, w.start, w.end};
        m_told.removeIf([&](const Told &t) {
            if (!meets(t, cityCode, w))
                return false;
            joined.start = qMin(joined.start, t.start);
            joined.end = qMax(joined.end, t.end);
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
        file.write(told.city.toUtf8() + ' ' + told.kind.toUtf8() + ' ' + warningTimeText(told.start).toLatin1() + ' '
                   + warningTimeText(told.end).toLatin1() + '\n');
    }
    if (!file.commit())
        qCWarning(lcRefresh, "%s cannot be written: a warning may be told again", qPrintable(m_path));
}
