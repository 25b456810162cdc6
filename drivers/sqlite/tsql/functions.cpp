// The SQLite functions and the collation that translated statements call.
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
#include "drivers/sqlite/tsql/translator.h"

namespace q8::tsql {
namespace {

constexpr const char* kDateOverflow = "Adding a value to a 'datetime' column caused an overflow.";
constexpr const char* kArithOverflow =
    "Arithmetic overflow error converting expression to data type datetime.";

void Error(sqlite3_context* ctx, std::string_view msg) {
  sqlite3_result_error(ctx, msg.data(), static_cast<int>(msg.size()));
}

void ResultDateTime(sqlite3_context* ctx, const dt::DateTime& v) {
  char buf[24];
  size_t n = dt::FormatTo(v, buf);
  sqlite3_result_text(ctx, buf, static_cast<int>(n), SQLITE_TRANSIENT);
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

std::string_view TextOf(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p == nullptr ? std::string_view()
                      : std::string_view(reinterpret_cast<const char*>(p),
                                         static_cast<size_t>(sqlite3_value_bytes(v)));
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

// tsql_dec2str(x, scale): a decimal as text with all its decimals.
void DecimalToString(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  int scale = sqlite3_value_int(argv[1]);
  if (scale < 0 || scale > 38) scale = 0;
  char buf[80];
  int n = std::snprintf(buf, sizeof buf, "%.*f", scale, sqlite3_value_double(argv[0]));
  if (n < 0 || n >= static_cast<int>(sizeof buf))
    return Error(ctx, "Arithmetic overflow error converting numeric to data type varchar.");
  sqlite3_result_text(ctx, buf, n, SQLITE_TRANSIENT);
}

// ---- arithmetic ----

bool IsZero(sqlite3_value* v) {
  return sqlite3_value_type(v) == SQLITE_INTEGER ? sqlite3_value_int64(v) == 0
                                                 : sqlite3_value_double(v) == 0.0;
}

// tsql_div(a, b): a / b as a real quotient; b = 0 is SQL Server's error 8134.
void Divide(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  if (IsZero(argv[1])) return Error(ctx, kDivideByZero);
  sqlite3_result_double(ctx, sqlite3_value_double(argv[0]) / sqlite3_value_double(argv[1]));
}

// tsql_idiv(a, b): int / int, truncated toward zero.
void IntDivide(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  if (IsZero(argv[1])) return Error(ctx, kDivideByZero);
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER &&
      sqlite3_value_type(argv[1]) == SQLITE_INTEGER) {
    int64_t a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
    if (a == std::numeric_limits<int64_t>::min() && b == -1) {
      return Error(ctx, "Arithmetic overflow error converting expression to data type int.");
    }
    sqlite3_result_int64(ctx, a / b);
    return;
  }
  double q = std::trunc(sqlite3_value_double(argv[0]) / sqlite3_value_double(argv[1]));
  if (std::fabs(q) < 9.2e18) {
    sqlite3_result_int64(ctx, static_cast<int64_t>(q));
  } else {
    sqlite3_result_double(ctx, q);
  }
}

void Modulo(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  if (IsZero(argv[1])) return Error(ctx, kDivideByZero);
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER &&
      sqlite3_value_type(argv[1]) == SQLITE_INTEGER) {
    int64_t a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
    sqlite3_result_int64(ctx, b == -1 ? 0 : a % b);
    return;
  }
  sqlite3_result_double(ctx,
                        std::fmod(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1])));
}

// tsql_round(x, n [, truncate]): ROUND, also with negative n.
void Round(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return;
  int n = argc > 1 ? sqlite3_value_int(argv[1]) : 0;
  bool truncate = argc > 2 && sqlite3_value_int(argv[2]) != 0;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && n >= 0) {
    sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
    return;
  }
  double x = sqlite3_value_double(argv[0]);
  if (n > 15) n = 15;
  if (n < -15) n = -15;
  double f = std::pow(10.0, n);
  double r;
  if (truncate) {
    r = std::trunc(x * f) / f;
  } else if (n >= 0) {
    // As SQLite's round(): decimal text with n places, read back.
    char* s = sqlite3_mprintf("%!.*f", n, x);
    r = s != nullptr ? std::strtod(s, nullptr) : x;
    sqlite3_free(s);
  } else {
    r = std::round(x * f) / f;
  }
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && std::fabs(r) < 9.2e18) {
    sqlite3_result_int64(ctx, static_cast<int64_t>(r));
  } else {
    sqlite3_result_double(ctx, r);
  }
}

