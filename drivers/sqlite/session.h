// The embedded driver's pieces shared by its files: the owned SQLite handles,
// the per-connection session, the catalog the translator reads, and the
// conversion of SQLite failures into the layer's errors.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ado/provider.h"
#include "drivers/sqlite/tsql/translator.h"

namespace q8::sqlite {

// Source of every error the embedded driver raises.
inline constexpr const char* kSource = "Q8VANTORpt SQLite";

struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};
using StmtHandle = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

struct DbCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

// One open database file with the state SQL Server keeps per session.
class Session {
 public:
  // Opens an existing database file (never creates one), registers the
  // translator's functions and collation and sets the connection pragmas.
  // Raises ProviderError.
  static std::shared_ptr<Session> Open(const std::string& path, int busy_timeout_ms);
  ~Session();

  sqlite3* db() const { return db_.get(); }
  bool closed() const { return !db_; }
  // Ends the session. A clean database connection (no transaction, no
  // statement, no work table left) goes back to the process's pool of idle
  // connections to the same file, so the next call skips opening the file
  // and reading its schema; any other is closed.
  void Close();
  // Stops the running statement (sqlite3_interrupt) and every later one on
  // this session: they fail with SQLITE_INTERRUPT. Any thread.
  void Interrupt() noexcept;
  bool interrupted() const { return interrupted_.load(std::memory_order_relaxed); }
  const std::string& path() const { return path_; }
  int busy_timeout_ms() const { return busy_timeout_ms_; }

  // SET NOCOUNT of the session.
  bool nocount = false;

  // Limits the statements run while the returned guard lives to
  // `timeout_seconds` (0: no limit) and to the calling thread's time limit
  // (ado::TimeLimit); a statement past the limit is interrupted and fails
  // with SQLITE_INTERRUPT. Raises the time-limit error when the thread's
  // deadline has passed already.
  class DeadlineGuard {
   public:
    DeadlineGuard(Session& s, int timeout_seconds);
    ~DeadlineGuard();
    DeadlineGuard(const DeadlineGuard&) = delete;
    DeadlineGuard& operator=(const DeadlineGuard&) = delete;

   private:
    Session& s_;
    std::optional<ado::CancelAtDeadline> interrupt_;  // sqlite3_interrupt at the caller's deadline
  };
  // The limit of the current guard in seconds, 0 when none.
  int timeout_seconds() const { return timeout_seconds_; }

 private:
  Session() = default;
  static int Progress(void* self);

  DbHandle db_;
  std::string path_;
  // What else decided the open (the file's identity and permissions, the
  // process, the work-table storage): an idle connection serves only an open
  // in the same context.
  std::string context_;
  int busy_timeout_ms_ = 0;
  bool has_deadline_ = false;
  int timeout_seconds_ = 0;
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<bool> interrupted_{false};
  std::mutex interrupt_mu_;  // Interrupt() against Close()
};

// The declared columns of the tables of a session's database, main and
// temporary, as the translator needs them.
class DatabaseCatalog : public tsql::Catalog {
 public:
  explicit DatabaseCatalog(sqlite3* db) : db_(db) {}
  std::optional<std::vector<tsql::ColumnDecl>> Table(std::string_view name) const override;

 private:
  sqlite3* db_;
};

// Names the database and the shape of its schema (main and temporary), so a
// cached translation is reused only while the tables it was made for stand.
std::string CatalogKey(const Session& s);

// The error for SQLite result code `rc` on `db` while running `statement`
// (the T-SQL text the user wrote). `preparing` tells a statement that did
// not compile from one that failed while running.
ado::ProviderError StatementError(const Session& s, int rc, std::string_view statement,
                                  bool preparing);
// The error for a q8::Error raised while translating `batch` (241 for an
// unreadable date literal), naming the statement that failed.
ado::ProviderError TranslationError(const Error& e, std::string_view batch);
// A ProviderError with one entry.
ado::ProviderError MakeError(int32_t number, std::string description, int32_t native = 0,
                             std::string sql_state = "HY000");
// The folder where SQLite puts the temporary files of `db` (spilled work
// tables, sorts), "" when it cannot tell.
std::string TemporaryFolder(sqlite3* db);

// `text` on one line, shortened for an error message.
std::string StatementExcerpt(std::string_view text);

// Binds `value` to marker `index` (1-based) as the parameter's type says.
int BindValue(sqlite3_stmt* stmt, int index, const ado::Parameter& p);

// SQL Server's words for a float computed past its range.
inline constexpr std::string_view kFloatOverflow =
    "Arithmetic overflow error converting expression to data type float.";

// The columns of the result of `stmt`, typed by `types` (the translator's;
// an unknown one falls back to the declared type of the column, then to the
// storage class of its values: `inferred`) and named by `names`.
struct ResultShape {
  std::vector<ado::ColumnInfo> columns;
  std::vector<bool> inferred;  // per column: typed by its first value
};
ResultShape ShapeOf(sqlite3_stmt* stmt, const std::vector<tsql::SqlType>& types,
                    const std::vector<std::optional<std::string>>& names);
// Steps `stmt` on into `rows` (a RowSet of the shape's columns): at most
// `max_rows` rows, fewer once they hold about `max_bytes`. True when the
// statement has no more rows. A value that does not fit its column widens
// the column. Raises the statement's failure (`statement`: the T-SQL text).
bool ReadRows(const Session& s, sqlite3_stmt* stmt, const std::vector<bool>& inferred,
              ado::RowSet& rows, size_t max_rows, size_t max_bytes, std::string_view statement);
// Steps `stmt` to its end and returns its rows, shaped as ShapeOf says.
std::shared_ptr<ado::RowSet> Materialize(const Session& s, sqlite3_stmt* stmt,
                                         const std::vector<tsql::SqlType>& types,
                                         const std::vector<std::optional<std::string>>& names,
                                         std::string_view statement);

// The stored procedures the engine answers itself.
std::unique_ptr<ado::ResultStream> CallProcedure(std::shared_ptr<Session> s,
                                                 const std::string& name,
                                                 std::vector<ado::ParameterPtr>& params);

// Runs a translated batch one statement at a time.
std::unique_ptr<ado::ResultStream> RunBatch(std::shared_ptr<Session> s,
                                            std::shared_ptr<const tsql::Batch> batch,
                                            std::vector<ado::ParameterPtr> params,
                                            int timeout_seconds);

}  // namespace q8::sqlite
