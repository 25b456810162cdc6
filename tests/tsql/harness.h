// A small test harness for translated batches over raw SQLite.
//
// Opens an in-memory database, loads plain SQLite fixture statements,
// registers the translator's functions, and runs a T-SQL batch the way the
// embedded executor does: statement by statement, each query stepped to its
// end before the next statement runs.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drivers/sqlite/tsql/translator.h"

namespace q8::tsql::testing {

// The rows of one result: column names and values formatted by the SQL
// Server type the translator gave each column ("NULL" for NULL; decimals
// exactly, with the zeros that end their fraction removed).
struct ResultRows {
  std::vector<std::string> names;
  std::vector<SqlType> types;
  std::vector<std::vector<std::string>> rows;
};

struct RunResult {
  std::vector<ResultRows> results;   // every statement that returned columns
  std::optional<std::string> error;  // the first failure's text
};

// The catalog of an open database: PRAGMA table_info, temporary tables too.
class PragmaCatalog : public Catalog {
 public:
  explicit PragmaCatalog(sqlite3* db) : db_(db) {}
  std::optional<std::vector<ColumnDecl>> Table(std::string_view name) const override;

 private:
  sqlite3* db_;
};

class Database {
 public:
  // A new in-memory database (or the file `path`) with the functions registered.
  explicit Database(const std::string& path = ":memory:");
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* handle() const { return db_; }
  // Runs plain SQLite statements; throws std::runtime_error on failure.
  void Exec(const std::string& sql);
  // Translates and runs a T-SQL batch.
  RunResult Run(const std::string& tsql);

 private:
  sqlite3* db_ = nullptr;
};

// Formats one column value by its SQL Server type.
std::string FormatValue(sqlite3_stmt* stmt, int col, const SqlType& type);

}  // namespace q8::tsql::testing
