// The calendar of the demo generator.
#include "tools/q8vantorpt/demo_calendar.h"

#include <cstdio>

#include "core/civil_date.h"

namespace q8::tool::demo {

int64_t DayNumber(int y, int m, int d) { return civil::DaysFromCivil(y, m, d); }

Civil FromDayNumber(int64_t z) {
  const civil::Civil c = civil::CivilFromDays(z);
  return {static_cast<int>(c.year), c.month, c.day};
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
