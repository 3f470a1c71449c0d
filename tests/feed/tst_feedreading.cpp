#include "feed/documentloader.h"
#include "feed/feedreading.h"

#include "testsupport.h"

#include <QDomDocument>
#include <QTest>

namespace {

using Columns = QList<QPair<QString, FieldValue>>;

// Expected values in tables: "∅" is no value, "#n" the number n, anything
// else text.
FieldValue expected(const QString &text)
{
    if (text == QStringLiteral("∅"))
        return FieldValue::null();
    if (text.startsWith(u'#'))
        return FieldValue::number(text.mid(1).toDouble());
    return FieldValue::text(text);
}

FieldValue column(const Columns &columns, const QString &name)
{
    for (const auto &c : columns) {
        if (c.first == name)
            return c.second;
    }
    return FieldValue(); // unset: no such column
}

QDomDocument document(const QByteArray &xml)
{
    return parseFeedDocument(xml);
}

// A feed of one city, varied by the edge-case rows below.
QByteArray riyadh()
{
    static const QByteArray xml = readFixture("riyadh.xml");
    return xml;
}

QByteArray riyadhWith(const QByteArray &from, const QByteArray &to)
{
    QByteArray xml = riyadh();
    if (!xml.contains(from))
        qWarning("edge row does not match the template: %s", from.constData());
    return xml.replace(from, to);
}

// The feed with warning elements at the end of its item.
QByteArray riyadhWarned(const QByteArray &elements)
{
    return riyadhWith("</item>", elements + "\n</item>")
        .replace("<rss ", R"(<rss xmlns:rorizedivo="https://rorizedivo.example.org/ns/warnings/1" )");
}

// The warnings read, as "kind start end peak" each, joined by "|".
QString describe(const QList<FeedWarning> &warnings)
{
    QStringList parts;
    for (const FeedWarning &w : warnings)
        parts << QStringLiteral("%1 %2 %3 %4")
                     .arg(w.kind, w.start.toString(Qt::ISODate), w.end.toString(Qt::ISODate))
                     .arg(w.peak);
    return parts.join(u'|');
}

// The alerts read, "id colour severity/urgency onset expires kind refs" and
// each language's "event|headline|sender|description", joined by " ; ".
QString describe(const QList<FeedAlert> &alerts)
{
    QStringList parts;
    for (const FeedAlert &a : alerts) {
        const auto text = [](const char *lang, const FeedAlertText &t) {
            return t.isEmpty() ? QString()
                               : QStringLiteral(" %1:%2|%3|%4|%5")
                                     .arg(QLatin1String(lang), t.event, t.headline, t.sender, t.description);
        };
        parts << QStringLiteral("%1 %2 %3/%4 %5 %6 %7 %8")
                     .arg(a.id, a.colour, a.severity, a.urgency, a.onset.toString(Qt::ISODate),
                          a.expires.toString(Qt::ISODate), a.kind.isEmpty() ? QStringLiteral("-") : a.kind,
                          a.references.join(u','))
                + text("ar", a.arabic) + text("en", a.english);
    }
    return parts.join(QStringLiteral(" ; "));
}

// An alert element as the feed service writes it; `attributes` replace the
// usual ones of the same name or add to them, a value "" leaves one out.
QByteArray alertElement(
    const QString &id, const QByteArray &attributes = {},
    const QByteArray &texts =
        R"(<rorizedivo:text lang="ar" sender="المركز الوطني للأرصاد" event="غبار" headline="تنبيه أحمر" description="رياح نشطة"/><rorizedivo:text lang="en" sender="NCM" event="Dust" headline="Red alert"/>)")
{
    QList<QPair<QByteArray, QByteArray>> given{{"id", id.toUtf8()},
                                               {"colour", "red"},
                                               {"severity", "Severe"},
                                               {"urgency", "Immediate"},
                                               {"onset", "2026-12-09T15:00:00+03:00"},
                                               {"expires", "2026-12-09T21:00:00+03:00"},
                                               {"kind", "dust"}};
    for (const QByteArray &pair : attributes.split(' ')) {
        const qsizetype equals = pair.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray name = pair.left(equals);
        const QByteArray value = pair.mid(equals + 1).replace('_', ' ');
        const auto found = std::find_if(given.begin(), given.end(), [&](const auto &g) { return g.first == name; });
        if (found != given.end())
            found->second = value;
        else
            given.append({name, value});
    }
    QByteArray xml = "<rorizedivo:alert";
    for (const auto &[name, value] : given) {
        if (!value.isEmpty())
            xml += ' ' + name + "=\"" + value + '"';
    }
    return xml + '>' + texts + "</rorizedivo:alert>\n";
}

const char *outcomeName(ChannelOutcome outcome)
{
    switch (outcome) {
    case ChannelOutcome::Stop:
        return "Stop";
    case ChannelOutcome::Skip:
        return "Skip";
    case ChannelOutcome::Write:
        return "Write";
    }
    return "?";
}

const QString supplication = QString::fromUtf16(
    u"\u0020\u0627\u0644\u0644\u0647\u0645\u0020\u0635\u064A\u0628\u0627\u0020\u064B\u0020"
    u"\u0646\u0627\u0641\u0639\u0627\u064B\u0020");

} // namespace

class TestFeedReading : public QObject
{
    Q_OBJECT

private slots:
    void realFeeds_data();
    void realFeeds();
    void errorFeedStops();
    void edgeCases_data();
    void edgeCases();
    void noChannel();
    void channelsShareTheWorkingValues();
    void firstChannelStops();
    void ticker_data();
    void ticker();
};

void TestFeedReading::realFeeds_data()
{
    // clang-format off
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("columns"); // the twenty filled columns in order

    // Link texts of the Beverly Hills feeds.
    const QString bh = QStringLiteral("http://us.rd.yahoo.com/dailynews/rss/weather/Beverly_Hills__CA/*http://weather.yahoo.com/forecast/");
    const QString yahoo = QStringLiteral("http://us.rd.yahoo.com/dailynews/rss/weather/");

    QTest::newRow("01 Belo Horizonte, metric") << "real/01-belo-horizonte-c.xml" << QStringList{
        "Belo Horizonte", "Sat, 13 Mar 2010 6:00 pm LST", "28", "18", "27", "غائم غالباً", "#28",
        "9.66", "شمالية شمالية غربية", "#16", "#340", "28", "62", "#10", "5:57 am", "6:13 pm",
        "-19.95", "-43.93", "60", yahoo + "Belo_Horizonte__BR/*http://weather.yahoo.com/forecast/BRXX0033_c.html"};
    QTest::newRow("02 Belo Horizonte, imperial") << "real/02-belo-horizonte-f.xml" << QStringList{
        "Belo Horizonte", "Thu, 18 Mar 2010 12:00 am LST", "66", "63", "75", "صحو", "#33",
        "2", "شرقية", "#5", "#100", "66", "88", "#6", "5:59 am", "6:08 pm",
        "-19.95", "-43.93", "60", yahoo + "Belo_Horizonte__BR/*http://weather.yahoo.com/forecast/BRXX0033_f.html"};
    QTest::newRow("03 Beverly Hills 2011") << "real/03-beverly-hills-90210-c.xml" << QStringList{
        "Beverly Hills", "Wed, 01 Jun 2011 2:50 pm PDT", "17", "12", "21", "صحو", "#34",
        "14.48", "جنوبية غربية", "#11", "#230", "17", "65", "#16", "5:42 am", "7:57 pm",
        "34.08", "-118.4", "60", bh + "USCA0090_c.html"};
    QTest::newRow("04 Beverly Hills 2013 fair") << "real/04-beverly-hills-90210-c-2013-fair.xml" << QStringList{
        "Beverly Hills", "Sat, 09 Feb 2013 9:51 am PST", "11", "5", "14", "صحو", "#34",
        "8.05", "شرقية", "#5", "#90", "11", "59", "#16", "6:44 am", "5:32 pm",
        "34.08", "-118.4", "60", bh + "USCA0090_c.html"};
    QTest::newRow("05 Beverly Hills 2013 cloudy") << "real/05-beverly-hills-90210-c-2013-cloudy.xml" << QStringList{
        "Beverly Hills", "Thu, 07 Feb 2013 5:51 pm PST", "13", "8", "16", "غائم", "#26",
        "11.27", "جنوبية غربية", "#11", "#220", "13", "69", "#16", "6:46 am", "5:30 pm",
        "34.08", "-118.4", "60", bh + "USCA0090_c.html"};
    QTest::newRow("06 Lewis Center, indented") << "real/06-lewis-center-oh-f-fog.xml" << QStringList{
        "Lewis Center", "Wed, 11 Mar 2015 12:47 am EDT", "37", "36", "46", "ضباب", "#20",
        "0", "شمالية", "#1", "#0", "37", "100", "#0", "7:50 am", "7:32 pm",
        "40.2", "-83.01", "60", yahoo + "Lewis_Center__OH/*http://weather.yahoo.com/forecast/USOH0505_f.html"};
    QTest::newRow("07 Van Alstyne") << "real/07-van-alstyne-tx-f-fair.xml" << QStringList{
        "Van Alstyne", "Mon, 17 Nov 2014 11:53 am CST", "38", "21", "41", "صحو", "#34",
        "13", "شمالية شمالية غربية", "#16", "#330", "30", "47", "#10", "6:56 am", "5:21 pm",
        "33.42", "-96.57", "60", yahoo + "Van_Alstyne__TX/*http://weather.yahoo.com/forecast/USTX1395_f.html"};
    QTest::newRow("08 New York") << "real/08-new-york-ny-c-fair.xml" << QStringList{
        "New York", "Wed, 27 Mar 2013 9:49 am EDT", "6", "2", "9", "صحو", "#34",
        "16.09", "غربية", "#13", "#280", "2", "53", "#16", "6:46 am", "7:13 pm",
        "40.67", "-73.94", "60", yahoo + "New_York__NY/*http://weather.yahoo.com/forecast/USNY0996_c.html"};
    QTest::newRow("09 Stinson, one line") << "real/09-stinson-ky-f-fair-oneline.xml" << QStringList{
        "Stinson", "Sat, 13 Jul 2013 8:49 pm EDT", "79", "66", "84", "صحو", "#34",
        "5", "شرقية شمالية شرقية", "#4", "#70", "79", "64", "#10", "6:16 am", "8:53 pm",
        "38.31", "-82.88", "60", yahoo + "Stinson__KY/*http://weather.yahoo.com/forecast/USKY1005_f.html"};
    QTest::newRow("11 Beverly Hills 2009") << "real/11-beverly-hills-90210-c-2009-kph.xml" << QStringList{
        "Beverly Hills", "Sun, 26 Apr 2009 10:51 am PDT", "17", "11", "19", "غائم جزئي", "#30",
        "4.83", "شمالية", "#1", "#0", "17", "50", "#16", "6:09 am", "7:34 pm",
        "34.08", "-118.4", "60", bh + "90210_c.html"};
    // clang-format on
}

void TestFeedReading::realFeeds()
{
    QFETCH(QString, file);
    QFETCH(QStringList, columns);

    const QList<ChannelReadings> channels = readChannels(document(readFixture(file)));
    QCOMPARE(channels.size(), 1);
    QCOMPARE(channelOutcome(channels.first()), ChannelOutcome::Write);

    const Columns filled = filledColumns(channels.first(), windDirIndexAfter(channels.first(), 0));
    const QStringList names = {"city_e",           "pDate",          "Temp",       "temp_low",    "temp_high",
                               "Condition",        "Condition_Code", "Wind_Speed", "Wind_Dirctn", "wCatg",
                               "Wind_DirctnIndex", "Wind_Chill",     "Humidity",   "Visibility",  "sunrise",
                               "sunset",           "Loc_Lat",        "Loc_Long",   "ttl",         "URL"};
    QCOMPARE(filled.size(), names.size());
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(filled.at(i).first, names.at(i));
        QCOMPARE(filled.at(i).second, expected(columns.at(i)));
    }
}

