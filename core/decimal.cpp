// Decimal: exact fixed-point numbers of up to 38 digits, their text forms
// and their arithmetic.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "core/number_text.h"
#include "core/wide_int.h"
#include "q8vantorpt/error.h"

namespace q8 {

namespace {

constexpr int kMaxScale = Decimal::kMaxDigits;

struct Pow10Table {
  Int128 v[kMaxScale + 1];
  constexpr Pow10Table() : v() {
    Int128 p = 1;
    for (int i = 0; i <= kMaxScale; ++i) {
      v[i] = p;
      if (i < kMaxScale) p *= 10;
    }
  }
};
constexpr Pow10Table kPow10;

// 10^38 - 1: the largest mantissa of 38 digits.
constexpr Int128 kMaxMantissa = kPow10.v[kMaxScale] - 1;

Int128 Abs(Int128 v) { return v < 0 ? -v : v; }

// Divides a non-negative value by 10^n (n >= 1), rounding half away from zero.
Int128 DivRoundPow10(Int128 v, int n) {
  if (n > kMaxScale) return 0;  // every stored value is below 10^38
  Int128 q = v / kPow10.v[n];
  Int128 r = v % kPow10.v[n];
  // r >= 10^n / 2, written so that it cannot overflow: 2 * r exceeds the
  // 128-bit range when n is 38.
  if (r >= kPow10.v[n] - r) ++q;
  return q;
}

// Rounds a signed value to 10^-(scale - n), half away from zero.
Int128 RoundDrop(Int128 m, int n) {
  if (n <= 0) return m;
  Int128 a = DivRoundPow10(Abs(m), n);
  return m < 0 ? -a : a;
}

// Whether a product fits a mantissa of 38 digits.
bool FitsMantissa(const U256& p) {
  return p.FitsUInt128() && p.Low() <= static_cast<UInt128>(kMaxMantissa);
}

}  // namespace

namespace number_text {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

ParseStatus ScanNumber(std::string_view text, bool* negative, std::string* digits, int* exponent) {
  std::string_view s = TrimBlanks(text);
  size_t i = 0;
  *negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    *negative = s[i] == '-';
    ++i;
  }
  digits->clear();
  int frac = 0;
  bool seen_digit = false, seen_point = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      seen_digit = true;
      if (!(digits->empty() && c == '0')) digits->push_back(c);
      if (seen_point) ++frac;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (!seen_digit) return ParseStatus::kNotNumber;
  long exp = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool exp_neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      exp_neg = s[i] == '-';
      ++i;
    }
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return ParseStatus::kNotNumber;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
      if (exp < 100000) exp = exp * 10 + (s[i] - '0');
    if (exp_neg) exp = -exp;
  }
  if (i != s.size()) return ParseStatus::kNotNumber;
  // Leading zeros were left out of `digits`; they do not change the value,
  // which is digits × 10^(exp - frac).
  *exponent = static_cast<int>(exp) - frac;
  return ParseStatus::kOk;
}

ParseStatus ParseDecimal(std::string_view text, Decimal* out, int max_scale) {
  bool negative = false;
  std::string digits;
  int exponent = 0;
  ParseStatus st = ScanNumber(text, &negative, &digits, &exponent);
  if (st != ParseStatus::kOk) return st;
  // Value = digits × 10^exponent. Keep the scale the text asked for (so
  // "12.50" has scale 2) but at most 38 digits in all.
  if (digits.empty()) {
    int scale = exponent < 0 ? std::min(-exponent, max_scale) : 0;
    *out = Decimal(0, scale);
    return ParseStatus::kOk;
  }
  int scale = -exponent;
  int n = static_cast<int>(digits.size());
  // Digits beyond the 38th significant one, or beyond scale 38, are rounded.
  int drop = 0;
  if (n > kMaxScale) drop = n - kMaxScale;
  if (scale - drop > max_scale) drop = scale - max_scale;
  if (drop > 0) {
    if (drop > n) {
      *out = Decimal(0, max_scale);
      return ParseStatus::kOk;
    }
    if (scale - drop < 0) return ParseStatus::kOverflow;
    bool round_up = digits[static_cast<size_t>(n - drop)] >= '5';
    digits.resize(static_cast<size_t>(n - drop));
    scale -= drop;
    Int128 m = 0;
    for (char c : digits) m = m * 10 + (c - '0');
    if (round_up) ++m;
    if (m > kMaxMantissa) {
      if (scale == 0) return ParseStatus::kOverflow;
      m = DivRoundPow10(m, 1);
      --scale;
    }
    *out = Decimal(negative ? -m : m, scale);
    return ParseStatus::kOk;
  }
  Int128 m = 0;
  for (char c : digits) m = m * 10 + (c - '0');
  if (scale < 0) {
    // An integer with a positive exponent: scale up, within 38 digits.
    if (n - scale > kMaxScale) return ParseStatus::kOverflow;
    m *= kPow10.v[-scale];
    scale = 0;
  }
  *out = Decimal(negative ? -m : m, scale);
  return ParseStatus::kOk;
}

std::string ShortestText(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

Int128 RoundHalfEven(const Decimal& d) {
  const Int128 m = d.mantissa();
  const int scale = d.scale();
  if (scale == 0) return m;
  Int128 a = Abs(m);
  Int128 q = a / kPow10.v[scale];
  Int128 r = a % kPow10.v[scale];
  // r against the other part of the unit rather than 2 * r against the unit,
  // which overflows at scale 38.
  Int128 rest = kPow10.v[scale] - r;
  if (r > rest || (r == rest && (q % 2) == 1)) ++q;
  return m < 0 ? -q : q;
}

}  // namespace number_text

using number_text::ParseDecimal;
using number_text::ParseStatus;
using number_text::ShortestText;

