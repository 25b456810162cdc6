// Excel workbooks, read back with openpyxl (tests/tool/xlsx_dump.py): values,
// number formats per row, the styles of subtotal and total rows, captions
// over field names, frozen headers, autofilters, column widths, the filter
// sheet of a report, continuation sheets, and the texts Excel cannot hold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/q8vantorpt/describe.h"
#include "tools/q8vantorpt/xlsx_writer.h"

namespace q8::tool {
namespace {

namespace fs = std::filesystem;
using ado::ColumnInfo;
using ado::FieldType;
using nlohmann::json;

// The workbook at `path` as openpyxl reads it (see xlsx_dump.py).
json Dump(const fs::path& path) {
  const std::string cmd =
      std::string(Q8_PYTHON3) + " " + Q8_XLSX_DUMP + " '" + path.string() + "' 2>&1";
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return json();
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  EXPECT_EQ(status, 0) << "openpyxl could not read " << path << ":\n" << out;
  return status == 0 ? json::parse(out) : json();
}

// Row `r` (1-based, as Excel counts) of a dumped sheet: [value, format, bold, fill] per cell.
const json& Row(const json& sheet, size_t r) { return sheet["rows"][r - 1]; }

ColumnInfo Col(const char* name, FieldType type) {
  ColumnInfo c;
  c.name = name;
  c.type = type;
  if (type == FieldType::kDecimal) {
    c.precision = 38;
    c.scale = 10;
  }
  return c;
}

class Xlsx : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("q8_xlsx_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// Rows shaped like report 2008609's: two customers' summary rows, a subtotal
// after each customer, the total last. The rows' own decimals differ.
std::unique_ptr<ado::RowSet> SummaryRows() {
  auto rows = std::make_unique<ado::RowSet>(std::vector<ColumnInfo>{
      Col("FCustNumber", FieldType::kText), Col("FMaterialName", FieldType::kText),
      Col("FUnitCost", FieldType::kDecimal), Col("FBaseSendQty", FieldType::kDecimal),
      Col("FComMoney", FieldType::kDecimal), Col("FQtyDecimal", FieldType::kInt),
      Col("FPriceDecimal", FieldType::kInt), Col("FSumSort", FieldType::kInt)});
  auto add = [&](const char* cust, const char* name, const char* cost, const char* qty,
                 const char* money, int qd, int pd, int kind) {
    cust ? rows->AddText(cust) : rows->AddNull();
    name ? rows->AddText(name) : rows->AddNull();
    for (const char* d : {cost, qty, money}) {
      if (d) {
        rows->AddDecimal(*Decimal::Parse(d));
      } else {
        rows->AddNull();
      }
    }
    qd >= 0 ? rows->AddInt(qd) : rows->AddNull();
    pd >= 0 ? rows->AddInt(pd) : rows->AddNull();
    rows->AddInt(kind);
    rows->EndRow();
  };
  add("01.0001", "天合前刹车片", "1.5", "10.25", "15.375", 2, 3, 0);
  add("01.0001", "Oil filter", "2", "3", "6", 0, 1, 0);
  add("小计", nullptr, nullptr, "13.25", "21.375", -1, -1, 101);
  add("02.0001", "Spark plug", "4.125", "1", "4.125", 1, 4, 0);
  add("小计", nullptr, nullptr, "1", "4.125", -1, -1, 101);
  add("合计", nullptr, nullptr, "14.25", "25.5", -1, -1, 100);
  return rows;
}

TEST_F(Xlsx, ReportRowsWithCaptionsFormatsAndRowKinds) {
  const ReportDescription d = DescribeReport(reports::ReportOf(2008609), "EN");
  auto rows = SummaryRows();
  const fs::path path = dir_ / "summary.xlsx";
  XlsxWorkbook wb(path.string());
  wb.AddRowSet(*rows, LayoutFor(*rows, d.name, &d));
  wb.AddReportSheet(
      d,
      {{"BDate", Variant("2024-12-01")}, {"SumType", Variant(int32_t{0})}, {"Note", Variant("x")}});
  wb.Close();

  const json sheets = Dump(path);
  ASSERT_EQ(sheets.size(), 2u);
  const json& s = sheets[0];
  EXPECT_EQ(s["name"], "Consignment Summary");
  EXPECT_EQ(s["freeze"], "A3") << "both header rows stay in view";
  EXPECT_EQ(s["filter"], "A2:H8") << "the autofilter sits on the field names, over every row";
  // Captions in the description's language, the field names under them.
  EXPECT_EQ(Row(s, 1)[0][0], "Customer code");
  EXPECT_EQ(Row(s, 1)[3][0], "Sent (base unit)");
  EXPECT_EQ(Row(s, 1)[0][2], true) << "captions are bold";
  EXPECT_EQ(Row(s, 2)[3][0], "FBaseSendQty");

  struct Cell {
    size_t row, col;
    json value;
    const char* format;
    bool bold;
    const char* fill;
  };
  const Cell cells[] = {
      // A summary row: quantity with its FQtyDecimal (2), price with its
      // FPriceDecimal (3), money with 2; numbers stay numbers.
      {3, 0, "01.0001", "General", false, ""},
      {3, 1, "天合前刹车片", "General", false, ""},
      {3, 2, 1.5, "#,##0.000", false, ""},
      {3, 3, 10.25, "#,##0.00", false, ""},
      {3, 4, 15.375, "#,##0.00", false, ""},
      {3, 5, 2, "General", false, ""},
      {4, 2, 2, "#,##0.0", false, ""},
      {4, 3, 3, "#,##0", false, ""},
      // The subtotal: bold on a light shade, its own blank cells shaded too,
      // shown with the most decimals of the rows it adds up.
      {5, 0, "小计", "General", true, "FFF2CC"},
      {5, 1, nullptr, "General", true, "FFF2CC"},
      {5, 3, 13.25, "#,##0.00", true, "FFF2CC"},
      {5, 7, 101, "General", true, "FFF2CC"},
      // The second customer's subtotal takes that customer's decimals only.
      {7, 3, 1, "#,##0.0", true, "FFF2CC"},
      // The total: darker, the most decimals of all rows.
      {8, 0, "合计", "General", true, "F8CBAD"},
      {8, 3, 14.25, "#,##0.00", true, "F8CBAD"},
      {8, 4, 25.5, "#,##0.00", true, "F8CBAD"},
      {8, 7, 100, "General", true, "F8CBAD"},
  };
  for (const Cell& c : cells) {
    SCOPED_TRACE("row " + std::to_string(c.row) + " column " + std::to_string(c.col));
    const json& cell = Row(s, c.row)[c.col];
    EXPECT_EQ(cell[0], c.value);
    EXPECT_EQ(cell[1], c.format);
    EXPECT_EQ(cell[2], c.bold);
    EXPECT_EQ(cell[3], c.fill);
  }
  // Widths fit the widest cell, CJK characters counting two.
  EXPECT_GE(s["widths"]["B"].get<double>(), 12.0) << "天合前刹车片 is twelve cells wide";
  EXPECT_LT(s["widths"]["H"].get<double>(), 12.0);

  // The filter sheet: what the report is and the filters it ran with.
  const json& f = sheets[1];
  EXPECT_EQ(f["name"], "Filters");
  EXPECT_EQ(Row(f, 1)[0][0], "Report number");
  EXPECT_EQ(Row(f, 1)[1][0], 2008609);
  EXPECT_EQ(Row(f, 2)[1][0], "Consignment Summary");
  EXPECT_EQ(Row(f, 3)[1][0], "EN");
  EXPECT_EQ(Row(f, 4)[1][0].get<std::string>().rfind("date:", 0), 0u) << "a date";
  EXPECT_EQ(Row(f, 6)[0][0], "Key");
  EXPECT_EQ(Row(f, 6)[3][0], "Meaning");
  std::map<std::string, json> by_key;
  for (size_t r = 7; r <= f["max_row"].get<size_t>(); ++r)
    by_key[Row(f, r)[0][0].get<std::string>()] = Row(f, r);
  EXPECT_EQ(by_key.size(), d.filters.size() + 1);
  EXPECT_EQ(by_key["BDate"][1][0], "2024-12-01");
  EXPECT_EQ(by_key["BDate"][3][0], "first bill date");
  EXPECT_EQ(by_key["SumType"][1][0], "0");
  EXPECT_EQ(by_key["SumType"][2][0], "0");
  EXPECT_EQ(by_key["Status"][1][0], nullptr) << "not given";
  EXPECT_EQ(by_key["Note"][3][0], "not read by this report");
}

TEST_F(Xlsx, DatesBooleansAndOddValues) {
  ado::RowSet rows({Col("When", FieldType::kDateTime), Col("Flag", FieldType::kBool),
                    Col("Ratio", FieldType::kDouble), Col("Text", FieldType::kText)});
  const double day = date::FromParts({2024, 12, 31, 0, 0, 0, 0});
  const double moment = date::FromParts({2024, 12, 31, 13, 45, 10, 0});
  const double old = date::FromParts({1899, 12, 30, 0, 0, 0, 0});
  struct Input {
    double when;
    bool flag;
    double ratio;
    const char* text;
  };
  const Input inputs[] = {
      {day, true, 0.25, "a\x01z"},                     // a control character
      {moment, false, std::nan(""), "bad \xFF byte"},  // NaN; a byte that is not UTF-8
      {old, true, 1e300, "_x0041_"},                   // text that reads like Excel's escape
  };
  for (const Input& in : inputs) {
    rows.AddDateTime(in.when);
    rows.AddBool(in.flag);
    rows.AddDouble(in.ratio);
    rows.AddText(in.text);
    rows.EndRow();
  }
  const fs::path path = dir_ / "odd.xlsx";
  XlsxWorkbook wb(path.string());
  wb.AddRowSet(rows, LayoutFor(rows, "Odd"));
  wb.Close();
  const json s = Dump(path)[0];
  EXPECT_EQ(s["freeze"], "A2") << "one header row: the field names";
  EXPECT_EQ(Row(s, 1)[0][0], "When");
  EXPECT_EQ(Row(s, 2)[0][0], "date:2024-12-31 00:00:00");
  EXPECT_EQ(Row(s, 2)[0][1], "yyyy-mm-dd");
  EXPECT_EQ(Row(s, 3)[0][0], "date:2024-12-31 13:45:10");
  EXPECT_EQ(Row(s, 3)[0][1], "yyyy-mm-dd hh:mm:ss");
  EXPECT_EQ(Row(s, 4)[0][0], "1899-12-30 00:00:00") << "before Excel's calendar: text";
  EXPECT_EQ(Row(s, 2)[1][0], true);
  EXPECT_EQ(Row(s, 3)[1][0], false);
  EXPECT_EQ(Row(s, 2)[2][0], 0.25);
  EXPECT_EQ(Row(s, 3)[2][0], "NaN");
  EXPECT_EQ(Row(s, 4)[2][0], 1e300);
  // Excel reads _xHHHH_ as an escaped character: the control character is
  // written so, and a literal one has its "_" escaped in turn.
  EXPECT_EQ(Row(s, 2)[3][0], "a_x0001_z");
  EXPECT_EQ(Row(s, 3)[3][0], "bad \xEF\xBF\xBD byte");
  EXPECT_EQ(Row(s, 4)[3][0], "_x005F_x0041_");
}

// Beyond a sheet's rows the record set goes on on continuation sheets, each
// with the header; nothing is lost or repeated.
TEST_F(Xlsx, ContinuationSheetsPastTheRowLimit) {
  const ReportDescription d = DescribeReport(reports::ReportOf(2008609), "CHS");
  auto rows = SummaryRows();  // six rows
  const fs::path path = dir_ / "long.xlsx";
  XlsxWorkbook wb(path.string(), XlsxOptions{.max_rows_per_sheet = 4, .temp_dir = ""});  // 2 header + 2 rows
  wb.AddRowSet(*rows, LayoutFor(*rows, d.name, &d));
  wb.Close();
  EXPECT_EQ(wb.sheet_count(), 3u);
  const json sheets = Dump(path);
  ASSERT_EQ(sheets.size(), 3u);
  EXPECT_EQ(sheets[0]["name"], "寄售发出汇总表");
  EXPECT_EQ(sheets[1]["name"], "寄售发出汇总表 (2)");
  EXPECT_EQ(sheets[2]["name"], "寄售发出汇总表 (3)");
  std::vector<std::string> first_cells;
  for (const json& s : sheets) {
    EXPECT_EQ(s["max_row"], 4);
    EXPECT_EQ(s["freeze"], "A3");
    EXPECT_EQ(s["filter"], "A2:H4");
    EXPECT_EQ(Row(s, 1)[0][0], "购货单位代码");
    EXPECT_EQ(Row(s, 2)[0][0], "FCustNumber");
    for (size_t r = 3; r <= 4; ++r) first_cells.push_back(Row(s, r)[0][0]);
  }
  EXPECT_EQ(first_cells,
            (std::vector<std::string>{"01.0001", "01.0001", "小计", "02.0001", "小计", "合计"}));
  // The style of a row kind does not depend on where the sheet breaks.
  EXPECT_EQ(Row(sheets[2], 4)[3][3], "F8CBAD");
  EXPECT_EQ(Row(sheets[2], 3)[3][1], "#,##0.0") << "the second customer's decimals";
}

TEST_F(Xlsx, SheetNamesExcelAccepts) {
  ado::RowSet rows({Col("a", FieldType::kInt)});
  rows.AddInt(1);
  rows.EndRow();
  const fs::path path = dir_ / "names.xlsx";
  XlsxWorkbook wb(path.string());
  for (const char* name : {"a/b:c*d?[e]\\f", "'quoted'", "", "Result", "result",
                           "A name of more than thirty-one characters"}) {
    wb.AddRowSet(rows, LayoutFor(rows, name));
  }
  wb.Close();
  std::vector<std::string> names;
  for (const json& s : Dump(path)) names.push_back(s["name"]);
  EXPECT_EQ(names, (std::vector<std::string>{"a_b_c_d__e__f", "quoted", "Sheet", "Result",
                                             "result (2)", "A name of more than thirty-one "}));
}

TEST_F(Xlsx, TextsLongerThanExcelHoldsAreCutAndTold) {
  ado::RowSet rows({Col("Long", FieldType::kText)});
  std::string long_text;
  for (int i = 0; i < 20000; ++i) long_text += "表";  // 20,000 characters, 60,000 bytes
  long_text += std::string(20000, 'x');
  rows.AddText(long_text);
  rows.EndRow();
  const fs::path path = dir_ / "long_text.xlsx";
  XlsxWorkbook wb(path.string());
  wb.AddRowSet(rows, LayoutFor(rows, "Long"));
  wb.Close();
  ASSERT_EQ(wb.warnings().size(), 1u);
  EXPECT_NE(wb.warnings()[0].find("1 text was cut to Excel's limit of 32,767 characters"),
            std::string::npos);
  const std::string cell = Row(Dump(path)[0], 2)[0][0];
  EXPECT_EQ(cell.substr(0, 6), "表表");
  EXPECT_EQ(cell.size(), 20000u * 3 + 12767u) << "32,767 characters kept";
}

// A workbook not closed writes nothing: a file already at the path stays.
TEST_F(Xlsx, NothingIsWrittenUntilClose) {
  const fs::path path = dir_ / "kept.xlsx";
  std::ofstream(path) << "earlier";
  {
    ado::RowSet rows({Col("a", FieldType::kInt)});
    XlsxWorkbook wb(path.string());
    wb.AddRowSet(rows, LayoutFor(rows, "A"));
  }
  std::ifstream in(path);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "earlier");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir_)) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"kept.xlsx"}) << "no temporary file is left";
}

TEST_F(Xlsx, CloseFailsForAFolderThatCannotBeWritten) {
  ado::RowSet rows({Col("a", FieldType::kInt)});
  XlsxWorkbook wb((dir_ / "no" / "such" / "folder.xlsx").string());
  wb.AddRowSet(rows, LayoutFor(rows, "A"));
  EXPECT_THROW(wb.Close(), std::runtime_error);
}

}  // namespace
}  // namespace q8::tool
