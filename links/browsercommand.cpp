#include "links/browsercommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <utility>

namespace {

const QString kHttpHandler = QStringLiteral("x-scheme-handler/http");

using Entries = QList<QPair<QString, QString>>;

// The keys and values of one group of a desktop-entry style file
// (mimeapps.list or a .desktop file). Blank lines and comments are skipped,
// blanks around the '=' are ignored, and values are returned raw. A missing
// or unreadable file has no entries.
Entries readGroup(const QString &path, const QString &group)
{
    Entries entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    bool inGroup = false;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == header;
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        entries.append({line.left(equals).trimmed(), line.mid(equals + 1).trimmed()});
    }
    return entries;
}

QString entryValue(const Entries &entries, const QString &key)
{
    for (const auto &entry : entries) {
        if (entry.first == key)
            return entry.second;
    }
    return QString();
}

// The escapes of a desktop entry string value: \s \n \t \r and \\.
// Other backslashes are kept, so quoting inside an Exec line survives for the
// program path extraction.
QString unescapeDesktopString(const QString &value)
{
    QString text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            text.append(c);
            continue;
        }
        const QChar next = value.at(i + 1);
        switch (next.unicode()) {
        case 's':
            text.append(QLatin1Char(' '));
            break;
        case 'n':
            text.append(QLatin1Char('\n'));
            break;
        case 't':
            text.append(QLatin1Char('\t'));
            break;
        case 'r':
            text.append(QLatin1Char('\r'));
            break;
        case '\\':
            text.append(QLatin1Char('\\'));
            break;
        default:
            text.append(c).append(next);
            break;
        }
        ++i;
    }
    return text;
}

// The base directories only count when they are absolute paths; anything
// else is ignored and the default used, as the XDG base directory rules ask.
QString baseDir(const QProcessEnvironment &environment, const char *name, const QString &fallback)
{
    const QString value = environment.value(QLatin1String(name));
    return QDir::isAbsolutePath(value) ? value : fallback;
}

QStringList baseDirs(const QProcessEnvironment &environment, const char *name, const QStringList &fallback)
{
    QStringList dirs;
    const QStringList values = environment.value(QLatin1String(name)).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &value : values) {
        if (QDir::isAbsolutePath(value))
            dirs.append(value);
    }
    return dirs.isEmpty() ? fallback : dirs;
}

struct XdgDirs
{
    QStringList mimeappsDirs; // where mimeapps.list files are looked for, most important first
    QStringList applicationDirs; // where .desktop files are installed, most important first
    QStringList desktops; // lowercase names from $XDG_CURRENT_DESKTOP
};

