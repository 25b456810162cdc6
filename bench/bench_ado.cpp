// Overhead of the data-access layer over bare SQLite, for a result of
// 100,000 rows of four typed columns (int, decimal(23,10), datetime,
// nvarchar).
//
//   BareSqlite      prepare, step and read every cell with the C API
//   LayerExecute    Connection::Execute: translation (cached), stepping and
//                   conversion of every cell into the typed row set
//   LayerReadAll    the same, then every cell read back through
//                   Recordset::Value as a Variant
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "component/outside/provider.h"
#include "drivers/sqlite/schema.h"
#include "q8vantorpt/ado.h"

namespace {

constexpr int kRows = 100000;
constexpr const char* kQuery = "SELECT id, qty, at, name FROM bench_rows";

const std::string& Database() {
  static const std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() /
                     ("q8-bench-ado-" + std::to_string(::getpid()) + ".db"))
                        .string();
    std::remove(p.c_str());
    sqlite3* db = nullptr;
    sqlite3_open(p.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE bench_rows (id int, qty decimal(23,10), at datetime, "
                 "name nvarchar(80) COLLATE NOCASE);"
                 "BEGIN;"
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
                 "INSERT INTO bench_rows SELECT i, i * 1.25 + 0.0000000001 * (i % 7), "
                 "printf('2024-%02d-%02d 00:00:00', 1 + i % 12, 1 + i % 28), "
                 "'材料 ' || i FROM n;"
                 "COMMIT;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::atexit([] { std::remove(Database().c_str()); });
    return p;
  }();
  return path;
}

void BareSqlite(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  for (auto _ : state) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kQuery, -1, &stmt, nullptr);
    int64_t sum = 0;
    size_t bytes = 0;
    double total = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      sum += sqlite3_column_int64(stmt, 0);
      total += sqlite3_column_double(stmt, 1);
      bytes += static_cast<size_t>(sqlite3_column_bytes(stmt, 2));
      bytes += static_cast<size_t>(sqlite3_column_bytes(stmt, 3));
    }
    sqlite3_finalize(stmt);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(total);
    benchmark::DoNotOptimize(bytes);
  }
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BareSqlite)->Unit(benchmark::kMillisecond);

void LayerExecute(benchmark::State& state) {
  q8::ado::RegisterBuiltinProviders();
  auto cn = q8::ado::Connection::Create();
  cn->Open(q8::sqlite::ConnectionStringFor(Database()));
  size_t memory = 0;
  for (auto _ : state) {
    auto rs = cn->Execute(kQuery);
    if (rs->RecordCount() != kRows) state.SkipWithError("wrong row count");
    memory = rs->Rows()->MemoryUsage();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.counters["rowset_bytes_per_row"] = static_cast<double>(memory) / kRows;
}
BENCHMARK(LayerExecute)->Unit(benchmark::kMillisecond);

void LayerReadAll(benchmark::State& state) {
  q8::ado::RegisterBuiltinProviders();
  auto cn = q8::ado::Connection::Create();
  cn->Open(q8::sqlite::ConnectionStringFor(Database()));
  for (auto _ : state) {
    auto rs = cn->Execute(kQuery);
    size_t cells = 0;
    for (; !rs->IsEOF(); rs->MoveNext())
      for (int c = 0; c < 4; ++c) cells += !rs->Value(c).IsNull();
    benchmark::DoNotOptimize(cells);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(LayerReadAll)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
