// Automation dates: days since 1899-12-30, their parts and text forms.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/civil_date.h"
#include "core/number_text.h"
#include "q8vantorpt/variant.h"

namespace q8::date {
namespace {

using number_text::IsBlank;
using number_text::TrimBlanks;

constexpr int64_t kEpochOffset = 25569;  // days from 1899-12-30 to 1970-01-01
constexpr int64_t kMsPerDay = 86400000;

// Reads 1..max_len decimal digits at s[*i]; false when there is none.
bool ReadDigits(std::string_view s, size_t* i, int min_len, int max_len, int* out) {
  int n = 0, v = 0;
  while (*i < s.size() && n < max_len && s[*i] >= '0' && s[*i] <= '9') {
    v = v * 10 + (s[*i] - '0');
    ++*i;
    ++n;
  }
  if (n < min_len) return false;
  *out = v;
  return true;
}

}  // namespace

double FromParts(const Parts& p) {
  int64_t day = civil::DaysFromCivil(p.year, p.month, p.day) + kEpochOffset;
  double t =
      static_cast<double>(((p.hour * 60 + p.minute) * 60 + p.second) * 1000 + p.millisecond) /
      static_cast<double>(kMsPerDay);
  // Before 1899-12-30 the time of day still counts forward from midnight,
  // while the whole days count backwards: -1.25 is 1899-12-29 06:00.
  return day >= 0 ? static_cast<double>(day) + t : static_cast<double>(day) - t;
}

Parts ToParts(double d) {
  if (!std::isfinite(d) || std::fabs(d) > 1e9) d = 0;
  double whole = std::trunc(d);
  int64_t day = static_cast<int64_t>(whole);
  int64_t ms = std::llround(std::fabs(d - whole) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    ++day;
  }
  Parts p;
  const civil::Civil c = civil::CivilFromDays(day - kEpochOffset);
  p.year = static_cast<int>(c.year);
  p.month = c.month;
  p.day = c.day;
  p.millisecond = static_cast<int>(ms % 1000);
  int64_t secs = ms / 1000;
  p.second = static_cast<int>(secs % 60);
  p.minute = static_cast<int>((secs / 60) % 60);
  p.hour = static_cast<int>(secs / 3600);
  return p;
}

std::string ToIso(double d) {
  Parts p = ToParts(d);
  char buf[64];
  if (p.millisecond != 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second, p.millisecond);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                  p.minute, p.second);
  }
  return buf;
}

std::string ToDefaultText(double d) {
  Parts p = ToParts(d);
  if (p.hour == 0 && p.minute == 0 && p.second == 0 && p.millisecond == 0) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    return buf;
  }
  return ToIso(d);
}

std::string ToSlashed(double d) {
  Parts p = ToParts(d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", p.year, p.month, p.day);
  return buf;
}

std::optional<double> Parse(std::string_view text) {
  std::string_view s = TrimBlanks(text);
  Parts p;
  size_t i = 0;
  if (!ReadDigits(s, &i, 4, 4, &p.year)) return std::nullopt;
  if (i < s.size() && (s[i] == '-' || s[i] == '/')) {
    char sep = s[i++];
    if (!ReadDigits(s, &i, 1, 2, &p.month)) return std::nullopt;
    if (i >= s.size() || s[i] != sep) return std::nullopt;
    ++i;
    if (!ReadDigits(s, &i, 1, 2, &p.day)) return std::nullopt;
  } else {
    // YYYYMMDD
    if (!ReadDigits(s, &i, 2, 2, &p.month) || !ReadDigits(s, &i, 2, 2, &p.day)) return std::nullopt;
  }
  if (p.year < 1 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > civil::DaysInMonth(p.year, p.month))
    return std::nullopt;
  if (i < s.size()) {
    if (s[i] == 'T') {
      ++i;
    } else if (IsBlank(s[i])) {
      while (i < s.size() && IsBlank(s[i])) ++i;
    } else {
      return std::nullopt;
    }
    if (!ReadDigits(s, &i, 1, 2, &p.hour)) return std::nullopt;
    if (i >= s.size() || s[i] != ':') return std::nullopt;
    ++i;
    if (!ReadDigits(s, &i, 2, 2, &p.minute)) return std::nullopt;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (!ReadDigits(s, &i, 2, 2, &p.second)) return std::nullopt;
      if (i < s.size() && s[i] == '.') {
        ++i;
        int n = 0, ms = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
          if (n < 3) ms = ms * 10 + (s[i] - '0');
          ++n;
          ++i;
        }
        if (n == 0) return std::nullopt;
        for (int k = n; k < 3; ++k) ms *= 10;
        p.millisecond = ms;
      }
    }
    if (i != s.size()) return std::nullopt;
    if (p.hour > 23 || p.minute > 59 || p.second > 59) return std::nullopt;
  }
  return FromParts(p);
}

double Now() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  Parts p;
  p.year = tm.tm_year + 1900;
  p.month = tm.tm_mon + 1;
  p.day = tm.tm_mday;
  p.hour = tm.tm_hour;
  p.minute = tm.tm_min;
  p.second = tm.tm_sec;
  p.millisecond = static_cast<int>(ms.count());
  return FromParts(p);
}

}  // namespace q8::date
