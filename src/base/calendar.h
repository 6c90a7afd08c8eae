#pragma once
// The Gregorian calendar's month lengths, for checking dates.

namespace vkt {

inline bool leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// The days of `month` (1..12) in `year`.
inline int days_in_month(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap_year(year) ? 29 : kDays[month - 1];
}

}  // namespace vkt
