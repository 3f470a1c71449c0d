#pragma once

#include <QString>
#include <QStringList>

// Starts a program that runs on its own and is not waited for. A seam, so
// that the browser launcher can be tested without starting a browser.
class ProcessLauncher
{
public:
    virtual ~ProcessLauncher() = default;
    // Each argument reaches the program as it is: no shell is involved.
    // Returns whether the program could be started.
    virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;
};

class DetachedProcessLauncher final : public ProcessLauncher
{
public:
    bool startDetached(const QString &program, const QStringList &arguments) override;
};
