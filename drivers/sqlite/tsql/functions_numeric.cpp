// The integer and float SQLite functions of translated statements: integer
// range checks and conversions of text to numbers (with SQL Server's errors),
// division that fails on zero, ROUND, CEILING, FLOOR, SIGN, POWER and SQRT of
// floats and ints, and SQLite's round() computed quickly.
#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "drivers/sqlite/tsql/decimal_call.h"
#include "drivers/sqlite/tsql/exact.h"
#include "drivers/sqlite/tsql/function_support.h"
#include "drivers/sqlite/tsql/numeric.h"
#include "drivers/sqlite/tsql/translator.h"

namespace q8::tsql::fn {
namespace {

using num::Status;

// ---- integers ----

// The range of an integer type by its digits: tinyint (3), smallint (5),
// int (10), bigint (19).
bool IntRange(int digits, int64_t v) {
  switch (digits) {
    case 3:
      return v >= 0 && v <= 255;
    case 5:
      return v >= -32768 && v <= 32767;
    case 10:
      return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
    default:
      return true;
  }
}

const char* IntTypeName(int digits) {
  switch (digits) {
    case 3:
      return "tinyint";
    case 5:
      return "smallint";
    case 19:
      return "bigint";
    default:
      return "int";
  }
}

void IntOverflow(sqlite3_context* ctx, const char* what, int digits) {
  Error(ctx, std::string("Arithmetic overflow error converting ") + what + " to data type " +
                 IntTypeName(digits) + ".");
}

// An integer result, checked against its type's range.
void ResultInt(sqlite3_context* ctx, int64_t v, int digits) {
  if (!IntRange(digits, v)) return IntOverflow(ctx, "expression", digits);
  sqlite3_result_int64(ctx, v);
}

// tsql_int(x, digits): the value of an integer expression, checked against
// its type's range (SQLite computes in 64 bits and turns an overflow of
// those into a REAL).
void CheckInt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int digits = sqlite3_value_int(argv[1]);
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
      return;
    case SQLITE_INTEGER:
      return ResultInt(ctx, sqlite3_value_int64(argv[0]), digits);
    case SQLITE_FLOAT:
      return IntOverflow(ctx, "expression", digits);
    default:
      return sqlite3_result_value(ctx, argv[0]);
  }
}

// A text without the blanks around it, as conversions read it.
std::string_view WithoutBlanks(std::string_view t) {
  size_t b = 0, e = t.size();
  while (b < e && t[b] == ' ') ++b;
  while (e > b && t[e - 1] == ' ') --e;
  return t.substr(b, e - b);
}

// tsql_toint(x, digits, kind): CAST/CONVERT to an integer type, and a text
// converted for an integer comparison or operator. Numbers are truncated
// toward zero; a text must be a whole number (blanks and a sign allowed; an
// empty text is 0). `kind` is what x is declared as (DecimalCall::Kind), for
// the wording of the errors.
void ToInt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int digits = sqlite3_value_int(argv[1]);
  const int kind = sqlite3_value_int(argv[2]);
  const char* source = kind == DecimalCall::kFloat ? "float" : "numeric";
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
      return;
    case SQLITE_INTEGER:
      return ResultInt(ctx, sqlite3_value_int64(argv[0]), digits);
    case SQLITE_FLOAT: {
      const double d = std::trunc(sqlite3_value_double(argv[0]));
      if (!(std::fabs(d) < 9.2e18) || !IntRange(digits, static_cast<int64_t>(d)))
        return IntOverflow(ctx, source, digits);
      return sqlite3_result_int64(ctx, static_cast<int64_t>(d));
    }
    case SQLITE_BLOB: {
      Decimal v;
      int64_t i = 0;
      if (exact::ReadDecimal(argv[0], 38 - 20, &v) != exact::Read::kOk ||
          num::ToInteger(v, std::numeric_limits<int64_t>::min(),
                         std::numeric_limits<int64_t>::max(), &i) != Status::kOk ||
          !IntRange(digits, i))
        return IntOverflow(ctx, source, digits);
      return sqlite3_result_int64(ctx, i);
    }
    default:
      break;
  }
  const std::string_view t = TextOf(argv[0]);
  const std::string_view body = WithoutBlanks(t);
  if (body.empty()) return sqlite3_result_int64(ctx, 0);
  size_t i = body[0] == '+' || body[0] == '-' ? 1 : 0;
  bool digit = false, ok = i < body.size();
  Int128 v = 0;
  for (; i < body.size() && ok; ++i) {
    if (body[i] < '0' || body[i] > '9') {
      ok = false;
    } else {
      digit = true;
      if (v < static_cast<Int128>(1) << 70) v = v * 10 + (body[i] - '0');
    }
  }
  const std::string text_type = DecimalCall::TextTypeName(kind);
  if (!ok || !digit) {
    return Error(ctx, "Conversion failed when converting the " + text_type + " value '" +
                          std::string(t) + "' to data type " + IntTypeName(digits) + ".");
  }
  if (body[0] == '-') v = -v;
  if (v < std::numeric_limits<int64_t>::min() || v > std::numeric_limits<int64_t>::max() ||
      !IntRange(digits, static_cast<int64_t>(v))) {
    // SQL Server names the short types by their storage: INT1, INT2.
    const std::string column = digits <= 3 ? "an INT1 column. Use a larger integer column."
                               : digits <= 5
                                   ? "an INT2 column. Use a larger integer column."
                                   : "an " + std::string(IntTypeName(digits)) + " column.";
    return Error(ctx, "The conversion of the " + text_type + " value '" + std::string(t) +
                          "' overflowed " + column);
  }
  sqlite3_result_int64(ctx, static_cast<int64_t>(v));
}

