#include "app/frmWeatherMain.h"
#include "platform/signalwatcher.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf16(ApplicationTitle));

    frmWeatherMain window(BoardServices::system());

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
