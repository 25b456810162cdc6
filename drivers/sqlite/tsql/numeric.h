// Exact decimal arithmetic as SQL Server does it.
//
// A value is a Decimal: a 128-bit mantissa and a scale. Each operation takes
// the precision and scale SQL Server gives its result (types.h computes
// them) and returns the exact result rounded to that scale, half away from
// zero, or truncated where SQL Server truncates (division, ROUND with a
// third argument, conversion to an integer), and fails with kOverflow when
// the result needs more integer digits than its precision leaves.
#pragma once

#include <cstdint>

#include "q8vantorpt/variant.h"

namespace q8::tsql::num {

enum class Status : uint8_t { kOk, kOverflow, kDivideByZero };

enum class Rounding : uint8_t { kHalfAwayFromZero, kTruncate };

// The result type of an operation: decimal(precision, scale).
struct Shape {
  int precision = 38;
  int scale = 0;
};

// 10^n for n in 0..38.
Int128 Pow10(int n);

// `v` at `scale` (0..38), rounded or truncated; kOverflow when the result
// does not fit decimal(precision, scale).
Status Rescale(const Decimal& v, Shape to, Rounding r, Decimal* out);

// a + b, a - b, a * b, a / b and a % b, exactly, then to `to`.
Status Add(const Decimal& a, const Decimal& b, Shape to, Decimal* out);
Status Sub(const Decimal& a, const Decimal& b, Shape to, Decimal* out);
Status Mul(const Decimal& a, const Decimal& b, Shape to, Decimal* out);
Status Div(const Decimal& a, const Decimal& b, Shape to, Decimal* out);
Status Mod(const Decimal& a, const Decimal& b, Shape to, Decimal* out);

// ROUND(v, places [, truncate]) keeping v's type `to`; places may be
// negative (ROUND(125, -1) is 130).
Status Round(const Decimal& v, int places, Rounding r, Shape to, Decimal* out);

// CEILING and FLOOR: the integral value above or below, at scale 0.
Status Ceiling(const Decimal& v, Shape to, Decimal* out);
Status Floor(const Decimal& v, Shape to, Decimal* out);

// <0, 0 or >0 as a is below, equal to or above b.
int Compare(const Decimal& a, const Decimal& b);

// The integral part of `v` (truncated toward zero) when it lies within
// [lo, hi]; kOverflow otherwise.
Status ToInteger(const Decimal& v, int64_t lo, int64_t hi, int64_t* out);

// The same value without the zeros that end its fraction (scale lowered).
Decimal Trim(const Decimal& v);

// Decimal text with every digit of the value's scale, no exponent.
inline std::string Text(const Decimal& v) { return v.ToString(); }

}  // namespace q8::tsql::num
