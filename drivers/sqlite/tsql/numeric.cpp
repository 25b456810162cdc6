// Exact decimal arithmetic as SQL Server does it.
//
// The common values of the reports (quantities, prices and amounts of a few
// dozen digits) take the fast paths, one 128-bit multiplication or division
// each. Wider intermediate results (a product of two 38-digit values, a
// dividend scaled far up) go through a 256-bit magnitude, which is slower
// but exact; the final result always fits 38 digits or is an overflow.
#include "drivers/sqlite/tsql/numeric.h"

#include <algorithm>

#include "core/wide_int.h"

namespace q8::tsql::num {
namespace {

constexpr int kMaxDigits = 38;

struct Pow10Table {
  UInt128 v[kMaxDigits + 1];
  constexpr Pow10Table() : v() {
    UInt128 p = 1;
    for (int i = 0; i <= kMaxDigits; ++i) {
      v[i] = p;
      p *= 10;
    }
  }
};
constexpr Pow10Table kPow10;

UInt128 Magnitude(Int128 v) { return v < 0 ? -static_cast<UInt128>(v) : static_cast<UInt128>(v); }

// this * 10^n; false on overflow.
bool MulPow10(U256* v, int n) {
  while (n > 0) {
    const int step = std::min(n, 19);
    if (!v->MulSmall(static_cast<uint64_t>(kPow10.v[step]))) return false;
    n -= step;
  }
  return true;
}

// A signed value of any width and scale on its way to a result.
struct Wide {
  bool negative = false;
  U256 mag;
  int scale = 0;
};

// Writes `w` to the result shape: drops the digits beyond `to.scale` (it
// never has fewer), rounding or truncating, then checks the precision.
Status Finish(Wide w, Shape to, Rounding r, Decimal* out) {
  int drop = w.scale - to.scale;
  bool round_up = false;
  if (drop > 0) {
    // All but the last dropped digit are cut in steps of up to 19 digits;
    // the last one decides the rounding.
    while (drop > 1) {
      const int step = std::min(drop - 1, 19);
      w.mag.DivSmall(static_cast<uint64_t>(kPow10.v[step]));
      drop -= step;
    }
    const uint64_t last = w.mag.DivSmall(10);
    round_up = r == Rounding::kHalfAwayFromZero && last >= 5;
  }
  if (!w.mag.FitsUInt128()) return Status::kOverflow;
  UInt128 m = w.mag.Low() + (round_up ? 1 : 0);
  if (m >= kPow10.v[std::clamp(to.precision, 1, kMaxDigits)]) return Status::kOverflow;
  const Int128 signed_m = static_cast<Int128>(m);
  *out = Decimal(w.negative ? -signed_m : signed_m, to.scale);
  return Status::kOk;
}

// The fast form of Finish for a 128-bit magnitude at scale `scale`.
Status FinishNarrow(bool negative, UInt128 mag, int scale, Shape to, Rounding r, Decimal* out) {
  const int drop = scale - to.scale;
  if (drop > 0) {
    if (drop > kMaxDigits) {
      mag = 0;
    } else {
      const UInt128 unit = kPow10.v[drop];
      const UInt128 rem = mag % unit;
      mag /= unit;
      if (r == Rounding::kHalfAwayFromZero && rem >= unit - rem) ++mag;
    }
  } else if (drop < 0) {
    const int up = -drop;
    if (up > kMaxDigits || mag > kPow10.v[kMaxDigits] / kPow10.v[up]) return Status::kOverflow;
    mag *= kPow10.v[up];
  }
  if (mag >= kPow10.v[std::clamp(to.precision, 1, kMaxDigits)]) return Status::kOverflow;
  const Int128 m = static_cast<Int128>(mag);
  *out = Decimal(negative ? -m : m, to.scale);
  return Status::kOk;
}

Wide Widen(const Decimal& v) {
  Wide w;
  w.negative = v.mantissa() < 0;
  w.mag = U256(Magnitude(v.mantissa()));
  w.scale = v.scale();
  return w;
}

// a + b (negate_b: a - b) at the larger of their scales, then to `to`.
Status AddSigned(const Decimal& a, const Decimal& b, bool negate_b, Shape to, Decimal* out) {
  const int s = std::max(a.scale(), b.scale());
  const Int128 kLimit = kPow10.v[kMaxDigits];  // 10^38, below half the 128-bit range
  Int128 x = a.mantissa(), y = b.mantissa();
  if (negate_b) y = -y;
  const int ux = s - a.scale(), uy = s - b.scale();
  if ((ux == 0 || Magnitude(x) < kLimit / kPow10.v[ux]) &&
      (uy == 0 || Magnitude(y) < kLimit / kPow10.v[uy])) {
    // Both aligned operands stay below 10^38, so their sum fits.
    const Int128 sum =
        x * static_cast<Int128>(kPow10.v[ux]) + y * static_cast<Int128>(kPow10.v[uy]);
    return FinishNarrow(sum < 0, Magnitude(sum), s, to, Rounding::kHalfAwayFromZero, out);
  }
  Wide wx = Widen(a), wy = Widen(b);
  wy.negative = negate_b ? !wy.negative : wy.negative;
  if (!MulPow10(&wx.mag, ux) || !MulPow10(&wy.mag, uy)) return Status::kOverflow;
  Wide sum;
  sum.scale = s;
  if (wx.negative == wy.negative) {
    sum.mag = wx.mag;
    if (!sum.mag.Add(wy.mag)) return Status::kOverflow;
    sum.negative = wx.negative;
  } else if (wx.mag.Compare(wy.mag) >= 0) {
    sum.mag = wx.mag;
    sum.mag.Sub(wy.mag);
    sum.negative = wx.negative;
  } else {
    sum.mag = wy.mag;
    sum.mag.Sub(wx.mag);
    sum.negative = wy.negative;
  }
  return Finish(sum, to, Rounding::kHalfAwayFromZero, out);
}

}  // namespace

Int128 Pow10(int n) { return static_cast<Int128>(kPow10.v[std::clamp(n, 0, kMaxDigits)]); }

Status Rescale(const Decimal& v, Shape to, Rounding r, Decimal* out) {
  return FinishNarrow(v.mantissa() < 0, Magnitude(v.mantissa()), v.scale(), to, r, out);
}

Status Add(const Decimal& a, const Decimal& b, Shape to, Decimal* out) {
  return AddSigned(a, b, false, to, out);
}

Status Sub(const Decimal& a, const Decimal& b, Shape to, Decimal* out) {
  return AddSigned(a, b, true, to, out);
}

Status Mul(const Decimal& a, const Decimal& b, Shape to, Decimal* out) {
  const bool negative = (a.mantissa() < 0) != (b.mantissa() < 0);
  const UInt128 x = Magnitude(a.mantissa()), y = Magnitude(b.mantissa());
  const int scale = a.scale() + b.scale();
  if ((x >> 63) == 0 && (y >> 63) == 0) {
    // Two magnitudes below 2^63: the product fits 126 bits.
    return FinishNarrow(negative, x * y, scale, to, Rounding::kHalfAwayFromZero, out);
  }
  Wide w;
  w.negative = negative;
  w.mag = U256::Mul(x, y);
  w.scale = scale;
  return Finish(w, to, Rounding::kHalfAwayFromZero, out);
}

// The quotient is truncated at the result's scale, as SQL Server's decimal
// division stops at the last digit of its type.
Status Div(const Decimal& a, const Decimal& b, Shape to, Decimal* out) {
  if (b.mantissa() == 0) return Status::kDivideByZero;
  const bool negative = (a.mantissa() < 0) != (b.mantissa() < 0);
  const UInt128 x = Magnitude(a.mantissa()), y = Magnitude(b.mantissa());
  // a / b at scale s is x * 10^(s + sb - sa) / y.
  const int k = to.scale + b.scale() - a.scale();
  UInt128 q;
  if (k >= 0) {
    if (k <= kMaxDigits && x <= ~UInt128{0} / kPow10.v[k]) {
      q = x * kPow10.v[k] / y;
    } else {
      U256 n(x);
      // A dividend past 256 bits gives a quotient far past 38 digits.
      if (!MulPow10(&n, k)) return Status::kOverflow;
      U256 wq, wr;
      U256::DivMod(n, U256(y), &wq, &wr);
      if (!wq.FitsUInt128()) return Status::kOverflow;
      q = wq.Low();
    }
  } else {
    U256 d(y);
    if (!MulPow10(&d, -k) || d.Compare(U256(x)) > 0) {
      q = 0;
    } else {
      q = x / d.Low();  // d <= x, so it fits 128 bits
    }
  }
  if (q >= kPow10.v[std::clamp(to.precision, 1, kMaxDigits)]) return Status::kOverflow;
  const Int128 m = static_cast<Int128>(q);
  *out = Decimal(negative ? -m : m, to.scale);
  return Status::kOk;
}

// The remainder takes the sign of the dividend, as with integers.
Status Mod(const Decimal& a, const Decimal& b, Shape to, Decimal* out) {
  if (b.mantissa() == 0) return Status::kDivideByZero;
  const int s = std::max(a.scale(), b.scale());
  Wide wx = Widen(a), wy = Widen(b);
  if (!MulPow10(&wx.mag, s - a.scale()) || !MulPow10(&wy.mag, s - b.scale()))
    return Status::kOverflow;
  Wide rem;
  U256 q;
  U256::DivMod(wx.mag, wy.mag, &q, &rem.mag);
  rem.negative = wx.negative;
  rem.scale = s;
  if (rem.scale < to.scale) {
    if (!MulPow10(&rem.mag, to.scale - rem.scale)) return Status::kOverflow;
    rem.scale = to.scale;
  }
  return Finish(rem, to, Rounding::kHalfAwayFromZero, out);
}

Status Round(const Decimal& v, int places, Rounding r, Shape to, Decimal* out) {
  Decimal at;
  Status st = Rescale(v, Shape{kMaxDigits, to.scale}, Rounding::kHalfAwayFromZero, &at);
  if (st != Status::kOk) return st;
  const int drop = to.scale - places;  // digits of the mantissa to clear
  if (drop <= 0) return Rescale(at, to, r, out);
  const bool negative = at.mantissa() < 0;
  UInt128 mag = Magnitude(at.mantissa());
  if (drop > kMaxDigits) {
    mag = 0;
  } else {
    const UInt128 unit = kPow10.v[drop];
    const UInt128 rem = mag % unit;
    mag -= rem;
    if (r == Rounding::kHalfAwayFromZero && rem >= unit - rem) {
      // Rounding up may carry past 38 digits; that is an overflow anyway.
      if (mag > ~UInt128{0} - unit) return Status::kOverflow;
      mag += unit;
    }
  }
  if (mag >= kPow10.v[std::clamp(to.precision, 1, kMaxDigits)]) return Status::kOverflow;
  const Int128 m = static_cast<Int128>(mag);
  *out = Decimal(negative ? -m : m, to.scale);
  return Status::kOk;
}

namespace {
Status ToWhole(const Decimal& v, bool up, Shape to, Decimal* out) {
  const UInt128 unit = kPow10.v[v.scale()];
  const bool negative = v.mantissa() < 0;
  UInt128 mag = Magnitude(v.mantissa());
  const bool fraction = mag % unit != 0;
  mag /= unit;
  // Away from zero when the fraction points that way: up for a positive
  // CEILING, down for a negative FLOOR.
  if (fraction && up != negative) ++mag;
  return FinishNarrow(negative && mag != 0, mag, 0, to, Rounding::kTruncate, out);
}
}  // namespace

Status Ceiling(const Decimal& v, Shape to, Decimal* out) { return ToWhole(v, true, to, out); }
Status Floor(const Decimal& v, Shape to, Decimal* out) { return ToWhole(v, false, to, out); }

int Compare(const Decimal& a, const Decimal& b) { return a.Compare(b); }

Status ToInteger(const Decimal& v, int64_t lo, int64_t hi, int64_t* out) {
  const Int128 whole = v.mantissa() / static_cast<Int128>(kPow10.v[v.scale()]);
  if (whole < lo || whole > hi) return Status::kOverflow;
  *out = static_cast<int64_t>(whole);
  return Status::kOk;
}

Decimal Trim(const Decimal& v) {
  Int128 m = v.mantissa();
  int s = v.scale();
  if (m == 0) return Decimal(0, 0);
  while (s > 0 && m % 10 == 0) {
    m /= 10;
    --s;
  }
  return Decimal(m, s);
}

}  // namespace q8::tsql::num
