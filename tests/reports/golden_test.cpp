// Whole batch texts of the three reports, compared byte for byte with the
// hand-written files in testdata/golden (CR LF line ends).

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "q8vantorpt/dictionary.h"
#include "reports/report_frame.h"

namespace q8::reports {
namespace {

struct GoldenCase {
  const char* file;
  int report;
  std::vector<std::pair<const char*, Variant>> filter;
  bool long_number = false;
  const char* str_from = "";
  const char* str_where = "";
  const char* subtotal = "小计";
  const char* total = "合计";
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.file; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The first line where the texts differ, for a readable failure.
std::string FirstDifference(const std::string& want, const std::string& got) {
  size_t line = 1, start = 0;
  for (size_t i = 0; i < want.size() && i < got.size(); ++i) {
    if (want[i] != got[i]) {
      const size_t we = want.find('\n', start), ge = got.find('\n', start);
      return "line " + std::to_string(line) + "\n want: " + want.substr(start, we - start) +
             "\n  got: " + got.substr(start, ge - start);
    }
    if (want[i] == '\n') ++line, start = i + 1;
  }
  return "lengths " + std::to_string(want.size()) + " and " + std::to_string(got.size());
}

const Variant kRanges[] = {"01.001", "01.999", "WH01", "WH09", "C001", "C200"};
const char* const kRangeKeys[] = {"BItemNumber",  "EItemNumber", "BStockNumber",
                                  "EStockNumber", "BCustNumber", "ECustNumber"};

std::vector<std::pair<const char*, Variant>> WithRanges(
    std::vector<std::pair<const char*, Variant>> f) {
  for (int i = 0; i < 6; ++i) f.emplace_back(kRangeKeys[i], kRanges[i]);
  return f;
}

const std::vector<std::pair<const char*, Variant>> kPeriod = {{"BDate", "2024-01-01"},
                                                              {"EDate", "2024-01-31"}};
std::vector<std::pair<const char*, Variant>> Period(
    std::vector<std::pair<const char*, Variant>> more) {
  auto f = kPeriod;
  f.insert(f.end(), more.begin(), more.end());
  return f;
}

const GoldenCase kCases[] = {
    // IsOnlyJS absent reads 1; SalePrice and UnitCost absent read 0.
    {"2008608_empty.sql", kRpt2008608, {}},
    {"2008608_js0_price1_cost1.sql",
     kRpt2008608,
     {{"IsOnlyJS", int32_t{0}}, {"SalePrice", int32_t{1}}, {"UnitCost", int32_t{1}}}},
    {"2008608_js1_price1_cost2.sql",
     kRpt2008608,
     {{"IsOnlyJS", int32_t{1}}, {"SalePrice", int32_t{1}}, {"UnitCost", int32_t{2}}}},
    // Numbers given as text compare as numbers.
    {"2008608_js0_price0_cost3.sql",
     kRpt2008608,
     {{"IsOnlyJS", "0"}, {"SalePrice", "0"}, {"UnitCost", int32_t{3}}}},
    {"2008608_js1_price2_cost3.sql",
     kRpt2008608,
     {{"SalePrice", int32_t{2}}, {"UnitCost", int32_t{3}}}},
    {"2008608_ranges_long.sql", kRpt2008608,
     WithRanges({{"IsOnlyJS", int32_t{0}}, {"SalePrice", int32_t{2}}, {"bLongNumber", true}}),
     true},
    // Short codes for every bound, the lower customer bound included; the
    // warehouse-type line of IsOnlyJS follows the bounds.
    {"2008608_ranges_short.sql",
     kRpt2008608,
     {{"SalePrice", int32_t{2}},
      {"BItemNumber", "001"},
      {"EItemNumber", "999"},
      {"BStockNumber", "01"},
      {"EStockNumber", "09"},
      {"BCustNumber", "001"},
      {"ECustNumber", "200"}}},
    // A warehouse bound of blanks is no bound; the other is placed untrimmed.
    // Quotes are doubled in values and in the label.
    {"2008608_quotes_blank_stock.sql",
     kRpt2008608,
     {{"SalePrice", int32_t{2}},
      {"BItemNumber", "O'Neil"},
      {"BStockNumber", "   "},
      {"EStockNumber", " 02 "},
      {"ECustNumber", "x' or 1=1 --"}},
     true,
     " inner join t_Right r on r.FItemID=t1.FItemID",
     "r.FUserID=7",
     "小计",
     "Grand's total"},

    {"2008610_status0.sql", kRpt2008610, Period({{"Status", int32_t{0}}})},
    {"2008610_status1_ranges_long.sql", kRpt2008610, WithRanges(Period({{"Status", int32_t{1}}})),
     true},
    {"2008610_status2_ranges_short.sql", kRpt2008610,
     Period({{"Status", int32_t{2}},
             {"BItemNumber", "001"},
             {"EStockNumber", "09"},
             {"BCustNumber", "001"},
             {"ECustNumber", "200"}}),
     false, " inner join t_Right r on r.FItemID=t1.FItemID", "r.FUserID=7"},
    {"2008610_status7_quotes.sql",
     kRpt2008610,
     {{"BDate", "2024/01/01"}, {"EDate", "2024-01-31' or '1'='1"}, {"Status", int32_t{7}}},
     false,
     "",
     "",
     "Sub'total",
     "Grand's total"},

    {"2008609_sum0_price0_cost1.sql", kRpt2008609,
     Period({{"SumType", int32_t{0}},
             {"SalePrice", int32_t{0}},
             {"UnitCost", int32_t{1}},
             {"Status", int32_t{0}}})},
    {"2008609_sum1_price1_cost2_status1.sql", kRpt2008609,
     Period({{"SumType", int32_t{1}},
             {"SalePrice", int32_t{1}},
             {"UnitCost", int32_t{2}},
             {"Status", int32_t{1}}})},
    {"2008609_sum2_price5_cost3_status2_ranges.sql", kRpt2008609,
     WithRanges(Period({{"SumType", int32_t{2}},
                        {"SalePrice", int32_t{5}},
                        {"UnitCost", int32_t{3}},
                        {"Status", int32_t{2}}})),
     true},
    {"2008609_sum2_price0_cost1.sql", kRpt2008609,
     Period({{"SumType", int32_t{2}}, {"UnitCost", int32_t{1}}})},
    {"2008609_sum0_price1_cost7_quotes.sql",
     kRpt2008609,
     {{"BDate", "2024-01-01"},
      {"EDate", "2024-01-31' --"},
      {"SalePrice", int32_t{1}},
      {"UnitCost", int32_t{7}},
      {"EItemNumber", "999"},
      {"BStockNumber", "01"},
      {"ECustNumber", "200"}},
     false,
     " inner join t_Right r on r.FItemID=t1.FItemID",
     "r.FUserID=7",
     "Sub'total",
     "Grand's total"},
    // The server rejects this summary; the batch is still built.
    {"2008609_sum3_price0_cost1.sql", kRpt2008609,
     Period({{"SumType", int32_t{3}}, {"UnitCost", int32_t{1}}})},
};

class GoldenBatch : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenBatch, MatchesTheFileByteForByte) {
  const GoldenCase& c = GetParam();
  Dictionary filter;
  for (const auto& [key, value] : c.filter) filter.SetValue(key, value);
  const ReportInput in{filter, c.long_number, c.str_from, c.str_where, c.subtotal, c.total};

  const std::string want = ReadFile(std::string(Q8_GOLDEN_DIR) + "/" + c.file);
  ASSERT_FALSE(want.empty()) << c.file;
  const std::string got = BuildBatch(c.report, in);
  EXPECT_TRUE(got == want) << c.file << ": " << FirstDifference(want, got);
}

std::string CaseName(const ::testing::TestParamInfo<GoldenCase>& info) {
  std::string name = info.param.file;
  name = name.substr(0, name.find('.'));
  for (char& ch : name) {
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return "r" + name;
}

INSTANTIATE_TEST_SUITE_P(Reports, GoldenBatch, ::testing::ValuesIn(kCases), CaseName);

}  // namespace
}  // namespace q8::reports
