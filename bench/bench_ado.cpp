// Overhead of the data-access layer over bare SQLite, for a result of
// 100,000 rows of four typed columns (int, decimal(23,10), datetime,
// nvarchar).
//
//   BareSqlite      prepare, step and read every cell with the C API
//   LayerExecute    Connection::Execute: translation (cached), stepping and
//                   conversion of every cell into the typed row set
//   LayerReadAll    the same, then every cell read back through
//                   Recordset::Value as a Variant
//
// and the cost of one trivial call on the ERP schema (the init-db file):
//
//   BareSelect1     open the file, prepare and step "select 1", close
//   BareSelect1ReadSchema  the same after reading the schema, which "select 1"
//                   alone never does but the layer's open and any query on a
//                   table do
//   GetDataSelect1  Data::GetData("select 1"): descriptor, data source, a new
//                   connection (functions, settings), translation, the
//                   detached record set
//
// Each layer benchmark reports `x_bare`, its time over its bare counterpart
// measured in the same run (GetDataSelect1 also `x_bare_schema`).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "component/providers.h"
#include "core/ado/provider.h"
#include "drivers/sqlite/schema.h"
#include "q8vantorpt/ado.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"
#include "q8vantorpt/rpt.h"

namespace {

constexpr int kRows = 100000;
constexpr const char* kQuery = "SELECT id, qty, at, name FROM bench_rows";

// A database file of this run, removed when the program ends.
struct TempDatabase {
  std::string path;
  ~TempDatabase() { std::remove(path.c_str()); }
};

const std::string& Database() {
  static const TempDatabase file{[] {
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
    return p;
  }()};
  return file.path;
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
  q8::RegisterBuiltinProviders();
  auto cn = q8::ado::Connection::Create();
  cn->Open(q8::sqlite::ConnectionStringFor(Database()));
  size_t memory = 0;
  for (auto _ : state) {
    auto rs = cn->Execute(kQuery);
    if (rs->RecordCount() != kRows) state.SkipWithError("wrong row count");
    memory = rs->MemoryUsage();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.counters["rowset_bytes_per_row"] = static_cast<double>(memory) / kRows;
}
BENCHMARK(LayerExecute)->Unit(benchmark::kMillisecond);

void LayerReadAll(benchmark::State& state) {
  q8::RegisterBuiltinProviders();
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

// An empty ERP database, as init-db makes it.
const std::string& ErpDatabase() {
  static const TempDatabase file{[] {
    std::string p = (std::filesystem::temp_directory_path() /
                     ("q8-bench-ado-erp-" + std::to_string(::getpid()) + ".db"))
                        .string();
    q8::sqlite::InitDatabase(p, true);
    return p;
  }()};
  return file.path;
}

void OpenSelect1Close(benchmark::State& state, bool read_schema) {
  const std::string& path = ErpDatabase();
  for (auto _ : state) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK)
      state.SkipWithError("open failed");
    if (read_schema)
      sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "select 1", -1, &stmt, nullptr);
    if (sqlite3_step(stmt) != SQLITE_ROW) state.SkipWithError("no row");
    benchmark::DoNotOptimize(sqlite3_column_int(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
  }
}
void BareSelect1(benchmark::State& state) { OpenSelect1Close(state, false); }
BENCHMARK(BareSelect1)->Unit(benchmark::kMicrosecond);
void BareSelect1ReadSchema(benchmark::State& state) { OpenSelect1Close(state, true); }
BENCHMARK(BareSelect1ReadSchema)->Unit(benchmark::kMicrosecond);

void GetDataSelect1(benchmark::State& state) {
  q8::RegisterComponent();
  auto data = q8::Registry::Instance().CreateAs<q8::Data>("Q8VANTORpt.Data");
  const std::string dsn = "ConnectString={Provider=SQLite;Data Source=" + ErpDatabase() +
                          "};DBMS Name=SQLite;DBMS Version=3;Language=CHS;UserID=0;";
  for (auto _ : state) {
    auto rs = data->GetData(dsn, "select 1");
    if (rs->RecordCount() != 1) state.SkipWithError("wrong row count");
  }
}
BENCHMARK(GetDataSelect1)->Unit(benchmark::kMicrosecond);

// The display reporter of the command line; each layer benchmark's run gets
// its time over that of its bare counterpart as a counter (kPairs).
class RatioReporter : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context& context) override {
    inner_->SetOutputStream(&GetOutputStream());
    inner_->SetErrorStream(&GetErrorStream());
    return inner_->ReportContext(context);
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> out = runs;
    for (Run& r : out) {
      const std::string& name = r.run_name.function_name;
      if (r.error_occurred || r.aggregate_name == "stddev" || r.aggregate_name == "cv") continue;
      const double seconds =
          r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
      bare_[{name, r.aggregate_name}] = seconds;
      for (const auto& [layer, bare, counter] : kPairs) {
        auto it = bare_.find({bare, r.aggregate_name});
        if (name == layer && it != bare_.end() && it->second > 0)
          r.counters[counter] = benchmark::Counter(seconds / it->second);
      }
    }
    inner_->ReportRuns(out);
  }

  void Finalize() override { inner_->Finalize(); }

 private:
  struct Pair {
    const char* layer;
    const char* bare;
    const char* counter;
  };
  static constexpr Pair kPairs[] = {
      {"LayerExecute", "BareSqlite", "x_bare"},
      {"LayerReadAll", "BareSqlite", "x_bare"},
      {"GetDataSelect1", "BareSelect1", "x_bare"},
      {"GetDataSelect1", "BareSelect1ReadSchema", "x_bare_schema"},
  };
  benchmark::BenchmarkReporter* inner_ = benchmark::CreateDefaultDisplayReporter();
  std::map<std::pair<std::string, std::string>, double> bare_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
