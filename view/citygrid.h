#pragma once

#include "platform/formcontrols.h"

#include <QWidget>

#include <array>

class Recordset;

// The city grid of the expanded board: 24 rows of six label arrays, city,
// condition, temperature, visibility, wind direction and wind speed from
// right to left, under their headers (Label1 0 to 5) and over row bands
// (Shape2 0 to 23). It shows rows of the weather table and says which city
// name was clicked; which rows, in which order, is the caller's.
class CityGrid : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Rows = 24;
    static constexpr int Columns = 6;
    // Where the window places the grid, in its twips.
    static constexpr int LeftTwips = 6540;
    static constexpr int TopTwips = 960;

    explicit CityGrid(QWidget *parent = nullptr);

    FormLabel *lblCity(int row) const { return m_cells[0][row]; }
    FormLabel *lblCondition(int row) const { return m_cells[1][row]; }
    FormLabel *lblTemp(int row) const { return m_cells[2][row]; }
    FormLabel *lblVisibility(int row) const { return m_cells[3][row]; }
    FormLabel *lblWind_Dirct(int row) const { return m_cells[4][row]; }
    FormLabel *lblWind_Speed(int row) const { return m_cells[5][row]; }
    FormLabel *cell(int column, int row) const { return m_cells[column][row]; }
    FormLabel *header(int column) const { return m_headers[column]; }
    QFrame *band(int row) const { return m_bands[row]; }

    // Empties every row.
    void clear();
    // Fills the rows from the current row of `rows` on, one city a row, as
    // many as there are up to 24. The 24th row shown stays current, so that
    // with nothing picked the panel shows the last city of the grid.
    void fill(Recordset &rows);
    // Marks the header of the sort column; -1 marks none.
    void markHeader(int column);

Q_SIGNALS:
    // A click on the city name of a row.
    void cityClicked(int row);

private:
    std::array<std::array<FormLabel *, Rows>, Columns> m_cells{};
    std::array<FormLabel *, Columns> m_headers{};
    std::array<QFrame *, Rows> m_bands{};
};
