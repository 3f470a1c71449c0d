#include "store/weatherstore.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace WeatherStore {

namespace {

struct ColumnDefinition
{
    const char16_t *name;
    ColumnInfo::Type type;
    int size;
};

constexpr ColumnInfo::Type Text = ColumnInfo::Type::Text;
constexpr ColumnInfo::Type Single = ColumnInfo::Type::Single;

const ColumnDefinition columnDefinitions[] = {
    {u"city_a", Text, 25},
    {u"city_e", Text, 25},
    {u"city_code", Text, 3},
    {u"pDate", Text, 30},
    {u"Temp", Single, 0},
    {u"temp_low", Single, 0},
    {u"temp_high", Single, 0},
    {u"Condition", Text, 35},
    {u"Condition_Code", Single, 0},
    {u"Wind_Speed", Single, 0},
    {u"Wind_Dirctn", Text, 25},
    {u"wCatg", Single, 0},
    {u"Wind_DirctnIndex", Text, 25},
    {u"Wind_Chill", Single, 0},
    {u"Humidity", Single, 0},
    {u"Visibility", Single, 0},
    {u"DewPoint", Single, 0},
    {u"sunrise", Text, 8},
    {u"sunset", Text, 8},
    {u"Loc_Lat", Text, 8},
    {u"Loc_Long", Text, 8},
    {u"ttl", Single, 0},
    {u"URL", Text, 255},
    {u"map1_URL", Text, 255},
    {u"rs_URL", Text, 255},
};

struct SeedDefinition
{
    const char16_t *cityA;
    const char16_t *cityCode;
    const char16_t *locationId;
    const char16_t *mapQuery;
};

// clang-format off
const SeedDefinition seedDefinitions[] = {
    {u"أبها", u"AHB", u"SAXX0036", u"?f=q&hl=en&q=Abha,+Saudi+Arabia&mrt=loc&sll=26.242155,36.455641&sspn=0.049963,0.051413&ie=UTF8&t=h&cd=2&geocode=0,18.233300,42.650000&ll=18.218508,42.509193&spn=0.053319,0.056992&z=14"}, // Abha
    {u"الجوف", u"AJF", u"SAXX0005", u"?f=q&hl=en&q=Al+Jouf,+Saudi+Arabia&mrt=loc&sll=29.632972,43.505988&sspn=0.024209,0.025706&ie=UTF8&cd=1&geocode=0,29.783300,40.100000&ll=29.806838,39.874706&spn=0.09667,0.102825&t=h&z=13"}, // Al Jouf
    {u"الدمام", u"DMM", u"SAXX0002", u"?f=q&hl=en&q=Ad+Dammam,+Eastern+Province,+Saudi+Arabia&mrt=loc&sll=24.679466,46.697388&sspn=0.331303,0.374222&ie=UTF8&cd=1&geocode=0,26.422100,50.143500&ll=26.424157,50.143661&spn=0.163258,0.187111&t=h&z=12"}, // Dammam
    {u"الرياض", u"RUH", u"SAXX0017", u"?f=q&hl=en&geocode=&q=riyadh&mrt=loc&ie=UTF8&t=h&ll=24.683833,46.711807&spn=0.310079,0.374222&z=11"}, // Riyadh
    {u"الطائف", u"TIF", u"SAXX0033", u"?f=q&hl=en&geocode=&q=taif,+Saudi+Arabia&mrt=loc&sll=29.806838,39.874706&sspn=0.09667,0.102825&ie=UTF8&ll=21.2689,40.411148&spn=0.10382,0.102825&t=h&z=13"}, // Taif
    {u"القريات", u"URY", u"SAXX0024", u"?f=q&hl=en&geocode=&loc&sll=21.2689,40.411148&sspn=0.10382,0.102825&ie=UTF8&cd=1&ll=31.330912,37.344332&spn=0.047581,0.051413&t=h&z=14"}, // Qurayyat
    {u"القصيم", u"ELQ", u"SAXX0030", u"?f=q&hl=en&geocode=&q=gassim,+Saudi+Arabia&mrt=loc&sll=31.330912,37.344332&sspn=0.047581,0.051413&ie=UTF8&ll=26.154205,43.733826&spn=0.800001,0.822601&t=h&z=10"}, // Qassim
    {u"القيصومة", u"AQI", u"SAXX0026", u"?f=q&hl=en&q=Al+Qaysumah,+Eastern+Province,+Saudi+Arabia&mrt=loc&sll=28.312844,46.142578&sspn=0.784636,0.822601&ie=UTF8&cd=1&geocode=0,28.310800,46.142300&ll=28.310804,46.142321&spn=0.049041,0.051413&t=h&z=14"}, // Qaisumah
    {u"المدينة", u"MED", u"SAXX0014", u"?f=q&hl=en&q=Medina,+Al+Madinah,+Saudi+Arabia&mrt=loc&ie=UTF8&cd=1&geocode=0,24.473600,39.605400&ll=24.4736,39.6054&spn=0.202796,0.20565&t=h&z=12"}, // Madinah
    {u"الوجه", u"EJH", u"SAXX0029", u"?f=q&hl=en&geocode=&q=Al+Wajh,+Saudi+Arabia&mrt=loc&sll=26.223523,36.476326&sspn=0.049971,0.051413&ie=UTF8&ll=26.242155,36.455641&spn=0.049963,0.051413&t=h&z=14&iwloc=addr"}, // Al Wajh
    {u"بيشة", u"BHH", u"SAXX0035", u"?f=q&hl=en&geocode=&q=Bisha,+Saudi+Arabia&mrt=loc&sll=18.214677,42.517862&sspn=0.052913,0.051413&ie=UTF8&ll=20.000935,42.607899&spn=0.104689,0.102825&t=h&z=13"}, // Bisha
    {u"تبوك", u"TUU", u"SAXX0027", u"?f=q&hl=en&q=Tabuk,+Tabuk,+Saudi+Arabia&mrt=loc&ie=UTF8&t=h&cd=2&geocode=0,28.385900,36.573100&ll=28.394572,36.571598&spn=0.098005,0.102825&z=13"}, // Tabuk
    {u"جدة", u"JED", u"SAXX0012", u"?f=q&hl=en&geocode=&q=jeddah&mrt=loc&sll=24.649513,46.728287&sspn=0.405023,0.411301&ie=UTF8&t=h&ll=21.464092,39.186516&spn=0.103682,0.102825&z=13"}, // Jeddah
    {u"جيزان", u"GIZ", u"SAXX0040", u"?f=q&hl=en&q=Gizan,+Saudi+Arabia&mrt=loc&sll=28.398649,36.565933&sspn=0.196002,0.20565&ie=UTF8&cd=2&geocode=0,16.901083,42.585777&ll=16.891042,42.561808&spn=0.053301,0.051413&t=h&z=14"}, // Jizan
    {u"حائل", u"HAS", u"SAXX0028", u"?f=q&hl=en&q=Hail,+Ha'il,+Saudi+Arabia&mrt=loc&ie=UTF8&cd=2&geocode=0,27.488600,41.708300&ll=27.517406,41.687965&spn=0.098805,0.102825&t=h&z=13"}, // Hail
    {u"رابغ", u"RAB", u"SAXX0016", u"?f=q&hl=en&geocode=&q=Rabigh,+Saudi+Arabia&mrt=loc&sll=22.808308,39.030476&sspn=0.102697,0.102825&ie=UTF8&ll=22.797072,39.013653&spn=0.102705,0.102825&t=h&z=13"}, // Rabigh
    {u"رفحاء", u"RAH", u"SAXX0025", u"?f=q&hl=en&q=Rafha,+Saudi+Arabia&mrt=loc&sll=20.492632,45.186768&sspn=0.834854,0.822601&ie=UTF8&cd=2&geocode=0,29.633300,43.483300&ll=29.632972,43.505988&spn=0.024209,0.025706&t=h&z=15&iwloc=addr"}, // Rafha
    {u"شرورة", u"SHW", u"SAXX0039", u"?f=q&hl=en&geocode=&q=Sharurah,+Saudi+Arabia&mrt=loc&sll=26.424157,50.143661&sspn=0.163258,0.187111&ie=UTF8&ll=17.489531,47.123795&spn=0.086938,0.093555&t=h&z=13"}, // Sharurah
    {u"طريف", u"TRI", u"SAXX0022", u"?f=q&hl=en&q=Turaif,+Saudi+Arabia&mrt=loc&sll=17.489531,47.123795&sspn=0.086938,0.093555&ie=UTF8&cd=2&geocode=0,31.692751,38.731194&ll=31.673617,38.662605&spn=0.077575,0.093555&t=h&z=13"}, // Turaif
    {u"عرعر", u"RAE", u"SAXX0023", u"?f=q&hl=en&geocode=&q=Arar,+Saudi+Arabia&mrt=loc&sll=31.673617,38.662605&sspn=0.077575,0.093555&ie=UTF8&ll=30.981436,41.037025&spn=0.078148,0.093555&t=h&z=13"}, // Arar
    {u"مكة", u"QCA", u"SAXX0013", u"?f=q&hl=en&geocode=&q=Mecca,+Saudi+Arabia&mrt=loc&sll=30.981436,41.037025&sspn=0.078148,0.093555&ie=UTF8&ll=21.422969,39.824259&spn=0.021214,0.023389&t=h&z=15"}, // Makkah
    {u"نجران", u"EAM", u"SAXX0038", u"?f=q&hl=en&q=Najran,+Najran,+Saudi+Arabia&mrt=loc&ie=UTF8&cd=2&geocode=0,17.546000,44.224400&ll=17.548135,44.224434&spn=0.08691,0.093555&t=h&z=13"}, // Najran
    {u"وادي الدواسر", u"WAE", u"SAXX0034", u"?f=q&hl=en&geocode=&ie=UTF8&cd=1&t=h&ll=20.492632,45.186768&spn=0.834854,0.822601&z=10"}, // Wadi ad-Dawasir
    {u"ينبع", u"YNB", u"SAXX0032", u"?f=q&hl=en&q=Yanbo,+Al+Madinah,+Saudi+Arabia&mrt=loc&ie=UTF8&cd=2&geocode=0,24.086600,38.052300&ll=24.093171,38.061104&spn=0.083211,0.093555&t=h&z=13"}, // Yanbu
};
// clang-format on

} // namespace

