// The browser's program as the board finds it: a desktop entry (and the
// mimeapps.list naming it) read from a throw-away XDG home, its Exec= line
// turned into a command, the program taken from that command, and what is
// started for an address (through env or flatpak, with the line's own
// arguments).
//
// The input is the desktop entry; when it holds a NUL byte, what follows
// the first one is the mimeapps.list instead of the usual one naming
// browser.desktop.

#include "fuzzsupport.h"

#include "links/browsercommand.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

namespace {

struct FakeHome
{
    FakeHome()
        : dir(scratchTemplate())
    {
        FUZZ_CHECK(dir.isValid());
        FUZZ_CHECK(QDir(dir.path()).mkpath(QStringLiteral("config"))
                   && QDir(dir.path()).mkpath(QStringLiteral("data/applications"))
                   && QDir(dir.path()).mkpath(QStringLiteral("home"))
                   && QDir(dir.path()).mkpath(QStringLiteral("bin")));
        // Nothing of the machine's own desktop takes part.
        environment.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), dir.filePath(QStringLiteral("none")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_DATA_DIRS"), dir.filePath(QStringLiteral("none")));
        environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("Fuzz"));
        environment.insert(QStringLiteral("PATH"), dir.filePath(QStringLiteral("bin")));
    }

    void write(const QString &relativePath, const QByteArray &contents) const
    {
        QFile file(dir.filePath(relativePath));
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(contents) == contents.size());
    }

    QTemporaryDir dir;
    QProcessEnvironment environment;
};

// The program is the start of the command: its quoted first part, or the
// part before the first blank.
void checkProgram(const QString &command)
{
    const QString program = extractProgramPath(command);
    const QChar quote = QLatin1Char('"');
    if (command.startsWith(quote)) {
        if (program.isEmpty())
            FUZZ_CHECK(command.indexOf(quote, 1) < 0 || command.startsWith(QStringLiteral("\"\"")));
        else
            FUZZ_CHECK(!program.contains(quote) && command.startsWith(quote + program + quote));
        return;
    }
    FUZZ_CHECK(!program.contains(QLatin1Char(' ')) && command.startsWith(program));
    FUZZ_CHECK(program.size() == command.size() || command.at(program.size()) == QLatin1Char(' '));
}

// Whatever the line, the address reaches the program exactly once and no
// field code or flatpak marker does; a line without a wrapper starts its
// program with the address alone.
void checkLaunch(const QString &command)
{
    const QString address = QStringLiteral("http://maps.example/maps?q=%u");
    const BrowserLaunch launch = browserLaunch(command, address);
    if (launch.program.isEmpty()) {
        FUZZ_CHECK(launch.arguments.isEmpty());
        return;
    }
    FUZZ_CHECK(launch.arguments.count(address) == 1);
    for (const QString &argument : launch.arguments) {
        FUZZ_CHECK(argument == address || !(argument.size() == 2 && argument.startsWith(QLatin1Char('%'))));
        FUZZ_CHECK(!argument.startsWith(QStringLiteral("@@")));
    }
    const QString program = extractProgramPath(command);
    const QString base = program.mid(program.lastIndexOf(QLatin1Char('/')) + 1);
    if (base != QLatin1String("env") && base != QLatin1String("flatpak"))
        FUZZ_CHECK(launch.program == program && launch.arguments == QStringList{address});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    quietQt();
    static const FakeHome home;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QByteArray entry = nul < 0 ? input : input.left(nul);
    const QByteArray mimeapps = nul < 0 ? QByteArray("[Default Applications]\nx-scheme-handler/http=browser.desktop;\n")
                                        : input.mid(nul + 1);
    home.write(QStringLiteral("data/applications/browser.desktop"), entry);
    home.write(QStringLiteral("config/mimeapps.list"), mimeapps);

    const QString command = defaultBrowserCommand(home.environment);
    FUZZ_CHECK(command == command.trimmed());
    // Only an Exec= line gives a command here: no $BROWSER, nothing on PATH.
    if (!entry.contains("Exec"))
        FUZZ_CHECK(command.isEmpty());
    checkProgram(command);
    checkProgram(QString::fromUtf8(entry));
    checkLaunch(command);
    return 0;
}
