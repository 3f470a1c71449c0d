#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>

#include <functional>
#include <optional>

// Whether anything accepts connections on this loopback port within
// timeoutMs (a socket unit that listens there counts). It blocks: for
// start-up and tests, not for the window's refresh.
bool loopbackPortListening(quint16 port, int timeoutMs = 200);

// One listening TCP socket on a port, as the kernel tells of it.
struct PortListener
{
    QHostAddress address; // the address it is bound to
    // An IPv6 socket that takes no IPv4 connection. The socket tables of
    // /proc do not tell it: from them it is false, and such a socket counts
    // as one that could take the board's connection.
    bool v6Only = false;
    uint owner = 0; // the user id of whoever made it
    quint64 inode = 0; // names this very socket while it lives
};

// Where the board learns who listens on a port. Tests put others in place.
struct ListenerSources
{
    // Every listening TCP socket on the port, of both families, from the
    // kernel's socket diagnostics; nothing when they cannot be asked.
    std::function<std::optional<QList<PortListener>>(quint16 port)> diagnostics;
    // The text of a kernel socket table (/proc/net/tcp, /proc/net/tcp6);
    // nothing when it cannot be read.
    std::function<std::optional<QByteArray>(const QString &path)> readTable;
};
// The kernel's own.
ListenerSources systemListenerSources();
// From now on; an empty function stands for the kernel's own.
void setListenerSources(const ListenerSources &sources);

// The listening sockets on `port` in the text of the kernel's socket tables
// (/proc/net/tcp and /proc/net/tcp6). Every other row is passed over.
QList<PortListener> listenersInTables(const QByteArray &procNetTcp, const QByteArray &procNetTcp6, quint16 port);

// Whether a connection to `address` on the listener's port may reach it:
// bound to that address or to the wildcard of its family, or an IPv6
// socket that takes IPv4 too, bound to [::] or to the address written as
// IPv6 (::ffff:127.0.0.1).
bool takesConnectionsTo(const PortListener &listener, const QHostAddress &address);

// The board's judgement of who holds a loopback port.
enum class ListenerVerdict {
    Trusted, // listened on, by root or the board's own user alone
    Stranger, // somebody else has a listener there
    Nobody, // nothing listens there
    Unknown, // neither the diagnostics nor the tables could tell
};

// Who holds address:port: the listeners that take connections made to it.
// While one of them listens the kernel lets nobody else bind that end (a
// second listener beside it needs SO_REUSEPORT, and the same user), so
// whatever connects there while the same listeners hold it reaches one of
// them, and nobody else.
struct PortHolders
{
    bool known = false; // false: neither the diagnostics nor the tables could tell
    QList<PortListener> listeners;

    ListenerVerdict verdict(uint self) const;
    ListenerVerdict verdict() const; // for this process's user
    // The first owner the board does not trust; 65534 (nobody in
    // particular) when there is none.
    uint stranger(uint self) const;
    uint stranger() const;
    // Known both times, and the very same sockets.
    bool sameAs(const PortHolders &other) const;
};
// Asks the diagnostics, which walk only the port's listeners, and the
// tables only when those cannot be asked: each read of a table walks the
// kernel's whole connection hash (milliseconds, however few sockets it
// holds) and every socket in it.
PortHolders portHolders(const QHostAddress &address, quint16 port);

// What the feed service on this machine says of itself.
enum class FeedServiceState {
    NotListening, // nothing accepts connections on its port
    Serving, // it answered its health check with anything but 503, or not in time
    NothingToServe, // 503: it cannot reach its upstream and has nothing left to serve
    Untrusted, // somebody the board does not trust holds the port: not asked
    OwnerUnknown, // who holds the port cannot be told: not asked
};

// Judges who holds the feed service's loopback port (portHolders), and asks
// a listener it trusts GET /health, waiting at most timeoutMs in all. The
// holders are judged again once the connection stands, before a byte is
// sent: the same sockets must hold the port, or the connection may be
// somebody else's. The wait runs a local event loop, so the window goes on
// painting and ticking meanwhile. A server without that path answers 404,
// which counts as serving, as does one that gives no answer in time: then
// the feed loads decide. The wait defers clicks and keys to its end, so that
// none of them starts anything in the middle of the board's refresh. For
// Untrusted, *owner is the owner seen.
FeedServiceState feedServiceState(quint16 port, int timeoutMs = 500, uint *owner = nullptr);

// Whether a listener owned by `owner` may feed the board of user `self`:
// root (systemd's socket is root's, whatever user its service then runs as)
// or the board's own user, and nobody else. No range of ids is safe: every
// account gets subordinate ids to serve as in a user namespace, and inside
// one, every owner that is not mapped shows as the overflow id 65534, which
// therefore names nobody in particular and is never trusted.
bool isTrustedListenerOwner(uint owner, uint self);

// The board's online check. The feed service answers on this machine's
// loopback; its word counts when the board trusts who holds its port:
// online unless it has nothing to serve. When nothing listens,
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
    OwnerUnknown, // who holds the feed port cannot be told, so nothing is read from it
};
OfflineCause lastOfflineCause();
