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

// Where the documents come from: the live upstream, or recorded files.
class ForecastSource
{
public:
    using Callback = std::function<void(const ServedDocument &)>;
    virtual ~ForecastSource() = default;

    // Answers through the callback exactly once, either before returning
    // (from a cache or a file) or later from the event loop.
    virtual void document(const Location &location, Units units, Callback callback) = 0;
};