Decimal Decimal::FromDouble(double v, int scale) {
  if (!std::isfinite(v) || std::fabs(v) >= 1e38) RaisePlatform(err::kOverflow);
  // Rounded once, straight to `scale`: rounding first to 38 decimals and then
  // again to `scale` could carry a 5 into the deciding digit.
  Decimal d;
  if (ParseDecimal(ShortestText(v), &d, std::clamp(scale, 0, kMaxScale)) != ParseStatus::kOk)
    RaisePlatform(err::kOverflow);
  return d.Rescale(scale);
}

std::optional<Decimal> Decimal::Parse(std::string_view text) {
  Decimal d;
  if (ParseDecimal(text, &d) != ParseStatus::kOk) return std::nullopt;
  return d;
}

Decimal Decimal::Rescale(int scale) const {
  if (scale < 0) scale = 0;
  if (scale > kMaxScale) scale = kMaxScale;
  if (scale == scale_) return *this;
  if (scale < scale_) return Decimal(RoundDrop(mantissa_, scale_ - scale), scale);
  int up = scale - scale_;
  if (Abs(mantissa_) > kMaxMantissa / kPow10.v[up]) RaisePlatform(err::kOverflow);
  return Decimal(mantissa_ * kPow10.v[up], scale);
}

double Decimal::ToDouble() const { return std::strtod(ToString().c_str(), nullptr); }

std::string Decimal::ToString() const {
  // Digits are written from the right into a fixed buffer: at most 39 digits,
  // a point, a leading zero and a sign.
  char buf[kMaxScale + 8];
  char* end = buf + sizeof buf;
  char* p = end;
  Int128 a = Abs(mantissa_);
  int written = 0;
  // The digits beyond 64 bits with 128-bit division, the rest (all of them,
  // for most values) with 64-bit division, which compiles to a multiply.
  while (a > static_cast<Int128>(UINT64_MAX)) {
    *--p = static_cast<char>('0' + static_cast<int>(a % 10));
    a /= 10;
    ++written;
    if (written == scale_) *--p = '.';
  }
  auto low = static_cast<uint64_t>(a);
  do {
    *--p = static_cast<char>('0' + static_cast<int>(low % 10));
    low /= 10;
    ++written;
    if (written == scale_) *--p = '.';
  } while (low != 0 || written < scale_);
  if (*p == '.') *--p = '0';
  if (mantissa_ < 0) *--p = '-';
  return std::string(p, end);
}

std::string Decimal::ToShortString() const {
  std::string s = ToString();
  if (scale_ > 0) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

int Decimal::Compare(const Decimal& o) const {
  if (IsNegative() != o.IsNegative()) return IsNegative() ? -1 : 1;
  // Same sign: compare magnitudes, integer parts first, then fractions at a
  // common scale (a fraction below 10^s always fits when scaled up to 38).
  Int128 a = Abs(mantissa_), b = Abs(o.mantissa_);
  Int128 ai = a / kPow10.v[scale_], bi = b / kPow10.v[o.scale_];
  int mag;
  if (ai != bi) {
    mag = ai < bi ? -1 : 1;
  } else {
    int s = std::max(scale_, o.scale_);
    Int128 af = (a % kPow10.v[scale_]) * kPow10.v[s - scale_];
    Int128 bf = (b % kPow10.v[o.scale_]) * kPow10.v[s - o.scale_];
    mag = af == bf ? 0 : (af < bf ? -1 : 1);
  }
  return IsNegative() ? -mag : mag;
}

namespace {
// Adds two decimals at the largest scale at which both (and the sum) fit.
Decimal AddDecimals(const Decimal& x, const Decimal& y) {
  for (int s = std::max(x.scale(), y.scale()); s >= 0; --s) {
    Int128 a = x.mantissa(), b = y.mantissa();
    if (s >= x.scale()) {
      int up = s - x.scale();
      if (Abs(a) > kMaxMantissa / kPow10.v[up]) continue;
      a *= kPow10.v[up];
    } else {
      a = RoundDrop(a, x.scale() - s);
    }
    if (s >= y.scale()) {
      int up = s - y.scale();
      if (Abs(b) > kMaxMantissa / kPow10.v[up]) continue;
      b *= kPow10.v[up];
    } else {
      b = RoundDrop(b, y.scale() - s);
    }
    Int128 sum = a + b;  // |a|, |b| < 10^38, so no 128-bit overflow
    if (Abs(sum) <= kMaxMantissa) return Decimal(sum, s);
  }
  RaisePlatform(err::kOverflow);
}
}  // namespace

Decimal Decimal::operator+(const Decimal& o) const { return AddDecimals(*this, o); }

Decimal Decimal::operator-(const Decimal& o) const {
  return AddDecimals(*this, Decimal(-o.mantissa_, o.scale_));
}

Decimal Decimal::operator*(const Decimal& o) const {
  bool negative = IsNegative() != o.IsNegative();
  U256 p = U256::Mul(static_cast<UInt128>(Abs(mantissa_)), static_cast<UInt128>(Abs(o.mantissa_)));
  int scale = scale_ + o.scale_;
  // Drop digits until the scale is at most 38 and the product fits in 38
  // digits; only the last digit dropped decides the rounding (half away from
  // zero), since the ones before it are all below it.
  while (scale > kMaxScale || !FitsMantissa(p)) {
    if (scale == 0) RaisePlatform(err::kOverflow);
    uint64_t last = p.DivSmall(10);
    --scale;
    // Rounding up may reach 10^38; the loop then drops one more (zero) digit.
    if (scale <= kMaxScale && FitsMantissa(p) && last >= 5) p.Increment();
  }
  Int128 m = static_cast<Int128>(p.Low());
  return Decimal(negative ? -m : m, scale);
}

}  // namespace q8
