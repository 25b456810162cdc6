// Automation values: conversions, Decimal arithmetic and dates.
#include "q8vantorpt/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "q8vantorpt/error.h"
#include "tests/support/support.h"

namespace q8 {
namespace {

using testing::ErrorNumberOf;

Decimal Dec(const char* text) {
  auto d = Decimal::Parse(text);
  EXPECT_TRUE(d.has_value()) << text;
  return d.value_or(Decimal());
}

// The error number a call raises, or 0 when it raises nothing.

struct Obj : Object {};

TEST(VariantConversion, ToLongRoundsHalfToEven) {
  struct Case {
    Variant in;
    int32_t want;
  } cases[] = {
      {Variant(2.5), 2},
      {Variant(3.5), 4},
      {Variant(-2.5), -2},
      {Variant(-3.5), -4},
      {Variant(2.4999), 2},
      {Variant("  12  "), 12},  // surrounding blanks are allowed
      {Variant("2.5"), 2},
      {Variant("3.5"), 4},
      {Variant("1e3"), 1000},
      {Variant("+7"), 7},
      {Variant(Dec("2.5")), 2},
      {Variant(Dec("3.5")), 4},
      {Variant(Dec("-0.5")), 0},
      {Variant::Date(1.5), 2},
      {Variant(), 0},  // Empty reads as 0
      {Variant(true), -1},
      {Variant(false), 0},
      {Variant("True"), -1},
      {Variant(int16_t{-7}), -7},
      {Variant("-2147483648"), std::numeric_limits<int32_t>::min()},
      {Variant(2147483647.4), std::numeric_limits<int32_t>::max()},
  };
  for (const auto& c : cases) EXPECT_EQ(c.in.ToLong(), c.want) << c.in.DebugString();
}

TEST(VariantConversion, ConversionErrors) {
  struct Case {
    const char* what;
    std::function<void()> call;
    int32_t want;
  } cases[] = {
      {"text that is no number", [] { Variant("abc").ToLong(); }, err::kTypeMismatch},
      {"empty text is no number", [] { Variant("").ToLong(); }, err::kTypeMismatch},
      {"trailing garbage", [] { Variant("12x").ToDouble(); }, err::kTypeMismatch},
      {"hex is not accepted", [] { Variant("0x10").ToDouble(); }, err::kTypeMismatch},
      {"inf is not a number", [] { Variant("inf").ToDouble(); }, err::kTypeMismatch},
      {"nan is not a number", [] { Variant("nan").ToDouble(); }, err::kTypeMismatch},
      {"Null to Long", [] { Variant::Null().ToLong(); }, err::kInvalidUseOfNull},
      {"Null to text", [] { Variant::Null().ToText(); }, err::kInvalidUseOfNull},
      {"Null to Boolean", [] { Variant::Null().ToBool(); }, err::kInvalidUseOfNull},
      {"Null to Date", [] { Variant::Null().ToDate(); }, err::kInvalidUseOfNull},
      {"Long overflow after rounding", [] { Variant(2147483647.5).ToLong(); }, err::kOverflow},
      {"Long overflow from text", [] { Variant("2147483648").ToLong(); }, err::kOverflow},
      {"Integer overflow", [] { Variant(int32_t{40000}).ToInteger(); }, err::kOverflow},
      {"Integer overflow at the half", [] { Variant(32767.5).ToInteger(); }, err::kOverflow},
      {"huge double", [] { Variant(1e300).ToLong(); }, err::kOverflow},
      {"double overflow from text", [] { Variant("1e999").ToDouble(); }, err::kOverflow},
      {"Boolean from other words", [] { Variant("yes").ToBool(); }, err::kTypeMismatch},
      {"object to text", [] { Variant(std::make_shared<Obj>()).ToText(); }, err::kTypeMismatch},
      {"missing argument to Long", [] { Variant::Missing().ToLong(); }, err::kTypeMismatch},
      {"number to object", [] { Variant(int32_t{1}).ToObject(); }, err::kTypeMismatch},
      {"text that is no date", [] { Variant("31.12.2024").ToDate(); }, err::kTypeMismatch},
      {"date out of range", [] { Variant(3e6).ToDate(); }, err::kOverflow},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorNumberOf(c.call), c.want) << c.what;
}

TEST(VariantConversion, ToBool) {
  struct Case {
    Variant in;
    bool want;
  } cases[] = {
      {Variant("True"), true},      {Variant("false"), false}, {Variant(" TRUE "), true},
      {Variant("0"), false},        {Variant("-1"), true},     {Variant("0.0"), false},
      {Variant(), false},           {Variant(1.5), true},      {Variant(Dec("0.00")), false},
      {Variant(int16_t{0}), false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.in.ToBool(), c.want) << c.in.DebugString();
}

TEST(VariantConversion, ToDoubleAndDecimal) {
  EXPECT_EQ(Variant("  1.5 ").ToDouble(), 1.5);
  EXPECT_EQ(Variant("-1e-3").ToDouble(), -0.001);
  EXPECT_EQ(Variant(Dec("12.5")).ToDouble(), 12.5);
  EXPECT_EQ(Variant().ToDouble(), 0);
  EXPECT_EQ(Variant(true).ToDouble(), -1);
  // A double becomes the decimal of its shortest text, not of its binary value.
  EXPECT_EQ(Variant(0.1).ToDecimal().ToString(), "0.1");
  EXPECT_EQ(Variant("12.50").ToDecimal().ToString(), "12.50");
  EXPECT_EQ(Variant(int32_t{-3}).ToDecimal().ToString(), "-3");
  EXPECT_EQ(Variant::FromInt64(5).type(), VarType::kLong);
  EXPECT_EQ(Variant::FromInt64(int64_t{1} << 40).type(), VarType::kDecimal);
  EXPECT_EQ(Variant::FromInt64(int64_t{1} << 40).ToInt64(), int64_t{1} << 40);
}

TEST(VariantConversion, ToText) {
  struct Case {
    Variant in;
    const char* want;
  } cases[] = {
      {Variant(), ""},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(int32_t{-5}), "-5"},
      {Variant(1.5), "1.5"},
      {Variant(0.1 + 0.2), "0.3"},  // 15 significant digits, as the platform prints
      {Variant(1e20), "1E+20"},
      {Variant(123456789012345.0), "123456789012345"},
      {Variant(-0.0), "0"},
      {Variant(Dec("12.50")), "12.5"},
      {Variant(Dec("-0.000")), "0"},
      {Variant::Date(45351.0), "2024-02-29"},  // midnight: no time
      {Variant::Date(45351.5), "2024-02-29 12:00:00"},
      {Variant("text"), "text"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.in.ToText(), c.want) << c.in.DebugString();
}

TEST(VariantCompare, EqualsNumberAndText) {
  struct Case {
    Variant v;
    double n;
    bool want;
  } numbers[] = {
      {Variant(), 0, true},  // Empty equals 0 ("Status" absent from a filter)
      {Variant(), 1, false},          {Variant("5"), 5, true},        {Variant(" 5 "), 5, true},
      {Variant(true), -1, true},      {Variant(Dec("1.0")), 1, true}, {Variant::Null(), 0, false},
      {Variant(int16_t{2}), 2, true},
  };
  for (const auto& c : numbers) EXPECT_EQ(c.v.EqualsNumber(c.n), c.want) << c.v.DebugString();
  EXPECT_EQ(ErrorNumberOf([] { Variant("x").EqualsNumber(0); }), err::kTypeMismatch);

  struct TextCase {
    Variant v;
    const char* s;
    bool want;
  } texts[] = {
      {Variant(), "", true},
      {Variant("a"), "a", true},
      {Variant("a"), "A", false},  // text compares exactly
      {Variant::Null(), "", false},
      {Variant(int32_t{0}), "", false},  // a number never equals a text that is no number
      {Variant(int32_t{5}), "5", true},
      {Variant(int32_t{5}), "5.0", true},
      {Variant(true), "True", true},
      {Variant::Date(45351.0), "2024-02-29", true},
  };
  for (const auto& c : texts) EXPECT_EQ(c.v.EqualsText(c.s), c.want) << c.v.DebugString();
}

TEST(Decimal, ParseAndPrint) {
  struct Case {
    const char* in;
    const char* want;  // nullptr: not a number or out of range
  } cases[] = {
      {"12.50", "12.50"},
      {"  -0.5 ", "-0.5"},
      {"1e3", "1000"},
      {"1.5e-2", "0.015"},
      {".5", "0.5"},
      {"5.", "5"},
      {"+3", "3"},
      {"007", "7"},
      {"0.000", "0.000"},
      {"99999999999999999999999999999999999999", "99999999999999999999999999999999999999"},
      // Around 2^64, where the digits change from 128-bit to 64-bit division.
      {"18446744073709551615", "18446744073709551615"},
      {"18446744073709551616", "18446744073709551616"},
      {"-1844674407370955161.6", "-1844674407370955161.6"},
      {"1844674407370955161.60000000000000000", "1844674407370955161.60000000000000000"},
      {"0.18446744073709551617", "0.18446744073709551617"},
      {"999999999999999999999999999999999999999", nullptr},  // 39 digits
      {"1e38", nullptr},
      // Beyond 38 decimals the text is rounded (half away from zero).
      {"0.000000000000000000000000000000000000015", "0.00000000000000000000000000000000000002"},
      {"abc", nullptr},
      {"", nullptr},
      {"1e", nullptr},
      {"1 2", nullptr},
      {"-", nullptr},
  };
  for (const auto& c : cases) {
    auto d = Decimal::Parse(c.in);
    if (c.want == nullptr) {
      EXPECT_FALSE(d.has_value()) << c.in;
    } else {
      ASSERT_TRUE(d.has_value()) << c.in;
      EXPECT_EQ(d->ToString(), c.want) << c.in;
    }
  }
  EXPECT_EQ(Decimal(-5, 3).ToString(), "-0.005");
  EXPECT_EQ(Decimal(0, 2).ToString(), "0.00");
  EXPECT_EQ(Dec("12.500").ToShortString(), "12.5");
  EXPECT_EQ(Dec("100").ToShortString(), "100");
}

TEST(Decimal, RoundsHalfAwayFromZero) {
  struct Case {
    const char* in;
    int scale;
    const char* want;
  } cases[] = {
      {"2.5", 0, "3"},      {"-2.5", 0, "-3"},     {"1.25", 1, "1.3"}, {"1.2345", 2, "1.23"},
      {"1.235", 2, "1.24"}, {"12.5", 3, "12.500"}, {"0.4999", 0, "0"}, {"-0.05", 1, "-0.1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Dec(c.in).Rescale(c.scale).ToString(), c.want) << c.in;

  EXPECT_EQ(Decimal::FromDouble(2.675, 2).ToString(), "2.68");
  EXPECT_EQ(Decimal::FromDouble(0.125, 2).ToString(), "0.13");
  EXPECT_EQ(Decimal::FromDouble(-0.125, 2).ToString(), "-0.13");
  // Rounded once: 1.5555495143885415e-32 rounded first to 38 decimals ends
  // in ...5550 and would then round up at 36 (found by fuzz_variant).
  EXPECT_EQ(Decimal::FromDouble(1.5555495143885415e-32, 36).ToShortString(),
            "0.000000000000000000000000000000015555");
  // A fraction above 0.85 at scale 38: twice it does not fit in 128 bits.
  EXPECT_EQ(Dec("0.90000000000000000000000000000000000000").Rescale(0).ToString(), "1");
  EXPECT_EQ(Variant("0.99990000000000000000000000000000000001").ToLong(), 1);
  EXPECT_EQ(Variant("-0.90000000000000000000000000000000000000").ToLong(), -1);
  EXPECT_EQ(ErrorNumberOf([] { Decimal::FromDouble(1e40, 0); }), err::kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { Decimal::FromDouble(NAN, 0); }), err::kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { Dec("99999999999999999999999999999999999999").Rescale(1); }),
            err::kOverflow);
}

TEST(Decimal, Arithmetic) {
  EXPECT_EQ((Dec("0.1") + Dec("0.2")).ToString(), "0.3");
  EXPECT_EQ((Dec("1.5") - Dec("2.25")).ToString(), "-0.75");
  EXPECT_EQ((Dec("1.5") * Dec("1.5")).ToString(), "2.25");
  EXPECT_EQ((Dec("-1.5") * Dec("2")).ToString(), "-3.0");
  // decimal(38,10) sums as the reports compute them.
  EXPECT_EQ((Dec("1234567890123456789012345678.1234567890") + Dec("0.0000000001")).ToString(),
            "1234567890123456789012345678.1234567891");
  // A product needing more than 38 decimals is rounded to 38.
  EXPECT_EQ((Dec("0.0000000000000000001") * Dec("0.00000000000000000015")).ToString(),
            "0.00000000000000000000000000000000000002");
  // A product wider than 128 bits keeps its 38 leading digits.
  EXPECT_EQ((Dec("12345678901234567890.123456789") * Dec("10000000000.5")).ToString(),
            "123456789018518518351851851835.06172839");
  EXPECT_EQ(ErrorNumberOf([] { Dec("10000000000000000000000000000000000000") * Dec("10"); }),
            err::kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { Dec("99999999999999999999999999999999999999") + Dec("1"); }),
            err::kOverflow);
  // A sum that needs more than 38 digits keeps fewer decimals rather than failing.
  EXPECT_EQ((Dec("9999999999999999999999999999999999999.9") + Dec("0.01")).ToString(),
            "9999999999999999999999999999999999999.9");
}

TEST(Decimal, Compare) {
  EXPECT_EQ(Dec("1.50"), Dec("1.5"));
  EXPECT_LT(Dec("-1"), Dec("0.5"));
  EXPECT_LT(Dec("-2"), Dec("-1.5"));
  EXPECT_LT(Dec("99999999999999999999999999999999999998"),
            Dec("99999999999999999999999999999999999999"));
  EXPECT_LT(Dec("0.00000000000000000000000000000000000001"), Dec("1"));
  EXPECT_EQ(Dec("0"), Dec("-0.000"));
}

TEST(Dates, PartsAndText) {
  struct Case {
    date::Parts parts;
    double days;
    const char* iso;
  } cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0, "1899-12-30 00:00:00"},
      {{1900, 1, 1, 0, 0, 0, 0}, 2, "1900-01-01 00:00:00"},
      {{2000, 1, 1, 0, 0, 0, 0}, 36526, "2000-01-01 00:00:00"},
      {{2024, 2, 29, 12, 0, 0, 0}, 45351.5, "2024-02-29 12:00:00"},
      {{2024, 2, 29, 12, 0, 0, 250}, 45351.5 + 0.25 / 86400, "2024-02-29 12:00:00.250"},
      // Before the epoch the time still counts forward from midnight.
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25, "1899-12-29 06:00:00"},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(date::FromParts(c.parts), c.days) << c.iso;
    EXPECT_EQ(date::ToIso(c.days), c.iso);
  }
  EXPECT_EQ(date::ToDefaultText(45351.0), "2024-02-29");
  EXPECT_EQ(date::ToDefaultText(45351.5), "2024-02-29 12:00:00");
  EXPECT_EQ(date::ToSlashed(45351.5), "2024/02/29");
  // A time a hair before midnight rounds to the next day, not to 24:00:00.
  EXPECT_EQ(date::ToIso(45351.9999999999), "2024-03-01 00:00:00");
  double now = date::Now();
  EXPECT_GT(now, 45000);
}

