#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// Tells whether another copy of the board runs from the same folder. The lock
// lives outside the application folder, so a refused copy touches nothing of
// the running one, and a lock left by a killed copy is taken over.
class SingleInstanceLock
{
public:
    explicit SingleInstanceLock(const QString &applicationFolder);
    // True when this copy now holds the lock; false when another copy does.
    bool tryAcquire();
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
