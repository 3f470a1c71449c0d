#pragma once

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A display server of a test's (or a bench's) own, for the built board to
// show itself on: Xvfb, or a headless weston drawing in memory, as a Wayland
// compositor or with XWayland for X11 clients. It ends with the object.
class DisplayServer
{
public:
    enum Kind { Xvfb, Weston, WestonXWayland };

    explicit DisplayServer(Kind kind);
    ~DisplayServer();
    DisplayServer(const DisplayServer &) = delete;
    DisplayServer &operator=(const DisplayServer &) = delete;

    // Whether the programs it needs are installed.
    static bool available(Kind kind);
    // False when it could not be started; error() says why.
    bool start();
    QString error() const { return m_error; }

    // The environment of a client: the system's, with the display, the
    // runtime folder and the Qt platform that goes with the kind.
    QProcessEnvironment clientEnvironment() const { return m_client; }

    // What weston shows now, the whole output; a null picture for Xvfb or
    // when it cannot be taken.
    QImage screenshot();

private:
    bool startXvfb();
    bool startWeston();

    Kind m_kind;
    QProcess m_server;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_client;
    QString m_error;
};
