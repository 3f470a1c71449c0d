#include "feed/conditionwords.h"
#include "feed/dataage.h"
#include "platform/feeddate.h"
#include "feed/feedwarning.h"
#include "feed/winddirection.h"
#include "platform/boardlanguage.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestFeedWords : public QObject
{
    Q_OBJECT

private slots:
    void conditionTextByCode_data();
    void conditionTextByCode();
    void conditionTextsKeepTheirCodeUnits_data();
    void conditionTextsKeepTheirCodeUnits();
    void rainOrThunder();
    void windDirection_data();
    void windDirection();
    void warningWords_data();
    void warningWords();
    void dataAge_data();
    void dataAge();
};

void TestFeedWords::conditionTextByCode_data()
{
    QTest::addColumn<float>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0.0f << QStringLiteral("إعصار");
    QTest::newRow("1") << 1.0f << QStringLiteral("عاصفة استوائية");
    QTest::newRow("2") << 2.0f << QStringLiteral("إعصار");
    QTest::newRow("3") << 3.0f << QStringLiteral("عواصف رعدية قوية");
    QTest::newRow("4") << 4.0f << QStringLiteral("عواصف رعدية");
    QTest::newRow("5") << 5.0f << QStringLiteral("مطر وثلوج");
    QTest::newRow("6") << 6.0f << QStringLiteral("مطر و مطر متجمد");
    QTest::newRow("7") << 7.0f << QStringLiteral("ثلوج ومطر متجمد");
    QTest::newRow("8") << 8.0f << QStringLiteral("رذاذ متجمد");
    QTest::newRow("9") << 9.0f << QStringLiteral("رذاذ");
    QTest::newRow("10") << 10.0f << QStringLiteral("مطر متجمد");
    QTest::newRow("11") << 11.0f << QStringLiteral("مطر");
    QTest::newRow("12") << 12.0f << QStringLiteral("مطر");
    QTest::newRow("13") << 13.0f << QStringLiteral("رياح ثالجه");
    QTest::newRow("14") << 14.0f << QStringLiteral("ثلوج خفيفة");
    QTest::newRow("15") << 15.0f << QStringLiteral("ثلوج");
    QTest::newRow("16") << 16.0f << QStringLiteral("ثلوج");
    QTest::newRow("17") << 17.0f << QStringLiteral("بارد");
    QTest::newRow("18") << 18.0f << QStringLiteral("متجمد");
    QTest::newRow("19") << 19.0f << QStringLiteral("غبار");
    QTest::newRow("20") << 20.0f << QStringLiteral("ضباب");
    QTest::newRow("21") << 21.0f << QStringLiteral("غائم");
    QTest::newRow("22") << 22.0f << QStringLiteral("بخار");
    QTest::newRow("23") << 23.0f << QStringLiteral("عاصف");
    QTest::newRow("24") << 24.0f << QStringLiteral("عاصف");
    QTest::newRow("25") << 25.0f << QStringLiteral("بارد");
    QTest::newRow("26") << 26.0f << QStringLiteral("غائم");
    QTest::newRow("27") << 27.0f << QStringLiteral("غائم غالباً");
    QTest::newRow("28") << 28.0f << QStringLiteral("غائم غالباً");
    QTest::newRow("29") << 29.0f << QStringLiteral("غائم جزئي");
    QTest::newRow("30") << 30.0f << QStringLiteral("غائم جزئي");
    QTest::newRow("31") << 31.0f << QStringLiteral("صافي");
    QTest::newRow("32") << 32.0f << QStringLiteral("مشمس");
    QTest::newRow("33") << 33.0f << QStringLiteral("صحو");
    QTest::newRow("34") << 34.0f << QStringLiteral("صحو");
    QTest::newRow("35") << 35.0f << QStringLiteral("مطر وبرد");
    QTest::newRow("36") << 36.0f << QStringLiteral("حار");
    QTest::newRow("37") << 37.0f << QStringLiteral("عواصف رعدية");
    QTest::newRow("38") << 38.0f << QStringLiteral("عواصف رعدية متقطعة");
    QTest::newRow("39") << 39.0f << QStringLiteral("عواصف رعدية متقطعة");
    QTest::newRow("40") << 40.0f << QStringLiteral("أمطار متقطعة");
    QTest::newRow("41") << 41.0f << QStringLiteral("ثلوج كثيفه");
    QTest::newRow("42") << 42.0f << QStringLiteral("ثلوج ممطرة متقطعة");
    QTest::newRow("43") << 43.0f << QStringLiteral("ثلوج كثيفه");
    QTest::newRow("44") << 44.0f << QStringLiteral("غائم جزئي");
    QTest::newRow("45") << 45.0f << QStringLiteral("رعود");
    QTest::newRow("46") << 46.0f << QStringLiteral("أمطار ثلجية");
    QTest::newRow("47") << 47.0f << QStringLiteral("رعود");

    const QString unknown = QStringLiteral("غير متاح");
    QTest::newRow("48") << 48.0f << unknown;
    QTest::newRow("3200") << 3200.0f << unknown;
    QTest::newRow("-1") << -1.0f << unknown;
    QTest::newRow("11.5") << 11.5f << unknown;
    QTest::newRow("32.5") << 32.5f << unknown;
    QTest::newRow("0.5") << 0.5f << unknown;
    QTest::newRow("46.99") << 46.99f << unknown;
    QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << unknown;
    QTest::newRow("-0 is 0") << -0.0f << QStringLiteral("إعصار");
}

