#include "app/frmWeatherMain.h"
#include "platform/feedservicestarter.h"
#include "platform/signalwatcher.h"
#include "store/weatherstore.h"

#include <QApplication>
#include <QUrl>

int main(int argc, char *argv[])
{
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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf16(ApplicationTitle));
    // Lets the desktop match the window with its menu entry and icon.
    QApplication::setDesktopFileName(QStringLiteral("org.example.rorizedivo"));

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
    // Where no systemd socket answers for the feed service, the service
    // installed beside the board runs as long as the board does.
    FeedServiceStarter feedService(QCoreApplication::applicationDirPath(), feedEndpoint.port(80));
    feedService.startIfNeeded();
    window.show();
    if (window.isUnloaded())
        return 0;
    return app.exec();
}
