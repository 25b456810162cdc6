#include "tests/tsql/harness.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "drivers/sqlite/tsql/exact.h"
#include "q8vantorpt/error.h"

namespace q8::tsql::testing {

std::optional<std::vector<ColumnDecl>> PragmaCatalog::Table(std::string_view name) const {
  std::string sql = "PRAGMA table_info(\"";
  for (char c : name) {
    if (c == '"') sql.push_back('"');
    sql.push_back(c);
  }
  sql += "\")";
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return std::nullopt;
  std::vector<ColumnDecl> cols;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    ColumnDecl c;
    c.name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
    const unsigned char* type = sqlite3_column_text(stmt, 2);
    c.type = SqlType::FromDeclared(type != nullptr ? reinterpret_cast<const char*>(type) : "");
    cols.push_back(std::move(c));
  }
  sqlite3_finalize(stmt);
  if (cols.empty()) return std::nullopt;
  return cols;
}

Database::Database(const std::string& path) {
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK)
    throw std::runtime_error("cannot open " + path);
  // "…" is an identifier in T-SQL, never a string.
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  if (RegisterFunctions(db_) != SQLITE_OK) throw std::runtime_error("RegisterFunctions failed");
}

Database::~Database() { sqlite3_close_v2(db_); }

void Database::Exec(const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string msg = err != nullptr ? err : "unknown error";
    sqlite3_free(err);
    throw std::runtime_error("fixture: " + msg);
  }
}

std::string FormatValue(sqlite3_stmt* stmt, int col, const SqlType& type) {
  int storage = sqlite3_column_type(stmt, col);
  if (storage == SQLITE_NULL) return "NULL";
  char buf[64];
  if (type.known && type.kind == ado::FieldType::kDecimal) {
    // Exactly, as the executor reads it, without the zeros that end the
    // fraction.
    Decimal d;
    if (exact::ReadDecimal(sqlite3_column_value(stmt, col), type.scale, &d) == exact::Read::kOk) {
      std::string s = d.ToShortString();
      return s;
    }
  }
  if (type.known && type.kind == ado::FieldType::kDouble) {
    double v = sqlite3_column_double(stmt, col);
    std::snprintf(buf, sizeof buf, "%.*f", 10, v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
      while (s.back() == '0') s.pop_back();
      if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
  }
  if (type.known && (type.kind == ado::FieldType::kInt || type.kind == ado::FieldType::kBool)) {
    if (storage == SQLITE_FLOAT) {
      std::snprintf(buf, sizeof buf, "%lld",
                    static_cast<long long>(std::trunc(sqlite3_column_double(stmt, col))));
      return buf;
    }
  }
  const unsigned char* text = sqlite3_column_text(stmt, col);
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<size_t>(sqlite3_column_bytes(stmt, col)));
}

RunResult Database::Run(const std::string& tsql) {
  RunResult result;
  std::shared_ptr<const Batch> batch;
  try {
    batch = Translate(tsql, PragmaCatalog(db_));
  } catch (const Error& e) {
    result.error = e.description();
    return result;
  }
  for (const Statement& st : batch->statements) {
    if (st.kind == Statement::Kind::kNoOp || st.kind == Statement::Kind::kSetNocount) continue;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, st.sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      result.error = std::string(sqlite3_errmsg(db_)) + " [" + st.sql + "]";
      return result;
    }
    const int ncols = sqlite3_column_count(stmt);
    ResultRows rows;
    if (ncols > 0) {
      for (int c = 0; c < ncols; ++c) {
        bool typed = st.result_types.size() == static_cast<size_t>(ncols);
        rows.types.push_back(typed ? st.result_types[c] : SqlType{});
        rows.names.push_back(typed && st.result_names[c] ? *st.result_names[c]
                                                         : sqlite3_column_name(stmt, c));
      }
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int c = 0; c < ncols; ++c) row.push_back(FormatValue(stmt, c, rows.types[c]));
      rows.rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
      result.error = sqlite3_errmsg(db_);
      sqlite3_finalize(stmt);
      return result;
    }
    sqlite3_finalize(stmt);
    if (ncols > 0) result.results.push_back(std::move(rows));
  }
  return result;
}

}  // namespace q8::tsql::testing