// tsql_tobit(x, kind): x as a bit. A number is 1 unless it is 0; a text is
// 'TRUE' or 'FALSE' (any case) or a whole number, blanks around it allowed.
// `kind` is what x is declared as (DecimalCall::Kind), for the error.
void ToBit(sqlite3_context* ctx, int, sqlite3_value** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
      return;
    case SQLITE_INTEGER:
      return sqlite3_result_int(ctx, sqlite3_value_int64(argv[0]) != 0);
    case SQLITE_FLOAT:
      return sqlite3_result_int(ctx, sqlite3_value_double(argv[0]) != 0.0);
    default:
      break;
  }
  const int kind = sqlite3_value_int(argv[1]);
  const std::string_view t = TextOf(argv[0]);
  if (kind == DecimalCall::kExact) {
    // A decimal stored as its digits.
    return sqlite3_result_int(ctx, t.find_first_of("123456789") != std::string_view::npos);
  }
  const std::string_view body = WithoutBlanks(t);
  const auto is = [&](std::string_view word) {
    if (body.size() != word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
      if ((body[i] | 0x20) != word[i]) return false;
    return true;
  };
  if (is("true")) return sqlite3_result_int(ctx, 1);
  if (is("false")) return sqlite3_result_int(ctx, 0);
  size_t i = !body.empty() && (body[0] == '+' || body[0] == '-') ? 1 : 0;
  bool digit = false, nonzero = false;
  for (; i < body.size(); ++i) {
    if (body[i] < '0' || body[i] > '9') break;
    digit = true;
    nonzero = nonzero || body[i] != '0';
  }
  if (body.empty()) return sqlite3_result_int(ctx, 0);
  if (i != body.size() || !digit) {
    return Error(ctx, std::string("Conversion failed when converting the ") +
                          DecimalCall::TextTypeName(kind) + " value '" + std::string(t) +
                          "' to data type bit.");
  }
  sqlite3_result_int(ctx, nonzero);
}

// tsql_tofloat(x[, kind]): a text converted to float: a number in any
// notation, blanks around it (an empty text is 0). `kind` is what x is
// declared as (DecimalCall::Kind), for the wording of the error.
void ToFloat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
      return;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      return sqlite3_result_double(ctx, sqlite3_value_double(argv[0]));
    default:
      break;
  }
  std::string t(TextOf(argv[0]));
  const size_t b = t.find_first_not_of(' ');
  if (b == std::string::npos) return sqlite3_result_double(ctx, 0);
  const size_t e = t.find_last_not_of(' ');
  const std::string body = t.substr(b, e - b + 1);
  char* end = nullptr;
  const double d = std::strtod(body.c_str(), &end);
  const bool hex = body.find_first_of("xXpPnN") != std::string::npos;  // no hex, inf or nan
  if (end != body.c_str() + body.size() || hex || !std::isfinite(d))
    return Error(ctx, std::string("Error converting data type ") +
                          DecimalCall::TextTypeName(argc > 1 ? sqlite3_value_int(argv[1]) : 0) +
                          " to float.");
  sqlite3_result_double(ctx, d);
}

