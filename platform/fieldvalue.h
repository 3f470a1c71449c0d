#pragma once

#include <QString>
#include <optional>

// One value as the board handles it: a value read from a feed or a store
// field is text, a number, no value (SQL NULL, distinct from empty text and
// from 0) or unset (the step that should have produced it failed).
class FieldValue
{
public:
    enum class Kind { Unset, Null, Text, Number };

    FieldValue() = default; // unset
    static FieldValue null();
    static FieldValue text(const QString &text);
    static FieldValue number(double number);

    Kind kind() const { return m_kind; }
    bool isUnset() const { return m_kind == Kind::Unset; }
    bool isNull() const { return m_kind == Kind::Null; }
    bool isText() const { return m_kind == Kind::Text; }
    bool isNumber() const { return m_kind == Kind::Number; }
    // A value proper: text or number.
    bool hasValue() const { return isText() || isNumber(); }
    // Unset or no value: both are stored as no value.
    bool isMissing() const { return !hasValue(); }

    // The text, or the number as its shortest single-precision text;
    // an empty string for unset and no value.
    QString toText() const;
    // The number, or the text read as a number with a point as decimal
    // separator; nothing for unset, no value and text that is not a number.
    std::optional<double> toNumber() const;

    bool operator==(const FieldValue &other) const;
    bool operator!=(const FieldValue &other) const { return !(*this == other); }

private:
    Kind m_kind = Kind::Unset;
    QString m_text;
    double m_number = 0.0;
};

// Reads text as a number the way feed and store texts are written: a point
// as decimal separator, surrounding blanks ignored. Nothing when the text is
// empty or not a number.
std::optional<double> parseNumber(const QString &text);

QDebug operator<<(QDebug debug, const FieldValue &value);
