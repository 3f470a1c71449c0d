#include "feedrequest.h"

#include <QList>
#include <QUrl>

namespace {

bool isPrintableAscii(const QByteArray &text)
{
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f)
            return false;
    }
    return true;
}

QString decodeQueryPart(QByteArray part)
{
    part.replace('+', ' ');
    return QUrl::fromPercentEncoding(part);
}

FeedRequest bad(const QString &reason)
{
    FeedRequest request;
    request.kind = FeedRequest::Kind::BadRequest;
    request.reason = reason;
    return request;
}

} // namespace

HeadStatus parseRequestHead(const QByteArray &buffer, RequestHead *head, qsizetype *consumed)
{
    // Split into lines up to the first empty one.
    QList<QByteArray> lines;
    qsizetype position = 0;
    bool ended = false;
    while (position < buffer.size()) {
        const qsizetype newline = buffer.indexOf('\n', position);
        if (newline < 0)
            break;
        QByteArray line = buffer.mid(position, newline - position);
        if (line.endsWith('\r'))
            line.chop(1);
        position = newline + 1;
        if (line.isEmpty()) {
            if (lines.isEmpty())
                continue; // blank lines before a request are tolerated
            ended = true;
            break;
        }
        lines.append(line);
    }
    if (!ended)
        return buffer.size() > MaximumHeadBytes ? HeadStatus::TooLarge : HeadStatus::Incomplete;
    if (position > MaximumHeadBytes)
        return HeadStatus::TooLarge;

    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty())
        return HeadStatus::Malformed;
    RequestHead result;
    result.method = parts[0];
    result.target = parts[1];
    result.version = parts[2];
    if (result.version != "HTTP/1.1" && result.version != "HTTP/1.0")
        return HeadStatus::Malformed;
    result.keepAlive = result.version == "HTTP/1.1";

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.at(0) == ' ' || line.at(0) == '\t')
            return HeadStatus::Malformed;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "connection") {
            const QByteArray v = value.toLower();
            if (v.contains("close"))
                result.keepAlive = false;
            else if (v.contains("keep-alive"))
                result.keepAlive = true;
        } else if (name == "content-length") {
            bool ok = false;
            const qlonglong length = value.toLongLong(&ok);
            if (!ok || length < 0)
                return HeadStatus::Malformed;
            if (length > 0)
                result.hasBody = true;
        } else if (name == "transfer-encoding") {
            result.hasBody = true;
        } else if (name == "if-none-match") {
            result.ifNoneMatch = value;
        } else if (name == "if-modified-since") {
            result.ifModifiedSince = value;
        }
    }
    *head = result;
    *consumed = position;
    return HeadStatus::Complete;
}

FeedRequest routeFeedRequest(const QByteArray &rawTarget)
{
    if (!isPrintableAscii(rawTarget))
        return bad(QStringLiteral("the request target holds characters that do not belong there"));

    QByteArray target = rawTarget;
    // The absolute form ("http://127.0.0.1:8619/forecastrss?...") names the
    // same resource.
    if (target.startsWith("http://")) {
        const qsizetype slash = target.indexOf('/', 7);
        target = slash < 0 ? QByteArray("/") : target.mid(slash);
    }
    if (!target.startsWith('/'))
        return bad(QStringLiteral("the request target is not a path"));

    const qsizetype mark = target.indexOf('?');
    const QByteArray path = mark < 0 ? target : target.left(mark);
    const QByteArray query = mark < 0 ? QByteArray() : target.mid(mark + 1);

    if (path == "/health" || path == "/metrics") {
        FeedRequest request;
        request.kind = path == "/health" ? FeedRequest::Kind::Health : FeedRequest::Kind::Metrics;
        return request;
    }
    if (path != "/forecastrss") {
        FeedRequest request;
        request.kind = FeedRequest::Kind::NotFound;
        request.reason = QStringLiteral("only /forecastrss, /health and /metrics are served here");
        return request;
    }
    if (query.size() > MaximumQueryLength)
        return bad(QStringLiteral("the query is too long"));

    QList<QString> locations;
    QList<QString> unitValues;
    for (const QByteArray &pair : query.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype equals = pair.indexOf('=');
        const QString key = decodeQueryPart(equals < 0 ? pair : pair.left(equals));
        const QString value = equals < 0 ? QString() : decodeQueryPart(pair.mid(equals + 1));
        if (key == QLatin1String("p"))
            locations.append(value);
        else if (key == QLatin1String("u"))
            unitValues.append(value);
    }

    if (locations.isEmpty())
        return bad(QStringLiteral("the location parameter p is missing"));
    if (locations.size() > 1)
        return bad(QStringLiteral("the location parameter p is given more than once"));
    if (locations.first().trimmed().isEmpty())
        return bad(QStringLiteral("the location parameter p is empty"));
    if (unitValues.size() > 1)
        return bad(QStringLiteral("the unit parameter u is given more than once"));

    FeedRequest request;
    request.kind = FeedRequest::Kind::Feed;
    request.locationId = locations.first().trimmed();
    if (!unitValues.isEmpty()) {
        const QString u = unitValues.first().toLower();
        if (u == QLatin1String("f"))
            request.units = Units::Imperial;
        else if (u != QLatin1String("c"))
            return bad(QStringLiteral("the unit parameter u must be c or f"));
    }
    return request;
}
