// SQL Server's datetime: reading text with its rules, the canonical text
// form of the embedded database, arithmetic and the CONVERT styles.
//
// The database keeps a datetime as text "YYYY-MM-DD HH:MM:SS", with ".fff"
// only when the milliseconds are not zero. Values move in steps of 1/300 s
// between 1753-01-01 and 9999-12-31, as SQL Server's datetime does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace q8::tsql::dt {

struct DateTime {
  int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0, millis = 0;
};

// How the parts of "a/b/c" are read when the first part is not a 4-digit
// year (SET DATEFORMAT; us_english reads mdy).
enum class DateOrder { kMdy, kDmy, kYmd };

// Reads `text` as SQL Server converts a string to datetime: "yyyymmdd",
// "yyyy-mm-dd", "yyyy/mm/dd", "yyyy.mm.dd", "mm/dd/yyyy" (by `order`), a bare
// 4-digit year, month names ("Jan 1 2024", "1 January 2024"), ISO
// "yyyy-mm-ddThh:mi:ss", each with an optional time "hh:mi[:ss[.fff]]" and
// AM/PM; a time alone is on 1900-01-01, and "" (or blanks) is 1900-01-01.
// nullopt when the text is not a valid datetime (SQL Server's error 241).
std::optional<DateTime> Parse(std::string_view text, DateOrder order = DateOrder::kMdy);

// The canonical text form; writes at most 23 characters to `buf` and returns
// the length.
size_t FormatTo(const DateTime& v, char* buf);
std::string Format(const DateTime& v);

// Milliseconds since 1900-01-01 00:00:00 (negative before).
int64_t ToMillis(const DateTime& v);
// The datetime at `ms` since 1900-01-01, rounded to SQL Server's 1/300 s;
// nullopt outside 1753-01-01 … 9999-12-31 23:59:59.997.
std::optional<DateTime> FromMillis(int64_t ms);
// `days` (with a fraction for the time of day) after 1900-01-01, as SQL
// Server converts a number to datetime.
std::optional<DateTime> FromDays(double days);
double ToDays(const DateTime& v);

// The current local time, in steps of 1/300 s.
DateTime Now();
DateTime UtcNow();

enum class Part {
  kInvalid,
  kYear,
  kQuarter,
  kMonth,
  kDayOfYear,
  kDay,
  kWeek,
  kWeekday,
  kHour,
  kMinute,
  kSecond,
  kMillisecond,
};
// DATEADD/DATEDIFF/DATEPART part names and their abbreviations
// ("day", "dd", "d", "month", "mm", "m", "yyyy", "yy" …), any case.
Part ParsePart(std::string_view name);
// The part name as written into translated SQL ("day", "month" …).
const char* PartName(Part p);

// DATEADD; nullopt when the result leaves the datetime range.
std::optional<DateTime> DateAdd(Part part, int64_t n, const DateTime& v);
// DATEDIFF: the number of `part` boundaries crossed from a to b.
int64_t DateDiff(Part part, const DateTime& a, const DateTime& b);
// DATEPART (us_english: weeks start on Sunday, weekday 1 is Sunday).
int DatePart(Part part, const DateTime& v);

// CONVERT(varchar, datetime, style): 0/100 "Mon dd yyyy hh:miAM", 101
// "mm/dd/yyyy", 102 "yyyy.mm.dd", 103 "dd/mm/yyyy", 104 "dd.mm.yyyy", 105
// "dd-mm-yyyy", 108 "hh:mi:ss", 110 "mm-dd-yyyy", 111 "yyyy/mm/dd", 112
// "yyyymmdd", 120 "yyyy-mm-dd hh:mi:ss", 121 "yyyy-mm-dd hh:mi:ss.mmm", 23
// "yyyy-mm-dd", 126 "yyyy-mm-ddThh:mi:ss[.mmm]", 9/109 with seconds and
// milliseconds; the styles below 100 give two-digit years. Other styles read
// as 0.
std::string FormatStyle(const DateTime& v, int style);
// The date order CONVERT(datetime, text, style) reads with.
DateOrder OrderForStyle(int style);

}  // namespace q8::tsql::dt
