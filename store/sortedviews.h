#pragma once

#include <QString>

// The six orders of the city grid, by their place in the sort list: city
// name, condition, temperature, visibility, wind direction and wind speed.
// Only cities whose last refresh found the feed's link are listed.
namespace SortedViews {

inline constexpr int KeyCount = 6;

// The statement of the view sorted by the key at `position`; empty for a
// position that names no key.
QString statement(int position);
// The view by city name for a board in English: by the feed's English names.
QString byEnglishName();

} // namespace SortedViews
