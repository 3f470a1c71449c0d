#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

class QDomElement;

// One warning the feed service derived for a city: what is coming, from when
// to when (read by the offset written with it, shown on the cities' clock:
// cityTime; the end not included) and
// how strong it gets at its peak.
struct FeedWarning
{
    QString kind; // dust, heat, rain, thunder or wind
    QDateTime start;
    QDateTime end;
    double peak = 0;

    bool operator==(const FeedWarning &other) const
    {
        return kind == other.kind && start == other.start && end == other.end && peak == other.peak;
    }
};

// A warning's time as its text is written, in documents, in the store and in
// the list of what was told: ISO 8601 with the city's offset
// ("2026-12-08T15:00:00+03:00"); and read back (invalid when it is not one).
QString warningTimeText(const QDateTime &time);
QDateTime warningTimeFromText(const QString &text);

// The warning elements of a channel (rorizedivo:warning, by the name as
// written, like every other element the board reads), in document order.
// An element of an unknown kind, without a readable start and end, or that
// ends before it starts, is passed over.
QList<FeedWarning> readWarnings(const QDomElement &channel);

// The warnings with the runs of one kind merged: a warning that starts
// before or as another of its kind ends (heavy rain today and tomorrow) is
// one from the first's start to the later end, with the higher peak.
// Ordered by start.
QList<FeedWarning> mergedRuns(QList<FeedWarning> warnings);

// The kind in the board's words: "عاصفة ترابية" ...; empty for an unknown kind.
QString warningKindText(const QString &kind);

// How strong it gets, in a person's words: "العظمى 49°", "35 مم", "هبات
// حتى 75 كم/س", "الغبار 1450 ميكروغرام/م³"; empty for thunderstorms (their
// peak is a weather code) and for a warning without a peak.
QString warningPeakText(const FeedWarning &warning);

// When a warning comes, in words a person reads, seen from `now` on the
// city's own day: "اليوم من الساعة 3 مساءً إلى 9 مساءً", "غداً" for a whole
// day, "اليوم وغداً" for two, "من اليوم حتى الخميس" for more, the weekday
// further on ("يوم الخميس").
QString warningTimeWords(const FeedWarning &warning, const QDateTime &now);
// The same, shorter once the warning is in force: "اليوم حتى 9 مساءً".
QString warningShortTimeWords(const FeedWarning &warning, const QDateTime &now);
// "تنبيه: عاصفة ترابية", how a warning of the kind is headed wherever it is told.
QString warningTitle(const QString &kind);
// "تنبيه: عاصفة ترابية اليوم حتى 9 مساءً", as the window shows and says it.
QString warningLine(const FeedWarning &warning, const QDateTime &now);

// What a coming day of the city says of the warnings in force that fall on
// it (the city's own day): each kind, with its hours when it takes part of
// the day ("عاصفة ترابية من الساعة 3 مساءً إلى 9 مساءً", "... حتى 3
// صباحاً"), joined; empty when none does.
QString dayWarningText(const QList<FeedWarning> &warnings, const QDate &day, const QDateTime &now);

// How strong a warning is on its kind's scale: 0 at its threshold, one
// more at each step past it (dust by 1,000 µg/m³, heat by 2 °C, rain by 20
// mm, wind by 15 km/h, a thunderstorm with hail). A warning a band
// stronger than the one told is news.
int warningBand(const FeedWarning &warning);

// Whether the warning has not yet ended at `now`.
inline bool warningInForce(const FeedWarning &warning, const QDateTime &now)
{
    return warning.end > now;
}
