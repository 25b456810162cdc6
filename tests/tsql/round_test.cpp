// round(x, n) on a connection with the translator's functions gives exactly
// what SQLite's built-in round() gives: same type, same bits. The translator
// rounds every decimal expression with it, so a difference would change
// report figures; and the function computes most results itself, so every
// path of that computation is checked against the built-in here.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "drivers/sqlite/tsql/translator.h"

namespace {

// One argument of a call: bound as given.
struct Arg {
  enum Kind { kNull, kInt, kReal, kText } kind;
  int64_t i = 0;
  double d = 0;
  std::string t;
};
Arg Null() { return {Arg::kNull, 0, 0, ""}; }
Arg Int(int64_t v) { return {Arg::kInt, v, 0, ""}; }
Arg Real(double v) { return {Arg::kReal, 0, v, ""}; }
Arg Text(std::string v) { return {Arg::kText, 0, 0, std::move(v)}; }

class RoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &plain_), SQLITE_OK);
    ASSERT_EQ(sqlite3_open(":memory:", &ours_), SQLITE_OK);
    ASSERT_EQ(q8::tsql::RegisterFunctions(ours_), SQLITE_OK);
    ASSERT_EQ(sqlite3_prepare_v2(plain_, "SELECT round(?1, ?2)", -1, &plain_stmt_, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_prepare_v2(ours_, "SELECT round(?1, ?2)", -1, &ours_stmt_, nullptr),
              SQLITE_OK);
  }
  void TearDown() override {
    sqlite3_finalize(plain_stmt_);
    sqlite3_finalize(ours_stmt_);
    sqlite3_close(plain_);
    sqlite3_close(ours_);
  }

  static void Bind(sqlite3_stmt* s, int i, const Arg& a) {
    switch (a.kind) {
      case Arg::kNull:
        sqlite3_bind_null(s, i);
        break;
      case Arg::kInt:
        sqlite3_bind_int64(s, i, a.i);
        break;
      case Arg::kReal:
        sqlite3_bind_double(s, i, a.d);
        break;
      case Arg::kText:
        sqlite3_bind_text(s, i, a.t.c_str(), -1, SQLITE_TRANSIENT);
        break;
    }
  }

  // "type:bits" of round(x, n) on one connection.
  static std::string Result(sqlite3_stmt* s, const Arg& x, const Arg& n) {
    Bind(s, 1, x);
    Bind(s, 2, n);
    std::string out;
    if (sqlite3_step(s) != SQLITE_ROW) {
      out = "error";
    } else {
      int type = sqlite3_column_type(s, 0);
      out = std::to_string(type) + ":";
      if (type == SQLITE_FLOAT) {
        double d = sqlite3_column_double(s, 0);
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        out += std::to_string(bits);
      } else if (type != SQLITE_NULL) {
        out += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      }
    }
    sqlite3_reset(s);
    return out;
  }

  void Same(const Arg& x, const Arg& n) {
    std::string want = Result(plain_stmt_, x, n);
    std::string got = Result(ours_stmt_, x, n);
    if (want != got) {
      ++mismatches_;
      if (mismatches_ <= 10) {
        ADD_FAILURE() << "round("
                      << (x.kind == Arg::kReal   ? std::to_string(x.d)
                          : x.kind == Arg::kInt  ? std::to_string(x.i)
                          : x.kind == Arg::kText ? "'" + x.t + "'"
                                                 : std::string("NULL"))
                      << ", " << (n.kind == Arg::kInt ? std::to_string(n.i) : "?") << "): built-in "
                      << want << ", ours " << got;
      }
    }
    ++calls_;
  }

  sqlite3* plain_ = nullptr;
  sqlite3* ours_ = nullptr;
  sqlite3_stmt* plain_stmt_ = nullptr;
  sqlite3_stmt* ours_stmt_ = nullptr;
  int mismatches_ = 0;
  int calls_ = 0;
};

