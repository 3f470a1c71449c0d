#pragma once

#include "platform/datacontrol.h"

#include <QString>

#include <functional>

class DocumentLoader;
struct ChannelReadings;

// What the update of one row needs of the board around it.
struct FeedUpdateHooks
{
    // Whether the machine is online; offline, the row stays as it is.
    std::function<bool()> isOnline;
    // Lets ticks and clicks run in between the steps. False once the board
    // is closing: the update then stops where it is and writes nothing more.
    std::function<bool()> yield;
    // The board's wind sector. Every channel read moves it, written or not,
    // and the wind arrow follows it while a refresh runs.
    std::function<float()> windDirIndex;
    std::function<void(float)> setWindDirIndex;
    // The side rows of the city with this code, written with its row in its
    // transaction: from the channel it is filled from, or cleared (no
    // channel) when the row is cleared. Unset: the row has none.
    std::function<QList<SideRowsWrite>(const QString &cityCode, const ChannelReadings *filledFrom)> sideRows;
};

// Brings the current row of `row` up to date from the city's feed at
// `address`: the row is stored cleared as its load begins, so a city whose
// feed fails shows nothing stale, then every good channel of the document
// fills it. A load refused before it began (DocumentLoader::listenerRefusal)
// leaves the row as it was.
// Returns what the city adds to the ticker text (empty when it adds nothing).
QString updateCityFromFeed(Recordset &row, const QString &address, DocumentLoader &loader,
                           const FeedUpdateHooks &hooks);
