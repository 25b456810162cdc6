// Descriptions of the reports in the three languages, and as record sets.
#include "tools/q8vantorpt/describe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace q8::tool {
namespace {

const ColumnDescription* Column(const ReportDescription& d, const std::string& name) {
  for (const ColumnDescription& c : d.columns)
    if (c.name == name) return &c;
  return nullptr;
}

const FilterDescription* Key(const ReportDescription& d, const std::string& key) {
  for (const FilterDescription& f : d.filters)
    if (f.key == key) return &f;
  return nullptr;
}

// Per report and language: the name, one caption and one meaning.
TEST(DescribeReport, InEachLanguage) {
  struct Case {
    int report;
    const char* language;
    const char* name;
    const char* column;
    const char* caption;
    const char* key;
    const char* meaning;
  };
  const Case cases[] = {
      {2008608, "CHS", "客户寄售库存表", "FBUQty", "基本单位数量", "IsOnlyJS",
       "1：只列寄售仓库（类型 505），按客户取价；0：列出所有仓库"},
      {2008608, "CHT", "客戶寄售庫存表", "FBUQty", "基本單位數量", "BCustNumber", "起始客戶代碼"},
      {2008608, "EN", "Customer Consignment Inventory", "FBUQty", "Quantity (base unit)",
       "SalePrice",
       "sales price: 0 the price policy, 1 the latest invoice, 2 the material's sales price"},
      {2008610, "CHS", "寄售业务明细表", "FBillNO", "单据号", "BDate", "起始单据日期"},
      {2008610, "CHT", "寄售業務明細表", "FBaseSendQty", "基本單位發貨數量", "Status",
       "單據：0 已審核，1 未審核，2 全部（作廢的單據從不計入）"},
      {2008610, "en", "Consignment Movement Detail", "FDate", "Date", "EDate", "last bill date"},
      {2008609, "CHS", "寄售发出汇总表", "FNoComMoney", "未结算金额", "SumType",
       "汇总行：0 每个客户和物料一行，1 每个客户、物料和仓库一行，2 每个物料一行"},
      {2008609, "CHT", "寄售發出匯總表", "FCUUnitName", "庫存計量單位", "UnitCost",
       "單位成本：1 最近的入庫單據（事務類型 1、2、5），2 最近的出庫單據（事務類型 21、24、28），0 "
       "物料的標準成本"},
      {2008609, "EN", "Consignment Summary", "FComCost", "Settled cost", "bLongNumber",
       "compare the code ranges with the full code (FNumber) instead of the short code "
       "(FShortNumber)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.report) + " " + c.language);
    const ReportDescription d = DescribeReport(reports::ReportOf(c.report), c.language);
    EXPECT_EQ(d.number, c.report);
    EXPECT_EQ(d.method, "GetRpt" + std::to_string(c.report) + "Data");
    EXPECT_EQ(d.name, c.name);
    ASSERT_TRUE(Column(d, c.column));
    EXPECT_EQ(Column(d, c.column)->caption, c.caption);
    ASSERT_TRUE(Key(d, c.key));
    EXPECT_EQ(Key(d, c.key)->meaning, c.meaning);
    EXPECT_EQ(d.filters.size(), reports::ReportOf(c.report).filters.size());
    EXPECT_EQ(d.columns.size(), reports::ReportOf(c.report).columns.size());
  }
}

// A language without a catalogue keeps the simplified-Chinese texts.
TEST(DescribeReport, UnknownLanguageKeepsTheSourceTexts) {
  const ReportDescription d = DescribeReport(reports::ReportOf(2008610), "FR");
  EXPECT_EQ(d.name, "寄售业务明细表");
  EXPECT_EQ(Column(d, "FCustNumber")->caption, "购货单位代码");
}

// Types, defaults, allowed values and where each column's decimals come from.
TEST(DescribeReport, TypesDefaultsAndDecimals) {
  const ReportDescription d9 = DescribeReport(reports::ReportOf(2008609), "EN");
  struct KeyCase {
    const char* key;
    const char* type;
    const char* def;
    const char* allowed;
  };
  const KeyCase keys[] = {
      {"BDate", "date", "", ""},
      {"Status", "number", "0", "0|1|2"},
      {"bLongNumber", "bool", "false", "true|false"},
      {"BItemNumber", "text", "", ""},
      {"SumType", "number", "0", "0|1|2"},
  };
  for (const KeyCase& k : keys) {
    const FilterDescription* f = Key(d9, k.key);
    ASSERT_TRUE(f) << k.key;
    EXPECT_EQ(f->type, k.type) << k.key;
    EXPECT_EQ(f->default_value, k.def) << k.key;
    EXPECT_EQ(f->allowed, k.allowed) << k.key;
  }
  struct ColumnCase {
    int report;
    const char* column;
    const char* type;
    const char* decimals;
  };
  const ColumnCase columns[] = {
      {2008609, "FBaseSendQty", "decimal", "FQtyDecimal"},
      {2008609, "FUnitCost", "decimal", "FPriceDecimal"},
      {2008609, "FComMoney", "decimal", "2"},
      {2008609, "FCustNumber", "text", ""},
      {2008609, "FSumSort", "int", ""},
      {2008610, "FDate", "datetime", ""},
      {2008610, "FSendQty", "decimal", "FQtyDecimal"},
      // 2008608 carries no decimals per row.
      {2008608, "FBUQty", "decimal", ""},
      {2008608, "FAuxTaxPrice", "decimal", ""},
      {2008608, "FCost", "decimal", "2"},
      {2008608, "FConvRate", "decimal", ""},
  };
  for (const ColumnCase& c : columns) {
    const ReportDescription d = DescribeReport(reports::ReportOf(c.report), "EN");
    const ColumnDescription* col = Column(d, c.column);
    ASSERT_TRUE(col) << c.column;
    EXPECT_EQ(col->type, c.type) << c.column;
    EXPECT_EQ(col->decimals, c.decimals) << c.report << " " << c.column;
  }
}

TEST(DescribeReport, AsRecordSets) {
  std::vector<ReportDescription> all;
  for (const reports::ReportSpec& spec : reports::Reports())
    all.push_back(DescribeReport(spec, "EN"));
  const auto reports = ReportsRowSet(all);
  ASSERT_EQ(reports->row_count(), 3u);
  EXPECT_EQ(reports->columns()[0].name, "Number");
  EXPECT_EQ(reports->GetInt(0, 0), 2008608);
  EXPECT_EQ(reports->GetText(0, 1), "Customer Consignment Inventory");
  EXPECT_TRUE(reports->IsNull(0, 3)) << "2008608 has no subtotal rows";
  EXPECT_EQ(reports->GetInt(1, 3), 101);
  EXPECT_EQ(reports->GetInt(2, 4), 100);

  const auto filters = FiltersRowSet(all);
  EXPECT_EQ(filters->row_count(), 10u + 10u + 13u);
  EXPECT_EQ(filters->GetInt(0, 0), 2008608);
  EXPECT_EQ(filters->GetText(0, 1), "IsOnlyJS");
  EXPECT_EQ(filters->GetText(0, 3), "1");

  const auto columns = ColumnsRowSet(all);
  EXPECT_EQ(columns->row_count(), 28u + 40u + 39u);
  std::vector<std::string> names;
  for (const auto& c : columns->columns()) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Report", "Column", "Type", "Caption", "Decimals"}));
}

}  // namespace
}  // namespace q8::tool
