#pragma once

// Helpers shared by the test executables.
//
//  - LoopbackHttpServer: a scriptable HTTP/1.1 server on 127.0.0.1, run on
//    the test's own thread (it answers while the code under test waits in a
//    local event loop).
//  - fixturePath / readFixture: files under the suite's fixtures folder
//    (environment variable WEATHER_FIXTURES, set by weather_add_test).
//  - unusedLoopbackPort: a port on 127.0.0.1 that nothing listens on.
//  - toString(FieldValue): lets QCOMPARE print field values.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>

class DataControl;
class FieldValue;
class QTcpServer;
class QTcpSocket;

// One request as the server received it.
struct HttpRequest
{
    QByteArray method; // "GET"
    QString path; // "/forecastrss", as sent
    QString query; // "p=SAXX0017&u=c", without '?'; empty if none
    QList<QPair<QByteArray, QByteArray>> headers; // in the order received
    QByteArray body;

    // path, plus '?' and the query when there is one.
    QString target() const;
    // The first header of that name (case-insensitive), empty if none.
    QByteArray header(const QByteArray &name) const;
};

// What a handler answers. Content-Length and "Connection: close" are added
// by the server.
struct HttpResponse
{
    int status = 200;
    QByteArray contentType = "text/xml; charset=utf-8";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // extra headers, e.g. Location
};

// Scripts are set per target. A target with a query ("/forecastrss?p=X&u=c")
// matches that path and query exactly; a target without one ("/forecastrss")
// matches its path with any query that has no exact script of its own.
// A later script for the same target replaces the earlier one. Requests
// without a script are answered 404. Every connection carries one request
// and is closed after the answer.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    explicit LoopbackHttpServer(QObject *parent = nullptr);
    ~LoopbackHttpServer() override;

    // Listens on 127.0.0.1 only; port 0 takes any free port.
    bool listen(quint16 port = 0);
    // Stops listening, as a service that ends; connections under way are
    // still answered.
    void close();
    // Speaks HTTP over TLS from now on, with this certificate and its EC
    // key (PEM files); before listen(). A client that refuses the
    // certificate leaves no request.
    bool useTls(const QString &certificatePath, const QString &keyPath);
    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by the target ("/forecastrss?p=X").
    QUrl url(const QString &target) const;

    // Answers with a fixed status, content type and body.
    void serve(const QString &target, const QByteArray &body, int status = 200,
               const QByteArray &contentType = "text/xml; charset=utf-8");
    // Answers with whatever the handler returns for the request.
    void handle(const QString &target, Handler handler);
    // Reads the request and never answers; the connection stays open until
    // the client closes it.
    void hang(const QString &target);
    // Answers 200 and then sends one blank every `intervalMs`, for ever.
    void trickle(const QString &target, int intervalMs = 100);
    // Answers 200 with a body of `mebibytes` MiB of blanks, written as fast
    // as the client takes them. With announceLength the answer carries
    // its Content-Length; without, the end of the body is the closing of the
    // connection.
    void huge(const QString &target, int mebibytes, bool announceLength = true);
    // Closes the connection as soon as the request is read, answering nothing.
    void closeImmediately(const QString &target);
    // Writes `bytes` exactly as given (status line and headers included),
    // then closes the connection, with a reset when `reset` is set.
    void raw(const QString &target, const QByteArray &bytes, bool reset = false);
    // Removes every script.
    void clearScripts();

    // The requests received so far, in order.
    QList<HttpRequest> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }
    // Body bytes written to all clients so far (status line and headers not
    // counted). Shows how much of a huge or trickled body a client took.
    qint64 bodyBytesSent() const { return m_bodyBytesSent; }

signals:
    void requestReceived(const HttpRequest &request);

private:
    enum class Mode { Serve, Handle, Hang, Trickle, Huge, Close, Raw };
    struct Script
    {
        Mode mode = Mode::Serve;
        HttpResponse response;
        Handler handler;
        int intervalMs = 100;
        qint64 bytes = 0;
        bool announceLength = true;
        QByteArray raw;
        bool reset = false;
    };

    void onNewConnection();
    void dispatch(QTcpSocket *socket, const HttpRequest &request);
    void writeResponse(QTcpSocket *socket, const HttpResponse &response);
    void startTrickle(QTcpSocket *socket, int intervalMs);
    void startHuge(QTcpSocket *socket, qint64 bytes, bool announceLength);
    const Script *scriptFor(const HttpRequest &request) const;

    QTcpServer *m_server = nullptr;
    QHash<QString, Script> m_scripts;
    QList<HttpRequest> m_requests;
    qint64 m_bodyBytesSent = 0;
};

// The path of a file under the suite's fixtures folder.
QString fixturePath(const QString &relativePath);
// The whole content of a fixture file; empty (with a warning) if unreadable.
QByteArray readFixture(const QString &relativePath);
// A port on 127.0.0.1 that was free a moment ago; connecting to it is refused.
quint16 unusedLoopbackPort();

// Sleeps in an event loop of its own for that long: servers of the caller
// answer meanwhile, and nothing wakes the machine in vain.
void sleepInEventLoop(int milliseconds);
// Sleeps so, a twentieth of a second at a time, until the condition holds;
// false when it did not within the time given.
bool waitUntil(const std::function<bool()> &condition, int milliseconds);

// Binds a data control to the store at storePath with a statement (every
// row of wt unless given) and runs it; whether it ran.
bool openRows(DataControl &data, const QString &storePath,
              const QString &statement = QStringLiteral("select * from wt"));
// A feed document of about `bytes` bytes in one of the forms that once
// talked the screen's count of attributes past, its one element holding as
// many attributes as fit: "dtd-comment" and "dtd-instruction" put them
// behind a quote in a comment or an instruction of a document type,
// "dtd-defaults" makes them default attributes of that document type, and
// "utf16" writes them in UTF-16 with names whose encoding holds the byte of
// '>'.
QByteArray attributesTalkedPast(const QByteArray &form, qint64 bytes);

// QCOMPARE prints FieldValues with this (found by argument-dependent lookup).
char *toString(const FieldValue &value);
