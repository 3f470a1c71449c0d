#pragma once

#include <QString>
#include <QStringList>

// The language the board speaks, chosen once at start from the desktop's
// languages. Arabic is the board's own language: every text is written in
// it, and English is its one translation (Qt Linguist's catalogue, built in).
// English reads left to right, so the board lays itself out mirrored.
enum class BoardLanguage { Arabic, English };

// Arabic when the first of the desktop's languages (QLocale::system()
// .uiLanguages(): LANGUAGE, LC_ALL, LC_MESSAGES, LANG) is Arabic, or when
// they name none (C, POSIX); English otherwise.
BoardLanguage languageForDesktop(const QStringList &uiLanguages);

// Puts the board's catalogue for `language` in place, with Qt's own for its
// dialogs, and takes away those of the language before; Arabic needs no
// catalogue of the board's. Set before the first control is made: the
// controls are made in the language and direction of that moment. Tests
// choose the language here.
void setBoardLanguage(BoardLanguage language);
BoardLanguage boardLanguage();

// Whether the board lays itself out left to right (English).
inline bool boardReadsLeftToRight()
{
    return boardLanguage() == BoardLanguage::English;
}

// A count in the board's language: `arabic` (agreeing with its number as
// Arabic does, see countedText) while the board speaks Arabic, else the
// catalogue's plural of `source` (which holds %n) in `context`. `source` is
// marked for the catalogue with QT_TRANSLATE_N_NOOP.
QString countedInLanguage(const QString &arabic, const char *context, const char *source, qint64 n);
