#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// Tells whether another copy of the board runs on the same application
// folder. The lock lives in that folder, so whoever can reach the folder's
// store meets its lock, whatever their temporary folder; each user's own
// folder has its own lock. A refused copy only reads the lock, and a lock
// left by a killed copy is taken over.
class SingleInstanceLock
{
public:
    explicit SingleInstanceLock(const QString &applicationFolder);
    // True when this copy now holds the lock; false when another copy does.
    // A folder that cannot hold the lock cannot hold a store another copy
    // writes either: that is not refused here, the missing store is told
    // about later.
    bool tryAcquire();
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