// round(x, n), two arguments: SQLite's own result, computed here when that
// can be done exactly.
//
// The translator rounds every decimal product, quotient and sum to its scale
// with round(x, n). SQLite's round() prints the value as text with n
// decimals (adding half a unit of the last place, in long double) and reads
// the text back; that costs about half a microsecond a call. For n up to 22
// and |x| * 10^n below 10^14 the printed digits are those of
// k = x * 10^n rounded half away from zero, unless the fraction of x * 10^n
// lies so near one half that SQLite's own arithmetic (which nudges the value
// up by 3e-16 of itself, and works to 64 bits) could decide otherwise. Away
// from that band, k is computed here and read back the way SQLite reads the
// text: trailing zeros dropped, k divided by the remaining power of ten in
// long double, the quotient stored as a double. n = 0 is SQLite's direct
// formula. Every other call goes to SQLite's own round() on a private
// in-memory connection of the calling thread, so the result is SQLite's in
// every case; the round test checks the two against each other.
bool QuickRound(double x, int n, double* out) {
  if (n <= 0) {
    if (!(std::fabs(x) <= 4503599627370496.0)) return false;
    *out = static_cast<double>(static_cast<int64_t>(x + (x < 0 ? -0.5 : 0.5)));
    return true;
  }
  static constexpr long double kPow[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,
                                         1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L,
                                         1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L, 1e22L};
  if (n > 22 || !(std::fabs(x) < 1e14)) return false;
  const long double y = std::fabs(static_cast<long double>(x)) * kPow[n];
  if (!(y < 1e14L)) return false;
  const long double whole = std::floor(y);
  const long double fraction = y - whole;
  if (std::fabs(fraction - 0.5L) <= y * 1e-15L + 1e-9L) return false;
  uint64_t k = static_cast<uint64_t>(whole) + (fraction > 0.5L ? 1 : 0);
  if (k == 0) {
    *out = x < 0 ? -0.0 : 0.0;
    return true;
  }
  int e = n;
  while (e > 0 && k % 10 == 0) {
    k /= 10;
    --e;
  }
  const double r =
      e == 0 ? static_cast<double>(k) : static_cast<double>(static_cast<long double>(k) / kPow[e]);
  *out = x < 0 ? -r : r;
  return true;
}

// SQLite's round(x, n), through a statement on a connection where round() is
// the built-in one.
class BuiltinRound {
 public:
  BuiltinRound() {
    if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) ==
        SQLITE_OK) {
      sqlite3_prepare_v2(db_, "SELECT round(?1, ?2)", -1, &stmt_, nullptr);
    }
  }
  ~BuiltinRound() {
    sqlite3_finalize(stmt_);
    sqlite3_close(db_);
  }
  BuiltinRound(const BuiltinRound&) = delete;
  BuiltinRound& operator=(const BuiltinRound&) = delete;

  void Call(sqlite3_context* ctx, sqlite3_value* x, sqlite3_value* n) {
    if (stmt_ == nullptr) return sqlite3_result_error_nomem(ctx);
    sqlite3_bind_value(stmt_, 1, x);
    sqlite3_bind_value(stmt_, 2, n);
    if (sqlite3_step(stmt_) == SQLITE_ROW) {
      sqlite3_result_value(ctx, sqlite3_column_value(stmt_, 0));
    } else {
      sqlite3_result_error_nomem(ctx);
    }
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

void RoundTo(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  const double x = sqlite3_value_double(argv[0]);
  double r;
  if (QuickRound(x, sqlite3_value_int(argv[1]), &r)) {
    sqlite3_result_double(ctx, r);
    return;
  }
  thread_local BuiltinRound builtin;
  builtin.Call(ctx, argv[0], argv[1]);
}

double Ceil(double x) { return std::ceil(x); }
double Floor(double x) { return std::floor(x); }

template <double (*F)(double)>
void MathKeepInt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) return;
  if (type == SQLITE_INTEGER) return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
  sqlite3_result_double(ctx, F(sqlite3_value_double(argv[0])));
}

