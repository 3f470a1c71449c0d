#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "platform/datacontrol.h"
#include "platform/feedservicestarter.h"
#include "platform/kernelsockets.h"
#include "platform/networkstate.h"
#include "store/weatherstore.h"
#include "testsupport.h"

#include <QDir>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(FeedServiceState)

namespace {

// How another person's server listens on the board's port.
enum class StrangerSocket {
    Loopback, // on 127.0.0.1
    DeferredAccept, // on 127.0.0.1, accepting only once the client has sent something
    AnyIPv6Only, // on [::] for IPv6 alone, which takes no connection to 127.0.0.1
    AnyIPv6, // on [::] for IPv4 as well
};

// A child process that listens on the port as user `uid` and answers every
// request with `answer`, until it is killed, as another person's program
// would. Its pid, or -1. Between fork and the end the child only makes
// system calls: the test's other threads may hold locks it would need.
pid_t serveAsAnotherUser(quint16 port, uid_t uid, StrangerSocket kind, const QByteArray &answer)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        // The socket belongs to the user who makes it. The child ends with
        // the test, whatever way it ends.
        if (::setgid(uid) != 0 || ::setuid(uid) != 0 || ::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
            ::_exit(1);
        const bool ipv6 = kind == StrangerSocket::AnyIPv6Only || kind == StrangerSocket::AnyIPv6;
        const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in6 address6{};
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(port);
        address6.sin6_addr = in6addr_any;
        const int on = 1;
        const int off = 0;
        const int deferSeconds = 10;
        // Bound while the connections of a service that just ended linger.
        bool bound = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
        if (ipv6)
            bound = bound
                && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, kind == StrangerSocket::AnyIPv6Only ? &on : &off,
                                sizeof on)
                    == 0
                && ::bind(fd, reinterpret_cast<sockaddr *>(&address6), sizeof address6) == 0;
        else
            bound = bound && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        if (kind == StrangerSocket::DeferredAccept)
            bound = bound && ::setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds) == 0;
        if (!bound || ::listen(fd, 16) != 0)
            ::_exit(1);
        const char byte = 1;
        if (::write(ready[1], &byte, 1) != 1)
            ::_exit(1);
        for (;;) {
            const int connection = ::accept(fd, nullptr, nullptr);
            if (connection < 0)
                continue;
            // The request, up to its blank line, then the answer.
            char request[4096];
            size_t got = 0;
            while (got < sizeof request) {
                const ssize_t n = ::read(connection, request + got, sizeof request - got);
                if (n <= 0)
                    break;
                got += size_t(n);
                if (::memmem(request, got, "\r\n\r\n", 4))
                    break;
            }
            for (qsizetype sent = 0; sent < answer.size();) {
                const ssize_t n = ::write(connection, answer.constData() + sent, size_t(answer.size() - sent));
                if (n <= 0)
                    break;
                sent += n;
            }
            ::close(connection);
        }
    }
    ::close(ready[1]);
    char byte = 0;
    const bool listening = child > 0 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    if (!listening && child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

// What another person's server sends for any request: a crafted city, as
// alarming as a document can be.
QByteArray strangersAnswer()
{
    FeedDocument document;
    document.temp = QStringLiteral("58");
    document.code = QStringLiteral("4"); // thunderstorms
    document.windSpeed = QStringLiteral("250");
    const QByteArray body = document.toXml();
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// The rows of a store whose temperature is `temp`.
int rowsAt(const QString &storePath, float temp)
{
    DataControl data;
    openRows(data, storePath);
    int count = 0;
    for (Recordset &rows = data.recordset(); !rows.isEof(); rows.moveNext())
        count += rows.value(QStringLiteral("Temp")) == FieldValue::number(temp) ? 1 : 0;
    return count;
}

} // namespace

class TestNetworkState : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setListenerSources({}); }
    void tableListeners_data();
    void tableListeners();
    void diagnosticsAnswers_data();
    void diagnosticsAnswers();
    void trustedOwners_data();
    void trustedOwners();
    void boardIsOnline_data();
    void boardIsOnline();
    void feedService_data();
    void feedService();
    void starterLooksWithoutConnecting();
};