void TestFeedWords::conditionTextByCode()
{
    QFETCH(float, code);
    QFETCH(QString, text);
    QCOMPARE(conditionText(code), text);
}

// The texts are searched by substring elsewhere, so a look-alike letter or a
// lost mark would silently change what the board finds in them.
void TestFeedWords::conditionTextsKeepTheirCodeUnits_data()
{
    // clang-format off
    QTest::addColumn<float>("code");
    QTest::addColumn<QString>("text");

    // ends with the tanween mark U+064B
    QTest::newRow("27") << 27.0f << QString::fromUtf16(u"\u063A\u0627\u0626\u0645\u0020\u063A\u0627\u0644\u0628\u0627\u064B");
    // ends with heh U+0647, not teh marbuta U+0629
    QTest::newRow("13") << 13.0f << QString::fromUtf16(u"\u0631\u064A\u0627\u062D\u0020\u062B\u0627\u0644\u062C\u0647");
    QTest::newRow("41") << 41.0f << QString::fromUtf16(u"\u062B\u0644\u0648\u062C\u0020\u0643\u062B\u064A\u0641\u0647");
    // the conjunction stands alone here, and is joined in 5
    QTest::newRow("6") << 6.0f << QString::fromUtf16(u"\u0645\u0637\u0631\u0020\u0648\u0020\u0645\u0637\u0631\u0020\u0645\u062A\u062C\u0645\u062F");
    QTest::newRow("5") << 5.0f << QString::fromUtf16(u"\u0645\u0637\u0631\u0020\u0648\u062B\u0644\u0648\u062C");
    // hamza below in 0, hamza above in 40
    QTest::newRow("0") << 0.0f << QString::fromUtf16(u"\u0625\u0639\u0635\u0627\u0631");
    QTest::newRow("40") << 40.0f << QString::fromUtf16(u"\u0623\u0645\u0637\u0627\u0631\u0020\u0645\u062A\u0642\u0637\u0639\u0629");
    // clang-format on
}

void TestFeedWords::conditionTextsKeepTheirCodeUnits()
{
    QFETCH(float, code);
    QFETCH(QString, text);
    QCOMPARE(conditionText(code), text);
}

