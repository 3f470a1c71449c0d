#pragma once

#include "feed/feedalert.h"
#include "feed/feedwarning.h"
#include "platform/datacontrol.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class DesktopNotices;
class WarningNotices;
struct ChannelReadings;

// The warnings of the board's cities and what the person hears of them.
// It keeps each city's warnings as the store keeps them beside its row,
// says them as the window shows them, and tells the new ones through the
// desktop once a refresh: one notice for all of them, for the person's own
// cities ("مدينتي") once any is chosen, else for every city. A warning
// counts as told only once the desktop has shown its notice; until then
// each refresh tries again while it is in force. The window marks every
// city's warnings whatever is chosen.
//
// The national centre's alerts come first, wherever warnings are said: told
// once per identifier, red ones as critical notices; an alert called off
// (no longer carried by the documents of the cities it covered, while not
// yet expired) takes back the notice that told it. A warning the board
// derived, of the kind and hours of an alert for its city, is not said
// apart: the centre's word stands.
class BoardWarnings : public QObject
{
    Q_OBJECT
public:
    // What the person's own cities are kept under in the settings file.
    static constexpr char OwnCitiesKey[] = "warnings/myCities";

    // Without notices (nullptr) nothing is told.
    BoardWarnings(DesktopNotices *notices, std::function<QDateTime()> now, QObject *parent = nullptr);
    ~BoardWarnings() override;

    // Where what was told is kept (a file of the application folder) and
    // the person's own cities (the account's settings file; empty: for this
    // run only), read from there.
    void keepIn(const QString &toldFile, const QString &settingsFile);
    // The cities in the store's order and the warnings kept beside their
    // rows, read through `data`.
    void load(DataControl &data);

    // The writes of a city's warnings and alerts beside its row, as the row
    // is cleared (no readings) or filled; from then on they are the city's.
    QList<SideRowsWrite> sideRows(const QString &cityCode, const QString &cityName, const ChannelReadings *filledFrom);
    // At the end of a refresh: the warnings in force not yet told, of the
    // cities the person hears of, in one notice. While a notice waits for
    // the desktop's answer, the next one waits for the next refresh.
    void tellNew();

    // The city's warnings, as kept.
    QList<FeedWarning> of(const QString &cityCode) const { return m_warnings.value(cityCode); }
    // Those of them that stand beside the city's alerts in force (none of
    // the alerts is of their kind and hours).
    QList<FeedWarning> standingOf(const QString &cityCode) const;
    // The city's alerts, as kept.
    QList<FeedAlert> alertsOf(const QString &cityCode) const { return m_alerts.value(cityCode); }
    // The colour of the city's strongest alert in force, and of all the
    // cities' ("red"); empty for none.
    QString colourOf(const QString &cityCode) const;
    QString strongestColour() const;
    // The alerts and warnings in force, as the window says them, the
    // alerts first, warnings' runs merged; empty for none. And each part alone.
    QString lineOf(const QString &cityCode) const;
    QString alertLineOf(const QString &cityCode) const;
    QString warningLineOf(const QString &cityCode) const;
    // The city the strip's sign leads to: the first of the person's own
    // cities with a warning in force, else the first city with one, in the
    // store's order, a city with a stronger alert ahead; empty for none. And the sign's words for it
    // ("القصيم، تنبيه: عاصفة ترابية اليوم حتى 6 مساءً").
    QString firstWarnedCity() const;
    QString firstWarnedLine() const;

    bool isOwnCity(const QString &cityCode) const { return m_ownCities.contains(cityCode); }
    QStringList ownCities() const { return m_ownCities; }
    // Marks or unmarks one of the person's own cities, and keeps the choice.
    void setOwnCity(const QString &cityCode, bool own);

Q_SIGNALS:
    // The person chose a notice: show this city.
    void cityChosen(const QString &cityCode);
    // The person's own cities changed (the strip's sign may lead elsewhere).
    void ownCitiesChanged();

private:
    struct City
    {
        QString code;
        QString name;
    };
    City &cityOf(const QString &code);
    struct Carried;
    // The alerts in force, each once, with the cities that carry it.
    QList<Carried> carriedAlerts(const QDateTime &now) const;
    // Alerts told and since called off: forgotten, their notices closed.
    void takeBackCancelled(const QDateTime &now, const QSet<QString> &refreshed);

    DesktopNotices *m_notices;
    std::function<QDateTime()> m_now;
    std::unique_ptr<WarningNotices> m_told;
    QString m_settingsFile;
    QList<City> m_cities; // in the store's order
    QHash<QString, QList<FeedWarning>> m_warnings;
    QHash<QString, QList<FeedAlert>> m_alerts;
    QSet<QString> m_refreshed; // cities filled from a document since the last tellNew
    QHash<QString, uint> m_noticeOf; // alert id -> the notice that told it, this run
    QStringList m_ownCities;
    bool m_awaitingAnswer = false;
};