// tsql_numtext(x, size, code): a number converted to a text type of `size`
// characters. code = 2 * source + national, source 0 an integer (x its
// value), 1 a decimal (x its text), 2 a float (x its value, written as SQL
// Server writes a float: at most 6 significant digits, a three-digit
// exponent when it needs one). A text longer than `size` is '*' for an
// integer into varchar, else error 8115.
void NumberToText(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  const int64_t size = sqlite3_value_int64(argv[1]);
  const int code = sqlite3_value_int(argv[2]);
  const int source = code / 2;
  const bool national = code % 2 != 0;
  std::string text;
  if (source == 2) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.6g", sqlite3_value_double(argv[0]));
    text = buf;
    // C writes at least two exponent digits, SQL Server three.
    const size_t e = text.find('e');
    if (e != std::string::npos && e + 2 < text.size()) {
      const std::string digits = text.substr(e + 2);
      if (digits.size() < 3)
        text = text.substr(0, e + 2) + std::string(3 - digits.size(), '0') + digits;
    }
  } else if (source == 0 && sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    text = std::to_string(sqlite3_value_int64(argv[0]));
  } else {
    text = std::string(TextOf(argv[0]));
  }
  if (size > 0 && static_cast<int64_t>(text.size()) > size) {
    if (source == 0 && !national) return sqlite3_result_text(ctx, "*", 1, SQLITE_STATIC);
    const char* from = source == 0 ? "expression" : source == 1 ? "numeric" : "float";
    return Error(ctx, std::string("Arithmetic overflow error converting ") + from +
                          " to data type " + (national ? "nvarchar." : "varchar."));
  }
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// ---- floats and integers ----

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
// Statements that pass through untranslated may call round(x, n) many times
// over. SQLite's round() prints the value as text with n
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
  void Call(sqlite3_context* ctx, sqlite3_value* x, sqlite3_value* n) {
    sqlite3_stmt* stmt = round_.stmt();
    if (stmt == nullptr) return sqlite3_result_error_nomem(ctx);
    sqlite3_bind_value(stmt, 1, x);
    sqlite3_bind_value(stmt, 2, n);
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      sqlite3_result_value(ctx, sqlite3_column_value(stmt, 0));
    } else {
      sqlite3_result_error_nomem(ctx);
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
  }

 private:
  PrivateStatement round_{"SELECT round(?1, ?2)"};
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

// POWER of a float (or an int): a result past the range of a float, or
// none at all, is an error, never Infinity or NULL.
void Power(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  const double r = std::pow(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]));
  if (std::isnan(r)) return Error(ctx, "An invalid floating point operation occurred.");
  if (std::isinf(r))
    return Error(ctx, "Arithmetic overflow error converting expression to data type float.");
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && std::fabs(r) < 9.2e18) {
    // POWER of an int is an int: the whole part of the result.
    return sqlite3_result_int64(ctx, static_cast<int64_t>(r));
  }
  sqlite3_result_double(ctx, r);
}

void Sqrt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(1, argv)) return;
  double x = sqlite3_value_double(argv[0]);
  if (x < 0) return Error(ctx, "An invalid floating point operation occurred.");
  sqlite3_result_double(ctx, std::sqrt(x));
}

}  // namespace

int RegisterNumericFunctions(sqlite3* db) {
  static constexpr Scalar kScalars[] = {
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
      {"tsql_int", 2, true, CheckInt},
      {"tsql_toint", 3, true, ToInt},
      {"tsql_tobit", 2, true, ToBit},
      {"tsql_tofloat", 1, true, ToFloat},
      {"tsql_tofloat", 2, true, ToFloat},
      {"tsql_numtext", 3, true, NumberToText},
  };
  return RegisterScalars(db, kScalars);
}

}  // namespace q8::tsql::fn
