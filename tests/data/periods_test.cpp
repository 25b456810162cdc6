// Accounting periods: GetPeriodStartEndDate, GetStartDate,
// GetCurrenPeriodDate and the parameterised profile lookup.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "component/data/profile.h"
#include "component/frame.h"
#include "connection/cdatasource.h"
#include "q8vantorpt/data.h"
#include "tests/data/test_db.h"

namespace q8 {
namespace {

using testing::TestDb;

class Periods : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string sql = "INSERT INTO t_PeriodDate (FYear, FPeriod, FStartDate, FEndDate) VALUES ";
    const char* const ends[] = {"31", "28", "31", "30", "31", "30",
                                "31", "31", "30", "31", "30", "31"};
    for (int m = 1; m <= 12; ++m) {
      std::string mm = std::to_string(m);
      if (m < 10) mm.insert(0, 1, '0');
      sql += "(2023, " + std::to_string(m) + ", '2023-" + mm + "-01 00:00:00', '2023-" + mm + "-" +
             ends[m - 1] + " 00:00:00'),";
    }
    // A start with a time of day; the year 2000 for the default start year.
    sql +=
        "(2024, 1, '2024-01-01 08:30:00', '2024-01-31 00:00:00'),"
        "(2000, 1, '2000-01-01 00:00:00', '2000-01-31 00:00:00'),"
        "(0, 3, '1999-03-01 00:00:00', '1999-03-31 00:00:00');";
    db_.Exec(sql);
  }
  void Profile(const std::string& values) {
    db_.Exec("DELETE FROM t_SystemProfile;");
    if (!values.empty())
      db_.Exec("INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES " + values + ";");
  }
  TestDb db_;
};

TEST_F(Periods, StartEndDate) {
  struct Case {
    int year, period;
    std::string begin;  // ISO form of BeginDate
    std::string end;    // EndDate text
  };
  const std::vector<Case> cases = {
      {2023, 12, "2023-12-01 00:00:00", "2023/12/31"},
      {2023, 2, "2023-02-01 00:00:00", "2023/02/28"},
      // The time of day of the start is dropped.
      {2024, 1, "2024-01-01 00:00:00", "2024/01/31"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "/" + std::to_string(c.period));
    Data data;
    double begin = -1;
    Variant end;
    EXPECT_TRUE(data.GetPeriodStartEndDate(db_.Dsn(), c.year, c.period, begin, end).IsEmpty());
    EXPECT_EQ(date::ToIso(begin), c.begin);
    ASSERT_TRUE(end.IsText()) << end.DebugString();
    EXPECT_EQ(end.text(), c.end);
  }
}

TEST_F(Periods, MissingPeriodAccumulatesSources) {
  struct Case {
    const char* language;
    std::string source;
    std::string description;
  };
  const std::vector<Case> cases = {
      {"CHS", "汽配行业报表中间层Q8VANTORpt.Data:GetPeriodDateGetPeriodStartEndDate",
       "获取期间数据失败！"},
      {"EN", "Auto-parts report middle layer Q8VANTORpt.Data:GetPeriodDateGetPeriodStartEndDate",
       "Failed to get the period data!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    Data data;
    double begin = 0;
    Variant end;
    try {
      data.GetPeriodStartEndDate(db_.Dsn(c.language), 2023, 13, begin, end);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kComponent);
      EXPECT_EQ(e.source(), c.source);
      EXPECT_EQ(e.description(), c.description);
    }
  }
  // Any other failure: the caught source followed by the tag.
  Data data;
  double begin = 0;
  Variant end;
  try {
    data.GetPeriodStartEndDate(db_.Dsn() + "language=EN;", 2023, 1, begin, end);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kComponent);
    EXPECT_TRUE(e.source().ends_with("GetPeriodStartEndDate")) << e.source();
    EXPECT_FALSE(e.source().starts_with("汽配")) << e.source();
  }
}

