#pragma once

#include <QDateTime>
#include <QString>

// A row's publication time is read by publishedAt (platform/feeddate.h).

// Whether data published at `published` is old enough to say so: more than
// an hour before `now`.
bool isOldData(const QDateTime &published, const QDateTime &now);

// "آخر تحديث قبل 3 ساعات": how long ago, to the hour, and in days past a
// day; empty while the data is an hour old or less.
QString dataAgeText(const QDateTime &published, const QDateTime &now);
