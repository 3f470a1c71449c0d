// The national centre's alert feeds as forecastd reads them: any bytes as
// an index or a CAP document, what counts of what was read, and the
// documents that carry it. Whatever comes, the reading keeps to its
// limits, what it keeps is what it may keep, and a city's document stays
// well-formed.

#include "fuzzsupport.h"

#include "service/capreader.h"
#include "service/feeddocument.h"
#include "service/locationtable.h"
#include "service/officialalerts.h"

#include <QXmlStreamReader>

#include <cstdint>

namespace {

const QDateTime Now(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);

bool isWellFormed(const QByteArray &document)
{
    QXmlStreamReader reader(document);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    quietQt();
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const CapReading reading = readCap(input, QUrl(QStringLiteral("https://ncm.gov.sa/ar/cap-alerts")));
    if (!reading.ok) {
        FUZZ_CHECK(!reading.error.isEmpty() && reading.links.isEmpty() && reading.alerts.isEmpty());
        return 0;
    }
    FUZZ_CHECK(reading.links.size() + reading.alerts.size() <= CapLimits::MaximumAlerts);
    for (const QUrl &link : reading.links)
        FUZZ_CHECK(link.isValid()
                   && (link.scheme() == QLatin1String("https") || link.scheme() == QLatin1String("http")));
    for (const CapAlert &alert : reading.alerts)
        FUZZ_CHECK(alert.infos.size() <= CapLimits::MaximumInfos);

    Withdrawals withdrawals;
    const QList<OfficialAlert> alerts = alertsInForce(reading.alerts, LocationTable::builtIn(), Now, &withdrawals);
    for (const OfficialAlert &alert : alerts) {
        FUZZ_CHECK(!alert.identifier.isEmpty() && !alert.cities.isEmpty() && alert.expires > Now);
        FUZZ_CHECK(alert.texts.size() <= 2);
        for (const AlertText &text : alert.texts)
            FUZZ_CHECK(text.description.size() <= OfficialAlert::DescriptionLength + 1);
        FUZZ_CHECK(!withdrawals.contains(alert.identifier));
    }
    if (!alerts.isEmpty()) {
        const Location &riyadh = LocationTable::builtIn().locations().constFirst();
        FUZZ_CHECK(isWellFormed(writeForecastDocument({}, riyadh, Units::Metric, {}, {}, {}, alerts)));
    }
    return 0;
}
