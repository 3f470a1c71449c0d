#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// Reading the national meteorological centre's alert feeds: an index (RSS
// 2.0 or Atom) whose items link to CAP documents or carry a CAP alert
// inline, and the CAP documents themselves (CAP 1.2, and 1.1, which differs
// in its namespace alone). Pure: no network, no clock.
//
// Whatever the feed sends is screened first, as the board screens its
// forecast documents: UTF-8 only, no document type (so no entities beyond
// XML's own five), a bounded depth, a bounded number of attributes in one
// tag (the stream reader's cost grows with their square), at most
// MaximumBytes a body and MaximumAlerts alerts or links in an index. A body
// that fails the screen is refused whole; the caller then keeps what it
// had.
namespace CapLimits {
inline constexpr qsizetype MaximumBytes = 1024 * 1024;
inline constexpr int MaximumAlerts = 500;
inline constexpr int MaximumDepth = 32;
inline constexpr int MaximumAttributes = 32; // of one tag
inline constexpr int MaximumInfos = 16; // of one alert
inline constexpr int MaximumAreas = 256; // of one info
// Of one alert, polygons and circles together: what coverage costs is
// their points times the cities.
inline constexpr int MaximumPoints = 20000;
} // namespace CapLimits

struct CapCircle
{
    double latitude = 0;
    double longitude = 0;
    double radiusKm = 0;
};

struct CapPoint
{
    double latitude = 0;
    double longitude = 0;
};

struct CapArea
{
    QString description; // areaDesc
    // Whether it gave a polygon or a circle, usable or not: an area with
    // one covers by its geometry alone, never by its description.
    bool hasGeometry = false;
    QList<QList<CapPoint>> polygons;
    QList<CapCircle> circles;
};

struct CapInfo
{
    QString language; // "ar", "en", or the first two letters of whatever it gave
    QStringList categories; // "Met", "Geo", ...
    QString event;
    QStringList eventCodes; // the values of its eventCode elements
    QString urgency;
    QString severity;
    QDateTime effective;
    QDateTime onset;
    QDateTime expires;
    QString senderName;
    QString headline;
    QString description;
    QList<CapArea> areas;
};

struct CapAlert
{
    QString identifier;
    QString sender;
    QDateTime sent;
    QString status; // "Actual", "Test", ...
    QString msgType; // "Alert", "Update", "Cancel", ...
    QStringList references; // the identifiers it names (each reference is sender,identifier,sent)
    QList<CapInfo> infos;
};

struct CapReading
{
    bool ok = false;
    QString error; // why not, for the journal
    // The CAP documents the index links to, resolved against its address,
    // http(s) only, each once, in the order given.
    QList<QUrl> links;
    // The alerts it carries: those inline in an index, or the one alert of
    // a CAP document.
    QList<CapAlert> alerts;
};

// Reads an index or a CAP document, whichever `body` is. `base` is the
// address it came from, against which relative links are resolved.
CapReading readCap(const QByteArray &body, const QUrl &base = {});

// The first two letters of a CAP language in lower case ("ar-SA" gives
// "ar"). An info without one is CAP's default, English, unless its texts
// are in Arabic letters: the Arabic feed does not always say so.
QString capLanguage(const QString &language, const QString &sample = {});
