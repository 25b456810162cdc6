// Automation values: Variant conversions (see variant.h for the rules).
#include "q8vantorpt/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/number_text.h"
#include "core/text.h"
#include "q8vantorpt/error.h"

namespace q8 {

namespace {

using number_text::ParseDecimal;
using number_text::ParseStatus;
using number_text::ScanNumber;
using number_text::ShortestText;
using number_text::TrimBlanks;

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
  Int128 v = number_text::RoundHalfEven(d);
  if (v < lo || v > hi) RaisePlatform(err::kOverflow);
  return static_cast<int64_t>(v);
}

// "True"/"False" in any letter case; nullopt for other text.
std::optional<bool> BoolWord(std::string_view s) {
  s = TrimBlanks(s);
  if (EqualsNoCase(s, "true")) return true;
  if (EqualsNoCase(s, "false")) return false;
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
