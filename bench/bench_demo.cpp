// The demo database generator: bill lines written per second, schema,
// master data, indexes and stock included.
//
//   DemoDb/N   generates a database of about N bill lines into a temporary
//              file (replaced on each iteration); counter lines/s
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tools/q8vantorpt/demo_db.h"

namespace {

void DemoDb(benchmark::State& state) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("q8_bench_demo_" + std::to_string(::getpid()) + ".db"))
                               .string();
  int64_t lines = 0;
  for (auto _ : state) {
    const q8::tool::DemoSummary s =
        q8::tool::GenerateDemoDatabase(path, q8::tool::DemoOptions{state.range(0), 1}, true);
    for (const auto& [table, rows] : s.rows) {
      if (table == "ICStockBillEntry" || table == "ICSaleEntry") lines += rows;
    }
  }
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
  std::filesystem::remove(path);
}
BENCHMARK(DemoDb)
    ->Arg(5000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