TEST(Dates, Parse) {
  struct Case {
    const char* in;
    const char* want;  // ISO text, nullptr when unreadable
  } cases[] = {
      {"2024-02-29", "2024-02-29 00:00:00"},
      {"2024/2/9", "2024-02-09 00:00:00"},
      {"20240229", "2024-02-29 00:00:00"},
      {" 2024-02-29 13:45 ", "2024-02-29 13:45:00"},
      {"2024-02-29T13:45:10", "2024-02-29 13:45:10"},
      {"2024-02-29 13:45:10.5", "2024-02-29 13:45:10.500"},
      {"2024-02-29 13:45:10.123", "2024-02-29 13:45:10.123"},
      {"20240229 08:00:00", "2024-02-29 08:00:00"},
      {"2023-02-29", nullptr},
      {"2024-13-01", nullptr},
      {"2024-00-10", nullptr},
      {"2024-02-29 24:00", nullptr},
      {"2024-02-29 12:60", nullptr},
      {"abc", nullptr},
      {"2024-02-29x", nullptr},
      {"2024-02/29", nullptr},
      {"2024022", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    auto d = date::Parse(c.in);
    if (c.want == nullptr) {
      EXPECT_FALSE(d.has_value()) << c.in;
    } else {
      ASSERT_TRUE(d.has_value()) << c.in;
      EXPECT_EQ(date::ToIso(*d), c.want) << c.in;
    }
  }
  EXPECT_EQ(Variant("2024/02/29").ToDate(), 45351.0);
}

}  // namespace
}  // namespace q8
