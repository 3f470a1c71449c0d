#include "store/siderows.h"

#include <QStringList>

#include <sqlite3.h>

namespace {

struct Prepared
{
    Prepared(sqlite3 *db, const QString &sql)
    {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &handle, nullptr) != SQLITE_OK)
            handle = nullptr;
    }
    ~Prepared() { sqlite3_finalize(handle); }
    Prepared(const Prepared &) = delete;
    Prepared &operator=(const Prepared &) = delete;
    sqlite3_stmt *handle = nullptr;
};

const ColumnInfo cityCodeColumn{QStringLiteral("city_code"), ColumnInfo::Type::Text, 3};

} // namespace

SideRows::SideRows(QString table, QVector<ColumnInfo> columns)
    : m_table(std::move(table))
    , m_columns(std::move(columns))
{
}

QString SideRows::createStatement() const
{
    // The same declarations as wt's columns, so other readers of the file
    // see the same kinds of value.
    QStringList definitions{QStringLiteral("\"city_code\" TEXT(3) COLLATE NOCASE NOT NULL"),
                            QStringLiteral("\"n\" INTEGER NOT NULL")};
    for (const ColumnInfo &c : m_columns) {
        if (c.type == ColumnInfo::Type::Text)
            definitions << QStringLiteral("\"%1\" TEXT(%2) COLLATE NOCASE").arg(c.name).arg(c.size);
        else
            definitions << QStringLiteral("\"%1\" REAL").arg(c.name);
    }
    definitions << QStringLiteral("PRIMARY KEY (\"city_code\", \"n\")");
    return QStringLiteral("CREATE TABLE IF NOT EXISTS \"%1\" (%2)").arg(m_table, definitions.join(QLatin1String(", ")));
}

SideRowsWrite SideRows::replaceWith(const QString &cityCode, const QList<Row> &rows) const
{
    return [self = *this, cityCode, rows](sqlite3 *db) {
        const QString &table = self.m_table;
        const QVector<ColumnInfo> &columns = self.m_columns;
        const QByteArray create = self.createStatement().toUtf8();
        if (sqlite3_exec(db, create.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
        Prepared clear(db, QStringLiteral("DELETE FROM \"%1\" WHERE \"city_code\" = ? COLLATE BINARY").arg(table));
        if (!clear.handle || !bindStoredValue(clear.handle, 1, FieldValue::text(cityCode), cityCodeColumn)
            || sqlite3_step(clear.handle) != SQLITE_DONE)
            return false;
        if (cityCode.isEmpty() || cityCode.size() > cityCodeColumn.size)
            return true; // a row without a city code keeps nothing beside it

        QStringList names{QStringLiteral("\"city_code\""), QStringLiteral("\"n\"")};
        QStringList marks{QStringLiteral("?"), QStringLiteral("?")};
        for (const ColumnInfo &c : columns) {
            names << QStringLiteral("\"%1\"").arg(c.name);
            marks << QStringLiteral("?");
        }
        Prepared insert(db,
                        QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                            .arg(table, names.join(QLatin1String(", ")), marks.join(QLatin1String(", "))));
        if (!insert.handle)
            return false;
        for (int n = 0; n < rows.size(); ++n) {
            sqlite3_reset(insert.handle);
            bindStoredValue(insert.handle, 1, FieldValue::text(cityCode), cityCodeColumn);
            sqlite3_bind_int(insert.handle, 2, n);
            for (int c = 0; c < columns.size(); ++c) {
                FieldValue value = FieldValue::null();
                for (const auto &[name, given] : rows[n]) {
                    if (name.compare(columns[c].name, Qt::CaseInsensitive) == 0)
                        value = storableValue(columns[c], given).value_or(FieldValue::null());
                }
                bindStoredValue(insert.handle, 3 + c, value, columns[c]);
            }
            if (sqlite3_step(insert.handle) != SQLITE_DONE)
                return false;
        }
        return true;
    };
}

QList<QVector<FieldValue>> SideRows::rowsOf(const DataControl &data, const QString &cityCode) const
{
    QList<QVector<FieldValue>> result;
    sqlite3 *db = data.connection();
    if (!db || cityCode.isEmpty())
        return result;
    QStringList names;
    for (const ColumnInfo &c : m_columns)
        names << QStringLiteral("\"%1\"").arg(c.name);
    // Compared as the code is written, never by the linguistic order: no
    // other city's rows can answer for this one.
    Prepared query(db,
                   QStringLiteral("SELECT %1 FROM \"%2\" WHERE \"city_code\" = ? COLLATE BINARY ORDER BY \"n\"")
                       .arg(names.join(QLatin1String(", ")), m_table));
    if (!query.handle)
        return result; // a store made before the table was
    bindStoredValue(query.handle, 1, FieldValue::text(cityCode), cityCodeColumn);
    while (sqlite3_step(query.handle) == SQLITE_ROW) {
        QVector<FieldValue> row;
        for (int c = 0; c < m_columns.size(); ++c)
            row.append(readStoredValue(query.handle, c, m_columns[c]));
        result.append(row);
    }
    return result;
}
