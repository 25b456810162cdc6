// Inputs of megabytes and results of hundreds of thousands of rows: each is
// handled (a result or a clear error), never a crash or a hang.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "drivers/sqlite/tsql/collation.h"
#include "drivers/sqlite/tsql/translator.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"
#include "tests/reliability/public_calls.h"
#include "tests/reliability/support.h"
#include "tests/reliability/tool_process.h"
#include "tools/q8vantorpt/cli.h"
#include "tools/q8vantorpt/writers.h"

namespace q8::reliability {
namespace {

constexpr size_t kMegabyte = 1024 * 1024;

const std::vector<std::string>& Codes() {
  static const std::vector<std::string> codes = {"A100", "B200", "K500", "Z900"};
  return codes;
}

// An output that only counts what passes through it. It has no buffer of
// its own, so every write of the writer arrives here as one call.
class CountingBuffer : public std::streambuf {
 public:
  size_t bytes = 0;
  size_t lines = 0;
  size_t writes = 0;
  size_t largest_write = 0;

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) {
      Write(1);
      Count(static_cast<char>(c));
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    Write(static_cast<size_t>(n));
    for (std::streamsize i = 0; i < n; ++i) Count(s[i]);
    return n;
  }

 private:
  void Write(size_t n) {
    ++writes;
    largest_write = std::max(largest_write, n);
  }
  void Count(char c) {
    ++bytes;
    if (c == '\n') ++lines;
  }
};

class Limits : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterComponent();
    path_ = new ScratchPath("limits");
    CreateCodeDatabase(path_->str(), Codes());
  }
  static void TearDownTestSuite() {
    delete path_;
    path_ = nullptr;
  }
  static std::string Dsn() { return DsnFor(path_->str()); }

  static ScratchPath* path_;
};
ScratchPath* Limits::path_ = nullptr;

