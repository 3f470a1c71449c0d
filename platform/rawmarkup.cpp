#include "platform/rawmarkup.h"

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

RawMarkup screenRawMarkup(const QByteArray &body, int attributesPerTag, int attributesInDocument,
                          const std::function<bool()> &keepGoing)
{
    const char *p = body.constData();
    const char *const end = p + body.size();
    int markup = 0;
    int attributes = 0;
    while (p < end) {
        p = static_cast<const char *>(std::memchr(p, '<', std::size_t(end - p)));
        if (!p)
            return RawMarkup::Accepted;
        if (++markup % 4096 == 0 && keepGoing && !keepGoing())
            return RawMarkup::GivenUp;
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
            return RawMarkup::DocumentType;
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
                if (startTag && (++values > attributesPerTag || ++attributes > attributesInDocument))
                    return RawMarkup::TooManyAttributes;
            }
        }
    }
    return RawMarkup::Accepted;
}

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
