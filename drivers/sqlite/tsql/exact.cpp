// Exact decimals in SQLite values: reading any stored form at a scale, and
// the one stored form of each value.
#include "drivers/sqlite/tsql/exact.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "core/number_text.h"
#include "drivers/sqlite/tsql/function_support.h"
#include "drivers/sqlite/tsql/numeric.h"

namespace q8::tsql::exact {
namespace {

constexpr double kPow10d[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// 10^-i for i in 0..22 (nearest doubles).
constexpr double kNegPow10d[] = {1e-0,  1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                 1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15,
                                 1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};

// 10^i for i in 0..18.
constexpr auto kPow10i = [] {
  std::array<int64_t, 19> p{};
  p[0] = 1;
  for (size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}();

constexpr int64_t kMaxFifteen = 1000000000000000;  // 10^15

// ---- the double SQLite reads from a decimal text ----

// SQLite reads a decimal text as its digits s divided by 10^e, both in long
// double, the quotient rounded to a double. Newer releases round correctly
// instead. Which one the linked SQLite does is asked once, on texts where
// the two differ; should it do neither, each value is read by SQLite itself.
enum class DoubleMode { kLongDouble, kCorrect, kAskSqlite };

// 10^i for i in 0..22 in long double, each exact (5^22 needs 52 bits).
constexpr auto kPow10ld = [] {
  std::array<long double, 23> p{};
  p[0] = 1.0L;
  for (size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10.0L;
  return p;
}();

double LongDoubleQuotient(int64_t k, int t) {
  // Up to 10^22 the powers multiplied below are exact, so the table gives
  // the same divisor without the multiplications.
  if (t >= 0 && t <= 22) return static_cast<double>(static_cast<long double>(k) / kPow10ld[t]);
  long double scale = 1.0;
  int e = t;
  while (e % 22) {
    scale *= 1.0e+1;
    e -= 1;
  }
  while (e > 0) {
    scale *= 1.0e+22;
    e -= 22;
  }
  return static_cast<double>(static_cast<long double>(k) / scale);
}

std::string DigitsText(int64_t k, int t) { return Decimal(k, t).ToString(); }

double CorrectQuotient(int64_t k, int t) {
  if (t <= 22) return static_cast<double>(k) / kPow10d[t];  // both exact: one rounding
  return std::strtod(DigitsText(k, t).c_str(), nullptr);
}

// SQLite's own reading of a text, through CAST on a private connection.
class SqliteReader {
 public:
  double Read(const std::string& text) {
    sqlite3_stmt* stmt = cast_.stmt();
    if (stmt == nullptr) return std::strtod(text.c_str(), nullptr);
    sqlite3_bind_text(stmt, 1, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    const double r = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_double(stmt, 0)
                                                      : std::strtod(text.c_str(), nullptr);
    sqlite3_reset(stmt);
    return r;
  }

 private:
  fn::PrivateStatement cast_{"SELECT CAST(?1 AS REAL)"};
};

DoubleMode ProbeMode() {
  // Decimals whose correctly rounded double differs from the long double
  // quotient's.
  static constexpr struct {
    int64_t k;
    int t;
  } kProbes[] = {{47193711816, 7},  {491, 8},          {765993719212942, 9},
                 {51334755361, 12}, {92387350387, 14}, {2583, 15}};
  SqliteReader reader;
  bool long_double = true, correct = true;
  for (const auto& p : kProbes) {
    const double sqlite = reader.Read(DigitsText(p.k, p.t));
    long_double = long_double && sqlite == LongDoubleQuotient(p.k, p.t);
    correct = correct && sqlite == CorrectQuotient(p.k, p.t);
  }
  if (long_double) return DoubleMode::kLongDouble;
  if (correct) return DoubleMode::kCorrect;
  return DoubleMode::kAskSqlite;
}

DoubleMode Mode() {
  static const DoubleMode mode = ProbeMode();
  return mode;
}

// ---- reading ----

Read FromStatus(num::Status st) { return st == num::Status::kOk ? Read::kOk : Read::kOverflow; }

// The decimal k * 10^-t at `scale`, rounding half away from zero; |k| < 10^15.
Read Place(int64_t k, int t, int scale, Decimal* out) {
  if (t > scale) {
    const int drop = t - scale;
    if (drop > 15) {
      *out = Decimal(0, scale);
      return Read::kOk;
    }
    const int64_t unit = kPow10i[drop];
    const int64_t mag = k < 0 ? -k : k;
    int64_t q = mag / unit;
    const int64_t rem = mag % unit;
    if (rem >= unit - rem) ++q;
    *out = Decimal(k < 0 ? -q : q, scale);
    return Read::kOk;
  }
  const int up = scale - t;
  // |k| < 10^15: at most 15 + up digits.
  if (15 + up > 38 && (k < 0 ? -k : k) >= num::Pow10(38 - up)) return Read::kOverflow;
  *out = Decimal(static_cast<Int128>(k) * num::Pow10(up), scale);
  return Read::kOk;
}

// A number's text (digits past `scale` rounded away, half away from zero)
// at `scale`.
Read ParseAt(std::string_view text, int scale, Decimal* out) {
  Decimal d;
  switch (number_text::ParseDecimal(text, &d, scale)) {
    case number_text::ParseStatus::kOk:
      break;
    case number_text::ParseStatus::kOverflow:
      return Read::kOverflow;
    case number_text::ParseStatus::kNotNumber:
      return Read::kNotNumber;
  }
  return FromStatus(num::Rescale(d, num::Shape{38, scale}, num::Rounding::kHalfAwayFromZero, out));
}

// The slow reading of a REAL: its 15 significant digits by correct
// rounding of the binary value (or its whole part from 10^15 on).
Read FromRealText(double v, int scale, Decimal* out) {
  char buf[400];
  std::to_chars_result r;
  if (std::fabs(v) < 1e15) {
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
  } else {
    r = std::to_chars(buf, buf + sizeof buf, std::round(v), std::chars_format::fixed, 0);
  }
  return ParseAt(std::string_view(buf, static_cast<size_t>(r.ptr - buf)), scale, out);
}

// The decimal text of a TEXT or BLOB value: blanks, a sign, digits with at
// most one point, blanks; no exponent (SQL Server reads none into a decimal).
Read FromDigits(std::string_view s, int scale, Decimal* out) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  std::string_view body = s.substr(b, e - b);
  size_t i = 0;
  if (i < body.size() && (body[i] == '+' || body[i] == '-')) ++i;
  bool digit = false, point = false;
  for (; i < body.size(); ++i) {
    const char c = body[i];
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return Read::kNotNumber;
    }
  }
  if (!digit) return Read::kNotNumber;
  return ParseAt(body, scale, out);
}

}  // namespace

double SqliteDouble(int64_t k, int t) {
  switch (Mode()) {
    case DoubleMode::kLongDouble:
      return LongDoubleQuotient(k, t);
    case DoubleMode::kCorrect:
      return CorrectQuotient(k, t);
    case DoubleMode::kAskSqlite:
      break;
  }
  thread_local SqliteReader reader;
  return reader.Read(DigitsText(k, t));
}

Read FromReal(double v, int scale, Decimal* out) {
  if (!std::isfinite(v)) return Read::kOverflow;
  const double a = std::fabs(v);
  if (a == 0) {
    *out = Decimal(0, scale);
    return Read::kOk;
  }
  if (a >= 1e15) {
    if (a < 9.2e18) return Place(static_cast<int64_t>(std::round(v)), 0, scale, out);
    return FromRealText(v, scale, out);
  }
  // The decimal exponent from the binary one, corrected by one comparison:
  // 10^e10 <= a < 10^(e10 + 1). (Within a unit of the last place of a power
  // of ten it may be one off; the value is then that power itself, which
  // either exponent reads alike, or the check below sends it on.)
  const int e2 = static_cast<int>((std::bit_cast<uint64_t>(a) >> 52) & 0x7FF) - 1023;
  int e10 = static_cast<int>(std::floor(e2 * 0.30102999566398120));
  if (e10 >= -23 && e10 <= 13) {
    const double next = e10 + 1 >= 0 ? kPow10d[e10 + 1] : kNegPow10d[-(e10 + 1)];
    if (a >= next) ++e10;
  }
  const int t = 14 - e10;  // decimals that leave 15 significant digits
  if (t >= 0 && t <= 22) {
    // a * 10^t is below 10^15 and within 0.11 of the exact product; when it
    // lies near a whole number, that number is the correct rounding.
    const double y = a * kPow10d[t];
    const double whole = std::nearbyint(y);
    if (std::fabs(y - whole) < 0.3 && whole < 1e15) {
      const int64_t k = static_cast<int64_t>(whole);
      return Place(v < 0 ? -k : k, t, scale, out);
    }
  }
  return FromRealText(v, scale, out);
}

Read ReadDecimal(sqlite3_value* v, int scale, Decimal* out) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      return Read::kNull;
    case SQLITE_INTEGER: {
      const int64_t i = sqlite3_value_int64(v);
      if (scale > 18 && (i < 0 ? -static_cast<Int128>(i) : i) >= num::Pow10(38 - scale))
        return Read::kOverflow;
      *out = Decimal(static_cast<Int128>(i) * num::Pow10(scale), scale);
      return Read::kOk;
    }
    case SQLITE_FLOAT:
      return FromReal(sqlite3_value_double(v), scale, out);
    case SQLITE_BLOB: {
      const void* p = sqlite3_value_blob(v);
      const int n = sqlite3_value_bytes(v);
      return FromDigits(std::string_view(static_cast<const char*>(p), static_cast<size_t>(n)),
                        scale, out);
    }
    default: {
      const unsigned char* p = sqlite3_value_text(v);
      const int n = sqlite3_value_bytes(v);
      return FromDigits(std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(n)),
                        scale, out);
    }
  }
}

