#include "view/celltext.h"

namespace {
const QString GoodVisibility = QStringLiteral(u"جيدة");
const QString Calm = QStringLiteral(u"سكون");
} // namespace

QString visibilityText(const FieldValue &visibility)
{
    const std::optional<double> value = visibility.isNumber() ? visibility.toNumber() : std::nullopt;
    if (!value)
        return QString();
    return *value >= 10 ? GoodVisibility : visibility.toText();
}

QString windSpeedText(const FieldValue &speed)
{
    const std::optional<double> value = speed.isNumber() ? speed.toNumber() : std::nullopt;
    if (!value)
        return QString();
    return *value == 0 ? Calm : speed.toText();
}