void Sign(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) return;
  double x = sqlite3_value_double(argv[0]);
  int s = x > 0 ? 1 : x < 0 ? -1 : 0;
  if (type == SQLITE_INTEGER) {
    sqlite3_result_int(ctx, s);
  } else {
    sqlite3_result_double(ctx, s);
  }
}

void Power(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  sqlite3_result_double(ctx,
                        std::pow(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1])));
}

void Sqrt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(1, argv)) return;
  double x = sqlite3_value_double(argv[0]);
  if (x < 0) return Error(ctx, "An invalid floating point operation occurred.");
  sqlite3_result_double(ctx, std::sqrt(x));
}

// ---- text ----

size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The byte offset of character `k` (0-based) in s.
size_t Utf8Offset(std::string_view s, size_t k) {
  size_t i = 0;
  while (i < s.size() && k > 0) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    --k;
  }
  return i;
}

void Right(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  std::string_view s = TextOf(argv[0]);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return Error(ctx, "Invalid length parameter passed to the right function.");
  size_t len = Utf8Length(s);
  size_t skip = static_cast<uint64_t>(n) >= len ? 0 : len - static_cast<size_t>(n);
  std::string_view r = s.substr(Utf8Offset(s, skip));
  sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

void Space(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(1, argv)) return;
  int64_t n = sqlite3_value_int64(argv[0]);
  if (n < 0) return;  // SPACE of a negative count is NULL
  if (n > 8000) n = 8000;
  std::string s(static_cast<size_t>(n), ' ');
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void Replicate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  std::string_view s = TextOf(argv[0]);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return;
  std::string r;
  for (int64_t i = 0; i < n && r.size() + s.size() <= 8000; ++i) r.append(s);
  sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

void Reverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(1, argv)) return;
  std::string_view s = TextOf(argv[0]);
  std::string r;
  r.reserve(s.size());
  size_t end = s.size();
  while (end > 0) {
    size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
    r.append(s.substr(start, end - start));
    end = start;
  }
  sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

void IsNumeric(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return sqlite3_result_int(ctx, 1);
  if (type != SQLITE_TEXT) return sqlite3_result_int(ctx, 0);
  std::string s(TextOf(argv[0]));
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return sqlite3_result_int(ctx, 0);
  char* end = nullptr;
  std::strtod(s.c_str() + b, &end);
  while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
  sqlite3_result_int(ctx, end != nullptr && end != s.c_str() + b && *end == 0 ? 1 : 0);
}

