#include "fuzzsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

void fuzzCheckFailed(const char *condition, const char *file, int line, const QString &message)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s%s%s\n", file, line, condition, message.isEmpty() ? "" : " -- ",
                 qUtf8Printable(message));
    std::fflush(stderr);
    std::abort();
}

namespace {

void dropMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "Qt fatal: %s\n", qUtf8Printable(message));
        std::abort();
    }
}

} // namespace

void quietQt()
{
    static const bool installed = [] {
        qInstallMessageHandler(dropMessages);
        return true;
    }();
    Q_UNUSED(installed);
}

QString scratchTemplate()
{
    const QString name = QStringLiteral("/weather-fuzz-XXXXXX");
    if (QFileInfo(QStringLiteral("/dev/shm")).isDir() && QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        return QStringLiteral("/dev/shm") + name;
    return QDir::tempPath() + name;
}
