#include "boardfixture.h"

#include "platform/datacontrol.h"
#include "store/weatherstore.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QUrlQuery>

#include <algorithm>

BoardServices FakeWorld::services(const QString &applicationFolder)
{
    BoardServices s;
    s.applicationFolder = applicationFolder;
    s.settingsFile = settingsFile;
    s.now = [this] { return now; };
    s.isOnline = [this] { return online; };
    s.offlineCause = [this] { return online ? OfflineCause::None : offlineCause; };
    s.showMessage = [this](QWidget *, const QString &text, bool) { messages << text; };
    s.playSound = [this](const QString &path) { sounds << path; };
    s.startDetached = [this](const QString &program, const QStringList &arguments) {
        launches.append({program, arguments});
        return true;
    };
    return s;
}

bool prepareBoardFolder(const QString &folder)
{
    const QDir dir(folder);
    QFile marker(dir.filePath(QStringLiteral("qivwtv61.txt")));
    if (!marker.open(QIODevice::WriteOnly))
        return false;
    marker.close();
    return WeatherStore::createStoreFile(dir.filePath(QString::fromUtf16(WeatherStore::FileName)));
}

void pointFeedsAt(const QString &storePath, const QString &base)
{
    DataControl data;
    openRows(data, storePath);
    for (Recordset &rs = data.recordset(); !rs.isEof(); rs.moveNext()) {
        QString url = rs.value(QStringLiteral("rs_URL")).toText();
        url.replace(QStringLiteral("http://127.0.0.1:8619"), base);
        rs.edit();
        rs.setValue(QStringLiteral("rs_URL"), FieldValue::text(url));
        rs.update();
    }
}

void storeWeather(const QString &storePath, const QList<CityWeather> &cities)
{
    DataControl data;
    openRows(data, storePath);
    Recordset &rs = data.recordset();
    for (const CityWeather &city : cities) {
        if (!rs.findFirst(QStringLiteral("city_code"), city.code))
            continue;
        rs.edit();
        rs.setValue(QStringLiteral("URL"), FieldValue::text(QStringLiteral("http://weather.example/") + city.code));
        rs.setValue(QStringLiteral("Temp"), FieldValue::number(city.temp));
        rs.setValue(QStringLiteral("Condition"), FieldValue::text(city.condition));
        rs.setValue(QStringLiteral("Visibility"), FieldValue::number(city.visibility));
        rs.setValue(QStringLiteral("Wind_Dirctn"), FieldValue::text(city.windDirection));
        rs.setValue(QStringLiteral("Wind_Speed"), FieldValue::number(city.windSpeed));
        rs.setValue(QStringLiteral("wCatg"), FieldValue::number(city.wCatg));
        rs.update();
    }
}

QByteArray FeedDocument::toXml() const
{
    const QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n"
        "<rss version=\"2.0\" xmlns:yweather=\"http://xml.weather.yahoo.com/ns/rss/1.0\" "
        "xmlns:geo=\"http://www.w3.org/2003/01/geo/wgs84_pos#\">\n<channel>\n"
        "<title>Weather - %1, SA</title>\n<link>%7</link>\n<language>en-us</language>\n"
        "<lastBuildDate>Mon, 07 Dec 2026 1:00 pm AST</lastBuildDate>\n<ttl>60</ttl>\n"
        "<yweather:location city=\"%1\" region=\"\" country=\"SA\"/>\n"
        "<yweather:units temperature=\"C\" distance=\"km\" pressure=\"mb\" speed=\"km/h\"/>\n"
        "<yweather:wind chill=\"%2\" direction=\"%4\" speed=\"%5\" />\n"
        "<yweather:atmosphere humidity=\"40\" visibility=\"%6\" pressure=\"1012\" rising=\"0\" />\n"
        "<yweather:astronomy sunrise=\"6:31 am\" sunset=\"5:12 pm\"/>\n"
        "<item>\n<title>Conditions for %1 at 1:00 pm AST</title>\n"
        "<geo:lat>24.68</geo:lat>\n<geo:long>46.71</geo:long>\n<link>%7</link>\n"
        "<pubDate>Mon, 07 Dec 2026 1:00 pm AST</pubDate>\n"
        "<yweather:condition text=\"Sunny\" code=\"%3\" temp=\"%2\" date=\"Mon, 07 Dec 2026 1:00 pm AST\" />\n"
        "%8</item>\n</channel>\n</rss>\n");
    const QString days = !forecast.isEmpty()
        ? forecast
        : QStringLiteral(
            "<yweather:forecast day=\"Mon\" date=\"7 Dec 2026\" low=\"12\" high=\"27\" text=\"Sunny\" code=\"32\" />\n"
            "<yweather:forecast day=\"Tue\" date=\"8 Dec 2026\" low=\"1\" high=\"2\" text=\"Sunny\" code=\"32\" />\n");
    QString document = xml.arg(city, temp, code, windDirection, windSpeed, visibility, link, days + warnings + hours);
    if (!warnings.isEmpty() || !hours.isEmpty())
        document.replace(QStringLiteral("<rss "),
                         QStringLiteral("<rss xmlns:rorizedivo=\"https://rorizedivo.example.org/ns/warnings/1\" "));
    return document.toUtf8();
}

