// Exact decimal arithmetic and the stored form of decimals.
//
// The kernel is checked against cases whose results follow from SQL
// Server's rules by hand (each with the rule it rests on), its wide paths
// (products of two 38-digit values, dividends scaled far up) included. The
// stored form is checked for what the engine relies on: every value reads
// back exactly, equal values take one form, and a REAL is the very double
// SQLite reads from the value's digits, so that "=" against a constant holds.
#include "drivers/sqlite/tsql/numeric.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>

#include "drivers/sqlite/tsql/exact.h"

namespace q8::tsql {
namespace {

using num::Rounding;
using num::Shape;
using num::Status;

Decimal D(const char* text) { return *Decimal::Parse(text); }

enum class Op { kAdd, kSub, kMul, kDiv, kMod };

struct ArithCase {
  Op op;
  const char* a;
  const char* b;
  Shape to;
  const char* want;  // the result with every digit of its scale, or "overflow" / "zero"
  const char* why;
};

TEST(Numeric, ArithmeticFollowsTheResultType) {
  const ArithCase cases[] = {
      {Op::kAdd, "0.1", "0.2", {2, 1}, "0.3", "exact, unlike a double"},
      {Op::kAdd, "1234567.1234567891", "1", {24, 10}, "1234568.1234567891", "past 15 digits"},
      {Op::kSub, "1", "1.0000000001", {12, 10}, "-0.0000000001", "a negative difference"},
      {Op::kAdd, "99999999999999999999999999999999999999", "1", {38, 0}, "overflow", "39 digits"},
      {Op::kAdd,
       "99999999999999999999999999999999999999",
       "0.00000000000000000000000000000000000001",
       {38, 0},
       "99999999999999999999999999999999999999",
       "aligned operands past 128 bits, then rounded to the scale"},
      {Op::kAdd,
       "1",
       "0.00000000000000000000000000000000000004",
       {38, 6},
       "1.000000",
       "a scale reduced to 6 rounds the sum"},
      {Op::kMul,
       "1.23456789",
       "3.3333333333",
       {38, 6},
       "4.115226",
       "decimal(38,10) * decimal(23,10): scale reduced to 6, rounded"},
      {Op::kMul, "123456789012345.67", "3", {22, 2}, "370370367037037.01", "exact product"},
      {Op::kMul,
       "99999999999999999999.99999999",
       "99999999999999999.9",
       {38, 1},
       "9999999999999999989999999999000000000.0",
       "a 256-bit product, rounded to its scale"},
      {Op::kMul, "99999999999999999999", "99999999999999999999", {38, 0}, "overflow", "40 digits"},
      {Op::kMul, "-2.5", "0.5", {5, 1}, "-1.3", "half away from zero, negative"},
      {Op::kDiv, "1.0", "3", {7, 6}, "0.333333", "1.0 / 3: decimal(7,6)"},
      {Op::kDiv, "2", "3", {7, 6}, "0.666666", "a quotient is truncated at its scale"},
      {Op::kDiv, "-2", "3", {7, 6}, "-0.666666", "truncated toward zero"},
      {Op::kDiv,
       "5.00000000000000000000",
       "3.00000000000000000000",
       {38, 37},
       "1.6666666666666666666666666666666666666",
       "a dividend scaled past 128 bits"},
      {Op::kDiv,
       "12345678901234567890123456789012345678",
       "0.00000001",
       {38, 0},
       "overflow",
       "a quotient past 38 digits"},
      {Op::kDiv, "5", "0", {10, 6}, "zero", "division by zero"},
      {Op::kDiv, "0.000001", "1000000000", {38, 6}, "0.000000", "a quotient below the scale"},
      {Op::kMod, "7.5", "2", {2, 1}, "1.5", "the remainder of decimals"},
      {Op::kMod, "-7.5", "2", {2, 1}, "-1.5", "takes the dividend's sign"},
      {Op::kMod, "7", "0.0", {2, 1}, "zero", "modulo by zero"},
  };
  for (const ArithCase& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " op " + c.b + ": " + c.why);
    Decimal r;
    Status st = Status::kOk;
    switch (c.op) {
      case Op::kAdd:
        st = num::Add(D(c.a), D(c.b), c.to, &r);
        break;
      case Op::kSub:
        st = num::Sub(D(c.a), D(c.b), c.to, &r);
        break;
      case Op::kMul:
        st = num::Mul(D(c.a), D(c.b), c.to, &r);
        break;
      case Op::kDiv:
        st = num::Div(D(c.a), D(c.b), c.to, &r);
        break;
      case Op::kMod:
        st = num::Mod(D(c.a), D(c.b), c.to, &r);
        break;
    }
    const std::string got = st == Status::kOverflow       ? "overflow"
                            : st == Status::kDivideByZero ? "zero"
                                                          : r.ToString();
    EXPECT_EQ(got, c.want);
    if (st == Status::kOk) {
      EXPECT_EQ(r.scale(), c.to.scale);
    }
  }
}

TEST(Numeric, RoundingFunctions) {
  struct {
    const char* v;
    int places;
    Rounding mode;
    Shape to;
    const char* want;
  } cases[] = {
      {"9.6", 0, Rounding::kHalfAwayFromZero, {2, 1}, "overflow"},  // 10.0 needs decimal(3,1)
      {"9.4", 0, Rounding::kHalfAwayFromZero, {2, 1}, "9.0"},
      {"748.58", -2, Rounding::kHalfAwayFromZero, {5, 2}, "700.00"},
      {"748.58", -3, Rounding::kHalfAwayFromZero, {5, 2}, "overflow"},  // 1000.00
      {"748.58", -4, Rounding::kHalfAwayFromZero, {5, 2}, "0.00"},
      {"-2.5", 0, Rounding::kHalfAwayFromZero, {2, 1}, "-3.0"},
      {"2.59", 1, Rounding::kTruncate, {3, 2}, "2.50"},
      {"-2.59", 1, Rounding::kTruncate, {3, 2}, "-2.50"},
      {"1.25", 5, Rounding::kHalfAwayFromZero, {3, 2}, "1.25"},  // more places than the scale
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("ROUND(") + c.v + ", " + std::to_string(c.places) + ")");
    Decimal r;
    const Status st = num::Round(D(c.v), c.places, c.mode, c.to, &r);
    EXPECT_EQ(st == Status::kOverflow ? std::string("overflow") : r.ToString(), c.want);
  }
  struct {
    const char* v;
    const char* ceiling;
    const char* floor;
  } whole[] = {{"1.5", "2", "1"}, {"-1.5", "-1", "-2"}, {"-0.5", "0", "-1"}, {"3", "3", "3"}};
  for (const auto& c : whole) {
    Decimal r;
    ASSERT_EQ(num::Ceiling(D(c.v), Shape{10, 0}, &r), Status::kOk);
    EXPECT_EQ(r.ToString(), c.ceiling) << c.v;
    ASSERT_EQ(num::Floor(D(c.v), Shape{10, 0}, &r), Status::kOk);
    EXPECT_EQ(r.ToString(), c.floor) << c.v;
  }
  Decimal r;
  EXPECT_EQ(num::Rescale(D("1.005"), Shape{3, 2}, Rounding::kHalfAwayFromZero, &r), Status::kOk);
  EXPECT_EQ(r.ToString(), "1.01");
  EXPECT_EQ(num::Rescale(D("1234.5"), Shape{4, 1}, Rounding::kHalfAwayFromZero, &r),
            Status::kOverflow);
  int64_t i = 0;
  EXPECT_EQ(num::ToInteger(D("-2.9"), INT32_MIN, INT32_MAX, &i), Status::kOk);
  EXPECT_EQ(i, -2);
  EXPECT_EQ(num::ToInteger(D("3000000000.5"), INT32_MIN, INT32_MAX, &i), Status::kOverflow);
}

