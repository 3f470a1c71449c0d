#include "view/celltext.h"

#include "platform/boardlanguage.h"
#include "platform/datacontrol.h"

#include <QCoreApplication>
#include <QHash>

QString visibilityText(const FieldValue &visibility)
{
    const std::optional<double> value = visibility.isNumber() ? visibility.toNumber() : std::nullopt;
    if (!value)
        return QString();
    return *value >= 10 ? QCoreApplication::translate("CellText", "جيدة") : visibility.toText();
}

QString windSpeedText(const FieldValue &speed)
{
    const std::optional<double> value = speed.isNumber() ? speed.toNumber() : std::nullopt;
    if (!value)
        return QString();
    return *value == 0 ? QCoreApplication::translate("CellText", "سكون") : speed.toText();
}

QString conditionShown(const QString &storedWord)
{
    // The feed reader's words are the catalogue's sources (feed/conditionwords).
    return storedWord.isEmpty() ? storedWord
                                : QCoreApplication::translate("ConditionWords", storedWord.toUtf8().constData());
}

QString windShown(const QString &storedWord)
{
    return storedWord.trimmed().isEmpty() ? storedWord
                                          : QCoreApplication::translate("WindWords", storedWord.toUtf8().constData());
}

QString englishCityName(const QString &cityCode)
{
    // As the feed service names them in its documents.
    static const QHash<QString, QString> names{
        {QStringLiteral("AHB"), QStringLiteral("Abha")},
        {QStringLiteral("AJF"), QStringLiteral("Al Jouf")},
        {QStringLiteral("DMM"), QStringLiteral("Dammam")},
        {QStringLiteral("RUH"), QStringLiteral("Riyadh")},
        {QStringLiteral("TIF"), QStringLiteral("Taif")},
        {QStringLiteral("URY"), QStringLiteral("Qurayyat")},
        {QStringLiteral("ELQ"), QStringLiteral("Qassim")},
        {QStringLiteral("AQI"), QStringLiteral("Qaisumah")},
        {QStringLiteral("MED"), QStringLiteral("Madinah")},
        {QStringLiteral("EJH"), QStringLiteral("Al Wajh")},
        {QStringLiteral("BHH"), QStringLiteral("Bisha")},
        {QStringLiteral("TUU"), QStringLiteral("Tabuk")},
        {QStringLiteral("JED"), QStringLiteral("Jeddah")},
        {QStringLiteral("GIZ"), QStringLiteral("Jizan")},
        {QStringLiteral("HAS"), QStringLiteral("Hail")},
        {QStringLiteral("RAB"), QStringLiteral("Rabigh")},
        {QStringLiteral("RAH"), QStringLiteral("Rafha")},
        {QStringLiteral("SHW"), QStringLiteral("Sharurah")},
        {QStringLiteral("TRI"), QStringLiteral("Turaif")},
        {QStringLiteral("RAE"), QStringLiteral("Arar")},
        {QStringLiteral("QCA"), QStringLiteral("Makkah")},
        {QStringLiteral("EAM"), QStringLiteral("Najran")},
        {QStringLiteral("WAE"), QStringLiteral("Wadi ad-Dawasir")},
        {QStringLiteral("YNB"), QStringLiteral("Yanbu")},
    };
    return names.value(cityCode);
}

QString shownCityName(const Recordset &row)
{
    const QString arabic = row.value(QStringLiteral("city_a")).toText();
    if (!boardReadsLeftToRight() || arabic.isEmpty())
        return arabic;
    const QString english = row.value(QStringLiteral("city_e")).toText().trimmed();
    if (!english.isEmpty())
        return english;
    const QString byCode = englishCityName(row.value(QStringLiteral("city_code")).toText());
    return byCode.isEmpty() ? arabic : byCode;
}
