#include "feed/documentscreen.h"

#include "platform/rawmarkup.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

#include <cstring>
#include <ctime>
#include <string_view>

namespace {

std::chrono::nanoseconds threadCpuTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// The pass over the raw bytes, within the read's budget.
DocumentVerdict screenRawBytes(const QByteArray &body, WorkBudget &budget)
{
    switch (screenRawMarkup(body, FeedLimits::MaximumAttributes, FeedLimits::MaximumAttributesInDocument,
                            [&budget] { return !budget.isSpent(); })) {
    case RawMarkup::Accepted:
        break;
    case RawMarkup::DocumentType:
        return DocumentVerdict::DeclaresDocumentType;
    case RawMarkup::TooManyAttributes:
        return DocumentVerdict::TooManyAttributes;
    case RawMarkup::GivenUp:
        return budget.reason();
    }
    return DocumentVerdict::Accepted;
}

} // namespace

WorkBudget::WorkBudget(std::function<bool()> givenUp, std::chrono::nanoseconds cpuTime)
    : m_givenUp(std::move(givenUp))
    , m_start(threadCpuTime())
    , m_limit(cpuTime)
{
}

bool WorkBudget::isSpent()
{
    if (m_reason == DocumentVerdict::Accepted) {
        if (m_givenUp && m_givenUp())
            m_reason = DocumentVerdict::GivenUp;
        else if (used() >= m_limit)
            m_reason = DocumentVerdict::OutOfTime;
    }
    return m_reason != DocumentVerdict::Accepted;
}

std::chrono::nanoseconds WorkBudget::used() const
{
    return threadCpuTime() - m_start;
}

BudgetedBody::BudgetedBody(const QByteArray &body, WorkBudget &budget)
    : m_budget(budget)
{
    setData(body);
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 BudgetedBody::readData(char *data, qint64 maxSize)
{
    if (m_budget.isSpent()) {
        setErrorString(QString::fromLatin1(verdictName(m_budget.reason())));
        return -1;
    }
    return QBuffer::readData(data, qMin(maxSize, PieceBytes));
}

DocumentVerdict screenFeedDocument(const QByteArray &body)
{
    WorkBudget budget;
    return screenFeedDocument(body, budget);
}

DocumentVerdict screenFeedDocument(const QByteArray &body, WorkBudget &budget)
{
    if (!readAsUtf8(body))
        return DocumentVerdict::ForeignEncoding;
    const DocumentVerdict raw = screenRawBytes(body, budget);
    if (raw != DocumentVerdict::Accepted)
        return raw;

    BudgetedBody device(body, budget);
    QXmlStreamReader reader(&device);
    // Names are only counted here, never resolved.
    reader.setNamespaceProcessing(false);
    int depth = 0;
    int elements = 0;
    qsizetype textRun = 0; // the text of one element so far, split by comments or CDATA
    // A reader that runs out of data waits for more rather than end, so it
    // stops at its first error.
    while (!reader.atEnd() && !reader.hasError()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            // The declaration comes first; the reader has read nothing else.
            if (!reader.documentEncoding().isEmpty() && !isUtf8Name(reader.documentEncoding()))
                return DocumentVerdict::ForeignEncoding;
            break;
        case QXmlStreamReader::DTD:
            // Refused by the raw pass already; feeds never carry one.
            return DocumentVerdict::DeclaresDocumentType;
        case QXmlStreamReader::StartElement: {
            if (++elements > FeedLimits::MaximumElements)
                return DocumentVerdict::TooManyElements;
            if (++depth > FeedLimits::MaximumDepth)
                return DocumentVerdict::TooDeep;
            const QXmlStreamAttributes attributes = reader.attributes();
            if (attributes.size() > FeedLimits::MaximumAttributes)
                return DocumentVerdict::TooManyAttributes;
            for (const QXmlStreamAttribute &attribute : attributes) {
                if (attribute.value().size() > FeedLimits::MaximumValueLength)
                    return DocumentVerdict::ValueTooLong;
            }
            textRun = 0;
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            textRun = 0;
            break;
        case QXmlStreamReader::Characters:
            textRun += reader.text().size();
            if (textRun > FeedLimits::MaximumValueLength)
                return DocumentVerdict::ValueTooLong;
            break;
        default:
            break;
        }
    }
    // A spent budget stops the reader as if the document ended early.
    if (budget.reason() != DocumentVerdict::Accepted)
        return budget.reason();
    return reader.hasError() ? DocumentVerdict::NotWellFormed : DocumentVerdict::Accepted;
}

const char *verdictName(DocumentVerdict verdict)
{
    switch (verdict) {
    case DocumentVerdict::Accepted:
        return "accepted";
    case DocumentVerdict::NotWellFormed:
        return "not well-formed";
    case DocumentVerdict::DeclaresDocumentType:
        return "declares a DTD";
    case DocumentVerdict::ForeignEncoding:
        return "not UTF-8";
    case DocumentVerdict::TooManyAttributes:
        return "too many attributes";
    case DocumentVerdict::TooDeep:
        return "too deep";
    case DocumentVerdict::TooManyElements:
        return "too many elements";
    case DocumentVerdict::ValueTooLong:
        return "value too long";
    case DocumentVerdict::OutOfTime:
        return "out of time";
    case DocumentVerdict::GivenUp:
        return "given up";
    }
    return "?";
}
