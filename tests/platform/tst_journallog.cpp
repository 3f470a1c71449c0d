#include "platform/journallog.h"

#include <QTemporaryFile>
#include <QTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(QtMsgType)

class TestJournalLog : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void journalStream_data();
    void journalStream();
};

// `journalctl -p warning` sees warnings, critical lines and nothing else.
void TestJournalLog::lines_data()
{
    QTest::addColumn<QtMsgType>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("journal");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("debug") << QtDebugMsg << "forecastd: GET /health" << true
                           << QByteArray("<7>forecastd: GET /health\n");
    QTest::newRow("info") << QtInfoMsg << "serving" << true << QByteArray("<6>serving\n");
    QTest::newRow("warning") << QtWarningMsg << "upstream: 429" << true << QByteArray("<4>upstream: 429\n");
    QTest::newRow("critical") << QtCriticalMsg << "settings" << true << QByteArray("<3>settings\n");
    QTest::newRow("fatal") << QtFatalMsg << "gone" << true << QByteArray("<3>gone\n");
    QTest::newRow("each line of a long one") << QtWarningMsg << "a\nb" << true << QByteArray("<4>a\n<4>b\n");
    QTest::newRow("a terminal: as it is") << QtWarningMsg << "a\nb" << false << QByteArray("a\nb\n");
    QTest::newRow("Arabic") << QtInfoMsg << QStringLiteral(u"الرياض") << true
                            << QByteArray("<6>") + QStringLiteral(u"الرياض").toLocal8Bit() + '\n';
}

void TestJournalLog::lines()
{
    QFETCH(QtMsgType, type);
    QFETCH(QString, text);
    QFETCH(bool, journal);
    QFETCH(QByteArray, written);
    QCOMPARE(logLines(type, text, journal), written);
}

// JOURNAL_STREAM is compared with the file itself: a program whose standard
// error was sent elsewhere inherits the variable all the same.
void TestJournalLog::journalStream_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<bool>("journal");

    QTest::newRow("names the file") << "same" << true;
    QTest::newRow("another inode") << "other inode" << false;
    QTest::newRow("another device") << "other device" << false;
    QTest::newRow("unset") << "" << false;
    QTest::newRow("not device:inode") << "journal" << false;
}

void TestJournalLog::journalStream()
{
    QFETCH(QString, variable);
    QFETCH(bool, journal);

    QTemporaryFile file;
    QVERIFY(file.open());
    struct stat status
    { };
    QVERIFY(::fstat(file.handle(), &status) == 0);
    const qulonglong device = status.st_dev;
    const qulonglong inode = status.st_ino;
    QByteArray stream = variable.toLatin1();
    if (variable == QLatin1String("same"))
        stream = QByteArray::number(device) + ':' + QByteArray::number(inode);
    else if (variable == QLatin1String("other inode"))
        stream = QByteArray::number(device) + ':' + QByteArray::number(inode + 1);
    else if (variable == QLatin1String("other device"))
        stream = QByteArray::number(device + 1) + ':' + QByteArray::number(inode);
    QCOMPARE(isJournalStream(file.handle(), stream), journal);
}

QTEST_GUILESS_MAIN(TestJournalLog)
#include "tst_journallog.moc"
