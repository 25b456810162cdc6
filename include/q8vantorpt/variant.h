// Automation values: Variant, Decimal and Date.
//
// Variant is the value type that crosses every boundary of the component:
// filter dictionaries, record-set fields, method arguments of the late-bound
// surface. Its conversions follow the automation rules the component relies
// on: Empty reads as "", 0 or false; text converts to numbers with surrounding
// blanks allowed; integer conversion rounds half to even; an impossible
// conversion raises error 13, an overflow error 6, and Null where a value is
// needed error 94.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "q8vantorpt/export.h"

namespace q8 {

__extension__ typedef __int128 Int128;

// Exact fixed-point number: a 128-bit mantissa and a scale of 0..38 digits,
// enough for SQL decimal(38, s).
class Q8_API Decimal {
 public:
  static constexpr int kMaxDigits = 38;

  Decimal() = default;
  Decimal(Int128 mantissa, int scale) : mantissa_(mantissa), scale_(scale) {}
  static Decimal FromInt(int64_t v) { return Decimal(v, 0); }
  // Rounds to `scale` digits, half away from zero. Raises 6 when out of range.
  static Decimal FromDouble(double v, int scale);
  // Plain decimal text: optional sign, digits, optional point and digits,
  // optional exponent. Surrounding blanks allowed. nullopt when not a number.
  static std::optional<Decimal> Parse(std::string_view text);

  Int128 mantissa() const { return mantissa_; }
  int scale() const { return scale_; }
  bool IsZero() const { return mantissa_ == 0; }
  bool IsNegative() const { return mantissa_ < 0; }

  // The same value at another scale, rounding half away from zero.
  Decimal Rescale(int scale) const;
  double ToDouble() const;
  // Digits with exactly scale() decimals ("12.5000000000"), no exponent.
  std::string ToString() const;
  // Shortest exact text: trailing zeros of the fraction removed ("12.5").
  std::string ToShortString() const;

  int Compare(const Decimal& other) const;
  friend bool operator==(const Decimal& a, const Decimal& b) { return a.Compare(b) == 0; }
  friend bool operator<(const Decimal& a, const Decimal& b) { return a.Compare(b) < 0; }

  Decimal operator+(const Decimal& o) const;
  Decimal operator-(const Decimal& o) const;
  Decimal operator*(const Decimal& o) const;  // scale = min(38, s1 + s2), rounded

 private:
  Int128 mantissa_ = 0;
  int scale_ = 0;
};

// Automation dates: days since 1899-12-30 00:00:00 as a double; the fraction
// is the time of day.
namespace date {
struct Parts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};
Q8_API double FromParts(const Parts& p);
Q8_API Parts ToParts(double d);
// "YYYY-MM-DD HH:MM:SS", with ".fff" only when the milliseconds are not zero.
Q8_API std::string ToIso(double d);
// The platform's default date-to-text conversion: "YYYY-MM-DD" at midnight,
// otherwise "YYYY-MM-DD HH:MM:SS".
Q8_API std::string ToDefaultText(double d);
// "YYYY/MM/DD".
Q8_API std::string ToSlashed(double d);
// Reads the usual forms: "YYYY-MM-DD", "YYYY/MM/DD", "YYYYMMDD", each with an
// optional " HH:MM[:SS[.fff]]" or "THH:MM:SS"; nullopt when unreadable.
Q8_API std::optional<double> Parse(std::string_view text);
// The local time now.
Q8_API double Now();
}  // namespace date

// Base of every automation object a Variant can refer to.
class Q8_API Object {
 public:
  virtual ~Object() = default;
};
using ObjectPtr = std::shared_ptr<Object>;

enum class VarType {
  kEmpty,
  kNull,
  kBool,
  kInteger,
  kLong,
  kDouble,
  kDecimal,
  kDate,
  kString,
  kObject,
  kMissing
};

class Q8_API Variant {
 public:
  struct NullTag {};
  struct MissingTag {};
  struct DateValue {
    double days = 0;
  };

  Variant() = default;  // Empty
  Variant(bool v) : v_(v) {}
  Variant(int16_t v) : v_(v) {}
  Variant(int32_t v) : v_(v) {}
  Variant(double v) : v_(v) {}
  Variant(const Decimal& v) : v_(v) {}
  Variant(std::string v) : v_(std::move(v)) {}
  Variant(std::string_view v) : v_(std::string(v)) {}
  Variant(const char* v) : v_(std::string(v)) {}
  Variant(ObjectPtr v) : v_(std::move(v)) {}
  template <class T>
  Variant(std::shared_ptr<T> v) : v_(ObjectPtr(std::move(v))) {}

  static Variant Null() { return Variant(NullTag{}); }
  static Variant Missing() { return Variant(MissingTag{}); }
  static Variant Date(double days) { return Variant(DateValue{days}); }
  // A 64-bit integer, stored as Long when it fits and as Decimal otherwise.
  static Variant FromInt64(int64_t v);

  VarType type() const;
  bool IsEmpty() const { return type() == VarType::kEmpty; }
  bool IsNull() const { return type() == VarType::kNull; }
  bool IsMissing() const { return type() == VarType::kMissing; }
  bool IsObject() const { return type() == VarType::kObject; }
  bool IsNumeric() const;  // Bool, Integer, Long, Double, Decimal, Date
  bool IsText() const { return type() == VarType::kString; }

  // Conversions (automation rules; see the file comment).
  bool ToBool() const;
  int16_t ToInteger() const;
  int32_t ToLong() const;
  int64_t ToInt64() const;
  double ToDouble() const;
  Decimal ToDecimal() const;
  double ToDate() const;       // days since 1899-12-30
  std::string ToText() const;  // Empty → ""; Null raises 94; Date → default text
  ObjectPtr ToObject() const;  // raises 13 unless an object (or Empty/Missing → nullptr)
  template <class T>
  std::shared_ptr<T> As() const {
    return std::dynamic_pointer_cast<T>(ToObject());
  }

  // Direct access for callers that checked type().
  const std::string& text() const { return std::get<std::string>(v_); }
  double date_days() const { return std::get<DateValue>(v_).days; }

  // Automation "=": Empty equals 0, "" and false; a text compared with a number
  // is converted to a number (13 when it is not one); Null compares unequal.
  bool EqualsNumber(double n) const;
  bool EqualsText(std::string_view s) const;

  // Exact structural equality (same type and value), for tests and containers.
  friend bool operator==(const Variant& a, const Variant& b);

  // A short debug form such as Long(5) or String("x").
  std::string DebugString() const;

 private:
  explicit Variant(NullTag t) : v_(t) {}
  explicit Variant(MissingTag t) : v_(t) {}
  explicit Variant(DateValue d) : v_(d) {}

  std::variant<std::monostate, NullTag, bool, int16_t, int32_t, double, Decimal, DateValue,
               std::string, ObjectPtr, MissingTag>
      v_;
};
// The friend above, declared again to export it.
Q8_API bool operator==(const Variant& a, const Variant& b);

}  // namespace q8
