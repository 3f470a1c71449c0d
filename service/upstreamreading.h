#pragma once

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>

// What a document is written from, read off one city's upstream answer
// (the forecast answer with its current block, and its air-quality answer):
// every value in the writer's base units (metric), each one missing where
// the answer has none, or one that cannot be trusted. Used by the document
// writer alone; feeddocument.h declares the readers others use.

using Maybe = std::optional<double>;

struct Current
{
    std::optional<QDateTime> time; // local wall time
    Maybe temperature; // °C
    Maybe humidity; // %
    Maybe pressure; // hPa
    Maybe windSpeed; // km/h
    Maybe windDirection; // degrees
    Maybe visibility; // metres
    std::optional<int> weatherCode;
    std::optional<bool> isDay;
};

struct Day
{
    QDate date;
    Maybe high; // °C
    Maybe low; // °C
    std::optional<int> weatherCode;
    std::optional<QTime> sunrise;
    std::optional<QTime> sunset;
};

// The air near the ground, from the air-quality answer.
struct Air
{
    Maybe dust; // μg/m³
    Maybe pm10; // μg/m³
};

struct Reading
{
    std::optional<Current> current; // nothing when the answer has no current block
    QList<Day> days;
    QString zone;
    int shownTimeShift = 0; // seconds added to the observation time where it is shown with its zone
    std::optional<Air> air; // nothing without an air-quality answer
};

// The answer (and the air-quality answer; empty when there is none) as the
// document reads it, in the zone the document shows its times in.
Reading readUpstreamAnswer(const QJsonObject &answer, const QJsonObject &airQuality);
