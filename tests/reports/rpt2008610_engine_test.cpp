// Report 2008610 (consignment movement detail) on the embedded engine, with
// rows computed by hand from small fixtures.

#include <gtest/gtest.h>

#include <string>

#include "tests/reports/engine_fixture.h"

namespace q8::testing {
namespace {

constexpr int k2008610 = 2008610;

class Rpt2008610 : public ReportDb {
 protected:
  DictionaryPtr January(std::initializer_list<std::pair<const char*, Variant>> more = {}) {
    auto f = Filter(more);
    if (!f->Exists("BDate")) f->SetValue("BDate", "2024-01-01");
    if (!f->Exists("EDate")) f->SetValue("EDate", "2024-01-31");
    return f;
  }
  std::vector<std::string> Kinds(const DictionaryPtr& filter) {
    auto rs = Run(k2008610, filter);
    if (!rs) return {};
    return Rows(*rs, {"FBillNO", "FCustNumber", "FSumSort"});
  }
};

TEST_F(Rpt2008610, MovementKindsSubtotalAndBalances) {
  Exec(StockBill(1, "2024-01-05 00:00:00", 41, 37511, 0, "NULL", "201", 1, 1, "101", 2, "301",
                 "NULL", "10", "1") +
       // A return counts at its source warehouse.
       StockBill(2, "2024-01-06 00:00:00", 41, 37512, 0, "NULL", "201", 1, 1, "101", 1, "303",
                 "301", "2", "2") +
       StockBill(3, "2024-01-07 00:00:00", 41, 0, 104, "NULL", "201", 1, 1, "101", 1, "301", "NULL",
                 "5", "5") +
       Invoice(4, "2024-01-08 00:00:00", 80, 104, "201", 1, "101", "3"));
  auto rs = Run(k2008610, January());
  ASSERT_TRUE(rs);
  EXPECT_EQ(Rows(*rs, {"FBillNO", "FTranType", "FTranTypeName", "FStockNumber", "FCUUnitName",
                       "FBaseSendQty", "FSendQty", "FBaseBackQty", "FBackQty", "FBaseComQty",
                       "FBaseInvoiceQty", "FOrderNO2"}),
            (std::vector<std::string>{
                "B1|41|Transfer|WH01|BOX|10|1|NULL|NULL|NULL|NULL|10",
                "B2|41|Transfer|WH01|PCS|NULL|NULL|2|2|NULL|NULL|11",
                "B3|41|Transfer|WH01|PCS|NULL|NULL|NULL|NULL|5|NULL|20",
                "V4|80|Sales invoice|NULL|PCS|NULL|NULL|NULL|NULL|NULL|3|30",
                "NULL|NULL|NULL|NULL|NULL|10|1|2|2|5|3|101",
                "NULL|NULL|NULL|NULL|NULL|10|1|2|2|5|3|100",
            }));
  // Unsettled = sent - returned - settled, uninvoiced = sent - returned -
  // invoiced; in line units they go negative and stay so.
  EXPECT_EQ(Rows(*rs, {"FCustNumber", "FCustName", "FMaterialNumber", "FBaseNoComQty",
                       "FBaseNoInvoiceQty", "FNoComQty", "FNoInvoiceQty", "FSumSort", "FOrderNO"}),
            (std::vector<std::string>{
                "C001|Alpha Motors|M001|NULL|NULL|NULL|NULL|0|0",
                "C001|Alpha Motors|M001|NULL|NULL|NULL|NULL|0|0",
                "C001|Alpha Motors|M001|NULL|NULL|NULL|NULL|0|0",
                "C001|Alpha Motors|M001|NULL|NULL|NULL|NULL|0|0",
                "小计|NULL|NULL|3|5|-6|-4|101|0",
                "合计|NULL|NULL|3|5|-6|-4|100|9999999",
            }));
}

TEST_F(Rpt2008610, SendThatIsAlsoASettlementFillsBoth) {
  Exec(StockBill(1, "2024-01-05 00:00:00", 41, 37511, 104, "NULL", "201", 1, 1, "101", 1, "301",
                 "NULL", "4", "4"));
  auto rs = Run(k2008610, January());
  ASSERT_TRUE(rs);
  EXPECT_EQ(Rows(*rs, {"FBillNO", "FBaseSendQty", "FBaseComQty", "FOrderNO2"}),
            (std::vector<std::string>{"B1|4|4|10", "NULL|4|4|101", "NULL|4|4|100"}));
}

TEST_F(Rpt2008610, WhichStockBillsCount) {
  Exec(
      // Type 21 counts only with FROB 1, and then for its FSupplyID.
      StockBill(1, "2024-01-05 00:00:00", 21, 37511, 0, "202", "201", 1, 1, "101", 1, "302", "NULL",
                "1", "1") +
      StockBill(2, "2024-01-05 00:00:00", 21, 37511, 0, "202", "201", -1, 1, "101", 1, "302",
                "NULL", "1", "1") +
      // Type 41 counts whatever its FROB.
      StockBill(3, "2024-01-05 00:00:00", 41, 37511, 0, "202", "201", -1, 1, "101", 1, "301",
                "NULL", "1", "1") +
      // Other types, other business, cancelled bills: never.
      StockBill(4, "2024-01-05 00:00:00", 24, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301",
                "NULL", "1", "1") +
      StockBill(5, "2024-01-05 00:00:00", 41, 37500, 0, "NULL", "201", 1, 1, "101", 1, "301",
                "NULL", "1", "1") +
      StockBill(6, "2024-01-05 00:00:00", 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301",
                "NULL", "1", "1", 1));
  EXPECT_EQ(Kinds(January()), (std::vector<std::string>{"B3|C001|0", "NULL|小计|101", "B1|C002|0",
                                                        "NULL|小计|101", "NULL|合计|100"}));
}

TEST_F(Rpt2008610, WhichInvoicesCount) {
  Exec(Invoice(1, "2024-01-05 00:00:00", 80, 104, "201", 1, "101", "1") +
       Invoice(2, "2024-01-06 00:00:00", 86, 104, "201", 1, "101", "1") +
       Invoice(3, "2024-01-07 00:00:00", 80, 101, "201", 1, "101", "1") +
       Invoice(4, "2024-01-08 00:00:00", 81, 104, "201", 1, "101", "1") +
       Invoice(5, "2024-01-09 00:00:00", 86, 104, "201", 1, "101", "1", 1));
  EXPECT_EQ(Kinds(January()),
            (std::vector<std::string>{"V1|C001|0", "V2|C001|0", "NULL|小计|101", "NULL|合计|100"}));
}

TEST_F(Rpt2008610, StatusSelectsBills) {
  Exec(StockBill(1, "2024-01-05 00:00:00", 41, 37511, 0, "NULL", "201", 1, 0, "101", 1, "301",
                 "NULL", "1", "1") +
       StockBill(2, "2024-01-06 00:00:00", 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301",
                 "NULL", "1", "1") +
       StockBill(3, "2024-01-07 00:00:00", 41, 37511, 0, "NULL", "201", 1, 2, "101", 1, "301",
                 "NULL", "1", "1"));
  const std::pair<Variant, std::vector<std::string>> cases[] = {
      {Variant(), {"B2|C001|0", "B3|C001|0", "NULL|小计|101", "NULL|合计|100"}},
      {int32_t{0}, {"B2|C001|0", "B3|C001|0", "NULL|小计|101", "NULL|合计|100"}},
      {int32_t{1}, {"B1|C001|0", "NULL|小计|101", "NULL|合计|100"}},
      {int32_t{2}, {"B1|C001|0", "B2|C001|0", "B3|C001|0", "NULL|小计|101", "NULL|合计|100"}},
  };
  for (const auto& [status, want] : cases) {
    EXPECT_EQ(Kinds(January({{"Status", status}})), want) << status.DebugString();
  }
}

TEST_F(Rpt2008610, DateRange) {
  Exec(StockBill(1, "2023-12-31 23:59:59", 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301",
                 "NULL", "1", "1") +
       StockBill(2, "2024-01-01 00:00:00", 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301",
                 "NULL", "1", "1") +
       StockBill(3, "2024-01-31 00:00:00", 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301",
                 "NULL", "1", "1") +
       // Later on the last day: out, since a date without time is midnight.
       StockBill(4, "2024-01-31 10:00:00", 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301",
                 "NULL", "1", "1"));
  const std::vector<std::string> want = {"B2|C001|0", "B3|C001|0", "NULL|小计|101",
                                         "NULL|合计|100"};
  const std::pair<const char*, const char*> forms[] = {
      {"2024-01-01", "2024-01-31"},
      {"2024/01/01", "2024/01/31"},
      {"20240101", "20240131"},
  };
  for (const auto& [b, e] : forms) {
    EXPECT_EQ(Kinds(January({{"BDate", b}, {"EDate", e}})), want) << b;
  }
  // With a time the whole last day is in.
  EXPECT_EQ(Kinds(January({{"EDate", "2024-01-31 23:59:59"}})),
            (std::vector<std::string>{"B2|C001|0", "B3|C001|0", "B4|C001|0", "NULL|小计|101",
                                      "NULL|合计|100"}));
}

TEST_F(Rpt2008610, CodeRanges) {
  Exec(StockBill(1, "2024-01-05 00:00:00", 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301",
                 "NULL", "1", "1") +
       StockBill(2, "2024-01-05 00:00:00", 41, 37511, 0, "NULL", "202", 1, 1, "102", 1, "302",
                 "NULL", "1", "1") +
       Invoice(3, "2024-01-06 00:00:00", 80, 104, "201", 1, "101", "1"));
  const std::pair<DictionaryPtr, std::vector<std::string>> cases[] = {
      // A warehouse bound leaves out invoice lines: they have no warehouse.
      {January({{"bLongNumber", true}, {"BStockNumber", "WH01"}, {"EStockNumber", "WH01"}}),
       {"B1|C001|0", "NULL|小计|101", "NULL|合计|100"}},
      // A material bound applies to both kinds of lines.
      {January({{"EItemNumber", "001"}}),
       {"B1|C001|0", "V3|C001|0", "NULL|小计|101", "NULL|合计|100"}},
      {January({{"BCustNumber", "002"}}), {"B2|C002|0", "NULL|小计|101", "NULL|合计|100"}},
  };
  for (const auto& [filter, want] : cases) EXPECT_EQ(Kinds(filter), want);
}

TEST_F(Rpt2008610, NoQualifyingLineGivesOnlyTheTotal) {
  auto rs = Run(k2008610, January());
  ASSERT_TRUE(rs);
  EXPECT_EQ(Rows(*rs, {"FCustNumber", "FBaseSendQty", "FSendQty", "FBaseNoComQty", "FNoInvoiceQty",
                       "FSumSort", "FOrderNO", "FOrderNO2"}),
            (std::vector<std::string>{"合计|NULL|NULL|NULL|NULL|100|9999999|100"}));
  const std::vector<std::string> names = ColumnNames(*rs);
  ASSERT_EQ(names.size(), 40u);
  EXPECT_EQ(names.front(), "FBatchNo1");
  EXPECT_EQ(names[1], "FTranType");
  EXPECT_EQ(names.back(), "FOrderNO2");
}

TEST_F(Rpt2008610, RowsWithoutCustomerOrMaterialSortFirst) {
  Exec(StockBill(1, "2024-01-05 00:00:00", 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301",
                 "NULL", "10", "10") +
       // A material without record: FitemID comes from the record, so NULL.
       StockBill(2, "2024-01-06 00:00:00", 41, 37511, 0, "NULL", "201", 1, 1, "999", 1, "301",
                 "NULL", "1", "1") +
       StockBill(3, "2024-01-07 00:00:00", 41, 37511, 0, "NULL", "NULL", 1, 1, "101", 1, "301",
                 "NULL", "7", "7"));
  auto rs = Run(k2008610, January());
  ASSERT_TRUE(rs);
  EXPECT_EQ(
      Rows(*rs, {"FBillNO", "FCustID", "FitemID", "FCustNumber", "FBaseSendQty"}),
      (std::vector<std::string>{"B3|NULL|101|NULL|7", "NULL|NULL|101|小计|7", "B2|201|NULL|C001|1",
                                "NULL|201|NULL|小计|1", "B1|201|101|C001|10",
                                "NULL|201|101|小计|10", "NULL|NULL|NULL|合计|18"}));
}

TEST_F(Rpt2008610, DateThatIsNoDateFailsTheCall) {
  DictionaryPtr sort;
  const Error e = RunFails(k2008610, January({{"BDate", "next Tuesday"}}), &sort);
  EXPECT_EQ(e.number(), -8000);
  EXPECT_EQ(e.source(), "汽配行业报表中间层Q8VANTORpt.Data:::GetRpt2008610Data");
  EXPECT_FALSE(e.description().empty());
  ASSERT_TRUE(sort);
  EXPECT_EQ(sort->GetValue("DefaultOrderBy"), Variant("FOrderNO,FCustID,FitemID,FSumSort"));
}

}  // namespace
}  // namespace q8::testing
