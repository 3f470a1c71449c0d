#pragma once

#include <QString>

#include <memory>

class QProcess;

// Stands in for the feed service's systemd socket where there is none.
// With systemd the system socket listens on the service's port and starts
// the service at the first request. Without it nothing listens: the board
// then starts the service installed beside its own executable, at every
// refresh that finds nothing listening (a service that ended, or another
// board's that went with it, is replaced), and stops it when the board ends.
// A portable folder has no service beside the executable, so nothing is
// started there.
class FeedServiceStarter
{
public:
    static constexpr char16_t ProgramName[] = u"rorizedivo-forecastd";

    FeedServiceStarter(const QString &executableFolder, quint16 port);
    // Stops the service this board started.
    ~FeedServiceStarter();

    // Starts the service when it is there, none of this board's runs, and
    // nothing listens on the port, and waits a few seconds at most until it
    // listens; the wait runs the event loop, so the window goes on painting.
    // True when started.
    bool startIfNeeded();

private:
    QString m_program;
    quint16 m_port;
    std::unique_ptr<QProcess> m_process;
};
