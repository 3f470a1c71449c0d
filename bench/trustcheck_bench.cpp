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

#include "platform/kernelsockets.h"
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

bool isLoopback(const QHostAddress &address)
{
    return address == QHostAddress(QHostAddress::LocalHost)
        || address == QHostAddress(QStringLiteral("::ffff:127.0.0.1"));
}

// The owner of the accepted end of the connection from clientPort, read
// from a socket table by the board's own reader.
std::optional<uint> ownerInTable(const QByteArray &table, quint16 port, quint16 clientPort)
{
    for (const KernelSocket &socket : socketsInTable(table)) {
        if (socket.state != ListeningState && socket.state != TimeWaitState && socket.port == port
            && socket.peerPort == clientPort && isLoopback(socket.address) && isLoopback(socket.peer))
            return socket.owner;
    }
    return std::nullopt;
}

std::optional<uint> listenerInTable(const QByteArray &table, quint16 port)
{
    for (const KernelSocket &socket : socketsInTable(table)) {
        if (socket.state == ListeningState && socket.port == port
            && (isLoopback(socket.address) || socket.address == QHostAddress(QHostAddress::AnyIPv4)
                || socket.address == QHostAddress(QHostAddress::AnyIPv6)))
            return socket.owner;
    }
    return std::nullopt;
}

QByteArray readProcFile(const char *path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

enum class Lookup { Found, NotFound, Unavailable };

// The accepted end of the connection from clientPort, asked of the socket
// diagnostics by the board's own reader.
Lookup ownerFromDiagnostics(quint16 port, quint16 clientPort, uint *owner)
{
    const std::optional<QList<KernelSocket>> found = askSocketDiagnostics({AF_INET, ~0u, port, clientPort});
    if (!found)
        return Lookup::Unavailable;
    if (found->isEmpty())
        return Lookup::NotFound;
    *owner = found->first().owner;
    return Lookup::Found;
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
