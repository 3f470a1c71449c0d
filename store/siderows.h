#pragma once

#include "platform/datacontrol.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVector>

// A city's side rows: rows kept beside its row of wt, in a table of their
// own (its coming days, its warnings). They are written in the transaction
// that stores its row, so they are cleared when the row is cleared and
// refilled when it is filled, and are always what the row was last filled
// from. They are found by the row's city_code and kept in their order; wt
// itself is not touched, so whatever reads wt reads it as before.
class SideRows
{
public:
    // One side row: values by column name; a column not named holds no value.
    using Row = QList<QPair<QString, FieldValue>>;

    // `columns`: the table's own columns, beside city_code and the order n.
    SideRows(QString table, QVector<ColumnInfo> columns);

    const QString &table() const { return m_table; }
    const QVector<ColumnInfo> &columns() const { return m_columns; }
    QString createStatement() const;

    // The write that goes with the update of the row of `cityCode`: the
    // city's side rows become `rows` (none: cleared). A value its column refuses
    // is left without a value, as a row's column is; a city without a code
    // keeps nothing. The table is made in a store that lacks it.
    SideRowsWrite replaceWith(const QString &cityCode, const QList<Row> &rows) const;

    // The city's rows in their order, read through the data source's
    // connection: one value per column of `columns()`. None for a store
    // without the table, or before the data source has been refreshed.
    QList<QVector<FieldValue>> rowsOf(const DataControl &data, const QString &cityCode) const;

private:
    QString m_table;
    QVector<ColumnInfo> m_columns;
};
