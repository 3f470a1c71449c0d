#include "officialwarnings.h"

#include "locationtable.h"
#include "servicelog.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>

#include <algorithm>

QList<QUrl> OfficialWarnings::defaultSources()
{
    return {QUrl(QStringLiteral("https://ncm.gov.sa/ar/cap-alerts")),
            QUrl(QStringLiteral("https://ncm.gov.sa/en/cap-alerts"))};
}

OfficialWarnings::OfficialWarnings(const LocationTable &locations, Clock clock, QObject *parent)
    : QObject(parent)
    , m_locations(locations)
    , m_clock(std::move(clock))
    , m_sources(defaultSources())
    , m_manager(new QNetworkAccessManager(this))
{
    m_manager->setAutoDeleteReplies(false);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &OfficialWarnings::lookIfDue);
}

OfficialWarnings::~OfficialWarnings()
{
    for (QNetworkReply *reply : m_inFlight.keys()) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

QDateTime OfficialWarnings::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
}

QUrl OfficialWarnings::askedAt(const QUrl &url) const
{
    if (m_via.isEmpty())
        return url;
    QUrl through = m_via;
    QString path = m_via.path();
    if (!path.endsWith(u'/'))
        path += u'/';
    through.setPath(path + url.host() + url.path());
    through.setQuery(url.query());
    return through;
}

void OfficialWarnings::setExtraCertificates(const QList<QSslCertificate> &certificates)
{
    m_certificates = certificates;
    // A connection kept open was verified with the certificates before.
    m_manager->clearConnectionCache();
}

void OfficialWarnings::setCacheDirectory(const QString &directory)
{
    m_directory = directory;
    if (!m_directory.isEmpty())
        takeUpFiles();
}

void OfficialWarnings::start()
{
    const QDateTime now = this->now();
    m_lastAsked = now;
    if (m_sources.isEmpty())
        return;
    // A restart looks no sooner than the service before it would have.
    if ((m_lastLookAt.isValid() && m_lastLookAt.secsTo(now) < LookSeconds)
        || (m_pausedUntil.isValid() && now < m_pausedUntil)) {
        scheduleNext();
        return;
    }
    m_firstLookPending = true;
    beginLook();
}

void OfficialWarnings::asked()
{
    m_lastAsked = now();
    lookIfDue();
}

void OfficialWarnings::lookIfDue()
{
    if (m_look.running || m_sources.isEmpty())
        return;
    const QDateTime now = this->now();
    // No pause outlasts a clock that moved back.
    if (m_lastLookAt.isValid() && m_lastLookAt > now)
        m_lastLookAt = now;
    if (m_pausedUntil.isValid() && now.secsTo(m_pausedUntil) > LongestPauseSeconds)
        m_pausedUntil = now.addSecs(LongestPauseSeconds);
    if (!m_lastAsked.isValid() || m_lastAsked.secsTo(now) > AskingSeconds)
        return; // nobody asks: the feeds are left alone until somebody does
    const bool spaced = !m_lastLookAt.isValid() || m_lastLookAt.secsTo(now) >= LookSeconds;
    const bool paused = m_pausedUntil.isValid() && now < m_pausedUntil;
    if (spaced && !paused)
        beginLook();
    else
        scheduleNext();
}

void OfficialWarnings::scheduleNext()
{
    const QDateTime now = this->now();
    if (m_look.running || m_sources.isEmpty() || !m_lastAsked.isValid() || m_lastAsked.secsTo(now) > AskingSeconds) {
        m_timer.stop();
        return;
    }
    QDateTime next = m_lastLookAt.isValid() ? m_lastLookAt.addSecs(LookSeconds) : now;
    if (m_pausedUntil.isValid() && m_pausedUntil > next)
        next = m_pausedUntil;
    m_timer.start(int(std::clamp<qint64>(now.msecsTo(next), 1000, qint64(LongestPauseSeconds) * 1000)));
}

void OfficialWarnings::beginLook()
{
    m_timer.stop();
    m_lastLookAt = now();
    ++m_looksStarted;
    m_look = Look();
    m_look.running = true;
    m_look.serial = quint64(m_looksStarted);
    for (qsizetype i = 0; i < m_sources.size(); ++i) {
        FeedLook feed;
        feed.url = m_sources.at(i);
        m_look.feeds.append(feed);
        send({m_sources.at(i), int(i), true, m_look.serial});
    }
    qCDebug(lcForecastd, "looking at %lld official warning feeds", static_cast<long long>(m_sources.size()));
}

void OfficialWarnings::send(const Request &request)
{
    m_queue.append(request);
    // From the event loop, so that no answer comes inside the call.
    QTimer::singleShot(0, this, &OfficialWarnings::startNext);
}

