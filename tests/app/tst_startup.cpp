#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "platform/boardlanguage.h"
#include "view/owncitytoggle.h"
#include "testsupport.h"
#include "store/weatherstore.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void composition();
    void languageOfTheDesktop_data();
    void languageOfTheDesktop();
    void compositionInEnglish();
    void loadState();
    void storeLifeCycle();
    void handCursor();
    void gatherPictures_data();
    void gatherPictures();
    void failedCopyKeepsTheSource();
    void unusableStore_data();
    void unusableStore();
    void missingStoreThatCannotBeMade();
    void staleLockDoesNotBlock();
    void lockBelongsToTheFolder();
    void closeDuringLoad();
    void secondCopyOfTheExecutable();

private:
    QString folder() const { return m_dir->path() + QLatin1Char('/'); }
    void touch(const QString &name, const QByteArray &content = "picture");

    std::unique_ptr<QTemporaryDir> m_dir;
    FakeWorld m_world;
};

void TestStartup::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_world = FakeWorld();
}

void TestStartup::cleanup()
{
    m_dir.reset();
}

void TestStartup::touch(const QString &name, const QByteArray &content)
{
    QFile file(folder() + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void TestStartup::composition()
{
    frmWeatherMain w(m_world.services(m_dir->path()));
    QCOMPARE(w.windowTitle(), QStringLiteral("QIV Weather 6.1"));

    // clang-format off
    const QStringList singles = {"FrameWeather", "lblWeather", "PictureShowDetail", "PictureHideDetail", "lblQIVurl",
                                 "ComboSort", "Line1", "lblCityD", "lblPdateD", "lblConditionD", "lblTempD",
                                 "lblTemp_LowD", "lblTemp_HighD", "lblHumidityD", "lblVisibilityD", "lblWind_DirctD",
                                 "lblWind_SpeedD", "lblWind_ShillD", "lblSunRiseD", "lblSunSetD", "ImageMAP",
                                 "lblGoogle", "Label2", "Label3", "Label4", "Label5", "Line0_270", "Line90_270",
                                 "Line22_202", "Line45_225", "Line67_247", "Line112_292", "Line135_315", "Line158_337",
                                 "LineWind", "lblWindDirc_Speed"};
    // clang-format on
    for (const QString &name : singles)
        QVERIFY2(w.findChild<QWidget *>(name), qPrintable(name));
    for (const char *array :
         {"lblCity", "lblCondition", "lblTemp", "lblVisibility", "lblWind_Dirct", "lblWind_Speed"}) {
        QVERIFY(w.findChild<QWidget *>(QStringLiteral("%1(23)").arg(QLatin1String(array))));
        QVERIFY(!w.findChild<QWidget *>(QStringLiteral("%1(24)").arg(QLatin1String(array))));
    }
    for (int i = 0; i < 25; ++i)
        QVERIFY(w.Shape2(i));

    // Captions that other parts of the board and the user rely on.
    QCOMPARE(w.Label1(0)->text(), QStringLiteral(u"المدينة"));
    QCOMPARE(w.Label1(2)->text(), QStringLiteral(u"درجة الحرارة (c)"));
    QCOMPARE(w.Label1(3)->text(), QStringLiteral(u"مدى الرؤية / كم"));
    QCOMPARE(w.Label1(12)->text(), QStringLiteral(u"برودة  الرياح (c)"));
    QCOMPARE(w.Label1(13)->text(), QStringLiteral(u"وقت"));
    QCOMPARE(w.Label1(14)->text(), QStringLiteral(u"رتب حسب"));
    QCOMPARE(w.Label1(19)->text(), QStringLiteral(u"أخر تحديث"));
    QCOMPARE(w.lblGoogle()->text(), QStringLiteral("Google"));
    QCOMPARE(w.PictureShowDetail()->toolTip(), QStringLiteral(u"عرض التفاصيل"));
    QVERIFY(w.PictureHideDetail()->toolTip().isEmpty());
    QCOMPARE(w.lblWeather()->layoutDirection(), Qt::RightToLeft);
    QCOMPARE(w.lblQIVurl()->layoutDirection(), Qt::LeftToRight);

    // Places that the ticker and the compass depend on.
    QCOMPARE(w.FrameWeather()->geometry(), twipsRect(0, 0, 7100, 390));
    const auto inWindow = [&w](const QWidget *control) {
        return QRect(control->mapTo(&w, QPoint(0, 0)), control->size());
    };
    QCOMPARE(inWindow(w.ImageMAP()), twipsRect(315, 3690, 6105, 6750));
    QCOMPARE(inWindow(w.lblCity(0)).top(), twipsToPixels(1515));
    QCOMPARE(inWindow(w.lblCity(23)).top(), twipsToPixels(1515 + 23 * 390));
    QVERIFY(w.lblCity(0)->x() > w.lblCondition(0)->x()); // the city column is the rightmost

    // Timers: intervals, all disabled until load.
    QCOMPARE(w.TimerFirstLoad()->interval(), 100);
    QCOMPARE(w.TimerWeather()->interval(), 55000);
    QCOMPARE(w.TimerW_lbl()->interval(), 110);
    QCOMPARE(w.TimerWind()->interval(), 100);
    for (FormTimer *t : {w.TimerFirstLoad(), w.TimerWeather(), w.TimerW_lbl(), w.TimerWind()})
        QVERIFY(!t->isEnabled());
}

void TestStartup::languageOfTheDesktop_data()
{
    // What QLocale::system().uiLanguages() gives for LANGUAGE, LC_ALL,
    // LC_MESSAGES and LANG.
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<bool>("english");
    QTest::newRow("LANG=ar_SA.UTF-8") << QStringList{"ar-SA", "ar-Arab-SA"} << false;
    QTest::newRow("LANG=en_US.UTF-8") << QStringList{"en-US", "en-Latn-US", "en"} << true;
    QTest::newRow("LANG=C") << QStringList{"C"} << false;
    QTest::newRow("LC_ALL=POSIX, as Qt may say it") << QStringList{"en-US-POSIX"} << false;
    QTest::newRow("none named") << QStringList() << false;
    QTest::newRow("LANGUAGE=ar on an English desktop") << QStringList{"ar", "ar-Arab-EG", "ar-EG"} << false;
    QTest::newRow("LANGUAGE=en:ar on an Arabic desktop") << QStringList{"en", "en-Latn-US", "ar", "ar-EG"} << true;
    QTest::newRow("French, the board has no French") << QStringList{"fr-FR", "fr"} << true;
    QTest::newRow("Egyptian Arabic") << QStringList{"ar-EG"} << false;
}

void TestStartup::languageOfTheDesktop()
{
    QFETCH(QStringList, languages);
    QFETCH(bool, english);
    QCOMPARE(languageForDesktop(languages), english ? BoardLanguage::English : BoardLanguage::Arabic);
}

// English reads left to right: the board is the Arabic one mirrored, and
// says everything in English.
void TestStartup::compositionInEnglish()
{
    setBoardLanguage(BoardLanguage::English);
    const auto arabicAgain = qScopeGuard([] { setBoardLanguage(BoardLanguage::Arabic); });
    QVERIFY(prepareBoardFolder(m_dir->path()));
    frmWeatherMain w(m_world.services(m_dir->path()));
    QVERIFY(w.Form_Load());
    w.TimerFirstLoad()->setEnabled(false);
    const auto inWindow = [&w](const QWidget *control) {
        return QRect(control->mapTo(&w, QPoint(0, 0)), control->size());
    };
    QCOMPARE(w.Label1(0)->text(), QStringLiteral("City"));
    QCOMPARE(w.Label1(14)->text(), QStringLiteral("Sort by"));
    QCOMPARE(w.Label1(19)->text(), QStringLiteral("Last update"));
    QCOMPARE(w.ComboSort()->itemText(0), QStringLiteral("City name"));
    QCOMPARE(w.ComboSort()->layoutDirection(), Qt::LeftToRight);
    QCOMPARE(w.PictureShowDetail()->toolTip(), QStringLiteral("Show details"));
    QCOMPARE(w.cityDetail()->ownCity()->text(), QStringLiteral("My city"));
    // The strip stays at the window's left: its button at the left end, the
    // ticker after it, the warning sign at its right end.
    QCOMPARE(inWindow(w.PictureShowDetail()).left(), 0);
    QCOMPARE(inWindow(w.FrameWeather()), twipsRect(370, 0, 7100, 390));
    QVERIFY(inWindow(w.stripWarningSign()).right() > inWindow(w.FrameWeather()).center().x());
    // The grid at the left, the city its first column; the panel at the right.
    QVERIFY(inWindow(w.lblCity(0)).right() < inWindow(w.lblCondition(0)).left());
    QVERIFY(inWindow(w.lblCondition(0)).right() < inWindow(w.lblWind_Speed(0)).left());
    QVERIFY(inWindow(w.cityGrid()).right() < inWindow(w.cityDetail()).left());
    QCOMPARE(inWindow(w.lblCity(0)).top(), twipsToPixels(1515));
    // The compass lies over the map wherever the panel took it, its wind box
    // at the map's left end, under the links' other end.
    const QRect map = inWindow(w.ImageMAP());
    QCOMPARE(map, twipsRect(14565 - 315 - 6105, 3690, 6105, 6750));
    QCOMPARE(inWindow(w.windCompass()).left() + twipsToPixels(315), map.left());
    QVERIFY(inWindow(w.lblWindDirc_Speed()).right() < map.center().x());
    QVERIFY(inWindow(w.lblGoogle()).right() > map.center().x());
    QVERIFY(inWindow(w.lblQIVurl()).left() > inWindow(w.ComboSort()).right());
}

void TestStartup::loadState()
{
    touch(QStringLiteral("H_POINT.CUR"), QByteArray()); // unreadable: the default pointer stays
    frmWeatherMain w(m_world.services(m_dir->path()));
    QVERIFY(w.Form_Load());
    QVERIFY(m_world.messages.isEmpty());
    QCOMPARE(w.AppFolder(), folder());
    QCOMPARE(w.outerSizeTwips(), QSize(7590, 885));
    QVERIFY(w.PictureShowDetail()->isHidden());
    QVERIFY(w.PictureHideDetail()->isHidden());
    QVERIFY(w.FirstLoad());
    QVERIFY(w.TimerFirstLoad()->isEnabled());
    QVERIFY(w.TimerWeather()->isEnabled());
    QVERIFY(!w.TimerW_lbl()->isEnabled());
    QVERIFY(!w.TimerWind()->isEnabled());
    QCOMPARE(w.ComboSort()->count(), 6);
    QCOMPARE(w.ComboSort()->currentIndex(), -1);
    QCOMPARE(w.ComboSort()->itemText(0), QStringLiteral(u"اسم المدينة"));
    QCOMPARE(w.ComboSort()->itemText(5), QStringLiteral(u"سرعة الرياح"));
    QVERIFY(QFileInfo(folder() + QStringLiteral("wtIMG")).isDir());
    QCOMPARE(w.lblCity(0)->cursor().shape(), Qt::ArrowCursor);

    // Both cursors are bound to the whole table, each on its own.
    QCOMPARE(w.DataWt().recordset().recordCount(), 24);
    QCOMPARE(w.Datawt2().recordset().recordCount(), 24);
    QCOMPARE(w.DataWt().recordSource(), QStringLiteral("select * from wt"));
    w.DataWt().recordset().moveLast();
    QCOMPARE(w.Datawt2().recordset().position(), 0);

    // The collapsed window shows the strip whole, and the grid not at all.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.rect().contains(w.FrameWeather()->geometry()));
    QVERIFY(!w.rect().intersects(QRect(w.lblCity(0)->mapTo(&w, QPoint(0, 0)), w.lblCity(0)->size())));
    w.close();
}

void TestStartup::handCursor()
{
    const QString cursor = qEnvironmentVariable("WEATHER_APP_FOLDER") + QStringLiteral("/H_POINT.CUR");
    if (!QFile::exists(cursor))
        QSKIP("the application folder is not built");
    QVERIFY(QFile::copy(cursor, folder() + QStringLiteral("H_POINT.CUR")));
    frmWeatherMain w(m_world.services(m_dir->path()));
    QVERIFY(w.Form_Load());
    for (QWidget *label : {static_cast<QWidget *>(w.lblCity(0)), static_cast<QWidget *>(w.lblCity(23)),
                           static_cast<QWidget *>(w.lblQIVurl()), static_cast<QWidget *>(w.lblGoogle())}) {
        QCOMPARE(label->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(label->cursor().hotSpot(), QPoint(11, 1)); // the finger tip, from the file
    }
    QCOMPARE(w.lblCondition(0)->cursor().shape(), Qt::ArrowCursor);
}

void TestStartup::storeLifeCycle()
{
    const QString store = folder() + QStringLiteral("wt.dar");
    const QString marker = folder() + QStringLiteral("qivwtv61.txt");
    {
        frmWeatherMain w(m_world.services(m_dir->path()));
        QVERIFY(w.Form_Load());
        QVERIFY(QFile::exists(store));
        w.close();
        QVERIFY(w.isUnloaded());
    }
    // The first close discards the store once and leaves the marker.
    QVERIFY(!QFile::exists(store));
    QVERIFY(!QFile::exists(store + QStringLiteral("-wal")));
    QVERIFY(QFile::exists(marker));
    QFile markerFile(marker);
    QVERIFY(markerFile.open(QIODevice::ReadOnly));
    QVERIFY(markerFile.readAll().endsWith('\n'));
    markerFile.close();

    {
        frmWeatherMain w(m_world.services(m_dir->path()));
        QVERIFY(w.Form_Load());
        QCOMPARE(w.DataWt().recordset().recordCount(), 24);
        w.close();
        w.Form_Unload(); // runs once only
    }
    QVERIFY(QFile::exists(store));
    QVERIFY(QFile::exists(marker));
}

void TestStartup::gatherPictures_data()
{
    QTest::addColumn<int>("pictures");
    QTest::addColumn<int>("movedFirst");
    QTest::newRow("60 pictures") << 60 << 51;
    QTest::newRow("51 pictures") << 51 << 51;
    QTest::newRow("3 pictures") << 3 << 3;
}

void TestStartup::gatherPictures()
{
    QFETCH(int, pictures);
    QFETCH(int, movedFirst);
    touch(QStringLiteral("qivwtv61.txt"));
    for (int i = 0; i < pictures; ++i)
        touch(QStringLiteral("P%1.tmg").arg(i, 2, 10, QLatin1Char('0')), QByteArray::number(i));
    QVERIFY(QDir().mkpath(folder() + QStringLiteral("wtIMG")));
    touch(QStringLiteral("wtIMG/P00.tmg"), "old");
    touch(QStringLiteral("notes.txt"));

    const auto count = [this](const QString &sub) {
        return QDir(folder() + sub).entryList({QStringLiteral("*.tmg")}, QDir::Files).size();
    };
    {
        frmWeatherMain w(m_world.services(m_dir->path()));
        QVERIFY(w.Form_Load());
        w.close();
    }
    QCOMPARE(count(QStringLiteral("wtIMG")), movedFirst);
    QCOMPARE(count(QString()), pictures - movedFirst);
    QFile overwritten(folder() + QStringLiteral("wtIMG/P00.tmg"));
    QVERIFY(overwritten.open(QIODevice::ReadOnly));
    QCOMPARE(overwritten.readAll(), QByteArray("0"));
    QVERIFY(QFile::exists(folder() + QStringLiteral("notes.txt")));
    {
        frmWeatherMain w(m_world.services(m_dir->path()));
        QVERIFY(w.Form_Load());
        w.close();
    }
    QCOMPARE(count(QStringLiteral("wtIMG")), pictures);
    QCOMPARE(count(QString()), 0);
}

void TestStartup::failedCopyKeepsTheSource()
{
    touch(QStringLiteral("AHB.tmg"), "abha");
    touch(QStringLiteral("JED.tmg"), "jeddah");
    touch(QStringLiteral("TIF.tmg"), "taif, new");
    // A folder in the way: the copy of AHB.tmg cannot be made.
    QVERIFY(QDir().mkpath(folder() + QStringLiteral("wtIMG/AHB.tmg/inside")));
    // The copy of TIF.tmg fails half-way; the good picture in place stays.
    touch(QStringLiteral("wtIMG/TIF.tmg"), "taif, good");
    QVERIFY(QDir().mkpath(folder() + QStringLiteral("wtIMG/TIF.tmg.part/inside")));
    frmWeatherMain w(m_world.services(m_dir->path()));
    QVERIFY(w.Form_Load());
    QVERIFY(QFile::exists(folder() + QStringLiteral("AHB.tmg")));
    QVERIFY(!QFile::exists(folder() + QStringLiteral("JED.tmg")));
    QVERIFY(QFile::exists(folder() + QStringLiteral("wtIMG/JED.tmg")));
    QVERIFY(QFile::exists(folder() + QStringLiteral("TIF.tmg")));
    QFile kept(folder() + QStringLiteral("wtIMG/TIF.tmg"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("taif, good"));
}

void TestStartup::unusableStore_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not a database") << QByteArray(8192, 'x');
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("database without wt") << QByteArray("other table");
}

void TestStartup::unusableStore()
{
    QFETCH(QByteArray, content);
    const QString store = folder() + QStringLiteral("wt.dar");
    if (content == "other table") {
        sqlite3 *db = openStoreConnection(store, true);
        sqlite3_exec(db, "create table other (a text)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    } else {
        touch(QStringLiteral("wt.dar"), content);
    }
    frmWeatherMain w(m_world.services(m_dir->path()));
    QVERIFY(w.Form_Load());
    QVERIFY(m_world.messages.isEmpty());
    QCOMPARE(w.DataWt().recordset().recordCount(), 0);
    QVERIFY(w.Datawt2().recordset().isEof());
    QVERIFY(w.TimerWeather()->isEnabled());
}

void TestStartup::missingStoreThatCannotBeMade()
{
    // The application folder lies below a file: nothing can be made there.
    touch(QStringLiteral("file"));
    const QString impossible = folder() + QStringLiteral("file/app");
    frmWeatherMain w(m_world.services(impossible));
    QVERIFY(!w.Form_Load());
    QCOMPARE(m_world.messages, QStringList{QStringLiteral(u"ملف الطقس غير متوفر")});
    QVERIFY(!w.TimerWeather()->isEnabled());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("file")});
}

void TestStartup::staleLockDoesNotBlock()
{
    const SingleInstanceLock probe(m_dir->path());
    {
        // The lock of a copy that was killed: its process is gone.
        QFile lock(probe.lockPath());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write("999999\nRORizedivo\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    }
    frmWeatherMain w(m_world.services(m_dir->path()));
    QVERIFY(w.Form_Load());
    QVERIFY(m_world.messages.isEmpty());

    // While this copy runs, another one from the same folder is refused.
    FakeWorld other;
    frmWeatherMain second(other.services(m_dir->path()));
    QVERIFY(!second.Form_Load());
    QCOMPARE(other.messages, QStringList{QStringLiteral("Application already in used.")});
    QVERIFY(second.AppFolder().isEmpty());
}

void TestStartup::lockBelongsToTheFolder()
{
    // Two copies with different temporary folders still meet at the lock.
    SingleInstanceLock first(m_dir->path());
    QVERIFY(first.tryAcquire());
    QTemporaryDir otherTemp;
    const QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", otherTemp.path().toUtf8());
    SingleInstanceLock second(m_dir->path());
    const bool secondTook = second.tryAcquire();
    if (savedTemp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTemp);
    QVERIFY(!secondTook);

    // Another folder, another user's, has a lock of its own.
    QTemporaryDir otherFolder;
    SingleInstanceLock third(otherFolder.path());
    QVERIFY(third.tryAcquire());
}

void TestStartup::closeDuringLoad()
{
    // A close that arrives while load yields ends the board at once: no
    // unload steps, so the one-time reset is not spent.
    frmWeatherMain w(m_world.services(m_dir->path()));
    QTimer::singleShot(0, &w, [&w] { w.close(); });
    QVERIFY(!w.Form_Load());
    QVERIFY(!w.endedWithError());
    QVERIFY(!w.isUnloaded());
    QVERIFY(!w.TimerWeather()->isEnabled());
    QVERIFY(QFile::exists(folder() + QStringLiteral("wt.dar")));
    QVERIFY(!QFile::exists(folder() + QStringLiteral("qivwtv61.txt")));
    QVERIFY(m_world.messages.isEmpty());
}

void TestStartup::secondCopyOfTheExecutable()
{
    const QString built = qEnvironmentVariable("WEATHER_APP_FOLDER") + QStringLiteral("/RORizedivo");
    if (!QFile::exists(built))
        QSKIP("the executable is not built");
    QVERIFY(QFile::copy(built, folder() + QStringLiteral("RORizedivo")));
    touch(QStringLiteral("qivwtv61.txt"));
    // The first copy's own refresh finds no feed server and ends quickly.
    QVERIFY(WeatherStore::createStoreFile(folder() + QStringLiteral("wt.dar")));
    pointFeedsAt(folder() + QStringLiteral("wt.dar"), QStringLiteral("http://127.0.0.1:%1").arg(unusedLoopbackPort()));

    QProcess first;
    first.setWorkingDirectory(m_dir->path());
    first.start(folder() + QStringLiteral("RORizedivo"), {});
    QVERIFY(first.waitForStarted());
    // Wait until the first copy has stopped writing its store.
    const auto modified = [this] { return QFileInfo(folder() + QStringLiteral("wt.dar")).lastModified(); };
    QDateTime stored = modified();
    for (int quiet = 0, round = 0; quiet < 3 && round < 100; ++round) {
        QTest::qWait(300);
        const QDateTime now = modified();
        quiet = now == stored ? quiet + 1 : 0;
        stored = now;
    }

    QProcess second;
    second.start(folder() + QStringLiteral("RORizedivo"), {});
    QVERIFY(second.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += second.readAllStandardError()).contains("Application already in used."), 10000);
    // Its message box waits for the user; a termination request ends it.
    second.terminate();
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 1);

    QCOMPARE(QFileInfo(folder() + QStringLiteral("wt.dar")).lastModified(), stored);
    QCOMPARE(first.state(), QProcess::Running);
    first.terminate();
    QVERIFY(first.waitForFinished(10000));
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.exitCode(), 0);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