void TestFeedReading::errorFeedStops()
{
    // Yahoo's "City not found" answer: a channel without any weather in it.
    const QList<ChannelReadings> channels = readChannels(document(readFixture("real/10-error-city-not-found.xml")));
    QCOMPARE(channels.size(), 1);
    QVERIFY(channels.first().city.isUnset());
    QVERIFY(channels.first().temperature.isUnset());
    QVERIFY(channels.first().link.isUnset());
    QCOMPARE(channelOutcome(channels.first()), ChannelOutcome::Stop);
}

void TestFeedReading::edgeCases_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("columns"); // "name=value" of the columns to check; "warnings=" those read

    const auto row = [](const char *name, const QByteArray &xml, const char *outcome,
                        const QStringList &columns = {}) {
        QTest::newRow(name) << xml << QString::fromLatin1(outcome) << columns;
    };

    row("as is", riyadh(), "Write",
        {"days=2", "day0.day=Sat", "day0.date=13 Mar 2010", "day1.low=18", "day1.high=31", "day1.code=12",
         "city_e=Riyadh", "Temp=25", "Condition=مشمس", "Condition_Code=#32", "pDate=Sat, 13 Mar 2010 3:00 pm AST",
         "Wind_Dirctn=شمالية شمالية شرقية", "wCatg=#2", "Wind_DirctnIndex=#30", "Visibility=#10",
         "temp_low=17", "temp_high=29", "URL=http://127.0.0.1:8619/forecast/SAXX0017_c.html", "warnings=", "hours=0"});

    // Warnings beside the elements of old; the row reads as before.
    row("two warnings", riyadhWarned(R"(<rorizedivo:warning kind="dust" start="2026-12-08T15:00:00+03:00" end="2026-12-08T21:00:00+03:00" peak="1450"/>
<rorizedivo:warning kind="heat" start="2026-12-09T00:00:00+03:00" end="2026-12-10T00:00:00+03:00" peak="48.5"/>)"), "Write",
        {"Temp=25", "temp_high=29", "warnings=dust 2026-12-08T15:00:00+03:00 2026-12-08T21:00:00+03:00 1450"
                                    "|heat 2026-12-09T00:00:00+03:00 2026-12-10T00:00:00+03:00 48.5"});
    row("unknown kind, unreadable or backward times", riyadhWarned(R"(<rorizedivo:warning kind="hail" start="2026-12-08T15:00:00+03:00" end="2026-12-08T21:00:00+03:00" peak="1"/>
<rorizedivo:warning kind="dust" start="soon" end="2026-12-08T21:00:00+03:00" peak="1200"/>
<rorizedivo:warning kind="wind" start="2026-12-09T00:00:00+03:00" end="2026-12-08T00:00:00+03:00" peak="70"/>
<rorizedivo:warning kind="rain" start="2026-12-08T00:00:00+03:00" end="2026-12-09T00:00:00+03:00" peak="x"/>)"), "Write",
        {"warnings=rain 2026-12-08T00:00:00+03:00 2026-12-09T00:00:00+03:00 0"});
    // The coming hours beside them: the first 24, each without what it lacks.
    const QByteArray hour = R"(<rorizedivo:hour time="2026-12-08T15:00:00+03:00" temp="31" code="19" text="Dust" speed="41.8" direction="315"/>)";
    row("hours beside the elements of old", riyadhWarned(hour + "\n" + QByteArray(hour).replace(R"(speed="41.8" )", "")
                                                                            .replace("T15:", "T16:")), "Write",
        {"Temp=25", "Wind_Speed=11.27", "hours=2", "hour0.hour=2026-12-08T15:00:00+03:00", "hour0.temp=31",
         "hour0.code=19", "hour0.speed=41.8", "hour0.direction=315", "hour1.hour=2026-12-08T16:00:00+03:00",
         "hour1.speed=∅"});
    row("twenty-five hours, twenty-four kept", riyadhWarned(hour.repeated(24) + QByteArray(hour).replace("temp=\"31\"", "temp=\"7\"")),
        "Write", {"hours=24", "hour23.temp=31"});
    row("hour of another prefix", riyadhWarned(QByteArray(hour).replace("rorizedivo:", "rzd:"))
                                      .replace("xmlns:rorizedivo", "xmlns:rzd"), "Write", {"hours=0"});
    // The centre's alerts, after the warnings, before the hours.
    row("an alert in both languages", riyadhWarned(R"(<rorizedivo:warning kind="dust" start="2026-12-08T15:00:00+03:00" end="2026-12-08T21:00:00+03:00" peak="1450"/>)"
                                                   + alertElement("2.49.0.1", "references=2.49.0.0") + hour), "Write",
        {"warnings=dust 2026-12-08T15:00:00+03:00 2026-12-08T21:00:00+03:00 1450", "hours=1",
         u"alerts=2.49.0.1 red Severe/Immediate 2026-12-09T15:00:00+03:00 2026-12-09T21:00:00+03:00 dust 2.49.0.0 "
         u"ar:غبار|تنبيه أحمر|المركز الوطني للأرصاد|رياح نشطة en:Dust|Red alert|NCM|"_qs});
    row("alerts screened", riyadhWarned(alertElement("green", "colour=green") + alertElement("") + alertElement("x", "id=two_words")
                                        + alertElement("backward", "expires=2026-12-09T14:00:00+03:00")
                                        + alertElement("soon", "onset=soon") + alertElement("no-expiry", "expires=")
                                        + alertElement("2.49.0.1", "kind=hail colour=yellow severity=Minor urgency=Expected references=2.49.0.1_2.49.0.0_2.49.0.0")
                                        + alertElement("2.49.0.1", "colour=orange")
                                        + alertElement("2.49.0.2", "", R"(<rorizedivo:text lang="fr" event="Poussière"/><rorizedivo:text lang="en" event="Dust" headline=")"
                                                       + QByteArray(301, 'h') + R"(" description=")" + QByteArray(400, 'd') + R"("/><rorizedivo:text lang="en" event="Sand"/>)")),
        "Write",
        {u"alerts=2.49.0.1 yellow Minor/Expected 2026-12-09T15:00:00+03:00 2026-12-09T21:00:00+03:00 - 2.49.0.0 ar:غبار|تنبيه أحمر|المركز الوطني للأرصاد|رياح نشطة en:Dust|Red alert|NCM| ; "
         u"2.49.0.2 red Severe/Immediate 2026-12-09T15:00:00+03:00 2026-12-09T21:00:00+03:00 dust  en:Dust|||"_qs + QString(400, u'd')});
    QByteArray many;
    for (int i = 0; i < 21; ++i)
        many += alertElement(QStringLiteral("2.49.0.%1").arg(i));
    row("twenty-one alerts, twenty kept", riyadhWarned(many), "Write", {"alerts#20"});
    row("alert of another prefix", riyadhWarned(alertElement("2.49.0.1").replace("rorizedivo:", "rzd:"))
                                       .replace("xmlns:rorizedivo", "xmlns:rzd"), "Write", {"alerts#0"});
    row("warning of another prefix", riyadhWarned(R"(<rzd:warning kind="dust" start="2026-12-08T15:00:00+03:00" end="2026-12-08T21:00:00+03:00" peak="1450"/>)")
                                         .replace("xmlns:rorizedivo", "xmlns:rzd"), "Write", {"warnings="});

    // The validity test.
    row("no location", riyadhWith(R"(<yweather:location city="Riyadh" region="" country="Saudi Arabia"/>)", ""), "Stop");
    row("empty city", riyadhWith(R"(city="Riyadh")", R"(city="")"), "Stop");
    row("city attribute missing", riyadhWith(R"(city="Riyadh")", ""), "Write", {"city_e=∅"});
    row("no condition", riyadhWith(R"(<yweather:condition text="Sunny" code="32" temp="25" date="Sat, 13 Mar 2010 2:50 pm AST"/>)", ""), "Stop");
    row("empty temp", riyadhWith(R"(temp="25")", R"(temp="")"), "Stop");
    row("temp not a number", riyadhWith(R"(temp="25")", R"(temp="N/A")"), "Stop");
    row("temp 0", riyadhWith(R"(temp="25")", R"(temp="0")"), "Stop");
    row("temp 0.0", riyadhWith(R"(temp="25")", R"(temp="0.0")"), "Stop");
    row("temp -3", riyadhWith(R"(temp="25")", R"(temp="-3")"), "Write", {"Temp=-3"});
    row("temp 25.5", riyadhWith(R"(temp="25")", R"(temp="25.5")"), "Write", {"Temp=25.5"});
    row("temp attribute missing", riyadhWith(R"(temp="25")", ""), "Write", {"Temp=∅"});

    // The link test.
    row("no link", riyadhWith("<link>http://127.0.0.1:8619/forecast/SAXX0017_c.html</link>", ""), "Write",
        {"URL=http://weather.yahoo.com"}); // the image's link is then the first
    row("no link at all", riyadhWith("<link>http://127.0.0.1:8619/forecast/SAXX0017_c.html</link>", "")
                              .replace("<link>http://weather.yahoo.com</link>", ""), "Skip");
    row("empty link", riyadhWith("<link>http://127.0.0.1:8619/forecast/SAXX0017_c.html</link>", "<link>\n  </link>"), "Skip");

    // Condition codes.
    row("code 3200", riyadhWith(R"(code="32" temp)", R"(code="3200" temp)"), "Write",
        {"Condition=غير متاح", "Condition_Code=#3200"});
    row("code missing", riyadhWith(R"(code="32" temp)", "temp"), "Write",
        {"Condition=إعصار", "Condition_Code=#0"});
    row("code not a number", riyadhWith(R"(code="32" temp)", R"(code="x" temp)"), "Write",
        {"Condition=إعصار", "Condition_Code=#0"});
    row("code 11.0", riyadhWith(R"(code="32" temp)", R"(code="11.0" temp)"), "Write",
        {"Condition=مطر", "Condition_Code=#11"});

    // Visibility, rounded halves to even.
    row("visibility 0.5", riyadhWith(R"(visibility="9.99")", R"(visibility="0.5")"), "Write", {"Visibility=#0"});
    row("visibility 1.5", riyadhWith(R"(visibility="9.99")", R"(visibility="1.5")"), "Write", {"Visibility=#2"});
    row("visibility 2.5", riyadhWith(R"(visibility="9.99")", R"(visibility="2.5")"), "Write", {"Visibility=#2"});
    row("visibility 3.5", riyadhWith(R"(visibility="9.99")", R"(visibility="3.5")"), "Write", {"Visibility=#4"});
    row("visibility empty", riyadhWith(R"(visibility="9.99")", R"(visibility="")"), "Write", {"Visibility=#0"});
    row("visibility not a number", riyadhWith(R"(visibility="9.99")", R"(visibility="far")"), "Write", {"Visibility=#0"});
    row("visibility attribute missing", riyadhWith(R"(visibility="9.99")", ""), "Write", {"Visibility=∅"});
    row("no atmosphere", riyadhWith(R"(<yweather:atmosphere humidity="12" visibility="9.99" pressure="1015.92" rising="0"/>)", ""), "Write",
        {"Visibility=#0", "Humidity=∅"});

    // Wind.
    row("direction 22.5", riyadhWith(R"(direction="30")", R"(direction="22.5")"), "Write",
        {"Wind_Dirctn=شمالية شمالية شرقية", "wCatg=#2", "Wind_DirctnIndex=#22.5"});
    row("direction missing", riyadhWith(R"(direction="30")", ""), "Write",
        {"Wind_Dirctn=شمالية", "wCatg=#1", "Wind_DirctnIndex=#0", "Wind_Speed=11.27"});
    row("no wind", riyadhWith(R"(<yweather:wind chill="25" direction="30" speed="11.27"/>)", ""), "Write",
        {"Wind_Dirctn=شمالية", "wCatg=#1", "Wind_DirctnIndex=#0", "Wind_Chill=∅", "Wind_Speed=∅"});
    row("direction negative", riyadhWith(R"(direction="30")", R"(direction="-10")"), "Write",
        {"Wind_Dirctn= ", "wCatg=#7", "Wind_DirctnIndex=#-10"}); // the sector held before stays

    // Publication time.
    row("no pubDate", riyadhWith("<pubDate>Sat, 13 Mar 2010 3:00 pm AST</pubDate>", ""), "Write",
        {"pDate=Sat, 13 Mar 2010 2:50 pm AST"});
    row("blank pubDate", riyadhWith("<pubDate>Sat, 13 Mar 2010 3:00 pm AST</pubDate>", "<pubDate> \n </pubDate>"), "Write",
        {"pDate=Sat, 13 Mar 2010 2:50 pm AST"});
    row("no pubDate, no date", riyadhWith("<pubDate>Sat, 13 Mar 2010 3:00 pm AST</pubDate>", "")
                                   .replace(R"(date="Sat, 13 Mar 2010 2:50 pm AST")", ""), "Write",
        {"pDate=∅"});

    // Other elements absent: their columns get no value.
    row("no forecast", riyadhWith("<yweather:forecast", "<other"), "Write",
        {"temp_low=∅", "temp_high=∅", "days=0"});

    // The coming days: the first five, each without what it lacks.
    const QByteArray day = R"(<yweather:forecast day="Mon" date="15 Mar 2010" low="19" high="33" text="Sunny" code="32"/>)";
    row("six days, five kept", riyadhWith("</item>", day + day + day + day + "</item>"), "Write",
        {"days=5", "day4.day=Mon", "day4.high=33"});
    row("a day missing a value", riyadhWith(R"(low="18" high="31")", R"(low="18")"), "Write",
        {"days=2", "day1.low=18", "day1.high=∅", "temp_high=29"});
    row("no astronomy", riyadhWith(R"(<yweather:astronomy sunrise="6:02 am" sunset="5:21 pm"/>)", ""), "Write",
        {"sunrise=∅", "sunset=∅"});
    row("no geo, no ttl", riyadhWith("<geo:lat>24.65</geo:lat>\n<geo:long>46.77</geo:long>", "").replace("<ttl>60</ttl>", ""), "Write",
        {"Loc_Lat=∅", "Loc_Long=∅", "ttl=∅"});

    // Texts.
    row("attributes present but empty", riyadhWith(R"(humidity="12")", R"(humidity="")").replace(R"(sunrise="6:02 am")", R"(sunrise="")"), "Write",
        {"Humidity=", "sunrise="}); // empty text: the store refuses it
    row("element text trimmed, attributes not", riyadhWith("<geo:lat>24.65</geo:lat>", "<geo:lat>\n\t 24.65 \n</geo:lat>")
                                                   .replace(R"(sunset="5:21 pm")", R"(sunset=" 5:21 pm")"), "Write",
        {"Loc_Lat=24.65", "sunset= 5:21 pm"});
    row("other prefix", riyadh().replace("yweather:", "yw:").replace("xmlns:yweather", "xmlns:yw"), "Stop");
    row("location outside the channel", riyadhWith(R"(<yweather:location city="Riyadh" region="" country="Saudi Arabia"/>)", "")
                                            .replace("</channel>", R"(</channel><yweather:location city="Riyadh"/>)"), "Stop");
    // clang-format on
}

