// The update of one row of the weather table from its city's feed.
#include "feed/updatecityfromfeed.h"

#include "feed/documentloader.h"
#include "feed/feedreading.h"
#include "platform/datacontrol.h"

#include <QUrl>

QString updateCityFromFeed(Recordset &row, const QString &address, DocumentLoader &loader, const FeedUpdateHooks &hooks)
{
    // Offline: the row and the ticker stay as they are.
    if (!hooks.isOnline())
        return QString();

    row.edit();
    for (const auto &[column, value] : clearedColumns())
        row.setValue(column, value);
    row.update();

    // The load waits in a local event loop, and the parse and the reading
    // run on a worker meanwhile: ticks and clicks go on.
    const QList<ChannelReadings> channels = loader.loadChannels(QUrl(address));
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
        row.update();
        if (!hooks.yield())
            return gained;

        gained += tickerSegment(row.value(QStringLiteral("city_a")).toText(), readings);
    }
    return gained;
}
