// Automation values: Decimal arithmetic, dates and Variant conversions.
#include "q8vantorpt/variant.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "q8vantorpt/error.h"

namespace q8 {

namespace {

__extension__ typedef unsigned __int128 UInt128;

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

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

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

enum class ParseStatus { kOk, kNotNumber, kOverflow };

// Reads the automation number grammar: blanks, optional sign, digits with an
// optional point, optional exponent, blanks. At least one digit is required.
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

// Digits beyond `max_scale` decimals (0..38) are rounded away in one step.
ParseStatus ParseDecimal(std::string_view text, Decimal* out, int max_scale = kMaxScale) {
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

// A double through its shortest exact text, so 2.675 reads as 2.675.
std::string ShortestText(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// An unsigned 256-bit number as four 64-bit limbs, little end first; just
// enough for Decimal multiplication.
struct U256 {
  uint64_t limb[4] = {0, 0, 0, 0};

  static U256 Mul(UInt128 a, UInt128 b) {
    U256 r;
    uint64_t x[2] = {static_cast<uint64_t>(a), static_cast<uint64_t>(a >> 64)};
    uint64_t y[2] = {static_cast<uint64_t>(b), static_cast<uint64_t>(b >> 64)};
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
  // Divides by d in place and returns the remainder.
  uint64_t DivSmall(uint64_t d) {
    UInt128 rem = 0;
    for (int i = 3; i >= 0; --i) {
      UInt128 cur = (rem << 64) | limb[i];
      limb[i] = static_cast<uint64_t>(cur / d);
      rem = cur % d;
    }
    return static_cast<uint64_t>(rem);
  }
  bool FitsMantissa() const {
    if (limb[2] != 0 || limb[3] != 0) return false;
    UInt128 v = (static_cast<UInt128>(limb[1]) << 64) | limb[0];
    return v <= static_cast<UInt128>(kMaxMantissa);
  }
  Int128 ToInt128() const {
    return static_cast<Int128>((static_cast<UInt128>(limb[1]) << 64) | limb[0]);
  }
  void Increment() {
    for (int i = 0; i < 4; ++i)
      if (++limb[i] != 0) break;
  }
};

// Rounds a signed mantissa to an integer, half to even.
Int128 RoundHalfEven(Int128 m, int scale) {
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

// The nearest integer of a double, half to even, checked against [lo, hi].
int64_t DoubleToInteger(double d, int64_t lo, int64_t hi) {
  if (!std::isfinite(d)) RaisePlatform(err::kOverflow);
  double r = std::nearbyint(d);
  if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) RaisePlatform(err::kOverflow);
  // The bounds of int64 are not exact doubles; guard the top end.
  if (hi == std::numeric_limits<int64_t>::max() && r >= 9223372036854775808.0)
    RaisePlatform(err::kOverflow);
  return static_cast<int64_t>(r);
}

int64_t DecimalToInteger(const Decimal& d, int64_t lo, int64_t hi) {
  Int128 v = RoundHalfEven(d.mantissa(), d.scale());
  if (v < lo || v > hi) RaisePlatform(err::kOverflow);
  return static_cast<int64_t>(v);
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// "True"/"False" in any letter case; nullopt for other text.
std::optional<bool> BoolWord(std::string_view s) {
  s = TrimBlanks(s);
  if (EqualsNoCaseAscii(s, "true")) return true;
  if (EqualsNoCaseAscii(s, "false")) return false;
  return std::nullopt;
}

// Text to double with the automation grammar; nullopt when not a number.
std::optional<double> TextToDouble(std::string_view text) {
  bool negative = false;
  std::string digits;
  int exponent = 0;
  if (ScanNumber(text, &negative, &digits, &exponent) != ParseStatus::kOk) return std::nullopt;
  std::string t(TrimBlanks(text));
  double d = std::strtod(t.c_str(), nullptr);
  return d;
}

// The platform's text of a double: up to 15 significant digits, an exponent
// ("1E+20", "1.5E-07") only for very large or very small values.
std::string DoubleToText(double d) {
  if (d == 0) return "0";
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-Infinity" : "Infinity";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", d);
  std::string s = buf;
  // %G writes at least two exponent digits, as the platform does; nothing to
  // adjust except a "+0"/"-0" artefact, which cannot occur for d != 0.
  return s;
}

}  // namespace

// ---------------------------------------------------------------- Decimal

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
  do {
    *--p = static_cast<char>('0' + static_cast<int>(a % 10));
    a /= 10;
    ++written;
    if (written == scale_) *--p = '.';
  } while (a != 0 || written < scale_);
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
  while (scale > kMaxScale || !p.FitsMantissa()) {
    if (scale == 0) RaisePlatform(err::kOverflow);
    uint64_t last = p.DivSmall(10);
    --scale;
    // Rounding up may reach 10^38; the loop then drops one more (zero) digit.
    if (scale <= kMaxScale && p.FitsMantissa() && last >= 5) p.Increment();
  }
  Int128 m = p.ToInt128();
  return Decimal(negative ? -m : m, scale);
}

// ---------------------------------------------------------------- dates

namespace date {
namespace {

constexpr int64_t kEpochOffset = 25569;  // days from 1899-12-30 to 1970-01-01
constexpr int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}

// Reads 1..max_len decimal digits at s[*i]; false when there is none.
bool ReadDigits(std::string_view s, size_t* i, int min_len, int max_len, int* out) {
  int n = 0, v = 0;
  while (*i < s.size() && n < max_len && s[*i] >= '0' && s[*i] <= '9') {
    v = v * 10 + (s[*i] - '0');
    ++*i;
    ++n;
  }
  if (n < min_len) return false;
  *out = v;
  return true;
}

}  // namespace

double FromParts(const Parts& p) {
  int64_t day = DaysFromCivil(p.year, p.month, p.day) + kEpochOffset;
  double t =
      static_cast<double>(((p.hour * 60 + p.minute) * 60 + p.second) * 1000 + p.millisecond) /
      static_cast<double>(kMsPerDay);
  // Before 1899-12-30 the time of day still counts forward from midnight,
  // while the whole days count backwards: -1.25 is 1899-12-29 06:00.
  return day >= 0 ? static_cast<double>(day) + t : static_cast<double>(day) - t;
}

Parts ToParts(double d) {
  if (!std::isfinite(d) || std::fabs(d) > 1e9) d = 0;
  double whole = std::trunc(d);
  int64_t day = static_cast<int64_t>(whole);
  int64_t ms = std::llround(std::fabs(d - whole) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    ++day;
  }
  Parts p;
  CivilFromDays(day - kEpochOffset, &p.year, &p.month, &p.day);
  p.millisecond = static_cast<int>(ms % 1000);
  int64_t secs = ms / 1000;
  p.second = static_cast<int>(secs % 60);
  p.minute = static_cast<int>((secs / 60) % 60);
  p.hour = static_cast<int>(secs / 3600);
  return p;
}

std::string ToIso(double d) {
  Parts p = ToParts(d);
  char buf[64];
  if (p.millisecond != 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second, p.millisecond);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                  p.minute, p.second);
  }
  return buf;
}

std::string ToDefaultText(double d) {
  Parts p = ToParts(d);
  if (p.hour == 0 && p.minute == 0 && p.second == 0 && p.millisecond == 0) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    return buf;
  }
  return ToIso(d);
}