void OfficialWarnings::onAnswer(const Request &request, const Answer &answer)
{
    // An answer that comes after its look ended (a 429 ended it) is of no
    // look; one for a feed that has already failed changes nothing.
    if (!m_look.running || request.look != m_look.serial || request.feed < 0 || request.feed >= m_look.feeds.size())
        return;
    if (request.isIndex && !m_look.feeds.at(request.feed).failure.isEmpty()) {
        endLookIfDone();
        return;
    }
    if (answer.status == 429 || (answer.status == 503 && answer.retryAfterSeconds >= 0)) {
        // The feeds' host asks to be left alone: every request of this
        // look still to go is dropped with it.
        const int seconds = std::clamp(answer.retryAfterSeconds >= 0 ? answer.retryAfterSeconds : LookSeconds,
                                       LookSeconds, LongestPauseSeconds);
        const QDateTime until = now().addSecs(seconds);
        if (!m_pausedUntil.isValid() || until > m_pausedUntil)
            m_pausedUntil = until;
        m_queue.clear();
        for (qsizetype i = 0; i < m_look.feeds.size(); ++i) {
            FeedLook &feed = m_look.feeds[i];
            if (feed.failure.isEmpty() && !(feed.indexDone && feed.documentsPending == 0))
                feedFailed(int(i), QStringLiteral("limited"),
                           QStringLiteral("HTTP %1: no look until %2")
                               .arg(answer.status)
                               .arg(until.toUTC().toString(Qt::ISODate)));
        }
        endLookIfDone();
        return;
    }
    if (request.isIndex)
        onIndex(request.feed, answer);
    else
        onDocument(request.url, answer);
    endLookIfDone();
}

void OfficialWarnings::onIndex(int feed, const Answer &answer)
{
    FeedLook &look = m_look.feeds[feed];
    look.indexDone = true;
    if (!answer.failure.isEmpty())
        return feedFailed(feed, QStringLiteral("failed"), answer.failure);
    if (answer.status == 304 && m_feeds.contains(look.url)) {
        look.unchanged = true;
        return;
    }
    if (answer.status < 200 || answer.status > 299)
        return feedFailed(feed, QStringLiteral("failed"), QStringLiteral("HTTP %1").arg(answer.status));
    look.reading = readCap(answer.body, look.url);
    if (!look.reading.ok)
        return feedFailed(feed, QStringLiteral("refused"), QStringLiteral("refused: %1").arg(look.reading.error));
    look.etag = answer.etag;
    look.lastModified = answer.lastModified;
    look.index = answer.body;
    for (const QUrl &link : std::as_const(look.reading.links)) {
        if (m_documents.contains(link))
            continue; // fetched once, by its address
        bool asked = false;
        for (const Request &queued : std::as_const(m_queue))
            asked = asked || queued.url == link;
        for (const Request &running : std::as_const(m_inFlight))
            asked = asked || running.url == link;
        ++look.documentsPending;
        if (!asked)
            send({link, feed, false, m_look.serial});
    }
}

void OfficialWarnings::onDocument(const QUrl &url, const Answer &answer)
{
    // The document may have been listed by several feeds: each that waits
    // for it hears of it.
    for (qsizetype i = 0; i < m_look.feeds.size(); ++i) {
        FeedLook &look = m_look.feeds[i];
        if (!look.failure.isEmpty() || look.documentsPending == 0 || !look.reading.links.contains(url))
            continue;
        --look.documentsPending;
        if (!answer.failure.isEmpty())
            feedFailed(int(i), QStringLiteral("failed"), QStringLiteral("%1: %2").arg(url.toString(), answer.failure));
        else if (answer.status < 200 || answer.status > 299)
            feedFailed(int(i), QStringLiteral("failed"),
                       QStringLiteral("%1: HTTP %2").arg(url.toString()).arg(answer.status));
    }
    if (!answer.failure.isEmpty() || answer.status < 200 || answer.status > 299)
        return;
    CapReading reading = readCap(answer.body, url);
    if (reading.ok && m_documentBytes + answer.body.size() > MaximumDocumentBytes) {
        reading.ok = false;
        reading.error = QStringLiteral("the feeds' documents would pass %1 bytes in all").arg(MaximumDocumentBytes);
    }
    Document document;
    document.refused = !reading.ok;
    if (reading.ok) {
        document.body = answer.body;
        document.alerts = reading.alerts;
    } else {
        qCWarning(lcForecastd, "official warnings: %s refused: %s", qPrintable(url.toString()),
                  qPrintable(reading.error));
    }
    m_documentBytes += document.body.size();
    m_documents.insert(url, document);
}

void OfficialWarnings::feedFailed(int feed, const QString &outcome, const QString &why)
{
    FeedLook &look = m_look.feeds[feed];
    if (!look.failure.isEmpty())
        return;
    look.failure = why;
    look.outcome = outcome;
    look.documentsPending = 0;
}

