#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A throw-away desktop in a temporary folder: a home, the XDG config and
// data dirs and a PATH, all under root(), and an environment that points at
// them and nowhere else, so that nothing of the real machine's configuration
// takes part in a lookup.
class FakeXdg
{
public:
    FakeXdg();

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    // Replaces "{root}" in text with root().
    QString resolve(const QString &text) const;

    // Writes a file below root() ("{root}" in the contents is resolved too).
    bool write(const QString &relativePath, const QString &contents, bool executable = false) const;

    // HOME, XDG_CONFIG_DIRS, XDG_DATA_DIRS and PATH below root(); nothing else.
    QProcessEnvironment environment() const;

    // The contents of a handler's .desktop file with the given Exec line.
    static QString desktopEntry(const QString &execLine);
    // The contents of a mimeapps.list naming these handlers ("a.desktop;b.desktop;").
    static QString defaultHandlers(const QString &handlers);

private:
    QTemporaryDir m_dir;
};
