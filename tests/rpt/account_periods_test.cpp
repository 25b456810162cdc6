// Period lookups of Rpt: GetPreAccount, GetCurAccount and
// GetCurrentPeriodEndDate.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "drivers/sqlite/schema.h"
#include "q8vantorpt/rpt.h"
#include "tests/data/test_db.h"

namespace q8 {
namespace {

using testing::TestDb;
using Entries = std::vector<std::pair<std::string, Variant>>;

Variant Day(int y, int m, int d) { return Variant::Date(date::FromParts({y, m, d})); }
Variant Int(int v) { return Variant(static_cast<int16_t>(v)); }

class AccountPeriods : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "INSERT INTO t_PeriodDate (FYear, FPeriod, FStartDate, FEndDate) VALUES "
        "(2023, 6, '2023-06-01 00:00:00', '2023-06-30 00:00:00'),"
        "(2023, 12, '2023-12-01 00:00:00', '2023-12-31 00:00:00'),"
        "(2024, 1, '2024-01-01 00:00:00', '2024-01-31 00:00:00'),"
        "(2024, 2, '2024-02-01 00:00:00', '2024-02-29 00:00:00'),"
        "(2024, 4, '2024-04-01 00:00:00', '2024-04-30 00:00:00');");
  }
  void Profile(const std::string& values) {
    db_.Exec("DELETE FROM t_SystemProfile;");
    if (!values.empty())
      db_.Exec("INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES " + values + ";");
  }
  static std::string Current(int year, int period) {
    return "('IC', 'CurrentYear', '" + std::to_string(year) + "'), ('IC', 'CurrentPeriod', '" +
           std::to_string(period) + "')";
  }
  TestDb db_;
};

TEST_F(AccountPeriods, PreviousPeriod) {
  const std::string count12 = ", ('GL', 'Periodcount', '12')";
  struct Case {
    const char* note;
    std::string profile;
    Entries expected;
  };
  const std::vector<Case> cases = {
      {"period 1 after a year of 12 periods",
       Current(2024, 1) + count12,
       {{"CurrentYear", Int(2024)},
        {"CurrentPeriod", Int(1)},
        {"HavingPre", Int(1)},
        {"PreviousStart", Day(2023, 12, 1)},
        {"PreviousEnd", Day(2024, 1, 1)}}},
      // The end of 31 January gives 1 February.
      {"period within the year",
       Current(2024, 2) + count12,
       {{"CurrentYear", Int(2024)},
        {"CurrentPeriod", Int(2)},
        {"HavingPre", Int(1)},
        {"PreviousStart", Day(2024, 1, 1)},
        {"PreviousEnd", Day(2024, 2, 1)}}},
      {"period count decides the previous period",
       Current(2024, 1) + ", ('GL', 'Periodcount', '13')",
       {{"CurrentYear", Int(2024)}, {"CurrentPeriod", Int(1)}, {"HavingPre", Int(0)}}},
      {"no calendar row",
       Current(2024, 4) + count12,
       {{"CurrentYear", Int(2024)}, {"CurrentPeriod", Int(4)}, {"HavingPre", Int(0)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Profile(c.profile);
    Rpt rpt;
    DictionaryPtr result = rpt.GetPreAccount(db_.Dsn());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Items(), c.expected);
  }
}

TEST_F(AccountPeriods, CurrentPeriodUsesTheSameKeys) {
  Profile(Current(2024, 1));  // no "Periodcount": not read here
  Rpt rpt;
  DictionaryPtr result = rpt.GetCurAccount(db_.Dsn());
  ASSERT_TRUE(result);
  EXPECT_EQ(result->Items(), (Entries{{"CurrentYear", Int(2024)},
                                      {"CurrentPeriod", Int(1)},
                                      {"HavingPre", Int(1)},
                                      {"PreviousStart", Day(2024, 1, 1)},
                                      {"PreviousEnd", Day(2024, 2, 1)}}));
  Profile(Current(2024, 3));
  EXPECT_EQ(
      rpt.GetCurAccount(db_.Dsn())->Items(),
      (Entries{{"CurrentYear", Int(2024)}, {"CurrentPeriod", Int(3)}, {"HavingPre", Int(0)}}));
}

// The error that reading a value at the end of a record set raises.
Error EndOfFileError(const TestDb& db) {
  auto cn = ado::Connection::Create();
  cn->Open(sqlite::ConnectionStringFor(db.path()));
  try {
    cn->Execute("SELECT 1 WHERE 1 = 0")->Value(0);
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error at end of file";
  return Error(0, "", "");
}

TEST_F(AccountPeriods, FailuresKeepAllFiveFields) {
  const Error eof = EndOfFileError(db_);
  struct Case {
    const char* note;
    std::string profile;
    bool previous;                  // GetPreAccount, else GetCurAccount
    std::optional<Error> expected;  // nullopt: only the number is checked
    int32_t number;
  };
  const std::vector<Case> cases = {
      // Read even when the previous period is in the same year.
      {"no period count", Current(2024, 5), true, eof, eof.number()},
      {"no current year", "('IC', 'CurrentPeriod', '5')", false, eof, eof.number()},
      {"year not a number", "('IC', 'CurrentYear', 'abc'), ('IC', 'CurrentPeriod', '5')", false,
       std::nullopt, err::kTypeMismatch},
      {"year beyond 16 bits", Current(70000, 5), false, std::nullopt, err::kOverflow},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Profile(c.profile);
    Rpt rpt;
    try {
      c.previous ? rpt.GetPreAccount(db_.Dsn()) : rpt.GetCurAccount(db_.Dsn());
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number);
      if (c.expected) {
        EXPECT_EQ(e.source(), c.expected->source());
        EXPECT_EQ(e.description(), c.expected->description());
        EXPECT_EQ(e.help_file(), c.expected->help_file());
        EXPECT_EQ(e.help_context(), c.expected->help_context());
      }
    }
  }
}

TEST_F(AccountPeriods, CurrentPeriodEndDate) {
  struct Case {
    const char* note;
    std::string profile;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"IC period",
       Current(2023, 12) + ", ('GL', 'CurrentYear', '2023'), ('GL', 'CurrentPeriod', '6')",
       "2023-12-31"},
      {"only the GL period exists",
       Current(2023, 13) + ", ('GL', 'CurrentYear', '2023'), ('GL', 'CurrentPeriod', '6')",
       "2023-06-30"},
      {"neither",
       Current(2023, 13) + ", ('GL', 'CurrentYear', '2023'), ('GL', 'CurrentPeriod', '7')", ""},
      {"no profile", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Profile(c.profile);
    Rpt rpt;
    EXPECT_EQ(rpt.GetCurrentPeriodEndDate(db_.Dsn()), c.expected);
  }
  Rpt rpt;
  EXPECT_EQ(rpt.GetCurrentPeriodEndDate(db_.Dsn() + "language=EN;"), "");
}

}  // namespace
}  // namespace q8