std::string ToSlashed(double d) {
  Parts p = ToParts(d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", p.year, p.month, p.day);
  return buf;
}

std::optional<double> Parse(std::string_view text) {
  std::string_view s = TrimBlanks(text);
  Parts p;
  size_t i = 0;
  if (!ReadDigits(s, &i, 4, 4, &p.year)) return std::nullopt;
  if (i < s.size() && (s[i] == '-' || s[i] == '/')) {
    char sep = s[i++];
    if (!ReadDigits(s, &i, 1, 2, &p.month)) return std::nullopt;
    if (i >= s.size() || s[i] != sep) return std::nullopt;
    ++i;
    if (!ReadDigits(s, &i, 1, 2, &p.day)) return std::nullopt;
  } else {
    // YYYYMMDD
    if (!ReadDigits(s, &i, 2, 2, &p.month) || !ReadDigits(s, &i, 2, 2, &p.day)) return std::nullopt;
  }
  if (p.year < 1 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > DaysInMonth(p.year, p.month))
    return std::nullopt;
  if (i < s.size()) {
    if (s[i] == 'T') {
      ++i;
    } else if (IsBlank(s[i])) {
      while (i < s.size() && IsBlank(s[i])) ++i;
    } else {
      return std::nullopt;
    }
    if (!ReadDigits(s, &i, 1, 2, &p.hour)) return std::nullopt;
    if (i >= s.size() || s[i] != ':') return std::nullopt;
    ++i;
    if (!ReadDigits(s, &i, 2, 2, &p.minute)) return std::nullopt;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (!ReadDigits(s, &i, 2, 2, &p.second)) return std::nullopt;
      if (i < s.size() && s[i] == '.') {
        ++i;
        int n = 0, ms = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
          if (n < 3) ms = ms * 10 + (s[i] - '0');
          ++n;
          ++i;
        }
        if (n == 0) return std::nullopt;
        for (int k = n; k < 3; ++k) ms *= 10;
        p.millisecond = ms;
      }
    }
    if (i != s.size()) return std::nullopt;
    if (p.hour > 23 || p.minute > 59 || p.second > 59) return std::nullopt;
  }
  return FromParts(p);
}

