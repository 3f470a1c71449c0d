#include "fakexdg.h"
#include "links/browsercommand.h"
#include "links/modulerorizedivo.h"
#include "links/processlauncher.h"

#include <QtTest>

namespace {

const QString kUserList = QStringLiteral("home/.config/mimeapps.list");
const QString kSystemList = QStringLiteral("etc/xdg/mimeapps.list");
const QString kUserApps = QStringLiteral("home/.local/share/applications/");
const QString kSystemApps = QStringLiteral("usr/share/applications/");

QString entry(const QString &execLine)
{
    return FakeXdg::desktopEntry(execLine);
}

QString handlers(const QString &ids)
{
    return FakeXdg::defaultHandlers(ids);
}

// Files to write (path, contents, path, contents, ...); those in a folder
// whose name ends in "bin" are made executable. Environment entries are "NAME=value" and override or add to
// the fake desktop's environment.
void prepare(const FakeXdg &xdg, const QStringList &files, const QStringList &environment, QProcessEnvironment &result)
{
    for (qsizetype i = 0; i + 1 < files.size(); i += 2)
        QVERIFY(xdg.write(files.at(i), files.at(i + 1), QFileInfo(files.at(i)).path().endsWith(QLatin1String("bin"))));
    result = xdg.environment();
    for (const QString &variable : environment) {
        const qsizetype equals = variable.indexOf(QLatin1Char('='));
        result.insert(variable.left(equals), xdg.resolve(variable.mid(equals + 1)));
    }
}

struct RecordingLauncher : ProcessLauncher
{
    QList<QPair<QString, QStringList>> starts;
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        starts.append({program, arguments});
        return true;
    }
};

} // namespace

class TestBrowserLookup : public QObject
{
    Q_OBJECT

private slots:
    void programPath_data();
    void programPath();
    void lookup_data();
    void lookup();
    void openInBrowser_data();
    void openInBrowser();
};

// The shapes a real handler command takes are checked through the lookup
// below; these are the odd ones.
void TestBrowserLookup::programPath_data()
{
    // clang-format off
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("program");

    QTest::newRow("quoted path, unquoted arguments")
        << R"("C:\Program Files\Browser\browser.exe" -- %1)" << R"(C:\Program Files\Browser\browser.exe)";
    QTest::newRow("quoted path alone") << R"("/opt/Web Browser/browser")" << "/opt/Web Browser/browser";
    QTest::newRow("unquoted, quotes later on") << R"(browser "%u")" << "browser";
    QTest::newRow("program name only") << "firefox" << "firefox";
    QTest::newRow("unterminated quote") << R"("/opt/browser %u)" << "";
    QTest::newRow("empty quotes") << R"("" %u)" << "";
    QTest::newRow("leading blank") << " firefox %u" << "";
    QTest::newRow("tab is not a blank") << "firefox\t%u" << "firefox\t%u";
    QTest::newRow("empty") << "" << "";
    // clang-format on
}

void TestBrowserLookup::programPath()
{
    QFETCH(QString, command);
    QFETCH(QString, program);
    QCOMPARE(extractProgramPath(command), program);
}