void TestFeedWords::rainOrThunder()
{
    const QList<int> rainy = {3, 4, 5, 6, 7, 10, 11, 12, 35, 37, 38, 39, 40, 42, 46};
    for (int code = 0; code <= 48; ++code) {
        const QString text = conditionText(float(code));
        QVERIFY2(conditionSpeaksOfRain(text) == rainy.contains(code),
                 qPrintable(QStringLiteral("code %1: %2").arg(code).arg(text)));
    }
    // Plain thunder is no thunderstorm; the search is on exact code units.
    QVERIFY(!conditionSpeaksOfRain(QStringLiteral("رعود")));
    QVERIFY(conditionSpeaksOfRain(QStringLiteral("أمطار")));
    QVERIFY(!conditionSpeaksOfRain(QString()));
}

void TestFeedWords::windDirection_data()
{
    QTest::addColumn<float>("degrees");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("sector");

    const QString names[17] = {
        QStringLiteral(" "),
        QStringLiteral("شمالية"), // 1
        QStringLiteral("شمالية شمالية شرقية"), // 2
        QStringLiteral("شمالية شرقية"), // 3
        QStringLiteral("شرقية شمالية شرقية"), // 4
        QStringLiteral("شرقية"), // 5
        QStringLiteral("شرقية جنوبية شرقية"), // 6
        QStringLiteral("جنوبية شرقية"), // 7
        QStringLiteral("جنوبية جنوبية شرقية"), // 8
        QStringLiteral("جنوبية"), // 9
        QStringLiteral("جنوبية جنوبية غربية"), // 10
        QStringLiteral("جنوبية غربية"), // 11
        QStringLiteral("غربية جنوبية غربية"), // 12
        QStringLiteral("غربية"), // 13
        QStringLiteral("غربية شمالية غربية"), // 14
        QStringLiteral("شمالية غربية"), // 15
        QStringLiteral("شمالية شمالية غربية"), // 16
    };
    const auto row = [&](const char *label, float degrees, int sector) {
        QTest::newRow(label) << degrees << names[sector] << sector;
    };

    row("0", 0.0f, 1);
    row("-0", -0.0f, 1);
    row("11.25", 11.25f, 1);
    row("11.26", 11.26f, 2);
    row("30", 30.0f, 2);
    row("33.75", 33.75f, 2);
    row("33.76", 33.76f, 3);
    row("56.25", 56.25f, 3);
    row("56.26", 56.26f, 4);
    row("78.75", 78.75f, 4);
    row("78.76", 78.76f, 5);
    row("90", 90.0f, 5);
    row("101.25", 101.25f, 5);
    row("101.26", 101.26f, 6);
    row("123.75", 123.75f, 6);
    row("123.76", 123.76f, 7);
    row("146.25", 146.25f, 7);
    row("146.26", 146.26f, 8);
    row("168.75", 168.75f, 8);
    row("168.76", 168.76f, 9);
    row("180", 180.0f, 9);
    row("191.25", 191.25f, 9);
    row("191.26", 191.26f, 10);
    row("213.75", 213.75f, 10);
    row("213.76", 213.76f, 11);
    row("236.25", 236.25f, 11);
    row("236.26", 236.26f, 12);
    row("258.75", 258.75f, 12);
    row("258.76", 258.76f, 13);
    row("270", 270.0f, 13);
    row("281.25", 281.25f, 13);
    row("281.26", 281.26f, 14);
    row("303.74", 303.74f, 14);
    row("303.75", 303.75f, 15);
    row("326.25", 326.25f, 15);
    row("326.26", 326.26f, 16);
    row("348.75", 348.75f, 16);
    row("348.76", 348.76f, 1);
    row("359.99", 359.99f, 1);
    row("360", 360.0f, 1);
    row("720", 720.0f, 1);
    row("-0.01", -0.01f, 0);
    row("-1", -1.0f, 0);
    row("-360", -360.0f, 0);
}

void TestFeedWords::windDirection()
{
    QFETCH(float, degrees);
    QFETCH(QString, name);
    QFETCH(int, sector);
    const WindDirection direction = windDirectionName(degrees);
    QCOMPARE(direction.name, name);
    QCOMPARE(direction.sector, sector);
}

