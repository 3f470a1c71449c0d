#pragma once

#include <QByteArray>

// Whether the machine has a usable network connection, asked before each
// refresh: true when a network interface other than loopback is up and
// running with an address, or when the routing table has a default route.
// When neither can be looked at, the answer is true and the feed fetch
// itself decides.
bool machineIsOnline();

// Whether a routing table in the form of /proc/net/route holds a default
// route (destination and mask 0.0.0.0) that is up.
bool routeTableHasDefaultRoute(const QByteArray &procNetRoute);

// Whether anything accepts connections on this loopback port within
// timeoutMs (a socket unit that listens there counts). It blocks: for
// start-up and tests, not for the window's refresh.
bool loopbackPortListening(quint16 port, int timeoutMs = 200);

// What the feed service on this machine says of itself.
enum class FeedServiceState {
    NotListening,   // nothing accepts connections on its port
    Serving,        // it answered its health check with anything but 503, or not in time
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

// The board's online check. The feed service answers on this machine's
// loopback, so when it listens its word counts: online unless it has
// nothing to serve. When nothing listens, whether the machine itself has a
// network (machineIsOnline).
bool boardIsOnline(quint16 feedPort);
