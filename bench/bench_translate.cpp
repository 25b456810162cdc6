// Translation time of the report batches.
//
// The batches are the hand-built report batches of the translation tests
// (testdata/tsql/report_*.test). The catalog is a database with the ERP
// tables, asked through PRAGMA table_info as the embedded executor asks it,
// or a table already in memory to time the translator alone; the cached
// variant times a repeated report.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "drivers/sqlite/tsql/splitter.h"
#include "drivers/sqlite/tsql/tokenizer.h"
#include "drivers/sqlite/tsql/translator.h"

namespace {

using q8::tsql::Catalog;
using q8::tsql::ColumnDecl;

std::filesystem::path TestData() {
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "testdata" / "tsql";
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The batch of the first case in a test file, lines joined with CR LF.
std::string BatchOf(const std::string& file) {
  std::istringstream in(ReadFile(TestData() / file));
  std::string line, batch;
  bool in_batch = false;
  while (std::getline(in, line)) {
    if (line == "batch") {
      in_batch = true;
      continue;
    }
    if (in_batch &&
        (line == "expect" || line.rfind("columns ", 0) == 0 || line.rfind("types ", 0) == 0))
      break;
    if (in_batch) batch += line + "\r\n";
  }
  return batch;
}

class PragmaCatalog : public Catalog {
 public:
  explicit PragmaCatalog(sqlite3* db) : db_(db) {}
  std::optional<std::vector<ColumnDecl>> Table(std::string_view name) const override {
    std::string sql = "PRAGMA table_info(\"" + std::string(name) + "\")";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return std::nullopt;
    std::vector<ColumnDecl> cols;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const unsigned char* type = sqlite3_column_text(stmt, 2);
      cols.push_back(
          {reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)),
           q8::tsql::SqlType::FromDeclared(type ? reinterpret_cast<const char*>(type) : "")});
    }
    sqlite3_finalize(stmt);
    if (cols.empty()) return std::nullopt;
    return cols;
  }

 private:
  sqlite3* db_;
};

// The same tables, read once into memory.
class MemoryCatalog : public Catalog {
 public:
  explicit MemoryCatalog(sqlite3* db) {
    PragmaCatalog pragma(db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_schema WHERE type='table'", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      std::string key;
      for (char c : name)
        key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
      tables_[key] = *pragma.Table(name);
    }
    sqlite3_finalize(stmt);
  }
  std::optional<std::vector<ColumnDecl>> Table(std::string_view name) const override {
    std::string key;
    for (char c : name)
      key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    auto it = tables_.find(key);
    if (it == tables_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::map<std::string, std::vector<ColumnDecl>> tables_;
};

struct Fixture {
  Fixture() {
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, ReadFile(TestData() / "fixtures" / "erp.sql").c_str(), nullptr, nullptr,
                 nullptr);
  }
  ~Fixture() { sqlite3_close(db); }
  sqlite3* db = nullptr;
};

Fixture& Db() {
  static Fixture f;
  return f;
}

const char* const kReports[] = {"report_2008608.test", "report_2008609.test",
                                "report_2008610.test"};

void BM_Translate(benchmark::State& state) {
  const std::string batch = BatchOf(kReports[state.range(0)]);
  PragmaCatalog catalog(Db().db);
  for (auto _ : state) benchmark::DoNotOptimize(q8::tsql::Translate(batch, catalog));
  state.SetLabel(std::string(kReports[state.range(0)]).substr(7, 7) + ", " +
                 std::to_string(batch.size()) + " bytes, PRAGMA catalog");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * batch.size()));
}
BENCHMARK(BM_Translate)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_TranslateMemoryCatalog(benchmark::State& state) {
  const std::string batch = BatchOf(kReports[state.range(0)]);
  MemoryCatalog catalog(Db().db);
  for (auto _ : state) benchmark::DoNotOptimize(q8::tsql::Translate(batch, catalog));
  state.SetLabel(std::string(kReports[state.range(0)]).substr(7, 7) + ", translator alone");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * batch.size()));
}
BENCHMARK(BM_TranslateMemoryCatalog)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_TokenizeAndSplit(benchmark::State& state) {
  const std::string batch = BatchOf(kReports[0]);
  for (auto _ : state) {
    auto tokens = q8::tsql::Tokenize(batch);
    benchmark::DoNotOptimize(q8::tsql::SplitStatements(tokens));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * batch.size()));
}
BENCHMARK(BM_TokenizeAndSplit)->Unit(benchmark::kMicrosecond);

void BM_TranslateCachedHit(benchmark::State& state) {
  const std::string batch = BatchOf(kReports[0]);
  PragmaCatalog catalog(Db().db);
  q8::tsql::TranslateCached(batch, catalog, "bench");
  for (auto _ : state) benchmark::DoNotOptimize(q8::tsql::TranslateCached(batch, catalog, "bench"));
}
BENCHMARK(BM_TranslateCachedHit)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