void OfficialWarnings::endLookIfDone()
{
    if (!m_look.running)
        return;
    for (const FeedLook &look : std::as_const(m_look.feeds)) {
        if (look.failure.isEmpty() && (!look.indexDone || look.documentsPending > 0))
            return;
    }
    const QDateTime now = this->now();
    bool anyGood = false;
    QSet<QString> toldNow;
    for (qsizetype i = 0; i < m_look.feeds.size(); ++i) {
        const FeedLook &look = m_look.feeds.at(i);
        if (!look.failure.isEmpty()) {
            ++m_outcomes[look.outcome];
            tell(look.url, look.failure, &toldNow);
            continue;
        }
        anyGood = true;
        tell(look.url, QString(), &toldNow);
        if (look.unchanged) {
            ++m_outcomes[QStringLiteral("unchanged")];
            m_feeds[look.url].goodAt = now;
            continue;
        }
        ++m_outcomes[QStringLiteral("good")];
        Feed feed;
        feed.etag = look.etag;
        feed.lastModified = look.lastModified;
        feed.index = look.index;
        feed.goodAt = now;
        feed.links = look.reading.links;
        feed.alerts = look.reading.alerts;
        for (const QUrl &link : std::as_const(feed.links))
            feed.alerts += m_documents.value(link).alerts;
        m_feeds.insert(look.url, feed);
    }
    if (anyGood)
        m_lastGoodLook = now;
    // The documents no feed lists any more are forgotten.
    QSet<QUrl> listed;
    for (const Feed &feed : std::as_const(m_feeds))
        listed.unite(QSet<QUrl>(feed.links.begin(), feed.links.end()));
    m_documentBytes = 0;
    for (auto it = m_documents.begin(); it != m_documents.end();) {
        if (!listed.contains(it.key())) {
            it = m_documents.erase(it);
            continue;
        }
        m_documentBytes += it->body.size();
        ++it;
    }
    m_look.running = false;
    recompute();
    saveFiles();
    scheduleNext();
    runFirstLookWaiters();
    emit lookEnded();
}

// Each failure once, when it begins, and once more when the feed is read
// again; the feeds of one host failing alike are one line.
void OfficialWarnings::tell(const QUrl &feed, const QString &failure, QSet<QString> *toldNow)
{
    const QString told = m_told.value(feed);
    if (told == failure)
        return;
    m_told.insert(feed, failure);
    if (!failure.isEmpty() && toldNow->contains(failure))
        return;
    toldNow->insert(failure);
    if (!failure.isEmpty())
        qCWarning(lcForecastd, "official warnings from %s: %s; the alerts of its last good look stay",
                  qPrintable(feed.toString()), qPrintable(failure));
    else
        qCInfo(lcForecastd, "official warnings from %s: read again", qPrintable(feed.toString()));
}

void OfficialWarnings::recompute()
{
    QList<CapAlert> all;
    for (const QUrl &source : std::as_const(m_sources))
        all += m_feeds.value(source).alerts;
    m_inForce = alertsInForce(all, m_locations, now(), &m_withdrawals);
}

void OfficialWarnings::afterFirstLook(std::function<void()> then)
{
    if (!m_firstLookPending) {
        then();
        return;
    }
    m_firstLookWaiters.append(then);
    // Each waits its own bound; the first look's end runs them all.
    QTimer::singleShot(m_firstLookWaitMs, &m_waitContext, [this] { runFirstLookWaiters(); });
}

void OfficialWarnings::runFirstLookWaiters()
{
    // Once the bound has passed, nothing waits for the first look any more.
    m_firstLookPending = false;
    const QList<std::function<void()>> waiters = std::exchange(m_firstLookWaiters, {});
    for (const auto &then : waiters)
        then();
}

QList<OfficialAlert> OfficialWarnings::inForce(const QDateTime &now) const
{
    QList<OfficialAlert> alerts;
    for (const OfficialAlert &alert : m_inForce) {
        if (alert.expires > now)
            alerts.append(alert);
    }
    return alerts;
}

QList<OfficialAlert> OfficialWarnings::forCity(const QString &locationId, const QDateTime &now) const
{
    QList<OfficialAlert> alerts;
    for (const OfficialAlert &alert : m_inForce) {
        if (alert.expires > now && alert.cities.contains(locationId))
            alerts.append(alert);
    }
    return alerts;
}

QByteArray OfficialWarnings::metrics(const QDateTime &now) const
{
    QByteArray out = "# HELP forecastd_official_alerts_in_force The national centre's alerts in force that cover a "
                     "city.\n# TYPE forecastd_official_alerts_in_force gauge\nforecastd_official_alerts_in_force "
        + QByteArray::number(inForce(now).size())
        + "\n# HELP forecastd_official_warning_looks_total Looks at the official warning feeds, one a feed, by "
          "outcome (good, unchanged, failed, refused, limited).\n"
          "# TYPE forecastd_official_warning_looks_total counter\n";
    for (const char *outcome : {"good", "unchanged", "failed", "refused", "limited"})
        out += "forecastd_official_warning_looks_total{outcome=\"" + QByteArray(outcome) + "\"} "
            + QByteArray::number(m_outcomes.value(QLatin1String(outcome))) + '\n';
    out += "# HELP forecastd_official_warning_last_good_look_timestamp_seconds When a look at the official warning "
           "feeds last read one of them (0: never since start).\n"
           "# TYPE forecastd_official_warning_last_good_look_timestamp_seconds gauge\n"
           "forecastd_official_warning_last_good_look_timestamp_seconds "
        + QByteArray::number(m_lastGoodLook.isValid() ? m_lastGoodLook.toSecsSinceEpoch() : 0) + '\n';
    return out;
}