const QVector<ColumnInfo> &columns()
{
    static const QVector<ColumnInfo> list = [] {
        QVector<ColumnInfo> result;
        for (const ColumnDefinition &d : columnDefinitions)
            result.append(ColumnInfo{QString::fromUtf16(d.name), d.type, d.size});
        return result;
    }();
    return list;
}

const SideRows &comingDays()
{
    static const SideRows days(QStringLiteral("wt_days"),
                               {{QStringLiteral("day"), Text, 10},
                                {QStringLiteral("date"), Text, 30},
                                {QStringLiteral("low"), Single, 0},
                                {QStringLiteral("high"), Single, 0},
                                {QStringLiteral("code"), Single, 0}});
    return days;
}

const SideRows &comingHours()
{
    static const SideRows hours(QStringLiteral("wt_hours"),
                                {{QStringLiteral("hour"), Text, 30},
                                 {QStringLiteral("temp"), Single, 0},
                                 {QStringLiteral("code"), Single, 0},
                                 {QStringLiteral("speed"), Single, 0},
                                 {QStringLiteral("direction"), Single, 0}});
    return hours;
}

const SideRows &cityWarnings()
{
    static const SideRows warnings(QStringLiteral("wt_warn"),
                                   {{QStringLiteral("kind"), Text, 10},
                                    {QStringLiteral("starts"), Text, 30},
                                    {QStringLiteral("ends"), Text, 30},
                                    {QStringLiteral("peak"), Single, 0}});
    return warnings;
}