// Descriptors of megabytes: a huge value, many entries, a huge language, a
// huge file name, one word without separators. Each either works or fails
// with an error; which one is stated per case.
TEST_F(Limits, DescriptorsOfMegabytes) {
  std::string many_entries;
  // Appended piece by piece: `"K" + std::string` trips GCC 12's -Wrestrict at -O3.
  for (int i = 0; i < 200000; ++i)
    many_entries.append(1, 'K').append(std::to_string(i)).append("=v;");
  struct Case {
    const char* why;
    std::string dsn;
    bool works;
  };
  const Case cases[] = {
      {"an unknown key with an 8 MB value", Dsn() + "Pad=" + std::string(8 * kMegabyte, 'x') + ";",
       true},
      {"200000 unknown keys", Dsn() + many_entries, true},
      {"200000 unknown keys in the connection string",
       "ConnectString={Provider=SQLite;Data Source=" + path_->str() + ";" + many_entries +
           "};DBMS Name=SQLite;DBMS Version=3;Language=CHS;UserID=0;",
       true},
      {"a language id of 1 MB", DsnFor(path_->str(), std::string(kMegabyte, 'L')), true},
      {"a database file name of 1 MB", DsnFor(std::string(kMegabyte, 'f')), false},
      {"8 MB without a separator", std::string(8 * kMegabyte, 'x'), false},
      {"8 MB of separators", std::string(8 * kMegabyte, ';'), false},
      {"8 MB of braces", "ConnectString=" + std::string(8 * kMegabyte, '{'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Data data;
    try {
      auto rs = data.GetData(c.dsn, "SELECT FNumber FROM t_ICItem ORDER BY FNumber");
      ASSERT_TRUE(rs);
      EXPECT_TRUE(c.works);
      EXPECT_EQ(AllRows(*rs), Codes());
    } catch (const Error& e) {
      EXPECT_FALSE(c.works) << Describe(e).substr(0, 500);
      EXPECT_NE(e.number(), 0);
    }
  }
}

// Filter values of megabytes reach the engine as one literal and select by
// it like any other value.
TEST_F(Limits, FilterValuesOfMegabytes) {
  const std::string values[] = {
      std::string(4 * kMegabyte, 'A'),
      std::string(2 * kMegabyte, '\''),  // doubled on the way: 4 MB of quotes
      std::string(1, 'B').append(4 * kMegabyte, '-'),
  };
  Data data;
  for (const std::string& value : values) {
    SCOPED_TRACE("a value of " + std::to_string(value.size()) + " bytes starting " +
                 value.substr(0, 3));
    std::vector<std::string> want;
    for (const std::string& code : Codes())
      if (tsql::CompareCi(code, value) >= 0) want.push_back(code);
    for (int report : {2008608, 2008609, 2008610}) {
      DictionaryPtr filter = TextFilter({{"BItemNumber", value}});
      if (report != 2008608) {
        filter->SetValue("BDate", "2024-01-01");
        filter->SetValue("EDate", "2024-01-31");
      }
      DictionaryPtr sort;
      try {
        auto rs = report == 2008608   ? data.GetRpt2008608Data(Dsn(), nullptr, filter, sort)
                  : report == 2008609 ? data.GetRpt2008609Data(Dsn(), nullptr, filter, sort)
                                      : data.GetRpt2008610Data(Dsn(), nullptr, filter, sort);
        std::vector<std::string> got = DetailColumn(*rs, "FMaterialNumber");
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, want) << report;
      } catch (const Error& e) {
        ADD_FAILURE() << report << ": " << Describe(e).substr(0, 500);
      }
    }
    try {
      DictionaryPtr info = data.GetStockInfo(Dsn(), TextFilter({{"BStockNumber", value}}), false);
      EXPECT_FALSE(info->Exists("BStockName"));
    } catch (const Error& e) {
      ADD_FAILURE() << "GetStockInfo: " << Describe(e).substr(0, 500);
    }
  }
  // A date of a megabyte is no date.
  DictionaryPtr filter =
      TextFilter({{"BDate", std::string(kMegabyte, '2')}, {"EDate", "2024-01-31"}});
  DictionaryPtr sort;
  try {
    data.GetRpt2008610Data(Dsn(), nullptr, filter, sort);
    ADD_FAILURE() << "a date of a megabyte was taken";
  } catch (const Error& e) {
    EXPECT_NE(e.description().find(tsql::kDateConversion), std::string::npos)
        << Describe(e).substr(0, 500);
  }
}

// The size of the work-table cache comes from Q8VANTORPT_TEMP_CACHE_KB:
// from a single KiB (every work page spills to the temporary file) to a
// gigabyte the reports give the same rows, and a value that is no size is
// ignored rather than failing the connection.
TEST_F(Limits, WorkTableCacheSizes) {
  const char* saved = std::getenv("Q8VANTORPT_TEMP_CACHE_KB");
  const std::string previous = saved ? saved : "";
  unsetenv("Q8VANTORPT_TEMP_CACHE_KB");
  std::vector<std::string> want;
  {
    DictionaryPtr sort;
    auto rs = Data().GetRpt2008610Data(Dsn(), nullptr, Dates(), sort);
    want = AllRows(*rs);
  }
  ASSERT_FALSE(want.empty());
  for (const char* value :
       {"1", "64", "1048576", "", "abc", "0", "-5", "12kb", " 64", "99999999999999999999"}) {
    SCOPED_TRACE(std::string("Q8VANTORPT_TEMP_CACHE_KB=") + value);
    setenv("Q8VANTORPT_TEMP_CACHE_KB", value, 1);
    try {
      DictionaryPtr sort;
      auto rs = Data().GetRpt2008610Data(Dsn(), nullptr, Dates(), sort);
      EXPECT_EQ(AllRows(*rs), want);
    } catch (const Error& e) {
      ADD_FAILURE() << Describe(e).substr(0, 500);
    }
  }
  if (saved)
    setenv("Q8VANTORPT_TEMP_CACHE_KB", previous.c_str(), 1);
  else
    unsetenv("Q8VANTORPT_TEMP_CACHE_KB");
}

// A batch whose result has half a million rows goes through the tool to its
// output whole, in every format, and row by row: the output arrives in
// pieces of about a row, never as one text of the whole result (which would
// hold a second copy of the record set in memory).
TEST_F(Limits, BatchWithALargeResult) {
  ScratchPath big("bigresult");
  CreateCodeDatabase(big.str(), {});
  ExecSql(big.str(), R"SQL(
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000)
    INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FShortNumber, FName)
      SELECT i, 1, 'C' || i, i, 'Customer number ' || i FROM n;
  )SQL");
  constexpr size_t kRows = 1000 * 500;
  const std::string batch =
      "SET NOCOUNT ON\r\n"
      "SELECT a.FItemID, b.FNumber, a.FName FROM t_Item a CROSS JOIN t_Item b "
      "WHERE b.FItemID <= 500";
  for (const char* format : {"csv", "json", "table"}) {
    SCOPED_TRACE(format);
    CountingBuffer counter;
    std::ostream out(&counter);
    std::ostringstream err;
    const char* args[] = {"q8vantorpt", "--db",  big.str().c_str(), "--format",
                          format,       "batch", batch.c_str()};
    const int status = tool::RunTool(7, args, out, err, nullptr);
    ASSERT_EQ(status, tool::kExitOk) << err.str();
    const std::string f = format;
    if (f == "csv") {
      EXPECT_EQ(counter.lines, kRows + 1);  // a header line and the rows
    } else if (f == "table") {
      EXPECT_EQ(counter.lines, kRows + 3);  // header, rule, the rows, the count
    }
    EXPECT_GE(counter.bytes, kRows * 20);
    // Rows of under a hundred bytes: no write comes near the whole output.
    EXPECT_LE(counter.largest_write, 64 * 1024u) << counter.writes << " writes";
  }
}

