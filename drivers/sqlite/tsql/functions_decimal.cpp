// The decimal SQLite functions of translated statements: exact arithmetic,
// rounding, conversions, comparisons, sort keys and aggregates (the tsql_d…
// functions). The scalar ones read the types they work with from their last
// argument (decimal_call.h); the aggregates from their name (tsql_dsum_10).
//
// Every decimal they return is in its stored form (exact.h). Errors carry
// SQL Server's words; the executor maps them to SQL Server's numbers.
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
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

// A text too large for the numeric type it converts to.
std::string TextOverflow(const DecimalCall& c) {
  return std::string("Arithmetic overflow error converting ") + c.TextTypeName() +
         " to data type numeric.";
}

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
  // The last argument is a constant of the statement: the few a statement
  // has are decoded once per thread, not once per row.
  struct Slot {
    bool filled = false;
    int64_t code = 0;
    DecimalCall call;
  };
  thread_local Slot slots[64];
  const int64_t code = sqlite3_value_int64(meta);
  Slot& slot = slots[static_cast<uint64_t>(code ^ (code >> 13) ^ (code >> 29)) % 64];
  if (!slot.filled || slot.code != code) {
    slot.call = DecimalCall::Decode(code);
    slot.code = code;
    slot.filled = true;
  }
  *c = slot.call;
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
        return Error(ctx, type == SQLITE_BLOB ? std::string(kTextToNumeric)
                                              : std::string("Error converting data type ") +
                                                    c.TextTypeName() + " to numeric.");
      case exact::Read::kOverflow:
        return Error(ctx, c.FromText() ? TextOverflow(c) : std::string(kStoreOverflow));
    }
  }
  if (num::Rescale(v, to, num::Rounding::kHalfAwayFromZero, &r) != Status::kOk) {
    return Error(ctx, c.FromText() ? TextOverflow(c)
                      : c.kind == DecimalCall::kFloat
                          ? std::string("Arithmetic overflow error converting "
                                        "float to data type numeric.")
                          : std::string(kStoreOverflow));
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

}  // namespace

int RegisterDecimalFunctions(sqlite3* db) {
  static constexpr Scalar kScalars[] = {
      {"tsql_dadd", 3, true, Binary<num::Add>},        {"tsql_dsub", 3, true, Binary<num::Sub>},
      {"tsql_dmul", 3, true, Binary<num::Mul>},        {"tsql_ddiv", 3, true, Binary<num::Div>},
      {"tsql_dmod", 3, true, Binary<num::Mod>},        {"tsql_dneg", 2, true, Unary<Negate>},
      {"tsql_dabs", 2, true, Unary<Absolute>},         {"tsql_dsign", 2, true, Unary<SignOf>},
      {"tsql_dceiling", 2, true, Unary<num::Ceiling>}, {"tsql_dfloor", 2, true, Unary<num::Floor>},
      {"tsql_dround", 3, true, RoundDecimal},          {"tsql_dround", 4, true, RoundDecimal},
      {"tsql_dpower", 3, true, PowerDecimal},          {"tsql_dcast", 2, true, CastDecimal},
      {"tsql_dcmp", 3, true, CompareDecimals},         {"tsql_dkey", 2, true, SortKey},
      {"tsql_dec2str", 2, true, DecimalToString},
  };
  int rc = RegisterScalars(db, kScalars);
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
