#include "platform/datacontrol.h"

#include "platform/logging.h"
#include "platform/numbertext.h"

#include <QCollator>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <sqlite3.h>

namespace {

// Text order of the store: linguistic and without regard to case, like the
// "general" order of the engine the store was designed for. It is registered
// under the name NOCASE, which the text columns declare: any other SQLite
// client still opens and sorts the file (with its own ASCII-only NOCASE),
// while the board gets the full linguistic order.
int compareText(void *, int length1, const void *text1, int length2, const void *text2)
{
    static const QCollator collator = [] {
        QCollator c(QLocale(QLocale::English, QLocale::UnitedStates));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(false);
        return c;
    }();
    // Registered for UTF-8, the store's encoding: SQLite prefers a collation
    // of the database's own encoding, so only this one replaces its NOCASE.
    const QString a = QString::fromUtf8(static_cast<const char *>(text1), length1);
    const QString b = QString::fromUtf8(static_cast<const char *>(text2), length2);
    const int order = collator.compare(a, b);
    if (order != 0)
        return order;
    // Keep the order total: texts that the collator finds equal but that
    // differ in their code units still sort the same way every time.
    return QString::compare(a, b, Qt::CaseSensitive);
}

// len(x): the number of characters of x's text, no value for no value.
void lenFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const int bytes = sqlite3_value_bytes16(argv[0]);
    sqlite3_result_int(context, bytes / 2);
}

QString sqliteError(sqlite3 *db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("no database");
}

struct Statement
{
    explicit Statement(sqlite3 *db, const QString &sql)
    {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &handle, nullptr) != SQLITE_OK)
            handle = nullptr;
    }
    ~Statement() { sqlite3_finalize(handle); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    sqlite3_stmt *handle = nullptr;
};

} // namespace

FieldValue readStoredValue(sqlite3_stmt *statement, int column, const ColumnInfo &info)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return FieldValue::null();
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        const double number = sqlite3_column_double(statement, column);
        if (info.type == ColumnInfo::Type::Text)
            return FieldValue::text(singleRoundTripText(float(number)));
        return FieldValue::number(info.type == ColumnInfo::Type::Single ? double(float(number)) : number);
    }
    default: {
        const auto *text = static_cast<const char16_t *>(sqlite3_column_text16(statement, column));
        const int bytes = sqlite3_column_bytes16(statement, column);
        return FieldValue::text(QString(reinterpret_cast<const QChar *>(text), bytes / 2));
    }
    }
}

bool bindStoredValue(sqlite3_stmt *statement, int index, const FieldValue &value, const ColumnInfo &info)
{
    if (value.isText()) {
        // As UTF-8: SQLite takes a UTF-16 text that starts with U+FEFF or
        // U+FFFE for one with a byte order mark, drops that character and,
        // for U+FFFE, swaps the bytes of all the rest.
        const QByteArray text = value.toText().toUtf8();
        return sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT) == SQLITE_OK;
    }
    if (value.isNumber()) {
        double number = *value.toNumber();
        if (info.type == ColumnInfo::Type::Single) {
            // Store the single as the double nearest its shortest decimal
            // text, so other readers of the file see 14.48 and not
            // 14.4799995422363; it reads back as exactly the same single.
            number = singleRoundTripText(float(number)).toDouble();
        }
        return sqlite3_bind_double(statement, index, number) == SQLITE_OK;
    }
    return sqlite3_bind_null(statement, index) == SQLITE_OK;
}

