// Where the board keeps its files: beside a writable executable, or in the
// user's own folder with links to the installed read-only files.
#include "platform/appfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

int fileMode(const QString &path)
{
    struct stat status
    { };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

} // namespace

class TestAppFolder : public QObject
{
    Q_OBJECT

private slots:
    void resolve_data();
    void resolve();
    void preparePerUserFolder();
    void portableFolderIsLeftAlone();
};

void TestAppFolder::resolve_data()
{
    // clang-format off
    QTest::addColumn<QString>("executableFolder");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("xdgDataHome");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("dataFolder");

    const QString home = QStringLiteral("/home/amal/.local/share/rorizedivo");
    QTest::newRow("portable folder") << "/opt/board" << true << false << "" << "/opt/board" << "/opt/board";
    QTest::newRow("portable folder ignores XDG_DATA_HOME")
        << "/opt/board/" << true << false << "/data" << "/opt/board" << "/opt/board";
    QTest::newRow("installed") << "/usr/bin" << false << true << "" << home << "/usr/share/rorizedivo";
    QTest::newRow("installed, run by root who may write /usr/bin")
        << "/usr/bin" << true << true << "" << home << "/usr/share/rorizedivo";
    QTest::newRow("installed, XDG_DATA_HOME set")
        << "/usr/bin" << false << true << "/data/amal" << "/data/amal/rorizedivo" << "/usr/share/rorizedivo";
    QTest::newRow("relative XDG_DATA_HOME is ignored")
        << "/usr/bin" << false << true << "data" << home << "/usr/share/rorizedivo";
    QTest::newRow("package unpacked anywhere")
        << "/tmp/x/usr/bin/" << true << true << "" << home << "/tmp/x/usr/share/rorizedivo";
    QTest::newRow("read-only portable folder")
        << "/media/cd/board" << false << false << "" << home << "/media/cd/board";
    // clang-format on
}

void TestAppFolder::resolve()
{
    QFETCH(QString, executableFolder);
    QFETCH(bool, writable);
    QFETCH(bool, installed);
    QFETCH(QString, xdgDataHome);
    QFETCH(QString, path);
    QFETCH(QString, dataFolder);

    ApplicationFolder::Inputs inputs;
    inputs.executableFolder = executableFolder;
    inputs.executableFolderWritable = writable;
    inputs.installedDataPresent = installed;
    inputs.xdgDataHome = xdgDataHome;
    inputs.home = QStringLiteral("/home/amal");
    const ApplicationFolder folder = ApplicationFolder::resolve(inputs);
    QCOMPARE(folder.path, path);
    QCOMPARE(folder.dataFolder, dataFolder);
    QCOMPARE(folder.isPerUser(), path != dataFolder);
}

void TestAppFolder::preparePerUserFolder()
{
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("usr/share/rorizedivo"));
    QVERIFY(QDir().mkpath(data + QStringLiteral("/wtIMG")));
    for (const char *name : {"rain.wav", "thunder.wav", "H_POINT.CUR", "wtIMG/JED.tmg", "wtIMG/RUH.tmg"}) {
        QFile file(data + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(name);
    }
    ApplicationFolder folder;
    folder.path = dir.filePath(QStringLiteral("home/.local/share/rorizedivo"));
    folder.dataFolder = data;
    const QString own = folder.path + QLatin1Char('/');

    // The user's own sound stays; a link into a package that moved away
    // is pointed at this one.
    QVERIFY(QDir().mkpath(own + QStringLiteral("wtIMG")));
    QFile mine(own + QStringLiteral("rain.wav"));
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("mine");
    mine.close();
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone/JED.tmg")), own + QStringLiteral("wtIMG/JED.tmg")));
    // An older board left its folder and store open to every account.
    QFile store(own + QStringLiteral("wt.dar"));
    QVERIFY(store.open(QIODevice::WriteOnly));
    store.close();
    const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    QVERIFY(store.setPermissions(store.permissions() | others));
    QVERIFY(QFile::setPermissions(own, QFileInfo(own).permissions() | others));

    for (int start = 0; start < 2; ++start) {
        QVERIFY(folder.prepare());
        QCOMPARE(QFileInfo(own + QStringLiteral("rain.wav")).size(), qint64(4));
        QVERIFY(!QFileInfo(own + QStringLiteral("rain.wav")).isSymLink());
        for (const char *name : {"thunder.wav", "H_POINT.CUR", "wtIMG/JED.tmg", "wtIMG/RUH.tmg"}) {
            const QFileInfo link(own + QLatin1String(name));
            QVERIFY2(link.isSymLink(), name);
            QCOMPARE(link.symLinkTarget(), data + QLatin1Char('/') + QLatin1String(name));
        }
        QCOMPARE(fileMode(own), 0700);
        QCOMPARE(fileMode(store.fileName()), 0600);
    }
    QCOMPARE(QDir(own).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList({"H_POINT.CUR", "rain.wav", "thunder.wav", "wt.dar", "wtIMG"}));
}

void TestAppFolder::portableFolderIsLeftAlone()
{
    QTemporaryDir dir;
    const ApplicationFolder folder{dir.path(), dir.path()};
    QVERIFY(folder.prepare());
    QVERIFY(QDir(dir.path()).isEmpty());
    const ApplicationFolder missing{dir.filePath(QStringLiteral("no")), dir.filePath(QStringLiteral("no"))};
    QVERIFY(!missing.prepare());
    QVERIFY(QDir(dir.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestAppFolder)
#include "tst_appfolder.moc"
