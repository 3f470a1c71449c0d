#pragma once

#include "feeddocument.h"

#include <QByteArray>
#include <QString>

// The head of one HTTP/1.x request as read off the connection.
struct RequestHead
{
    QByteArray method; // "GET"
    QByteArray target; // "/forecastrss?p=SAXX0017&u=c"
    QByteArray version; // "HTTP/1.1"
    bool keepAlive = true; // the connection may carry another request
    bool hasBody = false; // Content-Length > 0 or a Transfer-Encoding
    // Conditional requests, as sent; empty when not.
    QByteArray ifNoneMatch;
    QByteArray ifModifiedSince;
};

// Heads longer than this are refused, which also bounds the query.
inline constexpr qsizetype MaximumHeadBytes = 8 * 1024;

enum class HeadStatus { Incomplete, Complete, Malformed, TooLarge };

// Reads the request head at the start of `buffer` (lines ending in CRLF or
// LF, closed by an empty line). On Complete, `head` is filled and `consumed`
// is the number of bytes the head took.
HeadStatus parseRequestHead(const QByteArray &buffer, RequestHead *head, qsizetype *consumed);

// What a request target asks of the feed service.
struct FeedRequest
{
    enum class Kind { Feed, Health, Metrics, NotFound, BadRequest };
    Kind kind = Kind::BadRequest;
    QString locationId; // as given ("SAXX0017")
    Units units = Units::Metric;
    QString reason; // for NotFound and BadRequest, said in the answer
};

// Queries longer than this are refused: a feed query is about 20 characters.
inline constexpr int MaximumQueryLength = 256;

// Routes "/forecastrss?p=<id>&u=c|f", "/health" and "/metrics" (whose
// query, if any, is ignored). No other path exists (NotFound). The query must hold exactly one non-empty p; u is optional
// (c when absent), at most once, and c or f in either case; other
// parameters are ignored. A target with characters outside printable ASCII,
// or a query over MaximumQueryLength, is a bad request.
FeedRequest routeFeedRequest(const QByteArray &target);
