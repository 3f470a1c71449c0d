#include "feed/documentloader.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QXmlStreamReader>

namespace {

// How much of a body Qt may hold before we have taken it; keeps an oversized
// answer from piling up between two reads.
constexpr qint64 ReadBufferBytes = 64 * 1024;

// Qt expands internal entities with a limit per entity but none for the
// document as a whole, so a short document referencing a 4 KB entity many
// thousand times still expands to gigabytes. Feeds never declare entities;
// a document type that does is refused before the DOM parser sees it.
bool declaresEntities(const QByteArray &body)
{
    QXmlStreamReader reader(body);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            return !reader.entityDeclarations().isEmpty()
                || reader.text().contains(QLatin1String("<!ENTITY"));
        case QXmlStreamReader::StartElement:
        case QXmlStreamReader::Invalid:
            return false; // past the prolog, or not XML at all
        default:
            break;
        }
    }
    return false;
}

} // namespace

QDomDocument parseFeedDocument(const QByteArray &body)
{
    if (declaresEntities(body))
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
    const QString scheme = address.scheme();
    if (m_waitLoop || !address.isValid() || address.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};

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
        return {};
    }
    m_waitLoop = nullptr;
    if (!replyAlive)
        return {};

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

    return good ? parseFeedDocument(body) : QDomDocument();
}

void DocumentLoader::abort()
{
    if (!m_waitLoop)
        return;
    m_aborted = true;
    m_waitLoop->quit();
}
