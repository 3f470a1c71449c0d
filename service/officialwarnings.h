#pragma once

#include "capreader.h"
#include "officialalerts.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSslCertificate>
#include <QSslError>
#include <QTimer>
#include <QUrl>

#include <functional>

class LocationTable;
class QNetworkAccessManager;
class QNetworkReply;

// The national meteorological centre's alerts, read from its CAP feeds for
// the whole machine, on the service's event loop:
//  - a look at every feed at start, and then at most every LookSeconds
//    while boards ask for documents (the owner says so with asked()),
//    never faster, and none once none has asked for AskingSeconds;
//  - an index is asked again with If-None-Match and If-Modified-Since, and
//    each CAP document it links to is fetched once by its address, however
//    long it stays listed; at most MaximumInFlight requests at a time, each
//    given up after TimeoutMs and past CapLimits::MaximumBytes;
//  - a 429 or a 503 stops the looks for as long as its Retry-After says
//    (the next look's time when it says nothing, at most LongestPauseSeconds);
//  - the same TLS verification as the forecasts' upstream (the system's
//    CAs), with certificates an administrator adds for these feeds alone;
//    a server whose chain lacks an intermediate fails with one line that
//    says so;
//  - a feed whose index or one of whose documents cannot be had, or whose
//    index is refused (screened, or not RSS, Atom or CAP), keeps what its
//    last good look gave; a CAP document that is refused is left out, and
//    not asked again;
//  - with a cache folder, each feed's last good look (its index and the
//    documents it lists), the validators and what Cancels and Updates took
//    back are kept in alerts.json, so that a restart with the feeds down
//    serves the alerts in force until they expire.
// Optionally every address is asked through a site cache: the address
// https://HOST/PATH is asked as <via>HOST/PATH.
class OfficialWarnings : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    static constexpr int LookSeconds = 5 * 60;
    static constexpr int AskingSeconds = 40 * 60;
    static constexpr int TimeoutMs = 15000;
    static constexpr int MaximumInFlight = 4;
    static constexpr int LongestPauseSeconds = 6 * 60 * 60;
    // What the CAP documents of every feed may hold together, in memory
    // and in alerts.json; a real one is a few kilobytes.
    static constexpr qint64 MaximumDocumentBytes = 16 * 1024 * 1024;
    // How long the first documents after start wait for the first look.
    static constexpr int FirstLookWaitMs = 4000;

    static QList<QUrl> defaultSources();

    // The table must outlive this. Without a clock the system's is used.
    explicit OfficialWarnings(const LocationTable &locations, Clock clock = {}, QObject *parent = nullptr);
    ~OfficialWarnings() override;

    void setSources(const QList<QUrl> &sources) { m_sources = sources; }
    QList<QUrl> sources() const { return m_sources; }
    void setVia(const QUrl &via) { m_via = via; }
    void setExtraCertificates(const QList<QSslCertificate> &certificates);
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    void setFirstLookWait(int milliseconds) { m_firstLookWaitMs = milliseconds; }
    // Keeps the last good looks in <directory>/alerts.json, and takes up
    // what is there now.
    void setCacheDirectory(const QString &directory);

    // The look at start.
    void start();
    // A board asked for a document at the clock's now: a look is due when
    // the last began LookSeconds ago and nothing forbids it.
    void asked();
    // Starts a look when one is due; runs from a timer, and tests that move
    // the clock call it.
    void lookIfDue();

    // Whether the first look since start is still under way.
    bool firstLookPending() const { return m_firstLookPending; }
    // Runs `then` once the first look has ended, or after FirstLookWaitMs,
    // whichever comes first; at once when it has.
    void afterFirstLook(std::function<void()> then);

    // The alerts in force now that cover the city, in the order of onset.
    QList<OfficialAlert> forCity(const QString &locationId, const QDateTime &now) const;
    // Every alert in force now.
    QList<OfficialAlert> inForce(const QDateTime &now) const;

    bool lookRunning() const { return m_look.running; }
    int looksStarted() const { return m_looksStarted; }
    QDateTime pausedUntil() const { return m_pausedUntil; }
    QByteArray metrics(const QDateTime &now) const;

signals:
    // A look ended (tests wait for it).
    void lookEnded();

private:
    struct Feed
    {
        QByteArray etag;
        QByteArray lastModified;
        QByteArray index; // the last good index
        QDateTime goodAt;
        QList<QUrl> links; // the documents it lists
        QList<CapAlert> alerts; // inline and from its documents
    };
    struct Document
    {
        QByteArray body;
        bool refused = false;
        QList<CapAlert> alerts; // as read from body
    };
    struct FeedLook
    {
        QUrl url;
        bool indexDone = false;
        bool unchanged = false;
        QString failure; // why this look failed for the feed; empty while it has not
        QString outcome; // failed, refused, limited
        QByteArray etag;
        QByteArray lastModified;
        QByteArray index;
        CapReading reading;
        int documentsPending = 0;
    };
    struct Look
    {
        bool running = false;
        quint64 serial = 0;
        QList<FeedLook> feeds;
    };
    struct Request
    {
        QUrl url; // as listed
        int feed = -1;
        bool isIndex = false;
        quint64 look = 0; // the look it belongs to
    };
    struct Answer
    {
        int status = 0;
        QByteArray body;
        QString failure; // empty when an answer came whole
        int retryAfterSeconds = -1;
        QByteArray etag;
        QByteArray lastModified;
    };

    QDateTime now() const;
    QUrl askedAt(const QUrl &url) const;
    void beginLook();
    void send(const Request &request);
    void startNext();
    void onAnswer(const Request &request, const Answer &answer);
    void onIndex(int feed, const Answer &answer);
    void onDocument(const QUrl &url, const Answer &answer);
    void feedFailed(int feed, const QString &outcome, const QString &why);
    void feedSettled(int feed);
    void endLookIfDone();
    void recompute();
    void scheduleNext();
    void runFirstLookWaiters();
    void saveFiles();
    void takeUpFiles();
    QString sslFailure(QNetworkReply *reply, const QList<QSslError> &errors) const;
    void tell(const QUrl &feed, const QString &failure, QSet<QString> *toldNow);

    const LocationTable &m_locations;
    Clock m_clock;
    QList<QUrl> m_sources;
    QUrl m_via;
    QList<QSslCertificate> m_certificates;
    int m_timeoutMs = TimeoutMs;
    int m_firstLookWaitMs = FirstLookWaitMs;
    QString m_directory;
    QNetworkAccessManager *m_manager = nullptr;

    QHash<QUrl, Feed> m_feeds;
    QHash<QUrl, Document> m_documents;
    qint64 m_documentBytes = 0; // of m_documents' bodies
    Withdrawals m_withdrawals;
    QList<OfficialAlert> m_inForce;

    Look m_look;
    QList<Request> m_queue;
    QHash<QNetworkReply *, Request> m_inFlight;
    QDateTime m_lastLookAt;
    QDateTime m_lastAsked;
    QDateTime m_pausedUntil;
    QDateTime m_lastGoodLook;
    QTimer m_timer;
    int m_looksStarted = 0;
    bool m_firstLookPending = false;
    QList<std::function<void()>> m_firstLookWaiters;
    QObject m_waitContext;
    QHash<QString, quint64> m_outcomes; // looks at a feed, by outcome
    QHash<QUrl, QString> m_told; // the failure last told of each feed
    quint64 m_fileWriteFailures = 0;
};