// The listeners that take the board's connections to 127.0.0.1:8619
// (0x21AB), read from the kernel's socket tables as Linux prints them on a
// little-endian machine, as owner/inode.
void TestNetworkState::tableListeners_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("tcp");
    QTest::addColumn<QByteArray>("tcp6");
    QTest::addColumn<QString>("listeners");

    const QByteArray head = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
    const auto row = [](const char *local, const char *remote, const char *state, int uid, int inode) {
        return QByteArray("   0: ") + local + " " + remote + " " + state + " 00000000:00000000 00:00000000 00000000  "
            + QByteArray::number(uid) + "        0 " + QByteArray::number(inode) + " 1 0000000000000000 100 0 0 10 0\n";
    };
    const char *v4Server = "0100007F:21AB", *v4Client = "0100007F:D431", *none = "00000000:0000";
    const char *v6None = "00000000000000000000000000000000:0000";
    const QByteArray rootListens = row("00000000:21AB", none, "0A", 0, 11);
    const QByteArray ownEnd = row(v4Client, v4Server, "01", 1000, 20);
    const QByteArray anyIPv6 = row("00000000000000000000000000000000:21AB", v6None, "0A", 1001, 13);
    QTest::newRow("root's on 0.0.0.0, its connections passed over")
        << head + rootListens + row(v4Server, v4Client, "01", 61184, 21) + ownEnd + row(v4Server, "0100007F:D432", "03", 0, 0)
           + row(v4Server, "0100007F:D433", "06", 0, 0) << head << "0/11";
    QTest::newRow("the board's user's on 127.0.0.1") << head + row(v4Server, none, "0A", 1000, 12) << head << "1000/12";
    QTest::newRow("another port, another loopback address")
        << head + row("0100007F:21AC", none, "0A", 1001, 30) + row("0200007F:21AB", none, "0A", 1001, 31) << head << "";
    QTest::newRow("IPv6: [::] and ::ffff:127.0.0.1 take it, ::1 does not") << head
        << head + anyIPv6 + row("0000000000000000FFFF00000100007F:21AB", v6None, "0A", 1002, 14)
           + row("00000000000000000000000001000000:21AB", v6None, "0A", 1003, 15) << "1001/13,1002/14";
    QTest::newRow("an IPv6-only stranger beside root: not told apart") << head + rootListens << head + anyIPv6 << "0/11,1001/13";
    QTest::newRow("a row cut short") << head + QByteArray("   0: 0100007F:21AB 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1001\n") << head << "";
    QTest::newRow("no tables") << QByteArray() << QByteArray() << "";
    // clang-format on
}

void TestNetworkState::tableListeners()
{
    QFETCH(QByteArray, tcp);
    QFETCH(QByteArray, tcp6);
    QFETCH(QString, listeners);
    QStringList seen;
    for (const PortListener &listener : listenersInTables(tcp, tcp6, 8619)) {
        if (takesConnectionsTo(listener, QHostAddress(QHostAddress::LocalHost)))
            seen << QStringLiteral("%1/%2").arg(listener.owner).arg(listener.inode);
    }
    QCOMPARE(seen.join(u','), listeners);
}

namespace {

// A netlink message of the kernel's answer to request 1, as it lays it out.
QByteArray netlinkMessage(quint16 type, const void *payload, size_t size, quint32 sequence = 1)
{
    nlmsghdr header{};
    header.nlmsg_len = NLMSG_LENGTH(size);
    header.nlmsg_type = type;
    header.nlmsg_flags = NLM_F_MULTI;
    header.nlmsg_seq = sequence;
    QByteArray message(reinterpret_cast<const char *>(&header), sizeof header);
    message.append(static_cast<const char *>(payload), qsizetype(size));
    message.append(QByteArray(qsizetype(NLMSG_ALIGN(message.size())) - message.size(), '\0'));
    return message;
}

// A listener on 127.0.0.1:8619, as the socket diagnostics tell it.
QByteArray listenerMessage(uint owner, quint32 sequence = 1)
{
    inet_diag_msg socket{};
    socket.idiag_family = AF_INET;
    socket.idiag_state = ListeningState;
    socket.id.idiag_sport = htons(8619);
    socket.id.idiag_src[0] = htonl(INADDR_LOOPBACK);
    socket.idiag_uid = owner;
    socket.idiag_inode = 100 + owner;
    return netlinkMessage(SOCK_DIAG_BY_FAMILY, &socket, sizeof socket, sequence);
}

QByteArray errorMessage(int error)
{
    nlmsgerr answer{};
    answer.error = error;
    return netlinkMessage(NLMSG_ERROR, &answer, sizeof answer);
}

QByteArray doneMessage()
{
    const int zero = 0;
    return netlinkMessage(NLMSG_DONE, &zero, sizeof zero);
}

} // namespace

