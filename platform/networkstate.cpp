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

#include <cerrno>
#include <cstring>
#include <utility>

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
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

// 127.0.0.1:port as a table prints it, over IPv4 or as an IPv4 connection
// taken by an IPv6 socket.
bool isLoopbackEnd(const QByteArray &field, quint16 port)
{
    const QList<QByteArray> parts = field.split(':');
    bool ok = false;
    if (parts.size() != 2 || parts.at(1).toUInt(&ok, 16) != port || !ok)
        return false;
    const QHostAddress address = tableAddress(parts.at(0));
    return address == QHostAddress(QHostAddress::LocalHost)
        || address == QHostAddress(QStringLiteral("::ffff:127.0.0.1"));
}

std::optional<uint> ownerInTable(const QByteArray &table, quint16 port, quint16 clientPort)
{
    constexpr char Listening[] = "0A";
    constexpr char TimeWait[] = "06";
    const QList<QByteArray> lines = table.split('\n');
    // The first line names the columns: sl local_address rem_address st ... uid timeout inode
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 8 || fields.at(3) == Listening || fields.at(3) == TimeWait)
            continue;
        bool ok = false;
        const uint uid = fields.at(7).toUInt(&ok);
        if (ok && isLoopbackEnd(fields.at(1), port) && isLoopbackEnd(fields.at(2), clientPort))
            return uid;
    }
    return std::nullopt;
}

// The owner of the listening socket of this table that takes 127.0.0.1:port.
std::optional<uint> listenerInTable(const QByteArray &table, quint16 port)
{
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 8 || fields.at(3) != "0A")
            continue;
        const QList<QByteArray> local = fields.at(1).split(':');
        bool portOk = false;
        bool uidOk = false;
        const uint uid = fields.at(7).toUInt(&uidOk);
        if (local.size() != 2 || local.at(1).toUInt(&portOk, 16) != port || !portOk || !uidOk)
            continue;
        const QHostAddress address = tableAddress(local.at(0));
        if (address == QHostAddress(QHostAddress::LocalHost) || address == QHostAddress(QHostAddress::AnyIPv4)
            || address == QHostAddress(QHostAddress::AnyIPv6)
            || address == QHostAddress(QStringLiteral("::ffff:127.0.0.1")))
            return uid;
    }
    return std::nullopt;
}

QByteArray readProcFile(const char *path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

enum class Lookup { Found, NotFound, Unavailable };

// The same question asked of the kernel's socket diagnostics for exactly
// that one socket. Reading the tables walks every socket of the machine
// (tens of milliseconds on a busy one, at each check of a refresh); this
// looks one up.
Lookup ownerFromDiagnostics(quint16 port, quint16 clientPort, uint *owner)
{
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return Lookup::Unavailable;
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    message.request.id.idiag_sport = htons(port);
    message.request.id.idiag_dport = htons(clientPort);
    message.request.id.idiag_src[0] = htonl(INADDR_LOOPBACK);
    message.request.id.idiag_dst[0] = htonl(INADDR_LOOPBACK);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;

    Lookup result = Lookup::Unavailable;
    alignas(nlmsghdr) char answer[1024];
    // The kernel answers within sendto(): the reply is queued when it returns.
    if (::sendto(fd, &message, sizeof message, 0, reinterpret_cast<const sockaddr *>(&kernel), sizeof kernel)
        == ssize_t(sizeof message)) {
        const ssize_t size = ::recv(fd, answer, sizeof answer, MSG_DONTWAIT);
        const auto *reply = reinterpret_cast<const nlmsghdr *>(answer);
        if (size >= ssize_t(sizeof(nlmsghdr)) && reply->nlmsg_len <= size_t(size)) {
            if (reply->nlmsg_type == SOCK_DIAG_BY_FAMILY && reply->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
                *owner = static_cast<const inet_diag_msg *>(NLMSG_DATA(reply))->idiag_uid;
                result = Lookup::Found;
            } else if (reply->nlmsg_type == NLMSG_ERROR && reply->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr))
                       && static_cast<const nlmsgerr *>(NLMSG_DATA(reply))->error == -ENOENT) {
                result = Lookup::NotFound;
            }
        }
    }
    ::close(fd);
    return result;
}

// Whether the board trusts whoever accepted its connection from clientPort;
// *owner tells who that was.
bool acceptedByTrusted(quint16 port, quint16 clientPort, uint *owner)
{
    const Lookup lookup = ownerFromDiagnostics(port, clientPort, owner);
    if (lookup != Lookup::Found) {
        const QByteArray tcp = readProcFile("/proc/net/tcp");
        if (tcp.isEmpty() && lookup == Lookup::Unavailable)
            return true; // no means at all to tell: whoever listens is taken at its word
        const std::optional<uint> seen = acceptingSocketOwner(tcp, readProcFile("/proc/net/tcp6"), port, clientPort);
        *owner = seen.value_or(OverflowUid); // not found: nobody in particular
    }
    if (isTrustedListenerOwner(*owner, uint(::getuid())))
        return true;
    // Once the service has accepted the connection, its end is shown as the
    // accepting process's: a socket unit's service runs as a user of its
    // own. What to judge then is the listener that handed it over, the
    // listening socket of the table the connection stands in.
    const QByteArray tcp = readProcFile("/proc/net/tcp");
    const QByteArray tcp6 = readProcFile("/proc/net/tcp6");
    const QByteArray &table = ownerInTable(tcp, port, clientPort) ? tcp : tcp6;
    if (!ownerInTable(table, port, clientPort))
        return false;
    const std::optional<uint> listener = listenerInTable(table, port);
    if (!listener || !isTrustedListenerOwner(*listener, uint(::getuid())))
        return false;
    *owner = *listener;
    return true;
}

} // namespace

std::optional<uint> acceptingSocketOwner(const QByteArray &procNetTcp, const QByteArray &procNetTcp6, quint16 port,
                                         quint16 clientPort)
{
    if (const std::optional<uint> owner = ownerInTable(procNetTcp, port, clientPort))
        return owner;
    return ownerInTable(procNetTcp6, port, clientPort);
}

bool isTrustedListenerOwner(uint owner, uint self)
{
    return owner != OverflowUid && (owner == 0 || owner == self);
}

FeedServiceState feedServiceState(quint16 port, int timeoutMs, uint *owner)
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
    bool trusted = true;
    uint seen = 0;
    bool done = false;
    const auto finish = [&] {
        done = true;
        loop.quit();
    };
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] {
        connected = true;
        // Judged before a byte is sent: the listener that took this very
        // connection, whoever else has a socket on the port.
        trusted = acceptedByTrusted(port, socket.localPort(), &seen);
        if (!trusted)
            return finish();
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
    if (!trusted) {
        if (owner)
            *owner = seen;
        return FeedServiceState::Untrusted;
    }
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