// tsql_text2int(x, digits, unicode): CAST / CONVERT of text to tinyint (3
// digits), smallint (5), int (10) or bigint (19) as SQL Server converts it:
// blanks around the number and a sign are allowed and an empty text is 0;
// anything else fails with 245, and a number beyond the type with 248 (244
// for tinyint and smallint, 8115 for bigint); SQLite's own CAST would give 0
// or the leading digits.
void TextToInt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (type == SQLITE_INTEGER) return sqlite3_result_value(ctx, argv[0]);
  if (type == SQLITE_FLOAT)
    return sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(sqlite3_value_double(argv[0])));
  const std::string text(TextOf(argv[0]));
  const int digits = sqlite3_value_int(argv[1]);
  const char* type_name = digits <= 3    ? "tinyint"
                          : digits <= 5  ? "smallint"
                          : digits <= 10 ? "int"
                                         : "bigint";
  const std::string value_kind = sqlite3_value_int(argv[2]) ? "nvarchar" : "varchar";
  size_t b = text.find_first_not_of(" \t");
  size_t e = text.find_last_not_of(" \t");
  if (b == std::string::npos) return sqlite3_result_int(ctx, 0);
  std::string_view n(text.data() + b, e - b + 1);
  bool negative = false;
  if (n.front() == '+' || n.front() == '-') {
    negative = n.front() == '-';
    n.remove_prefix(1);
  }
  const bool well_formed =
      !n.empty() && n.find_first_not_of("0123456789") == std::string_view::npos;
  if (!well_formed) {
    return Error(ctx, std::string(kTextConversion) + value_kind + " value '" + text +
                          "' to data type " + type_name + ".");
  }
  const int64_t low = digits <= 3 ? 0 : digits <= 5 ? -32768 : digits <= 10 ? INT32_MIN : INT64_MIN;
  const uint64_t high = digits <= 3    ? 255
                        : digits <= 5  ? 32767
                        : digits <= 10 ? INT32_MAX
                                       : INT64_MAX;
  uint64_t magnitude = 0;
  bool overflow = false;
  for (char c : n) {
    const uint64_t d = static_cast<uint64_t>(c - '0');
    if (magnitude > (UINT64_MAX - d) / 10) {
      overflow = true;
      break;
    }
    magnitude = magnitude * 10 + d;
  }
  const uint64_t limit = negative ? static_cast<uint64_t>(-(low + 1)) + 1 : high;
  if (overflow || magnitude > limit) {
    // SQL Server's 248 for int, 244 for the short types, 8115 for bigint.
    if (digits > 10)
      return Error(ctx, "Arithmetic overflow error converting expression to data type bigint.");
    const std::string column = digits <= 3   ? "an INT1 column. Use a larger integer column."
                               : digits <= 5 ? "an INT2 column. Use a larger integer column."
                                             : "an int column.";
    return Error(ctx, "The conversion of the " + value_kind + " value '" + text +
                          std::string(kTextOverflow) + column);
  }
  sqlite3_result_int64(ctx, negative ? static_cast<sqlite3_int64>(0 - magnitude)
                                     : static_cast<sqlite3_int64>(magnitude));
}

int CollateCi(void*, int na, const void* a, int nb, const void* b) {
  return CompareCi(std::string_view(static_cast<const char*>(a), static_cast<size_t>(na)),
                   std::string_view(static_cast<const char*>(b), static_cast<size_t>(nb)));
}

struct FunctionDef {
  const char* name;
  int args;
  bool deterministic;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

const FunctionDef kFunctions[] = {
    {"tsql_getdate", 0, false, GetDate},
    {"tsql_getutcdate", 0, false, GetUtcDate},
    {"tsql_datetime", 1, true, ToDateTime},
    {"tsql_datetime", 2, true, ToDateTime},
    {"tsql_datetime_num", 1, true, NumToDateTime},
    {"tsql_isdate", 1, true, IsDate},
    {"tsql_dateonly", 1, true, DateOnly},
    {"tsql_adddays", 2, true, AddDays},
    {"tsql_dtplus", 3, true, DateTimePlus},
    {"tsql_dateadd", 3, true, DateAdd},
    {"tsql_datediff", 3, true, DateDiff},
    {"tsql_datepart", 2, true, DatePart},
    {"tsql_dt2str", 2, true, DateTimeToString},
    {"tsql_dec2str", 2, true, DecimalToString},
    {"tsql_div", 2, true, Divide},
    {"tsql_idiv", 2, true, IntDivide},
    {"tsql_mod", 2, true, Modulo},
    {"tsql_round", 2, true, Round},
    {"tsql_round", 3, true, Round},
    {"round", 2, true, RoundTo},
    {"tsql_ceiling", 1, true, MathKeepInt<Ceil>},
    {"tsql_floor", 1, true, MathKeepInt<Floor>},
    {"tsql_sign", 1, true, Sign},
    {"tsql_power", 2, true, Power},
    {"tsql_sqrt", 1, true, Sqrt},
    {"tsql_right", 2, true, Right},
    {"tsql_space", 1, true, Space},
    {"tsql_replicate", 2, true, Replicate},
    {"tsql_reverse", 1, true, Reverse},
    {"tsql_isnumeric", 1, true, IsNumeric},
    {"tsql_text2int", 3, true, TextToInt},
};

}  // namespace

int RegisterFunctions(sqlite3* db) {
  for (const FunctionDef& f : kFunctions) {
    int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    int rc = sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr,
                                        nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  std::string name(kCollation);
  return sqlite3_create_collation_v2(db, name.c_str(), SQLITE_UTF8, nullptr, CollateCi, nullptr);
}

}  // namespace q8::tsql