// The kernel's answers to the socket diagnostics, datagram by datagram, as
// the reader takes them: how each reads ("M"ore, "D"one, "F"ailed), and the
// sockets told, as owner/inode.
void TestNetworkState::diagnosticsAnswers_data()
{
    // clang-format off
    QTest::addColumn<QList<QByteArray>>("datagrams");
    QTest::addColumn<bool>("dump");
    QTest::addColumn<QString>("parts");
    QTest::addColumn<QString>("sockets");

    QTest::newRow("one datagram and its end") << QList<QByteArray>{listenerMessage(0) + doneMessage()} << true << "D" << "0/100";
    QTest::newRow("two datagrams") << QList<QByteArray>{listenerMessage(1000) + listenerMessage(0), listenerMessage(61184), doneMessage()}
        << true << "MMD" << "1000/1100,0/100,61184/61284";
    QTest::newRow("an error answer") << QList<QByteArray>{errorMessage(-EPERM)} << true << "F" << "";
    QTest::newRow("an error after a part") << QList<QByteArray>{listenerMessage(0), errorMessage(-EINTR)} << true << "MF" << "0/100";
    QTest::newRow("a truncated one") << QList<QByteArray>{(listenerMessage(0) + listenerMessage(1000)).chopped(20)} << true << "F" << "0/100";
    QTest::newRow("a header cut short") << QList<QByteArray>{listenerMessage(0).left(10)} << true << "F" << "";
    QTest::newRow("another request's passed over") << QList<QByteArray>{listenerMessage(1000, 2) + doneMessage()} << true << "D" << "";
    QTest::newRow("one connection, there") << QList<QByteArray>{listenerMessage(61184)} << false << "D" << "61184/61284";
    QTest::newRow("one connection, not there") << QList<QByteArray>{errorMessage(-ENOENT)} << false << "D" << "";
    QTest::newRow("a dump: not there is an error") << QList<QByteArray>{errorMessage(-ENOENT)} << true << "F" << "";
    // clang-format on
}

void TestNetworkState::diagnosticsAnswers()
{
    QFETCH(QList<QByteArray>, datagrams);
    QFETCH(bool, dump);
    QFETCH(QString, parts);
    QFETCH(QString, sockets);
    QList<KernelSocket> found;
    QString read;
    for (const QByteArray &datagram : std::as_const(datagrams)) {
        const DiagnosticsPart part = readDiagnosticsPart(datagram, 1, dump, &found);
        read += part == DiagnosticsPart::More ? u'M' : part == DiagnosticsPart::Done ? u'D' : u'F';
        if (part != DiagnosticsPart::More)
            break;
    }
    QCOMPARE(read, parts);
    QStringList told;
    for (const KernelSocket &socket : std::as_const(found)) {
        QCOMPARE(socket.port, quint16(8619));
        QCOMPARE(socket.address, QHostAddress(QHostAddress::LocalHost));
        told << QStringLiteral("%1/%2").arg(socket.owner).arg(socket.inode);
    }
    QCOMPARE(told.join(u','), sockets);
}

void TestNetworkState::trustedOwners_data()
{
    QTest::addColumn<uint>("self");
    QTest::addColumn<uint>("owner");
    QTest::addColumn<bool>("trusted");

    QTest::newRow("root") << 1000u << 0u << true;
    QTest::newRow("the board's own user") << 1000u << 1000u << true;
    QTest::newRow("another person") << 1000u << 1001u << false;
    QTest::newRow("a system account") << 1000u << 110u << false;
    QTest::newRow("a dynamic user of systemd") << 1000u << 61184u << false;
    QTest::newRow("a subordinate uid of an account") << 1000u << 100000u << false;
    QTest::newRow("the overflow uid: not mapped, unknown") << 1000u << 65534u << false;
    QTest::newRow("a board run as the overflow uid") << 65534u << 65534u << false;
}