double Now() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  Parts p;
  p.year = tm.tm_year + 1900;
  p.month = tm.tm_mon + 1;
  p.day = tm.tm_mday;
  p.hour = tm.tm_hour;
  p.minute = tm.tm_min;
  p.second = tm.tm_sec;
  p.millisecond = static_cast<int>(ms.count());
  return FromParts(p);
}

}  // namespace date

// ---------------------------------------------------------------- Variant

namespace {
// Automation dates run from 0100-01-01 to 9999-12-31.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958466.0;

double CheckedDate(double d) {
  if (!std::isfinite(d) || d <= kMinDate - 1 || d >= kMaxDate) RaisePlatform(err::kOverflow);
  return d;
}

int64_t ToIntegerInRange(const Variant& v, int64_t lo, int64_t hi);
}  // namespace

Variant Variant::FromInt64(int64_t v) {
  if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
    return Variant(static_cast<int32_t>(v));
  return Variant(Decimal(v, 0));
}

VarType Variant::type() const {
  switch (v_.index()) {
    case 0:
      return VarType::kEmpty;
    case 1:
      return VarType::kNull;
    case 2:
      return VarType::kBool;
    case 3:
      return VarType::kInteger;
    case 4:
      return VarType::kLong;
    case 5:
      return VarType::kDouble;
    case 6:
      return VarType::kDecimal;
    case 7:
      return VarType::kDate;
    case 8:
      return VarType::kString;
    case 9:
      return VarType::kObject;
    default:
      return VarType::kMissing;
  }
}

bool Variant::IsNumeric() const {
  switch (type()) {
    case VarType::kBool:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kDouble:
    case VarType::kDecimal:
    case VarType::kDate:
      return true;
    default:
      return false;
  }
}

bool Variant::ToBool() const {
  switch (type()) {
    case VarType::kEmpty:
      return false;
    case VarType::kNull:
      RaisePlatform(err::kInvalidUseOfNull);
    case VarType::kBool:
      return std::get<bool>(v_);
    case VarType::kInteger:
      return std::get<int16_t>(v_) != 0;
    case VarType::kLong:
      return std::get<int32_t>(v_) != 0;
    case VarType::kDouble:
      return std::get<double>(v_) != 0;
    case VarType::kDecimal:
      return !std::get<Decimal>(v_).IsZero();
    case VarType::kDate:
      return date_days() != 0;
    case VarType::kString: {
      if (auto b = BoolWord(text())) return *b;
      if (auto d = TextToDouble(text())) return *d != 0;
      RaisePlatform(err::kTypeMismatch);
    }
    default:
      RaisePlatform(err::kTypeMismatch);
  }
}

namespace {
int64_t ToIntegerInRange(const Variant& v, int64_t lo, int64_t hi) {
  switch (v.type()) {
    case VarType::kEmpty:
      return 0;
    case VarType::kNull:
      RaisePlatform(err::kInvalidUseOfNull);
    case VarType::kBool:
      return v.ToBool() ? -1 : 0;
    case VarType::kInteger:
    case VarType::kLong: {
      int64_t x = static_cast<int64_t>(v.ToDouble());  // exact for 32-bit values
      if (x < lo || x > hi) RaisePlatform(err::kOverflow);
      return x;
    }
    case VarType::kDouble:
      return DoubleToInteger(v.ToDouble(), lo, hi);
    case VarType::kDate:
      return DoubleToInteger(v.date_days(), lo, hi);
    case VarType::kDecimal:
      return DecimalToInteger(v.ToDecimal(), lo, hi);
    case VarType::kString: {
      Decimal d;
      switch (ParseDecimal(v.text(), &d)) {
        case ParseStatus::kOk:
          return DecimalToInteger(d, lo, hi);
        case ParseStatus::kOverflow:
          RaisePlatform(err::kOverflow);
        case ParseStatus::kNotNumber:
          if (auto b = BoolWord(v.text())) return *b ? -1 : 0;
          RaisePlatform(err::kTypeMismatch);
      }
      RaisePlatform(err::kTypeMismatch);
    }
    default:
      RaisePlatform(err::kTypeMismatch);
  }
}
}  // namespace

