// The tool as a person meets it: reports described in three languages and
// every output form, filter mistakes told with the nearest key, warnings for
// filters that leave a report empty, failures that name their filter and
// statement, workbooks, statements from standard input or a file, and the
// smaller courtesies (unknown commands, --lang, dictionaries as two columns).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tool/run_tool.h"

namespace q8::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The JSON objects of a json output, one per line.
std::vector<json> JsonLines(const std::string& out) {
  std::vector<json> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(json::parse(line));
  return lines;
}

json DumpWorkbook(const fs::path& path) {
  const std::string cmd =
      std::string(Q8_PYTHON3) + " " + Q8_XLSX_DUMP + " " + ShellQuote(path.string()) + " 2>&1";
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return json();
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  EXPECT_EQ(pclose(p), 0) << out;
  return json::parse(out, nullptr, false);
}

class ReportTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() /
           ("q8_cli_report_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const ToolResult r = Run({"demo-db", "demo.db", "--scale", "1500"});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static ToolResult Run(const std::vector<std::string>& args, const std::string& input = "",
                        const std::string& env = "") {
    return RunBuiltTool(dir_, args, env, input);
  }
  // A report over December 2024 on the demo database.
  static ToolResult December(int report, std::vector<std::string> more) {
    std::vector<std::string> args = {
        "--db",     "demo.db",          "report",   std::to_string(report),
        "--filter", "BDate=2024-12-01", "--filter", "EDate=2024-12-31"};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args);
  }

  static fs::path dir_;
};

fs::path ReportTool::dir_;

// `report N --describe` for every report, language and form: the report's
// name, a caption and a meaning in the language asked for.
TEST_F(ReportTool, DescribeInEveryLanguageAndForm) {
  struct Case {
    const char* report;
    const char* lang;
    const char* name;
    const char* caption;
    const char* meaning;
  };
  const Case cases[] = {
      {"2008608", "CHS", "客户寄售库存表", "常用计量单位数量", "截止客户代码"},
      {"2008608", "CHT", "客戶寄售庫存表", "常用計量單位數量", "截止客戶代碼"},
      {"2008608", "EN", "Customer Consignment Inventory", "Quantity (stock unit)",
       "last customer code"},
      {"2008610", "CHS", "寄售业务明细表", "单据号", "起始单据日期"},
      {"2008610", "CHT", "寄售業務明細表", "單據號", "起始單據日期"},
      {"2008610", "EN", "Consignment Movement Detail", "Bill number", "first bill date"},
      {"2008609", "CHS", "寄售发出汇总表", "未开票金额", "截止单据日期"},
      {"2008609", "CHT", "寄售發出匯總表", "未開票金額", "截止單據日期"},
      {"2008609", "EN", "Consignment Summary", "Uninvoiced amount", "last bill date"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.report) + " " + c.lang);
    // No database is needed to describe a report.
    const ToolResult table = Run({"report", c.report, "--describe", "--lang", c.lang});
    ASSERT_EQ(table.status, 0) << table.err;
    for (const char* part : {c.name, c.caption, c.meaning})
      EXPECT_TRUE(Contains(table.out, part)) << part;

    const ToolResult js =
        Run({"report", c.report, "--describe", "--lang", c.lang, "--format", "json"});
    ASSERT_EQ(js.status, 0) << js.err;
    const std::vector<json> sets = JsonLines(js.out);
    ASSERT_EQ(sets.size(), 3u) << "reports, filter keys, columns";
    EXPECT_EQ(sets[0]["rows"][0][1], c.name);
    bool caption = false, meaning = false;
    for (const json& row : sets[2]["rows"]) caption = caption || row[3] == c.caption;
    for (const json& row : sets[1]["rows"]) meaning = meaning || row[5] == c.meaning;
    EXPECT_TRUE(caption);
    EXPECT_TRUE(meaning);

    const ToolResult csv =
        Run({"report", c.report, "--describe", "--lang", c.lang, "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out.rfind("Number,Name,Method,SubtotalKind,TotalKind\r\n" +
                                std::string(c.report) + "," + c.name + ",",
                            0),
              0u)
        << csv.out.substr(0, 200);
    EXPECT_TRUE(Contains(csv.out, "\nReport,Key,Type,Default,Allowed,Meaning\r\n"));
    EXPECT_TRUE(Contains(csv.out, "\nReport,Column,Type,Caption,Decimals\r\n"));

    const std::string book = std::string("describe_") + c.report + c.lang + ".xlsx";
    const ToolResult xlsx = Run(
        {"report", c.report, "--describe", "--lang", c.lang, "--format", "xlsx", "--output", book});
    ASSERT_EQ(xlsx.status, 0) << xlsx.err;
    const json sheets = DumpWorkbook(dir_ / book);
    ASSERT_EQ(sheets.size(), 3u);
    EXPECT_EQ(sheets[0]["rows"][1][1][0], c.name);
  }
  // The language of a descriptor counts when --lang is not given.
  const ToolResult env = Run({"report", "2008610", "--describe", "--format", "json"}, "",
                             "Q8VANTORPT_DSN=ConnectString={Provider=SQLite;Data Source=demo.db};"
                             "DBMS Name=SQLite;DBMS Version=3;Language=CHT;UserID=0;");
  ASSERT_EQ(env.status, 0) << env.err;
  EXPECT_EQ(JsonLines(env.out)[0]["rows"][0][1], "寄售業務明細表");
  // All reports at once, without a database.
  const ToolResult all = Run({"reports", "--describe", "--lang", "EN", "--format", "json"});
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(JsonLines(all.out)[0]["rows"].size(), 3u);
  EXPECT_EQ(JsonLines(all.out)[2]["rows"].size(), 28u + 40u + 39u);
}

