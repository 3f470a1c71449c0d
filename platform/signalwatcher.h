#pragma once

#include <QObject>

#include <thread>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered by the event
// loop, so the board closes its window the normal way and its unload steps run.
//
// A thread that is stuck (a step that never returns) never gets to that
// signal. A watchdog thread therefore waits for the event loop to take each
// termination request; when it has not within GraceMs, the process ends at
// once by the signal's default action, with the exit status that signal
// gives, and without the unload steps. Every stored row is committed by then.
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