void TestNetworkState::trustedOwners()
{
    QFETCH(uint, self);
    QFETCH(uint, owner);
    QFETCH(bool, trusted);
    QCOMPARE(isTrustedListenerOwner(owner, self), trusted);
}

Q_DECLARE_METATYPE(OfflineCause)
Q_DECLARE_METATYPE(StrangerSocket)

// The whole check as the board makes it before a refresh, and the refresh:
// a listener it trusts and its health decide; nothing listening gets the
// service started; another person's listener is never read, though it
// answers every request with a crafted city. The store starts with every
// row at 13 degrees, the board's own service answers 25, a stranger 58.
void TestNetworkState::boardIsOnline_data()
{
    // clang-format off
    QTest::addColumn<QString>("listener"); // "none", "own", "stranger", "own and stranger"
    QTest::addColumn<uint>("stranger");    // the stranger's uid
    QTest::addColumn<StrangerSocket>("socket");
    QTest::addColumn<int>("health");       // what /health answers
    QTest::addColumn<bool>("starts");      // whether the service can be started
    QTest::addColumn<QString>("means");    // how the board can tell who listens: "kernel", "tables", "neither"
    QTest::addColumn<int>("swapAt");       // the lookup after which the service ends and the stranger binds; 0: never
    QTest::addColumn<int>("unseen");       // how many lookups after it see no listener, as if between two binds
    QTest::addColumn<OfflineCause>("cause"); // None: online
    QTest::addColumn<int>("starterCalls");
    QTest::addColumn<int>("ownRows");      // rows from the board's own service
    QTest::addColumn<int>("keptRows");     // rows as they were before
    const OfflineCause online = OfflineCause::None;
    const OfflineCause notRunning = OfflineCause::ServiceNotRunning;
    const OfflineCause noNetwork = OfflineCause::NoNetwork;
    const OfflineCause held = OfflineCause::PortHeldByOther;
    const OfflineCause unknown = OfflineCause::OwnerUnknown;
    const StrangerSocket loopback = StrangerSocket::Loopback;
    const StrangerSocket deferred = StrangerSocket::DeferredAccept;

    QTest::newRow("nothing listens, nothing to start") << "none" << 0u << loopback << 200 << false << "kernel" << 0 << 0 << notRunning << 1 << 0 << 24;
    QTest::newRow("nothing listens, the service starts") << "none" << 0u << loopback << 200 << true << "kernel" << 0 << 0 << online << 1 << 24 << 0;
    QTest::newRow("nothing listens, it starts with nothing to serve") << "none" << 0u << loopback << 503 << true << "kernel" << 0 << 0 << noNetwork << 1 << 0 << 24;
    QTest::newRow("the board's own service") << "own" << 0u << loopback << 200 << false << "kernel" << 0 << 0 << online << 0 << 24 << 0;
    QTest::newRow("its own service, nothing to serve") << "own" << 0u << loopback << 503 << false << "kernel" << 0 << 0 << noNetwork << 0 << 0 << 24;
    QTest::newRow("another person's listener") << "stranger" << 4242u << loopback << 200 << true << "kernel" << 0 << 0 << held << 0 << 0 << 24;
    QTest::newRow("a subordinate uid's listener") << "stranger" << 100000u << loopback << 200 << true << "kernel" << 0 << 0 << held << 0 << 0 << 24;
    QTest::newRow("a listener shown as the overflow uid") << "stranger" << 65534u << loopback << 200 << true << "kernel" << 0 << 0 << held << 0 << 0 << 24;
    QTest::newRow("a stranger that defers its accept") << "stranger" << 4242u << deferred << 200 << true << "kernel" << 0 << 0 << held << 0 << 0 << 24;
    QTest::newRow("a stranger on [::] for IPv4 too") << "stranger" << 4242u << StrangerSocket::AnyIPv6 << 200 << true << "kernel" << 0 << 0 << held << 0 << 0 << 24;
    QTest::newRow("an IPv6-only stranger beside its own service") << "own and stranger" << 4242u << StrangerSocket::AnyIPv6Only << 200 << false << "kernel" << 0 << 0 << online << 0 << 24 << 0;
    // Looked up twice by the health check, then twice by each load: the
    // 9th is the 4th city's before its load, whose answer is refused.
    QTest::newRow("its service ends mid-walk and a stranger binds") << "own" << 4242u << loopback << 200 << false << "kernel" << 9 << 0 << held << 0 << 3 << 20;
    // The stranger binds after the 8th, the 3rd city's last: the 4th city's
    // load is refused before it begins, and the walk ends with the rows
    // after it, and its own, as they were.
    QTest::newRow("a refusal mid-walk keeps the rows after it") << "own" << 4242u << loopback << 200 << false << "kernel" << 8 << 0 << held << 0 << 3 << 21;
    // The same, and the next two looks see nobody, as if the stranger had
    // bound after the look and left before the next: nothing listening ends
    // the walk too, with nothing asked of whoever comes.
    QTest::newRow("a stranger binds and leaves between two looks") << "own" << 4242u << loopback << 200 << false << "kernel" << 8 << 2 << notRunning << 0 << 3 << 21;
    QTest::newRow("from the tables: its own service") << "own" << 0u << loopback << 200 << false << "tables" << 0 << 0 << online << 0 << 24 << 0;
    QTest::newRow("from the tables: a stranger that defers its accept") << "stranger" << 4242u << deferred << 200 << true << "tables" << 0 << 0 << held << 0 << 0 << 24;
    QTest::newRow("from the tables: an IPv6-only stranger is not told apart") << "own and stranger" << 4242u << StrangerSocket::AnyIPv6Only << 200 << false << "tables" << 0 << 0 << held << 0 << 0 << 24;
    QTest::newRow("no means to tell: its own service") << "own" << 0u << loopback << 200 << true << "neither" << 0 << 0 << unknown << 0 << 0 << 24;
    QTest::newRow("no means to tell: a stranger that defers its accept") << "stranger" << 4242u << deferred << 200 << true << "neither" << 0 << 0 << unknown << 0 << 0 << 24;
    // clang-format on
}