ColumnInfo columnInfoFromDeclaredType(const QString &name, const QString &declaredType)
{
    ColumnInfo info;
    info.name = name;
    static const QRegularExpression textType(QStringLiteral("^\\s*(?:TEXT|VARCHAR|CHAR)\\s*(?:\\(\\s*(\\d+)\\s*\\))?"),
                                             QRegularExpression::CaseInsensitiveOption);
    const auto match = textType.match(declaredType);
    if (match.hasMatch()) {
        info.type = ColumnInfo::Type::Text;
        info.size = match.captured(1).toInt();
    } else if (declaredType.trimmed().startsWith(QLatin1String("REAL"), Qt::CaseInsensitive)
               || declaredType.trimmed().startsWith(QLatin1String("SINGLE"), Qt::CaseInsensitive)) {
        info.type = ColumnInfo::Type::Single;
    }
    return info;
}

sqlite3 *openStoreConnection(const QString &path, bool create, QString *error)
{
    sqlite3 *db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK) {
        if (error)
            *error = sqliteError(db);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    // A refresh commits each row twice. With a write-ahead log a commit is
    // one synced append instead of a journal written, synced and deleted
    // around a synced file: the 48 commits of a refresh take a third of the
    // time, and each is as durable as before. The log is folded back into
    // the file when the last connection closes.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_create_collation(db, "NOCASE", SQLITE_UTF8, nullptr, compareText);
    sqlite3_create_function(db, "len", 1, SQLITE_UTF16 | SQLITE_DETERMINISTIC, nullptr, lenFunction, nullptr, nullptr);
    return db;
}

// --- Recordset ---------------------------------------------------------------

void Recordset::moveNext()
{
    cancelUpdate();
    if (m_position < m_rows.size())
        ++m_position;
}

int Recordset::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

FieldValue Recordset::value(const QString &column) const
{
    const int index = columnIndex(column);
    if (index < 0)
        return FieldValue();
    if (m_editMode != EditMode::None)
        return m_buffer.value(index);
    if (!hasCurrentRow())
        return FieldValue();
    return m_rows[m_position].values.value(index);
}

bool Recordset::edit()
{
    cancelUpdate();
    if (!m_db || !hasCurrentRow()) {
        m_lastError = QStringLiteral("no current row");
        return false;
    }
    m_buffer = m_rows[m_position].values;
    m_editMode = EditMode::Edit;
    return true;
}

bool Recordset::addNew()
{
    cancelUpdate();
    if (!m_db || m_table.isEmpty()) {
        m_lastError = QStringLiteral("no table");
        return false;
    }
    m_buffer = QVector<FieldValue>(m_columns.size(), FieldValue::null());
    m_editMode = EditMode::AddNew;
    return true;
}

namespace {

// A value a column does not take: said once, the row keeps what it had.
std::optional<FieldValue> refuse(const ColumnInfo &column, const QString &why)
{
    qCInfo(lcStore, "column %s refused a value: %s", qPrintable(column.name), qPrintable(why));
    return std::nullopt;
}

} // namespace

std::optional<FieldValue> storableValue(const ColumnInfo &info, const FieldValue &value)
{
    FieldValue stored = value.isUnset() ? FieldValue::null() : value;
    switch (info.type) {
    case ColumnInfo::Type::Text:
        if (stored.isNumber())
            stored = FieldValue::text(singleText(float(*stored.toNumber())));
        if (stored.isText()) {
            const QString text = stored.toText();
            if (text.isEmpty())
                return refuse(info, QStringLiteral("empty text"));
            if (info.size > 0 && text.size() > info.size)
                return refuse(info, QStringLiteral("%1 characters, past its %2").arg(text.size()).arg(info.size));
        }
        break;
    case ColumnInfo::Type::Single:
        if (stored.hasValue()) {
            const std::optional<double> number = stored.toNumber();
            if (!number)
                return refuse(info, QStringLiteral("not a number"));
            if (!std::isfinite(*number) || std::fabs(*number) > std::numeric_limits<float>::max())
                return refuse(info, QStringLiteral("a number beyond a single's range"));
            stored = FieldValue::number(double(float(*number)));
        }
        break;
    case ColumnInfo::Type::Other:
        break;
    }
    return stored;
}

