// The built executable: exit status, error lines, global options before or
// after the command, and the output forms end to end on a demo database.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out, err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class ToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() /
           ("q8_cli_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const Result r = Run({"demo-db", "demo.db", "--scale", "2000"});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  // Runs the tool in the test directory; `env` is "NAME=VALUE" or empty.
  static Result Run(const std::vector<std::string>& args, const std::string& env = "") {
    const fs::path err_file = dir_ / "stderr.txt";
    std::string cmd = "cd " + Quote(dir_.string()) + " && env -u Q8VANTORPT_DSN ";
    if (!env.empty()) cmd += Quote(env) + " ";
    cmd += Quote(Q8_TOOL_PATH);
    for (const std::string& a : args) cmd.append(1, ' ').append(Quote(a));
    cmd += " 2>" + Quote(err_file.string());
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(err_file, std::ios::binary);
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    return r;
  }

  static fs::path dir_;
};

fs::path ToolTest::dir_;

TEST_F(ToolTest, ExitStatus) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err_pattern;  // ECMAScript regex the whole standard error matches
  };
  const Case cases[] = {
      {{"--help"}, 0, ""},
      {{"query", "--help"}, 0, ""},
      {{"period", "start-end", "--help"}, 0, ""},
      {{"--version"}, 0, ""},
      {{"--db", "demo.db", "query", "select 1"}, 0, ""},
      // Usage errors.
      {{}, 2, "[^]*--help[^]*"},
      {{"frobnicate"}, 2, "[^]*"},
      {{"--db", "demo.db", "query"}, 2, "[^]*SQL[^]*"},
      {{"--db", "demo.db", "query", "select 1", "extra"}, 2, "[^]*"},
      {{"--db", "demo.db", "--format", "xml", "server-date"}, 2, "[^]*table, csv or json[^]*"},
      {{"--db", "demo.db", "--dsn", "X=1;", "server-date"}, 2, "[^]*either --dsn or --db[^]*"},
      {{"--db", "missing.db", "query", "select 1"}, 2, "[^]*not found: missing.db[^]*"},
      {{"query", "select 1"}, 2, "[^]*no database[^]*"},
      {{"--db", "demo.db", "report", "123"}, 2, "[^]*unknown report 123[^]*"},
      {{"report", "2008608", "--sql", "--filter", "Status=x"}, 2, "[^]*takes a number[^]*"},
      {{"report", "2008608", "--sql", "--filter", "IsOnlyJS"}, 2, "[^]*KEY=VALUE[^]*"},
      {{"period", "start-end", "2024"}, 2, "[^]*PERIOD[^]*"},
      {{"demo-db", "x.db", "--scale", "0"}, 2, "[^]*--scale[^]*"},
      // Failures of the component or the engine: one line, exit 1.
      {{"--db", "demo.db", "query", "select nope"},
       1,
       "error -8000: 汽配行业报表中间层Q8VANTORpt\\.Data:GetData: [^\\n]*nope[^\\n]*\\n"},
      {{"--db", "demo.db", "--lang", "EN", "query", "select nope"},
       1,
       "error -8000: [^\\n]*GetData: [^\\n]*\\n"},
      {{"init-db", "demo.db"}, 1, "error -?[0-9]+: [^\\n]*\\n"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
    EXPECT_TRUE(std::regex_match(r.err, std::regex(c.err_pattern))) << line << "\n" << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "missing.db")) << "a missing --db file is not created";
  EXPECT_FALSE(fs::exists(dir_ / "x.db"));
}

TEST_F(ToolTest, GlobalOptionsBeforeOrAfterTheCommand) {
  const Result before = Run({"--db", "demo.db", "--format", "csv", "query", "select 1 as one"});
  const Result after = Run({"query", "select 1 as one", "--format", "csv", "--db", "demo.db"});
  EXPECT_EQ(before.out, "one\r\n1\r\n");
  EXPECT_EQ(after.out, before.out);
  const Result nested =
      Run({"period", "start-end", "2024", "2", "--db", "demo.db", "--format", "json"});
  EXPECT_EQ(nested.out, "{\"BeginDate\":\"2024-02-01 00:00:00\",\"EndDate\":\"2024/02/29\"}\n")
      << nested.err;
}

TEST_F(ToolTest, DescriptorFromTheEnvironment) {
  const std::string dsn =
      "Q8VANTORPT_DSN=ConnectString={Provider=SQLite;Data Source=demo.db};DBMS Name=SQLite;"
      "DBMS Version=3;Language=EN;UserID=0;";
  const Result r = Run({"report-group", "-1", "--format", "json"}, dsn);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "\"Report\"\n") << "the EN descriptor of the environment was used";
  EXPECT_EQ(Run({"property", "Language"}, dsn).out, "EN\n");
}

