#pragma once

#include <QByteArray>

// A forecast feed is a small document: about six levels deep, under a
// hundred elements, no value longer than a sentence. A hostile server can
// send something else within the size limit that costs the parsers seconds
// or minutes (the DOM's time grows with the square of the depth, the stream
// reader's with the square of the attributes of one element) or gigabytes
// (entities). Every body is screened before it reaches the DOM; one that
// fails the screen is treated like XML that is not well-formed.
//
// The limits sit far above any real feed and far below what costs time.
namespace FeedLimits {
inline constexpr int MaximumDepth = 64;
inline constexpr int MaximumElements = 10000;
inline constexpr int MaximumAttributes = 32;                // of one element
inline constexpr qsizetype MaximumValueLength = 64 * 1024;  // one attribute value or one text, UTF-16 code units
} // namespace FeedLimits

enum class DocumentVerdict {
    Accepted,
    NotWellFormed,
    DeclaresEntities,
    TooManyAttributes,
    TooDeep,
    TooManyElements,
    ValueTooLong,
};

// Decides in one linear pass, stopping at the first limit passed, so a
// refused document costs little more than the bytes read up to that point.
DocumentVerdict screenFeedDocument(const QByteArray &body);

const char *verdictName(DocumentVerdict verdict);