const SideRows &officialAlerts()
{
    static const SideRows alerts(QStringLiteral("wt_alert"),
                                 {{QStringLiteral("alert_id"), Text, 120},
                                  {QStringLiteral("colour"), Text, 6},
                                  {QStringLiteral("severity"), Text, 20},
                                  {QStringLiteral("urgency"), Text, 20},
                                  {QStringLiteral("onset"), Text, 30},
                                  {QStringLiteral("expires"), Text, 30},
                                  {QStringLiteral("kind"), Text, 10},
                                  {QStringLiteral("refs"), Text, 600},
                                  {QStringLiteral("sender_a"), Text, 100},
                                  {QStringLiteral("event_a"), Text, 100},
                                  {QStringLiteral("headline_a"), Text, 300},
                                  {QStringLiteral("description_a"), Text, 400},
                                  {QStringLiteral("sender_e"), Text, 100},
                                  {QStringLiteral("event_e"), Text, 100},
                                  {QStringLiteral("headline_e"), Text, 300},
                                  {QStringLiteral("description_e"), Text, 400}});
    return alerts;
}

QString createTableStatement()
{
    // Text columns declare NOCASE: the board registers its linguistic,
    // case-blind order under that name, and other SQLite clients still read
    // and sort the file with their own.
    QStringList definitions;
    for (const ColumnInfo &c : columns()) {
        if (c.type == ColumnInfo::Type::Text)
            definitions << QStringLiteral("\"%1\" TEXT(%2) COLLATE NOCASE").arg(c.name).arg(c.size);
        else
            definitions << QStringLiteral("\"%1\" REAL").arg(c.name);
    }
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(QString::fromUtf16(TableName), definitions.join(QLatin1String(", ")));
}

