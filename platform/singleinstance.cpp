#include "platform/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

SingleInstanceLock::SingleInstanceLock(const QString &applicationFolder)
{
    // One lock per folder, however the folder was reached (links included).
    const QFileInfo folder(applicationFolder);
    const QString canonical = folder.exists() ? folder.canonicalFilePath() : folder.absoluteFilePath();
    const QByteArray key = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    m_path = QDir::temp().filePath(QStringLiteral("RORizedivo-%1.lock").arg(QString::fromLatin1(key)));
}

bool SingleInstanceLock::tryAcquire()
{
    if (m_lock && m_lock->isLocked())
        return true;
    m_lock = std::make_unique<QLockFile>(m_path);
    // A lock whose process is gone is stale at once: removed and retaken.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}
