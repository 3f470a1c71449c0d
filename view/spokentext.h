#pragma once

#include <QString>

// The words a screen reader is given for what the board shows in figures and
// signs. A speech engine skips "°" and "%", reads "(c)" as letters and a
// leading "-" as a dash: the units are spelled out in Arabic and a negative
// number says "سالب". A value that is already a word ("جيدة", "سكون") or
// empty stays as it is.

QString spokenDegrees(const QString &caption); // "25" -> "25 درجة"
QString spokenKilometres(const QString &caption); // "9.5" -> "9.5 كيلومتر"
QString spokenSpeed(const QString &caption); // "14.48" -> "14.48 كيلومتر في الساعة"
QString spokenPercent(const QString &caption); // "40" -> "40 بالمئة"
// A caption over values, with its unit in words: "درجة الحرارة (c)" ->
// "درجة الحرارة بالدرجة المئوية".
QString spokenCaption(const QString &caption);

// The parts of one spoken line, as a screen reader says a row: "الرياض، مشمس، 25 درجة".
QString spokenList(const QStringList &parts);
