#pragma once

#include "capreader.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class LocationTable;

// One language's words of an official alert, as its CAP info gave them.
struct AlertText
{
    QString language; // "ar" or "en"
    QString sender; // senderName
    QString event;
    QString headline;
    QString description; // whitespace folded, cut to DescriptionLength at a word
};

// An official alert in force, one per CAP identifier whatever number of
// feeds (languages) carried it, as the cities' documents tell it.
struct OfficialAlert
{
    static constexpr int DescriptionLength = 300;
    // An alert that does not say when it expires is taken to run this long
    // from when it was sent.
    static constexpr int DefaultHours = 24;

    QString identifier;
    QString severity; // "Extreme", "Severe", "Moderate", "Minor", "Unknown"
    QString urgency; // "Immediate", "Expected", ...
    QDateTime onset; // onset, else effective, else sent
    QDateTime expires; // expires, else DefaultHours after sent
    QString kind; // "dust", "heat", "rain", "thunder", "wind", or empty
    QStringList references; // of an Update: the identifiers it replaces
    QList<AlertText> texts; // Arabic first, then English
    QStringList cities; // the location ids it covers

    // "yellow" (Minor, Unknown), "orange" (Moderate), "red" (Severe, Extreme).
    QString colour() const;
    bool operator==(const OfficialAlert &other) const;
};

// The identifiers that a Cancel or an Update took back, and until when that
// holds: a feed may go on listing the original for a while.
using Withdrawals = QHash<QString, QDateTime>;

// How long an identifier taken back stays so once no feed lists what took
// it back any more.
inline constexpr int WithdrawalDays = 7;

// What counts of every feed's alerts at `now`: status Actual, msgType Alert
// or Update, an info of category Met, not expired, not taken back by a
// Cancel or an Update (now or before: `withdrawals` is read and added to,
// and forgets what has run out). Infos of the same identifier from several
// feeds make one alert with a text per language. Each covers the cities of
// `locations` that an area of its Met infos covers (areaCovers); an alert
// that covers none is left out. In the order of onset, then identifier.
QList<OfficialAlert> alertsInForce(const QList<CapAlert> &alerts, const LocationTable &locations, const QDateTime &now,
                                   Withdrawals *withdrawals);

// The kind of warning an alert plainly is, by its events and event codes:
// dust, heat, rain, thunder or wind; empty when none or not plainly.
QString alertKind(const QStringList &events);

// Whitespace folded to single spaces and, past `length` characters, cut at
// the last word boundary within them, with "…".
QString foldedAndCut(const QString &text, int length);
