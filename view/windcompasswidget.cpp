// The wind compass: a segment that sweeps over the map in the wind's direction.
#include "view/windcompasswidget.h"

#include "platform/numbertext.h"
#include "view/controlkit.h"
#include "view/spokentext.h"

#include <QAccessible>
#include <QCoreApplication>

#include <QtMath>

using namespace ControlKit;

namespace {
constexpr int CalmInterval = 3000;
} // namespace

WindCompass::WindCompass(const QRectF &map, QWidget *parent)
    : QWidget(parent)
    , m_map(map)
{
    setObjectName(QStringLiteral("WindCompass"));
    makeBlack(this);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // From the window's corner to a little beyond the map and the wind box,
    // where an arrow that has just left the map still shows.
    setGeometry(twipsRect(0, 0, 6525, 10950));
    // Nothing of it lies over the strip above the map, so the ticker's frames
    // leave it alone; only the window's corner, where an arrow that never had
    // a sector stands, shows through.
    setMask(QRegion(twipsRect(0, 3600, 6525, 10950 - 3600)) + QRegion(0, 0, 4, 4));

    // The box that names the wind: its text centred, clear of the border on both sides.
    QFrame *box = makeShape(this, QStringLiteral("Shape8"), QRect(4680, 10455, 1760, 330), Orange, NoFill);
    m_lblWindDirc_Speed = makeLabel(this, QStringLiteral("lblWindDirc_Speed"), QRect(4695, 10470, 1730, 300), QString(),
                                    Orange, tahoma(9.75, true));
    m_lblWindDirc_Speed->setAlignment(Qt::AlignCenter);
    m_lblWindDirc_Speed->setShrinkToFit(true);

    // The compass rose over the map.
    constexpr float cx = 3360, cy = 6960, radius = 1400;
    const auto diameter = [&](const char *name, double bearing) {
        const float dx = float(radius * qSin(qDegreesToRadians(bearing)));
        const float dy = float(-radius * qCos(qDegreesToRadians(bearing)));
        makeLine(this, QLatin1String(name), cx + dx, cy + dy, cx - dx, cy - dy, Orange);
    };
    diameter("Line0_270", 0);
    diameter("Line90_270", 90);
    diameter("Line22_202", 22.5);
    diameter("Line45_225", 45);
    diameter("Line67_247", 67.5);
    diameter("Line112_292", 112.5);
    diameter("Line135_315", 135);
    diameter("Line158_337", 157.5);
    const QFont letters = tahoma(9.75, true);
    const struct
    {
        const char *name;
        const char *letter;
        QRect place;
    } points[4] = {
        {"Label2", "N", QRect(int(cx) - 150, int(cy - radius) - 330, 300, 300)},
        {"Label3", "E", QRect(int(cx + radius) + 30, int(cy) - 150, 300, 300)},
        {"Label4", "S", QRect(int(cx) - 150, int(cy + radius) + 30, 300, 300)},
        {"Label5", "W", QRect(int(cx - radius) - 330, int(cy) - 150, 300, 300)},
    };
    for (const auto &point : points) {
        FormLabel *label = makeLabel(this, QLatin1String(point.name), point.place, QLatin1String(point.letter), White,
                                     letters, false);
        label->setAlignment(Qt::AlignCenter);
        // The arrow sweeps over the letters, which then draw again and again.
        label->setKeepsShapedTexts(true);
    }

    // The box stands at the map's end where a line ends: its right in Arabic.
    const int mapEnds = int(m_map.left() + m_map.right());
    mirrorAcross(box, mapEnds);
    mirrorAcross(m_lblWindDirc_Speed, mapEnds);

    m_lineWind = makeLine(this, QStringLiteral("LineWind"), 0, 0, 0, 0, QColor(255, 40, 40), 3);
    m_lineWind->setKeepsPicture(true);
    m_lineWind->hide();
    box->lower();

    m_timer = new FormTimer(100, this);
    m_timer->setObjectName(QStringLiteral("TimerWind"));
    m_clock.start();
    connect(m_timer, &FormTimer::timeout, this, [this] {
        m_lastStep = m_clock.elapsed();
        TimerWind_Timer();
    });
    // A sweep that starts, or starts ticking again, counts its steps from now.
    connect(m_timer, &FormTimer::tickingChanged, this, [this](bool ticking) {
        if (ticking)
            m_lastStep = m_clock.elapsed();
    });
}

