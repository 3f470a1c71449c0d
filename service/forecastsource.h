#pragma once

#include "feeddocument.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

struct Location;

// What the service has for one request of a known city.
struct ServedDocument
{
    enum class Status { Ok, Unavailable };
    Status status = Status::Unavailable;
    QByteArray body; // the document, when Ok
    int retryAfterSeconds = 0; // when Unavailable: when asking again may help; 0 = no idea
    QString note; // how it was served ("fresh", "cached", "stale", ...), for the log
    // When Ok: whether the document is older than the weather it should
    // tell now, and whether it was at hand, without waiting for the upstream.
    bool stale = false;
    bool cacheHit = false;
    // When Ok and known: when the document was written, and how many
    // seconds it stays as it is (HTTP caches may keep it that long); -1
    // when that cannot be told.
    QDateTime lastModified;
    int maxAgeSeconds = -1;
};

// Whether the service can serve the cities' documents at all, fresh or
// stale, for a board that asks before it refreshes.
struct ServiceHealth
{
    bool ok = true;
    QString reason; // one line: what there is to serve, or why there is nothing
};

// Where the documents come from: the live upstream, or recorded files.
class ForecastSource
{
public:
    using Callback = std::function<void(const ServedDocument &)>;
    using HealthCallback = std::function<void(const ServiceHealth &)>;
    virtual ~ForecastSource() = default;

    // Answers through the callback exactly once, either before returning
    // (from a cache or a file) or later from the event loop.
    virtual void document(const Location &location, Units units, Callback callback) = 0;

    // Answers through the callback exactly once, before returning or within
    // a moment (well under half a second). A source that always has its
    // documents at hand is always healthy.
    virtual void health(HealthCallback callback) { callback({true, QStringLiteral("documents at hand")}); }

    // What the source has asked of its upstream, in Prometheus' text format;
    // empty for a source that asks nothing.
    virtual QByteArray metrics() { return {}; }

    // Whether the source has work under way that ending the service would
    // cut off (a request to its upstream).
    virtual bool busy() const { return false; }
};
