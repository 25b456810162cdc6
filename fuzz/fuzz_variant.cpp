// libFuzzer target: the text conversions of Variant, Decimal and dates.
//
// The input is read as text. Each conversion of a text Variant either gives a
// value or raises 13 (not a number, not a date) or 6 (out of range); the
// conversions agree with one another; a Decimal read from text writes back to
// a text that reads as the same value and scale; a date read from text writes
// back to a text that reads as the same moment. When the input is eight
// bytes or more, its first eight bytes are also taken as a double and sent
// the other way: Decimal::FromDouble and the double's own text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "q8vantorpt/error.h"
#include "q8vantorpt/variant.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// The conversion's value, or nothing when it raised 13 or 6; any other
// failure is a finding.
template <class F>
auto Try(F&& convert) -> std::optional<decltype(convert())> {
  try {
    return convert();
  } catch (const q8::Error& e) {
    Check(e.number() == q8::err::kTypeMismatch || e.number() == q8::err::kOverflow);
    return std::nullopt;
  }
}

// One millisecond in days, with room for the rounding of a double.
constexpr double kMillisecond = 1.0001 / 86400000.0;

// An automation date as a point on one line of days: the whole days count
// from 1899-12-30 in either direction, the fraction is always the time of
// day forward from midnight (-1.25 is 1899-12-29 06:00, 0.75 days after -1).
double Moment(double d) {
  const double whole = std::trunc(d);
  return whole + std::fabs(d - whole);
}

// A date's ISO text reads back as the same moment, to the millisecond.
void CheckIsoRoundTrip(double date) {
  const auto again = q8::date::Parse(q8::date::ToIso(date));
  Check(again.has_value() && std::fabs(Moment(*again) - Moment(date)) <= kMillisecond);
}

void TextConversions(const std::string& text) {
  const q8::Variant v(text);
  Check(v.EqualsText(text));
  Check(v.ToText() == text);

  const auto as_long = Try([&] { return v.ToLong(); });
  const auto as_int64 = Try([&] { return v.ToInt64(); });
  const auto as_integer = Try([&] { return v.ToInteger(); });
  const auto as_double = Try([&] { return v.ToDouble(); });
  const auto as_decimal = Try([&] { return v.ToDecimal(); });
  const auto as_bool = Try([&] { return v.ToBool(); });
  const auto as_date = Try([&] { return v.ToDate(); });
  const auto equals_zero = Try([&] { return v.EqualsNumber(0); });

  // The integer conversions differ only in their range.
  if (as_integer) Check(as_long && *as_long == *as_integer);
  if (as_long) Check(as_int64 && *as_int64 == *as_long);
  // A text that is an integer is a number: a decimal within half a unit, a
  // double as near as its precision allows.
  if (as_int64) {
    Check(as_decimal.has_value() && as_double.has_value());
    const double x = static_cast<double>(*as_int64);
    Check(std::fabs(*as_double - x) <= 0.5 + std::fabs(x) * 1e-15);
  }
  // Decimal and double read the same grammar.
  if (as_decimal) {
    Check(as_double.has_value() || !std::isfinite(std::strtod(text.c_str(), nullptr)));
    if (as_double) {
      // The decimal keeps at most 38 decimals.
      const double d = as_decimal->ToDouble();
      Check(std::fabs(d - *as_double) <= std::fabs(*as_double) * 1e-14 + 1e-38);
    }
  }
  // Booleans: a number is true when not zero.
  if (as_double && as_bool) Check(*as_bool == (*as_double != 0));
  // Comparing with a number reads the text as ToDouble does ("True" aside,
  // which only ToDouble takes).
  if (as_double && equals_zero) Check(*equals_zero == (*as_double == 0));
  if (as_date) CheckIsoRoundTrip(*as_date);
}

void DecimalRoundTrip(const std::string& text) {
  const std::optional<q8::Decimal> d = q8::Decimal::Parse(text);
  if (!d) return;
  Check(d->scale() >= 0 && d->scale() <= q8::Decimal::kMaxDigits);
  const q8::Int128 max = [] {
    q8::Int128 m = 1;
    for (int i = 0; i < q8::Decimal::kMaxDigits; ++i) m *= 10;
    return m - 1;
  }();
  Check(d->mantissa() <= max && d->mantissa() >= -max);

  const std::string full = d->ToString();
  const std::optional<q8::Decimal> back = q8::Decimal::Parse(full);
  Check(back && back->mantissa() == d->mantissa() && back->scale() == d->scale());
  // Exactly scale() decimals.
  const size_t point = full.find('.');
  Check(d->scale() == 0 ? point == std::string::npos
                        : full.size() - point - 1 == static_cast<size_t>(d->scale()));

  const std::optional<q8::Decimal> shortest = q8::Decimal::Parse(d->ToShortString());
  Check(shortest && *shortest == *d);
  Check(d->Compare(*d) == 0);
  Check(std::isfinite(d->ToDouble()));
}

void DoubleConversions(const uint8_t* data, size_t size) {
  if (size < 8) return;
  double x;
  std::memcpy(&x, data, sizeof x);
  const int scale = data[size - 1] % (q8::Decimal::kMaxDigits + 1);
  if (const auto d = Try([&] { return q8::Decimal::FromDouble(x, scale); })) {
    Check(std::isfinite(x));
    Check(d->scale() == scale);
    const double half_unit = 0.5 * std::pow(10.0, -scale);
    Check(std::fabs(d->ToDouble() - x) <= half_unit * (1 + 1e-9) + std::fabs(x) * 1e-15);
  }
  // The text of a double reads back to it, to the fifteen digits written.
  const q8::Variant v(x);
  const std::string text = v.ToText();
  if (std::isfinite(x)) {
    const auto back = Try([&] { return q8::Variant(text).ToDouble(); });
    // Fifteen digits of the largest doubles round past the largest double,
    // and the text then overflows, as it does on the platform.
    Check(back.has_value() || std::fabs(x) > 1.79769313486231e308);
    if (back) Check(*back == x || std::fabs(*back - x) <= std::fabs(x) * 1e-14);
    // A double within the automation range is a date, and its ISO text
    // reads back to the same millisecond.
    if (const auto date = Try([&] { return v.ToDate(); })) CheckIsoRoundTrip(*date);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TextConversions(text);
  DecimalRoundTrip(text);
  DoubleConversions(data, size);
  return 0;
}
