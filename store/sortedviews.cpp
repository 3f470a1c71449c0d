#include "store/sortedviews.h"

namespace {
const char16_t *const sortStatements[SortedViews::KeyCount] = {
    u"select * from wt where len(url) > 0 order by city_a",
    u"select * from wt where len(url) > 0 order by Condition",
    u"select * from wt where len(url) > 0 order by temp",
    u"select * from wt where len(url) > 0 order by Visibility",
    u"select * from wt where len(url) > 0 order by wind_dirctn",
    u"select * from wt where len(url) > 0 order by wind_speed",
};
} // namespace

namespace SortedViews {

QString statement(int position)
{
    if (position < 0 || position >= KeyCount)
        return QString();
    return QString::fromUtf16(sortStatements[position]);
}

QString byEnglishName()
{
    return QStringLiteral("select * from wt where len(url) > 0 order by city_e, city_a");
}

} // namespace SortedViews
