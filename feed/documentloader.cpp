#include "feed/documentloader.h"

#include "feed/documentscreen.h"
#include "feed/feedreading.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QXmlStreamReader>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <limits>
#include <memory>

namespace {

// How much of a body Qt may hold before we have taken it; keeps an oversized
// answer from piling up between two reads.
constexpr qint64 ReadBufferBytes = 64 * 1024;

// The loads' workers. The application waits for its global pool before it
// ends; nothing waits for this one, so a worker still stopping never holds
// the end of the process. A given-up load's worker stops within a few
// milliseconds, and meanwhile the next load has a worker of its own.
QThreadPool *documentWorkers()
{
    static QThreadPool *const pool = [] {
        auto *workers = new QThreadPool; // never deleted, never waited for at exit
        workers->setMaxThreadCount(4);
        return workers;
    }();
    return pool;
}

// Fires the timer when the deadline passes; never for a deadline that never does.
void startUntil(QTimer &timer, const QDeadlineTimer &deadline)
{
    const qint64 left = deadline.remainingTime();
    if (left >= 0)
        timer.start(int(qMin<qint64>(left, std::numeric_limits<int>::max())));
}

QList<ChannelReadings> parseAndRead(const QByteArray &body, WorkBudget &budget, QString *why)
{
    // Reading is part of the work aside: every lookup in a channel walks what
    // lies below it, so channels nested many levels deep cost the reading
    // more than the parse.
    const QList<ChannelReadings> channels = readChannels(parseFeedDocument(body, budget, why), budget);
    if (channels.isEmpty() && why->isEmpty())
        *why = budget.isSpent() ? QLatin1String("work given up: ") + QLatin1String(verdictName(budget.reason()))
                                : QStringLiteral("no channel in the document");
    return channels;
}

// The addresses of this machine's loopback that a load of `address` may
// connect to; none for any other host.
QList<QHostAddress> loopbackAddresses(const QUrl &address)
{
    const QString host = address.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
        || host.endsWith(QLatin1String(".localhost"), Qt::CaseInsensitive))
        return {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)};
    QHostAddress literal;
    if (literal.setAddress(host) && literal.isLoopback())
        return {literal};
    return {};
}

QString endName(const QHostAddress &address, quint16 port)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]:%2").arg(address.toString()).arg(port)
        : QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

} // namespace

struct DocumentLoader::JudgedEnd
{
    QHostAddress address;
    quint16 port = 0;
    PortHolders holders;
};

QDomDocument parseFeedDocument(const QByteArray &body)
{
    WorkBudget budget;
    return parseFeedDocument(body, budget);
}

QDomDocument parseFeedDocument(const QByteArray &body, WorkBudget &budget, QString *why)
{
    if (const DocumentVerdict verdict = screenFeedDocument(body, budget); verdict != DocumentVerdict::Accepted) {
        if (why)
            *why = verdict == DocumentVerdict::NotWellFormed
                ? QStringLiteral("not XML")
                : QLatin1String("screened: ") + QLatin1String(verdictName(verdict));
        return {};
    }
    // The parser reads the body a piece at a time, so that a spent budget
    // stops it too.
    BudgetedBody device(body, budget);
    QXmlStreamReader reader(&device);
    QDomDocument document;
    // Without namespace processing the element names stay as written, and
    // lookups such as "yweather:condition" work whatever the URI says.
    QString error;
    int line = 0;
    if (!document.setContent(&reader, false, &error, &line)) {
        if (why)
            *why = budget.isSpent() ? QLatin1String("work given up: ") + QLatin1String(verdictName(budget.reason()))
                                    : QStringLiteral("not XML: %1 (line %2)").arg(error).arg(line);
        return {};
    }
    return document;
}

DocumentLoader::DocumentLoader(QObject *parent)
    : DocumentLoader(nullptr, parent)
{
}

DocumentLoader::DocumentLoader(QNetworkAccessManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager ? manager : new QNetworkAccessManager(this))
{
}

DocumentLoader::~DocumentLoader()
{
    // Destroyed from inside its own wait (the window went away): let the
    // waiting load() return; it notices that the loader is gone.
    abort();
    // The work given up stops at its next check. It gets that long to end,
    // and no longer, so that a board that ends neither waits for a worker
    // nor ends while one is still inside a parse.
    documentWorkers()->waitForDone(SettleMs);
}

QDomDocument DocumentLoader::load(const QString &address)
{
    return load(QUrl(address));
}

