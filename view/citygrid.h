#pragma once

#include "platform/formcontrols.h"

#include <QColor>
#include <QWidget>

#include <array>

class Recordset;
class WarningSign;

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
    // many as there are up to 24, and empties the rows beyond them; a label
    // whose text stays is not touched. The 24th row shown stays current, so
    // that with nothing picked the panel shows the last city of the grid.
    void fill(Recordset &rows);
    // Marks the header of the sort column; -1 marks none.
    void markHeader(int column);
    // The city code of a row filled last; empty for an empty row.
    QString cityCode(int row) const { return m_codes[row]; }
    // Marks a row filled last: a warning sign beside the city's name when
    // `warning` (as the window says it) is not empty, and the whole row
    // dimmed when its data is old. An empty row carries no marks.
    void markRow(int row, const QString &warning, bool old, const QColor &signColour = QColor());
    QString rowWarning(int row) const { return m_warnings[row]; }
    bool rowDimmed(int row) const { return m_dimmed[row]; }
    WarningSign *warningSign(int row) const { return m_signs[row]; }

    // --- Keyboard ----------------------------------------------------------------
    // The row of the city the detail panel shows, where the keyboard stands
    // in the grid; -1 when that city is in no row.
    int currentRow() const { return m_currentRow; }
    // The panel shows this city now: its row becomes current.
    void setCurrentCity(const QString &name);
    // The rows that hold a city: the first m rows, m <= 24.
    int cityCount() const;
    // Acts on a row as a click on its city name does.
    void activateRow(int row);
    // The whole row as a screen reader says it: "الرياض، مشمس، 25 درجة، …".
    QString spokenRow(int row) const;
    // Where a label lies in the grid: column and row, or -1, -1.
    QPoint cellOf(const QWidget *label) const;

Q_SIGNALS:
    // A click on the city name of a row, or Up, Down, Home, End, Enter or
    // Space on the grid.
    void cityClicked(int row);
    void currentRowChanged(int row);

protected:
    // Up and Down go to the city above or below, Home and End to the first
    // and the last, and each shows its city as a click would; Enter and Space
    // show the current one again.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void clearRow(int row);
    void setCurrentRow(int row);

    int m_currentRow = -1;
    std::array<std::array<FormLabel *, Rows>, Columns> m_cells{};
    std::array<FormLabel *, Columns> m_headers{};
    std::array<QFrame *, Rows> m_bands{};
    std::array<WarningSign *, Rows> m_signs{};
    std::array<QString, Rows> m_codes;
    std::array<QString, Rows> m_warnings;
    std::array<bool, Rows> m_dimmed{};
};
