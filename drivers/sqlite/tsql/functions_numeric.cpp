// The numeric SQLite functions of translated statements: exact decimal
// arithmetic, aggregates and conversions (the tsql_d… functions, which read
// the types they work with from their last argument, see decimal_call.h),
// integer range checks, and the float and integer functions.
//
// Every decimal they return is in its stored form (exact.h). Errors carry
// SQL Server's words; the executor maps them to SQL Server's numbers.
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <string>

#include "core/wide_int.h"
#include "drivers/sqlite/tsql/decimal_call.h"
#include "drivers/sqlite/tsql/exact.h"
#include "drivers/sqlite/tsql/function_support.h"
#include "drivers/sqlite/tsql/numeric.h"
#include "drivers/sqlite/tsql/translator.h"

namespace q8::tsql::fn {
namespace {

using num::Shape;
using num::Status;

constexpr std::string_view kNumericOverflow =
    "Arithmetic overflow error converting expression to data type numeric.";
constexpr std::string_view kStoreOverflow =
    "Arithmetic overflow error converting numeric to data type numeric.";
constexpr std::string_view kTextToNumeric = "Error converting data type varchar to numeric.";

// ---- decimals ----

// A float as a decimal: its shortest text rounded at `scale`; false beyond
// 38 digits.
bool FloatToDecimal(double d, int scale, Decimal* out) {
  if (!std::isfinite(d) || std::fabs(d) >= 1e38) return false;
  try {
    *out = Decimal::FromDouble(d, scale);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The call in argument `meta`; false, with the error set, when it is not one
// the translator writes (a statement may call the functions by hand).
bool CallOf(sqlite3_context* ctx, sqlite3_value* meta, DecimalCall* c) {
  *c = DecimalCall::Decode(sqlite3_value_int64(meta));
  if (c->Valid()) return true;
  Error(ctx, "Invalid last argument of a decimal function.");
  return false;
}

enum class Got { kValue, kNull, kError };

// Reads argument `v` at `scale`, or sets the error of a value that is not
// one.
Got ReadArg(sqlite3_context* ctx, sqlite3_value* v, int scale, Decimal* out) {
  switch (exact::ReadDecimal(v, scale, out)) {
    case exact::Read::kOk:
      return Got::kValue;
    case exact::Read::kNull:
      return Got::kNull;
    case exact::Read::kNotNumber:
      Error(ctx, kTextToNumeric);
      return Got::kError;
    case exact::Read::kOverflow:
      Error(ctx, kNumericOverflow);
      return Got::kError;
  }
  return Got::kError;
}

// Reads argument `v` at `scale`; false (with the error set, or NULL as the
// result) when there is no value to compute with.
bool Arg(sqlite3_context* ctx, sqlite3_value* v, int scale, Decimal* out) {
  return ReadArg(ctx, v, scale, out) == Got::kValue;
}

// Sets the result: `v`, stored into the column of the call's post type
// when it has one; or the error of a failed operation.
void Finish(sqlite3_context* ctx, Status st, const Decimal& v, const DecimalCall& c) {
  switch (st) {
    case Status::kOk:
      break;
    case Status::kOverflow:
      return Error(ctx, kNumericOverflow);
    case Status::kDivideByZero:
      return Error(ctx, kDivideByZero);
  }
  if (c.post_precision == 0) return exact::Result(ctx, v);
  Decimal stored;
  if (num::Rescale(v, Shape{c.post_precision, c.post_scale}, num::Rounding::kHalfAwayFromZero,
                   &stored) != Status::kOk)
    return Error(ctx, kStoreOverflow);
  exact::Result(ctx, stored);
}

template <Status (*Op)(const Decimal&, const Decimal&, Shape, Decimal*)>
void Binary(sqlite3_context* ctx, int, sqlite3_value** argv) {
  DecimalCall c;
  if (!CallOf(ctx, argv[2], &c)) return;
  Decimal a, b, r;
  if (!Arg(ctx, argv[0], c.scale_a, &a) || !Arg(ctx, argv[1], c.scale_b, &b)) return;
  Finish(ctx, Op(a, b, Shape{c.precision, c.scale}, &r), r, c);
}

Status Negate(const Decimal& a, Shape to, Decimal* out) {
  return num::Rescale(Decimal(-a.mantissa(), a.scale()), to, num::Rounding::kHalfAwayFromZero, out);
}
Status Absolute(const Decimal& a, Shape to, Decimal* out) {
  return num::Rescale(a.IsNegative() ? Decimal(-a.mantissa(), a.scale()) : a, to,
                      num::Rounding::kHalfAwayFromZero, out);
}
Status SignOf(const Decimal& a, Shape to, Decimal* out) {
  return num::Rescale(Decimal(a.IsZero()       ? 0
                              : a.IsNegative() ? -1
                                               : 1,
                              0),
                      to, num::Rounding::kHalfAwayFromZero, out);
}

template <Status (*Op)(const Decimal&, Shape, Decimal*)>
void Unary(sqlite3_context* ctx, int, sqlite3_value** argv) {
  DecimalCall c;
  if (!CallOf(ctx, argv[1], &c)) return;
  Decimal a, r;
  if (!Arg(ctx, argv[0], c.scale_a, &a)) return;
  Finish(ctx, Op(a, Shape{c.precision, c.scale}, &r), r, c);
}

// tsql_dround(x, places [, truncate], call): ROUND of a decimal, of x's type.
void RoundDecimal(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  DecimalCall c;
  if (!CallOf(ctx, argv[argc - 1], &c)) return;
  if (AnyNull(argc - 1, argv)) return;
  Decimal a, r;
  if (!Arg(ctx, argv[0], c.scale_a, &a)) return;
  const int64_t places = sqlite3_value_int64(argv[1]);
  const bool truncate = argc == 4 && sqlite3_value_int64(argv[2]) != 0;
  const int n = places < -40 ? -40 : places > 40 ? 40 : static_cast<int>(places);
  Finish(ctx,
         num::Round(a, n, truncate ? num::Rounding::kTruncate : num::Rounding::kHalfAwayFromZero,
                    Shape{c.precision, c.scale}, &r),
         r, c);
}

// tsql_dcast(x, call): CAST/CONVERT to decimal(precision, scale) and the
// storing of a value into a decimal column: an exact value rounded, a float
// through its shortest text, a text through its digits.
void CastDecimal(sqlite3_context* ctx, int, sqlite3_value** argv) {
  DecimalCall c;
  if (!CallOf(ctx, argv[1], &c)) return;
  const int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) return;
  const Shape to{c.precision, c.scale};
  Decimal v, r;
  if (c.kind == DecimalCall::kFloat && type == SQLITE_FLOAT) {
    const double d = sqlite3_value_double(argv[0]);
    if (!std::isfinite(d) || std::fabs(d) >= 1e38)
      return Error(ctx, "Arithmetic overflow error converting float to data type numeric.");
    if (!FloatToDecimal(d, c.scale, &v))
      return Error(ctx, "Arithmetic overflow error converting float to data type numeric.");
  } else {
    // A text is read straight at the target's scale: one rounding.
    switch (exact::ReadDecimal(argv[0], c.kind == DecimalCall::kExact ? c.scale_a : c.scale, &v)) {
      case exact::Read::kOk:
        break;
      case exact::Read::kNull:
        return;
      case exact::Read::kNotNumber:
        return Error(ctx, type == SQLITE_BLOB ? kTextToNumeric
                                              : std::string_view("Error converting data type "
                                                                 "varchar to numeric."));
      case exact::Read::kOverflow:
        return Error(ctx, c.kind == DecimalCall::kText
                              ? "Arithmetic overflow error converting varchar to data type numeric."
                              : kStoreOverflow);
    }
  }
  if (num::Rescale(v, to, num::Rounding::kHalfAwayFromZero, &r) != Status::kOk) {
    return Error(ctx, c.kind == DecimalCall::kText
                          ? "Arithmetic overflow error converting varchar to data type numeric."
                      : c.kind == DecimalCall::kFloat
                          ? "Arithmetic overflow error converting float to data type numeric."
                          : kStoreOverflow);
  }
  exact::Result(ctx, r);
}

// tsql_dcmp(a, b, call): <0, 0 or >0.
void CompareDecimals(sqlite3_context* ctx, int, sqlite3_value** argv) {
  DecimalCall c;
  if (!CallOf(ctx, argv[2], &c)) return;
  Decimal a, b;
  if (!Arg(ctx, argv[0], c.scale_a, &a) || !Arg(ctx, argv[1], c.scale_b, &b)) return;
  sqlite3_result_int(ctx, num::Compare(a, b));
}

// tsql_dkey(x, call): a BLOB whose bytes sort as the value: x * 10^38 as a
// 256-bit two's complement number, its sign bit flipped, big end first.
void SortKey(sqlite3_context* ctx, int, sqlite3_value** argv) {
  DecimalCall c;
  if (!CallOf(ctx, argv[1], &c)) return;
  Decimal a;
  if (!Arg(ctx, argv[0], c.scale_a, &a)) return;
  // |x| < 10^38 at scale s <= 38: x * 10^38 = m * 10^(38 - s) < 10^76.
  const bool negative = a.IsNegative();
  const UInt128 m =
      negative ? -static_cast<UInt128>(a.mantissa()) : static_cast<UInt128>(a.mantissa());
  U256 v = U256::Mul(m, static_cast<UInt128>(num::Pow10(38 - a.scale())));
  if (negative) v.Negate();
  v.limb[3] ^= uint64_t{1} << 63;
  unsigned char key[32];
  for (int i = 0; i < 4; ++i) {
    for (int b = 0; b < 8; ++b)
      key[i * 8 + b] = static_cast<unsigned char>(v.limb[3 - i] >> (56 - 8 * b));
  }
  sqlite3_result_blob(ctx, key, sizeof key, SQLITE_TRANSIENT);
}

// tsql_dec2str(x, scale): a decimal as text with every digit of its scale
// (CAST(decimal AS varchar)).
void DecimalToString(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int scale = sqlite3_value_int(argv[1]);
  if (scale < 0 || scale > 38) scale = 0;
  Decimal a;
  if (!Arg(ctx, argv[0], scale, &a)) return;
  const std::string s = a.ToString();
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// tsql_dpower(x, y, call): POWER of a decimal, a decimal(38, s): computed in
// floating point, as SQL Server does, and brought back to the scale; a
// result past 38 digits (or past the range of a float) is an overflow.
void PowerDecimal(sqlite3_context* ctx, int, sqlite3_value** argv) {
  DecimalCall c;
  if (!CallOf(ctx, argv[2], &c)) return;
  if (AnyNull(2, argv)) return;
  Decimal a;
  if (!Arg(ctx, argv[0], c.scale_a, &a)) return;
  const double r = std::pow(a.ToDouble(), sqlite3_value_double(argv[1]));
  if (std::isnan(r)) return Error(ctx, "An invalid floating point operation occurred.");
  if (!std::isfinite(r) || std::fabs(r) >= 1e38)
    return Error(ctx, "Arithmetic overflow error converting float to data type numeric.");
  Decimal v, out;
  if (!FloatToDecimal(r, c.scale, &v))
    return Error(ctx, "Arithmetic overflow error converting float to data type numeric.");
  Finish(ctx, num::Rescale(v, Shape{c.precision, c.scale}, num::Rounding::kHalfAwayFromZero, &out),
         out, c);
}

// ---- decimal aggregates ----

// The aggregates take one argument, so that DISTINCT works with them; the
// argument's scale is in the name (tsql_dsum_10) and comes as the
// function's user data.
int AggregateScale(sqlite3_context* ctx) {
  return static_cast<int>(reinterpret_cast<intptr_t>(sqlite3_user_data(ctx)));
}

// A 128-bit integer in an aggregate's state, which SQLite aligns to 8 bytes
// only (a plain Int128 member wants 16).
class Packed128 {
 public:
  Int128 get() const {
    Int128 v;
    std::memcpy(&v, bytes_, sizeof v);
    return v;
  }
  void set(Int128 v) { std::memcpy(bytes_, &v, sizeof v); }

 private:
  unsigned char bytes_[16];
};

// SUM and AVG keep an exact running total at the argument's scale. Each
// value added is below 10^38 and the total is checked against 10^38 after
// every step, so its 128 bits never wrap.
struct SumState {
  Packed128 total;
  int64_t count;
  bool failed;
};

constexpr Int128 kTenTo38 =
    static_cast<Int128>(10000000000000000000ULL) * static_cast<Int128>(10000000000000000000ULL);

// Reads a step's argument; false when there is nothing to add (NULL) or on
// an error, which is reported once.
bool StepValue(sqlite3_context* ctx, sqlite3_value* arg, bool* failed, Decimal* v) {
  const Got got = ReadArg(ctx, arg, AggregateScale(ctx), v);
  *failed = got == Got::kError;
  return got == Got::kValue;
}

void SumStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* st = static_cast<SumState*>(sqlite3_aggregate_context(ctx, sizeof(SumState)));
  if (st == nullptr) return sqlite3_result_error_nomem(ctx);
  Decimal v;
  if (st->failed || !StepValue(ctx, argv[0], &st->failed, &v)) return;
  const Int128 total = st->total.get() + v.mantissa();
  st->total.set(total);
  ++st->count;
  if (total >= kTenTo38 || total <= -kTenTo38) {
    st->failed = true;
    Error(ctx, kNumericOverflow);
  }
}

// A row leaving the frame of a window.
void SumInverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* st = static_cast<SumState*>(sqlite3_aggregate_context(ctx, sizeof(SumState)));
  Decimal v;
  if (st == nullptr || st->failed ||
      exact::ReadDecimal(argv[0], AggregateScale(ctx), &v) != exact::Read::kOk)
    return;
  st->total.set(st->total.get() - v.mantissa());
  --st->count;
}

void SumValue(sqlite3_context* ctx) {
  auto* st = static_cast<SumState*>(sqlite3_aggregate_context(ctx, 0));
  if (st == nullptr || st->count == 0 || st->failed) return;
  exact::Result(ctx, Decimal(st->total.get(), AggregateScale(ctx)));
}

// AVG: the total divided by the count, truncated at the result's scale
// (the argument's, at least 6).
void AvgValue(sqlite3_context* ctx) {
  auto* st = static_cast<SumState*>(sqlite3_aggregate_context(ctx, 0));
  if (st == nullptr || st->count == 0 || st->failed) return;
  const int scale = AggregateScale(ctx);
  Decimal r;
  if (num::Div(Decimal(st->total.get(), scale), Decimal(st->count, 0),
               Shape{38, std::max(scale, 6)}, &r) != Status::kOk)
    return Error(ctx, kNumericOverflow);
  exact::Result(ctx, r);
}

// MIN and MAX of decimals compare the values, not SQLite's storage classes
// (a BLOB would sort after every number).
struct ExtremeState {
  Packed128 best;
  bool any;
  bool failed;
};

template <bool kMax>
void ExtremeStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* st = static_cast<ExtremeState*>(sqlite3_aggregate_context(ctx, sizeof(ExtremeState)));
  if (st == nullptr) return sqlite3_result_error_nomem(ctx);
  Decimal v;
  if (st->failed || !StepValue(ctx, argv[0], &st->failed, &v)) return;
  if (!st->any || (kMax ? v.mantissa() > st->best.get() : v.mantissa() < st->best.get()))
    st->best.set(v.mantissa());
  st->any = true;
}

void ExtremeFinal(sqlite3_context* ctx) {
  auto* st = static_cast<ExtremeState*>(sqlite3_aggregate_context(ctx, 0));
  if (st == nullptr || !st->any || st->failed) return;
  exact::Result(ctx, Decimal(st->best.get(), AggregateScale(ctx)));
}

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

// tsql_toint(x, digits, kind): CAST/CONVERT to an integer type, and a text
// converted for an integer comparison or operator. Numbers are truncated
// toward zero; a text must be a whole number (blanks and a sign allowed; an
// empty text is 0).
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
  size_t b = 0, e = t.size();
  while (b < e && t[b] == ' ') ++b;
  while (e > b && t[e - 1] == ' ') --e;
  const std::string_view body = t.substr(b, e - b);
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
  if (!ok || !digit) {
    return Error(ctx, "Conversion failed when converting the varchar value '" + std::string(t) +
                          "' to data type " + IntTypeName(digits) + ".");
  }
  if (body[0] == '-') v = -v;
  if (v < std::numeric_limits<int64_t>::min() || v > std::numeric_limits<int64_t>::max() ||
      !IntRange(digits, static_cast<int64_t>(v))) {
    return Error(ctx, "The conversion of the varchar value '" + std::string(t) + "' overflowed " +
                          (digits == 10 ? "an " : "a ") + IntTypeName(digits) + " column.");
  }
  sqlite3_result_int64(ctx, static_cast<int64_t>(v));
}