bool Recordset::setValue(const QString &column, const FieldValue &value)
{
    const int index = columnIndex(column);
    if (m_editMode == EditMode::None || index < 0)
        return false;
    const std::optional<FieldValue> stored = storableValue(m_columns[index], value);
    if (!stored)
        return false;
    m_buffer[index] = *stored;
    m_changed.insert(index);
    return true;
}

bool Recordset::update(const QList<SideRowsWrite> &sideRows)
{
    const EditMode mode = m_editMode;
    const QVector<FieldValue> buffer = m_buffer;
    const QSet<int> changed = m_changed;
    cancelUpdate();
    if (mode == EditMode::None || !m_db) {
        m_lastError = QStringLiteral("no edit in progress");
        return false;
    }

    QList<int> columns(changed.begin(), changed.end());
    std::sort(columns.begin(), columns.end());

    QString sql;
    if (mode == EditMode::Edit) {
        if (columns.isEmpty())
            return true;
        QStringList assignments;
        for (int c : columns)
            assignments << QStringLiteral("\"%1\" = ?").arg(m_columns[c].name);
        sql =
            QStringLiteral("UPDATE \"%1\" SET %2 WHERE rowid = ?").arg(m_table, assignments.join(QLatin1String(", ")));
    } else if (columns.isEmpty()) {
        sql = QStringLiteral("INSERT INTO \"%1\" DEFAULT VALUES").arg(m_table);
    } else {
        QStringList names;
        QStringList marks;
        for (int c : columns) {
            names << QStringLiteral("\"%1\"").arg(m_columns[c].name);
            marks << QStringLiteral("?");
        }
        sql = QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                  .arg(m_table, names.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
    }

    Statement statement(m_db, sql);
    if (!statement.handle) {
        m_lastError = sqliteError(m_db);
        return false;
    }
    int bind = 1;
    for (int c : columns)
        bindStoredValue(statement.handle, bind++, buffer[c], m_columns[c]);
    if (mode == EditMode::Edit)
        sqlite3_bind_int64(statement.handle, bind, m_rows[m_position].rowId);

    // Alone, the statement is its own transaction; with side rows, one
    // transaction holds them all, each side rows' write in a savepoint of its
    // own so that one that fails is undone without taking the row with it.
    const bool together = !sideRows.isEmpty();
    if (together && sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        m_lastError = sqliteError(m_db);
        return false;
    }
    const auto fail = [&](const QString &why) {
        m_lastError = why;
        if (together)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    };
    if (sqlite3_step(statement.handle) != SQLITE_DONE)
        return fail(sqliteError(m_db));
    // Someone else deleted the row since the last refresh: nothing was stored.
    if (mode == EditMode::Edit && sqlite3_changes(m_db) == 0)
        return fail(QStringLiteral("the row no longer exists"));
    const qint64 insertedRowId = sqlite3_last_insert_rowid(m_db);
    sqlite3_reset(statement.handle);
    for (const SideRowsWrite &write : sideRows) {
        sqlite3_exec(m_db, "SAVEPOINT side_rows", nullptr, nullptr, nullptr);
        if (!write(m_db)) {
            qCWarning(lcStore, "a row's side rows could not be stored: %s", sqlite3_errmsg(m_db));
            sqlite3_exec(m_db, "ROLLBACK TO side_rows", nullptr, nullptr, nullptr);
        }
        sqlite3_exec(m_db, "RELEASE side_rows", nullptr, nullptr, nullptr);
    }
    if (together && sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(sqliteError(m_db));

    if (mode == EditMode::Edit) {
        reloadRow(m_position);
    } else {
        // A new row joins the end of the dynaset; the current row stays.
        Row row;
        row.rowId = insertedRowId;
        row.values = QVector<FieldValue>(m_columns.size(), FieldValue::null());
        m_rows.append(row);
        reloadRow(m_rows.size() - 1);
    }
    return true;
}

void Recordset::cancelUpdate()
{
    m_editMode = EditMode::None;
    m_buffer.clear();
    m_changed.clear();
}

bool Recordset::findFirst(const QString &column, const QString &text)
{
    cancelUpdate();
    m_noMatch = true;
    const int index = columnIndex(column);
    if (index < 0)
        return false;
    for (int i = 0; i < m_rows.size(); ++i) {
        const FieldValue &v = m_rows[i].values[index];
        if (v.isText() && v.toText() == text) {
            m_position = i;
            m_noMatch = false;
            return true;
        }
    }
    return false;
}

bool Recordset::reloadRow(int index)
{
    Statement statement(m_db, QStringLiteral("SELECT * FROM \"%1\" WHERE rowid = ?").arg(m_table));
    if (!statement.handle)
        return false;
    sqlite3_bind_int64(statement.handle, 1, m_rows[index].rowId);
    if (sqlite3_step(statement.handle) != SQLITE_ROW)
        return false;
    const int count = std::min(int(m_columns.size()), sqlite3_column_count(statement.handle));
    for (int c = 0; c < count; ++c)
        m_rows[index].values[c] = readStoredValue(statement.handle, c, m_columns[c]);
    return true;
}

// --- DataControl -------------------------------------------------------------

DataControl::~DataControl()
{
    closeDatabase();
}

void DataControl::setDatabaseName(const QString &path)
{
    if (path != m_databaseName)
        closeDatabase();
    m_databaseName = path;
}

bool DataControl::open()
{
    if (m_db)
        return true;
    m_db = openStoreConnection(m_databaseName, false, &m_lastError);
    return m_db != nullptr;
}

void DataControl::closeDatabase()
{
    m_recordset = Recordset();
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

bool DataControl::refresh()
{
    Recordset fresh;
    m_recordset = Recordset();
    if (!open())
        return false;

    // The board's statements all read whole rows of one table
    // ("select * from wt ..."); the row id is asked for beside them so that
    // edits can be written back to the row they came from.
    static const QRegularExpression shape(QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+\\[?(\\w+)\\]?(\\s.*)?$"),
                                          QRegularExpression::CaseInsensitiveOption
                                              | QRegularExpression::DotMatchesEverythingOption);
    const auto match = shape.match(m_recordSource);
    if (!match.hasMatch()) {
        m_lastError = QStringLiteral("unsupported record source: %1").arg(m_recordSource);
        return false;
    }
    fresh.m_table = match.captured(1);

    {
        Statement info(m_db, QStringLiteral("PRAGMA table_info(\"%1\")").arg(fresh.m_table));
        while (info.handle && sqlite3_step(info.handle) == SQLITE_ROW) {
            const QString name = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.handle, 1)));
            const QString type = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.handle, 2)));
            fresh.m_columns.append(columnInfoFromDeclaredType(name, type));
        }
    }
    if (fresh.m_columns.isEmpty()) {
        m_lastError = QStringLiteral("no such table: %1").arg(fresh.m_table);
        return false;
    }

    QString sql = m_recordSource.trimmed();
    sql.insert(QStringLiteral("select").size(), QStringLiteral(" rowid,"));
    Statement query(m_db, sql);
    if (!query.handle) {
        m_lastError = sqliteError(m_db);
        return false;
    }
    int step;
    while ((step = sqlite3_step(query.handle)) == SQLITE_ROW) {
        Recordset::Row row;
        row.rowId = sqlite3_column_int64(query.handle, 0);
        row.values.reserve(fresh.m_columns.size());
        for (int c = 0; c < fresh.m_columns.size(); ++c)
            row.values.append(readStoredValue(query.handle, c + 1, fresh.m_columns[c]));
        fresh.m_rows.append(row);
    }
    if (step != SQLITE_DONE) {
        m_lastError = sqliteError(m_db);
        return false;
    }
    fresh.m_db = m_db;
    m_recordset = fresh;
    return true;
}
