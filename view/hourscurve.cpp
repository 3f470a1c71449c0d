// The coming hours of the shown city, drawn as a temperature curve in the
// place of its map on request.
#include "view/hourscurve.h"

#include "platform/boardlanguage.h"
#include "platform/feeddate.h"
#include "platform/numbertext.h"
#include "view/celltext.h"
#include "view/citydetail.h"
#include "view/controlkit.h"
#include "view/spokentext.h"
#include "view/warningsign.h"
#include "view/windcompass.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QHash>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

using namespace ControlKit;

namespace {

// The drawing in the widget's pixels (the map's 407 x 450): the hours run
// from the right margin to the left one (in English the other way); under
// the signs of the warnings the temperatures stand over their marks, then
// the plot, the condition words, the hours, and at the foot the highlighted
// hour in full.
constexpr qreal SideMargin = 22;
constexpr qreal SignTop = 8;
constexpr qreal SignSide = 18;
constexpr qreal PlotTop = 78;
constexpr qreal PlotBottom = 292;
constexpr qreal ConditionTop = 302;
constexpr qreal ConditionHeight = 34;
constexpr qreal HourTop = 340;
constexpr qreal HourHeight = 20;
constexpr qreal DetailTop = 378;
constexpr qreal DetailHeight = 56;
// Whole degrees the scale spans at least, so a still day is not drawn as a storm.
constexpr int MinimumSpan = 6;

const QColor CurveColor(255, 176, 0);
const QColor GridColor(60, 60, 70);

QString nowWord()
{
    return QCoreApplication::translate("HoursCurve", "الآن");
}

QString degreesText(const FieldValue &value)
{
    const std::optional<double> number = value.toNumber();
    return number ? singleText(float(*number)) + QStringLiteral(u"°") : QString();
}

// The hour's wind speed as its figure is written; empty when not known.
QString speedFigure(const ComingHour &hour)
{
    const std::optional<double> speed = hour.windSpeed.toNumber();
    return speed ? singleText(float(*speed)) : QString();
}

// A smooth line through points evenly spaced along x that never swings past
// them: a monotone cubic (Fritsch and Carlson), so a temperature that stays
// level is drawn level and a peak is drawn at its hour, not beside it.
QPainterPath smoothThrough(const QList<QPointF> &points)
{
    QPainterPath path(points.value(0));
    const qsizetype n = points.size();
    if (n < 2)
        return path;
    QList<qreal> rise(n - 1); // per step
    for (qsizetype k = 0; k + 1 < n; ++k)
        rise[k] = points[k + 1].y() - points[k].y();
    QList<qreal> slope(n);
    slope[0] = rise[0];
    slope[n - 1] = rise[n - 2];
    for (qsizetype k = 1; k + 1 < n; ++k)
        slope[k] = rise[k - 1] * rise[k] <= 0 ? 0 : (rise[k - 1] + rise[k]) / 2;
    for (qsizetype k = 0; k + 1 < n; ++k) {
        if (rise[k] == 0) {
            slope[k] = slope[k + 1] = 0;
            continue;
        }
        const qreal a = slope[k] / rise[k];
        const qreal b = slope[k + 1] / rise[k];
        if (const qreal length = std::hypot(a, b); length > 3) {
            slope[k] = 3 / length * a * rise[k];
            slope[k + 1] = 3 / length * b * rise[k];
        }
    }
    for (qsizetype k = 0; k + 1 < n; ++k) {
        const QPointF from = points[k];
        const QPointF to = points[k + 1];
        const qreal third = (to.x() - from.x()) / 3;
        path.cubicTo(QPointF(from.x() + third, from.y() + slope[k] / 3),
                     QPointF(to.x() - third, to.y() - slope[k + 1] / 3), to);
    }
    return path;
}

} // namespace

HoursCurve::HoursCurve(CityDetail *panel)
    : QWidget(panel)
{
    setObjectName(QStringLiteral("HoursCurve"));
    makeBlack(this);
    setAutoFillBackground(true);
    const QRect map = CityDetail::MapTwips;
    setGeometry(twipsRect(map.x() - CityDetail::LeftTwips, map.y() - CityDetail::TopTwips, map.width(), map.height()));
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QCoreApplication::translate("HoursCurve", "الساعات القادمة"));
    hide();
}