void TestBrowserLookup::lookup_data()
{
    // clang-format off
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("program");

    const QString userBrowser = kUserApps + QStringLiteral("browser.desktop");
    const QString userDefault = handlers("browser.desktop;");

    // The shapes of handler command, from the user's own default.
    QTest::newRow("quoted path with arguments")
        << QStringList{kUserList, userDefault, userBrowser, entry(R"(Exec="/opt/Web Browser/browser" --new-window %u)")}
        << QStringList{} << R"("/opt/Web Browser/browser" --new-window %u)" << "/opt/Web Browser/browser";
    QTest::newRow("unquoted path")
        << QStringList{kUserList, userDefault, userBrowser, entry("Exec=/usr/bin/firefox-esr %u")}
        << QStringList{} << "/usr/bin/firefox-esr %u" << "/usr/bin/firefox-esr";
    QTest::newRow("unquoted path with a blank")
        << QStringList{kUserList, userDefault, userBrowser, entry("Exec=/opt/Web Browser/browser %u")}
        << QStringList{} << "/opt/Web Browser/browser %u" << "/opt/Web";
    QTest::newRow("quoted placeholder")
        << QStringList{kUserList, userDefault, userBrowser, entry(R"(Exec="/opt/browser/browser" --url "%u")")}
        << QStringList{} << R"("/opt/browser/browser" --url "%u")" << "/opt/browser/browser";
    QTest::newRow("no blank")
        << QStringList{kUserList, userDefault, userBrowser, entry("Exec=/usr/bin/surf")}
        << QStringList{} << "/usr/bin/surf" << "/usr/bin/surf";
    QTest::newRow("escaped blank and backslash")
        << QStringList{kUserList, userDefault, userBrowser, entry(R"(Exec = "/opt/Web\sBrowser/b\\in" %u)")}
        << QStringList{} << R"("/opt/Web Browser/b\in" %u)" << R"(/opt/Web Browser/b\in)";

    // Which default wins.
    const QStringList bothInstalled{kSystemApps + "a.desktop", entry("Exec=/usr/bin/a %u"),
                                    kSystemApps + "b.desktop", entry("Exec=/usr/bin/b %u")};
    QTest::newRow("user config before system config")
        << (QStringList{kUserList, handlers("a.desktop"), kSystemList, handlers("b.desktop")} + bothInstalled)
        << QStringList{} << "/usr/bin/a %u" << "/usr/bin/a";
    QTest::newRow("system config before application dirs")
        << (QStringList{kSystemList, handlers("b.desktop"), kSystemApps + "mimeapps.list", handlers("a.desktop")}
            + bothInstalled)
        << QStringList{} << "/usr/bin/b %u" << "/usr/bin/b";
    QTest::newRow("XDG_CONFIG_HOME replaces ~/.config")
        << (QStringList{kUserList, handlers("a.desktop"), "config/mimeapps.list", handlers("b.desktop")} + bothInstalled)
        << QStringList{"XDG_CONFIG_HOME={root}/config"} << "/usr/bin/b %u" << "/usr/bin/b";
    QTest::newRow("relative XDG_CONFIG_HOME is ignored")
        << (QStringList{kUserList, handlers("a.desktop"), "config/mimeapps.list", handlers("b.desktop")} + bothInstalled)
        << QStringList{"XDG_CONFIG_HOME=config"} << "/usr/bin/a %u" << "/usr/bin/a";
    QTest::newRow("desktop's own list first")
        << (QStringList{kUserList, handlers("a.desktop"), "home/.config/gnome-mimeapps.list", handlers("b.desktop")}
            + bothInstalled)
        << QStringList{"XDG_CURRENT_DESKTOP=ubuntu:GNOME"} << "/usr/bin/b %u" << "/usr/bin/b";
    QTest::newRow("handler not installed: next in the list")
        << (QStringList{kUserList, handlers("missing.desktop; b.desktop;a.desktop")} + bothInstalled)
        << QStringList{} << "/usr/bin/b %u" << "/usr/bin/b";
    QTest::newRow("handler not installed: next list")
        << (QStringList{kUserList, handlers("missing.desktop"), kSystemApps + "mimeapps.list", handlers("a.desktop")}
            + bothInstalled)
        << QStringList{} << "/usr/bin/a %u" << "/usr/bin/a";
    QTest::newRow("user's desktop file shadows the system's")
        << (QStringList{kUserList, handlers("a.desktop"), kUserApps + "a.desktop", entry("Exec=/home/bin/a %u")}
            + bothInstalled)
        << QStringList{} << "/home/bin/a %u" << "/home/bin/a";
    QTest::newRow("user hid the handler")
        << (QStringList{kUserList, handlers("a.desktop;b.desktop"), kUserApps + "a.desktop",
                        entry("Exec=/usr/bin/a %u\nHidden=true")}
            + bothInstalled)
        << QStringList{} << "/usr/bin/b %u" << "/usr/bin/b";
    QTest::newRow("XDG_DATA_HOME replaces ~/.local/share")
        << QStringList{kUserList, handlers("a.desktop"), "data/applications/a.desktop", entry("Exec=/data/a %u"),
                       kUserApps + "a.desktop", entry("Exec=/home/a %u")}
        << QStringList{"XDG_DATA_HOME={root}/data"} << "/data/a %u" << "/data/a";
    QTest::newRow("desktop file ID with a subdirectory")
        << QStringList{kUserList, handlers("kde4-konq-browser.desktop"), kSystemApps + "kde4/konq-browser.desktop",
                       entry("Exec=/usr/bin/konq %u")}
        << QStringList{} << "/usr/bin/konq %u" << "/usr/bin/konq";
    QTest::newRow("Exec of the entry, not of an action")
        << QStringList{kUserList, handlers("a.desktop"), kSystemApps + "a.desktop",
                       "[Desktop Action new-window]\nExec=/usr/bin/a --new-window\n\n" + entry("Exec=/usr/bin/a %u")}
        << QStringList{} << "/usr/bin/a %u" << "/usr/bin/a";
    QTest::newRow("https default and added associations do not count")
        << (QStringList{kUserList,
                        "[Default Applications]\nx-scheme-handler/https=a.desktop\n"
                        "[Added Associations]\nx-scheme-handler/http=a.desktop;\n"}
            + bothInstalled)
        << QStringList{} << "" << "";

    // Fallbacks when no default is registered.
    QTest::newRow("no handler at all") << QStringList{} << QStringList{} << "" << "";
    QTest::newRow("$BROWSER") << QStringList{} << QStringList{"BROWSER=/usr/bin/w3m:lynx"} << "/usr/bin/w3m"
                              << "/usr/bin/w3m";
    QTest::newRow("$BROWSER with arguments")
        << QStringList{} << QStringList{"BROWSER=lynx -accept_all_cookies %s"} << "lynx -accept_all_cookies %s"
        << "lynx";
    QTest::newRow("registered default before $BROWSER")
        << (QStringList{kUserList, handlers("a.desktop")} + bothInstalled) << QStringList{"BROWSER=lynx"}
        << "/usr/bin/a %u" << "/usr/bin/a";
    QTest::newRow("x-www-browser on PATH")
        << QStringList{"bin/x-www-browser", "#!/bin/sh\n"} << QStringList{} << "{root}/bin/x-www-browser"
        << "{root}/bin/x-www-browser";
    QTest::newRow("x-www-browser in a folder with a blank")
        << QStringList{"my bin/x-www-browser", "#!/bin/sh\n"} << QStringList{"PATH={root}/bin:{root}/my bin"}
        << "\"{root}/my bin/x-www-browser\"" << "{root}/my bin/x-www-browser";
    QTest::newRow("$BROWSER before x-www-browser")
        << QStringList{"bin/x-www-browser", "#!/bin/sh\n"} << QStringList{"BROWSER=lynx"} << "lynx" << "lynx";
    // clang-format on
}

