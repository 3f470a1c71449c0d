#pragma once

#include <QBuffer>
#include <QByteArray>

#include <chrono>
#include <functional>

// A forecast feed is a small document: about six levels deep, under a
// hundred elements, no value longer than a sentence. A hostile server can
// send something else within the size limit that costs the parsers seconds
// or minutes (the DOM's time grows with the square of the depth, the stream
// reader's with the square of the attributes of one element) or gigabytes
// (entities). Every body is screened before it reaches the DOM; one that
// fails the screen is treated like XML that is not well-formed.
//
// Feeds are UTF-8 and carry no document type, so the screen refuses any
// other encoding and any document type declaration outright: both would
// let a document say one thing to a count over its raw bytes and another
// to the parser. Past the screen, every document also has a budget of
// work, which no document the screen lets through comes near.
//
// The limits sit far above any real feed and far below what costs time.
namespace FeedLimits {
inline constexpr int MaximumDepth = 64;
inline constexpr int MaximumElements = 10000;
inline constexpr int MaximumAttributes = 32; // of one element
// Of the whole document: each costs the DOM a node to make and to free, and
// a feed has a few dozen.
inline constexpr int MaximumAttributesInDocument = 20000;
inline constexpr qsizetype MaximumValueLength = 64 * 1024; // one attribute value or one text, UTF-16 code units
// Screening, parsing and reading one document together, in CPU time of the
// thread that does it.
inline constexpr std::chrono::milliseconds MaximumWork{250};
} // namespace FeedLimits

enum class DocumentVerdict {
    Accepted,
    NotWellFormed,
    DeclaresDocumentType,
    ForeignEncoding,
    TooManyAttributes,
    TooDeep,
    TooManyElements,
    ValueTooLong,
    OutOfTime,
    GivenUp,
};

// What the work on one document may still cost. Screening, parsing and
// reading ask it as they go (every piece of the body read, every channel)
// and stop once it is spent: the thread has used its CPU time on the
// document, or the load that wanted the document has been given up. CPU
// time rather than time on the clock, so that a busy machine does not turn
// a good feed away. Lives on the thread that does the work.
class WorkBudget
{
public:
    // `givenUp` is asked at every check; it may be empty.
    explicit WorkBudget(std::function<bool()> givenUp = {}, std::chrono::nanoseconds cpuTime = FeedLimits::MaximumWork);

    // Whether the work must stop now. Once spent, it stays spent.
    bool isSpent();
    // Why it is spent: OutOfTime or GivenUp; Accepted while it is not.
    DocumentVerdict reason() const { return m_reason; }
    // CPU time used on this thread since the budget was made.
    std::chrono::nanoseconds used() const;

private:
    std::function<bool()> m_givenUp;
    std::chrono::nanoseconds m_start;
    std::chrono::nanoseconds m_limit;
    DocumentVerdict m_reason = DocumentVerdict::Accepted;
};

// A body handed to a parser a piece at a time, the budget asked before each
// piece: a parser reading from it stops (with an error, as if the document
// ended there) within one piece of the budget being spent, even inside one
// long text.
class BudgetedBody : public QBuffer
{
public:
    static constexpr qint64 PieceBytes = 16 * 1024;

    BudgetedBody(const QByteArray &body, WorkBudget &budget);

protected:
    qint64 readData(char *data, qint64 maxSize) override;

private:
    WorkBudget &m_budget;
};

// Decides in one linear pass, stopping at the first limit passed, so a
// refused document costs little more than the bytes read up to that point.
DocumentVerdict screenFeedDocument(const QByteArray &body, WorkBudget &budget);
// The same within a budget of its own.
DocumentVerdict screenFeedDocument(const QByteArray &body);

const char *verdictName(DocumentVerdict verdict);
