// The window's side of the feed reader: it applies the readings of one
// city's document to the current row of DataWt and to the ticker text.
#include "app/frmWeatherMain.h"

#include "feed/conditionwords.h"
#include "feed/documentloader.h"
#include "feed/feedreading.h"
#include "feed/winddirection.h"

#include <QUrl>

QString frmWeatherMain::Condition_Code(float code) const
{
    return conditionText(code);
}

QString frmWeatherMain::WindDirectionName(float degrees)
{
    const WindDirection direction = windDirectionName(degrees);
    if (direction.sector != 0)
        WindDirIndex = float(direction.sector);
    return direction.name;
}

void frmWeatherMain::UpdateCityFromFeed()
{
    // 1. Offline: the row and the ticker stay as they are.
    if (!m_services.isOnline())
        return;

    Recordset &row = DataWt.recordset();

    // 3-5. The row is stored cleared before its feed is fetched, so a city
    // whose feed fails shows nothing stale.
    row.edit();
    for (const auto &[column, value] : clearedColumns())
        row.setValue(column, value);
    row.update();

    // 6. The load waits in a local event loop, and the parse and the reading
    // run on a worker meanwhile: ticks and clicks go on.
    const QList<ChannelReadings> channels = m_loader->loadChannels(QUrl(CurrentFeedUrl));
    yieldToEvents();
    if (m_unloaded)
        return;
    yieldToEvents();
    if (m_unloaded)
        return;

    for (const ChannelReadings &readings : channels) {
        // 7. Reading the wind of a channel moves the shared sector, written or not.
        WindDirIndex = windDirIndexAfter(readings, WindDirIndex);

        switch (channelOutcome(readings)) {
        case ChannelOutcome::Stop:
            return;
        case ChannelOutcome::Skip:
            continue;
        case ChannelOutcome::Write:
            break;
        }

        row.edit();
        for (const auto &[column, value] : filledColumns(readings, WindDirIndex))
            row.setValue(column, value);
        row.update();
        yieldToEvents();
        if (m_unloaded)
            return;

        TickerText += tickerSegment(row.value(QStringLiteral("city_a")).toText(), readings);
    }
}
