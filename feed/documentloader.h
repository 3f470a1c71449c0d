#pragma once

#include "feed/feedreading.h"
#include "platform/networkstate.h"

#include <QDeadlineTimer>
#include <QDomDocument>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>

#include <optional>

class QEventLoop;
class QNetworkAccessManager;
class WorkBudget;

// Fetches a forecast feed and parses it into a DOM document, waiting for it
// in a local event loop on the calling thread: timers, clicks and the wind
// arrow go on running while a feed loads, and load() returns when the
// document is in.
//
// Every failure gives an empty document (no channel in it), so the caller
// needs no error path: an address that is empty or not http/https, a network
// error, an answer other than 2xx, no complete answer and document within
// the time-out (the whole transfer and the work on the body, not just a
// pause), a body over MaximumBytes, XML that is not well-formed or fails the
// screen of documentscreen.h (document type, encoding, depth, element count,
// attributes, value length, work), or abort().
//
// The body is screened, parsed and read on a worker of the loads' own, not
// on the application's global pool, which the application waits for before
// it ends. A load given up (abort(), the time-out, the loader's end) leaves
// its worker to stop by itself at its next check of the work's budget,
// within a few milliseconds, and does not wait for it; only the loader's
// end gives it up to SettleMs to do so.
//
// A load from this machine's loopback (127.0.0.0/8, ::1; localhost stands
// for both) reads nothing unless root or the board's own user holds the
// port: who holds it is judged before the load, and again once the answer
// is in, before a byte of it is read; the very same listening sockets must
// have held the port all along (a redirect's target is judged the same
// way). Otherwise the load gives an empty document, and listenerRefusal()
// says why when somebody else holds the port or its holder can't be told.
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
    // How long the loader's end waits for its given-up work to stop, at most.
    static constexpr int SettleMs = 100;

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
    // failed load. Parsing and reading both run on the worker, within one
    // budget (FeedLimits::MaximumWork). `begun`, when given, is called once
    // the load is allowed (its ends judged) and its request is on its way,
    // and not at all for a load refused before that.
    QList<ChannelReadings> loadChannels(const QUrl &address, const std::function<void()> &begun = {});

    // Bounds the whole load: the transfer, redirects included, and the work.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeout() const { return m_timeoutMs; }

    bool isWaiting() const { return m_waitLoop != nullptr; }

    // Why the last load gave nothing, in a few words for the log ("no
    // answer within 20000 ms", "HTTP 503", "screened: TooManyAttributes",
    // ...); empty after a load that gave a document.
    QString lastFailure() const { return m_failure; }
    // Whether the last load was refused for who holds its loopback port,
    // PortHeldByOther or OwnerUnknown, or found nothing listening there,
    // ServiceNotRunning; None for any other outcome. Each means that the
    // feed service can't be had, for this city and the next.
    OfflineCause listenerRefusal() const { return m_listenerRefusal; }

public slots:
    // Ends a load that is waiting, at once, with an empty document, and
    // gives up its work. Does nothing when no load is waiting.
    void abort();

private:
    // The body of a good answer; nothing for a failure of any kind.
    std::optional<QByteArray> fetch(const QUrl &address, const QDeadlineTimer &deadline,
                                    const std::function<void()> &begun = {});
    // A loopback address and port a load reaches, and who held it then.
    struct JudgedEnd;
    // Judges the loopback ends of `address` not judged yet into `ends`;
    // false, with the failure said, when one is not held by root or the
    // board's user alone.
    bool judgeEnds(const QUrl &address, QList<JudgedEnd> &ends);
    // False, with the failure said, when an end's holders changed.
    bool stillHeldAsJudged(const QList<JudgedEnd> &ends);
    // Works on the body on a worker, waiting in a local loop, abortable,
    // until the work is done or the deadline passes. The work says why it
    // gave nothing in `why`.
    template <typename T>
    std::optional<T> whileWorking(const QByteArray &body, const QDeadlineTimer &deadline,
                                  T (*work)(const QByteArray &body, WorkBudget &budget, QString *why));

    QNetworkAccessManager *m_manager = nullptr;
    int m_timeoutMs = DefaultTimeoutMs;
    QEventLoop *m_waitLoop = nullptr;
    QFuture<void> m_work; // the work waited for, to give up with the load
    bool m_aborted = false;
    QString m_failure;
    OfflineCause m_listenerRefusal = OfflineCause::None;
};

// Parses a fetched body the way load() does: an empty document when the body
// is not well-formed XML, fails the screen or spends the budget, and then,
// when `why` is given, why. Safe to call on any thread; the budget belongs
// to the calling one.
QDomDocument parseFeedDocument(const QByteArray &body, WorkBudget &budget, QString *why = nullptr);
// The same within a budget of its own.
QDomDocument parseFeedDocument(const QByteArray &body);