void HoursCurve::setHours(const QList<ComingHour> &hours, const QDateTime &now)
{
    QList<ComingHour> shown;
    for (const ComingHour &hour : hours) {
        if (shown.size() == Hours)
            break;
        if (!hour.hour.isValid() || hour.hour.addSecs(3600) <= now)
            continue; // gone by, or kept from an older document
        if (!shown.isEmpty() && hour.hour <= shown.last().hour)
            continue; // the hours run forward, each once
        if (!shown.isEmpty() && shown.first().hour.secsTo(hour.hour) >= Hours * 3600)
            break; // past the curve's day, after a missing hour
        shown << hour;
    }
    const bool startsNow = !shown.isEmpty() && shown.first().hour <= now;
    // A refresh shows the same city again, mostly with the same hours: they
    // are drawn again, and the highlighted hour moves back, only when they
    // changed.
    if (shown == m_hours && startsNow == m_firstIsNow && !shown.isEmpty())
        return;
    m_hours = shown;
    double low = 0;
    double high = 0;
    bool any = false;
    for (const ComingHour &hour : std::as_const(m_hours)) {
        if (const std::optional<double> t = hour.temperature.toNumber()) {
            low = any ? std::min(low, *t) : *t;
            high = any ? std::max(high, *t) : *t;
            any = true;
        }
    }
    m_scaleLow = int(std::floor(low)) - 1;
    m_scaleHigh = int(std::ceil(high)) + 1;
    if (const int missing = MinimumSpan - (m_scaleHigh - m_scaleLow); missing > 0) {
        m_scaleLow -= missing / 2;
        m_scaleHigh += missing - missing / 2;
    }
    m_firstIsNow = startsNow;
    m_highlighted = m_hours.isEmpty() ? -1 : 0;
    update();
    QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::ModelReset);
    QAccessible::updateAccessibility(&event);
}

void HoursCurve::setSpans(const QList<HourSpan> &spans)
{
    if (spans == m_spans)
        return;
    m_spans = spans;
    update();
}

void HoursCurve::setHighlighted(int index)
{
    if (m_hours.isEmpty())
        return;
    index = std::clamp(index, 0, shownHours() - 1);
    if (index == m_highlighted)
        return;
    m_highlighted = index;
    update();
    Q_EMIT highlightedChanged(index);
    tellHighlighted();
}

void HoursCurve::tellHighlighted()
{
    if (!hasFocus() || m_highlighted < 0)
        return;
    // The row's hour cell takes the screen reader's focus, which says the row.
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(m_highlighted * Columns);
    QAccessible::updateAccessibility(&event);
}

QColor HoursCurve::spanColor(const QString &kind)
{
    // Each as people know it from weather maps: sand, a heat's red, rain's
    // blue, a storm's violet and the wind's teal.
    static const QHash<QString, QColor> colors{{QStringLiteral("dust"), QColor(205, 150, 70)},
                                               {QStringLiteral("heat"), QColor(230, 70, 40)},
                                               {QStringLiteral("rain"), QColor(50, 130, 235)},
                                               {QStringLiteral("thunder"), QColor(155, 90, 225)},
                                               {QStringLiteral("wind"), QColor(40, 185, 175)}};
    return colors.value(kind, CurveColor);
}

QString HoursCurve::headerText(int column)
{
    static const char *const headers[Columns] = {
        QT_TRANSLATE_NOOP("HoursCurve", "الساعة"), QT_TRANSLATE_NOOP("HoursCurve", "الحالة"),
        QT_TRANSLATE_NOOP("HoursCurve", "الحرارة"), QT_TRANSLATE_NOOP("HoursCurve", "الرياح")};
    return column >= 0 && column < Columns ? QCoreApplication::translate("HoursCurve", headers[column]) : QString();
}

QString HoursCurve::cellText(int row, int column) const
{
    if (row < 0 || row >= shownHours())
        return QString();
    const ComingHour &h = m_hours.at(row);
    switch (column) {
    case 0:
        return row == 0 && m_firstIsNow ? spokenList({nowWord(), hourName(cityTime(h.hour).time())})
                                        : hourName(cityTime(h.hour).time());
    case 1:
        return conditionShown(h.condition);
    case 2: {
        const std::optional<double> t = h.temperature.toNumber();
        return t ? spokenDegrees(singleText(float(*t))) : QString();
    }
    case 3:
        return windWords(float(h.windSector), speedFigure(h), WindWording::Spoken);
    }
    return QString();
}

QString HoursCurve::spokenRow(int row) const
{
    QStringList parts;
    for (int c = 0; c < Columns; ++c) {
        const QString text = cellText(row, c);
        if (!text.isEmpty())
            parts << text;
    }
    return spokenList(parts);
}

