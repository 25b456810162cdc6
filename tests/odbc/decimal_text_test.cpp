// Exact numbers as drivers write them, read into Decimals.
#include <gtest/gtest.h>

#include "drivers/odbc/columns.h"

namespace q8::odbc {
namespace {

TEST(DecimalFromTextTest, DriverTexts) {
  struct {
    const char* why;
    const char* text;
    int scale;
    const char* expected;  // nullptr: refused
  } const kCases[] = {
      {"scale-padded, as psqlODBC writes it", "12.5000", 4, "12.5000"},
      {"38 digits", "-12345678901234567890.123456789012345678", 18,
       "-12345678901234567890.123456789012345678"},
      {"no zero before the point", ".5", 2, "0.50"},
      {"negative without a zero", "-.25", 2, "-0.25"},
      {"fewer decimals than the scale", "7", 3, "7.000"},
      {"a wider server number, rounded half away from zero", "1.23456789", 4, "1.2346"},
      {"rounding a negative", "-1.00005", 4, "-1.0001"},
      {"carry through the point", "9.9996", 3, "10.000"},
      {"carry into a new leading digit after the sign", "-99.96", 1, "-100.0"},
      {"rounding down leaves the digits", "0.12344999", 4, "0.1234"},
      {"43 digits rounded to fit 38", "1234567.123456789012345678901234567890123456", 31,
       "1234567.1234567890123456789012345678901"},
      {"not a number", "abc", 0, nullptr},
      {"more than 38 integer digits", "123456789012345678901234567890123456789", 0, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    std::optional<Decimal> d;
    try {
      d = DecimalFromText(c.text, c.scale);
    } catch (const Error&) {
      d.reset();  // out of range
    }
    if (!c.expected) {
      EXPECT_FALSE(d.has_value()) << d->ToString();
      continue;
    }
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(d->ToString(), c.expected);
  }
}

}  // namespace
}  // namespace q8::odbc
