#include "model/utc_time.h"

UtcTime utcTime(std::uint32_t seconds) {
  UtcTime t{};
  const std::uint32_t days = seconds / 86400;
  const std::uint32_t ofDay = seconds % 86400;
  t.hour = ofDay / 3600;
  t.minute = ofDay / 60 % 60;
  t.second = ofDay % 60;

  // Days to a date in the proleptic Gregorian calendar, counted in 400-year
  // eras of 146097 days that start on 0000-03-01, so that the leap day ends
  // each counted year. 1970-01-01 is day 719468 of that count.
  const std::uint32_t count = days + 719468;
  const std::uint32_t era = count / 146097;
  const std::uint32_t dayOfEra = count % 146097;
  const std::uint32_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::uint32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::uint32_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 is March
  t.day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  t.month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  t.year = yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0);
  return t;
}

const char* monthAbbreviation(unsigned month) {
  static const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return month >= 1 && month <= 12 ? names[month - 1] : "";
}
