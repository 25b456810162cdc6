// What the files of SQLite functions share: reporting an error with SQL
// Server's words, reading arguments, and registering a table of functions.
#pragma once

#include <sqlite3.h>

#include <span>
#include <string_view>

namespace q8::tsql::fn {

inline void Error(sqlite3_context* ctx, std::string_view msg) {
  sqlite3_result_error(ctx, msg.data(), static_cast<int>(msg.size()));
}

inline bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

// The text of a value (a number as SQLite writes it).
inline std::string_view TextOf(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p == nullptr ? std::string_view()
                      : std::string_view(reinterpret_cast<const char*>(p),
                                         static_cast<size_t>(sqlite3_value_bytes(v)));
}

// One statement on a private in-memory connection, where only SQLite's own
// functions exist: for asking SQLite itself what it computes. stmt() is
// nullptr when the connection could not be made.
class PrivateStatement {
 public:
  explicit PrivateStatement(const char* sql) {
    if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) ==
        SQLITE_OK) {
      sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr);
    }
  }
  ~PrivateStatement() {
    sqlite3_finalize(stmt_);
    sqlite3_close(db_);
  }
  PrivateStatement(const PrivateStatement&) = delete;
  PrivateStatement& operator=(const PrivateStatement&) = delete;

  sqlite3_stmt* stmt() const { return stmt_; }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

using ScalarFn = void (*)(sqlite3_context*, int, sqlite3_value**);

struct Scalar {
  const char* name;
  int args;
  bool deterministic;
  ScalarFn fn;
};

// Registers each function of `table` on `db`; SQLITE_OK or the first error.
inline int RegisterScalars(sqlite3* db, std::span<const Scalar> table) {
  for (const Scalar& f : table) {
    const int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    const int rc = sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.fn, nullptr,
                                              nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

// The functions of each file: functions_decimal.cpp, functions_numeric.cpp,
// functions_text.cpp.
int RegisterDecimalFunctions(sqlite3* db);
int RegisterNumericFunctions(sqlite3* db);
int RegisterTextFunctions(sqlite3* db);

}  // namespace q8::tsql::fn
