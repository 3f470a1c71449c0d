#pragma once

#include "platform/datacontrol.h"
#include "platform/feeddate.h"
#include "store/siderows.h"

#include <QString>
#include <QVector>

// The weather store: the file wt.dar with its one table wt, one row per city.
namespace WeatherStore {

inline constexpr char16_t FileName[] = u"wt.dar";
inline constexpr char16_t TableName[] = u"wt";
inline constexpr char16_t AllRows[] = u"select * from wt";

// Where the seed addresses point: the local forecast feed service and the
// online map service.
inline constexpr char16_t FeedEndpoint[] = u"http://127.0.0.1:8619";
inline constexpr quint16 FeedPort = 8619;
inline constexpr char16_t MapService[] = u"http://maps.google.com";

// The 25 columns of wt in their order, with their types and sizes.
const QVector<ColumnInfo> &columns();

// The statement that creates table wt.
QString createTableStatement();

// The coming days of each city, kept beside its row in wt_days: the feed's
// forecast elements in their order, today first (day, date, low, high and
// condition code). At most ComingDays of them are kept.
inline constexpr int ComingDays = 5;
const SideRows &comingDays();

// The coming hours of each city, kept beside its row in wt_hours: the
// feed's hour elements in their order, the current hour first (the hour
// with the city's offset, its temperature, condition code, wind speed and
// direction). At most ComingHours of them are kept.
inline constexpr int ComingHours = ComingHourCount;
const SideRows &comingHours();

// The warnings the feed service sent with each city's document, kept beside
// its row in wt_warn: kind (dust, heat, rain, thunder, wind), starts and ends
// (ISO 8601 with the city's offset, the end not included) and the peak.
const SideRows &cityWarnings();

struct SeedCity
{
    QString cityA; // Arabic name, shown everywhere
    QString cityCode; // three letters, also the base name of the map picture
    QString locationId; // the feed's location id
    QString mapQuery; // query of the online map address, after "/maps"

    QString feedUrl() const;
    QString mapUrl() const;
};

// The 24 cities of a new store, in the order their rows are added.
const QVector<SeedCity> &seedCities();

// Builds a new store file at path: table wt and the 24 seed rows, written
// through a recordset so that the store's write rules apply. The file is built
// under a temporary name and moved into place only when complete, so a start
// that is killed half-way never leaves a store without its cities. An existing
// file at path is left alone. Returns whether path holds a store afterwards.
bool createStoreFile(const QString &path, QString *error = nullptr);

// Deletes a store file with what SQLite keeps beside it (its write-ahead
// log, shared memory index and journal). A log left behind by a process
// that was killed must never meet a new store of the same name: SQLite
// would replay it into that store. Returns whether the file is gone.
bool removeStoreFile(const QString &path);

} // namespace WeatherStore