void TestFeedReading::edgeCases()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, outcome);
    QFETCH(QStringList, columns);

    const QList<ChannelReadings> channels = readChannels(document(xml));
    QCOMPARE(channels.size(), 1);
    const ChannelReadings &r = channels.first();
    QCOMPARE(QString::fromLatin1(outcomeName(channelOutcome(r))), outcome);

    const Columns filled = filledColumns(r, windDirIndexAfter(r, 7));
    const auto days = comingDayRows(r);
    const auto hours = comingHourRows(r);
    for (const QString &check : columns) {
        const qsizetype equals = check.indexOf(u'=');
        const QString name = check.left(equals);
        if (check.startsWith(QLatin1String("alerts#")))
            QCOMPARE(r.alerts.size(), check.mid(7).toInt());
        else if (name == QLatin1String("alerts"))
            QCOMPARE(describe(r.alerts), check.mid(equals + 1));
        else if (name == QLatin1String("warnings"))
            QCOMPARE(describe(r.warnings), check.mid(equals + 1));
        else if (name == QLatin1String("hours"))
            QCOMPARE(hours.size(), check.mid(equals + 1).toInt());
        else if (name.startsWith(QLatin1String("hour"))) // "hour1.speed": the second hour's wind speed
            QCOMPARE(column(hours.value(name.mid(4, name.indexOf(u'.') - 4).toInt()), name.mid(name.indexOf(u'.') + 1)),
                     expected(check.mid(equals + 1)));
        else if (name == QLatin1String("days"))
            QCOMPARE(days.size(), check.mid(equals + 1).toInt());
        else if (name.startsWith(QLatin1String("day")) && name.at(4) == u'.') // "day1.low": the second day's low
            QCOMPARE(column(days.value(name.at(3).digitValue()), name.mid(5)), expected(check.mid(equals + 1)));
        else
            QCOMPARE(column(filled, name), expected(check.mid(equals + 1)));
    }
}

