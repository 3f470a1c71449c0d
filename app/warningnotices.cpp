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
                  QDateTime::fromString(QString::fromLatin1(fields.at(2)), Qt::ISODate),
                  QDateTime::fromString(QString::fromLatin1(fields.at(3)), Qt::ISODate)};
        if (told.start.isValid() && told.end.isValid())
            m_told.append(told);
    }
}

QList<FeedWarning> WarningNotices::takeUntold(const QString &cityCode, const QList<FeedWarning> &warnings,
                                              const QDateTime &now)
{
    const qsizetype before = m_told.size();
    m_told.removeIf([&now](const Told &told) { return told.end <= now; });
    bool changed = m_told.size() != before;

    QList<FeedWarning> untold;
    for (const FeedWarning &w : warnings) {
        if (w.end <= now)
            continue;
        bool known = false;
        for (Told &told : m_told) {
            if (told.city == cityCode && told.kind == w.kind && w.start <= told.end && told.start <= w.end) {
                // The told range grows with the warning, so that the next
                // hour's version of it still meets it.
                known = true;
                changed |= w.start < told.start || w.end > told.end;
                told.start = qMin(told.start, w.start);
                told.end = qMax(told.end, w.end);
            }
        }
        if (!known) {
            untold.append(w);
            m_told.append({cityCode, w.kind, w.start, w.end});
            changed = true;
        }
    }
    if (changed)
        save();
    return untold;
}

void WarningNotices::save() const
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcRefresh, "%s cannot be written: a warning may be told again", qPrintable(m_path));
        return;
    }
    for (const Told &told : m_told) {
        file.write(told.city.toUtf8() + ' ' + told.kind.toUtf8() + ' ' + told.start.toString(Qt::ISODate).toLatin1()
                   + ' ' + told.end.toString(Qt::ISODate).toLatin1() + '\n');
    }
    if (!file.commit())
        qCWarning(lcRefresh, "%s cannot be written: a warning may be told again", qPrintable(m_path));
}