QDomDocument DocumentLoader::load(const QUrl &address)
{
    const QDeadlineTimer deadline(m_timeoutMs);
    const std::optional<QByteArray> body = fetch(address, deadline);
    if (!body)
        return {};
    QDomDocument (*const parse)(const QByteArray &, WorkBudget &, QString *) = parseFeedDocument;
    return whileWorking(*body, deadline, parse).value_or(QDomDocument());
}

QList<ChannelReadings> DocumentLoader::loadChannels(const QUrl &address, const std::function<void()> &begun)
{
    const QDeadlineTimer deadline(m_timeoutMs);
    const std::optional<QByteArray> body = fetch(address, deadline, begun);
    if (!body)
        return {};
    return whileWorking(*body, deadline, parseAndRead).value_or(QList<ChannelReadings>());
}

bool DocumentLoader::judgeEnds(const QUrl &address, QList<JudgedEnd> &ends)
{
    const quint16 port = quint16(address.port(address.scheme() == QLatin1String("https") ? 443 : 80));
    for (const QHostAddress &loopback : loopbackAddresses(address)) {
        if (std::any_of(ends.cbegin(), ends.cend(),
                        [&](const JudgedEnd &end) { return end.address == loopback && end.port == port; }))
            continue;
        const PortHolders holders = portHolders(loopback, port);
        switch (holders.verdict()) {
        case ListenerVerdict::Trusted:
            ends.append({loopback, port, holders});
            continue;
        case ListenerVerdict::Nobody:
            // Not tried: whoever binds it meanwhile would be judged by
            // nothing, having left again before the answer is read.
            m_listenerRefusal = OfflineCause::ServiceNotRunning;
            m_failure = QStringLiteral("connection: nothing listens on %1").arg(endName(loopback, port));
            return false;
        case ListenerVerdict::Stranger:
            m_listenerRefusal = OfflineCause::PortHeldByOther;
            m_failure = QStringLiteral("not asked: %1 is held by user id %2, who is neither root nor this board's user")
                            .arg(endName(loopback, port))
                            .arg(holders.stranger());
            return false;
        case ListenerVerdict::Unknown:
            m_listenerRefusal = OfflineCause::OwnerUnknown;
            m_failure = QStringLiteral("not asked: who holds %1 cannot be told").arg(endName(loopback, port));
            return false;
        }
    }
    return true;
}

bool DocumentLoader::stillHeldAsJudged(const QList<JudgedEnd> &ends)
{
    for (const JudgedEnd &end : ends) {
        const PortHolders now = portHolders(end.address, end.port);
        if (now.sameAs(end.holders))
            continue;
        const ListenerVerdict verdict = now.verdict();
        m_listenerRefusal = verdict == ListenerVerdict::Stranger ? OfflineCause::PortHeldByOther
            : verdict == ListenerVerdict::Unknown                ? OfflineCause::OwnerUnknown
                                                                 : OfflineCause::None;
        m_failure = verdict == ListenerVerdict::Stranger
            ? QStringLiteral("refused: %1 came to be held by user id %2, who is neither root nor this board's user, "
                             "during the load")
                  .arg(endName(end.address, end.port))
                  .arg(now.stranger())
            : QStringLiteral("refused: who holds %1 changed during the load").arg(endName(end.address, end.port));
        return false;
    }
    return true;
}