TEST_F(ReportTool, HelpListsTheFilterKeys) {
  const ToolResult r = Run({"report", "--help"});
  ASSERT_EQ(r.status, 0);
  for (const char* part : {"BDate", "first bill date", "IsOnlyJS", "SumType", "bLongNumber",
                           "2008610,2008609", "--allow-unknown-filters", "--describe"}) {
    EXPECT_TRUE(Contains(r.out, part)) << part << "\n" << r.out;
  }
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\n  IsOnlyJS +number +1 +2008608 +1: ")))
      << r.out;
}

TEST_F(ReportTool, UnknownKeysAreErrorsUnlessAllowed) {
  const ToolResult typo = Run({"--db", "demo.db", "report", "2008610", "--filter",
                               "BeginDate=2024-12-01", "--filter", "EndDate=2024-12-31"});
  EXPECT_EQ(typo.status, 2);
  EXPECT_TRUE(Contains(typo.err, "reads no filter key 'BeginDate'; did you mean BDate?"))
      << typo.err;
  EXPECT_EQ(typo.out, "");
  const ToolResult allowed =
      December(2008610, {"--filter", "Note=x", "--allow-unknown-filters", "--format", "json"});
  EXPECT_EQ(allowed.status, 0) << allowed.err;
  EXPECT_GT(JsonLines(allowed.out)[0]["rows"].size(), 1u);
}

