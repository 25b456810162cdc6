// The SQLite functions and the collation that translated statements call:
// the datetime functions here, the others in functions_decimal.cpp,
// functions_numeric.cpp and functions_text.cpp.
//
// Every datetime these functions return is canonical text; every datetime
// they read may be canonical text or any form SQL Server reads. Errors carry
// SQL Server's wording, which the executor maps to SQL Server's numbers.
#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "drivers/sqlite/tsql/collation.h"
#include "drivers/sqlite/tsql/datetime.h"
#include "drivers/sqlite/tsql/function_support.h"
#include "drivers/sqlite/tsql/translator.h"

namespace q8::tsql {
namespace {

using fn::AnyNull;
using fn::Error;
using fn::TextOf;

constexpr std::string_view kArithOverflow = kArithmeticOverflow;

void ResultDateTime(sqlite3_context* ctx, const dt::DateTime& v) {
  char buf[24];
  size_t n = dt::FormatTo(v, buf);
  sqlite3_result_text(ctx, buf, static_cast<int>(n), SQLITE_TRANSIENT);
}

// A value as a datetime: text by SQL Server's rules; an integer (a date
// such as 20240131 that NUMERIC affinity stored as a number) by its digits;
// a real as days since 1900-01-01.
std::optional<dt::DateTime> ValueToDateTime(sqlite3_value* v, dt::DateOrder order) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
    case SQLITE_TEXT:
      return dt::Parse(TextOf(v), order);
    case SQLITE_FLOAT: {
      double d = sqlite3_value_double(v);
      if (d == std::floor(d) && std::fabs(d) < 1e15) {
        char digits[24];
        int n = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(d));
        return dt::Parse(std::string_view(digits, static_cast<size_t>(n)), order);
      }
      return dt::FromDays(d);
    }
    default:
      return std::nullopt;
  }
}

// Reads argument `i` as a datetime, or reports the conversion error.
bool ArgDateTime(sqlite3_context* ctx, sqlite3_value* v, dt::DateTime* out) {
  auto d = ValueToDateTime(v, dt::DateOrder::kMdy);
  if (!d) {
    Error(ctx, kDateConversion);
    return false;
  }
  *out = *d;
  return true;
}

dt::Part ArgPart(sqlite3_value* v) { return dt::ParsePart(TextOf(v)); }

// ---- datetime ----

void GetDate(sqlite3_context* ctx, int, sqlite3_value**) { ResultDateTime(ctx, dt::Now()); }
void GetUtcDate(sqlite3_context* ctx, int, sqlite3_value**) { ResultDateTime(ctx, dt::UtcNow()); }

// tsql_datetime(x [, style]): CONVERT(datetime, x [, style]).
void ToDateTime(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  dt::DateOrder order = dt::DateOrder::kMdy;
  if (argc > 1 && sqlite3_value_type(argv[1]) != SQLITE_NULL) {
    order = dt::OrderForStyle(sqlite3_value_int(argv[1]));
  }
  auto d = ValueToDateTime(argv[0], order);
  if (!d) return Error(ctx, kDateConversion);
  ResultDateTime(ctx, *d);
}

// tsql_datetime_num(n): a number of days since 1900-01-01 as a datetime.
void NumToDateTime(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  auto d = dt::FromDays(sqlite3_value_double(argv[0]));
  if (!d) return Error(ctx, kArithOverflow);
  ResultDateTime(ctx, *d);
}

void IsDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL || type == SQLITE_BLOB) return sqlite3_result_int(ctx, 0);
  std::string_view text = TextOf(argv[0]);
  // ISDATE('') is 0, although CONVERT reads '' as 1900-01-01.
  bool blank = text.find_first_not_of(' ') == std::string_view::npos;
  sqlite3_result_int(ctx, !blank && dt::Parse(text).has_value() ? 1 : 0);
}

void DateOnly(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  dt::DateTime v;
  if (!ArgDateTime(ctx, argv[0], &v)) return;
  v.hour = v.minute = v.second = v.millis = 0;
  ResultDateTime(ctx, v);
}

