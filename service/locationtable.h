#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One city the service answers for, keyed by the location id that the
// board's feed addresses carry (?p=SAXX0017).
struct Location
{
    QString id; // "SAXX0017"
    QString city; // English name, "Riyadh"
    QString region; // province, "Riyadh"
    QString cityArabic; // "الرياض"
    // Every name an alert's area may give the city by: its own, in English
    // and Arabic, and those of its region.
    QStringList placeNames;
    QString country; // "Saudi Arabia"
    QString countryCode; // "SA"
    QString timezone; // IANA name asked of the upstream, "Asia/Riyadh"
    double latitude = 0.0;
    double longitude = 0.0;
};

// The cities of the service, read from a JSON data file (the built-in one is
// locations.json, compiled in as a resource so the executable needs no file
// beside it).
class LocationTable
{
public:
    LocationTable() = default;

    // The table compiled into the service.
    static const LocationTable &builtIn();

    // Reads a table; an empty table and a reason when the text is not a
    // table (not JSON, a location without id or coordinates, a repeated id).
    static LocationTable fromJson(const QByteArray &json, QString *error = nullptr);

    // Location ids are compared without regard to case ("saxx0017" finds
    // SAXX0017); nullptr when the id is not in the table.
    const Location *find(const QString &id) const;

    const QList<Location> &locations() const { return m_locations; }
    bool isEmpty() const { return m_locations.isEmpty(); }

private:
    QList<Location> m_locations;
};
