#include "core/ado/value_text.h"

#include <charconv>
#include <cmath>

#include "q8vantorpt/error.h"

namespace q8::ado {

namespace {

// The shortest text that reads back as `v` ("0.3", "0.30000000000000004",
// "1e+20").
size_t Shortest(double v, char* buf, size_t size) {
  auto r = std::to_chars(buf, buf + size, v);
  return static_cast<size_t>(r.ptr - buf);
}

Int128 Pow10(int n) {
  Int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

}  // namespace

std::string DoubleText(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  char buf[64];
  return std::string(buf, Shortest(v, buf, sizeof buf));
}

Decimal DecimalFromDouble(double v, int scale) {
  if (!std::isfinite(v)) RaisePlatform(err::kOverflow);
  // The shortest text of v is digits × 10^exponent; round that at `scale`.
  char buf[64];
  size_t n = Shortest(v, buf, sizeof buf);
  bool negative = false;
  int64_t digits = 0;
  int exponent = 0, count = 0;
  size_t i = 0;
  if (i < n && buf[i] == '-') {
    negative = true;
    ++i;
  }
  bool fraction = false;
  for (; i < n; ++i) {
    char c = buf[i];
    if (c == '.') {
      fraction = true;
    } else if (c >= '0' && c <= '9') {
      if (count < 18) {
        digits = digits * 10 + (c - '0');
        if (digits) ++count;
        if (fraction) --exponent;
      } else if (!fraction) {
        ++exponent;  // never happens for a shortest form, kept for safety
      }
    } else if (c == 'e' || c == 'E') {
      int e = 0;
      std::from_chars(buf + i + 1 + (buf[i + 1] == '+'), buf + n, e);
      exponent += e;
      break;
    }
  }
  // value = digits × 10^exponent; mantissa at `scale` = value × 10^scale.
  int shift = exponent + scale;
  Int128 m;
  if (shift >= 0) {
    if (shift + count > Decimal::kMaxDigits) RaisePlatform(err::kOverflow);
    m = static_cast<Int128>(digits) * Pow10(shift);
  } else if (-shift > 18) {
    m = 0;  // below half a unit of the last place
  } else {
    static constexpr int64_t kPow10[] = {1,
                                         10,
                                         100,
                                         1000,
                                         10000,
                                         100000,
                                         1000000,
                                         10000000,
                                         100000000,
                                         1000000000,
                                         10000000000,
                                         100000000000,
                                         1000000000000,
                                         10000000000000,
                                         100000000000000,
                                         1000000000000000,
                                         10000000000000000,
                                         100000000000000000,
                                         1000000000000000000};
    int64_t div = kPow10[-shift];
    m = digits / div;
    if ((digits % div) >= div - digits % div) ++m;  // half away from zero
  }
  if (m >= Pow10(Decimal::kMaxDigits)) RaisePlatform(err::kOverflow);
  return Decimal(negative ? -m : m, scale);
}

}  // namespace q8::ado