void TestFeedReading::noChannel()
{
    QVERIFY(readChannels(QDomDocument()).isEmpty());
    QVERIFY(readChannels(document("<rss version=\"2.0\"><item/></rss>")).isEmpty());
}

// The values belong to the whole read: what the second channel lacks, it
// takes over from the first.
void TestFeedReading::channelsShareTheWorkingValues()
{
    const QByteArray second = R"(<channel>
<link>http://127.0.0.1:8619/forecast/SAXX0019_c.html</link>
<yweather:location city="Jeddah"/>
<yweather:condition code="11" temp="31" date="Sat, 13 Mar 2010 2:55 pm AST"/>
</channel>
</rss>)";
    const QByteArray xml = riyadhWith("</rss>", second);

    const QList<ChannelReadings> channels = readChannels(document(xml));
    QCOMPARE(channels.size(), 2);
    QCOMPARE(channelOutcome(channels.at(0)), ChannelOutcome::Write);
    QCOMPARE(channelOutcome(channels.at(1)), ChannelOutcome::Write);

    const ChannelReadings &r = channels.at(1);
    QCOMPARE(r.city, FieldValue::text("Jeddah"));
    QCOMPARE(r.temperature, FieldValue::text("31"));
    QCOMPARE(r.conditionCode, 11.0f);
    QCOMPARE(r.link, FieldValue::text("http://127.0.0.1:8619/forecast/SAXX0019_c.html"));
    // Carried over from the first channel; the pubDate is not empty, so the
    // second condition's date is not consulted.
    QCOMPARE(r.pubDate, FieldValue::text("Sat, 13 Mar 2010 3:00 pm AST"));
    QCOMPARE(r.low, FieldValue::text("17"));
    QCOMPARE(r.ttl, FieldValue::text("60"));
    QCOMPARE(r.windDirection, 30.0f);
    QCOMPARE(r.windSector, 2);
    // The first entry is unchanged by the second channel.
    QCOMPARE(channels.at(0).city, FieldValue::text("Riyadh"));
}