int16_t Variant::ToInteger() const {
  return static_cast<int16_t>(ToIntegerInRange(*this, std::numeric_limits<int16_t>::min(),
                                               std::numeric_limits<int16_t>::max()));
}

int32_t Variant::ToLong() const {
  return static_cast<int32_t>(ToIntegerInRange(*this, std::numeric_limits<int32_t>::min(),
                                               std::numeric_limits<int32_t>::max()));
}

int64_t Variant::ToInt64() const {
  return ToIntegerInRange(*this, std::numeric_limits<int64_t>::min(),
                          std::numeric_limits<int64_t>::max());
}

double Variant::ToDouble() const {
  switch (type()) {
    case VarType::kEmpty:
      return 0;
    case VarType::kNull:
      RaisePlatform(err::kInvalidUseOfNull);
    case VarType::kBool:
      return std::get<bool>(v_) ? -1 : 0;
    case VarType::kInteger:
      return std::get<int16_t>(v_);
    case VarType::kLong:
      return std::get<int32_t>(v_);
    case VarType::kDouble:
      return std::get<double>(v_);
    case VarType::kDecimal:
      return std::get<Decimal>(v_).ToDouble();
    case VarType::kDate:
      return date_days();
    case VarType::kString: {
      if (auto d = TextToDouble(text())) {
        if (!std::isfinite(*d)) RaisePlatform(err::kOverflow);
        return *d;
      }
      if (auto b = BoolWord(text())) return *b ? -1 : 0;
      RaisePlatform(err::kTypeMismatch);
    }
    default:
      RaisePlatform(err::kTypeMismatch);
  }
}

Decimal Variant::ToDecimal() const {
  switch (type()) {
    case VarType::kEmpty:
      return Decimal();
    case VarType::kNull:
      RaisePlatform(err::kInvalidUseOfNull);
    case VarType::kBool:
      return Decimal::FromInt(std::get<bool>(v_) ? -1 : 0);
    case VarType::kInteger:
      return Decimal::FromInt(std::get<int16_t>(v_));
    case VarType::kLong:
      return Decimal::FromInt(std::get<int32_t>(v_));
    case VarType::kDecimal:
      return std::get<Decimal>(v_);
    case VarType::kDouble:
    case VarType::kDate: {
      double d = type() == VarType::kDouble ? std::get<double>(v_) : date_days();
      if (!std::isfinite(d) || std::fabs(d) >= 1e38) RaisePlatform(err::kOverflow);
      Decimal r;
      if (ParseDecimal(ShortestText(d), &r) != ParseStatus::kOk) RaisePlatform(err::kOverflow);
      return r;
    }
    case VarType::kString: {
      Decimal r;
      switch (ParseDecimal(text(), &r)) {
        case ParseStatus::kOk:
          return r;
        case ParseStatus::kOverflow:
          RaisePlatform(err::kOverflow);
        case ParseStatus::kNotNumber:
          if (auto b = BoolWord(text())) return Decimal::FromInt(*b ? -1 : 0);
          RaisePlatform(err::kTypeMismatch);
      }
      RaisePlatform(err::kTypeMismatch);
    }
    default:
      RaisePlatform(err::kTypeMismatch);
  }
}

double Variant::ToDate() const {
  switch (type()) {
    case VarType::kEmpty:
      return 0;
    case VarType::kNull:
      RaisePlatform(err::kInvalidUseOfNull);
    case VarType::kDate:
      return date_days();
    case VarType::kString: {
      if (auto d = date::Parse(text())) return *d;
      RaisePlatform(err::kTypeMismatch);
    }
    case VarType::kBool:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kDouble:
    case VarType::kDecimal:
      return CheckedDate(ToDouble());
    default:
      RaisePlatform(err::kTypeMismatch);
  }
}