void TestNetworkState::boardIsOnline()
{
    QFETCH(QString, listener);
    QFETCH(uint, stranger);
    QFETCH(StrangerSocket, socket);
    QFETCH(int, health);
    QFETCH(bool, starts);
    QFETCH(QString, means);
    QFETCH(int, swapAt);
    QFETCH(int, unseen);
    QFETCH(OfflineCause, cause);
    QFETCH(int, starterCalls);
    QFETCH(int, ownRows);
    QFETCH(int, keptRows);
    if (stranger != 0 && ::getuid() != 0)
        QSKIP("listening as another user needs root");

    const quint16 port = unusedLoopbackPort();
    QTemporaryDir folder;
    const QString store = folder.filePath(QStringLiteral("wt.dar"));
    QVERIFY(prepareBoardFolder(folder.path()));
    pointFeedsAt(store, QStringLiteral("http://127.0.0.1:%1").arg(port));
    QList<CityWeather> before;
    for (const WeatherStore::SeedCity &city : WeatherStore::seedCities())
        before.append({city.cityCode, 13, QStringLiteral(u"مشمس"), 10, QStringLiteral(u"شمال"), 5, 1});
    storeWeather(store, before);

    LoopbackHttpServer service;
    service.serve(QStringLiteral("/health"), "health\n", health, "text/plain");
    serveEveryCity(service);
    if (listener.startsWith(QLatin1String("own")))
        QVERIFY(service.listen(port));
    QList<pid_t> strangers;
    const auto endStrangers = qScopeGuard([&strangers] {
        for (const pid_t pid : std::as_const(strangers)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    });
    const QByteArray crafted = strangersAnswer();
    if (listener.endsWith(QLatin1String("stranger"))) {
        strangers << serveAsAnotherUser(port, stranger, socket, crafted);
        QVERIFY(strangers.last() > 0);
    }

    ListenerSources sources;
    int lookups = 0;
    const ListenerSources kernel = systemListenerSources();
    if (means != QLatin1String("kernel"))
        sources.diagnostics = [](quint16) { return std::optional<QList<PortListener>>(); };
    if (means == QLatin1String("neither"))
        sources.readTable = [](const QString &) { return std::optional<QByteArray>(); };
    if (swapAt > 0) {
        // The service ends right after the board has looked, and the
        // stranger takes the port before the board connects.
        sources.diagnostics = [&](quint16 asked) {
            std::optional<QList<PortListener>> seen = kernel.diagnostics(asked);
            if (++lookups > swapAt && lookups <= swapAt + unseen)
                seen = QList<PortListener>();
            if (lookups == swapAt) {
                service.close();
                strangers << serveAsAnotherUser(port, stranger, socket, crafted);
            }
            return seen;
        };
    }
    setListenerSources(sources);

    FakeWorld world;
    BoardServices services = world.services(folder.path());
    int calls = 0;
    services.isOnline = [&] {
        return ::boardIsOnline(port, [&] {
            ++calls;
            return starts && service.listen(port);
        });
    };
    services.offlineCause = lastOfflineCause;
    {
        frmWeatherMain board(services);
        QVERIFY(board.Form_Load());
        board.TimerFirstLoad()->setEnabled(false);
        board.TimerWeather()->setEnabled(false);
        board.TimerWeather_Timer();
        QCOMPARE(board.lblWeather()->toolTip(), frmWeatherMain::offlineCauseText(cause));
        board.close();
    }
    QVERIFY(!strangers.contains(-1));
    QCOMPARE(calls, starterCalls);
    QCOMPARE(rowsAt(store, 58), 0); // nothing the stranger sent
    QCOMPARE(rowsAt(store, 25), ownRows);
    QCOMPARE(rowsAt(store, 13), keptRows);
}

// The board's online check asks the feed service on loopback; only a 503
// (nothing left to serve) makes it offline, and the wait lets the event
// loop run.
void TestNetworkState::feedService_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<FeedServiceState>("state");

    QTest::newRow("nothing listens") << "none" << FeedServiceState::NotListening;
    QTest::newRow("healthy") << "200" << FeedServiceState::Serving;
    QTest::newRow("nothing to serve") << "503" << FeedServiceState::NothingToServe;
    QTest::newRow("a server without /health") << "404" << FeedServiceState::Serving;
    QTest::newRow("no answer in time") << "hang" << FeedServiceState::Serving;
    QTest::newRow("closed without an answer") << "close" << FeedServiceState::Serving;
}

