// The conditions and helpers the three report builders share.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/error.h"
#include "reports/report_frame.h"

namespace q8::reports {
namespace {

using Filter = std::vector<std::pair<const char*, Variant>>;

Dictionary Make(const Filter& f) {
  Dictionary d;
  for (const auto& [k, v] : f) d.SetValue(k, v);
  return d;
}

struct RangeCase {
  const char* why;
  Filter filter;
  bool long_number;
  const char* want;
};

TEST(NumberRangeCondition, LinesPerBoundInFixedOrder) {
  const RangeCase cases[] = {
      {"no keys: no condition", {}, true, ""},
      {"empty values are no bounds",
       {{"BItemNumber", ""}, {"ECustNumber", ""}, {"BStockNumber", ""}},
       false,
       ""},
      {"keys visited in fixed order, not in insertion order",
       {{"ECustNumber", "C9"}, {"BItemNumber", "1"}},
       true,
       " And t1.FNumber>='1'\r\n And t11.FNumber<='C9'\r\n"},
      {"all six with full codes",
       {{"BItemNumber", "a"},
        {"EItemNumber", "b"},
        {"BStockNumber", "c"},
        {"EStockNumber", "d"},
        {"BCustNumber", "e"},
        {"ECustNumber", "f"}},
       true,
       " And t1.FNumber>='a'\r\n And t1.FNumber<='b'\r\n And t2.FNumber>='c'\r\n"
       " And t2.FNumber<='d'\r\n And t11.FNumber>='e'\r\n And t11.FNumber<='f'\r\n"},
      // Both customer bounds compare the short code, so a host passing short
      // codes gets a consistent range.
      {"all six with short codes",
       {{"BItemNumber", "a"},
        {"EItemNumber", "b"},
        {"BStockNumber", "c"},
        {"EStockNumber", "d"},
        {"BCustNumber", "e"},
        {"ECustNumber", "f"}},
       false,
       " And t1.FShortNumber>='a'\r\n And t1.FShortNumber<='b'\r\n And t2.FShortNumber>='c'\r\n"
       " And t2.FShortNumber<='d'\r\n And t11.FShortNumber>='e'\r\n"
       " And t11.FShortNumber<='f'\r\n"},
      {"material bound of blanks still compares against the blanks",
       {{"BItemNumber", "  "}},
       true,
       " And t1.FNumber>='  '\r\n"},
      {"warehouse bound of blanks is no bound",
       {{"BStockNumber", "   "}, {"EStockNumber", " "}},
       true,
       ""},
      {"warehouse bound is placed untrimmed",
       {{"EStockNumber", " 02 "}},
       false,
       " And t2.FShortNumber<=' 02 '\r\n"},
      {"a tab is not a blank for the warehouse test",
       {{"BStockNumber", "\t"}},
       true,
       " And t2.FNumber>='\t'\r\n"},
      {"quotes doubled",
       {{"BCustNumber", "x' or 1=1 --"}},
       true,
       " And t11.FNumber>='x'' or 1=1 --'\r\n"},
      {"Null is no bound",
       {{"BItemNumber", Variant::Null()}, {"EStockNumber", Variant::Null()}},
       true,
       ""},
  };
  for (const RangeCase& c : cases) {
    EXPECT_EQ(NumberRangeCondition(Make(c.filter), c.long_number), c.want) << c.why;
  }
}

struct BillCase {
  const char* why;
  Filter filter;
  const char* want;
};

TEST(BillCondition, DateRangeThenStatus) {
  const BillCase cases[] = {
      {"Status 0: checked bills",
       {{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}, {"Status", int32_t{0}}},
       " and a.FDate>='2024-01-01' and a.FDate<='2024-01-31'\r\n"
       " And a.FStatus>0 And a.FCancelLation=0 \r\n"},
      {"Status 1: unchecked bills",
       {{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}, {"Status", int32_t{1}}},
       " and a.FDate>='2024-01-01' and a.FDate<='2024-01-31'\r\n"
       " And a.FStatus=0 And a.FCancelLation=0 \r\n"},
      {"Status 2: all uncancelled bills",
       {{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}, {"Status", int32_t{2}}},
       " and a.FDate>='2024-01-01' and a.FDate<='2024-01-31'\r\n And a.FCancelLation=0 \r\n"},
      {"Status as text compares as a number",
       {{"BDate", "d1"}, {"EDate", "d2"}, {"Status", "1"}},
       " and a.FDate>='d1' and a.FDate<='d2'\r\n And a.FStatus=0 And a.FCancelLation=0 \r\n"},
      {"nothing given: both bounds empty, status reads 0",
       {},
       " and a.FDate>='' and a.FDate<=''\r\n And a.FStatus>0 And a.FCancelLation=0 \r\n"},
      {"quotes in the dates doubled",
       {{"BDate", "2024'"}, {"EDate", "x' or '1'='1"}, {"Status", int32_t{9}}},
       " and a.FDate>='2024''' and a.FDate<='x'' or ''1''=''1'\r\n And a.FCancelLation=0 \r\n"},
      {"Null dates read as empty, Null status matches no number",
       {{"BDate", Variant::Null()}, {"EDate", Variant::Null()}, {"Status", Variant::Null()}},
       " and a.FDate>='' and a.FDate<=''\r\n And a.FCancelLation=0 \r\n"},
  };
  for (const BillCase& c : cases) EXPECT_EQ(BillCondition(Make(c.filter)), c.want) << c.why;
}

TEST(BillCondition, StatusThatIsNoNumberRaisesTypeMismatch) {
  try {
    BillCondition(Make({{"Status", "abc"}}));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
}

TEST(IsOnlyJS, AbsentReadsOne) {
  const std::pair<Filter, bool> cases[] = {
      {{}, true},
      {{{"IsOnlyJS", int32_t{1}}}, true},
      {{{"IsOnlyJS", "1"}}, true},
      {{{"IsOnlyJS", 1.0}}, true},
      {{{"IsOnlyJS", int32_t{0}}}, false},
      {{{"IsOnlyJS", int32_t{2}}}, false},
      // Present but Empty is not absent: it reads 0.
      {{{"IsOnlyJS", Variant()}}, false},
  };
  for (const auto& [filter, want] : cases) {
    EXPECT_EQ(IsOnlyJS(Make(filter)), want)
        << (filter.empty() ? "absent" : filter[0].second.DebugString());
  }
}

TEST(SortHints, WrittenInOrderOverCallersKeys) {
  struct Case {
    int report;
    const char* group;
    const char* order;
  };
  const Case cases[] = {
      {kRpt2008608, " FFlag", " FCustNumber,FMaterialNumber,FStockNumber"},
      {kRpt2008610, "FFlag", "FOrderNO,FCustID,FitemID,FSumSort"},
      {kRpt2008609, "FFlag", "FOrderNO,FCustID,FitemID,FSumSort"},
  };
  for (const Case& c : cases) {
    Dictionary d;
    d.SetValue("Keep", "me");
    d.SetValue("defaultorderby", "old");
    WriteSortHints(d, c.report);
    ASSERT_EQ(d.Count(), 4u) << c.report;
    EXPECT_EQ(d.GetValue("Keep"), Variant("me"));
    EXPECT_EQ(d.GetValue("SumOnly"), Variant(true));
    EXPECT_EQ(d.GetValue("OrderByOnlyGroup"), Variant(c.group));
    EXPECT_EQ(d.GetValue("DefaultOrderBy"), Variant(c.order));
    // A new dictionary holds exactly the three hints, in order.
    Dictionary fresh;
    WriteSortHints(fresh, c.report);
    ASSERT_EQ(fresh.Count(), 3u);
    EXPECT_EQ(fresh.Items()[0].first, "SumOnly");
    EXPECT_EQ(fresh.Items()[1].first, "OrderByOnlyGroup");
    EXPECT_EQ(fresh.Items()[2].first, "DefaultOrderBy");
  }
}

TEST(BuildBatch, UnknownReportRaisesInvalidProcedureCall) {
  Dictionary d;
  const ReportInput in{d, false, "", "", "", ""};
  try {
    BuildBatch(2008611, in);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
  }
}

}  // namespace
}  // namespace q8::reports
