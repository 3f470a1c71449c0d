#include "platform/feedservicestarter.h"

#include "platform/networkstate.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

FeedServiceStarter::FeedServiceStarter(const QString &executableFolder, quint16 port)
    : m_program(QDir(executableFolder).filePath(QString::fromUtf16(ProgramName)))
    , m_port(port)
{
}

FeedServiceStarter::~FeedServiceStarter()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

bool FeedServiceStarter::startIfNeeded()
{
    const QFileInfo program(m_program);
    if (m_process || !program.isFile() || !program.isExecutable() || loopbackPortListening(m_port))
        return false;

    auto process = std::make_unique<QProcess>();
    process->setProgram(m_program);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_LINUX
    // A board that is killed takes its service along.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    process->start();
    if (!process->waitForStarted(5000))
        return false;
    // The first refresh follows the start at once; it must find the service
    // listening, or every row stays empty until the next refresh.
    for (int round = 0; round < 100 && process->state() == QProcess::Running; ++round) {
        if (loopbackPortListening(m_port))
            break;
        QThread::msleep(50);
    }
    m_process = std::move(process);
    return true;
}
