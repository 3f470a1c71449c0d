#pragma once

#include "feedrequest.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

struct ServedDocument;

inline constexpr char DocumentType[] = "text/xml; charset=utf-8";
inline constexpr char TextType[] = "text/plain; charset=utf-8";
// Prometheus' text exposition format.
inline constexpr char MetricsType[] = "text/plain; version=0.0.4; charset=utf-8";

// One HTTP answer of the feed service, before it is written out.
struct HttpAnswer
{
    int status = 200;
    QByteArray contentType = TextType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool close = false;
};

QByteArray reasonPhrase(int status);

// "503 Service Unavailable: <message>", as plain text.
HttpAnswer textAnswer(int status, const QString &message);

// The answer with the document, or 304 when the client's copy is current,
// with what HTTP caches need to keep and revalidate it.
HttpAnswer documentAnswer(const RequestHead &head, const ServedDocument &served);

// The answer to a feed request: the document (documentAnswer), or 503 with
// Retry-After (when asking again may help, or a minute when that is not
// known) when the source has none.
HttpAnswer feedAnswer(const RequestHead &head, const ServedDocument &served, const QString &locationId);

// The answer as it goes on the wire: status line, the service's own
// headers and the answer's, and the body unless `headOnly`.
QByteArray answerBytes(const HttpAnswer &answer, bool headOnly);

// "Sun, 06 Nov 1994 08:49:37 GMT", the one form HTTP/1.1 sends.
QByteArray httpDate(const QDateTime &time = QDateTime::currentDateTimeUtc());
// That form read back, field by field, in UTC, never through the host's
// zone; invalid for anything else.
QDateTime parseHttpDate(const QByteArray &text);

// A strong validator of the document's bytes.
QByteArray entityTag(const QByteArray &body);

// Whether a conditional GET may be answered 304: If-None-Match decides when
// it is there (a list of tags, or *; weak tags compare by their value),
// else If-Modified-Since against the time the document was written.
bool notModified(const RequestHead &head, const QByteArray &tag, const QDateTime &lastModified);