std::optional<QByteArray> DocumentLoader::fetch(const QUrl &address, const QDeadlineTimer &deadline,
                                                const std::function<void()> &begun)
{
    const QString scheme = address.scheme();
    m_failure.clear();
    m_listenerRefusal = OfflineCause::None;
    if (m_waitLoop) {
        m_failure = QStringLiteral("another load is under way");
        return std::nullopt;
    }
    if (!address.isValid() || address.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        m_failure = QStringLiteral("not an http(s) address");
        return std::nullopt;
    }

    QList<JudgedEnd> ends;
    if (!judgeEnds(address, ends))
        return std::nullopt;

    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaximumRedirects);

    QNetworkReply *const reply = m_manager->get(request);
    reply->setReadBufferSize(ReadBufferBytes);
    const QPointer<QNetworkReply> replyAlive(reply);

    QEventLoop loop;
    QTimer timeout;
    QByteArray body;
    bool refused = false;

    const auto refuse = [&](const QString &why) {
        if (!refused)
            m_failure = why;
        refused = true;
        loop.quit();
    };
    const QString tooLarge = QStringLiteral("larger than %1 bytes").arg(MaximumBytes);
    // Takes what has arrived, never more than one byte past the limit.
    const auto take = [&] {
        body += reply->read(MaximumBytes + 1 - body.size());
        if (body.size() > MaximumBytes)
            refuse(tooLarge);
    };
    connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > MaximumBytes)
            refuse(tooLarge);
    });
    connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (!refused)
            take();
    });
    // Said as the redirect is taken, before its connection is made.
    connect(reply, &QNetworkReply::redirected, &loop, [&](const QUrl &target) {
        if (!refused && !judgeEnds(address.resolved(target), ends)) {
            refused = true;
            loop.quit();
        }
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop,
            [&] { refuse(QStringLiteral("no whole answer within %1 ms").arg(m_timeoutMs)); });

    const QPointer<DocumentLoader> loaderAlive(this);
    m_aborted = false;
    if (begun)
        begun();
    m_waitLoop = &loop;
    startUntil(timeout, deadline);
    if (!reply->isFinished())
        loop.exec();
    timeout.stop();

    if (!loaderAlive) {
        // The loader (and with it an owned manager and its replies) is gone.
        if (replyAlive) {
            replyAlive->disconnect(&loop);
            replyAlive->abort();
            delete replyAlive.data();
        }
        return std::nullopt;
    }
    m_waitLoop = nullptr;
    if (!replyAlive)
        return std::nullopt;

    reply->disconnect(&loop);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    bool good = !refused && !m_aborted && reply->isFinished() && reply->error() == QNetworkReply::NoError;
    if (good) {
        take();
        good = !refused && status >= 200 && status <= 299;
        if (!refused && !good)
            m_failure = QStringLiteral("HTTP %1").arg(status);
    } else if (m_aborted) {
        m_failure = QStringLiteral("given up");
    } else if (!refused) {
        // An answer that came with its status but broke off tells of the
        // connection, not of its status.
        m_failure = status > 0 && (status < 200 || status > 299)
            ? QStringLiteral("HTTP %1").arg(status)
            : QStringLiteral("connection: %1").arg(reply->errorString());
        // Judged, yet gone by the time of the connection.
        if (!ends.isEmpty() && reply->error() == QNetworkReply::ConnectionRefusedError)
            m_listenerRefusal = OfflineCause::ServiceNotRunning;
    }
    if (!reply->isFinished())
        reply->abort();
    delete reply;

    if (good && !stillHeldAsJudged(ends))
        good = false;
    // A connection kept for the next load must be one made while the port
    // was held as judged. After a load that was not read, or not judged
    // again (an error status, a broken answer), that is not known.
    if (!good && !ends.isEmpty())
        m_manager->clearConnectionCache();
    if (!good)
        return std::nullopt;
    return body;
}

template <typename T>
std::optional<T> DocumentLoader::whileWorking(const QByteArray &body, const QDeadlineTimer &deadline,
                                              T (*work)(const QByteArray &body, WorkBudget &budget, QString *why))
{
    // Screening and parsing a body near the size limit takes tens of
    // milliseconds, reading a hostile one more. They run on a worker while
    // this thread waits in its loop, as it waits for the network, so the
    // window never stalls. The worker asks its budget as it goes, and the
    // budget asks whether this load has been given up.
    // Written by the worker, read here only once it has finished.
    const auto why = std::make_shared<QString>();
    QFuture<T> future = QtConcurrent::run(documentWorkers(), [body, work, why](QPromise<T> &promise) {
        WorkBudget budget([&promise] { return promise.isCanceled(); });
        T result = work(body, budget, why.get());
        if (!budget.isSpent())
            promise.addResult(std::move(result));
    });
    m_work = QFuture<void>(future);

    QEventLoop loop;
    QFutureWatcher<T> watcher;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);

    const QPointer<DocumentLoader> loaderAlive(this);
    m_waitLoop = &loop;
    if (!future.isFinished()) {
        startUntil(timeout, deadline);
        loop.exec();
    }
    // Given up (aborted, out of time or the loader gone): the worker stops at
    // its next check, and nothing waits for it.
    const bool done = future.isFinished() && future.resultCount() > 0;
    if (!done)
        future.cancel();
    if (!loaderAlive)
        return std::nullopt;
    m_waitLoop = nullptr;
    m_work = QFuture<void>();
    if (m_aborted || !done) {
        if (m_aborted)
            m_failure = QStringLiteral("given up");
        else if (!future.isFinished())
            m_failure = QStringLiteral("no document within %1 ms").arg(m_timeoutMs);
        else
            m_failure = why->isEmpty() ? QStringLiteral("work given up: out of time") : *why;
        return std::nullopt;
    }
    m_failure = *why;
    return future.result();
}

void DocumentLoader::abort()
{
    if (!m_waitLoop)
        return;
    m_aborted = true;
    m_work.cancel();
    m_waitLoop->quit();
}
