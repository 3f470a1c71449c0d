#include "fakexdg.h"
#include "links/modulerorizedivo.h"
#include "links/processlauncher.h"

#include <QtTest>

// Starts a real (fake) browser through the default launcher and checks what
// reached it: the address as one untouched argument, with no shell between.
class TestBrowserLaunch : public QObject
{
    Q_OBJECT

private slots:
    void browserGetsTheAddressAsItsOnlyArgument_data();
    void browserGetsTheAddressAsItsOnlyArgument();
};

void TestBrowserLaunch::browserGetsTheAddressAsItsOnlyArgument_data()
{
    QTest::addColumn<QString>("address");

    QTest::newRow("map address") << "http://maps.google.com/maps?f=q&hl=ar&q=%D8%A7%D9%84%D8%B1%D9%8A%D8%A7%D8%B6";
    QTest::newRow("blanks, quotes, semicolons")
        << R"(http://example.invalid/a b?q="x y";touch '{root}/shell-ran' & echo $(touch {root}/shell-ran) `id`)";
    QTest::newRow("Arabic text") << QStringLiteral("http://example.invalid/\u0627\u0644\u0631\u064A\u0627\u0636");
    QTest::newRow("empty") << "";
}

void TestBrowserLaunch::browserGetsTheAddressAsItsOnlyArgument()
{
    QFETCH(QString, address);

    FakeXdg xdg;
    QVERIFY(xdg.isValid());
    address = xdg.resolve(address);

    // The fake browser writes the number of its arguments and then each
    // argument, every one ended by a NUL byte, and renames the file when done
    // so that the test never reads half of it.
    QVERIFY(xdg.write(QStringLiteral("Web Browser/browser"),
                      QStringLiteral("#!/bin/sh\n"
                                     "{ printf '%s\\0' \"$#\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; }"
                                     " > \"{root}/args.part\"\n"
                                     "mv \"{root}/args.part\" \"{root}/args\"\n"),
                      true));
    QVERIFY(xdg.write(QStringLiteral("home/.config/mimeapps.list"), FakeXdg::defaultHandlers("browser.desktop")));
    QVERIFY(xdg.write(QStringLiteral("home/.local/share/applications/browser.desktop"),
                      FakeXdg::desktopEntry(R"(Exec="{root}/Web Browser/browser" --new-window %u)")));

    DetachedProcessLauncher launcher;
    ModuleRORizedivo::OpenInBrowser(address, launcher, xdg.environment());

    const QString argsPath = xdg.root() + QStringLiteral("/args");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(argsPath), 15000);

    QFile args(argsPath);
    QVERIFY(args.open(QIODevice::ReadOnly));
    const QList<QByteArray> recorded = args.readAll().split('\0');
    // count, the address, and the empty rest after the last NUL
    QCOMPARE(recorded.size(), 3);
    QCOMPARE(recorded.at(0), QByteArray("1"));
    QCOMPARE(QString::fromUtf8(recorded.at(1)), address);
    QVERIFY(!QFileInfo::exists(xdg.root() + QStringLiteral("/shell-ran")));
}

QTEST_GUILESS_MAIN(TestBrowserLaunch)
#include "tst_browserlaunch.moc"