TEST_F(RoundTest, EdgeValues) {
  const std::vector<Arg> xs = {
      Null(),
      Int(0),
      Int(7),
      Int(-7),
      Int(123456789),
      Int(1LL << 52),
      Int(1LL << 53),
      Int(INT64_MAX),
      Int(INT64_MIN),
      Real(0.0),
      Real(-0.0),
      Real(0.5),
      Real(-0.5),
      Real(2.5),
      Real(1e-300),
      Real(37.5),
      Real(4503599627370495.0),
      Real(4503599627370496.0),
      Real(4503599627370497.0),
      Real(-4503599627370495.0),
      Real(1e300),
      Real(-1e300),
      Real(INFINITY),
      Real(-INFINITY),
      Real(99999.99999999999),
      Real(0.1 + 0.2),
      Text("12"),
      Text("12.5"),
      Text(" 7 "),
      Text("abc"),
      Text(""),
      Text("-0"),
      Text("1e5"),
  };
  const std::vector<Arg> ns = {Null(),  Int(-3),   Int(0),    Int(1),    Int(2),   Int(6),
                               Int(10), Int(15),   Int(16),   Int(17),   Int(18),  Int(30),
                               Int(31), Int(1000), Real(2.7), Text("6"), Text("x")};
  for (const Arg& x : xs)
    for (const Arg& n : ns) Same(x, n);
  EXPECT_EQ(mismatches_, 0);
}

// Whole numbers of every size below and above the bound of the quick path,
// and values with fractions, for every n SQLite distinguishes.
TEST_F(RoundTest, WholeAndFractionalValuesForEveryScale) {
  std::mt19937_64 rng(20240101);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int n = 0; n <= 31; ++n) {
    for (int decade = 0; decade <= 17; ++decade) {
      const double lo = std::pow(10.0, decade), hi = lo * 10;
      for (int k = 0; k < 400; ++k) {
        double whole = std::floor(lo + (hi - lo) * unit(rng));
        Same(Real(k % 2 ? -whole : whole), Int(n));
        Same(Int(static_cast<int64_t>(k % 2 ? -whole : whole)), Int(n));
        double fraction = lo * unit(rng) * 10;
        Same(Real(k % 2 ? -fraction : fraction), Int(n));
      }
    }
    // The edges of the bound itself.
    for (int decade = 0; decade <= 17; ++decade) {
      const double p = std::pow(10.0, decade);
      for (double d : {p - 1, p, p + 1}) {
        Same(Real(d), Int(n));
        Same(Real(-d), Int(n));
      }
    }
  }
  EXPECT_EQ(mismatches_, 0) << "of " << calls_ << " calls";
}

// Quantities and amounts like those of the reports: sums of lines with up to
// four decimals, products with prices, quotients by unit coefficients.
TEST_F(RoundTest, ReportLikeValues) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<int> qty(0, 5000), cents(0, 9999), coef(1, 48);
  for (int k = 0; k < 20000; ++k) {
    double q = qty(rng);
    double price = cents(rng) / 100.0;
    Same(Real(q * price), Int(6));
    Same(Real(q / coef(rng)), Int(15));
    Same(Real(q / coef(rng)), Int(10));
    Same(Real(q * 1000 + cents(rng) / 10000.0), Int(10));
    Same(Int(qty(rng) * 1000), Int(10));
  }
  EXPECT_EQ(mismatches_, 0) << "of " << calls_ << " calls";
}

// Values on and next to the half-way points of every scale, where rounding
// decides, and quotients with endless fractions.
TEST_F(RoundTest, HalfWayPointsAndEndlessFractions) {
  std::mt19937_64 rng(99);
  for (int n = 0; n <= 23; ++n) {
    const double p = std::pow(10.0, n);
    for (int decade = 0; decade <= 15; ++decade) {
      std::uniform_int_distribution<int64_t> units(0, static_cast<int64_t>(std::pow(10.0, decade)));
      for (int k = 0; k < 60; ++k) {
        const double half = (static_cast<double>(units(rng)) + 0.5) / p;
        for (double x : {half, std::nextafter(half, 0.0), std::nextafter(half, 1e300)}) {
          Same(Real(x), Int(n));
          Same(Real(-x), Int(n));
        }
        const double endless = static_cast<double>(units(rng)) / (3.0 + k % 11) / p * 10;
        Same(Real(endless), Int(n));
        Same(Real(-endless), Int(n));
      }
    }
  }
  EXPECT_EQ(mismatches_, 0) << "of " << calls_ << " calls";
}

}  // namespace