TEST_F(Periods, StartDate) {
  struct Case {
    const char* note;
    std::string profile;
    int period;
    std::string expected;  // empty when an error is expected
    int32_t error = 0;
  };
  const std::vector<Case> cases = {
      // The swapped row would answer if category and key were bound the
      // wrong way round.
      {"start year", "('IC', 'StartYear', '2023'), ('StartYear', 'IC', '2000')", 2, "2023-02-01"},
      {"category compared without case", "('ic', 'startyear', '2023')", 3, "2023-03-01"},
      {"no start year: 2000", "('GL', 'StartYear', '2023')", 1, "2000-01-01"},
      {"start year not a number", "('IC', 'StartYear', 'abc')", 1, "", err::kTypeMismatch},
      {"no such period", "('IC', 'StartYear', '1999')", 1, "", err::kComponent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Profile(c.profile);
    Data data;
    try {
      EXPECT_EQ(data.GetStartDate(db_.Dsn(), c.period), c.expected);
      EXPECT_EQ(c.error, 0);
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.error);
      if (c.error == err::kComponent) {
        EXPECT_EQ(e.source(), "汽配行业报表中间层Q8VANTORpt.Data:GetPeriodDate");
      }
    }
  }
  // No handler: the parser's error itself.
  Data data;
  try {
    data.GetStartDate(db_.Dsn() + "language=EN;", 1);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kKeyAlreadyPresent);
  }
}

TEST_F(Periods, CurrentPeriod) {
  struct Case {
    const char* note;
    std::string profile;
    const char* language;
    std::optional<std::vector<std::pair<std::string, Variant>>> expected;  // nullopt: failure
    std::string source, description;
  };
  const std::vector<Case> cases = {
      {"current period",
       "('IC', 'CurrentYear', '2023'), ('IC', 'CurrentPeriod', '3'), ('GL', 'CurrentYear', '2024')",
       "CHS",
       std::vector<std::pair<std::string, Variant>>{
           {"CurrentYear", Variant(int32_t{2023})},
           {"CurrentPeriod", Variant(int32_t{3})},
           {"StartDate", Variant::Date(date::FromParts({2023, 3, 1}))},
           {"EndDate", Variant::Date(date::FromParts({2023, 3, 31}))}},
       "", ""},
      // Without a year row the procedure is asked for year 0, which the
      // calendar holds here.
      {"no current year, period found", "('IC', 'CurrentPeriod', '3')", "CHS",
       std::vector<std::pair<std::string, Variant>>{
           {"CurrentYear", Variant(int32_t{0})},
           {"CurrentPeriod", Variant(int32_t{3})},
           {"StartDate", Variant::Date(date::FromParts({1999, 3, 1}))},
           {"EndDate", Variant::Date(date::FromParts({1999, 3, 31}))}},
       "", ""},
      {"no current year, no period", "('IC', 'CurrentPeriod', '4')", "CHS", std::nullopt,
       "汽配行业报表中间层Q8VANTORpt.Data:::GetRpt302Data", "获取期间数据失败！"},
      {"no current year, no period, EN", "('IC', 'CurrentPeriod', '4')", "EN", std::nullopt,
       "Auto-parts report middle layer Q8VANTORpt.Data:::GetRpt302Data",
       "Failed to get the period data!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Profile(c.profile);
    Data data;
    std::string dsn = db_.Dsn(c.language);
    try {
      DictionaryPtr result = data.GetCurrenPeriodDate(dsn);
      ASSERT_TRUE(c.expected);
      ASSERT_TRUE(result);
      EXPECT_EQ(result->Items(), *c.expected);
    } catch (const Error& e) {
      EXPECT_FALSE(c.expected);
      EXPECT_EQ(e.number(), err::kComponent);
      EXPECT_EQ(e.source(), c.source);
      EXPECT_EQ(e.description(), c.description);
    }
    EXPECT_EQ(dsn, db_.Dsn(c.language));
  }
}

TEST_F(Periods, SystemProfileValue) {
  Profile("('IC', 'StartYear', '2023'), ('StartYear', 'IC', '1990')");
  Data data;
  FrameOf(data).OpenDsn(db_.Dsn());
  const CDataSource& source = *FrameOf(data).data_source();
  struct Case {
    std::string key, category;
    Variant def;
    Variant expected;
  };
  const std::vector<Case> cases = {
      {"StartYear", "IC", Variant::Missing(), Variant("2023")},
      {"IC", "StartYear", Variant::Missing(), Variant("1990")},
      {"Absent", "IC", Variant::Missing(), Variant("")},
      {"Absent", "IC", Variant(int32_t{2000}), Variant(int32_t{2000})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key + "/" + c.category);
    EXPECT_EQ(GetSystemProfileValue(source, c.key, c.category, c.def), c.expected);
  }
}

}  // namespace
}  // namespace q8
