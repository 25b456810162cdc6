// The writer of the demo database.
#include "tools/q8vantorpt/demo_writer.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "q8vantorpt/error.h"

namespace q8::tool::demo {
namespace {

constexpr const char* kSource = "q8vantorpt demo-db";

[[noreturn]] void RaiseSqlite(sqlite3* db, const std::string& what) {
  const int code = db != nullptr ? sqlite3_extended_errcode(db) : SQLITE_ERROR;
  const std::string message = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
  throw Error(code, kSource, what + ": " + message);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The columns of `table`, in lower case; empty when there is no such table.
std::set<std::string> TableColumns(sqlite3* db, const std::string& table) {
  std::set<std::string> out;
  sqlite3_stmt* s = nullptr;
  const std::string sql = "PRAGMA table_info(" + table + ")";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) RaiseSqlite(db, sql);
  sqlite::StmtHandle guard(s);
  while (sqlite3_step(s) == SQLITE_ROW) {
    out.insert(Lower(reinterpret_cast<const char*>(sqlite3_column_text(s, 1))));
  }
  return out;
}

}  // namespace

void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : "";
    sqlite3_free(message);
    throw Error(sqlite3_extended_errcode(db), kSource, std::string(sql) + ": " + text);
  }
}

Insert::Insert(sqlite3* db, std::string table, std::initializer_list<std::string_view> columns,
               bool or_ignore, int batch)
    : db_(db), table_(std::move(table)), batch_(std::max(1, batch)) {
  const std::set<std::string> present = TableColumns(db_, table_);
  if (present.empty()) RaiseSqlite(db, "no table " + table_);
  std::string names, marks;
  for (std::string_view c : columns) {
    const bool optional = !c.empty() && c.front() == '?';
    if (optional) c.remove_prefix(1);
    const bool here = present.count(Lower(c)) > 0;
    if (!here && !optional) {
      throw Error(1, kSource, "table " + table_ + " has no column " + std::string(c));
    }
    has_.push_back(here ? 1 : 0);
    if (!here) continue;
    ++bound_columns_;
    if (!names.empty()) {
      names += ',';
      marks += ',';
    }
    names += c;
    marks += '?';
  }
  const std::string head = std::string(or_ignore ? "INSERT OR IGNORE" : "INSERT") + " INTO " +
                           table_ + " (" + names + ") VALUES ";
  one_ = Prepare(head + "(" + marks + ")");
  if (batch_ > 1) {
    std::string rows;
    for (int r = 0; r < batch_; ++r) rows += (r == 0 ? "(" : ",(") + marks + ")";
    many_ = Prepare(head + rows);
  }
  values_.resize(static_cast<size_t>(batch_ * bound_columns_));
}

void Insert::Fail(const char* what) const { throw Error(1, kSource, what + table_); }

sqlite::StmtHandle Insert::Prepare(const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    RaiseSqlite(db_, "prepare " + table_);
  }
  return sqlite::StmtHandle(s);
}

void Insert::Write(sqlite3_stmt* stmt, int rows) {
  const size_t count = static_cast<size_t>(rows * bound_columns_);
  for (size_t k = 0; k < count; ++k) {
    const Value& v = values_[done_ + k];
    const int i = static_cast<int>(k) + 1;
    switch (v.kind) {
      case Value::kNull:
        sqlite3_bind_null(stmt, i);
        break;
      case Value::kInt:
        sqlite3_bind_int64(stmt, i, v.i);
        break;
      case Value::kReal:
        sqlite3_bind_double(stmt, i, v.r);
        break;
      case Value::kCopied:
        sqlite3_bind_text(stmt, i, copies_.data() + v.offset, v.length, SQLITE_STATIC);
        break;
      case Value::kKept:
        sqlite3_bind_text(stmt, i, v.text, v.length, SQLITE_STATIC);
        break;
    }
  }
  if (sqlite3_step(stmt) != SQLITE_DONE) RaiseSqlite(db_, "insert into " + table_);
  sqlite3_reset(stmt);
  pending_ -= rows;
  done_ += count;
  if (pending_ == 0) {
    filled_ = done_ = 0;
    copies_.clear();
  }
}

Insert& TableWriters::Table(std::string table, std::initializer_list<std::string_view> columns,
                            bool or_ignore, int batch) {
  inserts_.push_back(std::make_unique<Insert>(db_, std::move(table), columns, or_ignore, batch));
  return *inserts_.back();
}

bool TableWriters::HasTable(const char* table) const {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(
          db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE", -1,
          &s, nullptr) != SQLITE_OK) {
    RaiseSqlite(db_, "sqlite_master");
  }
  sqlite::StmtHandle guard(s);
  sqlite3_bind_text(s, 1, table, -1, SQLITE_STATIC);
  return sqlite3_step(s) == SQLITE_ROW;
}

void TableWriters::FlushAll() {
  for (const auto& insert : inserts_) insert->Flush();
}

std::vector<std::pair<std::string, int64_t>> TableWriters::RowCounts() const {
  std::map<std::string, int64_t> totals;
  std::vector<std::string> order;
  for (const auto& insert : inserts_) {
    if (totals.find(insert->table()) == totals.end()) order.push_back(insert->table());
    totals[insert->table()] += insert->rows();
  }
  std::vector<std::pair<std::string, int64_t>> out;
  for (const std::string& t : order) out.emplace_back(t, totals[t]);
  return out;
}

}  // namespace q8::tool::demo
