#include "platform/fieldvalue.h"

#include "platform/numbertext.h"

#include <QDebug>
#include <QLocale>

FieldValue FieldValue::null()
{
    FieldValue v;
    v.m_kind = Kind::Null;
    return v;
}

FieldValue FieldValue::text(const QString &text)
{
    FieldValue v;
    v.m_kind = Kind::Text;
    v.m_text = text;
    return v;
}

FieldValue FieldValue::number(double number)
{
    FieldValue v;
    v.m_kind = Kind::Number;
    v.m_number = number;
    return v;
}

QString FieldValue::toText() const
{
    switch (m_kind) {
    case Kind::Text:
        return m_text;
    case Kind::Number:
        return singleText(float(m_number));
    default:
        return QString();
    }
}

std::optional<double> FieldValue::toNumber() const
{
    switch (m_kind) {
    case Kind::Number:
        return m_number;
    case Kind::Text:
        return parseNumber(m_text);
    default:
        return std::nullopt;
    }
}

bool FieldValue::operator==(const FieldValue &other) const
{
    if (m_kind != other.m_kind)
        return false;
    if (m_kind == Kind::Text)
        return m_text == other.m_text;
    if (m_kind == Kind::Number)
        return m_number == other.m_number;
    return true;
}

std::optional<double> parseNumber(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

QDebug operator<<(QDebug debug, const FieldValue &value)
{
    QDebugStateSaver saver(debug);
    switch (value.kind()) {
    case FieldValue::Kind::Unset:
        debug.nospace() << "FieldValue(unset)";
        break;
    case FieldValue::Kind::Null:
        debug.nospace() << "FieldValue(null)";
        break;
    case FieldValue::Kind::Text:
        debug.nospace() << "FieldValue(text " << value.toText() << ")";
        break;
    case FieldValue::Kind::Number:
        debug.nospace() << "FieldValue(number " << *value.toNumber() << ")";
        break;
    }
    return debug;
}