// tsql_adddays(datetime, n): datetime + n, n in days (fractions are times).
void AddDays(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  dt::DateTime v;
  if (!ArgDateTime(ctx, argv[0], &v)) return;
  double days = sqlite3_value_double(argv[1]);
  if (!std::isfinite(days) || std::fabs(days) > 4e6) return Error(ctx, kArithOverflow);
  auto r = dt::FromMillis(dt::ToMillis(v) + std::llround(days * 86400000.0));
  if (!r) return Error(ctx, kArithOverflow);
  ResultDateTime(ctx, *r);
}

// tsql_dtplus(a, b, sign): a + b or a - b for two datetimes, b counted from
// 1900-01-01 as SQL Server does.
void DateTimePlus(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(3, argv)) return;
  dt::DateTime a, b;
  if (!ArgDateTime(ctx, argv[0], &a) || !ArgDateTime(ctx, argv[1], &b)) return;
  int64_t sign = sqlite3_value_int(argv[2]) < 0 ? -1 : 1;
  auto r = dt::FromMillis(dt::ToMillis(a) + sign * dt::ToMillis(b));
  if (!r) return Error(ctx, kArithOverflow);
  ResultDateTime(ctx, *r);
}

void DateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(3, argv)) return;
  dt::Part part = ArgPart(argv[0]);
  dt::DateTime v;
  if (!ArgDateTime(ctx, argv[2], &v)) return;
  // The number is truncated to an integer, as DATEADD does.
  double n = sqlite3_value_double(argv[1]);
  if (!std::isfinite(n) || std::fabs(n) > 1e12) return Error(ctx, kDateOverflow);
  auto r = dt::DateAdd(part, static_cast<int64_t>(std::trunc(n)), v);
  if (!r) return Error(ctx, kDateOverflow);
  ResultDateTime(ctx, *r);
}

void DateDiff(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(3, argv)) return;
  dt::DateTime a, b;
  if (!ArgDateTime(ctx, argv[1], &a) || !ArgDateTime(ctx, argv[2], &b)) return;
  sqlite3_result_int64(ctx, dt::DateDiff(ArgPart(argv[0]), a, b));
}

void DatePart(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  dt::DateTime v;
  if (!ArgDateTime(ctx, argv[1], &v)) return;
  sqlite3_result_int(ctx, dt::DatePart(ArgPart(argv[0]), v));
}

// tsql_dt2str(datetime, style): CONVERT(varchar, datetime, style).
void DateTimeToString(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  dt::DateTime v;
  if (!ArgDateTime(ctx, argv[0], &v)) return;
  std::string s = dt::FormatStyle(v, sqlite3_value_int(argv[1]));
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

int CollateCi(void*, int na, const void* a, int nb, const void* b) {
  return CompareCi(std::string_view(static_cast<const char*>(a), static_cast<size_t>(na)),
                   std::string_view(static_cast<const char*>(b), static_cast<size_t>(nb)));
}

constexpr fn::Scalar kDateTimeFunctions[] = {
    {"tsql_getdate", 0, false, GetDate},           {"tsql_getutcdate", 0, false, GetUtcDate},
    {"tsql_datetime", 1, true, ToDateTime},        {"tsql_datetime", 2, true, ToDateTime},
    {"tsql_datetime_num", 1, true, NumToDateTime}, {"tsql_isdate", 1, true, IsDate},
    {"tsql_dateonly", 1, true, DateOnly},          {"tsql_adddays", 2, true, AddDays},
    {"tsql_dtplus", 3, true, DateTimePlus},        {"tsql_dateadd", 3, true, DateAdd},
    {"tsql_datediff", 3, true, DateDiff},          {"tsql_datepart", 2, true, DatePart},
    {"tsql_dt2str", 2, true, DateTimeToString},
};

}  // namespace

int RegisterFunctions(sqlite3* db) {
  int rc = fn::RegisterScalars(db, kDateTimeFunctions);
  if (rc == SQLITE_OK) rc = fn::RegisterDecimalFunctions(db);
  if (rc == SQLITE_OK) rc = fn::RegisterNumericFunctions(db);
  if (rc == SQLITE_OK) rc = fn::RegisterTextFunctions(db);
  if (rc != SQLITE_OK) return rc;
  const std::string name(kCollation);
  return sqlite3_create_collation_v2(db, name.c_str(), SQLITE_UTF8, nullptr, CollateCi, nullptr);
}

}  // namespace q8::tsql
