#pragma once

#include "feed/feedalert.h"
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
//
// The national centre's alerts are told once per identifier. An Update (an
// alert whose references name told ones) is news only when it raises the
// colour or moves the end; otherwise it counts as told with them. Each
// told alert is kept with the cities it covered, so that a later refresh
// can tell whether it was called off.
class WarningNotices
{
public:
    static constexpr char16_t FileName[] = u"warnings-told.txt";

    explicit WarningNotices(QString path);

    // Those of the city's warnings (runs merged) not told yet.
    QList<FeedWarning> untold(const QString &cityCode, const QList<FeedWarning> &warnings, const QDateTime &now);
    // The desktop has shown these: from now on they count as told (and are saved).
    void markTold(const QString &cityCode, const QList<FeedWarning> &warnings);

    struct ToldAlert
    {
        QString id;
        QString colour;
        QDateTime expires;
        QStringList cities;
    };
    enum class AlertNews {
        Told, // told already
        News, // to be told
        Quiet, // an update that says nothing new: told with what it replaces
    };
    AlertNews alertNews(const FeedAlert &alert) const;
    // The desktop has shown this alert (or it is a quiet update): told from
    // now on, in place of the alerts it replaces (and saved).
    void markAlertTold(const FeedAlert &alert, const QStringList &cities);
    // The alerts told and not yet expired at `now`.
    QList<ToldAlert> toldAlerts(const QDateTime &now);
    // An alert called off: forgotten (and saved).
    void forgetAlert(const QString &id);

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
    QList<ToldAlert> m_alerts;
};
