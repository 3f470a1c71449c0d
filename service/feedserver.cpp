#include "feedserver.h"

#include "feedrequest.h"
#include "forecastsource.h"
#include "locationtable.h"
#include "servicelog.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <utility>

#include <sys/socket.h>

namespace {

constexpr char DocumentType[] = "text/xml; charset=utf-8";
constexpr char TextType[] = "text/plain; charset=utf-8";
// Prometheus' text exposition format.
constexpr char MetricsType[] = "text/plain; version=0.0.4; charset=utf-8";

// Stop reading a client's further requests while this much of its answers
// still waits to be sent.
constexpr qint64 MaximumUnsentBytes = 256 * 1024;

// How long a connection that has sent nothing is spared from being closed
// to make room (see FeedConnection::sparedFor).
constexpr qint64 FreshGraceMs = 200;

struct Answer
{
    int status = 200;
    QByteArray contentType = TextType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool close = false;
};

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

Answer textAnswer(int status, const QString &message)
{
    Answer answer;
    answer.status = status;
    answer.body = QByteArray::number(status) + ' ' + reasonPhrase(status) + ": " + message.toUtf8() + '\n';
    return answer;
}

QByteArray httpDate(const QDateTime &time = QDateTime::currentDateTimeUtc())
{
    return QLocale::c().toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
}

// "Sun, 06 Nov 1994 08:49:37 GMT", the one form HTTP/1.1 sends; invalid for
// anything else. Read field by field, in UTC, never through the host's zone.
QDateTime parseHttpDate(const QByteArray &text)
{
    static const QByteArray months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QList<QByteArray> fields = text.simplified().split(' ');
    if (fields.size() != 6 || fields[5] != "GMT")
        return {};
    int month = 0;
    while (month < 12 && months[month] != fields[2])
        ++month;
    const QDate date(fields[3].toInt(), month + 1, fields[1].toInt());
    const QTime time = QTime::fromString(QString::fromLatin1(fields[4]), QStringLiteral("hh:mm:ss"));
    if (month == 12 || !date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

// A strong validator of the document's bytes.
QByteArray entityTag(const QByteArray &body)
{
    return '"' + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex().left(20) + '"';
}

// Whether a conditional GET may be answered 304: If-None-Match decides when
// it is there (a list of tags, or *; weak tags compare by their value),
// else If-Modified-Since against the time the document was written.
bool notModified(const RequestHead &head, const QByteArray &tag, const QDateTime &lastModified)
{
    if (!head.ifNoneMatch.isEmpty()) {
        for (QByteArray candidate : head.ifNoneMatch.split(',')) {
            candidate = candidate.trimmed();
            if (candidate.startsWith("W/"))
                candidate = candidate.mid(2);
            if (candidate == "*" || candidate == tag)
                return true;
        }
        return false;
    }
    if (head.ifModifiedSince.isEmpty() || !lastModified.isValid())
        return false;
    const QDateTime since = parseHttpDate(head.ifModifiedSince);
    return since.isValid() && lastModified.toSecsSinceEpoch() <= since.toSecsSinceEpoch();
}

// An answer with the document, or 304 when the client's copy is current,
// with what HTTP caches need to keep and revalidate it.
Answer documentAnswer(const RequestHead &head, const ServedDocument &served)
{
    Answer answer;
    const QByteArray tag = entityTag(served.body);
    answer.headers.append(qMakePair(QByteArray("ETag"), tag));
    if (served.lastModified.isValid())
        answer.headers.append(qMakePair(QByteArray("Last-Modified"), httpDate(served.lastModified)));
    answer.headers.append(qMakePair(QByteArray("Cache-Control"),
                                    served.maxAgeSeconds >= 0 ? "max-age=" + QByteArray::number(served.maxAgeSeconds)
                                                              : QByteArray("no-cache")));
    if (notModified(head, tag, served.lastModified)) {
        answer.status = 304;
        answer.contentType.clear();
        return answer;
    }
    answer.contentType = DocumentType;
    answer.body = served.body;
    return answer;
}

} // namespace

// One client connection: reads request heads, has each answered in turn and
// writes the answers back.
class FeedConnection : public QObject
{
public:
    FeedConnection(FeedServer *server, QTcpSocket *socket)
        : QObject(server)
        , m_server(server)
        , m_socket(socket)
    {
        socket->setParent(this);
        socket->setReadBufferSize(64 * 1024);
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &FeedConnection::onTimeout);
        connect(socket, &QTcpSocket::readyRead, this, &FeedConnection::readMore);
        connect(socket, &QTcpSocket::bytesWritten, this, &FeedConnection::processRequests);
        connect(socket, &QTcpSocket::disconnected, this, &FeedConnection::finish);
        // The first request head must come soon, like any other.
        m_timer.start(m_server->m_headTimeoutMs);
        m_headDeadlineRunning = true;
        setWaiting(true);
        // A connection that waited in the server's queue may have its request
        // read already; no further readyRead would tell of it.
        if (socket->bytesAvailable() > 0)
            QTimer::singleShot(0, this, &FeedConnection::readMore);
        if (socket->state() != QAbstractSocket::ConnectedState)
            QTimer::singleShot(0, this, &FeedConnection::finish);
    }

    ~FeedConnection() override
    {
        setWaiting(false);
        m_server->connectionClosed(this);
    }

    // Since when the connection has waited for a request head (the server's
    // count), or 0 while it has one to answer.
    quint64 waitingSince() const { return m_waitingSince; }
    bool isBusy() const { return m_busy; }

    // How long a waiting connection is spared before it may be closed to
    // make room: 0 when it can be closed now, -1 until it next waits. A
    // client that has sent part of a head has had its chance; one that has
    // sent nothing yet is given a moment, as a new client may not have got
    // its request out when the next one is accepted. Bytes not read yet,
    // and an answer not all written yet, spare it until they are.
    qint64 sparedFor() const
    {
        if (m_waitingSince == 0 || m_socket->bytesToWrite() > 0)
            return -1;
        if (m_buffer.isEmpty() && m_waiting.elapsed() < FreshGraceMs)
            return FreshGraceMs - m_waiting.elapsed();
        char byte = 0;
        if (m_socket->bytesAvailable() > 0
            || ::recv(int(m_socket->socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0)
            return -1;
        return 0;
    }

private:
    void close()
    {
        setWaiting(false);
        m_closing = true;
        m_socket->abort();
        finish();
    }

    void setWaiting(bool waiting)
    {
        if (waiting == (m_waitingSince != 0))
            return;
        if (waiting) {
            m_waitingSince = m_server->startedWaiting(this);
            m_waiting.start();
        } else {
            m_server->stoppedWaiting(m_waitingSince);
            m_waitingSince = 0;
        }
    }

    void readMore()
    {
        if (m_closing)
            return;
        // Pipelined requests beyond a few heads stay in the socket (and
        // the kernel) until the ones before them are answered.
        if (m_buffer.size() < 2 * MaximumHeadBytes)
            m_buffer += m_socket->read(2 * MaximumHeadBytes - m_buffer.size());
        if (!m_busy && !m_buffer.isEmpty() && !m_headDeadlineRunning) {
            m_headDeadlineRunning = true;
            m_timer.start(m_server->m_headTimeoutMs);
        }
        processRequests();
    }

    void processRequests()
    {
        if (m_processing || m_busy || m_closing)
            return;
        m_processing = true;
        while (!m_busy && !m_closing && m_socket->bytesToWrite() <= MaximumUnsentBytes) {
            if (m_buffer.size() < 2 * MaximumHeadBytes && m_socket->bytesAvailable() > 0)
                m_buffer += m_socket->read(2 * MaximumHeadBytes - m_buffer.size());
            RequestHead head;
            qsizetype consumed = 0;
            const HeadStatus status = parseRequestHead(m_buffer, &head, &consumed);
            if (status == HeadStatus::Incomplete) {
                setWaiting(true);
                m_server->connectionWaiting();
                break;
            }
            setWaiting(false);
            if (status != HeadStatus::Complete) {
                Answer answer = textAnswer(400,
                                           status == HeadStatus::TooLarge
                                               ? QStringLiteral("the request head is too large")
                                               : QStringLiteral("the request cannot be read"));
                answer.close = true;
                send(answer, false);
                break;
            }
            m_buffer.remove(0, consumed);
            m_headDeadlineRunning = false;
            m_server->requestArrived();
            handle(head);
        }
        m_processing = false;
    }

    void handle(const RequestHead &head)
    {
        const bool headOnly = head.method == "HEAD";
        if (head.method != "GET" && !headOnly) {
            Answer answer = textAnswer(405, QStringLiteral("only GET and HEAD are served"));
            answer.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
            answer.close = head.hasBody || !head.keepAlive;
            send(answer, false);
            return;
        }
        if (head.hasBody) {
            // A request body here is unexpected; rather than guess where the
            // next request begins, answer and close.
            Answer answer = textAnswer(400, QStringLiteral("a feed request carries no body"));
            answer.close = true;
            send(answer, headOnly);
            return;
        }

        const FeedRequest request = routeFeedRequest(head.target);
        if (request.kind == FeedRequest::Kind::Health) {
            answerHealth(head.keepAlive, headOnly);
            return;
        }
        if (request.kind == FeedRequest::Kind::Metrics) {
            Answer answer;
            answer.contentType = MetricsType;
            answer.body = m_server->m_source->metrics() + m_server->metrics();
            answer.close = !head.keepAlive;
            send(answer, headOnly);
            return;
        }
        if (request.kind != FeedRequest::Kind::Feed) {
            Answer answer = textAnswer(request.kind == FeedRequest::Kind::NotFound ? 404 : 400, request.reason);
            answer.close = !head.keepAlive;
            send(answer, headOnly);
            return;
        }

        const Location *location = m_server->m_locations.find(request.locationId);
        if (!location) {
            Answer answer;
            answer.contentType = DocumentType;
            answer.body = writeErrorDocument(QString::fromLatin1(head.target));
            answer.close = !head.keepAlive;
            send(answer, headOnly);
            return;
        }

        m_busy = true;
        m_timer.stop();
        QPointer<FeedConnection> self(this);
        const QString id = location->id;
        m_server->m_source->document(
            *location, request.units, [self, head, headOnly, id](const ServedDocument &served) {
                qCDebug(lcForecastd, "%s: %s", qPrintable(id), qPrintable(served.note));
                if (!self)
                    return; // the client went away meanwhile
                const bool keepAlive = head.keepAlive;
                Answer answer;
                if (served.status == ServedDocument::Status::Ok) {
                    self->m_server->documentServed(served);
                    answer = documentAnswer(head, served);
                } else {
                    answer = textAnswer(503, QStringLiteral("no forecast for %1 at the moment").arg(id));
                    const int retryAfter = served.retryAfterSeconds > 0 ? served.retryAfterSeconds : 60;
                    answer.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray::number(retryAfter)));
                }
                answer.close = !keepAlive;
                self->m_busy = false;
                self->send(answer, headOnly);
                self->processRequests();
            });
    }

    // 200 while the source can serve documents, 503 with its reason when not.
    void answerHealth(bool keepAlive, bool headOnly)
    {
        m_busy = true;
        m_timer.stop();
        QPointer<FeedConnection> self(this);
        m_server->m_source->health([self, keepAlive, headOnly](const ServiceHealth &health) {
            if (!self)
                return;
            Answer answer = textAnswer(health.ok ? 200 : 503, health.reason);
            answer.close = !keepAlive;
            self->m_busy = false;
            self->send(answer, headOnly);
            self->processRequests();
        });
    }

    void send(const Answer &answer, bool headOnly)
    {
        QByteArray out;
        out.reserve(answer.body.size() + 256);
        out += "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reasonPhrase(answer.status) + "\r\n";
        out += "Server: forecastd/" FORECASTD_VERSION "\r\n";
        out += "Date: " + httpDate() + "\r\n";
        if (!answer.contentType.isEmpty())
            out += "Content-Type: " + answer.contentType + "\r\n";
        // A 304 has no body, and tells no length of its own.
        if (answer.status != 304)
            out += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
        for (const auto &header : answer.headers)
            out += header.first + ": " + header.second + "\r\n";
        out += answer.close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
        out += "\r\n";
        if (!headOnly)
            out += answer.body;
        m_socket->write(out);
        if (answer.close) {
            m_closing = true;
            m_socket->disconnectFromHost(); // after what is written has gone out
        } else if (!m_busy) {
            m_timer.start(m_buffer.isEmpty() ? m_server->m_idleTimeoutMs : m_server->m_headTimeoutMs);
            m_headDeadlineRunning = !m_buffer.isEmpty();
        }
    }

    void onTimeout()
    {
        if (!m_busy)
            close();
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_closing = true;
        deleteLater();
    }

    FeedServer *m_server;
    QTcpSocket *m_socket;
    QTimer m_timer;
    QByteArray m_buffer;
    bool m_busy = false;
    bool m_processing = false;
    bool m_closing = false;
    bool m_finished = false;
    bool m_headDeadlineRunning = false;
    quint64 m_waitingSince = 0;
    QElapsedTimer m_waiting;
};

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
    if (!m_connections.isEmpty() || m_source->busy()) {
        m_idleTimer->start(std::min(m_idleIntervalMs, IdleRecheckMs));
        return;
    }
    emit idleTimeout();
}
