#include "feed/documentscreen.h"

#include <QXmlStreamReader>

#include <cstring>
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

// QXmlStreamReader compares each attribute of an element with all the
// others before it hands the element over, so one tag of 100,000 attributes
// holds it for minutes. Their number is counted on the raw bytes first: an
// attribute is a quoted value inside a start tag. Comments, CDATA sections
// and processing instructions are skipped whole; whatever this pass
// misreads in a document that is not well-formed, the stream reader refuses.
bool attributesWithinLimit(const QByteArray &body)
{
    const char *p = body.constData();
    const char *const end = p + body.size();
    while (p < end) {
        p = static_cast<const char *>(std::memchr(p, '<', std::size_t(end - p)));
        if (!p)
            return true;
        ++p;
        if (startsWith(p, end, "!--")) {
            p = after(p + 3, end, "-->");
            continue;
        }
        if (startsWith(p, end, "![CDATA[")) {
            p = after(p + 8, end, "]]>");
            continue;
        }
        if (startsWith(p, end, "?")) {
            p = after(p + 1, end, "?>");
            continue;
        }
        // A start tag, an end tag or a declaration, up to its '>' outside quotes.
        const bool startTag = p < end && *p != '/' && *p != '!';
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
                if (startTag && ++values > FeedLimits::MaximumAttributes)
                    return false;
            }
        }
    }
    return true;
}

} // namespace

DocumentVerdict screenFeedDocument(const QByteArray &body)
{
    if (!attributesWithinLimit(body))
        return DocumentVerdict::TooManyAttributes;

    QXmlStreamReader reader(body);
    // Names are only counted here, never resolved.
    reader.setNamespaceProcessing(false);
    int depth = 0;
    int elements = 0;
    qsizetype textRun = 0; // the text of one element so far, split by comments or CDATA
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            // Qt bounds each entity's expansion but not the document's: a
            // short document that names a 4 KB entity many thousand times
            // expands to gigabytes. Feeds never declare entities.
            if (!reader.entityDeclarations().isEmpty() || reader.text().contains(QLatin1String("<!ENTITY")))
                return DocumentVerdict::DeclaresEntities;
            break;
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
    return reader.hasError() ? DocumentVerdict::NotWellFormed : DocumentVerdict::Accepted;
}

const char *verdictName(DocumentVerdict verdict)
{
    switch (verdict) {
    case DocumentVerdict::Accepted:
        return "accepted";
    case DocumentVerdict::NotWellFormed:
        return "not well-formed";
    case DocumentVerdict::DeclaresEntities:
        return "declares entities";
    case DocumentVerdict::TooManyAttributes:
        return "too many attributes";
    case DocumentVerdict::TooDeep:
        return "too deep";
    case DocumentVerdict::TooManyElements:
        return "too many elements";
    case DocumentVerdict::ValueTooLong:
        return "value too long";
    }
    return "?";
}
