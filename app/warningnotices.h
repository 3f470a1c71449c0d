#pragma once

#include "feed/feedwarning.h"

#include <QDateTime>
#include <QList>
#include <QString>

// The warnings the board has told through the desktop, kept in a file of the
// application folder so that neither the next refresh nor a restart tells
// one twice. A warning counts as told when one of the same city and kind
// was told whose time overlaps or touches its own and, for the kinds that
// come by whole days, covers every day of it, and whose peak was in the
// same band of its kind's scale: a storm under way is derived again each
// hour with a later start and end and stays told, while rain told for
// today and now coming tomorrow too, or a storm grown a band stronger, is
// news. What was told follows the warning it told, taking its later end and
// higher peak, and is forgotten once it has ended with no warning of its
// kind left that meets it.
class WarningNotices
{
public:
    static constexpr char16_t FileName[] = u"warnings-told.txt";

    explicit WarningNotices(QString path);

    // Those of the city's warnings (runs merged) not told yet.
    QList<FeedWarning> untold(const QString &cityCode, const QList<FeedWarning> &warnings, const QDateTime &now);
    // The desktop has shown these: from now on they count as told (and are saved).
    void markTold(const QString &cityCode, const QList<FeedWarning> &warnings);

private:
    struct Told
    {
        QString city;
        QString kind;
        QDateTime start;
        QDateTime end;
        double peak = -1; // -1: not kept (a list written before peaks were)
    };
    static bool meets(const Told &told, const QString &cityCode, const FeedWarning &warning);
    void save() const;

    QString m_path;
    QList<Told> m_told;
};
