#include "view/mapplace.h"

#include "view/citydetail.h"
#include "view/comingdays.h"
#include "view/controlkit.h"
#include "view/hourscurve.h"

#include <QAccessible>
#include <QCoreApplication>

using namespace ControlKit;

namespace {

// The links under the map, in the window's twips: under the map link, from
// its start; the hours' link beside the days' one, a gap between them.
constexpr int LinksLeft = 315;
constexpr int LinksTop = 10800;
constexpr int LinksHeight = 300;
constexpr int LinksGap = 300;

struct LinkWords
{
    const char *caption; // what it shows
    const char *name; // what a screen reader says a click does
};
constexpr LinkWords DaysWords{QT_TRANSLATE_NOOP("MapPlace", "الأيام القادمة"),
                              QT_TRANSLATE_NOOP("MapPlace", "عرض الأيام القادمة")};
constexpr LinkWords HoursWords{QT_TRANSLATE_NOOP("MapPlace", "الساعات القادمة"),
                               QT_TRANSLATE_NOOP("MapPlace", "عرض الساعات القادمة")};

QString said(const char *words)
{
    return QCoreApplication::translate("MapPlace", words);
}

FormLabel *makeLink(CityDetail *panel, const QString &name, int left, const LinkWords &words)
{
    FormLabel *link = makeLabel(
        panel, name, placeWithin(CityDetail::LeftTwips, CityDetail::TopTwips, left, LinksTop, 2000, LinksHeight),
        said(words.caption), LightGreen, tahoma(8.25, true));
    link->setAccessibleRole(QAccessible::Link);
    // Only as wide as its longer caption, so nothing beside it takes its clicks.
    link->setTwipsGeometry(link->leftTwips(), link->topTwips(), captionWidthTwips(link), link->heightTwips());
    return link;
}

void applyLink(FormLabel *link, bool showing, const LinkWords &words)
{
    // It says what a click will show.
    link->setText(showing ? QCoreApplication::translate("MapPlace", "الخريطة") : said(words.caption));
    link->setAccessibleName(showing ? QCoreApplication::translate("MapPlace", "عرض الخريطة") : said(words.name));
    QAccessibleEvent event(link, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

} // namespace

MapPlace::MapPlace(CityDetail *panel, ComingDays *days, HoursCurve *hours)
    : QObject(panel)
    , m_map(panel->ImageMAP())
    , m_days(days)
    , m_hours(hours)
{
    m_daysLink = makeLink(panel, QStringLiteral("lblDays"), LinksLeft, DaysWords);
    const int hoursLeft = m_daysLink->leftTwips() + CityDetail::LeftTwips + m_daysLink->widthTwips() + LinksGap;
    m_hoursLink = makeLink(panel, QStringLiteral("lblHours"), hoursLeft, HoursWords);
    // The panel's width in its twips: the links stand at its other end in English.
    const int panelTwips = pixelsToTwips(panel->width());
    mirrorAcross(m_daysLink, panelTwips);
    mirrorAcross(m_hoursLink, panelTwips);
    applyLink(m_daysLink, false, DaysWords);
    applyLink(m_hoursLink, false, HoursWords);
    connect(m_daysLink, &FormLabel::clicked, this, [this] { show(m_shown == Shown::Days ? Shown::Map : Shown::Days); });
    connect(m_hoursLink, &FormLabel::clicked, this,
            [this] { show(m_shown == Shown::Hours ? Shown::Map : Shown::Hours); });
}

void MapPlace::show(Shown what)
{
    if (what == m_shown)
        return;
    const bool wasCovered = m_shown != Shown::Map;
    m_shown = what;
    // What comes is shown before what goes is hidden, so the map never
    // flashes between the two.
    QWidget *const coming = what == Shown::Days ? static_cast<QWidget *>(m_days)
        : what == Shown::Hours                  ? static_cast<QWidget *>(m_hours)
                                                : m_map;
    coming->setVisible(true);
    coming->raise();
    for (QWidget *part :
         {static_cast<QWidget *>(m_map), static_cast<QWidget *>(m_days), static_cast<QWidget *>(m_hours)}) {
        if (part != coming)
            part->setVisible(false);
    }
    applyLink(m_daysLink, what == Shown::Days, DaysWords);
    applyLink(m_hoursLink, what == Shown::Hours, HoursWords);
    if (wasCovered != (what != Shown::Map))
        Q_EMIT mapCoveredChanged(what != Shown::Map);
}
