#pragma once

#include <QString>
#include <QStringList>

class LocationTable;

// The file of a city's air-quality answer beside its forecast answer
// <id>.json: <id>-air-quality.json.
QString airQualityFileName(const QString &locationId);

// Writes the documents of a sample folder from hand-made upstream answers:
// for every location of the table, <upstreamDir>/<id>.json (an Open-Meteo
// forecast answer) and, when there is one, <upstreamDir>/<id>-air-quality.json
// (its air-quality answer) become <outputDir>/<id>.xml (its u=c document),
// written by the same code that writes live documents, with the warnings of
// the quarter the forecast answer was observed in and, where the answer has
// a quarter-hour series beside its current block, the coming hours from
// that quarter's hour. An answer the live
// client would refuse is refused here too. Returns the problems met; empty
// when every city was written.
QStringList renderSampleDocuments(const LocationTable &locations, const QString &upstreamDir, const QString &outputDir);
