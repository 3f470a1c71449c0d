#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The command line of the desktop's default web browser, as the desktop
// would start it for an http link, e.g. `/usr/bin/firefox-esr %u` or
// `"/opt/Web Browser/browser" --new-window %u`. Field codes such as %u stay
// in the text. Empty when no browser can be found.
//
// Looked up in this order:
//  1. The [Default Applications] entry for x-scheme-handler/http in the
//     mimeapps.list files (and their <desktop>-mimeapps.list variants for
//     $XDG_CURRENT_DESKTOP), searched in $XDG_CONFIG_HOME, $XDG_CONFIG_DIRS,
//     $XDG_DATA_HOME/applications and $XDG_DATA_DIRS/applications, with the
//     usual defaults for unset variables. The first listed handler whose
//     .desktop file is installed (and not hidden) gives its Exec= line.
//  2. $BROWSER (its first entry when it lists several, colon-separated).
//  3. x-www-browser, when it is found on $PATH.
// The environment is a parameter so that the lookup can run against a
// prepared home and XDG directories.
QString defaultBrowserCommand(const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// The program to start from a browser command line:
//  - a command that begins with a double quote names the program between
//    that quote and the next one (further quoted arguments, such as a quoted
//    "%u", do not matter);
//  - an unquoted command names the program up to its first blank, or is the
//    program itself when it holds no blank.
// A program path with a blank that is not quoted therefore yields only its
// first part, which names no program, and nothing starts. An unterminated
// quote, an empty command or one that begins with a blank yields empty text.
QString extractProgramPath(const QString &command);

// What to start for an address: the program and its arguments.
struct BrowserLaunch
{
    QString program; // empty: nothing to start
    QStringList arguments;
};

// The program is the one extractProgramPath names, started with the address
// as its only argument, except for the two ways today's desktops wrap a
// browser, which that rule would misread:
//  - a leading `env` with its NAME=value assignments (Ubuntu's snaps:
//    `env BAMF_DESKTOP_FILE_HINT=... /snap/bin/firefox %u`) is skipped, and
//    what follows is read as a command of its own;
//  - the line of such a wrapper, or one whose program is `flatpak`, keeps the
//    arguments of its own (`run --command=firefox org.mozilla.firefox`), the
//    address taking the place of the field code (%u, %U, %f or %F, or at the
//    end when there is none). Flatpak's file-forwarding markers (@@u, @@) and
//    the other field codes are dropped.
// Those lines are split into arguments by the quoting rules of desktop
// entries: double quotes, and within them backslash before ", `, $ and \.
BrowserLaunch browserLaunch(const QString &command, const QString &address);
