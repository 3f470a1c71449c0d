#include "platform/journallog.h"

#include <QList>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool toJournal = false;

void writeLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString formatted = qFormatLogMessage(type, context, message);
    if (formatted.isNull())
        return; // the message pattern left nothing to print, as Qt's own handler has it
    const QByteArray lines = logLines(type, formatted, toJournal);
    std::fwrite(lines.constData(), 1, size_t(lines.size()), stderr);
    std::fflush(stderr);
}

} // namespace

QByteArray journalPriorityPrefix(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "<7>";
    case QtInfoMsg:
        return "<6>";
    case QtWarningMsg:
        return "<4>";
    case QtCriticalMsg:
    case QtFatalMsg:
        break;
    }
    return "<3>";
}

bool isJournalStream(int fd, const QByteArray &journalStream)
{
    const QList<QByteArray> parts = journalStream.split(':');
    bool deviceOk = false;
    bool inodeOk = false;
    struct stat file
    { };
    if (parts.size() != 2 || ::fstat(fd, &file) != 0)
        return false;
    const qulonglong device = parts.at(0).toULongLong(&deviceOk);
    const qulonglong inode = parts.at(1).toULongLong(&inodeOk);
    return deviceOk && inodeOk && device == qulonglong(file.st_dev) && inode == qulonglong(file.st_ino);
}

QByteArray logLines(QtMsgType type, const QString &formatted, bool journal)
{
    const QByteArray text = formatted.toLocal8Bit();
    if (!journal)
        return text + '\n';
    const QByteArray prefix = journalPriorityPrefix(type);
    QByteArray lines;
    for (const QByteArray &line : text.split('\n'))
        lines += prefix + line + '\n';
    return lines;
}

void installJournalLogging()
{
    toJournal = isJournalStream(STDERR_FILENO, qgetenv("JOURNAL_STREAM"));
    qInstallMessageHandler(writeLines);
}