// tsql_tofloat(x): a text converted to float: a number in any notation,
// blanks around it (an empty text is 0).
void ToFloat(sqlite3_context* ctx, int, sqlite3_value** argv) {
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
    return Error(ctx, "Error converting data type varchar to float.");
  sqlite3_result_double(ctx, d);
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
      {"tsql_dadd", 3, true, Binary<num::Add>},
      {"tsql_dsub", 3, true, Binary<num::Sub>},
      {"tsql_dmul", 3, true, Binary<num::Mul>},
      {"tsql_ddiv", 3, true, Binary<num::Div>},
      {"tsql_dmod", 3, true, Binary<num::Mod>},
      {"tsql_dneg", 2, true, Unary<Negate>},
      {"tsql_dabs", 2, true, Unary<Absolute>},
      {"tsql_dsign", 2, true, Unary<SignOf>},
      {"tsql_dceiling", 2, true, Unary<num::Ceiling>},
      {"tsql_dfloor", 2, true, Unary<num::Floor>},
      {"tsql_dround", 3, true, RoundDecimal},
      {"tsql_dround", 4, true, RoundDecimal},
      {"tsql_dpower", 3, true, PowerDecimal},
      {"tsql_dcast", 2, true, CastDecimal},
      {"tsql_dcmp", 3, true, CompareDecimals},
      {"tsql_dkey", 2, true, SortKey},
      {"tsql_dec2str", 2, true, DecimalToString},
      {"tsql_int", 2, true, CheckInt},
      {"tsql_toint", 3, true, ToInt},
      {"tsql_tofloat", 1, true, ToFloat},
  };
  int rc = RegisterScalars(db, kScalars);
  if (rc != SQLITE_OK) return rc;
  // SUM and AVG also serve as window functions; MIN and MAX only as
  // aggregates (the translator leaves a windowed MIN/MAX to SQLite).
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  for (int scale = 0; scale <= 38 && rc == SQLITE_OK; ++scale) {
    void* app = reinterpret_cast<void*>(static_cast<intptr_t>(scale));
    const std::string suffix = "_" + std::to_string(scale);
    rc = sqlite3_create_window_function(db, ("tsql_dsum" + suffix).c_str(), 1, flags, app, SumStep,
                                        SumValue, SumValue, SumInverse, nullptr);
    if (rc == SQLITE_OK)
      rc = sqlite3_create_window_function(db, ("tsql_davg" + suffix).c_str(), 1, flags, app,
                                          SumStep, AvgValue, AvgValue, SumInverse, nullptr);
    if (rc == SQLITE_OK)
      rc = sqlite3_create_function_v2(db, ("tsql_dmin" + suffix).c_str(), 1, flags, app, nullptr,
                                      ExtremeStep<false>, ExtremeFinal, nullptr);
    if (rc == SQLITE_OK)
      rc = sqlite3_create_function_v2(db, ("tsql_dmax" + suffix).c_str(), 1, flags, app, nullptr,
                                      ExtremeStep<true>, ExtremeFinal, nullptr);
  }
  return rc;
}

}  // namespace q8::tsql::fn