QString hourElements(const QDateTime &first, int count)
{
    QString elements;
    for (int i = 0; i < count; ++i) {
        elements += QStringLiteral("<rorizedivo:hour time=\"%1\" temp=\"%2\" code=\"32\" text=\"Sunny\" speed=\"10\" "
                                   "direction=\"45\"/>\n")
                        .arg(first.addSecs(i * 3600).toString(Qt::ISODate))
                        .arg(20 + i);
    }
    return elements;
}

void serveEveryCity(LoopbackHttpServer &server, const QString &temp)
{
    server.handle(QStringLiteral("/forecastrss"), [temp](const HttpRequest &request) {
        FeedDocument doc;
        doc.city = QUrlQuery(request.query).queryItemValue(QStringLiteral("p"));
        doc.temp = temp;
        const QDateTime now = QDateTime::currentDateTimeUtc().toOffsetFromUtc(3 * 3600);
        doc.hours = hourElements(QDateTime(now.date(), QTime(now.time().hour(), 0), Qt::OffsetFromUTC, 3 * 3600));
        HttpResponse response;
        response.body = doc.toXml();
        return response;
    });
}

int feedRequests(const LoopbackHttpServer &server)
{
    const QList<HttpRequest> requests = server.requests();
    return int(std::count_if(requests.begin(), requests.end(),
                             [](const HttpRequest &r) { return r.path == QLatin1String("/forecastrss"); }));
}

BuiltBoard::BuiltBoard()
    : m_server(std::make_unique<LoopbackHttpServer>())
{
}

BuiltBoard::~BuiltBoard() = default;

QString BuiltBoard::install(const QString &builtFolder)
{
    // The board reads its feeds on the seed host only, as on a user's machine.
    if (!m_dir.isValid() || !m_server->listen(WeatherStore::FeedPort))
        return {};
    serveEveryCity(*m_server);
    const QDir from(builtFolder);
    const QDir to(m_dir.path());
    const QString program = to.filePath(QStringLiteral("RORizedivo"));
    if (!from.exists(QStringLiteral("RORizedivo"))
        || !QFile::copy(from.filePath(QStringLiteral("RORizedivo")), program))
        return {};
    to.mkpath(QStringLiteral("wtIMG"));
    for (const QString &name :
         {QStringLiteral("rain.wav"), QStringLiteral("thunder.wav"), QStringLiteral("H_POINT.CUR")})
        QFile::copy(from.filePath(name), to.filePath(name));
    for (const QString &name : QDir(from.filePath(QStringLiteral("wtIMG"))).entryList(QDir::Files))
        QFile::copy(from.filePath(QStringLiteral("wtIMG/") + name), to.filePath(QStringLiteral("wtIMG/") + name));
    if (!prepareBoardFolder(to.path()))
        return {};
    m_program = program;
    return program;
}
