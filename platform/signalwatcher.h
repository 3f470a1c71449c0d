#pragma once

#include <QObject>

#include <thread>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered by the event
// loop, so the board closes its window the normal way and its unload steps run.
//
// A process that is stuck (a step that never returns, an exit that waits for
// something that never ends) never gets that far. From the first termination
// request on, a watchdog thread therefore gives the process GraceMs to end,
// whatever it does meanwhile: taking the request does not stand it down, the
// end of the watcher does not either (the process may still be unloading
// behind it), and further requests do not put the deadline off. When the
// process has not ended by then, it ends at once by the first signal's
// default action, with the exit status that signal gives, and without the
// unload steps. Every stored row is committed by then.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int GraceMs = 3000;

    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
    std::thread m_watchdog;
};