XdgDirs xdgDirs(const QProcessEnvironment &environment)
{
    QString home = environment.value(QStringLiteral("HOME"));
    if (!QDir::isAbsolutePath(home))
        home = QDir::homePath();

    const QString configHome = baseDir(environment, "XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    const QStringList configDirs = baseDirs(environment, "XDG_CONFIG_DIRS", {QStringLiteral("/etc/xdg")});
    const QString dataHome = baseDir(environment, "XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
    const QStringList dataDirs = baseDirs(environment, "XDG_DATA_DIRS",
                                          {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});

    XdgDirs dirs;
    dirs.applicationDirs.append(dataHome + QStringLiteral("/applications"));
    for (const QString &dir : dataDirs)
        dirs.applicationDirs.append(dir + QStringLiteral("/applications"));
    dirs.mimeappsDirs.append(configHome);
    dirs.mimeappsDirs.append(configDirs);
    dirs.mimeappsDirs.append(dirs.applicationDirs);

    const QStringList desktops =
        environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &desktop : desktops)
        dirs.desktops.append(desktop.toLower());
    return dirs;
}

// A desktop file ID names a file relative to an applications directory with
// '/' replaced by '-': "kde4-konqbrowser.desktop" may be
// "kde4/konqbrowser.desktop".
QString findDesktopFileIn(const QString &dir, const QString &id)
{
    const QString direct = dir + QLatin1Char('/') + id;
    if (QFileInfo(direct).isFile())
        return direct;
    for (qsizetype dash = id.indexOf(QLatin1Char('-')); dash > 0; dash = id.indexOf(QLatin1Char('-'), dash + 1)) {
        const QString subdir = dir + QLatin1Char('/') + id.left(dash);
        if (QFileInfo(subdir).isDir()) {
            const QString found = findDesktopFileIn(subdir, id.mid(dash + 1));
            if (!found.isEmpty())
                return found;
        }
    }
    return QString();
}

// The command line of an installed handler, or empty text when it is not
// installed, is hidden (the user removed it) or has nothing to execute. The
// first directory that holds the ID decides, even when it hides the entry.
QString handlerCommand(const XdgDirs &dirs, const QString &id)
{
    if (!id.endsWith(QLatin1String(".desktop")) || id.contains(QLatin1Char('/')))
        return QString();
    for (const QString &dir : dirs.applicationDirs) {
        const QString path = findDesktopFileIn(dir, id);
        if (path.isEmpty())
            continue;
        const Entries entry = readGroup(path, QStringLiteral("Desktop Entry"));
        if (entryValue(entry, QStringLiteral("Hidden")) == QLatin1String("true"))
            return QString();
        return unescapeDesktopString(entryValue(entry, QStringLiteral("Exec"))).trimmed();
    }
    return QString();
}

QString commandFromMimeapps(const QProcessEnvironment &environment)
{
    const XdgDirs dirs = xdgDirs(environment);
    for (const QString &dir : dirs.mimeappsDirs) {
        QStringList files;
        for (const QString &desktop : dirs.desktops)
            files.append(dir + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list"));
        files.append(dir + QStringLiteral("/mimeapps.list"));

        for (const QString &file : files) {
            const QString handlers = entryValue(readGroup(file, QStringLiteral("Default Applications")), kHttpHandler);
            for (const QString &id : handlers.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                const QString command = handlerCommand(dirs, id.trimmed());
                if (!command.isEmpty())
                    return command;
            }
        }
    }
    return QString();
}

QString commandFromPath(const QProcessEnvironment &environment)
{
    const QStringList path = environment.value(QStringLiteral("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    // An empty list would make findExecutable search this process's PATH
    // instead of the environment's.
    if (path.isEmpty())
        return QString();
    const QString program = QStandardPaths::findExecutable(QStringLiteral("x-www-browser"), path);
    // Quoted when it holds a blank, so that the whole path is the program.
    if (program.contains(QLatin1Char(' ')))
        return QLatin1Char('"') + program + QLatin1Char('"');
    return program;
}

} // namespace

QString defaultBrowserCommand(const QProcessEnvironment &environment)
{
    QString command = commandFromMimeapps(environment);
    if (!command.isEmpty())
        return command;

    const QStringList browsers =
        environment.value(QStringLiteral("BROWSER")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &browser : browsers) {
        if (!browser.trimmed().isEmpty())
            return browser.trimmed();
    }

    return commandFromPath(environment);
}

QString extractProgramPath(const QString &command)
{
    const QChar quote = QLatin1Char('"');
    if (command.startsWith(quote)) {
        const qsizetype closing = command.indexOf(quote, 1);
        return closing < 0 ? QString() : command.mid(1, closing - 1);
    }
    const qsizetype blank = command.indexOf(QLatin1Char(' '));
    return blank < 0 ? command : command.left(blank);
}

namespace {

// The arguments of an Exec line: blanks separate them, double quotes group,
// and within quotes a backslash keeps the next ", `, $ or \ as it is.
// Nothing for an unterminated quote.
std::optional<QStringList> splitExecLine(const QString &command)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (quoted) {
            if (c == u'"') {
                quoted = false;
            } else if (c == u'\\' && i + 1 < command.size() && QStringView(u"\"`$\\").contains(command.at(i + 1))) {
                word.append(command.at(++i));
            } else {
                word.append(c);
            }
        } else if (c == u' ' || c == u'\t') {
            if (inWord)
                words.append(std::exchange(word, QString()));
            inWord = false;
        } else {
            inWord = true;
            if (c == u'"')
                quoted = true;
            else
                word.append(c);
        }
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        words.append(word);
    return words;
}

bool isEnvironmentAssignment(const QString &word)
{
    static const QRegularExpression assignment(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*="));
    return assignment.match(word).hasMatch();
}

QString baseName(const QString &program)
{
    return program.mid(program.lastIndexOf(u'/') + 1);
}

// The words after the program, the address where the field code stands.
QStringList argumentsFor(const QStringList &words, const QString &address)
{
    QStringList arguments;
    bool placed = false;
    for (const QString &word : words) {
        if (word == u"%u" || word == u"%U" || word == u"%f" || word == u"%F") {
            if (!std::exchange(placed, true))
                arguments.append(address);
        } else if (word.startsWith(u"@@") || (word.size() == 2 && word.startsWith(u'%') && word != u"%%")) {
            continue; // flatpak's markers, the other field codes
        } else {
            arguments.append(word == u"%%" ? QStringLiteral("%") : word);
        }
    }
    if (!placed)
        arguments.append(address);
    return arguments;
}

} // namespace

BrowserLaunch browserLaunch(const QString &command, const QString &address)
{
    const QString program = extractProgramPath(command);
    if (program.isEmpty())
        return {};
    const bool throughEnv = program == u"env" || program.endsWith(u"/env");
    if (!throughEnv && baseName(program) != u"flatpak")
        return {program, QStringList{address}};

    std::optional<QStringList> words = splitExecLine(command);
    if (!words)
        return {};
    qsizetype first = 0;
    if (throughEnv) {
        first = 1;
        while (first < words->size() && isEnvironmentAssignment(words->at(first)))
            ++first;
    }
    if (first >= words->size() || words->at(first).isEmpty())
        return {};
    return {words->at(first), argumentsFor(words->mid(first + 1), address)};
}
