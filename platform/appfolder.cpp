#include "platform/appfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

constexpr char16_t PackageFolder[] = u"rorizedivo";
constexpr char16_t PictureFolder[] = u"wtIMG";
const char16_t *const ReadOnlyFiles[] = {u"rain.wav", u"thunder.wav", u"H_POINT.CUR"};

QString installedDataFolder(const QString &executableFolder)
{
    return QDir::cleanPath(executableFolder + QStringLiteral("/../share/") + QString::fromUtf16(PackageFolder));
}

// Puts a link to source at target. A file the user keeps there stays; a link
// to somewhere else (the package moved, or was unpacked elsewhere) is
// pointed at source again. Where links cannot be made, a copy does.
void linkInto(const QString &source, const QString &target)
{
    const QFileInfo existing(target);
    if (existing.isSymLink()) {
        if (existing.symLinkTarget() == source)
            return;
        QFile::remove(target);
    } else if (existing.exists()) {
        return;
    }
    if (!QFile::link(source, target))
        QFile::copy(source, target);
}

} // namespace

ApplicationFolder ApplicationFolder::resolve(const Inputs &inputs)
{
    const QString executableFolder = QDir::cleanPath(inputs.executableFolder);
    if (!inputs.installedDataPresent && inputs.executableFolderWritable)
        return {executableFolder, executableFolder};

    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG base
    // directory rules say.
    const QString dataHome = QDir::isAbsolutePath(inputs.xdgDataHome) ? inputs.xdgDataHome
                                                                      : inputs.home + QStringLiteral("/.local/share");
    ApplicationFolder folder;
    folder.path = QDir::cleanPath(dataHome + QLatin1Char('/') + QString::fromUtf16(PackageFolder));
    folder.dataFolder = inputs.installedDataPresent ? installedDataFolder(executableFolder) : executableFolder;
    return folder;
}

ApplicationFolder ApplicationFolder::forExecutable(const QString &executableFolder)
{
    Inputs inputs;
    inputs.executableFolder = QDir(executableFolder).absolutePath();
    // access() rather than the permission bits: it also knows read-only
    // mounts and the rights of the user running the board.
    inputs.executableFolderWritable = ::access(QFile::encodeName(inputs.executableFolder).constData(), W_OK) == 0;
    inputs.installedDataPresent = QFileInfo(installedDataFolder(inputs.executableFolder)).isDir();
    inputs.xdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    inputs.home = QDir::homePath();
    return resolve(inputs);
}

bool ApplicationFolder::prepare() const
{
    // The portable folder is the board's own business, as it always was.
    if (!isPerUser())
        return QFileInfo(path).isDir();

    const QString pictures = QString::fromUtf16(PictureFolder);
    if (!QDir().mkpath(path + QLatin1Char('/') + pictures))
        return false;
    // The store, the lock (pid, host and machine id) and the marker are the
    // user's business alone: the folder is closed to others, and files an
    // older board left open there are closed too.
    constexpr QFileDevice::Permissions Owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    constexpr QFileDevice::Permissions Others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (!QFile::setPermissions(path, Owner))
        return false;
    const QFileInfoList files = QDir(path).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &file : files) {
        if (file.permissions() & Others)
            QFile::setPermissions(file.filePath(), file.permissions() & Owner);
    }
    const QDir data(dataFolder);
    for (const char16_t *name : ReadOnlyFiles) {
        const QString file = QString::fromUtf16(name);
        if (data.exists(file))
            linkInto(data.filePath(file), path + QLatin1Char('/') + file);
    }
    const QDir maps(data.filePath(pictures));
    const QStringList names = maps.entryList({QStringLiteral("*.tmg")}, QDir::Files | QDir::CaseSensitive, QDir::Name);
    for (const QString &name : names)
        linkInto(maps.filePath(name), path + QLatin1Char('/') + pictures + QLatin1Char('/') + name);
    return true;
}
