#include "fuzzstore.h"

#include "fuzzsupport.h"

#include "store/weatherstore.h"

#include <QTemporaryDir>

namespace {

struct FuzzStore
{
    FuzzStore()
        : dir(scratchTemplate())
    {
        FUZZ_CHECK(dir.isValid());
        const QString path = dir.filePath(QString::fromUtf16(WeatherStore::FileName));
        QString error;
        FUZZ_CHECK_MESSAGE(WeatherStore::createStoreFile(path, &error), error);
        data.setDatabaseName(path);
        data.setRecordSource(QString::fromUtf16(WeatherStore::AllRows));
        FUZZ_CHECK_MESSAGE(data.refresh(), data.lastError());
    }

    QTemporaryDir dir;
    DataControl data;
};

} // namespace

Recordset &fuzzStoreRows()
{
    static FuzzStore store;
    Recordset &rows = store.data.recordset();
    rows.moveFirst();
    return rows;
}
