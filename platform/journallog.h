#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Log lines for the journal, for the board and its feed service alike.
//
// Started by systemd, a program's standard error is a stream into the
// journal, which reads a line starting "<N>" as one of syslog priority N.
// Lines without it all land at one priority, so that `journalctl -p warning`
// could not tell a warning from the comings and goings. Where standard error
// is anything else (a terminal, a file, a pipe), lines stay as they are.

// The priority prefix for a message of this type: "<3>" (err) for critical
// and fatal ones, "<4>" warning, "<6>" info, "<7>" debug.
QByteArray journalPriorityPrefix(QtMsgType type);

// Whether the open file fd is the stream named by JOURNAL_STREAM, which
// systemd sets to "<device>:<inode>" of the standard error it hands over. A
// program started from there with its standard error elsewhere inherits the
// variable, so the file itself is compared.
bool isJournalStream(int fd, const QByteArray &journalStream);

// A formatted message as written: every line of it (the journal takes each
// as an entry of its own) behind the prefix of its type when `journal`, and
// a line break at its end.
QByteArray logLines(QtMsgType type, const QString &formatted, bool journal);

// Writes every message to standard error as Qt's own handler would (its
// message pattern, QT_MESSAGE_PATTERN), with the priority prefixes when
// standard error is the journal. Install it first: a handler that hands
// messages on to the one before it (masking secrets) goes on top.
void installJournalLogging();
