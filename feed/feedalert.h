#pragma once

#include "feed/feedwarning.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QDomElement;

// What the national meteorological centre says of an alert in one language.
// A field the centre left out is empty.
struct FeedAlertText
{
    QString sender;
    QString event;
    QString headline;
    QString description;

    bool isEmpty() const { return sender.isEmpty() && event.isEmpty() && headline.isEmpty() && description.isEmpty(); }
};

// One official alert of the centre as a city's document carries it: its
// identifier, its colour and CAP words, when it holds (the city's time with
// its offset, the end not included), the kind of weather when it plainly is
// one the board knows, the alerts it replaces, and its texts.
struct FeedAlert
{
    QString id;
    QString colour; // yellow, orange or red
    QString severity; // Extreme, Severe, ...
    QString urgency; // Immediate, Expected, ...
    QDateTime onset;
    QDateTime expires;
    QString kind; // dust, heat, rain, thunder, wind; empty when none of them
    QStringList references; // the identifiers of the alerts it replaces
    FeedAlertText arabic;
    FeedAlertText english;
};

// Bounds on what a document may make the board keep: far above what the
// centre sends, far below what would cost the store or the window anything.
namespace AlertLimits {
inline constexpr int AlertsRead = 20; // of one channel
inline constexpr int IdLength = 120;
inline constexpr int ReferencesLength = 600;
inline constexpr int WordLength = 20; // severity, urgency
inline constexpr int SenderLength = 100;
inline constexpr int EventLength = 100;
inline constexpr int HeadlineLength = 300;
inline constexpr int DescriptionLength = 400;
} // namespace AlertLimits

// Who the board names as the alerts' source, in the board's language.
QString alertSourceName();

// The alert elements of a channel (rorizedivo:alert, by the name as written),
// in document order, the first AlertLimits::AlertsRead of them. An alert
// without an identifier fit to keep (empty, too long, or with white space),
// of an unknown colour, without a readable onset and expiry, or that expires
// before its onset, is passed over, and so are its identifiers repeated; a
// text longer than its limit is left out, as one the centre did not give.
QList<FeedAlert> readAlerts(const QDomElement &channel);

// The text the board shows of an alert: the one in the board's language,
// else the other when the feeds gave none in it.
const FeedAlertText &shownAlertText(const FeedAlert &alert);

// How strong a colour is: yellow 1, orange 2, red 3; 0 for anything else.
int alertColourRank(const QString &colour);

// Whether the alert has not yet expired at `now`.
inline bool alertInForce(const FeedAlert &alert, const QDateTime &now)
{
    return alert.expires > now;
}

// The alert's time as a warning's, for the words of when it holds.
FeedWarning alertSpan(const FeedAlert &alert);

// What the alert is called in a short text: its event, else its kind's
// words, else its headline.
QString alertName(const FeedAlert &alert);

// The alert as the window shows and says it, its source named, and until
// when it holds (also before its onset, which the days and the hours show):
// "المركز الوطني للأرصاد، اليوم حتى 9 مساءً: <headline>".
QString alertLine(const FeedAlert &alert, const QDateTime &now);

// What a coming day says of the alerts in force that fall on it, as
// dayWarningText says the warnings: "غبار من الساعة 3 مساءً إلى 9 مساءً".
QString dayAlertText(const QList<FeedAlert> &alerts, const QDate &day, const QDateTime &now);

// Whether an alert in force holds the centre's word on this derived warning:
// the same kind, and hours that meet.
bool alertCovers(const FeedAlert &alert, const FeedWarning &warning);
