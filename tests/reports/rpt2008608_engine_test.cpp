// Report 2008608 (customer consignment inventory) on the embedded engine,
// with rows computed by hand from small fixtures.

#include <gtest/gtest.h>

#include "tests/reports/engine_fixture.h"

namespace q8::testing {
namespace {

constexpr int k2008608 = 2008608;

class Rpt2008608 : public ReportDb {};

TEST_F(Rpt2008608, WarehouseTypesAndIsOnlyJS) {
  Exec(R"SQL(
    INSERT INTO ICInventory (FItemID, FStockID, FQty, FSecQty) VALUES
      (101, 301, 10, 0),  -- consignment warehouse of C001
      (102, 303, 4, 0),   -- type 500, no customer
      (102, 304, 7, 0),   -- type 999: never listed
      (103, 301, 5, 0);   -- deleted material: never listed
    INSERT INTO POInventory (FItemID, FStockID, FQty, FSecQty, FStockTypeID) VALUES
      (102, 303, 0, 0, 501);  -- no quantity: never gathered
  )SQL");
  struct Case {
    const char* why;
    DictionaryPtr filter;
    std::vector<std::string> want;
  };
  const std::vector<std::string> columns = {"FCustNumber",  "FCustName", "FMaterialNumber",
                                            "FStockNumber", "FBUQty",    "FCUUQty",
                                            "FSumSort"};
  const Case cases[] = {
      {"absent reads 1: type 505 only, label in the customer column",
       Filter({}),
       {"C001|Alpha Motors|M001|WH01|10|1|0", "合计|NULL|NULL|NULL|10|1|100"}},
      {"1 as the absent key",
       Filter({{"IsOnlyJS", int32_t{1}}}),
       {"C001|Alpha Motors|M001|WH01|10|1|0", "合计|NULL|NULL|NULL|10|1|100"}},
      {"0: every listed type, rows without customer first, label in the material column",
       Filter({{"IsOnlyJS", int32_t{0}}}),
       {"NULL|NULL|M002|WH03|4|4|0", "C001|Alpha Motors|M001|WH01|10|1|0",
        "NULL|NULL|合计|NULL|14|5|100"}},
  };
  for (const Case& c : cases) {
    auto rs = Run(k2008608, c.filter);
    ASSERT_TRUE(rs) << c.why;
    EXPECT_EQ(Rows(*rs, columns), c.want) << c.why;
  }
}

TEST_F(Rpt2008608, WarehouseOfTwoCustomersCountsOncePerCustomer) {
  Exec(R"SQL(
    INSERT INTO t_QPCustInv (FID, FCustID) VALUES (3, 202);
    INSERT INTO t_QPCustInvEntry (FID, FStockID) VALUES (3, 301);
    INSERT INTO ICInventory (FItemID, FStockID, FQty) VALUES (101, 301, 10);
  )SQL");
  auto rs = Run(k2008608, Filter({}));
  ASSERT_TRUE(rs);
  EXPECT_EQ(
      Rows(*rs, {"FCustNumber", "FMaterialNumber", "FStockNumber", "FBUQty"}),
      (std::vector<std::string>{"C001|M001|WH01|10", "C002|M001|WH01|10", "合计|NULL|NULL|20"}));
}

TEST_F(Rpt2008608, DatesConversionRateAndLookedUpNames) {
  Exec(R"SQL(
    INSERT INTO t_StockPlace (FSPID, FNumber, FName) VALUES (401, 'SP1', 'Shelf 1');
    INSERT INTO t_AuxItem (FItemID, FName) VALUES (501, 'Red');
    INSERT INTO ICItemMapping (FItemID, FPropertyID, FCompanyID, FMapNumber, FMapName)
      VALUES (101, 1, 201, 'A-77', 'Pad front');
    INSERT INTO ICInventory (FItemID, FStockID, FStockPlaceID, FBatchNo, FKFDate, FKFPeriod,
                             FQty, FSecQty, FAuxPropID) VALUES
      (101, 301, 401, 'B1', '2024-03-01', 30, 10, 4, 501),
      (101, 301, 401, 'B2', 'not a date', 30, 2, 0, 501),
      (101, 301, 401, 'B3', NULL, 30, 3, 0, 501);
  )SQL");
  auto rs = Run(k2008608, Filter({}));
  ASSERT_TRUE(rs);
  auto rows = Rows(*rs, {"FBatchNo1", "FKFDate", "FMaturityDate", "FKFPeriod", "FConvRate",
                         "FSecQty", "FSPNumber", "FSPName", "FAuxPropName", "FMapNumber",
                         "FMapName", "FBUUnitName", "FCUUnitName", "FSecUnitName"});
  ASSERT_EQ(rows.size(), 4u);
  // The three stock rows tie on every ordering key.
  std::sort(rows.begin(), rows.begin() + 3);
  EXPECT_EQ(rows[0],
            "B1|2024-03-01 00:00:00|2024-03-31 00:00:00|30|2.5|4|SP1|Shelf 1|Red|A-77|Pad "
            "front|PCS|BOX|PAIR");
  // A text that is no date, and a missing one, give no dates; FSecQty 0 gives
  // conversion rate 0.
  EXPECT_EQ(rows[1], "B2|NULL|NULL|30|0|0|SP1|Shelf 1|Red|A-77|Pad front|PCS|BOX|PAIR");
  EXPECT_EQ(rows[2], "B3|NULL|NULL|30|0|0|SP1|Shelf 1|Red|A-77|Pad front|PCS|BOX|PAIR");
}

TEST_F(Rpt2008608, RowsAgreeingInEveryShownColumnMerge) {
  // The same batch and place in both stock tables, and under two suppliers.
  Exec(R"SQL(
    INSERT INTO ICInventory (FItemID, FStockID, FBatchNo, FSupplyID, FQty) VALUES
      (101, 301, 'B1', 1, 10), (101, 301, 'B1', 2, 5);
    INSERT INTO POInventory (FItemID, FStockID, FBatchNo, FQty, FStockTypeID) VALUES
      (101, 301, 'B1', 20, 501);
  )SQL");
  auto rs = Run(k2008608, Filter({}));
  ASSERT_TRUE(rs);
  EXPECT_EQ(Rows(*rs, {"FCustNumber", "FBatchNo1", "FBUQty", "FCUUQty"}),
            (std::vector<std::string>{"C001|B1|35|3.5", "合计|NULL|35|3.5"}));
}

// Stock for the price and cost sources: C001 holds M001 and M002 in WH01,
// C002 holds M001 in WH02.
constexpr const char* kPricedStock = R"SQL(
  INSERT INTO ICInventory (FItemID, FStockID, FQty) VALUES
    (101, 301, 10), (101, 302, 20), (102, 301, 3);
  INSERT INTO IcPrcPly (FInterID, FPlyType) VALUES (1, 'PrcAsm1'), (2, 'PrcAsm2');
  INSERT INTO ICPrcPlyEntry (FInterID, FItemID, FUnitID, FCuryID, FPrice, FRelatedID, FChecked,
                             FBegDate, FEndDate) VALUES
    (1, 101, 2, 1, 50, 201, 1, '2000-01-01 00:00:00', '2099-12-31 00:00:00'),
    (1, 101, 2, 1, 60, 202, 1, '2000-01-01 00:00:00', '2099-12-31 00:00:00'),
    (2, 101, 2, 1, 99, 201, 1, '2000-01-01 00:00:00', '2099-12-31 00:00:00'),
    (1, 101, 2, 1, 70, 201, 1, '1999-01-01 00:00:00', '2001-01-01 00:00:00'),
    (1, 101, 2, 2, 10, 201, 1, '2000-01-01 00:00:00', '2099-12-31 00:00:00'),
    (1, 102, 1, 2, 2, 201, 1, '2000-01-01 00:00:00', '2099-12-31 00:00:00'),
    (1, 101, 2, 1, 80, 201, 0, '1998-01-01 00:00:00', '2099-12-31 00:00:00'),
    (1, 101, 1, 1, 500, 201, 1, '2000-01-01 00:00:00', '2099-12-31 00:00:00');
  INSERT INTO ICSale (FInterID, FBillNo, FDate, FTranType, FSaleStyle, FCustID, FROB, FStatus,
                      FCancellation, FExchangeRate) VALUES
    (11, 'I11', '2024-01-05 00:00:00', 80, 101, 201, 1, 1, 0, 1),
    (12, 'I12', '2024-01-06 00:00:00', 80, 101, 201, 1, 1, 0, 2),
    (13, 'I13', '2024-01-07 00:00:00', 80, 101, 202, 1, 1, 0, 1),
    (14, 'I14', '2024-01-08 00:00:00', 80, 101, 201, 1, 1, 1, 1),
    (15, 'I15', '2024-01-09 00:00:00', 80, 101, 201, -1, 1, 0, 1);
  INSERT INTO ICSaleEntry (FInterID, FEntryID, FDetailID, FItemID, FQty, FTaxPrice) VALUES
    (11, 1, 1, 101, 1, 40), (12, 1, 5, 101, 1, 45), (13, 1, 9, 101, 1, 100),
    (14, 1, 10, 101, 1, 300), (15, 1, 11, 101, 1, 400), (11, 2, 2, 102, 1, 7);
  INSERT INTO ICStockBill (FInterID, FBillNo, FDate, FTranType, FROB, FStatus, FCancellation)
  VALUES
    (31, 'P31', '2024-01-01 00:00:00', 1, 1, 1, 0),
    (32, 'P32', '2024-01-02 00:00:00', 2, 1, 1, 0),
    (33, 'S33', '2024-01-03 00:00:00', 21, 1, 1, 0),
    (34, 'P34', '2024-01-04 00:00:00', 5, 1, 1, 1),
    (35, 'P35', '2024-01-05 00:00:00', 1, -1, 1, 0);
  INSERT INTO ICStockBillEntry (FInterID, FEntryID, FDetailID, FItemID, FQty, FPrice) VALUES
    (31, 1, 20, 101, 1, 3.5), (32, 1, 21, 101, 1, 4), (33, 1, 22, 101, 1, 9),
    (34, 1, 23, 101, 1, 100), (35, 1, 24, 101, 1, 200);
)SQL";

TEST_F(Rpt2008608, SalePriceSources) {
  Exec(kPricedStock);
  struct Case {
    const char* why;
    DictionaryPtr filter;
    std::vector<std::string> want;  // customer|material|price|money, then the total money
  };
  const Case cases[] = {
      // Policy of type PrcAsm1 for the warehouse's customer: the valid base
      // currency entry (50) beats the foreign one (10 x 7); expired, unchecked
      // and other-type entries and other units do not count. M002 has only a
      // foreign price: 2 x 7.
      {"policy per customer",
       Filter({{"SalePrice", int32_t{0}}, {"UnitCost", int32_t{3}}}),
       {"C001|M001|500|500", "C001|M002|14|42", "C002|M001|600|1200", "合计|NULL|NULL|1742"}},
      // Every policy type, related party ignored: the highest base-currency
      // price of all (99).
      {"policy per material",
       Filter({{"SalePrice", int32_t{0}}, {"UnitCost", int32_t{3}}, {"IsOnlyJS", int32_t{0}}}),
       {"C001|M001|990|990", "C001|M002|14|42", "C002|M001|990|1980", "NULL|合计|NULL|3012"}},
      // The customer's own latest valid invoice line, times its exchange rate.
      {"latest invoice per customer",
       Filter({{"SalePrice", int32_t{1}}, {"UnitCost", int32_t{3}}}),
       {"C001|M001|900|900", "C001|M002|7|21", "C002|M001|1000|2000", "合计|NULL|NULL|2921"}},
      {"latest invoice per material",
       Filter({{"SalePrice", int32_t{1}}, {"UnitCost", int32_t{3}}, {"IsOnlyJS", int32_t{0}}}),
       {"C001|M001|1000|1000", "C001|M002|7|21", "C002|M001|1000|2000", "NULL|合计|NULL|3021"}},
      {"material's sales price",
       Filter({{"SalePrice", int32_t{2}}, {"UnitCost", int32_t{3}}}),
       {"C001|M001|50|50", "C001|M002|8|24", "C002|M001|50|100", "合计|NULL|NULL|174"}},
  };
  for (const Case& c : cases) {
    auto rs = Run(k2008608, c.filter);
    ASSERT_TRUE(rs) << c.why;
    EXPECT_EQ(Rows(*rs, {"FCustNumber", "FMaterialNumber", "FAuxTaxPrice", "FAuxTaxMoney"}), c.want)
        << c.why;
  }
}

TEST_F(Rpt2008608, UnitCostSources) {
  Exec(kPricedStock);
  struct Case {
    const char* why;
    int unit_cost;
    std::vector<std::string> want;  // customer|material|unit cost|cost
  };
  const Case cases[] = {
      // Latest valid stock-bill line of types 1, 2, 5 (4); none for M002.
      {"purchase types",
       1,
       {"C001|M001|40|40", "C001|M002|0|0", "C002|M001|40|80", "合计|NULL|NULL|120"}},
      {"types 21, 24, 28",
       2,
       {"C001|M001|90|90", "C001|M002|0|0", "C002|M001|90|180", "合计|NULL|NULL|270"}},
      {"standard cost",
       3,
       {"C001|M001|30|30", "C001|M002|6|18", "C002|M001|30|60", "合计|NULL|NULL|108"}},
  };
  for (const Case& c : cases) {
    auto rs =
        Run(k2008608, Filter({{"SalePrice", int32_t{2}}, {"UnitCost", int32_t{c.unit_cost}}}));
    ASSERT_TRUE(rs) << c.why;
    EXPECT_EQ(Rows(*rs, {"FCustNumber", "FMaterialNumber", "FUnitCost", "FCost"}), c.want) << c.why;
  }
}

TEST_F(Rpt2008608, NoStockGivesOnlyTheTotalRow) {
  auto rs = Run(k2008608, Filter({}));
  ASSERT_TRUE(rs);
  EXPECT_EQ(Rows(*rs, {"FCustNumber", "FMaterialNumber", "FBUQty", "FCUUQty", "FSecQty",
                       "FAuxTaxMoney", "FCost", "FSumSort"}),
            (std::vector<std::string>{"合计|NULL|NULL|NULL|NULL|NULL|NULL|100"}));
  EXPECT_EQ(ColumnNames(*rs),
            (std::vector<std::string>{
                "FCustNumber",   "FCustName",   "FMaterialNumber", "FMaterialName", "FModel",
                "FMapNumber",    "FMapName",    "FAuxPropName",    "FStockNumber",  "FStockName",
                "FSPNumber",     "FSPName",     "FBatchNo1",       "FKFDate",       "FKFPeriod",
                "FMaturityDate", "FBUUnitName", "FBUQty",          "FCUUnitName",   "FCUUQty",
                "FSecUnitName",  "FConvRate",   "FSecQty",         "FAuxTaxPrice",  "FAuxTaxMoney",
                "FUnitCost",     "FCost",       "FSumSort"}));
}

TEST_F(Rpt2008608, NumberRanges) {
  Exec(R"SQL(
    INSERT INTO ICInventory (FItemID, FStockID, FQty) VALUES
      (101, 301, 10), (101, 302, 20), (102, 301, 3);
  )SQL");
  struct Case {
    const char* why;
    DictionaryPtr filter;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"material, full code",
       Filter({{"bLongNumber", true}, {"BItemNumber", "M002"}}),
       {"C001|M002|WH01", "合计|NULL|NULL"}},
      {"material, short code",
       Filter({{"EItemNumber", "001"}}),
       {"C001|M001|WH01", "C002|M001|WH02", "合计|NULL|NULL"}},
      // Both customer bounds on the short code.
      {"customer, short code",
       Filter({{"BCustNumber", "002"}, {"ECustNumber", "002"}}),
       {"C002|M001|WH02", "合计|NULL|NULL"}},
      {"customer, full code",
       Filter({{"bLongNumber", "1"}, {"ECustNumber", "C001"}}),
       {"C001|M001|WH01", "C001|M002|WH01", "合计|NULL|NULL"}},
      {"warehouse of blanks is no bound",
       Filter({{"BStockNumber", "  "}}),
       {"C001|M001|WH01", "C001|M002|WH01", "C002|M001|WH02", "合计|NULL|NULL"}},
      {"warehouse, short code",
       Filter({{"BStockNumber", "02"}}),
       {"C002|M001|WH02", "合计|NULL|NULL"}},
      {"a quote in a bound is data", Filter({{"BItemNumber", "M'"}}), {"合计|NULL|NULL"}},
  };
  for (const Case& c : cases) {
    auto rs = Run(k2008608, c.filter);
    ASSERT_TRUE(rs) << c.why;
    EXPECT_EQ(Rows(*rs, {"FCustNumber", "FMaterialNumber", "FStockNumber"}), c.want) << c.why;
  }
}

TEST_F(Rpt2008608, StockUnitWithCoefficientZeroFailsTheCall) {
  Exec("INSERT INTO ICInventory (FItemID, FStockID, FQty) VALUES (109, 301, 5);");
  auto sort = Filter({{"Keep", "me"}, {"SumOnly", false}});
  const Error e = RunFails(k2008608, Filter({}), &sort);
  EXPECT_EQ(e.number(), -8000);
  EXPECT_EQ(e.source(), "汽配行业报表中间层Q8VANTORpt.Data:::GetRpt2008608Data");
  // The engine's description, with the failing statement after it.
  EXPECT_EQ(e.description().rfind("Divide by zero error encountered.", 0), 0u) << e.description();
  // The hints were written before the batch ran.
  EXPECT_EQ(sort->GetValue("SumOnly"), Variant(true));
  EXPECT_EQ(sort->GetValue("OrderByOnlyGroup"), Variant(" FFlag"));
  EXPECT_EQ(sort->GetValue("DefaultOrderBy"), Variant(" FCustNumber,FMaterialNumber,FStockNumber"));
  EXPECT_EQ(sort->GetValue("Keep"), Variant("me"));
}

}  // namespace
}  // namespace q8::testing