TEST_F(ReportTool, ABadDateNamesItsFilterAndTheStatement) {
  const ToolResult r = Run({"--db", "demo.db", "report", "2008609", "--filter", "BDate=2024-13-45",
                            "--filter", "EDate=2024-12-31"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::regex_match(
      r.err, std::regex("error -8000: [^\\n]*::GetRpt2008609Data: Conversion failed[^\\n]*"
                        "\\[statement: insert into [^\\n]*\\] \\[caused by the filter "
                        "BDate='2024-13-45', which is not a date\\]\\n")))
      << r.err;
  EXPECT_FALSE(Contains(r.err, "Set Nocount on")) << "not the batch's first line";
}

TEST_F(ReportTool, EmptyRangesAndMissingDatesAreTold) {
  // A customer with movements in December, by the code the report prints.
  const ToolResult all = December(2008610, {"--format", "json"});
  ASSERT_EQ(all.status, 0) << all.err;
  const std::string code = JsonLines(all.out)[0]["rows"][0][5];
  ASSERT_EQ(code.size(), 7u) << code;  // "04.0002": region and number
  // That code compared with the short code ("0002") matches nothing.
  const ToolResult r = December(2008610, {"--filter", "BCustNumber=" + code, "--filter",
                                          "ECustNumber=" + code, "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(JsonLines(r.out)[0]["rows"].size(), 1u) << "the total row alone";
  EXPECT_EQ(r.err,
            "q8vantorpt: warning: no customer's short code (FShortNumber) lies between "
            "BCustNumber='" +
                code + "' and ECustNumber='" + code +
                "'; bLongNumber is false, so the short code is compared (with "
                "bLongNumber=true 1 customer is in the range)\n");
  const ToolResult full =
      December(2008610, {"--filter", "BCustNumber=" + code, "--filter", "ECustNumber=" + code,
                         "--filter", "bLongNumber=true", "--format", "json"});
  ASSERT_EQ(full.status, 0) << full.err;
  EXPECT_EQ(full.err, "");
  EXPECT_GT(JsonLines(full.out)[0]["rows"].size(), 1u);

  const ToolResult undated = Run({"--db", "demo.db", "report", "2008610"});
  EXPECT_EQ(undated.status, 0);
  EXPECT_TRUE(Contains(undated.err, "warning: BDate and EDate are not given")) << undated.err;
}

TEST_F(ReportTool, WorkbookOfAReport) {
  const ToolResult js = December(2008610, {"--format", "json"});
  ASSERT_EQ(js.status, 0) << js.err;
  const json rows = JsonLines(js.out)[0]["rows"];
  const ToolResult r = December(2008610, {"--lang", "EN", "--format", "xlsx", "--output",
                                          "movement.xlsx", "--filter", "Status=2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "") << "the workbook goes to its file";
  const json sheets = DumpWorkbook(dir_ / "movement.xlsx");
  ASSERT_EQ(sheets.size(), 2u);
  const json& s = sheets[0];
  EXPECT_EQ(s["name"], "Consignment Movement Detail");
  EXPECT_EQ(sheets[1]["name"], "Filters");
  EXPECT_EQ(s["rows"][0][13][0], "Bill number");
  EXPECT_EQ(s["rows"][1][13][0], "FBillNO");
  // Status=2 lists all uncancelled bills: at least the json's rows (Status 0).
  ASSERT_GE(s["rows"].size(), rows.size() + 2);
  size_t subtotals = 0, totals = 0;
  for (size_t i = 2; i < s["rows"].size(); ++i) {
    const json& row = s["rows"][i];
    const json& kind = row[37][0];  // FSumSort
    const bool styled = row[0][2] == true && !row[0][3].get<std::string>().empty();
    if (kind == 101) ++subtotals;
    if (kind == 100) ++totals;
    EXPECT_EQ(styled, kind != 0) << "row " << i + 1 << " kind " << kind;
    if (kind == 0) {
      EXPECT_EQ(row[14][0].get<std::string>().rfind("date:2024-12-", 0), 0u) << "FDate is a date";
      EXPECT_TRUE(row[1][0].is_number()) << "FTranType is a number";
    }
  }
  EXPECT_GT(subtotals, 0u);
  EXPECT_EQ(totals, 1u);
  EXPECT_EQ(s["rows"].back()[37][0], 100) << "the total comes last";
  // The filter sheet shows the filters given.
  bool status_shown = false;
  for (const json& row : sheets[1]["rows"])
    status_shown = status_shown || (row[0][0] == "Status" && row[1][0] == "2");
  EXPECT_TRUE(status_shown);

  // The same numbers as the json form, for the same filter.
  const ToolResult same = December(2008610, {"--format", "xlsx", "--output", "same.xlsx"});
  ASSERT_EQ(same.status, 0) << same.err;
  const json book = DumpWorkbook(dir_ / "same.xlsx")[0]["rows"];
  ASSERT_EQ(book.size(), rows.size() + 2);
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t c : {23u, 24u, 29u, 38u}) {  // FBaseSendQty, FSendQty, FBaseInvoiceQty, FOrderNO
      const json& want = rows[i][c];
      const json& got = book[i + 2][c][0];
      if (want.is_null()) {
        EXPECT_TRUE(got.is_null()) << i << " " << c;
      } else {
        EXPECT_DOUBLE_EQ(got.get<double>(), want.get<double>()) << i << " " << c;
      }
    }
  }
}

TEST_F(ReportTool, WorkbookOutputRules) {
  const ToolResult no_file = Run({"--db", "demo.db", "--format", "xlsx", "server-date"});
  EXPECT_EQ(no_file.status, 2);
  EXPECT_TRUE(Contains(no_file.err, "--output FILE")) << no_file.err;

  // A failed report leaves an earlier workbook as it was.
  std::ofstream(dir_ / "kept.xlsx") << "earlier";
  const ToolResult failed =
      Run({"--db", "demo.db", "--format", "xlsx", "--output", "kept.xlsx", "query", "select nope"});
  EXPECT_EQ(failed.status, 1);
  std::ifstream in(dir_ / "kept.xlsx");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "earlier");

  // Other commands: a record set with one header row, named values as two columns.
  ASSERT_EQ(Run({"--db", "demo.db", "--format", "xlsx", "--output", "query.xlsx", "query",
                 "select FNumber, FName from t_Stock order by FNumber"})
                .status,
            0);
  const json q = DumpWorkbook(dir_ / "query.xlsx")[0];
  EXPECT_EQ(q["freeze"], "A2");
  EXPECT_EQ(q["rows"][0][0][0], "FNumber");
  EXPECT_EQ(q["rows"][1][0][0], "01");
  ASSERT_EQ(
      Run({"--db", "demo.db", "--format", "xlsx", "--output", "period.xlsx", "period", "current"})
          .status,
      0);
  const json p = DumpWorkbook(dir_ / "period.xlsx")[0];
  EXPECT_EQ(p["rows"][0][0][0], "CurrentYear");
  EXPECT_EQ(p["rows"][0][1][0], 2024);
  EXPECT_EQ(p["rows"][2][1][0], "date:2024-12-01 00:00:00");

  // --output takes the text forms too.
  const ToolResult csv = Run(
      {"--db", "demo.db", "--format", "csv", "--output", "one.csv", "query", "select 1 as one"});
  EXPECT_EQ(csv.status, 0);
  EXPECT_EQ(csv.out, "");
  std::ifstream one(dir_ / "one.csv", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(one), {}), "one\r\n1\r\n");
}

TEST_F(ReportTool, StatementFromStandardInputOrAFile) {
  const ToolResult stdin_sql =
      Run({"--db", "demo.db", "--format", "csv", "query", "-"}, "select 2 as two\n");
  EXPECT_EQ(stdin_sql.status, 0) << stdin_sql.err;
  EXPECT_EQ(stdin_sql.out, "two\r\n2\r\n");
  std::ofstream(dir_ / "q.sql") << "select 3 as three";
  const ToolResult file = Run({"--db", "demo.db", "--format", "csv", "query", "--file", "q.sql"});
  EXPECT_EQ(file.status, 0) << file.err;
  EXPECT_EQ(file.out, "three\r\n3\r\n");
  const ToolResult batch =
      Run({"--db", "demo.db", "--format", "csv", "batch", "-"}, "set nocount on\nselect 4 as four");
  EXPECT_EQ(batch.out, "four\r\n4\r\n") << batch.err;

  struct Case {
    std::vector<std::string> args;
    std::string input;
    const char* err;
  };
  const std::vector<Case> usage = {
      {{"--db", "demo.db", "query", "-"}, "  \n", "no statement on standard input"},
      {{"--db", "demo.db", "query", "--file", "missing.sql"}, "", "cannot read the statement file"},
      {{"--db", "demo.db", "query", "select 1", "--file", "q.sql"}, "", "not both"},
      {{"--db", "demo.db", "query"}, "", "give SQL, - to read it from standard input"},
  };
  for (const Case& c : usage) {
    const ToolResult r = Run(c.args, c.input);
    EXPECT_EQ(r.status, 2) << c.err;
    EXPECT_TRUE(Contains(r.err, c.err)) << r.err;
  }
}

TEST_F(ReportTool, CommandsAndLanguagesAreChecked) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;  // a part of standard error
  };
  const std::vector<Case> cases = {
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"--db", "demo.db", "reprot", "2008608"},
       2,
       "unknown command 'reprot'; did you mean report?"},
      {{"--db", "demo.db", "period", "curent"},
       2,
       "unknown command 'curent' of period; did you mean current?"},
      {{"--db", "demo.db", "period"}, 2, "a command is required after period"},
      {{}, 2, "a command is required; the commands are init-db, demo-db, report"},
      {{"--db", "demo.db", "--lang", "XX", "period", "current"},
       2,
       "--lang must be CHS, CHT or EN, not 'XX'"},
      {{"--db", "demo.db", "--lang", "cht", "report-group", "-1"}, 0, ""},
      // A descriptor error says which entry is wrong.
      {{"--dsn",
        "ConnectString={Provider=SQLite;Data Source=demo.db};DBMS Name=SQLite;DBMS Version=3;"
        "Lang=EN;UserID=0;",
        "query", "select 1"},
       1,
       "the connection descriptor has no entry \"Language\" (its entries: ConnectString, DBMS "
       "Name, DBMS Version, Lang, UserID)"},
      {{"--dsn", "Language=EN;DBMS Name=SQLite;language=CHS;", "query", "select 1"},
       1,
       "the connection descriptor gives the key \"language\" more than once"},
  };
  for (const Case& c : cases) {
    const ToolResult r = Run(c.args);
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, c.err)) << line << "\n" << r.err;
  }
  EXPECT_EQ(Run({"--db", "demo.db", "--lang", "cht", "report-group", "-1"}).out, "報表\n");
}

