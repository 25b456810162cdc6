// Inputs of megabytes and results of hundreds of thousands of rows: each is
// handled (a result or a clear error), never a crash or a hang.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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
#include "tools/q8vantorpt/cli.h"

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

}  // namespace
}  // namespace q8::reliability