void WindCompass::setPaused(bool paused)
{
    m_paused = paused;
    m_lastStep = m_clock.elapsed();
    applySuspension();
}

void WindCompass::followFrames(FormTimer *frames)
{
    m_frames = frames;
    connect(frames, &FormTimer::timeout, this, &WindCompass::catchUp);
    connect(frames, &FormTimer::tickingChanged, this, &WindCompass::applySuspension);
    applySuspension();
}

void WindCompass::applySuspension()
{
    const bool followed = m_frames && m_frames->isTicking();
    if (followed && m_timer->isEnabled() && !m_timer->isSuspended())
        m_lastStep = m_clock.elapsed();
    m_timer->setSuspended(m_paused || followed);
}

void WindCompass::catchUp()
{
    const int interval = m_timer->interval();
    if (m_paused || !m_timer->isEnabled() || interval <= 0)
        return;
    // A board held up for long takes one step, as a timer that missed its
    // ticks fires once.
    const qint64 now = m_clock.elapsed();
    if (now - m_lastStep > qMax<qint64>(1000, 4 * interval))
        m_lastStep = now - interval;
    while (m_timer->isEnabled() && now - m_lastStep >= interval) {
        m_lastStep += interval;
        TimerWind_Timer();
    }
}

void WindCompass::showWind(std::optional<float> sector, float speed)
{
    // The arrow stops while the panel changes.
    m_lineWind->setVisible(false);
    m_timer->setEnabled(false);
    m_windDirIndex = 0;

    // It starts from its sector's edge of the map.
    if (sector)
        m_windDirIndex = *sector;
    PointWindArrow();

    // The stronger the wind, the faster the arrow; a calm wind moves it
    // every 3 seconds.
    if (speed != 0) {
        // An interval below 0 is refused and the earlier one stays; 0 means
        // the arrow stands still at its start.
        const double interval = roundHalfEven(double(100.0f - 2.0f * speed));
        if (interval >= 0 && interval <= FormTimer::MaximumInterval)
            m_timer->setInterval(int(interval));
    } else {
        m_timer->setInterval(CalmInterval);
    }
    m_timer->setEnabled(!m_covered);
    m_lastStep = m_clock.elapsed();
    m_lineWind->setVisible(!m_covered);

    m_lblWindDirc_Speed->setText(m_windDirCode + QStringLiteral("  ") + QString::number(roundHalfEven(speed), 'f', 0)
                                 + QStringLiteral(" Kph"));

    m_shownSpeed = speed;
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void WindCompass::setCovered(bool covered)
{
    if (covered == m_covered)
        return;
    m_covered = covered;
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child != m_lblWindDirc_Speed && child->objectName() != QLatin1String("Shape8"))
            child->setVisible(!covered);
    }
    m_timer->setEnabled(!covered);
    if (!covered) {
        PointWindArrow();
        m_lastStep = m_clock.elapsed();
    }
}

QString WindCompass::spokenText() const
{
    return windWords(m_windDirIndex, QString::number(roundHalfEven(m_shownSpeed), 'f', 0), WindWording::Spoken);
}

void WindCompass::readBack()
{
    m_arrow = ArrowSegment{m_lineWind->x1(), m_lineWind->y1(), m_lineWind->x2(), m_lineWind->y2()};
}

void WindCompass::PointWindArrow()
{
    m_lineWind->setVisible(true);
    m_lineWind->setVisible(false);
    ArrowSegment arrow{m_lineWind->x1(), m_lineWind->y1(), m_lineWind->x2(), m_lineWind->y2()};
    if (pointWindArrow(m_windDirIndex, arrow, m_windDirCode))
        m_lineWind->setPoints(arrow.x1, arrow.y1, arrow.x2, arrow.y2);
    readBack();
    m_lineWind->setVisible(true);
}

void WindCompass::TimerWind_Timer()
{
    // The panel is hidden, or no sector: the arrow stops where it is.
    if ((m_sweepAllowed && !m_sweepAllowed()) || m_windDirIndex == 0) {
        m_timer->setEnabled(false);
        return;
    }
    ArrowSegment arrow = m_arrow;
    const bool leftTheMap = stepWindArrow(m_windDirIndex, arrow, m_map);
    m_lineWind->setPoints(arrow.x1, arrow.y1, arrow.x2, arrow.y2);
    readBack();
    if (leftTheMap)
        PointWindArrow();
}
