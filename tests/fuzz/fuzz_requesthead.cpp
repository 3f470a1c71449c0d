// The bytes a client sends forecastd, as its connections read them: the
// request head, and the route its target takes. forecastd parses the bytes
// it has each time more arrive, so a head must read the same whatever
// follows it, and must not be complete a byte early.

#include "fuzzsupport.h"

#include "service/feeddocument.h"
#include "service/feedrequest.h"
#include "service/locationtable.h"

#include <QXmlStreamReader>

#include <cstdint>

namespace {

bool sameHead(const RequestHead &a, const RequestHead &b)
{
    return a.method == b.method && a.target == b.target && a.version == b.version && a.keepAlive == b.keepAlive
        && a.hasBody == b.hasBody && a.ifNoneMatch == b.ifNoneMatch && a.ifModifiedSince == b.ifModifiedSince;
}

bool isWellFormed(const QByteArray &document)
{
    QXmlStreamReader reader(document);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

void checkRoute(const QByteArray &target)
{
    const FeedRequest request = routeFeedRequest(target);
    if (request.kind == FeedRequest::Kind::Health || request.kind == FeedRequest::Kind::Metrics) {
        FUZZ_CHECK(request.reason.isEmpty() && request.locationId.isEmpty());
        return;
    }
    if (request.kind != FeedRequest::Kind::Feed) {
        // The reason is said in the answer.
        FUZZ_CHECK(!request.reason.isEmpty());
        return;
    }
    FUZZ_CHECK(request.reason.isEmpty());
    FUZZ_CHECK(!request.locationId.isEmpty() && request.locationId == request.locationId.trimmed());
    // An id the service does not know is answered with a document that
    // echoes the target: it must stay a well-formed document.
    if (!LocationTable::builtIn().find(request.locationId))
        FUZZ_CHECK(isWellFormed(writeErrorDocument(QString::fromLatin1(target))));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    quietQt();
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));

    // Pipelined requests, as a connection takes them: each complete head is
    // removed from the front and the rest parsed again.
    QByteArray buffer = input;
    for (;;) {
        RequestHead head;
        qsizetype consumed = -1;
        const HeadStatus status = parseRequestHead(buffer, &head, &consumed);
        if (status != HeadStatus::Complete) {
            FUZZ_CHECK(consumed == -1);
            // Waiting for more is bounded: a buffer past the limit is refused.
            if (status == HeadStatus::Incomplete)
                FUZZ_CHECK(buffer.size() <= MaximumHeadBytes);
            if (status == HeadStatus::TooLarge)
                FUZZ_CHECK(buffer.size() > MaximumHeadBytes);
            break;
        }
        FUZZ_CHECK(consumed > 0 && consumed <= buffer.size() && consumed <= MaximumHeadBytes);
        FUZZ_CHECK(buffer.at(consumed - 1) == '\n');
        FUZZ_CHECK(!head.method.isEmpty() && !head.target.isEmpty());
        FUZZ_CHECK(head.version == "HTTP/1.1" || head.version == "HTTP/1.0");

        RequestHead alone;
        qsizetype aloneConsumed = -1;
        FUZZ_CHECK(parseRequestHead(buffer.left(consumed), &alone, &aloneConsumed) == HeadStatus::Complete);
        FUZZ_CHECK(aloneConsumed == consumed && sameHead(alone, head));
        RequestHead early;
        qsizetype earlyConsumed = -1;
        FUZZ_CHECK(parseRequestHead(buffer.left(consumed - 1), &early, &earlyConsumed) == HeadStatus::Incomplete);
        FUZZ_CHECK(earlyConsumed == -1);

        checkRoute(head.target);
        buffer.remove(0, consumed);
    }

    // The router on its own sees any bytes, also those no head would carry.
    checkRoute(input);
    return 0;
}