void TestBrowserLookup::lookup()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, environment);
    QFETCH(QString, command);
    QFETCH(QString, program);

    FakeXdg xdg;
    QVERIFY(xdg.isValid());
    QProcessEnvironment env;
    prepare(xdg, files, environment, env);
    if (QTest::currentTestFailed())
        return;

    const QString found = defaultBrowserCommand(env);
    QCOMPARE(found, xdg.resolve(command));
    QCOMPARE(extractProgramPath(found), xdg.resolve(program));
}

void TestBrowserLookup::openInBrowser_data()
{
    // clang-format off
    QTest::addColumn<QString>("execLine"); // empty: no browser registered
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("program"); // empty: nothing is started
    QTest::addColumn<QStringList>("arguments");

    const QString mapAddress = QStringLiteral("http://maps.google.com/maps?f=q&hl=ar&q=Riyadh");
    const QStringList alone{mapAddress};
    QTest::newRow("map address")
        << R"(Exec="/opt/Web Browser/browser" --new-window %u)" << mapAddress << "/opt/Web Browser/browser" << alone;
    QTest::newRow("empty address is still passed") << "Exec=/usr/bin/firefox-esr %u" << "" << "/usr/bin/firefox-esr"
                                                   << QStringList{QString()};
    QTest::newRow("no browser registered") << "" << mapAddress << "" << QStringList{};
    QTest::newRow("no program in the command") << R"(Exec="/opt/browser %u)" << mapAddress << "" << QStringList{};
    QTest::newRow("bare program") << "Exec=/usr/bin/surf" << mapAddress << "/usr/bin/surf" << alone;

    // The wrappers of today's desktops.
    QTest::newRow("snap through env")
        << "Exec=env BAMF_DESKTOP_FILE_HINT=/var/lib/snapd/desktop/applications/firefox_firefox.desktop /snap/bin/firefox %u"
        << mapAddress << "/snap/bin/firefox" << alone;
    QTest::newRow("env with arguments of its own")
        << "Exec=/usr/bin/env MOZ_ENABLE_WAYLAND=1 GDK_BACKEND=wayland firefox --private-window %u"
        << mapAddress << "firefox" << QStringList{"--private-window", mapAddress};
    QTest::newRow("env, quoted path with spaces")
        << R"(Exec=env A=1 "/opt/Web Browser/browser" %U)" << mapAddress << "/opt/Web Browser/browser" << alone;
    QTest::newRow("env, escaped quote in a quoted argument")
        << R"(Exec=env A=1 browser "--title=say \"hi\"" %u)" << mapAddress << "browser"
        << QStringList{R"(--title=say "hi")", mapAddress};
    QTest::newRow("env without a field code") << "Exec=env A=1 /usr/bin/browser" << mapAddress << "/usr/bin/browser" << alone;
    QTest::newRow("env and nothing else") << "Exec=env A=1" << mapAddress << "" << QStringList{};
    QTest::newRow("flatpak")
        << "Exec=/usr/bin/flatpak run --branch=stable --arch=x86_64 --command=firefox --file-forwarding "
           "org.mozilla.firefox @@u %u @@"
        << mapAddress << "/usr/bin/flatpak"
        << QStringList{"run", "--branch=stable", "--arch=x86_64", "--command=firefox", "--file-forwarding",
                       "org.mozilla.firefox", mapAddress};
    QTest::newRow("flatpak with an icon field code")
        << "Exec=flatpak run org.chromium.Chromium %i %U" << mapAddress << "flatpak"
        << QStringList{"run", "org.chromium.Chromium", mapAddress};
    // clang-format on
}

void TestBrowserLookup::openInBrowser()
{
    QFETCH(QString, execLine);
    QFETCH(QString, address);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);

    FakeXdg xdg;
    QVERIFY(xdg.isValid());
    if (!execLine.isEmpty()) {
        QVERIFY(xdg.write(kUserList, handlers("browser.desktop")));
        QVERIFY(xdg.write(kUserApps + "browser.desktop", entry(execLine)));
    }

    RecordingLauncher launcher;
    ModuleRORizedivo::OpenInBrowser(address, launcher, xdg.environment());

    if (program.isEmpty()) {
        QVERIFY(launcher.starts.isEmpty());
    } else {
        QCOMPARE(launcher.starts.size(), 1);
        QCOMPARE(launcher.starts.at(0).first, program);
        QCOMPARE(launcher.starts.at(0).second, arguments);
    }
}

QTEST_GUILESS_MAIN(TestBrowserLookup)
#include "tst_browserlookup.moc"
