#include "conditions.h"

QString conditionName(int code)
{
    // The names the feed format uses for its codes, in title case as the
    // recorded documents write them.
    // clang-format off
    static const char *const names[48] = {
        "Tornado", "Tropical Storm", "Hurricane", "Severe Thunderstorms",
        "Thunderstorms", "Mixed Rain and Snow", "Mixed Rain and Sleet",
        "Mixed Snow and Sleet", "Freezing Drizzle", "Drizzle", "Freezing Rain",
        "Showers", "Rain", "Snow Flurries", "Light Snow Showers", "Blowing Snow",
        "Snow", "Hail", "Sleet", "Dust", "Foggy", "Haze", "Smoky", "Blustery",
        "Windy", "Cold", "Cloudy", "Mostly Cloudy", "Mostly Cloudy",
        "Partly Cloudy", "Partly Cloudy", "Clear", "Sunny", "Fair", "Fair",
        "Mixed Rain and Hail", "Hot", "Isolated Thunderstorms",
        "Scattered Thunderstorms", "Scattered Thunderstorms", "Scattered Showers",
        "Heavy Snow", "Scattered Snow Showers", "Heavy Snow", "Partly Cloudy",
        "Thundershowers", "Snow Showers", "Isolated Thundershowers"};
    // clang-format on
    if (code >= 0 && code < 48)
        return QString::fromLatin1(names[code]);
    return QStringLiteral("Not Available");
}

FeedCondition conditionForWmoCode(int wmoCode, bool daytime)
{
    int code = NotAvailableCode;
    // clang-format off
    switch (wmoCode) {
    case 0: code = daytime ? 32 : 31; break;          // clear sky: sunny / clear
    case 1: code = daytime ? 34 : 33; break;          // mainly clear: fair
    case 2: code = daytime ? 30 : 29; break;          // partly cloudy
    case 3: code = 26; break;                         // overcast
    case 45: case 48: code = 20; break;               // fog, depositing rime fog
    case 51: case 53: case 55: code = 9; break;       // drizzle
    case 56: case 57: code = 8; break;                // freezing drizzle
    case 61: code = 11; break;                        // slight rain: showers
    case 63: case 65: code = 12; break;               // moderate and heavy rain
    case 66: case 67: code = 10; break;               // freezing rain
    case 71: case 73: code = 16; break;               // slight and moderate snow
    case 75: code = 41; break;                        // heavy snow
    case 77: code = 13; break;                        // snow grains
    case 80: code = 40; break;                        // slight rain showers
    case 81: code = 11; break;                        // moderate rain showers
    case 82: code = 12; break;                        // violent rain showers
    case 85: code = 14; break;                        // slight snow showers
    case 86: code = 46; break;                        // heavy snow showers
    case 95: case 96: code = 4; break;                // thunderstorm, with slight hail
    case 99: code = 3; break;                         // thunderstorm with heavy hail
    default: break;
    }
    // clang-format on
    return {code, conditionName(code)};
}

bool isDustCondition(std::optional<int> wmoCode, std::optional<double> dustMicrogramsPerCubicMetre)
{
    if (!dustMicrogramsPerCubicMetre || !(*dustMicrogramsPerCubicMetre >= DustConditionMicrogramsPerCubicMetre))
        return false;
    return !wmoCode || *wmoCode < 40 || *wmoCode > 99;
}