void TestFeedReading::firstChannelStops()
{
    const QByteArray xml = riyadhWith(R"(temp="25")", R"(temp="0")")
                               .replace("</rss>",
                                        "<channel><link>x</link><yweather:location city=\"Jeddah\"/>"
                                        "<yweather:condition temp=\"31\"/></channel></rss>");
    const QList<ChannelReadings> channels = readChannels(document(xml));
    QCOMPARE(channels.size(), 2);
    QCOMPARE(channelOutcome(channels.at(0)), ChannelOutcome::Stop);
}

void TestFeedReading::ticker_data()
{
    // clang-format off
    QTest::addColumn<float>("code");
    QTest::addColumn<FieldValue>("temperature");
    QTest::addColumn<QString>("segment");

    const QString riyadhSunny = QStringLiteral("الرياض : مشمس  25   ....  ");
    QTest::newRow("sunny") << 32.0f << FieldValue::text("25") << riyadhSunny;
    QTest::newRow("temperature as written") << 32.0f << FieldValue::text("25.0")
                                            << QStringLiteral("الرياض : مشمس  25.0   ....  ");
    QTest::newRow("temperature no value") << 32.0f << FieldValue::null()
                                          << QStringLiteral("الرياض : مشمس     ....  ");
    QTest::newRow("rain") << 11.0f << FieldValue::text("25")
                          << QStringLiteral("الرياض : مطر  25   ....  ") + supplication
                                 + QStringLiteral("   .........  ");
    QTest::newRow("scattered showers") << 40.0f << FieldValue::text("-3")
                                       << QStringLiteral("الرياض : أمطار متقطعة  -3   ....  ") + supplication
                                              + QStringLiteral("   .........  ");
    QTest::newRow("thunderstorms") << 4.0f << FieldValue::text("25")
                                   << QStringLiteral("الرياض : عواصف رعدية  25   ....  ") + supplication
                                          + QStringLiteral("   .........  ");
    QTest::newRow("plain thunder") << 45.0f << FieldValue::text("25")
                                   << QStringLiteral("الرياض : رعود  25   ....  ");
    // clang-format on
}

void TestFeedReading::ticker()
{
    QFETCH(float, code);
    QFETCH(FieldValue, temperature);
    QFETCH(QString, segment);

    const QByteArray xml = riyadhWith(
        R"(code="32" temp="25")",
        "code=\"" + QByteArray::number(code) + "\" "
            + (temperature.isNull() ? QByteArray() : "temp=\"" + temperature.toText().toUtf8() + "\""));
    const QList<ChannelReadings> channels = readChannels(document(xml));
    QCOMPARE(channels.size(), 1);
    QCOMPARE(tickerSegment(QStringLiteral("الرياض"), channels.first()), segment);
}

QTEST_GUILESS_MAIN(TestFeedReading)
#include "tst_feedreading.moc"
