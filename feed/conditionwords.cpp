#include "feed/conditionwords.h"

QString conditionText(float code)
{
    // The words are stored as they are; the view says them in the board's
    // language, by the same words as the catalogue's sources.
    // Indexed by code. Several codes share a text.
    static const char *const words[] = {
        QT_TRANSLATE_NOOP("ConditionWords", "إعصار"), // 0 hurricane
        QT_TRANSLATE_NOOP("ConditionWords", "عاصفة استوائية"), // 1 tropical storm
        QT_TRANSLATE_NOOP("ConditionWords", "إعصار"), // 2 hurricane
        QT_TRANSLATE_NOOP("ConditionWords", "عواصف رعدية قوية"), // 3 severe thunderstorms
        QT_TRANSLATE_NOOP("ConditionWords", "عواصف رعدية"), // 4 thunderstorms
        QT_TRANSLATE_NOOP("ConditionWords", "مطر وثلوج"), // 5 rain and snow
        QT_TRANSLATE_NOOP("ConditionWords", "مطر و مطر متجمد"), // 6 rain and freezing rain
        QT_TRANSLATE_NOOP("ConditionWords", "ثلوج ومطر متجمد"), // 7 snow and freezing rain
        QT_TRANSLATE_NOOP("ConditionWords", "رذاذ متجمد"), // 8 freezing drizzle
        QT_TRANSLATE_NOOP("ConditionWords", "رذاذ"), // 9 drizzle
        QT_TRANSLATE_NOOP("ConditionWords", "مطر متجمد"), // 10 freezing rain
        QT_TRANSLATE_NOOP("ConditionWords", "مطر"), // 11 rain
        QT_TRANSLATE_NOOP("ConditionWords", "مطر"), // 12 rain
        QT_TRANSLATE_NOOP("ConditionWords", "رياح ثالجه"), // 13 icy wind
        QT_TRANSLATE_NOOP("ConditionWords", "ثلوج خفيفة"), // 14 light snow
        QT_TRANSLATE_NOOP("ConditionWords", "ثلوج"), // 15 snow
        QT_TRANSLATE_NOOP("ConditionWords", "ثلوج"), // 16 snow
        QT_TRANSLATE_NOOP("ConditionWords", "بارد"), // 17 cold
        QT_TRANSLATE_NOOP("ConditionWords", "متجمد"), // 18 frozen
        QT_TRANSLATE_NOOP("ConditionWords", "غبار"), // 19 dust
        QT_TRANSLATE_NOOP("ConditionWords", "ضباب"), // 20 fog
        QT_TRANSLATE_NOOP("ConditionWords", "غائم"), // 21 cloudy
        QT_TRANSLATE_NOOP("ConditionWords", "بخار"), // 22 vapour
        QT_TRANSLATE_NOOP("ConditionWords", "عاصف"), // 23 stormy
        QT_TRANSLATE_NOOP("ConditionWords", "عاصف"), // 24 stormy
        QT_TRANSLATE_NOOP("ConditionWords", "بارد"), // 25 cold
        QT_TRANSLATE_NOOP("ConditionWords", "غائم"), // 26 cloudy
        QT_TRANSLATE_NOOP("ConditionWords", "غائم غالباً"), // 27 mostly cloudy
        QT_TRANSLATE_NOOP("ConditionWords", "غائم غالباً"), // 28 mostly cloudy
        QT_TRANSLATE_NOOP("ConditionWords", "غائم جزئي"), // 29 partly cloudy
        QT_TRANSLATE_NOOP("ConditionWords", "غائم جزئي"), // 30 partly cloudy
        QT_TRANSLATE_NOOP("ConditionWords", "صافي"), // 31 clear
        QT_TRANSLATE_NOOP("ConditionWords", "مشمس"), // 32 sunny
        QT_TRANSLATE_NOOP("ConditionWords", "صحو"), // 33 fair
        QT_TRANSLATE_NOOP("ConditionWords", "صحو"), // 34 fair
        QT_TRANSLATE_NOOP("ConditionWords", "مطر وبرد"), // 35 rain and hail
        QT_TRANSLATE_NOOP("ConditionWords", "حار"), // 36 hot
        QT_TRANSLATE_NOOP("ConditionWords", "عواصف رعدية"), // 37 thunderstorms
        QT_TRANSLATE_NOOP("ConditionWords", "عواصف رعدية متقطعة"), // 38 scattered thunderstorms
        QT_TRANSLATE_NOOP("ConditionWords", "عواصف رعدية متقطعة"), // 39 scattered thunderstorms
        QT_TRANSLATE_NOOP("ConditionWords", "أمطار متقطعة"), // 40 scattered showers
        QT_TRANSLATE_NOOP("ConditionWords", "ثلوج كثيفه"), // 41 heavy snow
        QT_TRANSLATE_NOOP("ConditionWords", "ثلوج ممطرة متقطعة"), // 42 scattered rainy snow
        QT_TRANSLATE_NOOP("ConditionWords", "ثلوج كثيفه"), // 43 heavy snow
        QT_TRANSLATE_NOOP("ConditionWords", "غائم جزئي"), // 44 partly cloudy
        QT_TRANSLATE_NOOP("ConditionWords", "رعود"), // 45 thunder
        QT_TRANSLATE_NOOP("ConditionWords", "أمطار ثلجية"), // 46 snowy showers
        QT_TRANSLATE_NOOP("ConditionWords", "رعود"), // 47 thunder
    };
    static_assert(sizeof(words) / sizeof(words[0]) == 48, "codes 0 to 47");

    // Only exact whole codes have words: 32.5 is as unknown as 3200. Walking
    // the codes with an equality test (rather than truncating to an index)
    // keeps fractions, NaN and huge values out without special cases.
    for (int i = 0; i < 48; ++i) {
        if (code == float(i))
            return QString::fromUtf8(words[i]);
    }
    return QString::fromUtf8(QT_TRANSLATE_NOOP("ConditionWords", "غير متاح"));
}

bool conditionSpeaksOfRainfall(const QString &conditionText)
{
    return conditionText.contains(QStringView(u"مطر")) || conditionText.contains(QStringView(u"مطار"));
}

bool conditionSpeaksOfThunderstorm(const QString &conditionText)
{
    return conditionText.contains(QStringView(u"رعدية"));
}

bool conditionSpeaksOfRain(const QString &conditionText)
{
    return conditionSpeaksOfRainfall(conditionText) || conditionSpeaksOfThunderstorm(conditionText);
}