TEST_F(ToolTest, ReportInEveryForm) {
  const Result json = Run({"--db", "demo.db", "report", "2008608", "--format", "json"});
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json j = nlohmann::json::parse(json.out);
  ASSERT_EQ(j["columns"].size(), 28u);
  EXPECT_EQ(j["columns"][0]["name"], "FCustNumber");
  EXPECT_EQ(j["columns"][17]["type"], "decimal");  // FBUQty
  ASSERT_GT(j["rows"].size(), 1u) << "stock rows, then the total";
  const auto& total = j["rows"].back();
  EXPECT_EQ(total[0], "合计");
  EXPECT_EQ(total[27], 100);  // FSumSort

  const Result csv = Run({"--db", "demo.db", "report", "2008608", "--format", "csv"});
  ASSERT_EQ(csv.status, 0);
  EXPECT_EQ(csv.out.substr(0, csv.out.find("\r\n")),
            "FCustNumber,FCustName,FMaterialNumber,FMaterialName,FModel,FMapNumber,FMapName,"
            "FAuxPropName,FStockNumber,FStockName,FSPNumber,FSPName,FBatchNo1,FKFDate,FKFPeriod,"
            "FMaturityDate,FBUUnitName,FBUQty,FCUUnitName,FCUUQty,FSecUnitName,FConvRate,FSecQty,"
            "FAuxTaxPrice,FAuxTaxMoney,FUnitCost,FCost,FSumSort");
  // One CSV record per JSON row (no field of this report holds a line break).
  const size_t records = static_cast<size_t>(std::count(csv.out.begin(), csv.out.end(), '\n'));
  EXPECT_EQ(records, j["rows"].size() + 1);

  const Result table = Run({"--db", "demo.db", "report", "2008608"});
  ASSERT_EQ(table.status, 0);
  EXPECT_NE(table.out.find("(" + std::to_string(j["rows"].size()) + " rows)"), std::string::npos);
}

TEST_F(ToolTest, ReportSqlNeedsNoDatabase) {
  const Result r = Run({"report", "2008608", "--sql"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind(" Set Nocount on\r\n", 0), 0u) << r.out.substr(0, 40);
  const Result json = Run({"report", "2008608", "--sql", "--format", "json"});
  EXPECT_EQ(nlohmann::json::parse(json.out).get<std::string>(), r.out) << "the same text, quoted";
}

TEST_F(ToolTest, BatchPrintsBodyThenHeader) {
  const Result r = Run({"--db", "demo.db", "--format", "json", "batch",
                        "update t_Currency set FCurrencyID = FCurrencyID where 1 = 0; "
                        "select 1 as body; select 2 as header"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"columns\":[{\"name\":\"body\",\"type\":\"int\"}],\"rows\":[[1]]}\n"
            "{\"columns\":[{\"name\":\"header\",\"type\":\"int\"}],\"rows\":[[2]]}\n");
}

TEST_F(ToolTest, TableRightsRestrictTheReport) {
  // Customer codes (column 0) and material codes (column 2) of the stock
  // rows that a user sees.
  auto codes = [](const Result& r, size_t column) {
    std::set<std::string> out;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    for (const auto& row : j["rows"]) {
      if (row[27] == 0) out.insert(row[column].get<std::string>().substr(0, 3));
    }
    return out;
  };
  const std::vector<std::string> report = {"--db", "demo.db", "--format",
                                           "json", "report",  "2008608"};
  auto as = [&](const char* user, bool table_rights) {
    std::vector<std::string> args = report;
    args.insert(args.end(), {"--user-id", user});
    if (table_rights) args.push_back("--table-rights");
    return Run(args);
  };
  const Result all = as("16394", false);
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_GT(codes(all, 0).size(), 1u) << "customers of several regions";
  EXPECT_EQ(codes(as("16394", true), 0), std::set<std::string>{"02."}) << "region 02 only";
  EXPECT_EQ(codes(as("16395", true), 2), std::set<std::string>{"01."}) << "brake parts only";
  EXPECT_EQ(as("1", true).out, all.out) << "a user without rows is unrestricted";
  const Result env =
      Run({"--db", "demo.db", "--user-id", "16395", "rights"}, "Q8VANTORPT_DATA_ACCESS=table");
  EXPECT_NE(env.out.find("t1.FItemID IN (SELECT FItemID FROM t_QPDataRight WHERE FUserID=16395"),
            std::string::npos)
      << env.out << env.err;
}

TEST_F(ToolTest, ServerDateIsADateTime) {
  const Result r = Run({"--db", "demo.db", "server-date"});
  EXPECT_TRUE(std::regex_match(r.out, std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\n")))
      << r.out;
}

}  // namespace
