// SQL Server datetime rules.
#include "drivers/sqlite/tsql/datetime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/civil_date.h"
#include "drivers/sqlite/tsql/tokenizer.h"

namespace q8::tsql::dt {
namespace {

constexpr int64_t kMsPerDay = 86400000;
const char* const kMonthAbbr[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kMonthFull[12] = {"january",   "february", "march",    "april",
                                    "may",       "june",     "july",     "august",
                                    "september", "october",  "november", "december"};

using civil::DaysFromCivil;
using civil::DaysInMonth;

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  const civil::Civil c = civil::CivilFromDays(z);
  y = static_cast<int>(c.year);
  m = c.month;
  d = c.day;
}

const int64_t kEpoch1900 = DaysFromCivil(1900, 1, 1);

bool InRange(const DateTime& v) { return v.year >= 1753 && v.year <= 9999; }

// Milliseconds rounded to SQL Server's ticks of 1/300 s.
int64_t RoundToTick(int64_t ms) {
  int64_t day = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  int64_t in_day = ms - day * kMsPerDay;
  int64_t ticks = (in_day * 3 + 5) / 10;  // nearest 1/300 s, half up
  int64_t rounded = (ticks * 10 + 1) / 3;
  return day * kMsPerDay + rounded;
}

int MonthFromName(std::string_view w) {
  if (w.size() < 3) return 0;
  for (int i = 0; i < 12; ++i) {
    std::string_view full = kMonthFull[i];
    if (w.size() > full.size()) continue;
    bool match = true;
    for (size_t k = 0; k < w.size() && match; ++k) match = LowerAscii(w[k]) == full[k];
    // Either the three-letter abbreviation or the whole name.
    if (match && (w.size() == 3 || w.size() == full.size())) return i + 1;
  }
  return 0;
}

// The text split into numbers, words and separators.
struct Item {
  enum Kind { kNum, kWord, kSep } kind;
  std::string_view text;
  char sep = 0;  // kSep: '-', '/', '.', ':', ',', ' ' (any blanks)
};

bool Scan(std::string_view s, Item* items, int& count) {
  count = 0;
  size_t i = 0;
  while (i < s.size()) {
    if (count >= 24) return false;
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t start = i;
    if (c >= '0' && c <= '9') {
      while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
      items[count++] = {Item::kNum, s.substr(start, i - start)};
    } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
      while (i < s.size() && ((s[i] | 0x20) >= 'a' && (s[i] | 0x20) <= 'z')) ++i;
      items[count++] = {Item::kWord, s.substr(start, i - start)};
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
      items[count++] = {Item::kSep, s.substr(start, i - start), ' '};
    } else if (c == '-' || c == '/' || c == '.' || c == ':' || c == ',') {
      ++i;
      items[count++] = {Item::kSep, s.substr(start, 1), static_cast<char>(c)};
    } else {
      return false;
    }
  }
  return true;
}

int ToInt(std::string_view digits) {
  int v = 0;
  for (char c : digits) {
    if (v > 100000000) return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

int FullYear(std::string_view digits) {
  int y = ToInt(digits);
  if (digits.size() <= 2) return y < 50 ? 2000 + y : 1900 + y;  // two-digit year cutoff 2049
  if (digits.size() == 4) return y;
  return -1;
}

bool IsSep(const Item& it, char c) { return it.kind == Item::kSep && it.sep == c; }

// Reads a time starting at items[i] (a number followed by ':' or AM/PM).
bool ParseTime(const Item* it, int n, int& i, DateTime& v) {
  if (i >= n || it[i].kind != Item::kNum || it[i].text.size() > 2) return false;
  int h = ToInt(it[i].text), mi = 0, sec = 0, ms = 0;
  ++i;
  if (i + 1 < n && IsSep(it[i], ':') && it[i + 1].kind == Item::kNum) {
    if (it[i + 1].text.size() > 2) return false;
    mi = ToInt(it[i + 1].text);
    i += 2;
    if (i + 1 < n && IsSep(it[i], ':') && it[i + 1].kind == Item::kNum) {
      if (it[i + 1].text.size() > 2) return false;
      sec = ToInt(it[i + 1].text);
      i += 2;
      if (i + 1 < n && (IsSep(it[i], '.') || IsSep(it[i], ':')) && it[i + 1].kind == Item::kNum) {
        std::string_view f = it[i + 1].text;
        if (f.size() > 3) return false;
        if (IsSep(it[i], '.')) {
          ms = ToInt(f) * (f.size() == 1 ? 100 : f.size() == 2 ? 10 : 1);
        } else {
          ms = ToInt(f);
        }
        i += 2;
      }
    }
  } else if (!(i < n && (it[i].kind == Item::kWord ||
                         (i + 1 < n && IsSep(it[i], ' ') && it[i + 1].kind == Item::kWord)))) {
    return false;  // a bare number is not a time
  }
  // AM / PM, directly or after blanks.
  int k = i;
  if (k < n && IsSep(it[k], ' ')) ++k;
  if (k < n && it[k].kind == Item::kWord) {
    std::string_view w = it[k].text;
    bool am = EqualsNoCase(w, "am"), pm = EqualsNoCase(w, "pm");
    if (am || pm) {
      if (h > 12) return false;
      if (am && h == 12) h = 0;
      if (pm && h != 12) h += 12;
      i = k + 1;
    }
  }
  if (h > 23 || mi > 59 || sec > 59) return false;
  v.hour = h;
  v.minute = mi;
  v.second = sec;
  v.millis = ms;
  return true;
}

bool SetDate(DateTime& v, int y, int m, int d) {
  if (y < 1753 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
  v.year = y;
  v.month = m;
  v.day = d;
  return true;
}

// Whether items[i] starts a time: a number followed by ':' or by AM/PM.
bool TimeStarts(const Item* it, int n, int i) {
  if (i >= n || it[i].kind != Item::kNum) return false;
  if (i + 1 < n && IsSep(it[i + 1], ':')) return true;
  int k = i + 1;
  if (k < n && IsSep(it[k], ' ')) ++k;
  return k < n && it[k].kind == Item::kWord &&
         (EqualsNoCase(it[k].text, "am") || EqualsNoCase(it[k].text, "pm"));
}

bool ParseDate(const Item* it, int n, int& i, DateTime& v, DateOrder order) {
  auto num = [&](int k) { return k < n && it[k].kind == Item::kNum; };
  auto word = [&](int k) { return k < n && it[k].kind == Item::kWord; };
  auto skip_blank = [&](int& k) {
    while (k < n && (IsSep(it[k], ' ') || IsSep(it[k], ','))) ++k;
  };
  if (num(i)) {
    std::string_view a = it[i].text;
    // Unseparated forms: yyyymmdd, yymmdd, yyyy.
    if (!(i + 1 < n && (IsSep(it[i + 1], '-') || IsSep(it[i + 1], '/') || IsSep(it[i + 1], '.')))) {
      if (a.size() == 8) {
        ++i;
        return SetDate(v, ToInt(a.substr(0, 4)), ToInt(a.substr(4, 2)), ToInt(a.substr(6, 2)));
      }
      if (a.size() == 6) {
        ++i;
        return SetDate(v, FullYear(a.substr(0, 2)), ToInt(a.substr(2, 2)), ToInt(a.substr(4, 2)));
      }
      if (a.size() == 4) {
        // "2024" alone, or "2024 Jan 5".
        ++i;
        int k = i;
        skip_blank(k);
        if (word(k) && MonthFromName(it[k].text) != 0) {
          int m = MonthFromName(it[k].text);
          ++k;
          skip_blank(k);
          int d = 1;
          if (num(k) && it[k].text.size() <= 2 && !TimeStarts(it, n, k)) d = ToInt(it[k++].text);
          i = k;
          return SetDate(v, ToInt(a), m, d);
        }
        return SetDate(v, ToInt(a), 1, 1);
      }
      if (a.size() <= 2) {
        // "5 Jan 2024" / "5 January, 2024".
        int k = i + 1;
        skip_blank(k);
        if (!word(k) || MonthFromName(it[k].text) == 0) return false;
        int m = MonthFromName(it[k].text);
        ++k;
        skip_blank(k);
        if (!num(k)) return false;
        int y = FullYear(it[k].text);
        i = k + 1;
        return SetDate(v, y, m, ToInt(a));
      }
      return false;
    }
    // Separated numeric forms a-b-c with one kind of separator.
    char sep = it[i + 1].sep;
    if (!num(i + 2)) return false;
    std::string_view b = it[i + 2].text;
    if (!(i + 3 < n && IsSep(it[i + 3], sep) && num(i + 4))) {
      // "yyyy-mm" and "mm/yyyy" are not dates SQL Server reads as such.
      return false;
    }
    std::string_view c = it[i + 4].text;
    i += 5;
    if (a.size() == 4) {
      if (b.size() > 2 || c.size() > 2) return false;
      return SetDate(v, ToInt(a), ToInt(b), ToInt(c));
    }
    if (a.size() > 2 || b.size() > 2 || (c.size() != 2 && c.size() != 4)) {
      if (!(order == DateOrder::kYmd && a.size() <= 2 && c.size() <= 2)) return false;
    }
    switch (order) {
      case DateOrder::kMdy:
        return SetDate(v, FullYear(c), ToInt(a), ToInt(b));
      case DateOrder::kDmy:
        return SetDate(v, FullYear(c), ToInt(b), ToInt(a));
      case DateOrder::kYmd:
        return SetDate(v, FullYear(a), ToInt(b), ToInt(c));
    }
    return false;
  }
  if (word(i)) {
    // "Jan 5 2024", "January 5, 2024", "Jan 2024".
    int m = MonthFromName(it[i].text);
    if (m == 0) return false;
    int k = i + 1;
    skip_blank(k);
    if (!num(k)) return false;
    if (it[k].text.size() == 4) {
      i = k + 1;
      return SetDate(v, ToInt(it[k].text), m, 1);
    }
    if (it[k].text.size() > 2) return false;
    int d = ToInt(it[k].text);
    ++k;
    skip_blank(k);
    if (!num(k)) return false;
    int y = FullYear(it[k].text);
    i = k + 1;
    return SetDate(v, y, m, d);
  }
  return false;
}

void Put2(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 10 % 10);
  p[1] = static_cast<char>('0' + v % 10);
}
void Put4(char* p, int v) {
  Put2(p, v / 100);
  Put2(p + 2, v % 100);
}

DateTime FromTm(const std::tm& tm, int ms) {
  DateTime v;
  v.year = tm.tm_year + 1900;
  v.month = tm.tm_mon + 1;
  v.day = tm.tm_mday;
  v.hour = tm.tm_hour;
  v.minute = tm.tm_min;
  v.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
  v.millis = 0;
  auto r = FromMillis(ToMillis(v) + ms);
  return r ? *r : v;
}

}  // namespace

std::optional<DateTime> Parse(std::string_view text, DateOrder order) {
  // Leading and trailing blanks do not count.
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t' || text[b] == '\r' || text[b] == '\n')) ++b;
  while (e > b &&
         (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r' || text[e - 1] == '\n'))
    --e;
  text = text.substr(b, e - b);
  DateTime v;
  if (text.empty()) return v;
  Item items[24];
  int n = 0;
  if (!Scan(text, items, n)) return std::nullopt;
  int i = 0;
  bool have_date = false, have_time = false;
  if (TimeStarts(items, n, 0)) {
    if (!ParseTime(items, n, i, v)) return std::nullopt;
    have_time = true;
    // A date may follow the time ("10:00 2024-01-05").
    if (i < n && IsSep(items[i], ' ')) ++i;
    if (i < n) {
      if (!ParseDate(items, n, i, v, order)) return std::nullopt;
      have_date = true;
    }
  } else {
    if (!ParseDate(items, n, i, v, order)) return std::nullopt;
    have_date = true;
    if (i < n) {
      // Date and time are separated by blanks, or by "T" in ISO 8601.
      if (IsSep(items[i], ' ')) {
        ++i;
      } else if (items[i].kind == Item::kWord && items[i].text.size() >= 1 &&
                 (items[i].text[0] == 'T' || items[i].text[0] == 't')) {
        // "T10" scans as one word only if letters follow; "T" then number.
        if (items[i].text.size() != 1) return std::nullopt;
        ++i;
      } else {
        return std::nullopt;
      }
      if (i < n) {
        if (!TimeStarts(items, n, i) || !ParseTime(items, n, i, v)) return std::nullopt;
        have_time = true;
      }
    }
  }
  if (i != n || (!have_date && !have_time)) return std::nullopt;
  if (!InRange(v)) return std::nullopt;
  // Milliseconds move to SQL Server's 1/300 s steps.
  if (v.millis != 0) {
    auto r = FromMillis(ToMillis(v));
    if (!r) return std::nullopt;
    v = *r;
  }
  return v;
}

size_t FormatTo(const DateTime& v, char* buf) {
  Put4(buf, v.year);
  buf[4] = '-';
  Put2(buf + 5, v.month);
  buf[7] = '-';
  Put2(buf + 8, v.day);
  buf[10] = ' ';
  Put2(buf + 11, v.hour);
  buf[13] = ':';
  Put2(buf + 14, v.minute);
  buf[16] = ':';
  Put2(buf + 17, v.second);
  if (v.millis == 0) return 19;
  buf[19] = '.';
  buf[20] = static_cast<char>('0' + v.millis / 100);
  Put2(buf + 21, v.millis % 100);
  return 23;
}

std::string Format(const DateTime& v) {
  char buf[24];
  return std::string(buf, FormatTo(v, buf));
}

int64_t ToMillis(const DateTime& v) {
  int64_t days = DaysFromCivil(v.year, v.month, v.day) - kEpoch1900;
  return days * kMsPerDay + ((v.hour * 60 + v.minute) * 60 + v.second) * 1000LL + v.millis;
}

std::optional<DateTime> FromMillis(int64_t ms) {
  // 1753-01-01 is day -53690 and 9999-12-31 day 2958463 from 1900-01-01.
  constexpr int64_t kMin = -53690LL * 86400000;
  constexpr int64_t kMax = 2958464LL * 86400000;
  if (ms < kMin - kMsPerDay || ms > kMax + kMsPerDay) return std::nullopt;
  ms = RoundToTick(ms);
  if (ms < kMin || ms >= kMax) return std::nullopt;
  int64_t days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  int64_t rest = ms - days * kMsPerDay;
  DateTime v;
  CivilFromDays(days + kEpoch1900, v.year, v.month, v.day);
  v.hour = static_cast<int>(rest / 3600000);
  v.minute = static_cast<int>(rest / 60000 % 60);
  v.second = static_cast<int>(rest / 1000 % 60);
  v.millis = static_cast<int>(rest % 1000);
  return v;
}

std::optional<DateTime> FromDays(double days) {
  if (!std::isfinite(days) || days < -60000 || days > 3000000) return std::nullopt;
  return FromMillis(std::llround(days * static_cast<double>(kMsPerDay)));
}

double ToDays(const DateTime& v) { return static_cast<double>(ToMillis(v)) / kMsPerDay; }

DateTime Now() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  int ms = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  return FromTm(tm, ms);
}

DateTime UtcNow() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  int ms = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  gmtime_r(&t, &tm);
  return FromTm(tm, ms);
}

Part ParsePart(std::string_view w) {
  struct Entry {
    const char* name;
    Part part;
  };
  static const Entry kParts[] = {
      {"year", Part::kYear},       {"yy", Part::kYear},
      {"yyyy", Part::kYear},       {"quarter", Part::kQuarter},
      {"qq", Part::kQuarter},      {"q", Part::kQuarter},
      {"month", Part::kMonth},     {"mm", Part::kMonth},
      {"m", Part::kMonth},         {"dayofyear", Part::kDayOfYear},
      {"dy", Part::kDayOfYear},    {"y", Part::kDayOfYear},
      {"day", Part::kDay},         {"dd", Part::kDay},
      {"d", Part::kDay},           {"week", Part::kWeek},
      {"wk", Part::kWeek},         {"ww", Part::kWeek},
      {"weekday", Part::kWeekday}, {"dw", Part::kWeekday},
      {"w", Part::kWeekday},       {"hour", Part::kHour},
      {"hh", Part::kHour},         {"minute", Part::kMinute},
      {"mi", Part::kMinute},       {"n", Part::kMinute},
      {"second", Part::kSecond},   {"ss", Part::kSecond},
      {"s", Part::kSecond},        {"millisecond", Part::kMillisecond},
      {"ms", Part::kMillisecond},
  };
  for (const auto& e : kParts) {
    if (EqualsNoCase(w, e.name)) return e.part;
  }
  return Part::kInvalid;
}

const char* PartName(Part p) {
  switch (p) {
    case Part::kYear:
      return "year";
    case Part::kQuarter:
      return "quarter";
    case Part::kMonth:
      return "month";
    case Part::kDayOfYear:
      return "dayofyear";
    case Part::kDay:
      return "day";
    case Part::kWeek:
      return "week";
    case Part::kWeekday:
      return "weekday";
    case Part::kHour:
      return "hour";
    case Part::kMinute:
      return "minute";
    case Part::kSecond:
      return "second";
    case Part::kMillisecond:
      return "millisecond";
    case Part::kInvalid:
      break;
  }
  return "";
}

std::optional<DateTime> DateAdd(Part part, int64_t n, const DateTime& v) {
  auto add_months = [&](int64_t months) -> std::optional<DateTime> {
    int64_t total = v.year * 12LL + (v.month - 1) + months;
    if (total < 1753 * 12LL || total > 9999 * 12LL + 11) return std::nullopt;
    DateTime r = v;
    r.year = static_cast<int>(total / 12);
    r.month = static_cast<int>(total % 12) + 1;
    if (r.day > DaysInMonth(r.year, r.month)) r.day = DaysInMonth(r.year, r.month);
    return r;
  };
  auto add_ms = [&](int64_t ms) -> std::optional<DateTime> {
    if (ms > 400000LL * kMsPerDay * 10 || ms < -400000LL * kMsPerDay * 10) return std::nullopt;
    return FromMillis(ToMillis(v) + ms);
  };
  if (n > 100000000000LL || n < -100000000000LL) return std::nullopt;
  switch (part) {
    case Part::kYear:
      return add_months(n * 12);
    case Part::kQuarter:
      return add_months(n * 3);
    case Part::kMonth:
      return add_months(n);
    case Part::kDayOfYear:
    case Part::kDay:
    case Part::kWeekday:
      return add_ms(n * kMsPerDay);
    case Part::kWeek:
      return add_ms(n * 7 * kMsPerDay);
    case Part::kHour:
      return add_ms(n * 3600000);
    case Part::kMinute:
      return add_ms(n * 60000);
    case Part::kSecond:
      return add_ms(n * 1000);
    case Part::kMillisecond:
      return add_ms(n);
    case Part::kInvalid:
      break;
  }
  return std::nullopt;
}

int64_t DateDiff(Part part, const DateTime& a, const DateTime& b) {
  auto day_number = [](const DateTime& v) { return DaysFromCivil(v.year, v.month, v.day); };
  auto floor_div = [](int64_t x, int64_t y) { return x >= 0 ? x / y : -((-x + y - 1) / y); };
  switch (part) {
    case Part::kYear:
      return b.year - a.year;
    case Part::kQuarter:
      return (b.year * 4LL + (b.month - 1) / 3) - (a.year * 4LL + (a.month - 1) / 3);
    case Part::kMonth:
      return (b.year * 12LL + b.month) - (a.year * 12LL + a.month);
    case Part::kDayOfYear:
    case Part::kDay:
    case Part::kWeekday:
      return day_number(b) - day_number(a);
    case Part::kWeek:
      // Weeks start on Sunday; 1970-01-04 was a Sunday.
      return floor_div(day_number(b) - 3, 7) - floor_div(day_number(a) - 3, 7);
    case Part::kHour:
      return (day_number(b) * 24 + b.hour) - (day_number(a) * 24 + a.hour);
    case Part::kMinute:
      return (day_number(b) * 1440 + b.hour * 60 + b.minute) -
             (day_number(a) * 1440 + a.hour * 60 + a.minute);
    case Part::kSecond:
      return floor_div(ToMillis(b), 1000) - floor_div(ToMillis(a), 1000);
    case Part::kMillisecond:
      return ToMillis(b) - ToMillis(a);
    case Part::kInvalid:
      break;
  }
  return 0;
}

int DatePart(Part part, const DateTime& v) {
  int64_t day = DaysFromCivil(v.year, v.month, v.day);
  int64_t jan1 = DaysFromCivil(v.year, 1, 1);
  // 1970-01-01 was a Thursday: weekday 5 with Sunday as 1.
  auto weekday = [](int64_t d) { return static_cast<int>(((d + 4) % 7 + 7) % 7) + 1; };
  switch (part) {
    case Part::kYear:
      return v.year;
    case Part::kQuarter:
      return (v.month - 1) / 3 + 1;
    case Part::kMonth:
      return v.month;
    case Part::kDayOfYear:
      return static_cast<int>(day - jan1) + 1;
    case Part::kDay:
      return v.day;
    case Part::kWeek:
      return static_cast<int>((day - jan1 + weekday(jan1) - 1) / 7) + 1;
    case Part::kWeekday:
      return weekday(day);
    case Part::kHour:
      return v.hour;
    case Part::kMinute:
      return v.minute;
    case Part::kSecond:
      return v.second;
    case Part::kMillisecond:
      return v.millis;
    case Part::kInvalid:
      break;
  }
  return 0;
}

std::string FormatStyle(const DateTime& v, int style) {
  char buf[40];
  int y4 = v.year, y2 = v.year % 100;
  bool century = style >= 100 || style == 20 || style == 21 || style == 23 || style == 25 ||
                 style == 126 || style == 127 || style == 0 || style == 9;
  int base = style >= 100 ? style - 100 : style;
  auto ampm = [&](bool with_seconds) {
    int h12 = v.hour % 12 == 0 ? 12 : v.hour % 12;
    if (with_seconds) {
      std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d:%02d:%03d%s", kMonthAbbr[v.month - 1],
                    v.day, y4, h12, v.minute, v.second, v.millis, v.hour < 12 ? "AM" : "PM");
    } else {
      std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", kMonthAbbr[v.month - 1], v.day, y4,
                    h12, v.minute, v.hour < 12 ? "AM" : "PM");
    }
    return std::string(buf);
  };
  auto ymd = [&](char sep, bool full) {
    if (full) {
      std::snprintf(buf, sizeof buf, "%04d%c%02d%c%02d", y4, sep, v.month, sep, v.day);
    } else {
      std::snprintf(buf, sizeof buf, "%02d%c%02d%c%02d", y2, sep, v.month, sep, v.day);
    }
    return std::string(buf);
  };
  switch (style) {
    case 20:
    case 120:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y4, v.month, v.day, v.hour,
                    v.minute, v.second);
      return buf;
    case 21:
    case 25:
    case 121:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y4, v.month, v.day,
                    v.hour, v.minute, v.second, v.millis);
      return buf;
    case 23:
      return ymd('-', true);
    case 126:
    case 127:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", y4, v.month, v.day, v.hour,
                    v.minute, v.second);
      if (v.millis != 0) return std::string(buf) + "." + std::to_string(1000 + v.millis).substr(1);
      return buf;
    case 9:
    case 109:
      return ampm(true);
    default:
      break;
  }
  const int yy = century ? y4 : y2;
  const char* yfmt = century ? "%04d" : "%02d";
  char year[8];
  std::snprintf(year, sizeof year, yfmt, yy);
  switch (base) {
    case 1:  // mm/dd/yy
      std::snprintf(buf, sizeof buf, "%02d/%02d/%s", v.month, v.day, year);
      return buf;
    case 2:
      return ymd('.', century);
    case 3:
      std::snprintf(buf, sizeof buf, "%02d/%02d/%s", v.day, v.month, year);
      return buf;
    case 4:
      std::snprintf(buf, sizeof buf, "%02d.%02d.%s", v.day, v.month, year);
      return buf;
    case 5:
      std::snprintf(buf, sizeof buf, "%02d-%02d-%s", v.day, v.month, year);
      return buf;
    case 8:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", v.hour, v.minute, v.second);
      return buf;
    case 10:
      std::snprintf(buf, sizeof buf, "%02d-%02d-%s", v.month, v.day, year);
      return buf;
    case 11:
      return ymd('/', century);
    case 12:
      std::snprintf(buf, sizeof buf, "%s%02d%02d", year, v.month, v.day);
      return buf;
    default:
      return ampm(false);
  }
}

DateOrder OrderForStyle(int style) {
  int base = style >= 100 ? style - 100 : style;
  switch (base) {
    case 3:
    case 4:
    case 5:
      return DateOrder::kDmy;
    case 2:
    case 11:
    case 12:
    case 20:
    case 21:
    case 23:
    case 25:
    case 26:
    case 27:
      return DateOrder::kYmd;
    default:
      return DateOrder::kMdy;
  }
}

}  // namespace q8::tsql::dt
