#pragma once

#include "feed/feedreading.h"

#include <QDomDocument>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QUrl>

#include <optional>

class QEventLoop;
class QNetworkAccessManager;

// Fetches a forecast feed and parses it into a DOM document, waiting for it
// in a local event loop on the calling thread: timers, clicks and the wind
// arrow go on running while a feed loads, and load() returns when the
// document is in.
//
// Every failure gives an empty document (no channel in it), so the caller
// needs no error path: an address that is empty or not http/https, a network
// error, an answer other than 2xx, no complete answer within the time-out
// (the whole transfer, not just a pause), a body over MaximumBytes, XML that
// is not well-formed or fails the screen of documentscreen.h (entities,
// depth, element count, attributes, value length), or abort().
//
// The document is parsed without namespace processing, so elements keep
// their qualified names as written ("yweather:condition").
class DocumentLoader : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTimeoutMs = 20000;
    static constexpr qint64 MaximumBytes = 2 * 1024 * 1024;
    static constexpr int MaximumRedirects = 5;

    // With a network access manager of its own.
    explicit DocumentLoader(QObject *parent = nullptr);
    // With the given manager, which must outlive the loader.
    explicit DocumentLoader(QNetworkAccessManager *manager, QObject *parent = nullptr);
    ~DocumentLoader() override;

    // Loads and parses the document at `address` (a feed address as stored).
    // Only one load runs at a time: a load started while another one waits
    // returns an empty document at once.
    QDomDocument load(const QUrl &address);
    QDomDocument load(const QString &address);
    // Loads the same way and reads every channel (readChannels); empty for a
    // failed load. Parsing and reading both run on a worker thread.
    QList<ChannelReadings> loadChannels(const QUrl &address);

    // Bounds the whole transfer, redirects included.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeout() const { return m_timeoutMs; }

    bool isWaiting() const { return m_waitLoop != nullptr; }

public slots:
    // Ends a load that is waiting, at once, with an empty document.
    // Does nothing when no load is waiting.
    void abort();

private:
    // The body of a good answer; nothing for a failure of any kind.
    std::optional<QByteArray> fetch(const QUrl &address);
    // Waits in a local loop, abortable, for work on another thread.
    template <typename T>
    std::optional<T> whileWaiting(const QFuture<T> &work);

    QNetworkAccessManager *m_manager = nullptr;
    int m_timeoutMs = DefaultTimeoutMs;
    QEventLoop *m_waitLoop = nullptr;
    bool m_aborted = false;
};

// Parses a fetched body the way load() does: an empty document when the body
// is not well-formed XML or fails the screen. Safe to call on any thread.
QDomDocument parseFeedDocument(const QByteArray &body);
