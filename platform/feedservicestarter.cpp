#include "platform/feedservicestarter.h"

#include "platform/logging.h"
#include "platform/networkstate.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {

// Whether anything listens on the port, from the kernel's word alone: no
// connection is made to a listener the board has not judged.
bool anyListener(quint16 port)
{
    return portHolders(QHostAddress(QHostAddress::LocalHost), port).verdict() != ListenerVerdict::Nobody;
}

} // namespace

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
    if ((m_process && m_process->state() != QProcess::NotRunning) || !program.isFile() || !program.isExecutable()
        || anyListener(m_port))
        return false;

    auto process = std::make_unique<QProcess>();
    process->setProgram(m_program);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_LINUX
    // A board that is killed takes its service along.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    qCInfo(lcPlatform, "nothing listens on 127.0.0.1:%u: starting %s", m_port, qPrintable(m_program));
    process->start();
    if (!process->waitForStarted(5000)) {
        qCWarning(lcPlatform, "%s could not be started: %s", qPrintable(m_program), qPrintable(process->errorString()));
        return false;
    }
    // The refresh that asked goes on at once; it must find the service
    // listening, or its rows wait for the next refresh.
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (process->state() != QProcess::Running || anyListener(m_port) || waited.elapsed() > 5000)
            loop.quit();
    });
    poll.start(50);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_process = std::move(process);
    return true;
}
