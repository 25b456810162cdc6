// Building the batch text of each consignment report: the work a report call
// does before the database sees anything, and all that `report --sql` does.

#include <benchmark/benchmark.h>

#include <string>

#include "q8vantorpt/dictionary.h"
#include "reports/report_frame.h"

namespace {

using q8::Dictionary;
using q8::Variant;
namespace reports = q8::reports;

// A filter as a host passes it for a period with every code bound given.
Dictionary TypicalFilter(int32_t sale_price, int32_t unit_cost, int32_t sum_type) {
  Dictionary f;
  f.SetValue("bLongNumber", true);
  f.SetValue("BItemNumber", "01.001");
  f.SetValue("EItemNumber", "01.999");
  f.SetValue("BStockNumber", "WH01");
  f.SetValue("EStockNumber", "WH09");
  f.SetValue("BCustNumber", "C001");
  f.SetValue("ECustNumber", "C200");
  f.SetValue("BDate", "2024-01-01");
  f.SetValue("EDate", "2024-01-31");
  f.SetValue("Status", int32_t{0});
  f.SetValue("SalePrice", sale_price);
  f.SetValue("UnitCost", unit_cost);
  f.SetValue("SumType", sum_type);
  f.SetValue("IsOnlyJS", int32_t{1});
  return f;
}

void BuildReport(benchmark::State& state, int report) {
  const Dictionary filter = TypicalFilter(static_cast<int32_t>(state.range(0)), 1, 0);
  const reports::ReportInput in{
      filter, true, " inner join t_Right r on r.FItemID=t1.FItemID", "r.FUserID=7", "小计", "合计"};
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text = reports::BuildBatch(report, in);
    bytes += text.size();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_Build2008608(benchmark::State& state) { BuildReport(state, reports::kRpt2008608); }
void BM_Build2008610(benchmark::State& state) { BuildReport(state, reports::kRpt2008610); }
void BM_Build2008609(benchmark::State& state) { BuildReport(state, reports::kRpt2008609); }

// SalePrice 0 (the price-policy block) and 2 (the material's own price).
BENCHMARK(BM_Build2008608)->Arg(0)->Arg(2);
BENCHMARK(BM_Build2008610)->Arg(0);
BENCHMARK(BM_Build2008609)->Arg(0)->Arg(2);

void BM_NumberRangeCondition(benchmark::State& state) {
  const Dictionary filter = TypicalFilter(0, 1, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(reports::NumberRangeCondition(filter, true));
  }
}
BENCHMARK(BM_NumberRangeCondition);

}  // namespace

BENCHMARK_MAIN();
