#include "feedconnection.h"

#include "feedanswer.h"
#include "feedrequest.h"
#include "feedserver.h"
#include "forecastsource.h"
#include "locationtable.h"
#include "servicelog.h"

#include <QPointer>
#include <QTcpSocket>

#include <sys/socket.h>

namespace {

// Stop reading a client's further requests while this much of its answers
// still waits to be sent.
constexpr qint64 MaximumUnsentBytes = 256 * 1024;

// How long a connection that has sent nothing is spared from being closed
// to make room (see FeedConnection::sparedFor).
constexpr qint64 FreshGraceMs = 200;

} // namespace

FeedConnection::FeedConnection(FeedServer *server, QTcpSocket *socket)
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

FeedConnection::~FeedConnection()
{
    setWaiting(false);
    m_server->connectionClosed(this);
}

qint64 FeedConnection::sparedFor() const
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

void FeedConnection::close()
{
    setWaiting(false);
    m_closing = true;
    m_socket->abort();
    finish();
}

void FeedConnection::setWaiting(bool waiting)
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

void FeedConnection::readMore()
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

void FeedConnection::processRequests()
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
            HttpAnswer answer = textAnswer(400,
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

void FeedConnection::handle(const RequestHead &head)
{
    const bool headOnly = head.method == "HEAD";
    if (head.method != "GET" && !headOnly) {
        HttpAnswer answer = textAnswer(405, QStringLiteral("only GET and HEAD are served"));
        answer.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
        answer.close = head.hasBody || !head.keepAlive;
        send(answer, false);
        return;
    }
    if (head.hasBody) {
        // A request body here is unexpected; rather than guess where the
        // next request begins, answer and close.
        HttpAnswer answer = textAnswer(400, QStringLiteral("a feed request carries no body"));
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
        HttpAnswer answer;
        answer.contentType = MetricsType;
        answer.body = m_server->m_source->metrics() + m_server->metrics();
        answer.close = !head.keepAlive;
        send(answer, headOnly);
        return;
    }
    if (request.kind != FeedRequest::Kind::Feed) {
        HttpAnswer answer = textAnswer(request.kind == FeedRequest::Kind::NotFound ? 404 : 400, request.reason);
        answer.close = !head.keepAlive;
        send(answer, headOnly);
        return;
    }

    const Location *location = m_server->m_locations.find(request.locationId);
    if (!location) {
        HttpAnswer answer;
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
    m_server->m_source->document(*location, request.units, [self, head, headOnly, id](const ServedDocument &served) {
        qCDebug(lcForecastd, "%s: %s", qPrintable(id), qPrintable(served.note));
        if (!self)
            return; // the client went away meanwhile
        if (served.status == ServedDocument::Status::Ok)
            self->m_server->documentServed(served);
        const HttpAnswer answer = feedAnswer(head, served, id);
        self->m_busy = false;
        self->send(answer, headOnly);
        self->processRequests();
    });
}

void FeedConnection::answerHealth(bool keepAlive, bool headOnly)
{
    m_busy = true;
    m_timer.stop();
    QPointer<FeedConnection> self(this);
    m_server->m_source->health([self, keepAlive, headOnly](const ServiceHealth &health) {
        if (!self)
            return;
        HttpAnswer answer = textAnswer(health.ok ? 200 : 503, health.reason);
        answer.close = !keepAlive;
        self->m_busy = false;
        self->send(answer, headOnly);
        self->processRequests();
    });
}

void FeedConnection::send(const HttpAnswer &answer, bool headOnly)
{
    m_socket->write(answerBytes(answer, headOnly));
    if (answer.close) {
        m_closing = true;
        m_socket->disconnectFromHost(); // after what is written has gone out
    } else if (!m_busy) {
        m_timer.start(m_buffer.isEmpty() ? m_server->m_idleTimeoutMs : m_server->m_headTimeoutMs);
        m_headDeadlineRunning = !m_buffer.isEmpty();
    }
}

void FeedConnection::onTimeout()
{
    if (!m_busy)
        close();
}

void FeedConnection::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_closing = true;
    deleteLater();
}
