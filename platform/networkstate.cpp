#include "platform/networkstate.h"

#include "platform/kernelsockets.h"
#include "platform/logging.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool loopbackPortListening(quint16 port, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    const bool connected = socket.waitForConnected(timeoutMs);
    socket.abort();
    return connected;
}

namespace {

// What the kernel prints for an owner it cannot map into the reader's user
// namespace.
constexpr uint OverflowUid = 65534;

std::optional<QByteArray> readProcFile(const QString &path)
{
    QFile file(path);
    // A kernel without IPv6 has no table for it, and no IPv6 socket either.
    if (!file.exists() && path.endsWith(QLatin1String("tcp6")))
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// The listeners on the port among the sockets the kernel told of.
void addListeners(const QList<KernelSocket> &sockets, quint16 port, QList<PortListener> *found)
{
    for (const KernelSocket &socket : sockets) {
        if (socket.state == ListeningState && socket.port == port)
            found->append({socket.address, socket.v6Only, socket.owner, socket.inode});
    }
}

// Only the listening sockets on the port are asked for, of both families.
std::optional<QList<PortListener>> listenersFromDiagnostics(quint16 port)
{
    QList<PortListener> found;
    for (const quint8 family : {quint8(AF_INET), quint8(AF_INET6)}) {
        const std::optional<QList<KernelSocket>> sockets = askSocketDiagnostics(
            {family, 1u << ListeningState, port, 0});
        if (!sockets)
            return std::nullopt;
        addListeners(*sockets, port, &found);
    }
    return found;
}

ListenerSources &currentSources()
{
    static ListenerSources sources = systemListenerSources();
    return sources;
}

} // namespace

ListenerSources systemListenerSources()
{
    return {listenersFromDiagnostics, readProcFile};
}

void setListenerSources(const ListenerSources &sources)
{
    const ListenerSources system = systemListenerSources();
    currentSources() = {sources.diagnostics ? sources.diagnostics : system.diagnostics,
                        sources.readTable ? sources.readTable : system.readTable};
}

QList<PortListener> listenersInTables(const QByteArray &procNetTcp, const QByteArray &procNetTcp6, quint16 port)
{
    QList<PortListener> found;
    addListeners(socketsInTable(procNetTcp), port, &found);
    addListeners(socketsInTable(procNetTcp6), port, &found);
    return found;
}

bool takesConnectionsTo(const PortListener &listener, const QHostAddress &address)
{
    const bool toIPv4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    if (listener.address.protocol() == QAbstractSocket::IPv4Protocol)
        return toIPv4 && (listener.address == address || listener.address == QHostAddress(QHostAddress::AnyIPv4));
    if (toIPv4 && listener.v6Only)
        return false;
    if (listener.address == QHostAddress(QHostAddress::AnyIPv6))
        return true;
    return toIPv4 ? listener.address.isEqual(address, QHostAddress::ConvertV4MappedToIPv4)
                  : listener.address == address;
}

ListenerVerdict PortHolders::verdict(uint self) const
{
    if (!known)
        return ListenerVerdict::Unknown;
    if (listeners.isEmpty())
        return ListenerVerdict::Nobody;
    for (const PortListener &listener : listeners) {
        if (!isTrustedListenerOwner(listener.owner, self))
            return ListenerVerdict::Stranger;
    }
    return ListenerVerdict::Trusted;
}

ListenerVerdict PortHolders::verdict() const
{
    return verdict(uint(::getuid()));
}

uint PortHolders::stranger(uint self) const
{
    for (const PortListener &listener : listeners) {
        if (!isTrustedListenerOwner(listener.owner, self))
            return listener.owner;
    }
    return OverflowUid;
}

uint PortHolders::stranger() const
{
    return stranger(uint(::getuid()));
}

bool PortHolders::sameAs(const PortHolders &other) const
{
    if (!known || !other.known || listeners.size() != other.listeners.size())
        return false;
    for (const PortListener &listener : listeners) {
        if (std::none_of(other.listeners.begin(), other.listeners.end(),
                         [&listener](const PortListener &same) { return same.inode == listener.inode; }))
            return false;
    }
    return true;
}

PortHolders portHolders(const QHostAddress &address, quint16 port)
{
    const ListenerSources &sources = currentSources();
    std::optional<QList<PortListener>> listeners = sources.diagnostics(port);
    if (!listeners) {
        static bool toldTables = false;
        if (!std::exchange(toldTables, true))
            qCInfo(lcPlatform,
                   "the kernel's socket diagnostics cannot be asked who listens on a port: the board "
                   "reads /proc/net/tcp and /proc/net/tcp6 instead");
        const std::optional<QByteArray> tcp = sources.readTable(QStringLiteral("/proc/net/tcp"));
        const std::optional<QByteArray> tcp6 = sources.readTable(QStringLiteral("/proc/net/tcp6"));
        if (tcp && tcp6)
            listeners = listenersInTables(*tcp, *tcp6, port);
    }
    PortHolders holders;
    if (!listeners)
        return holders;
    holders.known = true;
    for (const PortListener &listener : std::as_const(*listeners)) {
        if (takesConnectionsTo(listener, address))
            holders.listeners.append(listener);
    }
    return holders;
}

bool isTrustedListenerOwner(uint owner, uint self)
{
    return owner != OverflowUid && (owner == 0 || owner == self);
}

FeedServiceState feedServiceState(quint16 port, int timeoutMs, uint *owner)
{
    // Nobody else's listener is ever connected to: it would learn that a
    // board is about, and could keep the connection to answer later.
    const QHostAddress loopback(QHostAddress::LocalHost);
    const PortHolders holders = portHolders(loopback, port);
    const auto judged = [owner](const PortHolders &seen) {
        switch (seen.verdict()) {
        case ListenerVerdict::Unknown:
            return FeedServiceState::OwnerUnknown;
        case ListenerVerdict::Stranger:
            if (owner)
                *owner = seen.stranger();
            return FeedServiceState::Untrusted;
        case ListenerVerdict::Nobody:
        case ListenerVerdict::Trusted:
            break;
        }
        // Trusted listeners, but other ones than when the check began: the
        // service was started or ended meanwhile. Asked again at the next check.
        return FeedServiceState::NotListening;
    };
    if (holders.verdict() != ListenerVerdict::Trusted)
        return judged(holders);

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
    std::optional<PortHolders> changed;
    bool done = false;
    const auto finish = [&] {
        done = true;
        loop.quit();
    };
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] {
        connected = true;
        // Judged again before a byte is sent: while the same listeners
        // held the port from before the connection was made until now, it
        // was one of them that took it.
        if (const PortHolders now = portHolders(loopback, port); !now.sameAs(holders)) {
            changed = now;
            return finish();
        }
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
    socket.connectToHost(loopback, port);
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    socket.abort();
    checking = false;

    if (!connected)
        return FeedServiceState::NotListening;
    if (changed)
        return judged(*changed);
    const QList<QByteArray> statusLine = answer.split(' ');
    if (statusLine.size() >= 2 && statusLine.at(0).startsWith("HTTP/") && statusLine.at(1) == "503")
        return FeedServiceState::NothingToServe;
    return FeedServiceState::Serving;
}

namespace {
OfflineCause offlineCause = OfflineCause::None;
} // namespace

OfflineCause lastOfflineCause()
{
    return offlineCause;
}

bool boardIsOnline(quint16 feedPort, const std::function<bool()> &startService)
{
    offlineCause = OfflineCause::ServiceNotRunning;
    uint owner = 0;
    FeedServiceState state = feedServiceState(feedPort, 500, &owner);
    if (state == FeedServiceState::NotListening && startService && startService())
        state = feedServiceState(feedPort, 500, &owner);
    // Said when it begins, not at every check of a refresh.
    static bool toldNothingListens = false;
    if (state != FeedServiceState::NotListening)
        toldNothingListens = false;
    switch (state) {
    case FeedServiceState::NotListening:
        if (!std::exchange(toldNothingListens, true))
            qCInfo(lcPlatform, "nothing listens on 127.0.0.1:%u for the feeds: the board counts as offline", feedPort);
        return false;
    case FeedServiceState::Untrusted: {
        offlineCause = OfflineCause::PortHeldByOther;
        // Said once for each stranger, not at every check.
        static QList<uint> told;
        if (!told.contains(owner)) {
            told.append(owner);
            qCWarning(lcPlatform,
                      "127.0.0.1:%u is listened on by user id %u, who is neither root nor this board's user: its "
                      "feeds are not read, and the board counts as offline",
                      feedPort, owner);
        }
        return false;
    }
    case FeedServiceState::OwnerUnknown: {
        offlineCause = OfflineCause::OwnerUnknown;
        static bool told = false;
        if (!std::exchange(told, true))
            qCWarning(lcPlatform,
                      "who listens on 127.0.0.1:%u cannot be told: neither the kernel's socket diagnostics nor "
                      "/proc/net/tcp can be read. The board trusts nobody then: no feed is read, and it counts as "
                      "offline",
                      feedPort);
        return false;
    }
    case FeedServiceState::NothingToServe:
        // The service runs but has nothing to serve: its upstream is out of
        // reach, which is what a person calls no network.
        offlineCause = OfflineCause::NoNetwork;
        return false;
    case FeedServiceState::Serving:
        break;
    }
    offlineCause = OfflineCause::None;
    return true;
}
