#include "feedanswer.h"

#include "forecastsource.h"

#include <QCryptographicHash>
#include <QLocale>

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

HttpAnswer textAnswer(int status, const QString &message)
{
    HttpAnswer answer;
    answer.status = status;
    answer.body = QByteArray::number(status) + ' ' + reasonPhrase(status) + ": " + message.toUtf8() + '\n';
    return answer;
}

QByteArray httpDate(const QDateTime &time)
{
    return QLocale::c().toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
}

QDateTime parseHttpDate(const QByteArray &text)
{
    static const QByteArray months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QList<QByteArray> fields = text.simplified().split(' ');
    if (fields.size() != 6 || fields[5] != "GMT")
        return {};
    int month = 0;
    while (month < 12 && months[month] != fields[2])
        ++month;
    const QDate date(fields[3].toInt(), month + 1, fields[1].toInt());
    const QTime time = QTime::fromString(QString::fromLatin1(fields[4]), QStringLiteral("hh:mm:ss"));
    if (month == 12 || !date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QByteArray entityTag(const QByteArray &body)
{
    return '"' + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex().left(20) + '"';
}

bool notModified(const RequestHead &head, const QByteArray &tag, const QDateTime &lastModified)
{
    if (!head.ifNoneMatch.isEmpty()) {
        for (QByteArray candidate : head.ifNoneMatch.split(',')) {
            candidate = candidate.trimmed();
            if (candidate.startsWith("W/"))
                candidate = candidate.mid(2);
            if (candidate == "*" || candidate == tag)
                return true;
        }
        return false;
    }
    if (head.ifModifiedSince.isEmpty() || !lastModified.isValid())
        return false;
    const QDateTime since = parseHttpDate(head.ifModifiedSince);
    return since.isValid() && lastModified.toSecsSinceEpoch() <= since.toSecsSinceEpoch();
}

HttpAnswer documentAnswer(const RequestHead &head, const ServedDocument &served)
{
    HttpAnswer answer;
    const QByteArray tag = entityTag(served.body);
    answer.headers.append(qMakePair(QByteArray("ETag"), tag));
    if (served.lastModified.isValid())
        answer.headers.append(qMakePair(QByteArray("Last-Modified"), httpDate(served.lastModified)));
    answer.headers.append(qMakePair(QByteArray("Cache-Control"),
                                    served.maxAgeSeconds >= 0 ? "max-age=" + QByteArray::number(served.maxAgeSeconds)
                                                              : QByteArray("no-cache")));
    if (notModified(head, tag, served.lastModified)) {
        answer.status = 304;
        answer.contentType.clear();
        return answer;
    }
    answer.contentType = DocumentType;
    answer.body = served.body;
    return answer;
}

HttpAnswer feedAnswer(const RequestHead &head, const ServedDocument &served, const QString &locationId)
{
    HttpAnswer answer;
    if (served.status == ServedDocument::Status::Ok) {
        answer = documentAnswer(head, served);
    } else {
        answer = textAnswer(503, QStringLiteral("no forecast for %1 at the moment").arg(locationId));
        const int retryAfter = served.retryAfterSeconds > 0 ? served.retryAfterSeconds : 60;
        answer.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray::number(retryAfter)));
    }
    answer.close = !head.keepAlive;
    return answer;
}

QByteArray answerBytes(const HttpAnswer &answer, bool headOnly)
{
    QByteArray out;
    out.reserve(answer.body.size() + 256);
    out += "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reasonPhrase(answer.status) + "\r\n";
    out += "Server: forecastd/" FORECASTD_VERSION "\r\n";
    out += "Date: " + httpDate() + "\r\n";
    if (!answer.contentType.isEmpty())
        out += "Content-Type: " + answer.contentType + "\r\n";
    // A 304 has no body, and tells no length of its own.
    if (answer.status != 304)
        out += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    for (const auto &header : answer.headers)
        out += header.first + ": " + header.second + "\r\n";
    out += answer.close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    out += "\r\n";
    if (!headOnly)
        out += answer.body;
    return out;
}
