#include "platform/singleinstance.h"

#include <QDir>

SingleInstanceLock::SingleInstanceLock(const QString &applicationFolder)
    : m_path(QDir(applicationFolder).filePath(QStringLiteral("RORizedivo.lock")))
{
}

bool SingleInstanceLock::tryAcquire()
{
    if (m_lock && m_lock->isLocked())
        return true;
    m_lock = std::make_unique<QLockFile>(m_path);
    // A lock whose process is gone is stale at once: removed and retaken.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    return m_lock->error() != QLockFile::LockFailedError;
}
