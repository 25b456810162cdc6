// The calendar of the demo generator.
#include "tools/q8vantorpt/demo_calendar.h"

#include <cstdio>

namespace q8::tool::demo {

int64_t DayNumber(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

Civil FromDayNumber(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yoe + era * 400 + (m <= 2)), m, d};
}

std::string DateText(int64_t day) {
  const Civil c = FromDayNumber(day);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.y, c.m, c.d);
  return buf;
}

std::string DateTime(int64_t day) { return DateText(day) + " 00:00:00"; }

std::string Compact(int64_t day) {
  const Civil c = FromDayNumber(day);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", c.y, c.m, c.d);
  return buf;
}

}  // namespace q8::tool::demo