void TestNetworkState::feedService()
{
    QFETCH(QString, server);
    QFETCH(FeedServiceState, state);

    LoopbackHttpServer service;
    QVERIFY(service.listen());
    const QString health = QStringLiteral("/health");
    if (server == QLatin1String("200"))
        service.serve(health, "200 OK: 24 of 24 cities served, 24 fresh\n", 200, "text/plain");
    else if (server == QLatin1String("503"))
        service.serve(health, "503 Service Unavailable: the upstream cannot be reached\n", 503, "text/plain");
    else if (server == QLatin1String("hang"))
        service.hang(health);
    else if (server == QLatin1String("close"))
        service.closeImmediately(health);
    const quint16 port = server == QLatin1String("none") ? unusedLoopbackPort() : service.port();

    bool ticked = false;
    QTimer::singleShot(10, [&ticked] { ticked = true; });
    QCOMPARE(feedServiceState(port, 300), state);
    if (server == QLatin1String("hang"))
        QVERIFY(ticked); // the window's timers ran while the check waited
    if (server != QLatin1String("none"))
        QCOMPARE(service.requests().value(0).target(), health);
}

// Whether anything listens on the feed port, the starter asks the kernel:
// it makes no connection to a listener nobody has judged.
void TestNetworkState::starterLooksWithoutConnecting()
{
    QTemporaryDir folder;
    QFile program(QDir(folder.path()).filePath(QString::fromUtf16(FeedServiceStarter::ProgramName)));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\nexit 0\n");
    program.close();
    QVERIFY(program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress(QHostAddress::LocalHost)));
    FeedServiceStarter starter(folder.path(), listener.serverPort());
    QVERIFY(!starter.startIfNeeded()); // something listens: nothing is started
    QVERIFY(!listener.waitForNewConnection(0));
}

QTEST_MAIN(TestNetworkState)
#include "tst_networkstate.moc"
