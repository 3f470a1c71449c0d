#include "platform/networkstate.h"

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
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
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

// One address of a kernel socket table: "0100007F" for IPv4, 32 digits for
// IPv6; each 32-bit word is printed as a number the host read from the
// address's bytes, so the number's bytes in the host's order are the
// address's bytes.
QHostAddress tableAddress(const QByteArray &hex)
{
    if (hex.size() != 8 && hex.size() != 32)
        return {};
    quint8 bytes[16];
    for (qsizetype i = 0; i < hex.size() / 8; ++i) {
        bool ok = false;
        const quint32 word = hex.mid(i * 8, 8).toUInt(&ok, 16);
        if (!ok)
            return {};
        std::memcpy(bytes + 4 * i, &word, 4);
    }
    if (hex.size() == 8)
        return QHostAddress(qFromBigEndian<quint32>(bytes));
    return QHostAddress(bytes);
}

// The one walker over a kernel socket table: the listening sockets on the
// port. The first line names the columns:
//   sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
void addListenersInTable(const QByteArray &table, quint16 port, QList<PortListener> *found)
{
    constexpr char Listening[] = "0A";
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 10 || fields.at(3) != Listening)
            continue;
        const QList<QByteArray> local = fields.at(1).split(':');
        bool portOk = false;
        bool uidOk = false;
        bool inodeOk = false;
        PortListener listener;
        listener.owner = fields.at(7).toUInt(&uidOk);
        listener.inode = fields.at(9).toULongLong(&inodeOk);
        if (local.size() != 2 || local.at(1).toUInt(&portOk, 16) != port || !portOk || !uidOk || !inodeOk)
            continue;
        listener.address = tableAddress(local.at(0));
        if (!listener.address.isNull())
            found->append(listener);
    }
}

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

// Appends the listeners of one family on the port from a dump of the
// kernel's socket diagnostics. Only the listening sockets are walked, and
// of them only those on the port; the answer comes in parts, up to
// NLMSG_DONE.
bool dumpListeners(int fd, quint8 family, quint16 port, quint32 sequence, QList<PortListener> *found)
{
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.header.nlmsg_seq = sequence;
    message.request.sdiag_family = family;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = 1u << TCP_LISTEN;
    message.request.id.idiag_sport = htons(port);
    // Asked for nothing beyond the message itself; an IPv6 socket's
    // INET_DIAG_SKV6ONLY comes with it anyway.
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, &message, sizeof message, 0, reinterpret_cast<const sockaddr *>(&kernel), sizeof kernel)
        != ssize_t(sizeof message))
        return false;

    // The kernel makes each part at most this large for a reader that
    // takes this much at a time.
    alignas(nlmsghdr) char answer[32768];
    for (;;) {
        const ssize_t size = ::recv(fd, answer, sizeof answer, 0);
        if (size < 0 && errno == EINTR)
            continue;
        if (size <= 0)
            return false; // an error, or no answer within the socket's time-out
        size_t left = size_t(size);
        for (auto *reply = reinterpret_cast<const nlmsghdr *>(answer); NLMSG_OK(reply, left);
             reply = NLMSG_NEXT(reply, left)) {
            if (reply->nlmsg_seq != sequence)
                continue;
            if (reply->nlmsg_type == NLMSG_DONE)
                return true;
            if (reply->nlmsg_type != SOCK_DIAG_BY_FAMILY || reply->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                return false; // NLMSG_ERROR, or not a socket
            const auto *socket = static_cast<const inet_diag_msg *>(NLMSG_DATA(reply));
            if (socket->idiag_state != TCP_LISTEN || ntohs(socket->id.idiag_sport) != port)
                continue;
            PortListener listener;
            listener.owner = socket->idiag_uid;
            listener.inode = socket->idiag_inode;
            if (socket->idiag_family == AF_INET) {
                listener.address = QHostAddress(qFromBigEndian<quint32>(&socket->id.idiag_src[0]));
            } else {
                listener.address = QHostAddress(reinterpret_cast<const quint8 *>(socket->id.idiag_src));
                int attributesLength = int(reply->nlmsg_len - NLMSG_LENGTH(sizeof(inet_diag_msg)));
                for (auto *attribute = reinterpret_cast<const rtattr *>(reinterpret_cast<const char *>(socket)
                                                                        + NLMSG_ALIGN(sizeof(inet_diag_msg)));
                     RTA_OK(attribute, attributesLength); attribute = RTA_NEXT(attribute, attributesLength)) {
                    if (attribute->rta_type == INET_DIAG_SKV6ONLY && RTA_PAYLOAD(attribute) >= 1)
                        listener.v6Only = *static_cast<const quint8 *>(RTA_DATA(attribute)) != 0;
                }
            }
            found->append(listener);
        }
    }
}

std::optional<QList<PortListener>> listenersFromDiagnostics(quint16 port)
{
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return std::nullopt;
    // The kernel answers at once; this only bounds a kernel that does not.
    const timeval patience{0, 200 * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    QList<PortListener> found;
    const bool told = dumpListeners(fd, AF_INET, port, 1, &found) && dumpListeners(fd, AF_INET6, port, 2, &found);
    ::close(fd);
    if (!told)
        return std::nullopt;
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
    addListenersInTable(procNetTcp, port, &found);
    addListenersInTable(procNetTcp6, port, &found);
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
