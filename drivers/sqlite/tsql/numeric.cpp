// Exact decimal arithmetic as SQL Server does it.
//
// The common values of the reports (quantities, prices and amounts of a few
// dozen digits) take the fast paths, one 128-bit multiplication or division
// each. Wider intermediate results (a product of two 38-digit values, a
// dividend scaled far up) go through a 256-bit magnitude, which is slower
// but exact; the final result always fits 38 digits or is an overflow.
#include "drivers/sqlite/tsql/numeric.h"

#include <algorithm>

namespace q8::tsql::num {
namespace {

__extension__ typedef unsigned __int128 UInt128;

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

// An unsigned 256-bit number: four 64-bit limbs, little end first.
struct U256 {
  uint64_t limb[4] = {0, 0, 0, 0};

  U256() = default;
  explicit U256(UInt128 v) {
    limb[0] = static_cast<uint64_t>(v);
    limb[1] = static_cast<uint64_t>(v >> 64);
  }
  bool FitsUInt128() const { return limb[2] == 0 && limb[3] == 0; }
  UInt128 Low() const { return (static_cast<UInt128>(limb[1]) << 64) | limb[0]; }
  bool IsZero() const { return (limb[0] | limb[1] | limb[2] | limb[3]) == 0; }

  // this * m; false when the product does not fit 256 bits.
  bool MulSmall(uint64_t m) {
    UInt128 carry = 0;
    for (uint64_t& l : limb) {
      UInt128 t = static_cast<UInt128>(l) * m + carry;
      l = static_cast<uint64_t>(t);
      carry = t >> 64;
    }
    return carry == 0;
  }
  // this * 10^n; false on overflow.
  bool MulPow10(int n) {
    while (n > 0) {
      const int step = std::min(n, 19);
      if (!MulSmall(static_cast<uint64_t>(kPow10.v[step]))) return false;
      n -= step;
    }
    return true;
  }
  // Divides in place by d and returns the remainder.
  uint64_t DivSmall(uint64_t d) {
    UInt128 rem = 0;
    for (int i = 3; i >= 0; --i) {
      UInt128 cur = (rem << 64) | limb[i];
      limb[i] = static_cast<uint64_t>(cur / d);
      rem = cur % d;
    }
    return static_cast<uint64_t>(rem);
  }
  static U256 Mul(UInt128 a, UInt128 b) {
    U256 r;
    const uint64_t x[2] = {static_cast<uint64_t>(a), static_cast<uint64_t>(a >> 64)};
    const uint64_t y[2] = {static_cast<uint64_t>(b), static_cast<uint64_t>(b >> 64)};
    for (int i = 0; i < 2; ++i) {
      UInt128 carry = 0;
      for (int j = 0; j < 2; ++j) {
        UInt128 t = static_cast<UInt128>(x[i]) * y[j] + r.limb[i + j] + carry;
        r.limb[i + j] = static_cast<uint64_t>(t);
        carry = t >> 64;
      }
      r.limb[i + 2] = static_cast<uint64_t>(carry);
    }
    return r;
  }
  int Compare(const U256& o) const {
    for (int i = 3; i >= 0; --i) {
      if (limb[i] != o.limb[i]) return limb[i] < o.limb[i] ? -1 : 1;
    }
    return 0;
  }
  bool Add(const U256& o) {
    UInt128 carry = 0;
    for (int i = 0; i < 4; ++i) {
      UInt128 t = static_cast<UInt128>(limb[i]) + o.limb[i] + carry;
      limb[i] = static_cast<uint64_t>(t);
      carry = t >> 64;
    }
    return carry == 0;
  }
  // this - o; REQUIRES: this >= o.
  void Sub(const U256& o) {
    uint64_t borrow = 0;
    for (int i = 0; i < 4; ++i) {
      const uint64_t a = limb[i], b = o.limb[i];
      const uint64_t d = a - b - borrow;
      borrow = (a < b || (a == b && borrow)) ? 1 : 0;
      limb[i] = d;
    }
  }
  void ShiftLeft1() {
    for (int i = 3; i > 0; --i) limb[i] = (limb[i] << 1) | (limb[i - 1] >> 63);
    limb[0] <<= 1;
  }
  bool Bit(int i) const { return (limb[i / 64] >> (i % 64)) & 1; }
  void SetBit(int i) { limb[i / 64] |= uint64_t{1} << (i % 64); }
};

// n / d and n % d by shift and subtract; slow, for the rare wide cases.
void DivMod(const U256& n, const U256& d, U256* q, U256* r) {
  *q = U256();
  *r = U256();
  for (int i = 255; i >= 0; --i) {
    r->ShiftLeft1();
    if (n.Bit(i)) r->limb[0] |= 1;
    if (r->Compare(d) >= 0) {
      r->Sub(d);
      q->SetBit(i);
    }
  }
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
  if (!wx.mag.MulPow10(ux) || !wy.mag.MulPow10(uy)) return Status::kOverflow;
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
      if (!n.MulPow10(k)) return Status::kOverflow;
      U256 wq, wr;
      DivMod(n, U256(y), &wq, &wr);
      if (!wq.FitsUInt128()) return Status::kOverflow;
      q = wq.Low();
    }
  } else {
    U256 d(y);
    if (!d.MulPow10(-k) || d.Compare(U256(x)) > 0) {
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
  if (!wx.mag.MulPow10(s - a.scale()) || !wy.mag.MulPow10(s - b.scale())) return Status::kOverflow;
  Wide rem;
  U256 q;
  DivMod(wx.mag, wy.mag, &q, &rem.mag);
  rem.negative = wx.negative;
  rem.scale = s;
  if (rem.scale < to.scale) {
    if (!rem.mag.MulPow10(to.scale - rem.scale)) return Status::kOverflow;
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
