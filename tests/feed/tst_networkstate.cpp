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
// killed, as another person's program would; its pid, or -1.
pid_t listenAsAnotherUser(quint16 port, uid_t uid)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        // The socket belongs to the user who makes it.
        if (::setgid(uid) != 0 || ::setuid(uid) != 0)
            ::_exit(1);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0)
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
    void listenerOwners_data();
    void listenerOwners();
    void trustedOwners_data();
    void trustedOwners();
    void boardIsOnline_data();
    void boardIsOnline();
    void feedService_data();
    void feedService();
};

// Who would take the board's connection to 127.0.0.1:8619 (0x21AB), read
// from the kernel's socket tables as Linux prints them on a little-endian
// machine.
void TestNetworkState::listenerOwners_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("tcp");
    QTest::addColumn<QByteArray>("tcp6");
    QTest::addColumn<QList<uint>>("owners");

    const QByteArray head = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
    const auto row = [](const char *local, const char *state, int uid) {
        return QByteArray("   0: ") + local + " 00000000:0000 " + state + " 00000000:00000000 00:00000000 00000000  "
            + QByteArray::number(uid) + "        0 4242 1 0000000000000000 100 0 0 10 0\n";
    };
    QTest::newRow("127.0.0.1") << head + row("0100007F:21AB", "0A", 1000) << head << QList<uint>{1000};
    QTest::newRow("any IPv4 address") << head + row("00000000:21AB", "0A", 0) << head << QList<uint>{0};
    QTest::newRow("another loopback address") << head + row("0200007F:21AB", "0A", 1000) << head << QList<uint>();
    QTest::newRow("another port") << head + row("0100007F:1F90", "0A", 1000) << head << QList<uint>();
    QTest::newRow("a connection, not a listener") << head + row("0100007F:21AB", "01", 1000) << head << QList<uint>();
    QTest::newRow("any IPv6 address") << head << head + row("00000000000000000000000000000000:21AB", "0A", 1001) << QList<uint>{1001};
    QTest::newRow("IPv6 loopback only") << head << head + row("00000000000000000000000001000000:21AB", "0A", 1001) << QList<uint>();
    QTest::newRow("IPv4-mapped loopback") << head << head + row("0000000000000000FFFF00000100007F:21AB", "0A", 1002) << QList<uint>{1002};
    QTest::newRow("two owners") << head + row("0100007F:21AB", "0A", 0) + row("00000000:21AB", "0A", 1003) << head << QList<uint>{0, 1003};
    QTest::newRow("no tables") << QByteArray() << QByteArray() << QList<uint>();
    // clang-format on
}

void TestNetworkState::listenerOwners()
{
    QFETCH(QByteArray, tcp);
    QFETCH(QByteArray, tcp6);
    QFETCH(QList<uint>, owners);
    QCOMPARE(loopbackListenerOwners(tcp, tcp6, 8619), owners);
}

void TestNetworkState::trustedOwners_data()
{
    QTest::addColumn<QByteArray>("loginDefs");
    QTest::addColumn<uint>("owner");
    QTest::addColumn<bool>("trusted");

    const QByteArray debian = "# comment\nUID_MIN\t\t\t 1000\nUID_MAX\t\t\t60000\nSYS_UID_MAX  999\n";
    QTest::newRow("root") << debian << 0u << true;
    QTest::newRow("the board's own user") << debian << 1000u << true;
    QTest::newRow("another person") << debian << 1001u << false;
    QTest::newRow("the last person's id") << debian << 60000u << false;
    QTest::newRow("a system account") << debian << 110u << true;
    QTest::newRow("a dynamic user of systemd") << debian << 61184u << true;
    QTest::newRow("nobody") << debian << 65534u << true;
    QTest::newRow("login range of its own") << QByteArray("UID_MIN 500\nUID_MAX 2000\n") << 600u << false;
    QTest::newRow("above a narrow login range") << QByteArray("UID_MIN 500\nUID_MAX 2000\n") << 2500u << true;
    QTest::newRow("no login.defs") << QByteArray() << 1500u << false;
}

void TestNetworkState::trustedOwners()
{
    QFETCH(QByteArray, loginDefs);
    QFETCH(uint, owner);
    QFETCH(bool, trusted);
    QCOMPARE(isTrustedListenerOwner(owner, 1000, LoginUids::fromLoginDefs(loginDefs)), trusted);
}

// The whole check as the board makes it before a refresh: a listener it
// trusts and its health decide; nothing listening gets the service started;
// another person's listener is never read.
void TestNetworkState::boardIsOnline_data()
{
    // clang-format off
    QTest::addColumn<QString>("listener"); // "none", "own", "stranger"
    QTest::addColumn<int>("health");       // what /health answers
    QTest::addColumn<bool>("starts");      // whether the service can be started
    QTest::addColumn<bool>("online");
    QTest::addColumn<int>("starterCalls");

    QTest::newRow("nothing listens, nothing to start") << "none" << 200 << false << false << 1;
    QTest::newRow("nothing listens, the service starts") << "none" << 200 << true << true << 1;
    QTest::newRow("nothing listens, it starts with nothing to serve") << "none" << 503 << true << false << 1;
    QTest::newRow("the board's own service") << "own" << 200 << false << true << 0;
    QTest::newRow("its own service, nothing to serve") << "own" << 503 << false << false << 0;
    QTest::newRow("another person's listener") << "stranger" << 200 << true << false << 0;
    // clang-format on
}

void TestNetworkState::boardIsOnline()
{
    QFETCH(QString, listener);
    QFETCH(int, health);
    QFETCH(bool, starts);
    QFETCH(bool, online);
    QFETCH(int, starterCalls);

    const quint16 port = unusedLoopbackPort();
    LoopbackHttpServer service;
    service.serve(QStringLiteral("/health"), "health\n", health, "text/plain");
    if (listener == QLatin1String("own"))
        QVERIFY(service.listen(port));
    pid_t stranger = -1;
    if (listener == QLatin1String("stranger")) {
        if (::getuid() != 0)
            QSKIP("listening as another user needs root");
        stranger = listenAsAnotherUser(port, 4242);
        QVERIFY(stranger > 0);
    }
    int calls = 0;
    const bool result = ::boardIsOnline(port, [&] {
        ++calls;
        return starts && service.listen(port);
    });
    if (stranger > 0) {
        ::kill(stranger, SIGKILL);
        ::waitpid(stranger, nullptr, 0);
    }
    QCOMPARE(result, online);
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
