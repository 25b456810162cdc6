// libFuzzer target: the T-SQL translator on arbitrary text.
//
// Translates the input against a fixed catalog and runs what comes out on a
// small in-memory database with the translator's functions and collation,
// each statement cut short after a bounded amount of work. Nothing may
// crash; SQL errors and the translator's own error 241 are fine.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "drivers/sqlite/tsql/translator.h"
#include "q8vantorpt/error.h"

namespace {

class FixedCatalog : public q8::tsql::Catalog {
 public:
  std::optional<std::vector<q8::tsql::ColumnDecl>> Table(std::string_view name) const override {
    auto col = [](const char* n, const char* t) {
      return q8::tsql::ColumnDecl{n, q8::tsql::SqlType::FromDeclared(t)};
    };
    std::string lower;
    for (char c : name) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    if (lower == "t") {
      return std::vector<q8::tsql::ColumnDecl>{col("id", "int"),
                                               col("code", "varchar(20)"),
                                               col("qty", "decimal(23,10)"),
                                               col("price", "decimal(38,10)"),
                                               col("d", "datetime"),
                                               col("name", "nvarchar(40)")};
    }
    if (lower == "u") {
      return std::vector<q8::tsql::ColumnDecl>{col("id", "int"), col("f", "float"),
                                               col("b", "bit")};
    }
    return std::nullopt;
  }
};

int& ProgressCounter() {
  static int counter = 0;
  return counter;
}

sqlite3* OpenDatabase() {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  q8::tsql::RegisterFunctions(db);
  sqlite3_exec(db,
               "CREATE TABLE t (id int, code varchar(20), qty decimal(23,10), price "
               "decimal(38,10), d datetime,"
               " name nvarchar(40));"
               "INSERT INTO t VALUES (1,'IC',10,2.5,'2024-03-31 00:00:00','a'),(2,'ic "
               "',0,NULL,'2024-01-01',NULL);"
               "CREATE TABLE u (id int, f float, b bit); INSERT INTO u VALUES (1, 0.5, 1);",
               nullptr, nullptr, nullptr);
  // Bound the work of any one statement.
  sqlite3_progress_handler(
      db, 1000, [](void* counter) { return ++*static_cast<int*>(counter) > 50 ? 1 : 0; },
      &ProgressCounter());
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FixedCatalog catalog;
  static sqlite3* db = OpenDatabase();
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::shared_ptr<const q8::tsql::Batch> batch;
  try {
    batch = q8::tsql::Translate(text, catalog);
  } catch (const q8::Error&) {
    return 0;
  }
  for (const auto& st : batch->statements) {
    if (st.sql.empty()) continue;
    // Work tables would pile up between inputs; leave the schema alone.
    if (st.kind == q8::tsql::Statement::Kind::kDdl) continue;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, st.sql.c_str(), static_cast<int>(st.sql.size()), &stmt, nullptr) !=
        SQLITE_OK) {
      continue;
    }
    ProgressCounter() = 0;
    if (sqlite3_stmt_readonly(stmt)) {
      for (int rows = 0; rows < 100 && sqlite3_step(stmt) == SQLITE_ROW; ++rows) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) sqlite3_column_text(stmt, c);
      }
    }
    sqlite3_finalize(stmt);
  }
  return 0;
}
