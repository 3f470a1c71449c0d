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

#include <cstring>
#include <utility>

#include <unistd.h>

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

namespace {

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

void collectOwners(const QByteArray &table, quint16 port, QList<uint> *owners)
{
    constexpr char Listening[] = "0A";
    const QList<QByteArray> lines = table.split('\n');
    // The first line names the columns: sl local_address rem_address st ... uid timeout inode
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 8 || fields.at(3) != Listening)
            continue;
        const QList<QByteArray> local = fields.at(1).split(':');
        bool portOk = false;
        bool uidOk = false;
        const uint uid = fields.at(7).toUInt(&uidOk);
        if (local.size() != 2 || local.at(1).toUInt(&portOk, 16) != port || !portOk || !uidOk)
            continue;
        const QHostAddress address = tableAddress(local.at(0));
        const bool takesLoopback = address == QHostAddress(QHostAddress::LocalHost)
            || address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress(QHostAddress::AnyIPv6)
            || address == QHostAddress(QStringLiteral("::ffff:127.0.0.1"));
        if (takesLoopback && !owners->contains(uid))
            owners->append(uid);
    }
}

QByteArray readProcFile(const char *path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QList<uint> loopbackListenerOwners(const QByteArray &procNetTcp, const QByteArray &procNetTcp6, quint16 port)
{
    QList<uint> owners;
    collectOwners(procNetTcp, port, &owners);
    collectOwners(procNetTcp6, port, &owners);
    return owners;
}

LoginUids LoginUids::fromLoginDefs(const QByteArray &text)
{
    LoginUids uids;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        bool ok = false;
        const uint value = fields.value(1).toUInt(&ok);
        if (fields.size() < 2 || !ok)
            continue;
        if (fields.at(0) == "UID_MIN")
            uids.first = value;
        else if (fields.at(0) == "UID_MAX")
            uids.last = value;
    }
    return uids;
}

bool isTrustedListenerOwner(uint owner, uint self, const LoginUids &logins)
{
    return owner == 0 || owner == self || owner < logins.first || owner > logins.last;
}

FeedListener feedListener(quint16 port, uint *owner)
{
    const QByteArray tcp = readProcFile("/proc/net/tcp");
    if (tcp.isEmpty()) // no socket tables to read: whoever listens is taken at its word
        return loopbackPortListening(port) ? FeedListener::Trusted : FeedListener::None;
    const QList<uint> owners = loopbackListenerOwners(tcp, readProcFile("/proc/net/tcp6"), port);
    if (owners.isEmpty())
        return FeedListener::None;
    const LoginUids logins = LoginUids::fromLoginDefs(readProcFile("/etc/login.defs"));
    for (uint uid : owners) {
        if (!isTrustedListenerOwner(uid, uint(::getuid()), logins)) {
            if (owner)
                *owner = uid;
            return FeedListener::Untrusted;
        }
    }
    return FeedListener::Trusted;
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
    FeedListener listener = feedListener(feedPort, &owner);
    if (listener == FeedListener::None && startService && startService())
        listener = feedListener(feedPort, &owner);
    // Said when it begins, not at every check of a refresh.
    static bool toldNothingListens = false;
    if (listener != FeedListener::None)
        toldNothingListens = false;
    switch (listener) {
    case FeedListener::None:
        if (!std::exchange(toldNothingListens, true))
            qCInfo(lcPlatform, "nothing listens on 127.0.0.1:%u for the feeds: the board counts as offline", feedPort);
        return false;
    case FeedListener::Untrusted: {
        offlineCause = OfflineCause::PortHeldByOther;
        // Said once for each stranger, not at every check.
        static QList<uint> told;
        if (!told.contains(owner)) {
            told.append(owner);
            qCWarning(lcPlatform,
                      "127.0.0.1:%u is listened on by user id %u, who is neither root, a system account nor this "
                      "board's user: its feeds are not read, and the board counts as offline",
                      feedPort, owner);
        }
        return false;
    }
    case FeedListener::Trusted:
        break;
    }
    // A service that went away since counts as not listening: offline too.
    const FeedServiceState state = feedServiceState(feedPort);
    offlineCause = state == FeedServiceState::Serving ? OfflineCause::None
        : state == FeedServiceState::NothingToServe   ? OfflineCause::NoNetwork
                                                      : OfflineCause::ServiceNotRunning;
    return state == FeedServiceState::Serving;
}
