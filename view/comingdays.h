#pragma once

#include "platform/fieldvalue.h"
#include "platform/formcontrols.h"

#include <QDate>
#include <QList>
#include <QPixmap>
#include <QWidget>

#include <array>

class CityDetail;

// One coming day as the panel shows it.
struct ComingDay
{
    QDate date; // none: the day is shown without its name
    QString condition; // the condition's Arabic word
    FieldValue high; // in °C; no value: shown empty
    FieldValue low;
    // A warning of the day, said beside it: a sign and its text. None by
    // default, and then the row shows only the day.
    QPixmap warningSign;
    QString warningText;
};

// The coming days of the shown city, on request in the place of its map
// (MapPlace): a table of up to five rows (the day's name, its condition, its
// high and its low) under its column headers, each with the warnings that
// fall on its day.
class ComingDays : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Rows = 5;
    static constexpr int Columns = 4;

    explicit ComingDays(CityDetail *panel);

    // The shown city's days, today (the city's) first, each named as seen
    // from it ("اليوم", "غداً", else its weekday); days gone before `today`
    // are left out, and at most Rows are shown. None: the table stays empty.
    void setDays(const QList<ComingDay> &days, QDate today);

    // The table's parts, for screen readers and tests: headers 0 to 3
    // (day, condition, high, low) and the cells of each row.
    FormLabel *header(int column) const { return m_headers[column]; }
    FormLabel *cell(int column, int row) const { return m_cells[row][column]; }
    int shownRows() const { return m_shownRows; }
    // A row as a screen reader says it: "غداً، مشمس، 27 درجة، 12 درجة".
    QString spokenRow(int row) const;
    // The row and column of a cell; (-1, -1) for anything else.
    QPoint cellOf(const QWidget *label) const;

private:
    std::array<FormLabel *, Columns> m_headers{};
    std::array<std::array<FormLabel *, Columns>, Rows> m_cells{};
    std::array<FormLabel *, Rows> m_signs{};
    std::array<FormLabel *, Rows> m_warnings{};
    int m_shownRows = 0;
};
