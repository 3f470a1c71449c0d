#include "feedserver.h"

#include "feedconnection.h"
#include "forecastsource.h"
#include "servicelog.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

FeedServer::FeedServer(const LocationTable &locations, ForecastSource *source, QObject *parent)
    : QObject(parent)
    , m_locations(locations)
    , m_source(source)
    , m_server(new QTcpServer(this))
    , m_acceptRetry(new QTimer(this))
    , m_idleTimer(new QTimer(this))
{
    // Connections are taken from the server's queue as soon as they come;
    // it fills only while every connection is busy with a request.
    m_server->setMaxPendingConnections(16);
    m_server->setListenBacklogSize(ListenBacklog);
    connect(m_server, &QTcpServer::newConnection, this, &FeedServer::onNewConnection);
    connect(m_server, &QTcpServer::acceptError, this, &FeedServer::onAcceptError);
    m_acceptRetry->setSingleShot(true);
    connect(m_acceptRetry, &QTimer::timeout, this, [this] {
        if (m_stopped)
            return;
        if (m_acceptingPaused)
            onNewConnection();
        else
            m_server->resumeAccepting();
    });
    m_idleTimer->setSingleShot(true);
    connect(m_idleTimer, &QTimer::timeout, this, &FeedServer::onIdle);
}

FeedServer::~FeedServer()
{
    // Connections are children and go with the server; they must not call
    // back into it while it is being destroyed.
    m_destroying = true;
    const QSet<FeedConnection *> connections = m_connections;
    qDeleteAll(connections);
}

bool FeedServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

bool FeedServer::setSocketDescriptor(qintptr descriptor)
{
    return m_server->setSocketDescriptor(descriptor);
}

QHostAddress FeedServer::address() const
{
    return m_server->serverAddress();
}

quint16 FeedServer::port() const
{
    return m_server->serverPort();
}

QString FeedServer::errorString() const
{
    return m_server->errorString();
}

void FeedServer::setIdleInterval(int ms)
{
    m_idleIntervalMs = ms;
    if (ms > 0)
        m_idleTimer->start(ms);
    else
        m_idleTimer->stop();
}

void FeedServer::onNewConnection()
{
    if (m_stopped)
        return;
    while (m_server->hasPendingConnections()) {
        if (m_connections.size() >= m_connectionLimit && !closeLongestWaiting()) {
            // Every connection is busy with a request; the next one done
            // makes room (connectionWaiting, connectionClosed).
            m_acceptingPaused = true;
            m_server->pauseAccepting();
            return;
        }
        QTcpSocket *socket = m_server->nextPendingConnection();
        m_connections.insert(new FeedConnection(this, socket));
        m_acceptFailing = false;
    }
    if (m_acceptingPaused) {
        m_acceptingPaused = false;
        m_server->resumeAccepting();
    }
}

quint64 FeedServer::startedWaiting(FeedConnection *connection)
{
    const quint64 number = ++m_waitingNumbers;
    m_waiting.emplace_hint(m_waiting.end(), number, connection);
    return number;
}

void FeedServer::stoppedWaiting(quint64 number)
{
    m_waiting.erase(number);
}

bool FeedServer::closeLongestWaiting()
{
    qint64 soonest = -1;
    for (const auto &[number, connection] : m_waiting) {
        const qint64 spared = connection->sparedFor();
        if (spared == 0) {
            // At once, so that its descriptor is free for the new client.
            delete connection;
            return true;
        }
        if (spared > 0 && (soonest < 0 || spared < soonest))
            soonest = spared;
    }
    // Try again when the first one spared for a moment can go.
    if (soonest > 0)
        m_acceptRetry->start(int(soonest) + 1);
    return false;
}

void FeedServer::onAcceptError()
{
    // QTcpServer stops accepting for good after an error such as running
    // out of open files. That passes: make room and try again shortly.
    if (!m_acceptFailing)
        qCWarning(lcForecastd, "cannot accept a connection: %s", qPrintable(m_server->errorString()));
    m_acceptFailing = true;
    closeLongestWaiting();
    m_acceptRetry->start(100);
}

void FeedServer::connectionWaiting()
{
    if (m_acceptingPaused && !m_destroying)
        QMetaObject::invokeMethod(this, &FeedServer::onNewConnection, Qt::QueuedConnection);
}

void FeedServer::connectionClosed(FeedConnection *connection)
{
    m_connections.remove(connection);
    connectionWaiting();
}

void FeedServer::requestArrived()
{
    if (m_idleIntervalMs > 0)
        m_idleTimer->start(m_idleIntervalMs);
}

void FeedServer::documentServed(const ServedDocument &served)
{
    ++(served.stale ? m_documentsStale : m_documentsFresh);
    if (served.cacheHit)
        ++m_cacheHits;
}

QByteArray FeedServer::metrics() const
{
    QByteArray out;
    out += "# HELP forecastd_build_info The service's version.\n# TYPE forecastd_build_info gauge\n"
           "forecastd_build_info{version=\"" FORECASTD_VERSION "\"} 1\n";
    out +=
        "# HELP forecastd_documents_served_total Feed documents served, by whether they tell the current quarter hour.\n"
        "# TYPE forecastd_documents_served_total counter\n";
    out += "forecastd_documents_served_total{freshness=\"fresh\"} " + QByteArray::number(m_documentsFresh) + '\n';
    out += "forecastd_documents_served_total{freshness=\"stale\"} " + QByteArray::number(m_documentsStale) + '\n';
    out +=
        "# HELP forecastd_cache_hits_total Feed documents answered from what the service had, without waiting for the upstream.\n"
        "# TYPE forecastd_cache_hits_total counter\n";
    out += "forecastd_cache_hits_total " + QByteArray::number(m_cacheHits) + '\n';
    return out;
}

void FeedServer::onIdle()
{
    // A client still connected may ask again at once; a wave under way
    // would be asked for again by the next service.
    if (!m_connections.isEmpty() || m_server->hasPendingConnections() || m_source->busy()) {
        m_idleTimer->start(std::min(m_idleIntervalMs, IdleRecheckMs));
        return;
    }
    // No more connections are taken from here on: one accepted between now
    // and the exit would be closed unanswered, where in the listen queue it
    // waits for the next start (the socket unit's socket outlives us).
    m_stopped = true;
    m_server->pauseAccepting();
    emit idleTimeout();
}