qreal HoursCurve::hoursAfterFirst(int index) const
{
    if (index < 0 || index >= shownHours())
        return index;
    return m_hours.first().hour.secsTo(m_hours.at(index).hour) / 3600.0;
}

qreal HoursCurve::xOf(qreal hours) const
{
    // From the right margin leftwards in Arabic, from the left one in English.
    const qreal step = (width() - 2 * SideMargin) / (Hours - 1);
    return boardReadsLeftToRight() ? SideMargin + hours * step : width() - SideMargin - hours * step;
}

QPointF HoursCurve::pointOf(int index) const
{
    const qreal x = xOf(hoursAfterFirst(index));
    qreal y = (PlotTop + PlotBottom) / 2;
    if (index >= 0 && index < shownHours()) {
        if (const std::optional<double> t = m_hours.at(index).temperature.toNumber())
            y = PlotBottom - (*t - m_scaleLow) / (m_scaleHigh - m_scaleLow) * (PlotBottom - PlotTop);
    }
    return QPointF(x, y);
}

QList<HoursCurve::Shade> HoursCurve::shades() const
{
    QList<Shade> shades;
    if (m_hours.isEmpty())
        return shades;
    const QDateTime &first = m_hours.first().hour;
    const qreal last = hoursAfterFirst(shownHours() - 1);
    for (const HourSpan &span : m_spans) {
        const qreal from = std::clamp(first.secsTo(span.start) / 3600.0, 0.0, last);
        const qreal to = std::clamp(first.secsTo(span.end) / 3600.0, 0.0, last);
        if (to > from)
            shades << Shade{from, to, span.color, span.sign};
    }
    return shades;
}