void TestFeedWords::warningWords_data()
{
    // clang-format off
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("now"); // on the board's clock, in UTC
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("english");
    const auto row = [](const char *name, const char *kind, const char *start, const char *end, const char *now,
                        const char16_t *words, const char16_t *line, bool english = false) {
        QTest::newRow(name) << kind << start << end << now << QString::fromUtf16(words) << QString::fromUtf16(line)
                            << english;
    };
    // Riyadh's 11:00 is 08:00 UTC.
    row("dust later today", "dust", "2026-12-08T15:00:00+03:00", "2026-12-08T21:00:00+03:00", "2026-12-08T08:00:00Z",
        u"اليوم من الساعة 3 مساءً إلى 9 مساءً", u"تنبيه: عاصفة ترابية اليوم من الساعة 3 مساءً إلى 9 مساءً");
    row("dust under way", "dust", "2026-12-08T15:00:00+03:00", "2026-12-08T21:00:00+03:00", "2026-12-08T13:00:00Z",
        u"اليوم من الساعة 3 مساءً إلى 9 مساءً", u"تنبيه: عاصفة ترابية اليوم حتى 9 مساءً");
    row("dust over midnight", "dust", "2026-12-08T22:00:00+03:00", "2026-12-09T03:00:00+03:00", "2026-12-08T08:00:00Z",
        u"اليوم من الساعة 10 مساءً إلى غداً الساعة 3 صباحاً", u"تنبيه: عاصفة ترابية اليوم من الساعة 10 مساءً إلى غداً الساعة 3 صباحاً");
    row("dust to midnight", "dust", "2026-12-08T20:00:00+03:00", "2026-12-09T00:00:00+03:00", "2026-12-08T18:00:00Z",
        u"اليوم من الساعة 8 مساءً إلى منتصف الليل", u"تنبيه: عاصفة ترابية اليوم حتى منتصف الليل");
    row("noon", "dust", "2026-12-08T09:00:00+03:00", "2026-12-08T12:00:00+03:00", "2026-12-08T03:00:00Z",
        u"اليوم من الساعة 9 صباحاً إلى 12 ظهراً", u"تنبيه: عاصفة ترابية اليوم من الساعة 9 صباحاً إلى 12 ظهراً");
    row("heat tomorrow", "heat", "2026-12-09T00:00:00+03:00", "2026-12-10T00:00:00+03:00", "2026-12-08T08:00:00Z",
        u"غداً", u"تنبيه: موجة حر شديدة غداً");
    row("rain today", "rain", "2026-12-08T00:00:00+03:00", "2026-12-09T00:00:00+03:00", "2026-12-08T08:00:00Z",
        u"اليوم", u"تنبيه: أمطار غزيرة وسيول محتملة اليوم");
    // 23:30 UTC is already the next day in Riyadh.
    row("the city's own day", "thunder", "2026-12-09T00:00:00+03:00", "2026-12-10T00:00:00+03:00", "2026-12-08T23:30:00Z",
        u"اليوم", u"تنبيه: عواصف رعدية اليوم");
    row("a later day", "wind", "2026-12-10T00:00:00+03:00", "2026-12-11T00:00:00+03:00", "2026-12-08T08:00:00Z",
        u"يوم الخميس", u"تنبيه: رياح شديدة يوم الخميس");
    // Runs of days, merged before they are said.
    row("today and tomorrow", "rain", "2026-12-08T00:00:00+03:00", "2026-12-10T00:00:00+03:00", "2026-12-08T08:00:00Z",
        u"اليوم وغداً", u"تنبيه: أمطار غزيرة وسيول محتملة اليوم وغداً");
    row("three days from tomorrow", "wind", "2026-12-09T00:00:00+03:00", "2026-12-12T00:00:00+03:00", "2026-12-08T08:00:00Z",
        u"من غداً حتى الجمعة", u"تنبيه: رياح شديدة من غداً حتى الجمعة");
    row("three days, under way", "heat", "2026-12-08T00:00:00+03:00", "2026-12-11T00:00:00+03:00", "2026-12-08T08:00:00Z",
        u"من اليوم حتى الخميس", u"تنبيه: موجة حر شديدة من اليوم حتى الخميس");
    // Written at another offset (a service on a host that fell back to
    // GMT): read by its offset, said on the cities' clock and day.
    row("dust written at +00:00", "dust", "2026-12-08T12:00:00+00:00", "2026-12-08T18:00:00+00:00", "2026-12-08T08:00:00Z",
        u"اليوم من الساعة 3 مساءً إلى 9 مساءً", u"تنبيه: عاصفة ترابية اليوم من الساعة 3 مساءً إلى 9 مساءً");
    row("a day written at +00:00", "heat", "2026-12-08T21:00:00Z", "2026-12-09T21:00:00Z", "2026-12-08T08:00:00Z",
        u"غداً", u"تنبيه: موجة حر شديدة غداً");
    // The same in English: the days within a sentence, the hours on the
    // twelve-hour clock English speaks.
    row("in English, dust later today", "dust", "2026-12-08T15:00:00+03:00", "2026-12-08T21:00:00+03:00", "2026-12-08T08:00:00Z",
        u"today from 3 PM to 9 PM", u"Warning: Dust storm today from 3 PM to 9 PM", true);
    row("in English, dust under way", "dust", "2026-12-08T15:00:00+03:00", "2026-12-08T21:00:00+03:00", "2026-12-08T13:00:00Z",
        u"today from 3 PM to 9 PM", u"Warning: Dust storm today until 9 PM", true);
    row("in English, dust over midnight", "dust", "2026-12-08T22:00:00+03:00", "2026-12-09T03:00:00+03:00", "2026-12-08T08:00:00Z",
        u"today from 10 PM to tomorrow at 3 AM", u"Warning: Dust storm today from 10 PM to tomorrow at 3 AM", true);
    row("in English, to midnight", "dust", "2026-12-08T20:00:00+03:00", "2026-12-09T00:00:00+03:00", "2026-12-08T18:00:00Z",
        u"today from 8 PM to 12 AM", u"Warning: Dust storm today until midnight", true);
    row("in English, noon", "dust", "2026-12-08T09:00:00+03:00", "2026-12-08T12:00:00+03:00", "2026-12-08T03:00:00Z",
        u"today from 9 AM to 12 PM", u"Warning: Dust storm today from 9 AM to 12 PM", true);
    row("in English, a later day", "wind", "2026-12-10T00:00:00+03:00", "2026-12-11T00:00:00+03:00", "2026-12-08T08:00:00Z",
        u"on Thu", u"Warning: Strong wind on Thu", true);
    row("in English, today and tomorrow", "rain", "2026-12-08T00:00:00+03:00", "2026-12-10T00:00:00+03:00", "2026-12-08T08:00:00Z",
        u"today and tomorrow", u"Warning: Heavy rain, flash floods likely today and tomorrow", true);
    row("in English, three days from tomorrow", "wind", "2026-12-09T00:00:00+03:00", "2026-12-12T00:00:00+03:00", "2026-12-08T08:00:00Z",
        u"from tomorrow to Fri", u"Warning: Strong wind from tomorrow to Fri", true);
    // clang-format on
}

