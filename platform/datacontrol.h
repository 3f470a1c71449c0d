#pragma once

#include "platform/fieldvalue.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// One column of the table behind a recordset, as its declared type says.
struct ColumnInfo
{
    enum class Type { Text, Single, Other };
    QString name;
    Type type = Type::Other;
    int size = 0; // maximum length in UTF-16 code units for text columns; 0 = no limit
};

// Column information from a declared SQL type: "TEXT(25)" is text of at most
// 25 characters, "REAL" a single-precision number.
ColumnInfo columnInfoFromDeclaredType(const QString &name, const QString &declaredType);

// The write rules of a column, shared by every table of the store: the value
// as the column keeps it (unset becomes no value, a number for a text
// column its decimal text, text for a single column its number), or nothing
// when the column refuses it (empty text, text past the column's size, text
// that is not a number, or a number out of range, for a single column).
std::optional<FieldValue> storableValue(const ColumnInfo &column, const FieldValue &value);
// Binds a value that storableValue gave, as the column stores it.
bool bindStoredValue(sqlite3_stmt *statement, int index, const FieldValue &value, const ColumnInfo &column);
// Reads a column of a result row as a column of that kind holds it.
FieldValue readStoredValue(sqlite3_stmt *statement, int index, const ColumnInfo &column);

// The write of a row's side rows, the rows kept in another table beside it:
// made with the row's Update, in its transaction, on its connection. False
// when it could not be made; what it wrote is then undone, and the row is
// still stored.
using SideRowsWrite = std::function<bool(sqlite3 *db)>;

// A dynaset over the rows of one table: Refresh runs the statement once and
// keeps the row ids and values of the rows it yields, in its order; edits are
// written back by row id, each Update in a transaction of its own. Nothing
// stays open between calls, so the board can yield to its event loop at any
// point without holding the database.
class Recordset
{
public:
    bool isEof() const { return m_position >= m_rows.size(); }
    bool hasCurrentRow() const { return m_position >= 0 && m_position < m_rows.size(); }
    int recordCount() const { return m_rows.size(); }
    int position() const { return m_position; }

    void moveFirst()
    {
        m_position = 0;
        cancelUpdate();
    }
    void moveLast()
    {
        m_position = m_rows.isEmpty() ? 0 : m_rows.size() - 1;
        cancelUpdate();
    }
    void moveNext();

    const QVector<ColumnInfo> &columns() const { return m_columns; }
    // The index of a column, its name compared without regard to case; -1 if none.
    int columnIndex(const QString &name) const;

    // The value of a column of the current row (or of the row being edited):
    // unset when there is no current row or no such column.
    FieldValue value(const QString &column) const;

    // Starts changing the current row; false when there is none.
    bool edit();
    // Starts a new row, added to the table by update().
    bool addNew();
    // Writes one value into the row being edited. Refused (false, the field
    // keeps what it had) without edit()/addNew(), for an unknown column, for
    // empty text or text longer than a text column, and for text that is not a
    // number, or a number out of range, for a single column. A number written
    // to a text column becomes its decimal text.
    bool setValue(const QString &column, const FieldValue &value);
    // Stores the row being edited; false when nothing is being edited or the
    // database refused it (the edit is dropped either way). The side rows'
    // writes are made in the same committed transaction: the row and its
    // side rows are stored together or not at all. An edit that changes no
    // column stores nothing, side rows included.
    bool update(const QList<SideRowsWrite> &sideRows = {});
    void cancelUpdate();
    bool isEditing() const { return m_editMode != EditMode::None; }

    // Moves to the first row whose column holds exactly this text (code unit
    // for code unit). Without such a row noMatch() is true and the position
    // stays where it was.
    bool findFirst(const QString &column, const QString &text);
    bool noMatch() const { return m_noMatch; }

    QString lastError() const { return m_lastError; }

private:
    friend class DataControl;
    enum class EditMode { None, Edit, AddNew };

    struct Row
    {
        qint64 rowId = 0;
        QVector<FieldValue> values;
    };

    bool reloadRow(int index);

    sqlite3 *m_db = nullptr;
    QString m_table;
    QVector<ColumnInfo> m_columns;
    QVector<Row> m_rows;
    int m_position = 0;
    EditMode m_editMode = EditMode::None;
    QVector<FieldValue> m_buffer;
    QSet<int> m_changed;
    bool m_noMatch = false;
    QString m_lastError;
};

// A data source of the window: a database file, a statement over it, and the
// recordset that the last Refresh produced. Each data control has its own
// connection and its own current row.
class DataControl
{
public:
    DataControl() = default;
    ~DataControl();
    DataControl(const DataControl &) = delete;
    DataControl &operator=(const DataControl &) = delete;

    QString databaseName() const { return m_databaseName; }
    void setDatabaseName(const QString &path);
    QString recordSource() const { return m_recordSource; }
    void setRecordSource(const QString &statement) { m_recordSource = statement; }

    // Runs the record source again; the first row becomes current. On failure
    // (no such file, no such table, a statement it cannot run) the recordset
    // is left without rows and false is returned.
    bool refresh();
    Recordset &recordset() { return m_recordset; }
    const Recordset &recordset() const { return m_recordset; }

    // Closes the database; the recordset loses its rows until the next refresh.
    void closeDatabase();
    bool isOpen() const { return m_db != nullptr; }
    // The open connection, for reading tables kept beside the record
    // source's; nullptr until a refresh has opened it.
    sqlite3 *connection() const { return m_db; }
    QString lastError() const { return m_lastError; }

private:
    bool open();

    QString m_databaseName;
    QString m_recordSource;
    sqlite3 *m_db = nullptr;
    Recordset m_recordset;
    QString m_lastError;
};

// Opens a connection to an existing store file with the board's functions
// (len) and text order registered. nullptr on failure.
sqlite3 *openStoreConnection(const QString &path, bool create, QString *error = nullptr);
