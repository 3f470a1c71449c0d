#pragma once

#include <QByteArray>

// Whether the machine has a usable network connection, asked before each
// refresh: true when a network interface other than loopback is up and
// running with an address, or when the routing table has a default route.
// When neither can be looked at, the answer is true and the feed fetch
// itself decides.
bool machineIsOnline();

// Whether something accepts connections on this loopback port, asked for
// at most timeoutMs. The board's feed service lives on the machine itself,
// so a machine without any other network can still reach it.
bool loopbackServiceListening(quint16 port, int timeoutMs = 200);

// Whether a routing table in the form of /proc/net/route holds a default
// route (destination and mask 0.0.0.0) that is up.
bool routeTableHasDefaultRoute(const QByteArray &procNetRoute);
