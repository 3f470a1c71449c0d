#pragma once

#include "platform/feeddate.h"
#include "platform/fieldvalue.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QWidget>

class CityDetail;
class FormLabel;

// One coming hour of a city as the curve shows it.
struct ComingHour
{
    QDateTime hour; // the whole hour, read by its offset (shown on the cities' clock)
    FieldValue temperature; // in °C; no value: the curve passes it by
    QString condition; // the condition's Arabic word
    FieldValue windSpeed; // in km/h
    int windSector = 0; // 1 (north) to 16 clockwise; 0: no direction

    bool operator==(const ComingHour &other) const
    {
        return hour == other.hour && temperature == other.temperature && condition == other.condition
            && windSpeed == other.windSpeed && windSector == other.windSector;
    }
};

// A span of a warning laid behind the curve.
struct HourSpan
{
    QDateTime start;
    QDateTime end; // not included
    QColor color;
    QColor sign = QColor(255, 176, 0); // its sign's colour: the board's amber, or an alert's

    bool operator==(const HourSpan &other) const
    {
        return start == other.start && end == other.end && color == other.color && sign == other.sign;
    }
};

// The coming hours of the shown city, on request in the place of its map: the
// temperature of the next 24 hours drawn as a curve as the board reads
// (from right to left in Arabic, from left to right in English), with a mark at every third hour labelled with the hour as
// a person says it ("3 م"), the temperature and the condition word, "الآن"
// at the current hour, and the spans of the city's warnings shaded behind
// it, each with its sign. Drawn by QPainter at the screen's own density.
//
// It takes the focus: Left and Right move a highlighted hour along the curve
// (in Arabic Left later, as the hours run leftwards; in English Right),
// Home and End to the first and the
// last. To a screen reader it is a table of its hours (the hour, the
// condition, the temperature, the wind in words), the highlighted hour its
// focused row.
class HoursCurve : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Hours = ComingHourCount;
    static constexpr int Columns = 4;
    static constexpr int MarkEvery = 3;

    explicit HoursCurve(CityDetail *panel);

    // The city's hours; those ended before `now` are left out, the rest from
    // the current hour on, within Hours of the first. None: an empty curve.
    void setHours(const QList<ComingHour> &hours, const QDateTime &now);
    void setSpans(const QList<HourSpan> &spans);

    int shownHours() const { return int(m_hours.size()); }
    const ComingHour &hour(int index) const { return m_hours.at(index); }
    const QList<HourSpan> &spans() const { return m_spans; }

    // The highlighted hour, 0 (the current one) to shownHours() - 1; -1 with
    // no hours.
    int highlighted() const { return m_highlighted; }
    void setHighlighted(int index);

    // The colour a warning's span is shaded in, by its kind (dust, heat,
    // rain, thunder, wind); amber for any other.
    static QColor spanColor(const QString &kind);

    // What the table tells: the column headers and each hour's cells.
    static QString headerText(int column);
    QString cellText(int row, int column) const;
    // A row as a screen reader says it: "3 مساءً، غبار، 41 درجة، رياح شمالية، 20 كيلومتر في الساعة".
    QString spokenRow(int row) const;

    // Where the curve puts an hour and its temperature, in the widget's
    // pixels: each hour at its time, so a missing hour leaves a gap.
    QPointF pointOf(int index) const;
    // How many hours after the first one shown the hour of this index is.
    qreal hoursAfterFirst(int index) const;
    // Where the curve stands that many hours after the first one shown.
    qreal xOf(qreal hours) const;
    // The spans as shaded: from and to in hours after the first one shown,
    // within the curve; a span outside it is not shaded.
    struct Shade
    {
        qreal from;
        qreal to;
        QColor color;
        QColor sign;
    };
    QList<Shade> shades() const;
    // Whether the first hour shown is the current one, marked "الآن".
    bool startsNow() const { return m_firstIsNow; }
    // The temperatures the vertical scale spans, whole degrees.
    int scaleLow() const { return m_scaleLow; }
    int scaleHigh() const { return m_scaleHigh; }

Q_SIGNALS:
    void highlightedChanged(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void tellHighlighted();

    QList<ComingHour> m_hours;
    QList<HourSpan> m_spans;
    int m_highlighted = -1;
    bool m_firstIsNow = false; // the first hour shown is the current one
    int m_scaleLow = 0;
    int m_scaleHigh = 1;
};
