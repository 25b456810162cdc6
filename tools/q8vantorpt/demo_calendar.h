// The calendar of the demo generator: civil dates as day numbers (days since
// 1970-01-01, proleptic Gregorian) and the texts the rows carry.
#pragma once

#include <cstdint>
#include <string>

namespace q8::tool::demo {

struct Civil {
  int y, m, d;
};

// Days since 1970-01-01 of a civil date, and back.
int64_t DayNumber(int y, int m, int d);
Civil FromDayNumber(int64_t z);

std::string DateText(int64_t day);  // "YYYY-MM-DD"
std::string DateTime(int64_t day);  // "YYYY-MM-DD 00:00:00"
std::string Compact(int64_t day);   // "YYYYMMDD", for batch numbers

}  // namespace q8::tool::demo
