#pragma once

#include <QByteArray>
#include <QList>

#include <functional>

// Whether anything accepts connections on this loopback port within
// timeoutMs (a socket unit that listens there counts). It blocks: for
// start-up and tests, not for the window's refresh.
bool loopbackPortListening(quint16 port, int timeoutMs = 200);

// What the feed service on this machine says of itself.
enum class FeedServiceState {
    NotListening, // nothing accepts connections on its port
    Serving, // it answered its health check with anything but 503, or not in time
    NothingToServe, // 503: it cannot reach its upstream and has nothing left to serve
};

// Asks the feed service on this loopback port GET /health, waiting at most
// timeoutMs in all. The wait runs a local event loop, so the window goes on
// painting and ticking meanwhile. A server without that path answers 404,
// which counts as serving, as does one that gives no answer in time: then
// the feed loads decide, as before there was a health check. The wait
// defers clicks and keys to its end, so that none of them starts anything
// in the middle of the board's refresh.
FeedServiceState feedServiceState(quint16 port, int timeoutMs = 500);

// The owners (user ids) of the listening TCP sockets that would take a
// connection to 127.0.0.1:port, from the kernel's socket tables (the text
// of /proc/net/tcp and /proc/net/tcp6): those bound to 127.0.0.1 itself or
// to any address, IPv4 or IPv6. Empty when nothing listens there.
QList<uint> loopbackListenerOwners(const QByteArray &procNetTcp, const QByteArray &procNetTcp6, quint16 port);

// The user ids of people who log in: UID_MIN to UID_MAX of /etc/login.defs
// (the text given), 1000 to 60000 where it does not say.
struct LoginUids
{
    uint first = 1000;
    uint last = 60000;

    static LoginUids fromLoginDefs(const QByteArray &text);
};

// Whether a listener owned by `owner` may feed the board of user `self`:
// root, a system account (any id outside the range of people who log in:
// system users, nobody, and systemd's dynamic users), or the board's own
// user. Another person's listener could feed the board whatever it likes.
bool isTrustedListenerOwner(uint owner, uint self, const LoginUids &logins);

// Who listens on the feed service's loopback port, as the board sees it.
enum class FeedListener {
    None, // nothing
    Trusted, // only owners the board trusts
    Untrusted, // somebody else (the first such owner in *owner)
};
FeedListener feedListener(quint16 port, uint *owner = nullptr);

// The board's online check. The feed service answers on this machine's
// loopback; its word counts when the board trusts who listens: online
// unless it has nothing to serve. When nothing listens, `startService` (when
// given) may start one, and the check looks again. Nothing the board trusts
// listening counts as offline: the board then keeps its rows, as it does
// when the service has nothing to serve.
bool boardIsOnline(quint16 feedPort, const std::function<bool()> &startService = {});

// Why the board's online check last said offline, for the person who reads
// the offline notice.
enum class OfflineCause {
    None, // it said online
    NoNetwork, // the feed service cannot reach its upstream and has nothing to serve
    ServiceNotRunning, // nothing listens on the feed port, and none could be started
    PortHeldByOther, // another account's server holds the feed port
};
OfflineCause lastOfflineCause();