// A cell of a megabyte: the table shows kTableCellWidth terminal cells of
// it, cut with an ellipsis, so the table stays small (it once padded every
// row to the widest cell); csv and json carry the whole value.
TEST_F(Limits, TableCellsAreCutAtADisplayWidth) {
  ScratchPath path("bigcell");
  CreateCodeDatabase(path.str(), Codes());
  ExecSql(path.str(),
          "UPDATE t_ICItem SET FName = replace(hex(zeroblob(500000)), '0', 'x') "
          "WHERE FNumber = 'B200'");
  const std::string sql = "SELECT FNumber, FName FROM t_ICItem ORDER BY FNumber";
  for (const char* format : {"table", "csv", "json"}) {
    SCOPED_TRACE(format);
    std::ostringstream out, err;
    const std::string db = path.str();
    const char* args[] = {"q8vantorpt", "--db",  db.c_str(), "--format",
                          format,       "query", sql.c_str()};
    ASSERT_EQ(tool::RunTool(7, args, out, err, nullptr), tool::kExitOk) << err.str();
    const std::string text = out.str();
    if (std::string(format) == "table") {
      EXPECT_LT(text.size(), 2000u);
      const std::string cut = std::string(tool::kTableCellWidth - 1, 'x') + "\u2026";
      EXPECT_NE(text.find(" " + cut + "\n"), std::string::npos) << text;
      EXPECT_EQ(text.find(std::string(tool::kTableCellWidth, 'x')), std::string::npos);
    } else {
      EXPECT_GT(text.size(), 1000000u);
      EXPECT_NE(text.find(std::string(1000000, 'x')), std::string::npos);
    }
  }
}

// A table is measured over its first blocks of rows; a wider cell in a
// later block widens its column from its own line on and is shown whole (up
// to the cell width), not cut to the measured width.
TEST_F(Limits, TableRowsAfterTheMeasuredOnesWidenTheirColumn) {
  ScratchPath path("widen");
  CreateCodeDatabase(path.str(), {});
  ExecSql(path.str(), R"SQL(
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000)
    INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FShortNumber, FName)
      SELECT i, 1, 'C' || i, i, CASE WHEN i < 20000 THEN 'ab' ELSE 'a much wider name' END FROM n;
  )SQL");
  std::ostringstream out, err;
  const char* args[] = {"q8vantorpt", "--db", path.str().c_str(), "query",
                        "select FName, FItemID from t_Item order by FItemID"};
  ASSERT_EQ(tool::RunTool(5, args, out, err, nullptr), tool::kExitOk) << err.str();
  const std::string text = out.str();
  EXPECT_EQ(text.substr(0, text.find('\n')), " FName | FItemID");
  EXPECT_NE(text.find("\n ab    |       1\n"), std::string::npos);
  EXPECT_NE(text.find("\n a much wider name |   20000\n"), std::string::npos)
      << text.substr(text.size() - 200);
  EXPECT_NE(text.find("(20000 rows)"), std::string::npos);
}

