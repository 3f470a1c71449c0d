#pragma once

#include "feed/feedwarning.h"

#include <QDateTime>
#include <QList>
#include <QString>

// The warnings the board has told through the desktop, kept in a file of the
// application folder so that neither the next refresh nor a restart tells
// one twice. A warning is the one already told when it is of the same city
// and kind and its time overlaps or touches the told one's: a storm under
// way is derived again each hour with a later start, and stays told. What
// has ended is forgotten.
class WarningNotices
{
public:
    static constexpr char16_t FileName[] = u"warnings-told.txt";

    explicit WarningNotices(QString path);

    // Those of the city's warnings not told yet, which from now on count as
    // told (and are saved).
    QList<FeedWarning> takeUntold(const QString &cityCode, const QList<FeedWarning> &warnings, const QDateTime &now);

private:
    struct Told
    {
        QString city;
        QString kind;
        QDateTime start;
        QDateTime end;
    };
    void save() const;

    QString m_path;
    QList<Told> m_told;
};
