#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// What the CAP reader checks before and beside its stream reader.

// Counts the attributes of each tag on the raw bytes and refuses a document
// type; why the body is refused, or empty.
QString screenCapRawBytes(const QByteArray &body);
// Whether the stream reader would take the body as UTF-8.
bool capReadAsUtf8(const QByteArray &body);
// Whether a declared encoding is UTF-8 (or ASCII, its subset).
bool isCapUtf8Name(QStringView name);