QString SeedCity::feedUrl() const
{
    return QString::fromUtf16(FeedEndpoint) + QStringLiteral("/forecastrss?p=") + locationId + QStringLiteral("&u=c");
}

QString SeedCity::mapUrl() const
{
    return QString::fromUtf16(MapService) + QStringLiteral("/maps") + mapQuery;
}

const QVector<SeedCity> &seedCities()
{
    static const QVector<SeedCity> list = [] {
        QVector<SeedCity> result;
        for (const SeedDefinition &d : seedDefinitions) {
            result.append(SeedCity{QString::fromUtf16(d.cityA), QString::fromUtf16(d.cityCode),
                                   QString::fromUtf16(d.locationId), QString::fromUtf16(d.mapQuery)});
        }
        return result;
    }();
    return list;
}

bool createStoreFile(const QString &path, QString *error)
{
    if (QFileInfo::exists(path))
        return true;

    const QString building = path + QStringLiteral(".building");
    removeStoreFile(building);

    sqlite3 *db = openStoreConnection(building, true, error);
    if (!db)
        return false;
    // The tables beside wt are made with it; a store made before them gains
    // them at its first refresh.
    QStringList statements{createTableStatement()};
    for (const SideRows *side : {&comingDays(), &comingHours(), &cityWarnings(), &officialAlerts()})
        statements << side->createStatement();
    const QByteArray create = statements.join(QStringLiteral("; ")).toUtf8();
    char *message = nullptr;
    const bool created = sqlite3_exec(db, create.constData(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!created && error)
        *error = QString::fromUtf8(message);
    sqlite3_free(message);
    sqlite3_close(db);
    if (!created) {
        QFile::remove(building);
        return false;
    }

    {
        DataControl seed;
        seed.setDatabaseName(building);
        seed.setRecordSource(QString::fromUtf16(AllRows));
        if (!seed.refresh()) {
            if (error)
                *error = seed.lastError();
            QFile::remove(building);
            return false;
        }
        Recordset &rows = seed.recordset();
        for (const SeedCity &city : seedCities()) {
            rows.addNew();
            rows.setValue(QStringLiteral("city_a"), FieldValue::text(city.cityA));
            rows.setValue(QStringLiteral("city_code"), FieldValue::text(city.cityCode));
            rows.setValue(QStringLiteral("rs_URL"), FieldValue::text(city.feedUrl()));
            rows.setValue(QStringLiteral("map1_URL"), FieldValue::text(city.mapUrl()));
            rows.update();
        }
        seed.closeDatabase();
    }

    // rename() refuses to replace a file that appeared meanwhile: that store
    // is kept and this one dropped, so no table is defined twice.
    if (!QFileInfo::exists(path))
        removeStoreFile(path); // what a killed process left of an earlier store
    if (!QFile::rename(building, path)) {
        removeStoreFile(building);
        if (error)
            *error = QStringLiteral("cannot move the new store into place");
        return QFileInfo::exists(path);
    }
    return true;
}

bool removeStoreFile(const QString &path)
{
    for (const char *companion : {"-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(companion));
    QFile::remove(path);
    return !QFileInfo::exists(path);
}

} // namespace WeatherStore
