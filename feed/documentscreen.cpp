#include "feed/documentscreen.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

#include <cstring>
#include <ctime>
#include <string_view>

namespace {

// Where `needle` ends in [from, end), or end when it does not occur.
const char *after(const char *from, const char *end, std::string_view needle)
{
    const std::string_view rest(from, std::size_t(end - from));
    const std::size_t at = rest.find(needle);
    return at == std::string_view::npos ? end : from + at + needle.size();
}

bool startsWith(const char *from, const char *end, std::string_view prefix)
{
    return std::size_t(end - from) >= prefix.size() && std::string_view(from, prefix.size()) == prefix;
}

std::chrono::nanoseconds threadCpuTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// QXmlStreamReader takes the encoding from a byte order mark or from the
// pattern of the first bytes (this very test), then from the declaration.
// In UTF-8 and only there, '<', '>' and the quotes are single bytes that no
// other character contains, which the pass over raw bytes relies on.
bool readAsUtf8(const QByteArray &body)
{
    const std::optional<QStringConverter::Encoding> encoding = QStringDecoder::encodingForData(body, u'<');
    return !encoding || *encoding == QStringConverter::Utf8;
}

bool isUtf8Name(QStringView name)
{
    for (const char *utf8 : {"UTF-8", "UTF8", "US-ASCII", "ASCII"}) {
        if (name.compare(QLatin1String(utf8), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// QXmlStreamReader compares each attribute of an element with all the
// others before it hands the element over, so one tag of 100,000 attributes
// holds it for minutes. Their number is counted on the raw bytes first, in
// each tag and in the whole document: an attribute is a quoted value inside
// a start tag. Comments, CDATA sections
// and processing instructions are skipped whole, ending where the reader
// ends them. A document type declaration is refused here: its internal
// subset holds quotes, comments and instructions of its own that would put
// this pass out of step with the reader, and default attributes that no
// tag shows. Whatever this pass misreads in a document that is not
// well-formed, the stream reader refuses before it gets that far.
DocumentVerdict screenRawBytes(const QByteArray &body, WorkBudget &budget)
{
    const char *p = body.constData();
    const char *const end = p + body.size();
    int markup = 0;
    int attributes = 0;
    while (p < end) {
        p = static_cast<const char *>(std::memchr(p, '<', std::size_t(end - p)));
        if (!p)
            return DocumentVerdict::Accepted;
        if (++markup % 4096 == 0 && budget.isSpent())
            return budget.reason();
        ++p;
        if (startsWith(p, end, "!--")) {
            p = after(p + 3, end, "-->");
            continue;
        }
        if (startsWith(p, end, "![CDATA[")) {
            p = after(p + 8, end, "]]>");
            continue;
        }
        if (startsWith(p, end, "!"))
            return DocumentVerdict::DeclaresDocumentType;
        if (startsWith(p, end, "?")) {
            p = after(p + 1, end, "?>");
            continue;
        }
        // A start tag or an end tag, up to its '>' outside quotes.
        const bool startTag = p < end && *p != '/';
        int values = 0;
        char quote = 0;
        for (; p < end; ++p) {
            const char c = *p;
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '>') {
                break;
            } else if (c == '"' || c == '\'') {
                quote = c;
                if (startTag
                    && (++values > FeedLimits::MaximumAttributes
                        || ++attributes > FeedLimits::MaximumAttributesInDocument))
                    return DocumentVerdict::TooManyAttributes;
            }
        }
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
