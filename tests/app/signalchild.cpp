// A stand-in for the board's process in the signal tests:
//   signalchild responsive   closes when a termination request arrives
//   signalchild stuck        its main thread never returns to the event loop
//   signalchild stuck-after  takes the request, then never returns
#include "platform/signalwatcher.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? argv[1] : "responsive";
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &app, [&] {
        std::puts("taken");
        std::fflush(stdout);
        while (mode == "stuck-after")
            ::sleep(60);
        QCoreApplication::quit();
    });
    std::puts("ready");
    std::fflush(stdout);
    while (mode == "stuck")
        ::sleep(60);
    return app.exec();
}
