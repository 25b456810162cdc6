// Report 2008609 (consignment send, return and settlement summary) on the
// embedded engine, with rows computed by hand from small fixtures.
//
// M001 has base unit PCS and stock unit BOX (coefficient 10), so every
// stock-unit figure is the base figure / 10 and every price per BOX is the
// price per base unit x 10.

#include <gtest/gtest.h>

#include <string>

#include "tests/reports/engine_fixture.h"

namespace q8::testing {
namespace {

constexpr int k2008609 = 2008609;
constexpr const char* kDay = "2024-01-05 00:00:00";

class Rpt2008609 : public ReportDb {
 protected:
  DictionaryPtr January(std::initializer_list<std::pair<const char*, Variant>> more = {}) {
    auto f = Filter(more);
    f->SetValue("BDate", "2024-01-01");
    f->SetValue("EDate", "2024-01-31");
    return f;
  }
};

// Sends, a return (counted at its source warehouse), a settlement, an
// invoice drawn from the send and an invoice without source line.
std::string Movements() {
  return StockBill(1, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "20",
                   "20") +
         StockBill(2, kDay, 41, 37512, 0, "NULL", "201", 1, 1, "101", 1, "301", "302", "5", "5") +
         StockBill(3, kDay, 41, 0, 104, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "6", "6") +
         StockBill(4, kDay, 41, 37511, 0, "NULL", "202", 1, 1, "101", 1, "302", "NULL", "10",
                   "10") +
         Invoice(5, kDay, 80, 104, "201", 1, "101", "4", 0, "1") +
         Invoice(6, kDay, 86, 104, "202", 1, "101", "2");
}

const std::vector<std::string> kSummaryColumns = {
    "FCustNumber", "FStockNumber",    "FBaseSendQty",  "FBaseBackQty",
    "FBaseComQty", "FBaseInvoiceQty", "FBaseNoComQty", "FBaseNoInvoiceQty",
    "FNoComCost",  "FNoInvoiceMoney", "FSumSort"};

TEST_F(Rpt2008609, SummaryLevels) {
  Exec(Movements());
  struct Case {
    int sum_type;
    std::vector<std::string> want;
  };
  // Unit cost 3 x 10 = 30 and price 5 x 10 = 50 per BOX; balances are not
  // clamped; amounts add up per working row.
  const Case cases[] = {
      {0,
       {"C001|NULL|20|5|6|4|9|11|27|55|0", "小计|NULL|20|5|6|4|9|11|27|55|101",
        "C002|NULL|10|0|0|2|10|8|30|40|0", "小计|NULL|10|0|0|2|10|8|30|40|101",
        "合计|NULL|30|5|6|6|19|19|57|95|100"}},
      // The invoice without source line has no warehouse and sorts first.
      {1,
       {"C001|WH01|20|0|6|4|14|16|42|80|0", "C001|WH02|0|5|0|0|-5|-5|-15|-25|0",
        "小计|NULL|20|5|6|4|9|11|27|55|101", "C002|NULL|0|0|0|2|0|-2|0|-10|0",
        "C002|WH02|10|0|0|0|10|10|30|50|0", "小计|NULL|10|0|0|2|10|8|30|40|101",
        "合计|NULL|30|5|6|6|19|19|57|95|100"}},
      {2, {"NULL|NULL|30|5|6|6|19|19|57|95|0", "NULL|NULL|30|5|6|6|19|19|57|95|100"}},
  };
  for (const Case& c : cases) {
    auto rs = Run(k2008609, January({{"SumType", int32_t{c.sum_type}},
                                     {"SalePrice", int32_t{2}},
                                     {"UnitCost", int32_t{3}}}));
    ASSERT_TRUE(rs) << c.sum_type;
    EXPECT_EQ(Rows(*rs, kSummaryColumns), c.want) << "SumType " << c.sum_type;
  }
}

TEST_F(Rpt2008609, SummaryRowColumns) {
  Exec(Movements());
  auto rs =
      Run(k2008609,
          January({{"SumType", int32_t{2}}, {"SalePrice", int32_t{2}}, {"UnitCost", int32_t{3}}}));
  ASSERT_TRUE(rs);
  // Stock-unit quantities, and every amount: cost 30 and price 50 per BOX.
  EXPECT_EQ(
      Rows(*rs,
           {"FCustID",       "FMaterialNumber", "FMaterialName",  "FModel",          "FBUUnitName",
            "FCUUnitName",   "FQtyDecimal",     "FPriceDecimal",  "FUnitCost",       "FAuxTaxPrice",
            "FSendQty",      "FBackQty",        "FComQty",        "FInvoiceQty",     "FNoComQty",
            "FNoInvoiceQty", "FComCost",        "FComMoney",      "FNoComCost",      "FNoComMoney",
            "FInvoiceCost",  "FInvoiceMoney",   "FNoInvoiceCost", "FNoInvoiceMoney", "FOrderNO"}),
      (std::vector<std::string>{
          "NULL|M001|Brake pad|BP-1|PCS|BOX|2|4|30|50|3|0.5|0.6|0.6|1.9|1.9|18|30|57|95|18|"
          "30|57|95|0",
          "NULL|合计|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|3|0.5|0.6|0.6|1.9|1.9|18|30|57|"
          "95|18|30|57|95|9999999"}));
}

TEST_F(Rpt2008609, SourceLines) {
  Exec(
      // Sent and settled at once.
      StockBill(1, kDay, 41, 37511, 104, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "8", "8") +
      // Type 21 counts with FROB 1 only, for its FSupplyID.
      StockBill(2, kDay, 21, 37511, 0, "202", "201", 1, 1, "101", 1, "302", "NULL", "3", "3") +
      StockBill(3, kDay, 21, 37511, 0, "202", "201", 0, 1, "101", 1, "302", "NULL", "100", "100") +
      // Type 41 counts whatever its FROB.
      StockBill(4, kDay, 41, 37511, 0, "NULL", "202", -1, 1, "101", 1, "302", "NULL", "4", "4") +
      // Outside the period, cancelled, unchecked (Status 0 selects checked bills).
      StockBill(5, "2024-02-01 00:00:00", 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301",
                "NULL", "100", "100") +
      StockBill(6, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "100", "100",
                1) +
      StockBill(7, kDay, 41, 37511, 0, "NULL", "201", 1, 0, "101", 1, "301", "NULL", "100", "100"));
  auto rs =
      Run(k2008609,
          January({{"SumType", int32_t{1}}, {"SalePrice", int32_t{2}}, {"UnitCost", int32_t{3}}}));
  ASSERT_TRUE(rs);
  EXPECT_EQ(Rows(*rs, {"FCustNumber", "FStockNumber", "FBaseSendQty", "FBaseComQty", "FSumSort"}),
            (std::vector<std::string>{"C001|WH01|8|8|0", "小计|NULL|8|8|101", "C002|WH02|7|0|0",
                                      "小计|NULL|7|0|101", "合计|NULL|15|8|100"}));
}

TEST_F(Rpt2008609, MaterialsWithoutUsableStockUnitAreInNoRow) {
  // M009's stock unit has coefficient 0, M010 has none, 999 has no record.
  Exec(
      "INSERT INTO t_ICItem (FItemID, FNumber, FName, FUnitID, FStoreUnitID) "
      "VALUES (110, 'M010', 'No stock unit', 1, NULL);");
  Exec(StockBill(1, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "10", "10") +
       StockBill(2, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "109", 1, "301", "NULL", "5", "5") +
       StockBill(3, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "999", 1, "301", "NULL", "7", "7") +
       StockBill(4, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "110", 1, "301", "NULL", "9", "9"));
  auto rs = Run(k2008609, January({{"SalePrice", int32_t{2}}, {"UnitCost", int32_t{3}}}));
  ASSERT_TRUE(rs);
  EXPECT_EQ(Rows(*rs, {"FCustNumber", "FMaterialNumber", "FBaseSendQty"}),
            (std::vector<std::string>{"C001|M001|10", "小计|NULL|10", "合计|NULL|10"}));
}

TEST_F(Rpt2008609, PolicyPrices) {
  Exec(R"SQL(
    INSERT INTO t_Currency (FCurrencyID) VALUES (3);  -- no exchange rate
    INSERT INTO IcPrcPly (FInterID, FPlyType) VALUES (1, 'PrcAsm1'), (2, 'Other');
    INSERT INTO ICPrcPlyEntry (FInterID, FItemID, FUnitID, FCuryID, FPrice, FRelatedID, FChecked,
                               FBegDate, FEndDate) VALUES
      -- valid for part of the period, at its start and at its end
      (1, 101, 2, 1, 40, 201, 1, '2023-06-01 00:00:00', '2024-01-10 00:00:00'),
      (1, 101, 2, 1, 45, 201, 1, '2024-01-20 00:00:00', '2024-06-30 00:00:00'),
      -- foreign currency: 10 x 7 = 70 is higher, but the base currency wins
      (1, 101, 2, 2, 10, 201, 1, '2024-01-01 00:00:00', '2024-12-31 00:00:00'),
      -- outside the period
      (1, 101, 2, 1, 99, 201, 1, '2022-01-01 00:00:00', '2022-12-31 00:00:00'),
      -- another policy type: only at the material-only level
      (2, 101, 2, 1, 60, 201, 1, '2024-01-01 00:00:00', '2024-12-31 00:00:00'),
      (1, 101, 2, 1, 30, 202, 1, '2024-01-01 00:00:00', '2024-12-31 00:00:00'),
      -- a currency without rate drops out
      (1, 102, 1, 3, 7, 201, 1, '2024-01-01 00:00:00', '2024-12-31 00:00:00');
  )SQL");
  Exec(StockBill(1, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "10", "10") +
       StockBill(2, kDay, 41, 37511, 0, "NULL", "202", 1, 1, "101", 1, "302", "NULL", "20", "20") +
       StockBill(3, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "102", 1, "301", "NULL", "5", "5"));
  const std::pair<int, std::vector<std::string>> cases[] = {
      // Per customer as related party: C001 45, C002 30 (per BOX x 10).
      {0,
       {"C001|M001|450|450", "C001|M002|0|0", "小计|NULL|NULL|450", "C002|M001|300|600",
        "小计|NULL|NULL|600", "合计|NULL|NULL|1050"}},
      // Every policy type, no related party: the highest base-currency price.
      {2, {"NULL|M001|600|1800", "NULL|M002|0|0", "NULL|合计|NULL|1800"}},
  };
  for (const auto& [sum_type, want] : cases) {
    auto rs = Run(k2008609, January({{"SumType", int32_t{sum_type}},
                                     {"SalePrice", int32_t{0}},
                                     {"UnitCost", int32_t{3}}}));
    ASSERT_TRUE(rs) << sum_type;
    EXPECT_EQ(Rows(*rs, {"FCustNumber", "FMaterialNumber", "FAuxTaxPrice", "FNoComMoney"}), want)
        << "SumType " << sum_type;
  }
}

TEST_F(Rpt2008609, LatestInvoiceAndStockBillPricesIgnoreThePeriod) {
  Exec(R"SQL(
    INSERT INTO ICSale (FInterID, FBillNo, FDate, FTranType, FSaleStyle, FCustID, FROB, FStatus,
                        FCancellation, FExchangeRate) VALUES
      (51, 'I51', '2023-05-01 00:00:00', 80, 101, 201, 1, 0, 0, 2),
      (52, 'I52', '2023-06-01 00:00:00', 80, 101, 202, 1, 0, 0, 1),
      (53, 'I53', '2023-07-01 00:00:00', 80, 101, 201, 1, 0, 1, 1);
    INSERT INTO ICSaleEntry (FInterID, FEntryID, FDetailID, FItemID, FQty, FTaxPrice) VALUES
      (51, 1, 50, 101, 1, 8), (52, 1, 60, 101, 1, 9), (53, 1, 70, 101, 1, 100);
    INSERT INTO ICStockBill (FInterID, FBillNo, FDate, FTranType, FROB, FStatus, FCancellation)
    VALUES
      (81, 'P81', '2023-01-01 00:00:00', 1, 1, 0, 0),
      (82, 'P82', '2022-01-01 00:00:00', 2, 1, 0, 0),
      (83, 'P83', '2023-02-01 00:00:00', 5, 1, 0, 1);
    INSERT INTO ICStockBillEntry (FInterID, FEntryID, FDetailID, FItemID, FQty, FPrice) VALUES
      (81, 1, 80, 101, 1, 2.5), (82, 1, 81, 101, 1, 3), (83, 1, 82, 101, 1, 99);
  )SQL");
  Exec(StockBill(1, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "10", "10") +
       StockBill(2, kDay, 41, 37511, 0, "NULL", "202", 1, 1, "101", 1, "302", "NULL", "20", "20"));
  const std::pair<int, std::vector<std::string>> cases[] = {
      // C001's own latest invoice: 8 x 10 x rate 2; C002's: 9 x 10.
      {0,
       {"C001|30|160|30|160", "小计|NULL|NULL|30|160", "C002|30|90|60|180", "小计|NULL|NULL|60|180",
        "合计|NULL|NULL|90|340"}},
      // The material's latest invoice of any customer.
      {2, {"NULL|30|90|90|270", "NULL|NULL|NULL|90|270"}},
  };
  for (const auto& [sum_type, want] : cases) {
    auto rs = Run(k2008609, January({{"SumType", int32_t{sum_type}},
                                     {"SalePrice", int32_t{1}},
                                     {"UnitCost", int32_t{1}}}));
    ASSERT_TRUE(rs) << sum_type;
    EXPECT_EQ(Rows(*rs, {"FCustNumber", "FUnitCost", "FAuxTaxPrice", "FNoComCost", "FNoComMoney"}),
              want)
        << "SumType " << sum_type;
  }
}

TEST_F(Rpt2008609, AuxiliaryPropertiesWithOneNameShareARow) {
  Exec(R"SQL(
    INSERT INTO t_AuxItem (FItemID, FName) VALUES (501, 'Red'), (502, 'Red'), (503, 'Blue');
  )SQL");
  Exec(StockBill(1, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "1", "1") +
       StockBill(2, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "2", "2") +
       StockBill(3, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "4", "4") +
       "UPDATE ICStockBillEntry SET FAuxPropID = 500 + FInterID;");
  auto rs = Run(k2008609, January({{"SalePrice", int32_t{2}}, {"UnitCost", int32_t{3}}}));
  ASSERT_TRUE(rs);
  auto rows = Rows(*rs, {"FAuxPropName", "FBaseSendQty", "FSumSort"});
  ASSERT_EQ(rows.size(), 4u);
  std::sort(rows.begin(), rows.begin() + 2);  // the two summary rows tie on the order keys
  EXPECT_EQ(rows, (std::vector<std::string>{"Blue|4|0", "Red|3|0", "NULL|7|101", "NULL|7|100"}));
}

TEST_F(Rpt2008609, NoQualifyingLineGivesOnlyTheTotal) {
  const std::pair<int, const char*> cases[] = {
      {0, "合计|NULL|NULL|NULL|100|9999999"},
      {1, "合计|NULL|NULL|NULL|100|9999999"},
      {2, "NULL|合计|NULL|NULL|100|9999999"},
  };
  for (const auto& [sum_type, want] : cases) {
    auto rs = Run(k2008609, January({{"SumType", int32_t{sum_type}}}));
    ASSERT_TRUE(rs) << sum_type;
    EXPECT_EQ(Rows(*rs, {"FCustNumber", "FMaterialNumber", "FBaseSendQty", "FNoInvoiceMoney",
                         "FSumSort", "FOrderNO"}),
              (std::vector<std::string>{want}))
        << "SumType " << sum_type;
    EXPECT_EQ(rs->FieldCount(), 39);
  }
}

TEST_F(Rpt2008609, OtherSumTypeFailsTheCall) {
  Exec(StockBill(1, kDay, 41, 37511, 0, "NULL", "201", 1, 1, "101", 1, "301", "NULL", "10", "10"));
  DictionaryPtr sort;
  const Error e = RunFails(k2008609, January({{"SumType", int32_t{3}}}), &sort);
  EXPECT_EQ(e.number(), -8000);
  EXPECT_EQ(e.source(), "汽配行业报表中间层Q8VANTORpt.Data:::GetRpt2008609Data");
  EXPECT_FALSE(e.description().empty());
  ASSERT_TRUE(sort);
  EXPECT_EQ(sort->Count(), 3u);
}

}  // namespace
}  // namespace q8::testing