std::string Variant::ToText() const {
  switch (type()) {
    case VarType::kEmpty:
      return {};
    case VarType::kNull:
      RaisePlatform(err::kInvalidUseOfNull);
    case VarType::kBool:
      return std::get<bool>(v_) ? "True" : "False";
    case VarType::kInteger:
      return std::to_string(std::get<int16_t>(v_));
    case VarType::kLong:
      return std::to_string(std::get<int32_t>(v_));
    case VarType::kDouble:
      return DoubleToText(std::get<double>(v_));
    case VarType::kDecimal:
      return std::get<Decimal>(v_).ToShortString();
    case VarType::kDate:
      return date::ToDefaultText(date_days());
    case VarType::kString:
      return text();
    default:
      RaisePlatform(err::kTypeMismatch);
  }
}

ObjectPtr Variant::ToObject() const {
  switch (type()) {
    case VarType::kObject:
      return std::get<ObjectPtr>(v_);
    case VarType::kEmpty:
    case VarType::kMissing:
      return nullptr;
    default:
      RaisePlatform(err::kTypeMismatch);
  }
}

bool Variant::EqualsNumber(double n) const {
  switch (type()) {
    case VarType::kNull:
      return false;
    case VarType::kString: {
      auto d = TextToDouble(text());
      if (!d) RaisePlatform(err::kTypeMismatch);
      return *d == n;
    }
    case VarType::kObject:
    case VarType::kMissing:
      RaisePlatform(err::kTypeMismatch);
    default:
      return ToDouble() == n;
  }
}

bool Variant::EqualsText(std::string_view s) const {
  switch (type()) {
    case VarType::kEmpty:
      return s.empty();
    case VarType::kNull:
      return false;
    case VarType::kString:
      return text() == s;
    case VarType::kBool: {
      // "True"/"False" or a number; any other text is simply not equal.
      if (auto b = BoolWord(s)) return *b == std::get<bool>(v_);
      if (auto d = TextToDouble(s)) return *d == ToDouble();
      return false;
    }
    case VarType::kDate: {
      if (auto d = date::Parse(s)) return *d == date_days();
      if (auto d = TextToDouble(s)) return *d == date_days();
      return false;
    }
    case VarType::kObject:
    case VarType::kMissing:
      RaisePlatform(err::kTypeMismatch);
    default: {
      // A number against a text: the text is read as a number. A text that is
      // no number (the empty text included) never equals a number.
      if (auto d = TextToDouble(s)) return *d == ToDouble();
      return false;
    }
  }
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case VarType::kDecimal:
      return std::get<Decimal>(a.v_) == std::get<Decimal>(b.v_);
    case VarType::kDate:
      return a.date_days() == b.date_days();
    case VarType::kEmpty:
    case VarType::kNull:
    case VarType::kMissing:
      return true;
    case VarType::kBool:
      return std::get<bool>(a.v_) == std::get<bool>(b.v_);
    case VarType::kInteger:
      return std::get<int16_t>(a.v_) == std::get<int16_t>(b.v_);
    case VarType::kLong:
      return std::get<int32_t>(a.v_) == std::get<int32_t>(b.v_);
    case VarType::kDouble:
      return std::get<double>(a.v_) == std::get<double>(b.v_);
    case VarType::kString:
      return a.text() == b.text();
    case VarType::kObject:
      return std::get<ObjectPtr>(a.v_) == std::get<ObjectPtr>(b.v_);
  }
  return false;
}

std::string Variant::DebugString() const {
  switch (type()) {
    case VarType::kEmpty:
      return "Empty";
    case VarType::kNull:
      return "Null";
    case VarType::kBool:
      return std::string("Bool(") + (std::get<bool>(v_) ? "true" : "false") + ")";
    case VarType::kInteger:
      return "Integer(" + std::to_string(std::get<int16_t>(v_)) + ")";
    case VarType::kLong:
      return "Long(" + std::to_string(std::get<int32_t>(v_)) + ")";
    case VarType::kDouble:
      return "Double(" + ShortestText(std::get<double>(v_)) + ")";
    case VarType::kDecimal:
      return "Decimal(" + std::get<Decimal>(v_).ToString() + ")";
    case VarType::kDate:
      return "Date(" + date::ToIso(date_days()) + ")";
    case VarType::kString:
      return "String(\"" + text() + "\")";
    case VarType::kObject:
      return std::get<ObjectPtr>(v_) ? "Object" : "Object(Nothing)";
    case VarType::kMissing:
      return "Missing";
  }
  return "?";
}

}  // namespace q8
