#pragma once

#include <QString>

// The feed's condition codes (0 to 47, 3200 for "not available") and their
// English names, and the mapping from the WMO weather codes that the upstream
// reports.
struct FeedCondition
{
    int code = 3200;
    QString text;
};

inline constexpr int NotAvailableCode = 3200;

// The English name of a feed condition code, as the feed writes it in the
// condition's and the forecasts' text attribute ("Partly Cloudy").
QString conditionName(int code);

// The feed condition for a WMO weather code (the ww subset that forecast
// models report: 0-3, 45, 48, 51-57, 61-67, 71-77, 80-86, 95-99). Sky and
// cloud states have a day and a night form; everything else is the same by
// day and night. A code outside that subset gives 3200, "Not Available".
FeedCondition conditionForWmoCode(int wmoCode, bool daytime);
