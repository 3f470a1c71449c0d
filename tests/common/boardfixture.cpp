#include "boardfixture.h"

#include "platform/datacontrol.h"

BoardServices FakeWorld::services(const QString &applicationFolder)
{
    BoardServices s;
    s.applicationFolder = applicationFolder;
    s.now = [this] { return now; };
    s.isOnline = [this] { return online; };
    s.showMessage = [this](QWidget *, const QString &text, bool) { messages << text; };
    s.playSound = [this](const QString &path) { sounds << path; };
    s.startDetached = [this](const QString &program, const QStringList &arguments) {
        launches.append({program, arguments});
        return true;
    };
    return s;
}

void pointFeedsAt(const QString &storePath, const QString &base)
{
    DataControl data;
    data.setDatabaseName(storePath);
    data.setRecordSource(QStringLiteral("select * from wt"));
    data.refresh();
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
    data.setDatabaseName(storePath);
    data.setRecordSource(QStringLiteral("select * from wt"));
    data.refresh();
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
