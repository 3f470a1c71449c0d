#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>

#include <optional>

// The TCP sockets of this machine as the kernel tells of them: the one
// reader of its socket tables (/proc/net/tcp, /proc/net/tcp6) and of its
// socket diagnostics (netlink), for the board's judgement of who listens
// and for the benchmark that compares ways of making it.

// One TCP socket.
struct KernelSocket
{
    QHostAddress address; // the local end
    quint16 port = 0;
    QHostAddress peer; // the remote end; the wildcard for a listener
    quint16 peerPort = 0;
    int state = 0; // the kernel's TCP state: ListeningState for a listener
    uint owner = 0; // the user id of whoever made it
    quint64 inode = 0; // names this very socket while it lives
    // An IPv6 socket that takes no IPv4 connection; the tables do not tell
    // it, and read false.
    bool v6Only = false;
};
inline constexpr int ListeningState = 10; // TCP_LISTEN
inline constexpr int TimeWaitState = 6; // TCP_TIME_WAIT

// The sockets in the text of a kernel socket table. The first line names
// the columns; a line that can't be read is passed over.
QList<KernelSocket> socketsInTable(const QByteArray &table);

// What the socket diagnostics are asked: one family's TCP sockets in the
// given states (a mask of 1 << state) on a local port, every one of them;
// or, with a peer port, the one connection from 127.0.0.1 on that port to
// 127.0.0.1 on `port`.
struct DiagnosticsQuery
{
    quint8 family = 0; // AF_INET or AF_INET6
    quint32 states = 0;
    quint16 port = 0;
    quint16 peerPort = 0;
};

// How one datagram of the kernel's answer reads.
enum class DiagnosticsPart {
    More, // the answer goes on in the next datagram
    Done, // its end: NLMSG_DONE, or the one connection asked for, or its absence
    Failed, // an error answer, a message that tells no socket, or a datagram cut short
};
// Reads one datagram of the answer to the request numbered `sequence`
// (messages of other numbers are passed over), appending the sockets it
// tells to `found`. `dump`: the answer to a dump, which ends in NLMSG_DONE;
// else to the lookup of one connection, which ends with it or with the
// kernel's "no such socket".
DiagnosticsPart readDiagnosticsPart(const QByteArray &datagram, quint32 sequence, bool dump,
                                    QList<KernelSocket> *found);

// Asks the socket diagnostics and reads the whole answer. Nothing when they
// can't be asked or the answer can't be read (an error, a datagram larger
// than the reader takes, no answer within 200 ms); a connection asked for
// that is not there is an empty list.
std::optional<QList<KernelSocket>> askSocketDiagnostics(const DiagnosticsQuery &query);