// ---- the stored form ----

class StoredForm : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    ASSERT_EQ(sqlite3_prepare_v2(db_, "SELECT ?1", -1, &echo_, nullptr), SQLITE_OK);
  }
  void TearDown() override {
    sqlite3_finalize(echo_);
    sqlite3_close(db_);
  }

  // `v` stored and read back at `scale`; also reports the storage class.
  std::string RoundTrip(const Decimal& v, int scale, int* type) {
    sqlite3_reset(echo_);
    EXPECT_EQ(exact::Bind(echo_, 1, v), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(echo_), SQLITE_ROW);
    *type = sqlite3_column_type(echo_, 0);
    Decimal back;
    EXPECT_EQ(exact::ReadDecimal(sqlite3_column_value(echo_, 0), scale, &back), exact::Read::kOk);
    return back.ToString();
  }

  // SQLite's own reading of a decimal constant.
  double SqliteReads(const std::string& digits) {
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, ("SELECT " + digits).c_str(), -1, &s, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(s), SQLITE_ROW);
    const double d = sqlite3_column_double(s, 0);
    sqlite3_finalize(s);
    return d;
  }

  sqlite3* db_ = nullptr;
  sqlite3_stmt* echo_ = nullptr;
};

TEST_F(StoredForm, EachValueHasOneFormAndReadsBackExactly) {
  struct {
    const char* value;
    int scale;
    int type;
  } cases[] = {
      {"0.0000000000", 10, SQLITE_INTEGER},
      {"12.0000000000", 10, SQLITE_INTEGER},  // whole: an integer, whatever the scale
      {"-9223372036854775808", 0, SQLITE_INTEGER},
      {"9223372036854775808", 0, SQLITE_BLOB},  // past 64 bits
      {"0.5000000000", 10, SQLITE_FLOAT},
      {"4321971.0600000000", 10, SQLITE_FLOAT},
      {"123456789012345.6", 1, SQLITE_BLOB},  // 16 significant digits
      {"1234567.1234567891", 10, SQLITE_BLOB},
      {"-0.00000000000000000000000000000000000001", 38, SQLITE_FLOAT},
      {"99999999999999999999999999999999999999", 0, SQLITE_BLOB},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    int type = 0;
    EXPECT_EQ(RoundTrip(D(c.value), c.scale, &type), c.value);
    EXPECT_EQ(type, c.type);
    // The same value at another scale takes the same form.
    if (std::string(c.value).size() < 30) {
      const Decimal wider = D(c.value).Rescale(D(c.value).scale() + 1);
      EXPECT_EQ(exact::Encode(wider).kind, exact::Encode(D(c.value)).kind);
      EXPECT_EQ(exact::Encode(wider).digits, exact::Encode(D(c.value)).digits);
    }
  }
}

