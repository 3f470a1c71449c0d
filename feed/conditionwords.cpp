#include "feed/conditionwords.h"

QString conditionText(float code)
{
    // Indexed by code. Several codes share a text.
    static const char16_t *const words[] = {
        u"إعصار", // 0 hurricane
        u"عاصفة استوائية", // 1 tropical storm
        u"إعصار", // 2 hurricane
        u"عواصف رعدية قوية", // 3 severe thunderstorms
        u"عواصف رعدية", // 4 thunderstorms
        u"مطر وثلوج", // 5 rain and snow
        u"مطر و مطر متجمد", // 6 rain and freezing rain
        u"ثلوج ومطر متجمد", // 7 snow and freezing rain
        u"رذاذ متجمد", // 8 freezing drizzle
        u"رذاذ", // 9 drizzle
        u"مطر متجمد", // 10 freezing rain
        u"مطر", // 11 rain
        u"مطر", // 12 rain
        u"رياح ثالجه", // 13 icy wind
        u"ثلوج خفيفة", // 14 light snow
        u"ثلوج", // 15 snow
        u"ثلوج", // 16 snow
        u"بارد", // 17 cold
        u"متجمد", // 18 frozen
        u"غبار", // 19 dust
        u"ضباب", // 20 fog
        u"غائم", // 21 cloudy
        u"بخار", // 22 vapour
        u"عاصف", // 23 stormy
        u"عاصف", // 24 stormy
        u"بارد", // 25 cold
        u"غائم", // 26 cloudy
        u"غائم غالباً", // 27 mostly cloudy
        u"غائم غالباً", // 28 mostly cloudy
        u"غائم جزئي", // 29 partly cloudy
        u"غائم جزئي", // 30 partly cloudy
        u"صافي", // 31 clear
        u"مشمس", // 32 sunny
        u"صحو", // 33 fair
        u"صحو", // 34 fair
        u"مطر وبرد", // 35 rain and hail
        u"حار", // 36 hot
        u"عواصف رعدية", // 37 thunderstorms
        u"عواصف رعدية متقطعة", // 38 scattered thunderstorms
        u"عواصف رعدية متقطعة", // 39 scattered thunderstorms
        u"أمطار متقطعة", // 40 scattered showers
        u"ثلوج كثيفه", // 41 heavy snow
        u"ثلوج ممطرة متقطعة", // 42 scattered rainy snow
        u"ثلوج كثيفه", // 43 heavy snow
        u"غائم جزئي", // 44 partly cloudy
        u"رعود", // 45 thunder
        u"أمطار ثلجية", // 46 snowy showers
        u"رعود", // 47 thunder
    };
    static_assert(sizeof(words) / sizeof(words[0]) == 48, "codes 0 to 47");

    // Only exact whole codes have words: 32.5 is as unknown as 3200. Walking
    // the codes with an equality test (rather than truncating to an index)
    // keeps fractions, NaN and huge values out without special cases.
    for (int i = 0; i < 48; ++i) {
        if (code == float(i))
            return QString::fromUtf16(words[i]);
    }
    return QStringLiteral("غير متاح");
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
