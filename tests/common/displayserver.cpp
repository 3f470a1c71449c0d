#include "displayserver.h"

#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

constexpr char WaylandSocket[] = "board-test";

} // namespace

DisplayServer::DisplayServer(Kind kind)
    : m_kind(kind)
{
}

DisplayServer::~DisplayServer()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
    }
}

bool DisplayServer::available(Kind kind)
{
    if (kind == Xvfb)
        return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty();
    return !QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty()
        && (kind == Weston || !QStandardPaths::findExecutable(QStringLiteral("Xwayland")).isEmpty());
}

bool DisplayServer::start()
{
    if (!available(m_kind)) {
        m_error = m_kind == Xvfb ? QStringLiteral("Xvfb is not installed")
                                 : QStringLiteral("weston (and xwayland for X11) is not installed");
        return false;
    }
    if (!m_runtime.isValid()) {
        m_error = QStringLiteral("no runtime folder");
        return false;
    }
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_client = QProcessEnvironment::systemEnvironment();
    m_client.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    m_client.remove(QStringLiteral("XAUTHORITY"));
    m_client.remove(QStringLiteral("DISPLAY"));
    m_client.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_client.remove(QStringLiteral("QT_SCALE_FACTOR"));
    return m_kind == Xvfb ? startXvfb() : startWeston();
}

bool DisplayServer::startXvfb()
{
    // Xvfb takes a free display itself and names it on its output: no race
    // with another server started at the same time.
    // It never resets: an X server resets when its last client leaves, and
    // refuses whoever connects meanwhile; a screen reader's bus launcher
    // comes and goes just as the board starts.
    m_server.start(QStandardPaths::findExecutable(QStringLiteral("Xvfb")),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                    QStringLiteral("-noreset")});
    QByteArray number;
    if (m_server.waitForStarted()
        && waitUntil([&] { return (number += m_server.readAllStandardOutput()).contains('\n'); }, 15000)) {
        m_client.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(number.trimmed()));
        m_client.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return true;
    }
    m_error = QStringLiteral("no X display could be started");
    return false;
}

bool DisplayServer::startWeston()
{
    // XWayland listens where every X server does.
    QDir().mkpath(QStringLiteral("/tmp/.X11-unix"));
    QProcessEnvironment environment = m_client;
    const QString log = m_runtime.filePath(QStringLiteral("weston.log"));
    // The debug protocol lets weston-screenshooter take the output.
    QStringList arguments{QStringLiteral("--backend=headless-backend.so"),
                          QStringLiteral("--use-pixman"),
                          QStringLiteral("--socket=") + QLatin1String(WaylandSocket),
                          QStringLiteral("--idle-time=0"),
                          QStringLiteral("--width=1280"),
                          QStringLiteral("--height=1024"),
                          QStringLiteral("--debug"),
                          QStringLiteral("--log=") + log};
    if (m_kind == WestonXWayland)
        arguments << QStringLiteral("--xwayland");
    m_server.setProcessEnvironment(environment);
    m_server.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    m_server.setStandardErrorFile(QProcess::nullDevice());
    m_server.start(QStandardPaths::findExecutable(QStringLiteral("weston")), arguments);
    const QString socket = m_runtime.filePath(QLatin1String(WaylandSocket));
    if (!m_server.waitForStarted() || !waitUntil([&] { return QFile::exists(socket); }, 15000)) {
        m_error = QStringLiteral("weston did not start");
        return false;
    }
    if (m_kind == Weston) {
        m_client.insert(QStringLiteral("WAYLAND_DISPLAY"), QLatin1String(WaylandSocket));
        m_client.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        return true;
    }
    // weston names the display XWayland listens on in its log.
    QString display;
    waitUntil(
        [&] {
            QFile file(log);
            if (file.open(QIODevice::ReadOnly)) {
                const QByteArray text = file.readAll();
                const qsizetype at = text.lastIndexOf("xserver listening on display ");
                if (at >= 0)
                    display = QString::fromLatin1(text.mid(at + 29).split('\n').value(0).trimmed());
            }
            return !display.isEmpty();
        },
        15000);
    if (display.isEmpty()) {
        m_error = QStringLiteral("weston started no XWayland");
        return false;
    }
    // A Wayland session offers both; X11 is asked for by name.
    m_client.insert(QStringLiteral("WAYLAND_DISPLAY"), QLatin1String(WaylandSocket));
    m_client.insert(QStringLiteral("DISPLAY"), display);
    m_client.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return true;
}

QImage DisplayServer::screenshot()
{
    const QString shooter = QStandardPaths::findExecutable(QStringLiteral("weston-screenshooter"));
    if (m_kind == Xvfb || shooter.isEmpty() || m_server.state() != QProcess::Running)
        return {};
    QDir folder(m_runtime.filePath(QStringLiteral("shots")));
    folder.removeRecursively();
    folder.mkpath(QStringLiteral("."));
    QProcessEnvironment environment = m_client;
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QLatin1String(WaylandSocket));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder.path());
    process.start(shooter, {});
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    const QStringList shots = folder.entryList({QStringLiteral("*.png")}, QDir::Files);
    return shots.isEmpty() ? QImage() : QImage(folder.filePath(shots.first()));
}