Stored Encode(const Decimal& v) {
  Stored s;
  Int128 m = v.mantissa();
  int t = v.scale();
  constexpr Int128 kMin64 = INT64_MIN, kMax64 = INT64_MAX;
  if (m < kMin64 || m > kMax64) {
    while (t > 0 && m % 10 == 0) {
      m /= 10;
      --t;
    }
    if (m < kMin64 || m > kMax64) {
      s.kind = Stored::kBlob;
      s.digits = Decimal(m, t).ToString();
      return s;
    }
  }
  int64_t k = static_cast<int64_t>(m);
  // Trailing zeros of the fraction off, eight, four, two at a time first: a
  // scale-10 value is usually most of them.
  while (t >= 8 && k % 100000000 == 0) {
    k /= 100000000;
    t -= 8;
  }
  if (t >= 4 && k % 10000 == 0) {
    k /= 10000;
    t -= 4;
  }
  if (t >= 2 && k % 100 == 0) {
    k /= 100;
    t -= 2;
  }
  while (t > 0 && k % 10 == 0) {
    k /= 10;
    --t;
  }
  if (t == 0) {
    s.kind = Stored::kInteger;
    s.integer = k;
  } else if (k > -kMaxFifteen && k < kMaxFifteen) {
    s.kind = Stored::kReal;
    s.real = SqliteDouble(k, t);
  } else {
    s.kind = Stored::kBlob;
    s.digits = Decimal(k, t).ToString();
  }
  return s;
}

void Result(sqlite3_context* ctx, const Decimal& v) {
  const Stored s = Encode(v);
  switch (s.kind) {
    case Stored::kInteger:
      sqlite3_result_int64(ctx, s.integer);
      return;
    case Stored::kReal:
      sqlite3_result_double(ctx, s.real);
      return;
    case Stored::kBlob:
      sqlite3_result_blob(ctx, s.digits.data(), static_cast<int>(s.digits.size()),
                          SQLITE_TRANSIENT);
      return;
  }
}

int Bind(sqlite3_stmt* stmt, int index, const Decimal& v) {
  const Stored s = Encode(v);
  switch (s.kind) {
    case Stored::kInteger:
      return sqlite3_bind_int64(stmt, index, s.integer);
    case Stored::kReal:
      return sqlite3_bind_double(stmt, index, s.real);
    case Stored::kBlob:
      break;
  }
  return sqlite3_bind_blob(stmt, index, s.digits.data(), static_cast<int>(s.digits.size()),
                           SQLITE_TRANSIENT);
}

}  // namespace q8::tsql::exact
