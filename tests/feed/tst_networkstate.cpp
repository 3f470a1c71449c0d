#include "platform/networkstate.h"
#include "testsupport.h"

#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(FeedServiceState)

namespace {

// A child process that listens on 127.0.0.1:port as user `uid` until it is
// killed, as another person's program would; or, with anyIPv6Only, on
// [::]:port for IPv6 alone, beside the board's own listener. Its pid, or -1.
pid_t listenAsAnotherUser(quint16 port, uid_t uid, bool anyIPv6Only = false)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        // The socket belongs to the user who makes it.
        if (::setgid(uid) != 0 || ::setuid(uid) != 0)
            ::_exit(1);
        const int fd = ::socket(anyIPv6Only ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in6 address6{};
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(port);
        address6.sin6_addr = in6addr_any;
        const int on = 1;
        const bool bound = anyIPv6Only ? ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == 0
                && ::bind(fd, reinterpret_cast<sockaddr *>(&address6), sizeof address6) == 0
                                       : ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        if (fd < 0 || !bound || ::listen(fd, 4) != 0)
            ::_exit(1);
        const char byte = 1;
        if (::write(ready[1], &byte, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
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

} // namespace

class TestNetworkState : public QObject
{
    Q_OBJECT

private slots:
    void acceptingOwner_data();
    void acceptingOwner();
    void trustedOwners_data();
    void trustedOwners();
    void boardIsOnline_data();
    void boardIsOnline();
    void feedService_data();
    void feedService();
};

// Who accepted the board's connection from 127.0.0.1:54321 (0xD431) to
// 127.0.0.1:8619 (0x21AB), read from the kernel's socket tables as Linux
// prints them on a little-endian machine.
void TestNetworkState::acceptingOwner_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("tcp");
    QTest::addColumn<QByteArray>("tcp6");
    QTest::addColumn<int>("owner"); // -1: none found

    const QByteArray head = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
    const auto row = [](const char *local, const char *remote, const char *state, int uid) {
        return QByteArray("   0: ") + local + " " + remote + " " + state + " 00000000:00000000 00:00000000 00000000  "
            + QByteArray::number(uid) + "        0 4242 1 0000000000000000 100 0 0 10 0\n";
    };
    const char *v4Server = "0100007F:21AB", *v4Client = "0100007F:D431", *none = "00000000:0000";
    const char *v6Server = "0000000000000000FFFF00000100007F:21AB", *v6Client = "0000000000000000FFFF00000100007F:D431";
    const QByteArray rootListens = row("00000000:21AB", none, "0A", 0);
    const QByteArray ownEnd = row(v4Client, v4Server, "01", 1000);
    QTest::newRow("accepted over IPv4") << head + rootListens + row(v4Server, v4Client, "01", 0) + ownEnd << head << 0;
    QTest::newRow("waiting in the accept queue of another user") << head + row(v4Server, v4Client, "01", 100000) + ownEnd << head << 100000;
    QTest::newRow("accepted by a socket for IPv4 and IPv6") << head + ownEnd << head + row(v6Server, v6Client, "01", 1000) << 1000;
    QTest::newRow("an IPv6-only stranger beside root") << head + rootListens + row(v4Server, v4Client, "01", 0) + ownEnd
        << head + row("00000000000000000000000000000000:21AB", "00000000000000000000000000000000:0000", "0A", 1001) << 0;
    QTest::newRow("only the listeners and the board's own end") << head + rootListens + ownEnd << head << -1;
    QTest::newRow("another client's connection") << head + row(v4Server, "0100007F:D432", "01", 1001) << head << -1;
    QTest::newRow("an earlier connection in TIME_WAIT") << head + row(v4Server, v4Client, "06", 0) << head << -1;
    QTest::newRow("no tables") << QByteArray() << QByteArray() << -1;
    // clang-format on
}

void TestNetworkState::acceptingOwner()
{
    QFETCH(QByteArray, tcp);
    QFETCH(QByteArray, tcp6);
    QFETCH(int, owner);
    const std::optional<uint> seen = acceptingSocketOwner(tcp, tcp6, 8619, 54321);
    QCOMPARE(seen ? int(*seen) : -1, owner);
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

// The whole check as the board makes it before a refresh: a listener it
// trusts and its health decide; nothing listening gets the service started;
// another person's listener is never read.
void TestNetworkState::boardIsOnline_data()
{
    // clang-format off
    QTest::addColumn<QString>("listener"); // "none", "own", "stranger", "own and IPv6-only stranger"
    QTest::addColumn<uint>("stranger");    // the stranger's uid
    QTest::addColumn<int>("health");       // what /health answers
    QTest::addColumn<bool>("starts");      // whether the service can be started
    QTest::addColumn<OfflineCause>("cause"); // None: online
    QTest::addColumn<int>("starterCalls");
    const OfflineCause online = OfflineCause::None;
    const OfflineCause notRunning = OfflineCause::ServiceNotRunning;
    const OfflineCause noNetwork = OfflineCause::NoNetwork;
    const OfflineCause held = OfflineCause::PortHeldByOther;

    QTest::newRow("nothing listens, nothing to start") << "none" << 0u << 200 << false << notRunning << 1;
    QTest::newRow("nothing listens, the service starts") << "none" << 0u << 200 << true << online << 1;
    QTest::newRow("nothing listens, it starts with nothing to serve") << "none" << 0u << 503 << true << noNetwork << 1;
    QTest::newRow("the board's own service") << "own" << 0u << 200 << false << online << 0;
    QTest::newRow("its own service, nothing to serve") << "own" << 0u << 503 << false << noNetwork << 0;
    QTest::newRow("another person's listener") << "stranger" << 4242u << 200 << true << held << 0;
    QTest::newRow("a subordinate uid's listener") << "stranger" << 100000u << 200 << true << held << 0;
    QTest::newRow("a listener shown as the overflow uid") << "stranger" << 65534u << 200 << true << held << 0;
    QTest::newRow("an IPv6-only stranger beside its own service") << "own and IPv6-only stranger" << 4242u << 200 << false << online << 0;
    // clang-format on
}

void TestNetworkState::boardIsOnline()
{
    QFETCH(QString, listener);
    QFETCH(uint, stranger);
    QFETCH(int, health);
    QFETCH(bool, starts);
    QFETCH(OfflineCause, cause);
    QFETCH(int, starterCalls);

    const quint16 port = unusedLoopbackPort();
    LoopbackHttpServer service;
    service.serve(QStringLiteral("/health"), "health\n", health, "text/plain");
    if (listener.startsWith(QLatin1String("own")))
        QVERIFY(service.listen(port));
    pid_t strangerPid = -1;
    if (stranger != 0) {
        if (::getuid() != 0)
            QSKIP("listening as another user needs root");
        strangerPid = listenAsAnotherUser(port, stranger, listener != QLatin1String("stranger"));
        QVERIFY(strangerPid > 0);
    }
    int calls = 0;
    const bool result = ::boardIsOnline(port, [&] {
        ++calls;
        return starts && service.listen(port);
    });
    if (strangerPid > 0) {
        ::kill(strangerPid, SIGKILL);
        ::waitpid(strangerPid, nullptr, 0);
    }
    QCOMPARE(result, cause == OfflineCause::None);
    QCOMPARE(lastOfflineCause(), cause);
    QCOMPARE(calls, starterCalls);
    QVERIFY(service.requests().isEmpty() || listener != QLatin1String("stranger"));
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

QTEST_GUILESS_MAIN(TestNetworkState)
#include "tst_networkstate.moc"