void HoursCurve::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setLayoutDirection(boardReadsLeftToRight() ? Qt::LeftToRight : Qt::RightToLeft);
    const qreal left = SideMargin;
    const qreal right = width() - SideMargin;

    // The scale: a faint line at each whole step of it.
    const int span = m_scaleHigh - m_scaleLow;
    const int every = span <= 8 ? 1 : span <= 16 ? 2 : 5;
    for (int t = m_scaleLow; t <= m_scaleHigh; ++t) {
        if (t % every != 0)
            continue;
        const qreal y = PlotBottom - qreal(t - m_scaleLow) / span * (PlotBottom - PlotTop);
        p.setPen(QPen(GridColor, 1));
        p.drawLine(QPointF(left, y), QPointF(right, y));
    }

    // Behind the curve, the spans of the warnings, each with its sign at its top.
    const qreal step = (right - left) / (Hours - 1);
    for (const Shade &s : shades()) {
        const qreal x1 = xOf(s.from);
        const qreal x2 = xOf(s.to);
        QColor shade = s.color;
        shade.setAlpha(70);
        p.fillRect(QRectF(std::min(x1, x2), PlotTop - 6, std::abs(x1 - x2), PlotBottom - PlotTop + 6), shade);
        const qreal middle = (x1 + x2) / 2;
        WarningSign::paintSign(p, QRectF(middle - SignSide / 2, SignTop, SignSide, SignSide), s.sign);
    }

    // The curve, broken where an hour has no temperature or is missing, the
    // ground under each run of it shaded.
    QLinearGradient fade(0, PlotTop, 0, PlotBottom);
    fade.setColorAt(0, QColor(255, 176, 0, 90));
    fade.setColorAt(1, QColor(255, 176, 0, 10));
    const QPen curvePen(CurveColor, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (int first = 0; first < shownHours();) {
        if (!m_hours.at(first).temperature.toNumber()) {
            ++first;
            continue;
        }
        QList<QPointF> points;
        int i = first;
        for (; i < shownHours() && m_hours.at(i).temperature.toNumber()
             && (i == first || hoursAfterFirst(i) - hoursAfterFirst(i - 1) == 1);
             ++i)
            points << pointOf(i);
        const QPainterPath run = smoothThrough(points);
        QPainterPath ground = run;
        ground.lineTo(pointOf(i - 1).x(), PlotBottom);
        ground.lineTo(pointOf(first).x(), PlotBottom);
        ground.closeSubpath();
        p.fillPath(ground, fade);
        p.strokePath(run, curvePen);
        first = i;
    }

    // The highlighted hour: a line down the plot and a ring at its point.
    if (m_highlighted >= 0) {
        const QPointF point = pointOf(m_highlighted);
        p.setPen(QPen(QColor(255, 255, 255, 90), 1, Qt::DashLine));
        p.drawLine(QPointF(point.x(), PlotTop - 6), QPointF(point.x(), PlotBottom));
    }

    // Every third hour from the first: its mark, its temperature over it,
    // its condition and hour under the plot.
    const qreal labelWidth = step * MarkEvery - 2;
    for (int i = 0; i < shownHours(); ++i) {
        if (int(hoursAfterFirst(i)) % MarkEvery != 0)
            continue;
        const ComingHour &h = m_hours.at(i);
        const QPointF point = pointOf(i);
        const QRectF column(point.x() - labelWidth / 2, 0, labelWidth, 0);
        if (h.temperature.toNumber()) {
            p.setPen(Qt::NoPen);
            p.setBrush(White);
            p.drawEllipse(point, 3, 3);
            p.setPen(White);
            p.setFont(tahoma(8.25, true));
            p.drawText(QRectF(column.x(), point.y() - 24, labelWidth, 18), Qt::AlignHCenter | Qt::AlignBottom,
                       degreesText(h.temperature));
        }
        p.setPen(White);
        p.setFont(tahoma(7));
        p.drawText(QRectF(column.x(), ConditionTop, labelWidth, ConditionHeight),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, conditionShown(h.condition));
        const bool now = i == 0 && m_firstIsNow;
        p.setPen(now ? Green : Cyan);
        p.setFont(tahoma(8.25, now));
        p.drawText(QRectF(column.x(), HourTop, labelWidth, HourHeight), Qt::AlignCenter,
                   now ? nowWord() : shortHourName(cityTime(h.hour).time()));
    }
    if (m_highlighted >= 0) {
        const QPointF point = pointOf(m_highlighted);
        if (m_hours.at(m_highlighted).temperature.toNumber()) {
            p.setPen(QPen(White, 2));
            p.setBrush(Black);
            p.drawEllipse(point, 5, 5);
        }
        // The hour in full at the foot: when, what and how warm over its wind.
        const ComingHour &h = m_hours.at(m_highlighted);
        QStringList first{m_highlighted == 0 && m_firstIsNow ? nowWord() : hourName(cityTime(h.hour).time())};
        if (!h.condition.isEmpty())
            first << conditionShown(h.condition);
        // In words: a "°" among Arabic words would stand before its number.
        if (const std::optional<double> t = h.temperature.toNumber())
            first << spokenDegrees(singleText(float(*t)));
        p.setPen(QPen(BoxBorder, 1));
        p.setBrush(Qt::NoBrush);
        const QRectF box(left, DetailTop, right - left, DetailHeight);
        p.drawRect(box);
        p.setPen(Yellow);
        p.setFont(tahoma(9, true));
        const QRectF inner = box.adjusted(8, 4, -8, -4);
        p.drawText(QRectF(inner.x(), inner.y(), inner.width(), inner.height() / 2), Qt::AlignCenter,
                   first.join(QCoreApplication::translate("SpokenText", "، ")));
        p.setPen(White);
        p.setFont(tahoma(8.25));
        p.drawText(QRectF(inner.x(), inner.center().y(), inner.width(), inner.height() / 2), Qt::AlignCenter,
                   windWords(float(h.windSector), speedFigure(h), WindWording::Written));
    }
}

void HoursCurve::keyPressEvent(QKeyEvent *event)
{
    // The hours run as the board reads: in Arabic Left goes on to a later
    // hour, in English Right does.
    const int later = boardReadsLeftToRight() ? Qt::Key_Right : Qt::Key_Left;
    const int earlier = boardReadsLeftToRight() ? Qt::Key_Left : Qt::Key_Right;
    const int key = event->key();
    if (key == later || key == earlier) {
        setHighlighted(m_highlighted + (key == later ? 1 : -1));
        event->accept();
        return;
    }
    switch (key) {
    case Qt::Key_Home:
        setHighlighted(0);
        break;
    case Qt::Key_End:
        setHighlighted(shownHours() - 1);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void HoursCurve::mousePressEvent(QMouseEvent *event)
{
    if (m_hours.isEmpty())
        return;
    // The hour drawn nearest the click.
    int nearest = 0;
    for (int i = 1; i < shownHours(); ++i) {
        if (std::abs(pointOf(i).x() - event->position().x()) < std::abs(pointOf(nearest).x() - event->position().x()))
            nearest = i;
    }
    setHighlighted(nearest);
}

void HoursCurve::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
    tellHighlighted();
}

void HoursCurve::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}
