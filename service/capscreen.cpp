#include "capscreen.h"

#include "capreader.h"

#include <QStringDecoder>

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

} // namespace

// The stream reader compares each attribute of a tag with all the others
// before it hands the tag over, so the attributes are counted on the raw
// bytes first: a quoted value inside a start tag. A document type is
// refused here too, before its internal subset (entities, default
// attributes) reaches the reader. In UTF-8, '<', '>' and the quotes are
// single bytes no other character contains; whatever this pass misreads in
// a body that is not well-formed, the reader refuses later.
QString screenCapRawBytes(const QByteArray &body)
{
    const char *p = body.constData();
    const char *const end = p + body.size();
    while (p < end) {
        p = static_cast<const char *>(std::memchr(p, '<', std::size_t(end - p)));
        if (!p)
            return {};
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
            return QStringLiteral("declares a DTD");
        if (startsWith(p, end, "?")) {
            p = after(p + 1, end, "?>");
            continue;
        }
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
                if (startTag && ++values > CapLimits::MaximumAttributes)
                    return QStringLiteral("too many attributes");
            }
        }
    }
    return {};
}

bool capReadAsUtf8(const QByteArray &body)
{
    const std::optional<QStringConverter::Encoding> encoding = QStringDecoder::encodingForData(body, u'<');
    return !encoding || *encoding == QStringConverter::Utf8;
}

bool isCapUtf8Name(QStringView name)
{
    for (const char *utf8 : {"UTF-8", "UTF8", "US-ASCII", "ASCII"}) {
        if (name.compare(QLatin1String(utf8), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
