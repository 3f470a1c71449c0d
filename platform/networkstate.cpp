#include "platform/networkstate.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <QFile>
#include <QList>
#include <QNetworkInterface>

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

bool loopbackServiceListening(quint16 port, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    const bool listening = socket.waitForConnected(timeoutMs);
    socket.abort();
    return listening;
}
