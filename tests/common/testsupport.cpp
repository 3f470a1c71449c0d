#include "testsupport.h"

#include "platform/datacontrol.h"

#include "platform/fieldvalue.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QSslKey>
#include <QSslServer>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

#include <sys/socket.h>

namespace {

constexpr qint64 HugeChunkBytes = 64 * 1024;
// Keep no more than this queued in the socket; the rest is written as the
// client takes it, so a 50 MiB body never sits in memory.
constexpr qint64 HugeQueueBytes = 256 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray statusHead(int status, const QByteArray &contentType)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\nContent-Type: " + contentType
        + "\r\nConnection: close\r\n";
}

// Takes one complete request off the front of `buffer`, or nothing while it
// is still incomplete.
std::optional<HttpRequest> takeRequest(QByteArray &buffer)
{
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return std::nullopt;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');

    HttpRequest request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    const QByteArray target = requestLine.value(1);
    const qsizetype question = target.indexOf('?');
    request.path = QString::fromLatin1(question < 0 ? target : target.left(question));
    request.query = question < 0 ? QString() : QString::fromLatin1(target.mid(question + 1));

    qint64 contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        request.headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            contentLength = value.toLongLong();
    }
    const qint64 total = headEnd + 4 + contentLength;
    if (buffer.size() < total)
        return std::nullopt;
    request.body = buffer.mid(headEnd + 4, contentLength);
    buffer.remove(0, total);
    return request;
}

} // namespace

QString HttpRequest::target() const
{
    return query.isEmpty() ? path : path + u'?' + query;
}

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return {};
}

LoopbackHttpServer::LoopbackHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
}

LoopbackHttpServer::~LoopbackHttpServer() = default;

bool LoopbackHttpServer::listen(quint16 port)
{
    return m_server->listen(QHostAddress(QHostAddress::LocalHost), port);
}

void LoopbackHttpServer::close()
{
    m_server->close();
}

bool LoopbackHttpServer::useTls(const QString &certificatePath, const QString &keyPath)
{
    QFile certificate(certificatePath);
    QFile key(keyPath);
    if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
        return false;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(&certificate));
    configuration.setPrivateKey(QSslKey(&key, QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto *server = new QSslServer(this);
    server->setSslConfiguration(configuration);
    delete m_server;
    m_server = server;
    // A connection is pending only once its handshake is done.
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &LoopbackHttpServer::onNewConnection);
    return !configuration.localCertificate().isNull() && !configuration.privateKey().isNull();
}

quint16 LoopbackHttpServer::port() const
{
    return m_server->serverPort();
}

QUrl LoopbackHttpServer::url(const QString &target) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()) + target);
}

void LoopbackHttpServer::serve(const QString &target, const QByteArray &body, int status, const QByteArray &contentType)
{
    Script script;
    script.mode = Mode::Serve;
    script.response.status = status;
    script.response.contentType = contentType;
    script.response.body = body;
    m_scripts.insert(target, script);
}

void LoopbackHttpServer::handle(const QString &target, Handler handler)
{
    Script script;
    script.mode = Mode::Handle;
    script.handler = std::move(handler);
    m_scripts.insert(target, script);
}

void LoopbackHttpServer::hang(const QString &target)
{
    Script script;
    script.mode = Mode::Hang;
    m_scripts.insert(target, script);
}

void LoopbackHttpServer::trickle(const QString &target, int intervalMs)
{
    Script script;
    script.mode = Mode::Trickle;
    script.intervalMs = intervalMs;
    m_scripts.insert(target, script);
}

void LoopbackHttpServer::huge(const QString &target, int mebibytes, bool announceLength)
{
    Script script;
    script.mode = Mode::Huge;
    script.bytes = qint64(mebibytes) * 1024 * 1024;
    script.announceLength = announceLength;
    m_scripts.insert(target, script);
}

void LoopbackHttpServer::closeImmediately(const QString &target)
{
    Script script;
    script.mode = Mode::Close;
    m_scripts.insert(target, script);
}

void LoopbackHttpServer::raw(const QString &target, const QByteArray &bytes, bool reset)
{
    Script script;
    script.mode = Mode::Raw;
    script.raw = bytes;
    script.reset = reset;
    m_scripts.insert(target, script);
}

void LoopbackHttpServer::clearScripts()
{
    m_scripts.clear();
}

const LoopbackHttpServer::Script *LoopbackHttpServer::scriptFor(const HttpRequest &request) const
{
    auto exact = m_scripts.constFind(request.target());
    if (exact != m_scripts.constEnd())
        return &exact.value();
    auto byPath = m_scripts.constFind(request.path);
    if (byPath != m_scripts.constEnd())
        return &byPath.value();
    return nullptr;
}

void LoopbackHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        const auto read = [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (const std::optional<HttpRequest> request = takeRequest(*buffer)) {
                // One request per connection: whatever follows is ignored.
                disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
                connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
                m_requests.append(*request);
                emit requestReceived(*request);
                dispatch(socket, *request);
            }
        };
        connect(socket, &QTcpSocket::readyRead, this, read);
        // Over TLS, the request may have come with the end of the handshake.
        if (socket->bytesAvailable() > 0)
            read();
    }
}

