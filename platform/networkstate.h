#pragma once

#include <QByteArray>

#include <functional>
#include <optional>

// Whether anything accepts connections on this loopback port within
// timeoutMs (a socket unit that listens there counts). It blocks: for
// start-up and tests, not for the window's refresh.
bool loopbackPortListening(quint16 port, int timeoutMs = 200);

// What the feed service on this machine says of itself.
enum class FeedServiceState {
    NotListening, // nothing accepts connections on its port
    Serving, // it answered its health check with anything but 503, or not in time
    NothingToServe, // 503: it cannot reach its upstream and has nothing left to serve
    Untrusted, // somebody the board does not trust took the connection: not asked
};

// Connects to the feed service on this loopback port, judges who accepted
// that connection (isTrustedListenerOwner), and asks a listener it trusts
// GET /health on it, waiting at most timeoutMs in all. The wait runs a local
// event loop, so the window goes on painting and ticking meanwhile. A server
// without that path answers 404, which counts as serving, as does one that
// gives no answer in time: then the feed loads decide. The wait defers clicks
// and keys to its end, so that none of them starts anything in the middle of
// the board's refresh. For Untrusted, *owner is the owner seen (65534 when
// it could not be told).
FeedServiceState feedServiceState(quint16 port, int timeoutMs = 500, uint *owner = nullptr);

// The owner (user id) of the server side of the board's connection from
// 127.0.0.1:clientPort to 127.0.0.1:port, from the text of the kernel's socket
// tables (/proc/net/tcp and /proc/net/tcp6): the socket that accepted it,
// which carries the uid of the listener it came from. Every other row is
// passed over: listeners, the client's own end, other connections, and
// sockets in TIME_WAIT, whose uid the kernel prints as 0. Nothing when no
// such row is found.
std::optional<uint> acceptingSocketOwner(const QByteArray &procNetTcp, const QByteArray &procNetTcp6, quint16 port,
                                         quint16 clientPort);

// Whether a listener owned by `owner` may feed the board of user `self`:
// root (systemd's socket is root's, whatever user its service then runs as)
// or the board's own user, and nobody else. No range of ids is safe: every
// account gets subordinate ids to serve as in a user namespace, and inside
// one, every owner that is not mapped shows as the overflow id 65534, which
// therefore names nobody in particular and is never trusted.
bool isTrustedListenerOwner(uint owner, uint self);

// The board's online check. The feed service answers on this machine's
// loopback; its word counts when the board trusts who accepted the check's
// connection: online unless it has nothing to serve. When nothing listens,
// `startService` (when given) may start one, and the check looks again.
// Nothing the board trusts listening counts as offline: the board then keeps
// its rows, as it does when the service has nothing to serve.
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
