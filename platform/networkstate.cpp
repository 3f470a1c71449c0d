#include "platform/networkstate.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>

bool routeTableHasDefaultRoute(const QByteArray &procNetRoute)
{
    constexpr uint RouteUp = 0x1; // RTF_UP
    const QList<QByteArray> lines = procNetRoute.split('\n');
    // The first line names the columns: Iface Destination Gateway Flags ... Mask ...
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 8)
            continue;
        bool flagsOk = false;
        const uint flags = fields.at(3).toUInt(&flagsOk, 16);
        if (fields.at(1) == "00000000" && fields.at(7) == "00000000" && flagsOk
            && (flags & RouteUp))
            return true;
    }
    return false;
}

bool machineIsOnline()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsLoopBack) && flags.testFlag(QNetworkInterface::IsUp)
            && flags.testFlag(QNetworkInterface::IsRunning) && !interface.addressEntries().isEmpty())
            return true;
    }

    QFile routes(QStringLiteral("/proc/net/route"));
    if (routes.open(QIODevice::ReadOnly))
        return routeTableHasDefaultRoute(routes.readAll());

    // Nothing could be looked at: say online and let the fetch find out.
    return interfaces.isEmpty();
}


bool loopbackPortListening(quint16 port, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    const bool connected = socket.waitForConnected(timeoutMs);
    socket.abort();
    return connected;
}

FeedServiceState feedServiceState(quint16 port, int timeoutMs)
{
    // One check at a time: a second one asked from within the wait (a timer
    // of the window) takes the word of the first.
    static bool checking = false;
    if (checking)
        return FeedServiceState::Serving;
    checking = true;

    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    QEventLoop loop;
    QTimer deadline;
    QByteArray answer;
    bool connected = false;
    bool done = false;
    const auto finish = [&] {
        done = true;
        loop.quit();
    };
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] {
        connected = true;
        socket.write("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    });
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
        answer += socket.read(256 - answer.size());
        // "HTTP/1.1 503 ..." - the status is all that is needed.
        if (answer.size() >= 12 || answer.contains('\n'))
            finish();
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, finish);
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, finish);
    deadline.start(timeoutMs);
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    socket.abort();
    checking = false;

    if (!connected)
        return FeedServiceState::NotListening;
    const QList<QByteArray> statusLine = answer.split(' ');
    if (statusLine.size() >= 2 && statusLine.at(0).startsWith("HTTP/") && statusLine.at(1) == "503")
        return FeedServiceState::NothingToServe;
    return FeedServiceState::Serving;
}

bool boardIsOnline(quint16 feedPort)
{
    switch (feedServiceState(feedPort)) {
    case FeedServiceState::Serving:
        return true;
    case FeedServiceState::NothingToServe:
        return false;
    case FeedServiceState::NotListening:
        break;
    }
    return machineIsOnline();
}
