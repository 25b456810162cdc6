// Checks of a report's filters: misspelt keys with the nearest key named,
// values of the wrong type, filters that leave a report empty (missing
// dates, code ranges that match no record), and failures a filter caused.
#include "tools/q8vantorpt/filter_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tools/q8vantorpt/demo_db.h"
#include "tools/q8vantorpt/options.h"

namespace q8::tool {
namespace {

namespace fs = std::filesystem;

const reports::ReportSpec& Spec(int number) { return reports::ReportOf(number); }

// The UsageError message of building the filter, or "" when it builds.
std::string Refusal(int report, const std::vector<std::string>& filters,
                    bool allow_unknown = false) {
  try {
    BuildReportFilter(Spec(report), filters, allow_unknown);
    return "";
  } catch (const UsageError& e) {
    return e.what();
  }
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(EditDistance, CountsEditsWithoutRegardToCase) {
  struct Case {
    const char* a;
    const char* b;
    size_t distance;
  };
  const Case cases[] = {
      {"", "", 0},
      {"BDate", "bdate", 0},
      {"BDate", "EDate", 1},
      {"Stauts", "Status", 1} /* neighbours swapped: one edit */,
      {"BeginDate", "BDate", 4},
      {"EndDate", "EDate", 2},
      {"", "SumType", 7},
      {"kitten", "sitting", 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EditDistance(c.a, c.b), c.distance) << c.a << " / " << c.b;
    EXPECT_EQ(EditDistance(c.b, c.a), c.distance) << "symmetric: " << c.a << " / " << c.b;
  }
}

TEST(ClosestFilterKey, NamesALikelyMisspelling) {
  struct Case {
    int report;
    const char* key;
    const char* closest;  // "" when nothing is near enough
  };
  const Case cases[] = {
      {2008610, "BeginDate", "BDate"},
      {2008610, "EndDate", "EDate"},
      {2008610, "Stauts", "Status"},
      {2008609, "sumtyp", "SumType"},
      {2008608, "IsOnlyJs", "IsOnlyJS"},
      {2008608, "BCustNo", "BCustNumber"},
      {2008609, "LongNumber", "bLongNumber"},
      {2008610, "x", ""},
      {2008610, "Warehouse", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClosestFilterKey(Spec(c.report), c.key), c.closest) << c.report << " " << c.key;
  }
}

TEST(BuildReportFilter, UnknownKeysAreRefusedWithAHint) {
  const std::string typo = Refusal(2008610, {"BeginDate=2024-12-01", "EndDate=2024-12-31"});
  EXPECT_TRUE(Contains(typo, "report 2008610 reads no filter key 'BeginDate'; did you mean BDate?"))
      << typo;
  EXPECT_TRUE(Contains(typo, "--allow-unknown-filters")) << typo;
  // A key of another report says which report reads it.
  const std::string other = Refusal(2008610, {"SumType=1"});
  EXPECT_TRUE(Contains(other, "'SumType' (report 2008609 reads it)")) << other;
  const std::string two = Refusal(2008608, {"Status=1"});
  EXPECT_TRUE(Contains(two, "(report 2008610 and 2008609 read it)")) << two;
  // Allowed on request, typed as the reports that read the key type it.
  DictionaryPtr passed = BuildReportFilter(Spec(2008610), {"SumType=1", "Note=x"}, true);
  EXPECT_EQ(passed->GetValue("SumType"), Variant(int32_t{1}));
  EXPECT_EQ(passed->GetValue("Note"), Variant("x"));
}

TEST(BuildReportFilter, KnownKeysAreTypedAndSpeltAsTheReportSpellsThem) {
  DictionaryPtr d = BuildReportFilter(
      Spec(2008609), {"bdate=2024-12-01", "SUMTYPE=2", "blongnumber=true", "BItemNumber=01"},
      false);
  ASSERT_EQ(d->Count(), 4u);
  EXPECT_EQ(d->Items()[0].first, "BDate");
  EXPECT_EQ(d->Items()[1].first, "SumType");
  EXPECT_EQ(d->GetValue("BDate"), Variant("2024-12-01"));
  EXPECT_EQ(d->GetValue("SumType"), Variant(int32_t{2}));
  EXPECT_EQ(d->GetValue("bLongNumber"), Variant(true));
  EXPECT_EQ(d->GetValue("BItemNumber"), Variant("01")) << "codes stay text";
}

TEST(BuildReportFilter, WrongValuesNameTheKey) {
  const std::pair<const char*, const char*> cases[] = {
      {"Status=checked", "filter Status takes a number"},
      {"bLongNumber=yes", "filter bLongNumber takes true, false, 1 or 0"},
      {"SumType=", "filter SumType takes a number"},
  };
  for (const auto& [filter, message] : cases) {
    const std::string m = Refusal(2008609, {filter});
    EXPECT_TRUE(Contains(m, message)) << filter << ": " << m;
  }
  EXPECT_TRUE(Contains(Refusal(2008609, {"Status=1", "status=2"}), "given twice"));
}

TEST(FilterWarnings, MissingAndReversedDates) {
  struct Case {
    int report;
    std::vector<std::string> filters;
    std::vector<std::string> expected;  // a part of each warning, in order
  };
  const std::vector<Case> cases = {
      {2008610, {}, {"BDate and EDate are not given: report 2008610"}},
      {2008609, {"BDate=2024-12-01"}, {"EDate is not given"}},
      {2008609, {"BDate=2024-12-01", "EDate= "}, {"EDate is not given"}},
      {2008610, {"BDate=2024-12-31", "EDate=2024-12-01"}, {"EDate is before BDate"}},
      {2008610, {"BDate=2024-12-01", "EDate=2024-12-31"}, {}},
      {2008610, {"BDate=20241201", "EDate=2024/12/31 23:59"}, {}},
      // A date the database cannot read is its failure to report, not a warning.
      {2008610, {"BDate=2024-13-45", "EDate=2024-12-01"}, {}},
      {2008608, {}, {}},  // reads no dates
  };
  for (const Case& c : cases) {
    const auto warnings =
        FilterWarnings(Spec(c.report), *BuildReportFilter(Spec(c.report), c.filters, false));
    ASSERT_EQ(warnings.size(), c.expected.size())
        << c.report << " " << testing::PrintToString(c.filters);
    for (size_t i = 0; i < warnings.size(); ++i) {
      EXPECT_TRUE(Contains(warnings[i], c.expected[i])) << warnings[i];
    }
  }
}

TEST(ExplainReportFailure, NamesTheFilterBehindAFailedConversion) {
  const Error conversion(-8000, "src::GetRpt2008609Data",
                         "Conversion failed when converting date and/or time from character "
                         "string. [statement: insert into #tempBill2008609 ...]");
  struct Case {
    std::vector<std::string> filters;
    const char* added;  // "" when the error comes back unchanged
  };
  const std::vector<Case> cases = {
      {{"BDate=2024-13-45", "EDate=2024-12-31"},
       " [caused by the filter BDate='2024-13-45', which is not a date]"},
      {{"BDate=x", "EDate=y"},
       " [caused by the filters BDate='x' and EDate='y', which are not dates]"},
      // Dates this side reads but the database refused: both are named.
      {{"BDate=2024-12-01", "EDate=2024-12-31"},
       " [the report reads the filters BDate='2024-12-01' and EDate='2024-12-31' as dates: check "
       "that the database reads them as YYYY-MM-DD]"},
      {{}, ""},
  };
  for (const Case& c : cases) {
    const Error e = ExplainReportFailure(conversion, Spec(2008609),
                                         *BuildReportFilter(Spec(2008609), c.filters, false));
    EXPECT_EQ(e.number(), conversion.number());
    EXPECT_EQ(e.source(), conversion.source());
    EXPECT_EQ(e.description(), conversion.description() + c.added);
  }
  // Other failures are not about a filter.
  const Error other(-8000, "s", "Divide by zero error encountered.");
  auto filter = BuildReportFilter(Spec(2008609), {"BDate=x"}, false);
  EXPECT_EQ(ExplainReportFailure(other, Spec(2008609), *filter).description(), other.description());
}

class CodeRanges : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() /
           ("q8_ranges_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const std::string path = (dir_ / "demo.db").string();
    GenerateDemoDatabase(path, DemoOptions{300, 1}, false);
    dsn_ = DescriptorForFile(path, "EN", 0);
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  std::vector<std::string> Warnings(const std::vector<std::string>& filters) {
    Data data;
    return CodeRangeWarnings(data, dsn_, *BuildReportFilter(Spec(2008610), filters, false));
  }

  static fs::path dir_;
  static std::string dsn_;
};

fs::path CodeRanges::dir_;
std::string CodeRanges::dsn_;

// Demo codes: customers 01.0001 … (short 0001 …), materials 01.01.0001 …
// (short 0001 …), warehouses 01 … and 09.001 … (short 001 …).
TEST_F(CodeRanges, SayWhichBoundMatchedNothing) {
  struct Case {
    std::vector<std::string> filters;
    std::vector<std::string> expected;  // a part of each warning, in order
  };
  const std::vector<Case> cases = {
      // The code the report prints, compared with the short code.
      {{"BCustNumber=04.0002", "ECustNumber=04.0002"},
       {"no customer's short code (FShortNumber) lies between BCustNumber='04.0002' and "
        "ECustNumber='04.0002'; bLongNumber is false, so the short code is compared (with "
        "bLongNumber=true 1 customer is in the range)"}},
      {{"BCustNumber=04.0002", "ECustNumber=04.0002", "bLongNumber=true"}, {}},
      {{"BItemNumber=zz"},
       {"BItemNumber='zz' matches no material: no material's short code (FShortNumber) is at or "
        "after it; bLongNumber is false, so the short code is compared"}},
      {{"BItemNumber=zz", "bLongNumber=1"},
       {"BItemNumber='zz' matches no material: no material's full code (FNumber) is at or after "
        "it"}},
      {{"ECustNumber=0"}, {"ECustNumber='0' matches no customer: no customer's short code"}},
      {{"BStockNumber=zz", "EStockNumber=0", "bLongNumber=true"},
       {"BStockNumber='zz' and EStockNumber='0' match no warehouse"}},
      // Bounds that the report does not apply are not checked.
      {{"BStockNumber=   ", "EItemNumber="}, {}},
      {{"BItemNumber=01.01.0001", "EItemNumber=01.01.0002", "bLongNumber=true"}, {}},
      // Two ranges, each told.
      {{"BItemNumber=zz", "ECustNumber=0"}, {"BItemNumber='zz'", "ECustNumber='0'"}},
  };
  for (const Case& c : cases) {
    const auto warnings = Warnings(c.filters);
    ASSERT_EQ(warnings.size(), c.expected.size()) << testing::PrintToString(c.filters);
    for (size_t i = 0; i < warnings.size(); ++i) {
      EXPECT_TRUE(Contains(warnings[i], c.expected[i])) << warnings[i];
    }
  }
}

TEST_F(CodeRanges, ALookupThatFailsWarnsOfNothing) {
  Data data;
  auto filter = BuildReportFilter(Spec(2008610), {"BItemNumber=zz"}, false);
  EXPECT_TRUE(CodeRangeWarnings(data,
                                "ConnectString={Provider=SQLite;Data Source=" +
                                    (dir_ / "missing" / "x.db").string() +
                                    "};DBMS Name=SQLite;DBMS Version=3;Language=EN;",
                                *filter)
                  .empty());
}

}  // namespace
}  // namespace q8::tool
