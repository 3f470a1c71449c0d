#include "capreader.h"

#include "platform/rawmarkup.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cmath>
#include <limits>

namespace {

const QString AtomNs = QStringLiteral("http://www.w3.org/2005/Atom");

bool isCapNamespace(QStringView ns)
{
    return ns == QLatin1String("urn:oasis:names:tc:emergency:cap:1.2")
        || ns == QLatin1String("urn:oasis:names:tc:emergency:cap:1.1");
}

// CAP times carry their offset ("2026-12-09T15:00:00+03:00"); one without
// would be read in the host's zone, so it counts as none.
QDateTime capTime(const QString &text)
{
    static const QRegularExpression zoned(QStringLiteral("(Z|[+-]\\d\\d:?\\d\\d)$"));
    if (!zoned.match(text).hasMatch())
        return {};
    QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    return time.isValid() ? time : QDateTime();
}

bool readPair(QStringView text, CapPoint *point)
{
    const qsizetype comma = text.indexOf(u',');
    if (comma < 0)
        return false;
    bool latOk = false;
    bool lonOk = false;
    point->latitude = text.left(comma).toDouble(&latOk);
    point->longitude = text.mid(comma + 1).toDouble(&lonOk);
    return latOk && lonOk && std::isfinite(point->latitude) && std::isfinite(point->longitude)
        && std::fabs(point->latitude) <= 90 && std::fabs(point->longitude) <= 180;
}

class CapParser
{
public:
    explicit CapParser(const QByteArray &body)
        : m_reader(body)
    {
        m_reader.setNamespaceProcessing(true);
    }

    QString error() const { return m_error; }
    bool failed() const { return !m_error.isEmpty(); }

    QXmlStreamReader::TokenType next()
    {
        if (failed())
            return QXmlStreamReader::Invalid;
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        switch (token) {
        case QXmlStreamReader::StartDocument:
            if (!m_reader.documentEncoding().isEmpty() && !isUtf8Name(m_reader.documentEncoding()))
                return fail(QStringLiteral("not UTF-8"));
            break;
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            return fail(QStringLiteral("declares a DTD"));
        case QXmlStreamReader::StartElement:
            if (++m_depth > CapLimits::MaximumDepth)
                return fail(QStringLiteral("too deep"));
            break;
        case QXmlStreamReader::EndElement:
            --m_depth;
            break;
        case QXmlStreamReader::Invalid:
            return fail(QStringLiteral("not well-formed XML: %1").arg(m_reader.errorString()));
        default:
            break;
        }
        return token;
    }

    QXmlStreamReader::TokenType fail(const QString &why)
    {
        if (m_error.isEmpty())
            m_error = why;
        return QXmlStreamReader::Invalid;
    }

    // The text of the element just started, its children skipped; the
    // reader stands on its end.
    QString text()
    {
        QString out;
        int level = 0;
        for (;;) {
            switch (next()) {
            case QXmlStreamReader::Invalid:
            case QXmlStreamReader::EndDocument:
                fail(QStringLiteral("ends inside an element"));
                return {};
            case QXmlStreamReader::Characters:
                if (level == 0)
                    out += m_reader.text();
                break;
            case QXmlStreamReader::StartElement:
                ++level;
                break;
            case QXmlStreamReader::EndElement:
                if (level-- == 0)
                    return out.trimmed();
                break;
            default:
                break;
            }
        }
    }

    // Calls `child` for each child element of the element just started,
    // which must leave the reader on that child's end.
    template <typename Child>
    void children(Child child)
    {
        for (;;) {
            switch (next()) {
            case QXmlStreamReader::Invalid:
            case QXmlStreamReader::EndDocument:
                fail(QStringLiteral("ends inside an element"));
                return;
            case QXmlStreamReader::StartElement:
                child(m_reader.namespaceUri(), m_reader.name());
                if (failed())
                    return;
                break;
            case QXmlStreamReader::EndElement:
                return;
            default:
                break;
            }
        }
    }

    bool atCapAlert() const
    {
        return m_reader.name() == QLatin1String("alert") && isCapNamespace(m_reader.namespaceUri());
    }

    void document(CapReading &reading, const QUrl &base)
    {
        QXmlStreamReader::TokenType token = QXmlStreamReader::NoToken;
        while ((token = next()) != QXmlStreamReader::StartElement) {
            if (token == QXmlStreamReader::Invalid || token == QXmlStreamReader::EndDocument) {
                fail(QStringLiteral("no document element"));
                return;
            }
        }
        const QStringView name = m_reader.name();
        if (atCapAlert())
            add(reading, alert());
        else if (name == QLatin1String("rss") && m_reader.namespaceUri().isEmpty())
            walk(reading, base, false);
        else if (name == QLatin1String("feed") && m_reader.namespaceUri() == AtomNs)
            walk(reading, base, true);
        else
            fail(QStringLiteral("neither an RSS or Atom index nor a CAP alert"));
        while (!failed() && (token = next()) != QXmlStreamReader::EndDocument) {
            if (token == QXmlStreamReader::Invalid)
                break;
        }
    }

private:
    void add(CapReading &reading, const CapAlert &alert)
    {
        if (reading.alerts.size() + reading.links.size() >= CapLimits::MaximumAlerts)
            fail(QStringLiteral("more than %1 alerts").arg(CapLimits::MaximumAlerts));
        else if (!failed())
            reading.alerts.append(alert);
    }

