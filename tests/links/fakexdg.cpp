#include "fakexdg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

FakeXdg::FakeXdg()
{
    QDir(root()).mkpath(QStringLiteral("home"));
    QDir(root()).mkpath(QStringLiteral("bin"));
}

QString FakeXdg::resolve(const QString &text) const
{
    QString resolved = text;
    return resolved.replace(QStringLiteral("{root}"), root());
}

bool FakeXdg::write(const QString &relativePath, const QString &contents, bool executable) const
{
    const QString path = root() + QLatin1Char('/') + relativePath;
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (file.write(resolve(contents).toUtf8()) < 0)
        return false;
    file.close();
    if (executable)
        return file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return true;
}

QProcessEnvironment FakeXdg::environment() const
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), root() + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), root() + QStringLiteral("/etc/xdg"));
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), root() + QStringLiteral("/usr/share"));
    environment.insert(QStringLiteral("PATH"), root() + QStringLiteral("/bin"));
    return environment;
}

QString FakeXdg::desktopEntry(const QString &execLine)
{
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=Browser\n") + execLine
        + QStringLiteral("\nMimeType=x-scheme-handler/http;\n");
}

QString FakeXdg::defaultHandlers(const QString &handlers)
{
    return QStringLiteral("[Default Applications]\nx-scheme-handler/http=") + handlers + QLatin1Char('\n');
}
