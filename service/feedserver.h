#pragma once

#include <QHostAddress>
#include <QObject>
#include <QSet>

class FeedConnection;
class ForecastSource;
class LocationTable;
class QTcpServer;

// The HTTP/1.1 surface of the feed service:
//   GET /forecastrss?p=<location id>&u=c|f
//     200 text/xml; charset=utf-8 with the city's document, or the error
//         document when the location id is not in the table;
//     503 text/plain with Retry-After when the source has no document (the
//         end of the upstream's pause, or a minute when that is not known);
//   GET /health
//     200 text/plain while documents can be served, fresh or stale; 503 with
//         a one-line reason when nothing can (the board then shows itself
//         offline instead of clearing its rows);
//   400 for a request that cannot be read or a bad query, 404 for any other
//   path, 405 for any method but GET and HEAD.
//
// Connections are kept alive and answer one request after the other, in
// order. The number of open connections is bounded (further clients wait
// in the listen backlog), a connection that sends no complete request head
// within ten seconds, or stays idle for a minute, is closed, and a client
// that does not read its answers stops being read from.
class FeedServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaximumConnections = 256;
    static constexpr int HeadTimeoutMs = 10000;
    static constexpr int IdleTimeoutMs = 60000;

    // The table and the source must outlive the server.
    FeedServer(const LocationTable &locations, ForecastSource *source, QObject *parent = nullptr);
    ~FeedServer() override;

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 8619);
    quint16 port() const;
    QString errorString() const;

    int openConnections() const { return int(m_connections.size()); }

    // For tests that cannot wait the real time-outs.
    void setTimeouts(int headMs, int idleMs)
    {
        m_headTimeoutMs = headMs;
        m_idleTimeoutMs = idleMs;
    }

private:
    friend class FeedConnection;
    void connectionClosed(FeedConnection *connection);
    void onNewConnection();

    const LocationTable &m_locations;
    ForecastSource *m_source;
    QTcpServer *m_server;
    // The open connections. Kept here, not looked up among the children:
    // a FeedConnection has no meta-object of its own, so findChildren would
    // take every child for one, the listening socket too.
    QSet<FeedConnection *> m_connections;
    int m_headTimeoutMs = HeadTimeoutMs;
    int m_idleTimeoutMs = IdleTimeoutMs;
    bool m_destroying = false;
};