void LoopbackHttpServer::dispatch(QTcpSocket *socket, const HttpRequest &request)
{
    const Script *script = scriptFor(request);
    if (!script) {
        HttpResponse notFound;
        notFound.status = 404;
        notFound.contentType = "text/plain";
        notFound.body = "no script for " + request.target().toUtf8();
        writeResponse(socket, notFound);
        return;
    }
    switch (script->mode) {
    case Mode::Serve:
        writeResponse(socket, script->response);
        break;
    case Mode::Handle: {
        const Handler handler = script->handler; // the handler may rescript
        writeResponse(socket, handler(request));
        break;
    }
    case Mode::Hang:
        break;
    case Mode::Trickle:
        startTrickle(socket, script->intervalMs);
        break;
    case Mode::Huge:
        startHuge(socket, script->bytes, script->announceLength);
        break;
    case Mode::Close:
        socket->close();
        break;
    case Mode::Raw:
        socket->write(script->raw);
        if (script->reset) {
            // Lingering for no time turns the close into a reset.
            socket->waitForBytesWritten(1000);
            const linger now = {1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
            socket->abort();
        } else {
            socket->disconnectFromHost();
        }
        break;
    }
}

void LoopbackHttpServer::writeResponse(QTcpSocket *socket, const HttpResponse &response)
{
    QByteArray head = statusHead(response.status, response.contentType);
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    for (const auto &header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    socket->write(head + "\r\n" + response.body);
    m_bodyBytesSent += response.body.size();
    socket->disconnectFromHost();
}

void LoopbackHttpServer::startTrickle(QTcpSocket *socket, int intervalMs)
{
    socket->write(statusHead(200, "text/xml; charset=utf-8") + "\r\n");
    auto *timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, this, [this, socket] {
        socket->write(" ", 1);
        ++m_bodyBytesSent;
    });
    timer->start(intervalMs);
}

void LoopbackHttpServer::startHuge(QTcpSocket *socket, qint64 bytes, bool announceLength)
{
    QByteArray head = statusHead(200, "text/xml; charset=utf-8");
    if (announceLength)
        head += "Content-Length: " + QByteArray::number(bytes) + "\r\n";
    socket->write(head + "\r\n");

    auto remaining = std::make_shared<qint64>(bytes);
    const QByteArray chunk(HugeChunkBytes, ' ');
    const auto pump = [this, socket, remaining, chunk] {
        while (*remaining > 0 && socket->bytesToWrite() < HugeQueueBytes) {
            const qint64 size = qMin(*remaining, HugeChunkBytes);
            socket->write(chunk.constData(), size);
            *remaining -= size;
            m_bodyBytesSent += size;
        }
        if (*remaining == 0 && socket->state() == QAbstractSocket::ConnectedState)
            socket->disconnectFromHost();
    };
    connect(socket, &QTcpSocket::bytesWritten, this, pump);
    pump();
}

QString fixturePath(const QString &relativePath)
{
    return QDir(qEnvironmentVariable("WEATHER_FIXTURES")).filePath(relativePath);
}

QByteArray readFixture(const QString &relativePath)
{
    QFile file(fixturePath(relativePath));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "cannot read fixture" << file.fileName();
        return {};
    }
    return file.readAll();
}

QByteArray attributesTalkedPast(const QByteArray &form, qint64 bytes)
{
    // Attributes (as the form writes them) between head and tail, as many
    // as fit in `bytes` bytes of the document.
    const auto fill = [bytes](QString document, const QString &tail, const char16_t *attribute, int bytesPerChar) {
        for (int i = 0;; ++i) {
            const QString next = QString::fromUtf16(attribute).arg(i);
            if ((document.size() + next.size() + tail.size()) * bytesPerChar + 2 > bytes)
                return document + tail;
            document += next;
        }
    };
    if (form == "utf16") {
        // U+013E is 3E 01 in UTF-16LE.
        return QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)(
            fill(QStringLiteral("<rss><channel"), QStringLiteral("/></rss>"), u" \u013e%1=''", 2));
    }
    if (form == "dtd-defaults")
        return fill(QStringLiteral("<!DOCTYPE rss [<!ATTLIST channel"), QStringLiteral(">]><rss><channel/></rss>"),
                    u" a%1 CDATA ''", 1)
            .toLatin1();
    const QString head = form == "dtd-comment" ? QStringLiteral("<!DOCTYPE rss [ <!-- ' --> ]><rss><channel")
                                               : QStringLiteral("<!DOCTYPE rss [ <?x ' ?> ]><rss><channel");
    return fill(head, QStringLiteral("/></rss>"), u" a%1=''", 1).toLatin1();
}

quint16 unusedLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress(QHostAddress::LocalHost), 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

char *toString(const FieldValue &value)
{
    QString text;
    QDebug(&text) << value;
    return QTest::toString(text);
}

void sleepInEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()> &condition, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds)
            return false;
        sleepInEventLoop(50);
    }
    return true;
}

bool openRows(DataControl &data, const QString &storePath, const QString &statement)
{
    data.setDatabaseName(storePath);
    data.setRecordSource(statement);
    return data.refresh();
}