// Text from the database in an error line (a constraint named with escape
// sequences, a bell, a line break and a C1 control by a damaged or hostile
// schema) is escaped: the line is one line of printable text.
TEST_F(Limits, ControlCharactersInErrorLinesAreEscaped) {
  ScratchPath path("control");
  CreateCodeDatabase(path.str(), {"A100"});
  const std::string name = "c\x1b[2J\x1b[31m\a\r\nnext\xc2\x9b\x7f\t!";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.str().c_str(), &db), SQLITE_OK);
  const std::string create =
      "CREATE TABLE t_Hostile (x int CONSTRAINT \"" + name + "\" CHECK (x > 0))";
  ASSERT_EQ(sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  std::ostringstream out, err;
  const char* args[] = {"q8vantorpt", "--db", path.str().c_str(), "query",
                        "insert into t_Hostile values (0)"};
  EXPECT_EQ(tool::RunTool(5, args, out, err, nullptr), tool::kExitFailure);
  const std::string line = err.str();
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line";
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    EXPECT_TRUE(c >= 0x20 && c != 0x7F) << "byte " << i << " of " << line;
    if (c == 0xC2) {
      EXPECT_GE(static_cast<unsigned char>(line[i + 1]), 0xA0) << "a C1 control";
    }
  }
  EXPECT_NE(line.find("c\\x1B[2J\\x1B[31m\\x07 next\\u009B\\x7F\\t!"), std::string::npos) << line;
}

// A float past its range fails the statement as on SQL Server, instead of
// printing Infinity.
TEST_F(Limits, AFloatPastItsRangeIsAnError) {
  for (const char* sql :
       {"select power(10.0, 400)", "select 1e308 * 10", "select -power(2e0, 2000)"}) {
    SCOPED_TRACE(sql);
    for (const char* format : {"table", "json"}) {
      std::ostringstream out, err;
      const std::string db = path_->str();
      const char* args[] = {"q8vantorpt", "--db", db.c_str(), "--format", format, "query", sql};
      EXPECT_EQ(tool::RunTool(7, args, out, err, nullptr), tool::kExitFailure) << out.str();
      EXPECT_NE(err.str().find("Arithmetic overflow"), std::string::npos) << err.str();
      EXPECT_EQ(out.str().find("Infinity"), std::string::npos);
    }
  }
}

// --scale takes 1 to the documented maximum; beyond it, and beyond the room
// of the folder or the file-size limit, demo-db refuses before it writes.
TEST_F(Limits, DemoDbScaleIsBounded) {
  ScratchPath file("scale");
  for (const char* scale : {"0", "-5", "100000001", "99999999999999"}) {
    SCOPED_TRACE(scale);
    std::ostringstream out, err;
    const char* args[] = {"q8vantorpt", "demo-db", file.str().c_str(), "--scale", scale};
    EXPECT_EQ(tool::RunTool(5, args, out, err, nullptr), tool::kExitUsage) << err.str();
    EXPECT_FALSE(std::filesystem::exists(file.str()));
  }
  // The largest scale asks for about 30 GB: refused for want of room (or
  // of the file-size limit), naming the need and the folder's room.
  const std::string problems = RunInChild([&]() -> std::string {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 64 * kMegabyte;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::ostringstream out, err;
    const char* args[] = {"q8vantorpt", "demo-db", file.str().c_str(), "--scale", "100000000"};
    const int status = tool::RunTool(5, args, out, err, nullptr);
    if (status != tool::kExitFailure || err.str().find("needs about") == std::string::npos)
      return "status " + std::to_string(status) + ": " + err.str();
    return "";
  });
  EXPECT_EQ(problems, "");
  EXPECT_FALSE(std::filesystem::exists(file.str()));
}

// The tool under a file-size limit (ulimit -f) with the dispositions a shell
// leaves: a report whose work tables outgrow the limit fails with the error
// that names the temporary storage and the limit, not SIGXFSZ.
TEST_F(Limits, WorkTablesPastTheFileSizeLimitAreAClearError) {
  ScratchPath wide("wide"), folder("worktmp");
  std::vector<std::string> codes;
  for (int i = 0; i < 900; ++i)
    codes.push_back("W" + std::to_string(1000 + i) + std::string(200, 'w'));
  CreateCodeDatabase(wide.str(), codes);
  ASSERT_TRUE(std::filesystem::create_directory(folder.str()));
  ToolOptions o;
  o.args = {"--db",    wide.str(), "--format",         "csv",      "report",
            "2008610", "--filter", "BDate=2024-01-01", "--filter", "EDate=2024-01-31"};
  o.env = {{"SQLITE_TMPDIR", folder.str()}, {"Q8VANTORPT_TEMP_CACHE_KB", "64"}};
  o.out = ToolOut::kFile;
  o.out_file = "/dev/null";
  o.file_size_limit = 64 * 1024;
  const ToolResult r = RunToolProcess(o);
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_NE(r.err.find("temporary storage for work tables in '" + folder.str() + "'"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("file-size limit"), std::string::npos) << r.err;
  std::error_code ignored;
  std::filesystem::remove_all(folder.str(), ignored);
}

}  // namespace
}  // namespace q8::reliability
