#pragma once

#include "feeddocument.h"

#include <QByteArray>
#include <QString>

#include <functional>

struct Location;

// What the service has for one request of a known city.
struct ServedDocument
{
    enum class Status { Ok, Unavailable };
    Status status = Status::Unavailable;
    QByteArray body;           // the document, when Ok
    int retryAfterSeconds = 0; // when Unavailable: when asking again may help; 0 = no idea
    QString note;              // how it was served ("fresh", "cached", "stale", ...), for the log
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
};
