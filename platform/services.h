#pragma once

#include "platform/networkstate.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class QNetworkAccessManager;
class QUrl;
class QWidget;
class DesktopNotices;

// What the board needs of the world outside its window, each behind a seam
// so that tests can stand at any minute, go offline, see message boxes as
// text and hear no sound.
struct BoardServices
{
    // The application folder; every file of the board is found there.
    QString applicationFolder;
    // The account's own settings (the person's own cities), a QSettings file
    // kept apart from the application folder; empty: nothing is kept.
    QString settingsFile;
    // The local clock.
    std::function<QDateTime()> now;
    // Whether the machine has a usable network connection.
    std::function<bool()> isOnline;
    // A message box with an OK button and the board's title; critical ones
    // carry the error icon.
    std::function<void(QWidget *parent, const QString &text, bool critical)> showMessage;
    // Starts playing a sound file without waiting for it; a new sound
    // replaces one that still plays.
    std::function<void(const QString &path)> playSound;
    // Starts a program detached, with these arguments, never through a shell.
    std::function<bool(const QString &program, const QStringList &arguments)> startDetached;
    // Why the last check found the board offline.
    std::function<OfflineCause()> offlineCause;
    // The desktop's notifications; nullptr sends none.
    DesktopNotices *notices = nullptr;
    // Network access for the feed loads; nullptr lets the board make its own.
    QNetworkAccessManager *network = nullptr;

    // The real ones: the executable's folder, or the user's own one when the
    // board is installed (made ready here), rorizedivo.conf beside the feed
    // service's settings in $XDG_CONFIG_HOME/rorizedivo/, the system clock, the machine's
    // interfaces, QMessageBox, Qt Multimedia and QProcess. The feed service
    // listening at feedEndpoint counts as being online.
    static BoardServices system(const QUrl &feedEndpoint);
};

inline constexpr char16_t ApplicationTitle[] = u"RORizedivo";
