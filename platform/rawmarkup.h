#pragma once

#include <QByteArray>
#include <QStringView>

#include <functional>

// A first pass over an XML document's raw bytes, before a stream reader
// sees it: the feed reader's documents and the feed service's alert feeds
// are screened alike.
//
// QXmlStreamReader compares each attribute of an element with all the
// others before it hands the element over, so one tag of 100,000 attributes
// holds it for minutes. Their number is counted here first, in each tag and
// in the whole document: an attribute is a quoted value inside a start tag.
// Comments, CDATA sections and processing instructions are skipped whole,
// ending where the reader ends them. A document type declaration is
// refused: its internal subset holds quotes, comments and instructions of
// its own that would put this pass out of step with the reader, and
// entities and default attributes that no tag shows. Whatever this pass
// misreads in a document that is not well-formed, the stream reader refuses
// before it gets that far.
enum class RawMarkup { Accepted, DocumentType, TooManyAttributes, GivenUp };

// `keepGoing`, when given, is asked every 4,096 tags; false ends the pass
// as GivenUp.
RawMarkup screenRawMarkup(const QByteArray &body, int attributesPerTag, int attributesInDocument,
                          const std::function<bool()> &keepGoing = {});

// Whether QXmlStreamReader takes the body as UTF-8: it reads the encoding
// from a byte order mark or from the pattern of the first bytes (this very
// test), then from the declaration. In UTF-8 and only there, '<', '>' and
// the quotes are single bytes that no other character contains, which the
// pass over raw bytes relies on.
bool readAsUtf8(const QByteArray &body);

// Whether a declared encoding is UTF-8, or ASCII, its subset.
bool isUtf8Name(QStringView name);