void TestFeedWords::warningWords()
{
    QFETCH(QString, kind);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, now);
    QFETCH(QString, words);
    QFETCH(QString, line);
    QFETCH(bool, english);
    setBoardLanguage(english ? BoardLanguage::English : BoardLanguage::Arabic);
    const auto arabicAgain = qScopeGuard([] { setBoardLanguage(BoardLanguage::Arabic); });
    const FeedWarning warning{kind, QDateTime::fromString(start, Qt::ISODate), QDateTime::fromString(end, Qt::ISODate),
                              0};
    const QDateTime at = QDateTime::fromString(now, Qt::ISODate);
    QCOMPARE(warningTimeWords(warning, at), words);
    QCOMPARE(warningLine(warning, at), line);
}

void TestFeedWords::dataAge_data()
{
    QTest::addColumn<QString>("pubDate");
    QTest::addColumn<int>("minutesLater"); // than 1:00 pm AST, 10:00 UTC
    QTest::addColumn<QString>("age");
    QTest::addColumn<bool>("english");
    const char *const pubDate = "Mon, 07 Dec 2026 1:00 pm AST";
    QTest::newRow("an hour") << pubDate << 60 << QString() << false;
    QTest::newRow("just past an hour") << pubDate << 61 << QStringLiteral(u"آخر تحديث قبل ساعة") << false;
    QTest::newRow("two hours") << pubDate << 150 << QStringLiteral(u"آخر تحديث قبل ساعتين") << false;
    QTest::newRow("three hours") << pubDate << 180 << QStringLiteral(u"آخر تحديث قبل 3 ساعات") << false;
    QTest::newRow("ten hours") << pubDate << 600 << QStringLiteral(u"آخر تحديث قبل 10 ساعات") << false;
    QTest::newRow("eleven hours") << pubDate << 660 << QStringLiteral(u"آخر تحديث قبل 11 ساعة") << false;
    QTest::newRow("a day") << pubDate << 1500 << QStringLiteral(u"آخر تحديث قبل يوم") << false;
    QTest::newRow("three days") << pubDate << 3 * 1440 << QStringLiteral(u"آخر تحديث قبل 3 أيام") << false;
    QTest::newRow("morning, one digit") << "Mon, 7 Dec 2026 9:00 am AST" << 0
                                        << QStringLiteral(u"آخر تحديث قبل 4 ساعات") << false;
    QTest::newRow("GMT") << "Mon, 07 Dec 2026 10:00 am GMT" << 180 << QStringLiteral(u"آخر تحديث قبل 3 ساعات") << false;
    QTest::newRow("an offset in hours") << "Mon, 07 Dec 2026 4:00 pm +06" << 180
                                        << QStringLiteral(u"آخر تحديث قبل 3 ساعات") << false;
    QTest::newRow("a zone not known: the cities' time")
        << "Mon, 07 Dec 2026 1:00 pm CEST" << 180 << QStringLiteral(u"آخر تحديث قبل 3 ساعات") << false;
    QTest::newRow("no zone: the cities' time")
        << "Mon, 07 Dec 2026 1:00 pm" << 180 << QStringLiteral(u"آخر تحديث قبل 3 ساعات") << false;
    QTest::newRow("not a date") << "yesterday" << 600 << QString() << false;
    // English says its plurals its own way.
    QTest::newRow("in English, an hour") << pubDate << 61 << QStringLiteral("Updated 1 hour ago") << true;
    QTest::newRow("in English, two hours") << pubDate << 150 << QStringLiteral("Updated 2 hours ago") << true;
    QTest::newRow("in English, eleven hours") << pubDate << 660 << QStringLiteral("Updated 11 hours ago") << true;
    QTest::newRow("in English, a day") << pubDate << 1500 << QStringLiteral("Updated 1 day ago") << true;
    QTest::newRow("in English, three days") << pubDate << 3 * 1440 << QStringLiteral("Updated 3 days ago") << true;
}

void TestFeedWords::dataAge()
{
    QFETCH(QString, pubDate);
    QFETCH(int, minutesLater);
    QFETCH(QString, age);
    QFETCH(bool, english);
    setBoardLanguage(english ? BoardLanguage::English : BoardLanguage::Arabic);
    const auto arabicAgain = qScopeGuard([] { setBoardLanguage(BoardLanguage::Arabic); });
    const QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC).addSecs(minutesLater * 60);
    const std::optional<QDateTime> published = publishedAt(pubDate);
    QCOMPARE(published ? dataAgeText(*published, now) : QString(), age);
}

QTEST_GUILESS_MAIN(TestFeedWords)
#include "tst_feedwords.moc"