    void addLink(CapReading &reading, const QUrl &base, const QString &href)
    {
        const QUrl url = base.resolved(QUrl(href.trimmed()));
        if (!url.isValid() || url.host().isEmpty()
            || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
            || reading.links.contains(url))
            return;
        if (reading.alerts.size() + reading.links.size() >= CapLimits::MaximumAlerts)
            fail(QStringLiteral("more than %1 alerts").arg(CapLimits::MaximumAlerts));
        else
            reading.links.append(url);
    }

    // The channel or feed, down to its items or entries, wherever they are.
    void walk(CapReading &reading, const QUrl &base, bool atom)
    {
        children([&](QStringView ns, QStringView name) {
            if (atom ? (name == QLatin1String("entry") && ns == AtomNs)
                     : (name == QLatin1String("item") && ns.isEmpty()))
                entry(reading, base, atom);
            else if (!atom && name == QLatin1String("channel") && ns.isEmpty())
                walk(reading, base, atom);
            else
                text();
        });
    }

    // An item or entry: an alert inline, else the link to one. A link
    // that says it is CAP is taken before the item's plain link.
    void entry(CapReading &reading, const QUrl &base, bool atom)
    {
        bool inline_ = false;
        QString capLink;
        QString plainLink;
        children([&](QStringView ns, QStringView name) {
            if (atCapAlert()) {
                add(reading, alert());
                inline_ = true;
                return;
            }
            const QXmlStreamAttributes attributes = m_reader.attributes();
            const bool capType = attributes.value(QLatin1String("type")).contains(QLatin1String("cap"));
            if (atom && ns == AtomNs && name == QLatin1String("content")) {
                children([&](QStringView, QStringView) {
                    if (atCapAlert()) {
                        add(reading, alert());
                        inline_ = true;
                    } else {
                        text();
                    }
                });
                return;
            }
            if (atom && ns == AtomNs && name == QLatin1String("link")) {
                const QString href = attributes.value(QLatin1String("href")).toString();
                const QStringView rel = attributes.value(QLatin1String("rel"));
                if (capType && capLink.isEmpty())
                    capLink = href;
                else if ((rel.isEmpty() || rel == QLatin1String("alternate")) && plainLink.isEmpty())
                    plainLink = href;
            } else if (!atom && ns.isEmpty() && name == QLatin1String("enclosure") && capType && capLink.isEmpty()) {
                capLink = attributes.value(QLatin1String("url")).toString();
            } else if (!atom && ns.isEmpty() && name == QLatin1String("link")) {
                const QString link = text();
                if (plainLink.isEmpty())
                    plainLink = link;
                return;
            }
            text();
        });
        if (!inline_ && !failed()) {
            const QString link = capLink.isEmpty() ? plainLink : capLink;
            if (!link.isEmpty())
                addLink(reading, base, link);
        }
    }

    CapAlert alert()
    {
        CapAlert alert;
        int points = 0;
        children([&](QStringView ns, QStringView name) {
            if (!isCapNamespace(ns)) {
                text();
            } else if (name == QLatin1String("info")) {
                if (alert.infos.size() >= CapLimits::MaximumInfos) {
                    fail(QStringLiteral("more than %1 infos in one alert").arg(CapLimits::MaximumInfos));
                    return;
                }
                alert.infos.append(info(&points));
            } else {
                const QString value = text();
                if (name == QLatin1String("identifier"))
                    alert.identifier = value;
                else if (name == QLatin1String("sender"))
                    alert.sender = value;
                else if (name == QLatin1String("sent"))
                    alert.sent = capTime(value);
                else if (name == QLatin1String("status"))
                    alert.status = value;
                else if (name == QLatin1String("msgType"))
                    alert.msgType = value;
                else if (name == QLatin1String("references"))
                    alert.references = referencedIdentifiers(value);
            }
        });
        return alert;
    }

    static QStringList referencedIdentifiers(const QString &value)
    {
        QStringList identifiers;
        for (const QString &reference : value.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
            const QStringList fields = reference.split(u',');
            const QString identifier = fields.size() >= 2 ? fields.at(1) : fields.at(0);
            if (!identifier.isEmpty() && !identifiers.contains(identifier))
                identifiers.append(identifier);
        }
        return identifiers;
    }

