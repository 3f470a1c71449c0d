// A stand-in for the board's process in the signal tests:
//   signalchild responsive     closes when a termination request arrives
//   signalchild stuck          its main thread never returns to the event loop
//   signalchild stuck-after    takes the request, then never returns
//   signalchild stuck-at-end   takes the request and leaves its event loop,
//                              but never gets to the end of the process (as
//                              an exit that waits for a worker would)
//   signalchild ignores        takes every request and goes on running
//   signalchild waits-for-line takes the request, then closes once a line
//                              arrives on its standard input
#include "platform/signalwatcher.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? argv[1] : "responsive";
    {
        SignalWatcher watcher;
        QObject::connect(&watcher, &SignalWatcher::terminationRequested, &app, [&] {
            std::puts("taken");
            std::fflush(stdout);
            while (mode == "stuck-after")
                ::sleep(60);
            if (mode == "waits-for-line") {
                char line[8];
                std::fgets(line, sizeof line, stdin);
            }
            if (mode != "ignores")
                QCoreApplication::quit();
        });
        std::puts("ready");
        std::fflush(stdout);
        while (mode == "stuck")
            ::sleep(60);
        app.exec();
    }
    while (mode == "stuck-at-end")
        ::sleep(60);
    return 0;
}
