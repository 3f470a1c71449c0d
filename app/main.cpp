#include "app/frmWeatherMain.h"
#include "platform/boardlanguage.h"
#include "platform/journallog.h"
#include "platform/signalwatcher.h"
#include "store/weatherstore.h"

#include <QApplication>
#include <QLocale>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

constexpr char Usage[] = "Usage: rorizedivo [--help | --version]\n"
                         "A weather board in Arabic or English for 24 cities of Saudi Arabia, in the desktop's\n"
                         "language (LANGUAGE=ar rorizedivo: Arabic on any desktop). It reads its feeds from the\n"
                         "local service rorizedivo-forecastd on 127.0.0.1:8619 and keeps them in wt.dar in its\n"
                         "application folder ($XDG_DATA_HOME/rorizedivo/ when installed).\n"
                         "\n"
                         "  -h, --help     print this and exit\n"
                         "  -v, --version  print the version and exit\n"
                         "\n"
                         "Qt's own options (-platform, -display, ...) are taken as well.\n"
                         "Weather data by Open-Meteo.com (CC BY 4.0).\n";

// The exit status of a command line the board does not take, or of a board
// that has no display to show itself on.
constexpr int UsageExitStatus = 2;

// The options Qt's application, its platforms (X11, Wayland) and its styles
// take themselves, with one dash or two; those that take the next argument
// as their value first.
const char *const QtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry", "geometry", "qwindowtitle",
    "title",    "qwindowicon",        "icon",          "display", "session",         "style",    "stylesheet",
    "name"};
const char *const QtFlags[] = {"reverse", "sync", "nograb", "dograb", "widgetcount", "testability"};

// The argument without its one or two leading dashes, when it has them.
const char *optionName(const char *argument)
{
    if (argument[0] != '-' || argument[1] == '\0')
        return nullptr;
    return argument[1] == '-' ? argument + 2 : argument + 1;
}

bool isOneOf(const char *name, const char *const *names, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (std::strcmp(name, names[i]) == 0)
            return true;
    }
    return false;
}

// Asked for help or its version, the board answers on standard output and
// ends, before it needs a display; so does a command line it does not take,
// on standard error.
bool answeredWithoutWindow(int argc, char *argv[], int *exitCode)
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        const char *name = optionName(argument);
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            std::fputs(Usage, stdout);
        } else if (std::strcmp(argument, "--version") == 0 || std::strcmp(argument, "-v") == 0) {
            std::printf("rorizedivo %s\n", RORIZEDIVO_VERSION);
        } else if (name && isOneOf(name, QtOptionsWithValue, std::size(QtOptionsWithValue)) && i + 1 < argc) {
            ++i;
            continue;
        } else if (name
                   && (isOneOf(name, QtFlags, std::size(QtFlags)) || std::strncmp(name, "qmljsdebugger=", 14) == 0
                       || std::strncmp(name, "style=", 6) == 0)) {
            continue;
        } else {
            std::fprintf(stderr, "rorizedivo: %s: %s\nTry 'rorizedivo --help'.\n",
                         name ? "unknown option" : "unexpected argument", argument);
            *exitCode = UsageExitStatus;
            return true;
        }
        *exitCode = 0;
        return true;
    }
    return false;
}

// Until the application stands, a fatal message can only be Qt's finding no
// platform to show the board on (no X server, no Wayland compositor): say so
// and end with a status, rather than with an abort and a core dump.
QtMessageHandler handlerBeforeStart = nullptr;

void failWithoutDisplay(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        handlerBeforeStart(type, context, message);
        return;
    }
    handlerBeforeStart(QtCriticalMsg, context, message);
    std::fputs("rorizedivo: no display to show the board on (is DISPLAY or WAYLAND_DISPLAY set?)\n", stderr);
    std::fflush(stderr);
    std::_Exit(UsageExitStatus);
}

} // namespace

int main(int argc, char *argv[])
{
    // Lines with their priority for the journal, where it takes them.
    installJournalLogging();
    if (int exitCode = 0; answeredWithoutWindow(argc, argv, &exitCode))
        return exitCode;

    // In a Wayland session the board shows itself as an X11 window through
    // XWayland: there its strip can stand at the corner it asks for, and it
    // idles at less than half the processor time and the memory that Qt's
    // Wayland platform costs (README, "Wayland sessions"). Without an X
    // server it takes Wayland itself. The user's own choice stands.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    // Every ticker frame repaints the strip the frame before handed to the X
    // server. Through shared memory, Qt must then wait for a round trip before
    // it paints there again; a strip this small costs less sent through the
    // socket (a fifth less CPU while the board idles). The user's own
    // setting stands; other platforms do not read it.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    handlerBeforeStart = qInstallMessageHandler(failWithoutDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(handlerBeforeStart);
    QApplication::setApplicationName(QString::fromUtf16(ApplicationTitle));
    // Lets the desktop match the window with its menu entry and icon.
    QApplication::setDesktopFileName(QStringLiteral("org.example.rorizedivo"));
    // The desktop's language, once: Arabic, or English laid out left to right.
    setBoardLanguage(languageForDesktop(QLocale::system().uiLanguages()));

    const QUrl feedEndpoint(QString::fromUtf16(WeatherStore::FeedEndpoint));
    frmWeatherMain window(BoardServices::system(feedEndpoint));

    // A termination request closes the window the normal way, so the unload
    // steps run; a message box still open is closed first.
    SignalWatcher terminationWatcher;
    QObject::connect(&terminationWatcher, &SignalWatcher::terminationRequested, &window, [&window] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
        window.close();
        QApplication::quit();
    });

    if (!window.Form_Load())
        return window.endedWithError() ? 1 : 0;
    window.show();
    if (window.isUnloaded())
        return 0;
    return app.exec();
}
