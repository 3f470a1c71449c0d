#include "feed/documentloader.h"

#include "feed/documentscreen.h"
#include "feed/feedreading.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// How much of a body Qt may hold before we have taken it; keeps an oversized
// answer from piling up between two reads.
constexpr qint64 ReadBufferBytes = 64 * 1024;

} // namespace

QDomDocument parseFeedDocument(const QByteArray &body)
{
    if (screenFeedDocument(body) != DocumentVerdict::Accepted)
        return {};
    QDomDocument document;
    // Without namespace processing the element names stay as written, and
    // lookups such as "yweather:condition" work whatever the URI says.
    if (!document.setContent(body, false))
        return {};
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
}

QDomDocument DocumentLoader::load(const QString &address)
{
    return load(QUrl(address));
}

QDomDocument DocumentLoader::load(const QUrl &address)
{
    const std::optional<QByteArray> body = fetch(address);
    if (!body)
        return {};
    return whileWaiting(QtConcurrent::run(parseFeedDocument, *body)).value_or(QDomDocument());
}

QList<ChannelReadings> DocumentLoader::loadChannels(const QUrl &address)
{
    const std::optional<QByteArray> body = fetch(address);
    if (!body)
        return {};
    // Reading is part of the work aside: every lookup in a channel walks what
    // lies below it, so channels nested many levels deep cost the reading
    // more than the parse.
    const auto parseAndRead = [](const QByteArray &body) { return readChannels(parseFeedDocument(body)); };
    return whileWaiting(QtConcurrent::run(parseAndRead, *body)).value_or(QList<ChannelReadings>());
}

std::optional<QByteArray> DocumentLoader::fetch(const QUrl &address)
{
    const QString scheme = address.scheme();
    if (m_waitLoop || !address.isValid() || address.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;

    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaximumRedirects);

    QNetworkReply *const reply = m_manager->get(request);
    reply->setReadBufferSize(ReadBufferBytes);
    const QPointer<QNetworkReply> replyAlive(reply);

    QEventLoop loop;
    QTimer deadline;
    QByteArray body;
    bool refused = false;

    const auto refuse = [&] {
        refused = true;
        loop.quit();
    };
    // Takes what has arrived, never more than one byte past the limit.
    const auto take = [&] {
        body += reply->read(MaximumBytes + 1 - body.size());
        if (body.size() > MaximumBytes)
            refuse();
    };
    connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > MaximumBytes)
            refuse();
    });
    connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (!refused)
            take();
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, refuse);

    const QPointer<DocumentLoader> loaderAlive(this);
    m_aborted = false;
    m_waitLoop = &loop;
    deadline.start(m_timeoutMs);
    if (!reply->isFinished())
        loop.exec();
    deadline.stop();

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
    bool good = !refused && !m_aborted && reply->isFinished()
        && reply->error() == QNetworkReply::NoError;
    if (good) {
        take();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        good = !refused && status >= 200 && status <= 299;
    }
    if (!reply->isFinished())
        reply->abort();
    delete reply;

    if (!good)
        return std::nullopt;
    return body;
}

template <typename T>
std::optional<T> DocumentLoader::whileWaiting(const QFuture<T> &work)
{
    // Screening and parsing a body near the size limit takes tens of
    // milliseconds, reading a hostile one more. They run on a worker while
    // this thread waits in its loop, as it waits for the network, so the
    // window never stalls.
    QEventLoop loop;
    QFutureWatcher<T> watcher;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(work);

    const QPointer<DocumentLoader> loaderAlive(this);
    m_waitLoop = &loop;
    if (!work.isFinished())
        loop.exec();
    // Gone or aborted meanwhile: the worker finishes on its own and its
    // result is dropped with the future.
    if (!loaderAlive)
        return std::nullopt;
    m_waitLoop = nullptr;
    if (m_aborted)
        return std::nullopt;
    return work.result();
}

void DocumentLoader::abort()
{
    if (!m_waitLoop)
        return;
    m_aborted = true;
    m_waitLoop->quit();
}
