// The update of one row of the weather table from its city's feed.
#include "feed/updatecityfromfeed.h"

#include "feed/documentloader.h"
#include "feed/feedlog.h"
#include "feed/feedreading.h"
#include "platform/datacontrol.h"
#include "platform/logging.h"

#include <QUrl>

Q_LOGGING_CATEGORY(lcFeed, "rorizedivo.feed", QtInfoMsg)

namespace {

// A row the store could not keep is said at once: the disk may be full, or
// the store gone.
void store(Recordset &row, const QString &city, const QList<SideRowsWrite> &sideRows)
{
    if (!row.update(sideRows))
        qCWarning(lcStore, "%s: the row could not be stored: %s", qPrintable(city), qPrintable(row.lastError()));
}

} // namespace

QString updateCityFromFeed(Recordset &row, const QString &address, DocumentLoader &loader, const FeedUpdateHooks &hooks)
{
    const QString city = row.value(QStringLiteral("city_code")).toText();
    // Offline: the row and the ticker stay as they are.
    if (!hooks.isOnline()) {
        qCInfo(lcFeed, "%s: not refreshed: the feed service cannot be had", qPrintable(city));
        return QString();
    }

    const auto sideRows = [&hooks, &city](const ChannelReadings *filledFrom) {
        return hooks.sideRows ? hooks.sideRows(city, filledFrom) : QList<SideRowsWrite>();
    };

    // The row is cleared once its load is allowed and under way, so a city
    // whose feed fails shows nothing stale; a load refused before it began
    // (somebody else holds the feed port, its holder can't be told, nothing
    // listens) leaves the row as it is, and the walk ends there.
    bool cleared = false;
    const auto clear = [&] {
        if (std::exchange(cleared, true))
            return;
        row.edit();
        for (const auto &[column, value] : clearedColumns())
            row.setValue(column, value);
        store(row, city, sideRows(nullptr));
    };

    // The load waits in a local event loop, and the parse and the reading
    // run on a worker meanwhile: ticks and clicks go on.
    const QList<ChannelReadings> channels = loader.loadChannels(QUrl(address), clear);
    if (channels.isEmpty())
        qCInfo(lcFeed, "%s: no feed from %s: %s", qPrintable(city), qPrintable(address),
               qPrintable(loader.lastFailure()));
    if (loader.listenerRefusal() != OfflineCause::None && !cleared)
        return QString();
    // A load that failed before it began for any other reason (no address,
    // another load under way) ends cleared like any failed feed.
    clear();
    if (!hooks.yield() || !hooks.yield())
        return QString();

    QString gained;
    for (const ChannelReadings &readings : channels) {
        // Reading the wind of a channel moves the shared sector, written or not.
        const float windDirIndex = windDirIndexAfter(readings, hooks.windDirIndex());
        hooks.setWindDirIndex(windDirIndex);

        switch (channelOutcome(readings)) {
        case ChannelOutcome::Stop:
            return gained;
        case ChannelOutcome::Skip:
            continue;
        case ChannelOutcome::Write:
            break;
        }

        row.edit();
        for (const auto &[column, value] : filledColumns(readings, windDirIndex))
            row.setValue(column, value);
        store(row, city, sideRows(&readings));
        if (!hooks.yield())
            return gained;

        gained += tickerSegment(row.value(QStringLiteral("city_a")).toText(), readings);
    }
    return gained;
}
