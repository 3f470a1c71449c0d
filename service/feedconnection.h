#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class FeedServer;
struct HttpAnswer;
struct RequestHead;
class QTcpSocket;

// One client connection of the feed server: reads request heads, has each
// answered in turn and writes the answers back. It closes itself when the
// client goes, when a head is slow to come, or after an idle while, and
// tells the server (which counts the open connections and may close the
// one that has waited longest to make room).
class FeedConnection : public QObject
{
public:
    // The server takes the connection as its child, and the connection
    // the socket as its own.
    FeedConnection(FeedServer *server, QTcpSocket *socket);
    ~FeedConnection() override;

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
    qint64 sparedFor() const;

private:
    void close();
    void setWaiting(bool waiting);
    void readMore();
    void processRequests();
    void handle(const RequestHead &head);
    // 200 while the source can serve documents, 503 with its reason when not.
    void answerHealth(bool keepAlive, bool headOnly);
    void send(const HttpAnswer &answer, bool headOnly);
    void onTimeout();
    void finish();

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