TEST_F(StoredForm, RealsAreTheDoublesSqliteReadsFromTheDigits) {
  // Random values of up to 15 significant digits at every scale: the stored
  // double is SQLite's reading of the digits (so a constant in a statement
  // equals it), and it reads back as the same digits.
  std::mt19937_64 rng(20240101);
  for (int i = 0; i < 20000; ++i) {
    const int digits = 1 + static_cast<int>(rng() % 15);
    int64_t k = static_cast<int64_t>(rng() % 1000000000000000ULL);
    while (k >= 1 && std::to_string(k).size() > static_cast<size_t>(digits)) k /= 10;
    if (k % 10 == 0) ++k;
    if (rng() % 2) k = -k;
    const int scale = 1 + static_cast<int>(rng() % 30);
    const Decimal v(k, scale);
    const exact::Stored s = exact::Encode(v);
    ASSERT_EQ(s.kind, exact::Stored::kReal) << v.ToString();
    ASSERT_EQ(s.real, SqliteReads(v.ToString())) << v.ToString();
    Decimal back;
    ASSERT_EQ(exact::FromReal(s.real, scale, &back), exact::Read::kOk);
    ASSERT_EQ(back.ToString(), v.ToString());
  }
}

TEST(ExactRead, AnyDoubleReadsAsItsFifteenSignificantDigits) {
  // The fast reading of a REAL agrees with the rounding of its exact binary
  // value to 15 significant digits, then to the column's scale.
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  for (int i = 0; i < 50000; ++i) {
    const int e = static_cast<int>(rng() % 24) - 9;
    double v = mantissa(rng) * std::pow(10.0, e);
    if (rng() % 2) v = -v;
    const int scale = static_cast<int>(rng() % 12);
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    const Decimal fifteen = *Decimal::Parse(std::string(buf, r.ptr));
    Decimal want;
    ASSERT_EQ(num::Rescale(fifteen, Shape{38, scale}, Rounding::kHalfAwayFromZero, &want),
              Status::kOk);
    Decimal got;
    ASSERT_EQ(exact::FromReal(v, scale, &got), exact::Read::kOk);
    ASSERT_EQ(got.ToString(), want.ToString()) << buf << " at scale " << scale;
  }
}

TEST(ExactRead, TextsAndBlobsReadThroughTheirDigits) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  struct {
    const char* sql;
    int scale;
    exact::Read status;
    const char* want;
  } cases[] = {
      {"SELECT ' 12.345 '", 2, exact::Read::kOk, "12.35"},  // blanks, then half away from zero
      {"SELECT '-.5'", 1, exact::Read::kOk, "-0.5"},
      {"SELECT '1e3'", 0, exact::Read::kNotNumber, ""},  // no exponent in a decimal text
      {"SELECT 'abc'", 0, exact::Read::kNotNumber, ""},
      {"SELECT ''", 0, exact::Read::kNotNumber, ""},
      {"SELECT CAST('1234567.1234567891' AS BLOB)", 10, exact::Read::kOk, "1234567.1234567891"},
      {"SELECT '123456789012345678901234567890'", 10, exact::Read::kOverflow, ""},
      {"SELECT NULL", 0, exact::Read::kNull, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, c.sql, -1, &s, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    Decimal d;
    EXPECT_EQ(exact::ReadDecimal(sqlite3_column_value(s, 0), c.scale, &d), c.status);
    if (c.status == exact::Read::kOk) {
      EXPECT_EQ(d.ToString(), c.want);
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
}

}  // namespace
}  // namespace q8::tsql
