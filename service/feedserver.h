#pragma once

#include <QHostAddress>
#include <QObject>
#include <QSet>

#include <map>

class FeedConnection;
class ForecastSource;
struct ServedDocument;
class LocationTable;
class QTcpServer;
class QTimer;

// The HTTP/1.1 surface of the feed service:
//   GET /forecastrss?p=<location id>&u=c|f
//     200 text/xml; charset=utf-8 with the city's document, or the error
//         document when the location id is not in the table;
//     503 text/plain with Retry-After when the source has no document (the
//         end of the upstream's pause, or a minute when that is not known);
//     A document carries ETag, Last-Modified and Cache-Control (max-age
//     until it can change), and a conditional GET (If-None-Match,
//     If-Modified-Since) whose copy is current is answered 304;
//   GET /health
//     200 text/plain while documents can be served, fresh or stale; 503 with
//         a one-line reason when nothing can (the board then shows itself
//         offline instead of clearing its rows);
//   GET /metrics
//     200 with the service's counters in Prometheus' text format: its
//         version, what was asked of the upstream, and what was served;
//   400 for a request that cannot be read or a bad query, 404 for any other
//   path, 405 for any method but GET and HEAD.
//
// Connections are kept alive and answer one request after the other, in
// order. A client gets a few seconds to send a complete request head, and a
// kept-alive connection that stays idle is closed after a little longer.
// The number of open connections is bounded; when the bound is reached, the
// connection that has waited longest for a request head is closed to make
// room, so that clients holding connections open without asking cannot keep
// anybody else out. Only when every connection is busy with a request do
// further clients wait in the listen backlog. A client that does not read
// its answers stops being read from.
class FeedServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaximumConnections = 256;
    static constexpr int HeadTimeoutMs = 5000;
    static constexpr int IdleTimeoutMs = 10000;
    // Connections the kernel completes while the service is busy wait here
    // instead of being turned away (the kernel may cap it lower).
    static constexpr int ListenBacklog = 4096;

    // The table and the source must outlive the server.
    FeedServer(const LocationTable &locations, ForecastSource *source, QObject *parent = nullptr);
    ~FeedServer() override;

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 8619);
    // Serves on a socket that is already listening, such as one handed over
    // by the service manager. The server takes it over.
    bool setSocketDescriptor(qintptr descriptor);
    QHostAddress address() const;
    quint16 port() const;
    QString errorString() const;

    int openConnections() const { return int(m_connections.size()); }

    // At most MaximumConnections; lower where open files are scarce.
    void setConnectionLimit(int limit) { m_connectionLimit = qBound(1, limit, MaximumConnections); }
    int connectionLimit() const { return m_connectionLimit; }

    // For tests that cannot wait the real time-outs.
    void setTimeouts(int headMs, int idleMs)
    {
        m_headTimeoutMs = headMs;
        m_idleTimeoutMs = idleMs;
    }

    // idleTimeout() is emitted once no request has come for this long, no
    // connection is open and the source is not busy (a wave under way);
    // 0, the default, never. When the interval has passed with a
    // connection open or the source busy, it is looked at again every
    // IdleRecheckMs at most. The server stops accepting as it is emitted,
    // for good: later clients wait in the listen queue, for whoever serves
    // the socket next.
    void setIdleInterval(int ms);
    static constexpr int IdleRecheckMs = 5000;

Q_SIGNALS:
    void idleTimeout();

private:
    friend class FeedConnection;
    void connectionClosed(FeedConnection *connection);
    void connectionWaiting();
    void requestArrived();
    quint64 startedWaiting(FeedConnection *connection);
    void stoppedWaiting(quint64 number);
    bool closeLongestWaiting();
    void onNewConnection();
    void onAcceptError();
    void onIdle();
    void setUp();
    void documentServed(const ServedDocument &served);
    QByteArray metrics() const;

    const LocationTable &m_locations;
    ForecastSource *m_source;
    QTcpServer *m_server;
    // The open connections. Kept here, not looked up among the children:
    // a FeedConnection has no meta-object of its own, so findChildren would
    // take every child for one, the listening socket too.
    QSet<FeedConnection *> m_connections;
    int m_connectionLimit = MaximumConnections;
    int m_headTimeoutMs = HeadTimeoutMs;
    int m_idleTimeoutMs = IdleTimeoutMs;
    // The connections waiting for a request head, numbered in the order
    // they began to wait: the first has waited longest.
    std::map<quint64, FeedConnection *> m_waiting;
    quint64 m_waitingNumbers = 0;
    bool m_acceptingPaused = false;
    bool m_acceptFailing = false;
    QTimer *m_acceptRetry;
    QTimer *m_idleTimer;
    int m_idleIntervalMs = 0;
    bool m_destroying = false;
    bool m_stopped = false; // by the idle exit
    quint64 m_documentsFresh = 0;
    quint64 m_documentsStale = 0;
    quint64 m_cacheHits = 0;
};