    CapInfo info(int *points)
    {
        CapInfo info;
        QString language;
        children([&](QStringView ns, QStringView name) {
            if (!isCapNamespace(ns)) {
                text();
            } else if (name == QLatin1String("area")) {
                if (info.areas.size() >= CapLimits::MaximumAreas) {
                    fail(QStringLiteral("more than %1 areas in one info").arg(CapLimits::MaximumAreas));
                    return;
                }
                info.areas.append(area(points));
            } else if (name == QLatin1String("eventCode")) {
                children([&](QStringView childNs, QStringView child) {
                    const QString value = text();
                    if (isCapNamespace(childNs) && child == QLatin1String("value") && !value.isEmpty())
                        info.eventCodes.append(value);
                });
            } else {
                const QString value = text();
                if (name == QLatin1String("language"))
                    language = value;
                else if (name == QLatin1String("category"))
                    info.categories.append(value);
                else if (name == QLatin1String("event"))
                    info.event = value;
                else if (name == QLatin1String("urgency"))
                    info.urgency = value;
                else if (name == QLatin1String("severity"))
                    info.severity = value;
                else if (name == QLatin1String("effective"))
                    info.effective = capTime(value);
                else if (name == QLatin1String("onset"))
                    info.onset = capTime(value);
                else if (name == QLatin1String("expires"))
                    info.expires = capTime(value);
                else if (name == QLatin1String("senderName"))
                    info.senderName = value;
                else if (name == QLatin1String("headline"))
                    info.headline = value;
                else if (name == QLatin1String("description"))
                    info.description = value;
            }
        });
        info.language = capLanguage(language, info.event + info.headline + info.description);
        return info;
    }

    CapArea area(int *points)
    {
        CapArea area;
        children([&](QStringView ns, QStringView name) {
            const QString value = text();
            if (!isCapNamespace(ns))
                return;
            if (name == QLatin1String("areaDesc")) {
                area.description = value;
            } else if (name == QLatin1String("polygon")) {
                area.hasGeometry = true;
                QList<CapPoint> polygon;
                bool good = true;
                for (const QStringView pair : QStringView(value).split(u' ', Qt::SkipEmptyParts)) {
                    CapPoint point;
                    if (++*points > CapLimits::MaximumPoints) {
                        fail(QStringLiteral("more than %1 points in one alert").arg(CapLimits::MaximumPoints));
                        return;
                    }
                    good = good && readPair(pair.trimmed(), &point);
                    polygon.append(point);
                }
                if (good && polygon.size() >= 4)
                    area.polygons.append(polygon);
            } else if (name == QLatin1String("circle")) {
                area.hasGeometry = true;
                const QStringList parts = value.simplified().split(u' ');
                CapCircle circle;
                CapPoint centre;
                bool radiusOk = false;
                if (++*points > CapLimits::MaximumPoints) {
                    fail(QStringLiteral("more than %1 points in one alert").arg(CapLimits::MaximumPoints));
                    return;
                }
                if (parts.size() == 2 && readPair(parts.at(0), &centre)) {
                    circle.radiusKm = parts.at(1).toDouble(&radiusOk);
                    circle.latitude = centre.latitude;
                    circle.longitude = centre.longitude;
                    if (radiusOk && std::isfinite(circle.radiusKm) && circle.radiusKm >= 0)
                        area.circles.append(circle);
                }
            }
        });
        return area;
    }

    QXmlStreamReader m_reader;
    int m_depth = 0;
    QString m_error;
};

} // namespace

QString capLanguage(const QString &language, const QString &sample)
{
    if (!language.isEmpty())
        return language.left(2).toLower();
    for (const QChar c : sample) {
        if (c.script() == QChar::Script_Arabic)
            return QStringLiteral("ar");
    }
    return QStringLiteral("en");
}

CapReading readCap(const QByteArray &body, const QUrl &base)
{
    CapReading reading;
    if (body.size() > CapLimits::MaximumBytes) {
        reading.error = QStringLiteral("larger than %1 bytes").arg(CapLimits::MaximumBytes);
        return reading;
    }
    if (!readAsUtf8(body)) {
        reading.error = QStringLiteral("not UTF-8");
        return reading;
    }
    // The stream reader compares each attribute of a tag with the others
    // before it hands the tag over: their number is counted first.
    switch (screenRawMarkup(body, CapLimits::MaximumAttributes, std::numeric_limits<int>::max())) {
    case RawMarkup::Accepted:
    case RawMarkup::GivenUp:
        break;
    case RawMarkup::DocumentType:
        reading.error = QStringLiteral("declares a DTD");
        return reading;
    case RawMarkup::TooManyAttributes:
        reading.error = QStringLiteral("too many attributes");
        return reading;
    }
    CapParser parser(body);
    parser.document(reading, base);
    if (parser.failed()) {
        reading.error = parser.error();
        reading.links.clear();
        reading.alerts.clear();
        return reading;
    }
    reading.ok = true;
    return reading;
}