// Dictionaries print as two aligned columns in the table form.
TEST_F(ReportTool, DictionariesAsTwoColumns) {
  const std::regex two_columns("( \\S+ *\\| ?[^\\n]*\\n)+");
  const ToolResult period = Run({"--db", "demo.db", "period", "current"});
  ASSERT_EQ(period.status, 0);
  EXPECT_EQ(period.out,
            " CurrentYear   | 2024\n CurrentPeriod |   12\n StartDate     | 2024-12-01 00:00:00\n"
            " EndDate       | 2024-12-31 00:00:00\n");
  const ToolResult stock =
      Run({"--db", "demo.db", "stock-info", "--filter", "BStockNumber=09.001", "--long-number"});
  ASSERT_EQ(stock.status, 0) << stock.err;
  EXPECT_TRUE(std::regex_match(stock.out, two_columns)) << stock.out;
  EXPECT_TRUE(Contains(stock.out, " BStockName |")) << stock.out;
  const ToolResult demo = Run({"demo-db", "small.db", "--scale", "50"});
  ASSERT_EQ(demo.status, 0) << demo.err;
  EXPECT_TRUE(std::regex_match(demo.out, two_columns)) << demo.out;
  EXPECT_EQ(demo.out.rfind(" File ", 0), 0u) << demo.out;
}

}  // namespace
}  // namespace q8::testing
