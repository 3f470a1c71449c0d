// The official warnings' requests: the feeds asked as politely as the
// forecasts' upstream, and their certificates judged as strictly.

#include "officialwarnings.h"

#include "openmeteoclient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>

#include <algorithm>
#include <memory>

namespace {

// What the network layer may take of an answer ahead of the count here.
constexpr qint64 ReadAheadBytes = 64 * 1024;

} // namespace

void OfficialWarnings::startNext()
{
    while (m_inFlight.size() < MaximumInFlight && !m_queue.isEmpty()) {
        const Request pending = m_queue.takeFirst();
        QNetworkRequest request(askedAt(pending.url));
        request.setHeader(QNetworkRequest::UserAgentHeader, OpenMeteoClient::userAgent());
        request.setRawHeader("Accept",
                             pending.isIndex ? "application/rss+xml, application/atom+xml, "
                                               "application/cap+xml, application/xml, text/xml"
                                             : "application/cap+xml, application/xml, text/xml");
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        if (pending.isIndex) {
            const Feed feed = m_feeds.value(pending.url);
            if (!feed.etag.isEmpty())
                request.setRawHeader("If-None-Match", feed.etag);
            if (!feed.lastModified.isEmpty())
                request.setRawHeader("If-Modified-Since", feed.lastModified);
        }
        if (!m_certificates.isEmpty()) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.addCaCertificates(m_certificates);
            request.setSslConfiguration(tls);
        }
        QNetworkReply *reply = m_manager->get(request);
        reply->setReadBufferSize(ReadAheadBytes);
        m_inFlight.insert(reply, pending);

        auto body = std::make_shared<QByteArray>();
        auto tooLarge = std::make_shared<bool>(false);
        auto timedOut = std::make_shared<bool>(false);
        auto tlsErrors = std::make_shared<QList<QSslError>>();
        auto *timer = new QTimer(reply);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, reply, [reply, timedOut] {
            *timedOut = true;
            reply->abort();
        });
        timer->start(m_timeoutMs);
        const auto take = [reply, body, tooLarge] {
            if (*tooLarge)
                return;
            const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
            *body += reply->readAll();
            if (announced > CapLimits::MaximumBytes || body->size() > CapLimits::MaximumBytes) {
                *tooLarge = true;
                body->clear();
                reply->abort();
            }
        };
        connect(reply, &QNetworkReply::metaDataChanged, this, take);
        connect(reply, &QNetworkReply::readyRead, this, take);
        connect(reply, &QNetworkReply::sslErrors, this,
                [tlsErrors](const QList<QSslError> &errors) { *tlsErrors += errors; });
        connect(reply, &QNetworkReply::finished, this, [=, this] {
            timer->stop();
            if (!*tooLarge && !*timedOut)
                take();
            const auto it = m_inFlight.find(reply);
            if (it == m_inFlight.end())
                return;
            const Request request = *it;
            m_inFlight.erase(it);
            Answer answer;
            answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (*timedOut)
                answer.failure = QStringLiteral("no answer within %1 ms").arg(m_timeoutMs);
            else if (*tooLarge)
                answer.failure = QStringLiteral("larger than %1 bytes").arg(CapLimits::MaximumBytes);
            else if (!tlsErrors->isEmpty())
                answer.failure = sslFailure(reply, *tlsErrors);
            else if (answer.status == 0 || (reply->error() != QNetworkReply::NoError && answer.status < 300))
                answer.failure = reply->errorString();
            answer.body = *body;
            bool isNumber = false;
            const int retryAfter = reply->rawHeader("Retry-After").trimmed().toInt(&isNumber);
            if (isNumber && retryAfter >= 0)
                answer.retryAfterSeconds = retryAfter;
            answer.etag = reply->rawHeader("ETag");
            answer.lastModified = reply->rawHeader("Last-Modified");
            reply->deleteLater();
            startNext();
            onAnswer(request, answer);
        });
    }
}

QString OfficialWarnings::sslFailure(QNetworkReply *reply, const QList<QSslError> &errors) const
{
    const QString host = reply->url().host();
    for (const QSslError &error : errors) {
        if (error.error() == QSslError::UnableToGetLocalIssuerCertificate
            || error.error() == QSslError::UnableToVerifyFirstCertificate
            || error.error() == QSslError::UnableToGetIssuerCertificate) {
            const QString issuer = error.certificate().isNull() ? QString() : error.certificate().issuerDisplayName();
            return QStringLiteral("the certificate chain of %1 is incomplete: the issuer%2 is not known here (the "
                                  "server leaves out an intermediate certificate); official-warnings-ca = FILE in "
                                  "forecastd.conf can add it")
                .arg(host, issuer.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(issuer));
        }
    }
    QStringList why;
    for (const QSslError &error : errors)
        why.append(error.errorString());
    why.removeDuplicates();
    return QStringLiteral("the certificate of %1 is refused: %2").arg(host, why.join(QStringLiteral("; ")));
}
