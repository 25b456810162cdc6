// Filter helpers: GetStockInfo and GetPropertyExt.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "component/frame.h"
#include "q8vantorpt/data.h"
#include "tests/data/test_db.h"

namespace q8 {
namespace {

using testing::TestDb;
using Entries = std::vector<std::pair<std::string, Variant>>;

DictionaryPtr MakeFilter(const Entries& entries) {
  auto filter = std::make_shared<Dictionary>();
  for (const auto& [key, value] : entries) filter->SetValue(key, value);
  return filter;
}

class StockInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FShortNumber, FName) VALUES "
        "(10, 5, '01.001', '001', '主仓'),"
        "(11, 5, '01.002', 'O''Neil', '奥尼尔仓'),"
        "(12, 5, '01.003', '003', '备件仓'),"
        // Same number as a stock, other class: never a stock name.
        "(20, 1, '01.009', '009', '客户甲');"
        "INSERT INTO t_StockPlace (FSPID, FNumber, FShortNumber, FName) VALUES "
        "(1, 'A.01', 'A1', '一号货位'), (2, 'A.02', 'A2', '二号货位');");
  }
  TestDb db_;
};

TEST_F(StockInfo, NamesForNumbers) {
  struct Case {
    const char* note;
    Entries filter;
    bool long_number;
    Entries expected;  // in this order
  };
  const std::vector<Case> cases = {
      {"all numbers empty",
       {{"BStockNumber", ""}, {"EStockNumber", ""}, {"BSPNumber", ""}, {"ESPNumber", ""}},
       false,
       {{"BStockName", ""}, {"EStockName", ""}, {"BSPName", ""}, {"ESPName", ""}}},
      {"all keys absent",
       {},
       true,
       {{"BStockName", ""}, {"EStockName", ""}, {"BSPName", ""}, {"ESPName", ""}}},
      {"short numbers",
       {{"BStockNumber", "001"}, {"EStockNumber", "003"}, {"BSPNumber", "A1"}, {"ESPNumber", "A2"}},
       false,
       {{"BStockName", "主仓"},
        {"EStockName", "备件仓"},
        {"BSPName", "一号货位"},
        {"ESPName", "二号货位"}}},
      {"long numbers",
       {{"BStockNumber", "01.001"}, {"EStockNumber", "01.002"}, {"BSPNumber", "A.02"}},
       true,
       {{"BStockName", "主仓"},
        {"EStockName", "奥尼尔仓"},
        {"BSPName", "二号货位"},
        {"ESPName", ""}}},
      {"short number under the long column matches nothing",
       {{"BStockNumber", "001"}, {"EStockNumber", "01.003"}},
       true,
       {{"EStockName", "备件仓"}, {"BSPName", ""}, {"ESPName", ""}}},
      {"number of another item class",
       {{"BStockNumber", "009"}, {"EStockNumber", ""}, {"ESPNumber", "A9"}},
       false,
       {{"EStockName", ""}, {"BSPName", ""}}},
      {"apostrophe inside a number",
       {{"BStockNumber", "O'Neil"}},
       false,
       {{"BStockName", "奥尼尔仓"}, {"EStockName", ""}, {"BSPName", ""}, {"ESPName", ""}}},
      // The apostrophe cannot end the literal and widen the condition.
      {"apostrophe that would widen the condition",
       {{"BStockNumber", "x' OR '1'='1"}, {"EStockNumber", "003' --"}},
       false,
       {{"BSPName", ""}, {"ESPName", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    const DictionaryPtr filter = MakeFilter(c.filter);
    Data data;
    const DictionaryPtr result = data.GetStockInfo(db_.Dsn(), filter, c.long_number);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Items(), c.expected);
    // The host's filter is read, never changed.
    EXPECT_EQ(filter->Items(), MakeFilter(c.filter)->Items());
  }
}

TEST_F(StockInfo, FailuresPassUnchanged) {
  Data data;
  // The parser's repeated-key error, not the component's -8000.
  try {
    data.GetStockInfo(db_.Dsn() + "LANGUAGE=EN;", MakeFilter({}), false);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kKeyAlreadyPresent);
  }
  // The engine's error for a missing table.
  db_.Exec("DROP TABLE t_StockPlace;");
  try {
    data.GetStockInfo(db_.Dsn(), MakeFilter({{"BSPNumber", "A1"}}), false);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(e.number(), err::kComponent);
    EXPECT_FALSE(e.source().ends_with("GetStockInfo"));
  }
}

TEST(PropertyExt, FindsTheFirstMatchAnywhere) {
  struct Case {
    const char* note;
    std::string dsn;
    std::string name;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"present", "Language=CHS;UserID=16394;", "UserID", "16394"},
      {"absent", "Language=CHS;", "UserID", "cht"},
      {"empty value", "UserID=;Language=EN;", "UserID", "cht"},
      {"blank value", "UserID=   ;Language=EN;", "UserID", "cht"},
      {"name in lower case, value case kept", "userid=Ab7;", "UserID", "Ab7"},
      {"blanks stay in the value", "Language= EN ;", "Language", " EN "},
      {"no final semicolon", "Language=CHS;UserID=5", "UserID", "5"},
      {"with final semicolon", "Language=CHS;UserID=5;", "UserID", "5"},
      // A text search: the pattern is found inside a longer name.
      {"inside a longer name", "UserID=7;ID=9;", "ID", "7"},
      {"later item when the first has no match", "ID=9;UserID=7;", "ID", "9"},
      {"braces are not special", "ConnectString={a=1;b=2};x=3;", "ConnectString", "{a=1"},
      {"non-ASCII value", "UserName=张三;", "UserName", "张三"},
      {"empty descriptor", "", "Language", "cht"},
      {"name holding a semicolon", "a;b=1;", "a;b", "cht"},
  };
  Data data;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    EXPECT_EQ(data.GetPropertyExt(c.dsn, c.name), c.expected);
  }
  // No open happens: the object stays without parser and data source.
  EXPECT_FALSE(FrameOf(data).parser());
  EXPECT_FALSE(FrameOf(data).data_source());
}

}  // namespace
}  // namespace q8
