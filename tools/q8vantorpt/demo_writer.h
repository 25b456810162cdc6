// The writer of the demo database: how the generated rows are inserted.
//
// Each table is written through one prepared INSERT (Insert). The model hands
// it values in the order of the table's column list and ends each row; the
// writer keeps the rows of the large tables and writes them a batch at a
// time, by one statement of as many rows, which costs SQLite far less per
// row than a statement per row. TableWriters owns the inserts of one
// database and counts the rows written per table.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drivers/sqlite/session.h"

namespace q8::tool::demo {

// Runs statements that return nothing; raises q8::Error naming them.
void Exec(sqlite3* db, const char* sql);

// One prepared INSERT. Values are given in the order of the column list and
// Row() ends a row. A column name starting with '?' is optional: when the
// table has no such column, its value is dropped (the ERP's tables carry
// more columns than the component reads; the schema holds those it reads).
//
// With `batch` > 1 the rows are kept and written `batch` at a time; Flush()
// writes the rest. The rows reach the table in the order of Row() either way.
class Insert {
 public:
  // Raises q8::Error when the table or a required column is missing.
  Insert(sqlite3* db, std::string table, std::initializer_list<std::string_view> columns,
         bool or_ignore = false, int batch = 1);

  Insert& Int(int64_t v) {
    if (Slot()) Put(Value::kInt).i = v;
    return *this;
  }
  Insert& Real(double v) {
    if (Slot()) Put(Value::kReal).r = v;
    return *this;
  }
  // Text, copied.
  Insert& Text(std::string_view v) {
    if (Slot()) {
      Value& value = Put(Value::kCopied, v.size());
      value.offset = copies_.size();
      copies_.append(v);
    }
    return *this;
  }
  // Text that stays where it is, unchanged, until the rows are written (the
  // latest at Flush()): not copied.
  Insert& Kept(std::string_view v) {
    if (Slot()) Put(Value::kKept, v.size()).text = v.data();
    return *this;
  }
  Insert& Null() {
    if (Slot()) Put(Value::kNull);
    return *this;
  }
  void Row() {
    if (next_ != has_.size()) Fail("wrong number of values for ");
    next_ = 0;
    ++rows_;
    if (++pending_ == batch_) Write(batch_ > 1 ? many_.get() : one_.get(), batch_);
  }
  // Writes the rows kept so far.
  void Flush() {
    if (next_ != 0) Fail("an unfinished row for ");
    while (pending_ > 0) Write(one_.get(), 1);
  }
  const std::string& table() const { return table_; }
  int64_t rows() const { return rows_; }

 private:
  struct Value {
    enum Kind : int32_t { kNull, kInt, kReal, kCopied, kKept } kind;
    int32_t length;  // of a text
    union {
      int64_t i;
      double r;
      size_t offset;  // of a copied text in copies_
      const char* text;
    };
  };

  [[noreturn]] void Fail(const char* what) const;
  Value& Put(Value::Kind kind, size_t length = 0) {
    Value& v = values_[filled_++];
    v.kind = kind;
    v.length = static_cast<int32_t>(length);
    return v;
  }
  // Whether the next value has a column (false: dropped).
  bool Slot() {
    if (next_ >= has_.size()) Fail("too many values for ");
    return has_[next_++] != 0;
  }
  sqlite::StmtHandle Prepare(const std::string& sql);
  // Writes the first `rows` kept rows with `stmt`, a statement of that many.
  void Write(sqlite3_stmt* stmt, int rows);

  sqlite3* db_;
  std::string table_;
  int batch_;
  sqlite::StmtHandle one_, many_;  // one row, batch_ rows
  std::vector<uint8_t> has_;       // per listed column: 1 = the table has it
  int bound_columns_ = 0;
  size_t next_ = 0;            // listed column of the next value
  std::vector<Value> values_;  // of the rows not yet written, in order
  size_t filled_ = 0;          // values_ given
  size_t done_ = 0;            // values_ written (by Flush)
  std::string copies_;         // the copied texts among them
  int pending_ = 0;            // rows not yet written
  int64_t rows_ = 0;
};

// The inserts of one database, in the order they were made.
class TableWriters {
 public:
  explicit TableWriters(sqlite3* db) : db_(db) {}

  // A new insert into `table` (see Insert). Two inserts of one table write
  // their rows in the order each is flushed, so a large table is best
  // written by one insert.
  Insert& Table(std::string table, std::initializer_list<std::string_view> columns,
                bool or_ignore = false, int batch = 1);
  // Whether the database has the table (any letter case).
  bool HasTable(const char* table) const;
  // Writes the rows every insert still keeps.
  void FlushAll();
  // Rows written per table, in the order the tables were first named.
  std::vector<std::pair<std::string, int64_t>> RowCounts() const;

 private:
  sqlite3* db_;
  std::vector<std::unique_ptr<Insert>> inserts_;
};

}  // namespace q8::tool::demo
