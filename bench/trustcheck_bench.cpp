// What judging the feed port costs the board's refresh, in the shape of the
// installed product: root's listening socket on 127.0.0.1 (systemd's), its
// connections accepted by a process of a dynamic user (61184), and a
// machine with a given number of other TCP connections open.
//
// It compares the check as the board made it before (the accepted end of
// the health check's connection looked up by the kernel's socket
// diagnostics; being the dynamic user's, the listener then found by reading
// and walking /proc/net/tcp and tcp6 whole, once a refresh or twice) with
// the check as it is now (the port's listeners dumped by the diagnostics:
// twice for the health check and twice for each of the 24 feed loads).
//
//   trustcheck-bench [rounds]   (default 300; needs root, for the dynamic
//                                user and a network namespace of its own)
//
// Each figure is the median of the rounds, on the window's thread.

#include "platform/networkstate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace before {

// The check as it was, kept here to be measured beside the new one.

constexpr uint OverflowUid = 65534;

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
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 8 || fields.at(3) == "0A" || fields.at(3) == "06")
            continue;
        bool ok = false;
        const uint uid = fields.at(7).toUInt(&ok);
        if (ok && isLoopbackEnd(fields.at(1), port) && isLoopbackEnd(fields.at(2), clientPort))
            return uid;
    }
    return std::nullopt;
}

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
    if (::sendto(fd, &message, sizeof message, 0, reinterpret_cast<const sockaddr *>(&kernel), sizeof kernel)
        == ssize_t(sizeof message)) {
        const ssize_t size = ::recv(fd, answer, sizeof answer, MSG_DONTWAIT);
        const auto *reply = reinterpret_cast<const nlmsghdr *>(answer);
        if (size >= ssize_t(sizeof(nlmsghdr)) && reply->nlmsg_len <= size_t(size)) {
            if (reply->nlmsg_type == SOCK_DIAG_BY_FAMILY && reply->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
                *owner = static_cast<const inet_diag_msg *>(NLMSG_DATA(reply))->idiag_uid;
                result = Lookup::Found;
            } else if (reply->nlmsg_type == NLMSG_ERROR) {
                result = Lookup::NotFound;
            }
        }
    }
    ::close(fd);
    return result;
}

bool acceptedByTrusted(quint16 port, quint16 clientPort, uint *owner)
{
    const Lookup lookup = ownerFromDiagnostics(port, clientPort, owner);
    if (lookup != Lookup::Found) {
        const QByteArray tcp = readProcFile("/proc/net/tcp");
        if (tcp.isEmpty() && lookup == Lookup::Unavailable)
            return true;
        std::optional<uint> seen = ownerInTable(tcp, port, clientPort);
        if (!seen)
            seen = ownerInTable(readProcFile("/proc/net/tcp6"), port, clientPort);
        *owner = seen.value_or(OverflowUid);
    }
    if (isTrustedListenerOwner(*owner, uint(::getuid())))
        return true;
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

} // namespace before

namespace {

constexpr uid_t DynamicUser = 61184;
constexpr int LoadsPerRefresh = 24;

bool loopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0
        && (request.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    if (fd >= 0)
        ::close(fd);
    return up;
}

int loopbackListener(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 4096) != 0)
        return -1;
    return fd;
}

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return -1;
    return fd;
}

quint16 localPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    return ntohs(address.sin_port);
}

// Other connections of the machine: `count` loopback connections, both
// ends open, 2 × count rows of /proc/net/tcp.
bool openOtherConnections(int count, std::vector<int> *fds)
{
    const int listener = loopbackListener(0);
    if (listener < 0)
        return false;
    fds->push_back(listener);
    const quint16 port = localPort(listener);
    for (int i = 0; i < count; ++i) {
        const int client = connectTo(port);
        const int server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0 || server < 0)
            return false;
        fds->push_back(client);
        fds->push_back(server);
    }
    return true;
}

template <typename Check>
double medianMicroseconds(int rounds, Check check)
{
    std::vector<double> took;
    took.reserve(size_t(rounds));
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        check();
        took.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(took.begin(), took.end());
    return took[took.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    if (::getuid() != 0) {
        std::fprintf(stderr, "trustcheck-bench: needs root (a dynamic user's process, a network namespace)\n");
        return 1;
    }
    if (::unshare(CLONE_NEWNET) != 0 || !loopbackUp()) {
        std::fprintf(stderr, "trustcheck-bench: cannot make a network namespace: %s\n", std::strerror(errno));
        return 1;
    }
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);

    // systemd's socket, root's, and the service that accepts on it as a
    // dynamic user and holds the health check's connection.
    const quint16 port = 8619;
    const int listener = loopbackListener(port);
    int accepted[2];
    if (listener < 0 || ::pipe(accepted) != 0)
        return 1;
    const pid_t service = ::fork();
    if (service == 0) {
        if (::setgid(DynamicUser) != 0 || ::setuid(DynamicUser) != 0)
            ::_exit(1);
        const int connection = ::accept(listener, nullptr, nullptr);
        const char byte = 1;
        if (connection < 0 || ::write(accepted[1], &byte, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    const int board = connectTo(port);
    char byte = 0;
    if (service < 0 || board < 0 || ::read(accepted[0], &byte, 1) != 1) {
        std::fprintf(stderr, "trustcheck-bench: the stand-in service did not accept\n");
        return 1;
    }
    const quint16 clientPort = localPort(board);

    std::printf("the trust check on the window's thread, root's listener, the connection accepted by uid %u;\n"
                "median of %d rounds, in microseconds\n\n",
                unsigned(DynamicUser), rounds);
    std::printf("%12s %14s %14s %18s %18s\n", "other conns", "before/check", "now/lookup", "before/refresh",
                "now/refresh");
    std::vector<int> others;
    int opened = 0;
    for (const int count : {0, 1000, 5000, 9000}) {
        if (!openOtherConnections(count - opened, &others)) {
            std::fprintf(stderr, "trustcheck-bench: could not open %d connections\n", count);
            break;
        }
        opened = count;
        uint owner = 0;
        if (!before::acceptedByTrusted(port, clientPort, &owner)
            || portHolders(QHostAddress(QHostAddress::LocalHost), port).verdict() != ListenerVerdict::Trusted) {
            std::fprintf(stderr, "trustcheck-bench: a check did not trust root's listener\n");
            return 1;
        }
        const double old = medianMicroseconds(rounds, [&] { before::acceptedByTrusted(port, clientPort, &owner); });
        const double now = medianMicroseconds(
            rounds, [&] { (void)portHolders(QHostAddress(QHostAddress::LocalHost), port).verdict(); });
        // Before: the health check's connection was judged once a refresh
        // (twice when the feeds take over a second). Now: the health check
        // looks twice, and each load twice.
        std::printf("%12d %14.1f %14.1f %11.1f-%-6.1f %18.1f\n", count, old, now, old, 2 * old,
                    now * (2 + 2 * LoadsPerRefresh));
    }
    ::kill(service, SIGKILL);
    ::waitpid(service, nullptr, 0);
    return 0;
}
