// One execution on an ODBC connection and the walk over its results.
#pragma once

#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/ado/provider.h"
#include "drivers/odbc/columns.h"
#include "drivers/odbc/handles.h"
#include "drivers/odbc/parameters.h"

namespace q8::odbc {

class Execution;

// What the executions of one connection share: the environment and the
// connection handle, kept alive by every execution that still reads, and
// the execution that currently holds the connection's cursor.
struct Session {
  std::shared_ptr<EnvHandle> env;
  DbcHandle dbc;
  bool connected = false;
  std::weak_ptr<Execution> active;
  // The statement handle that Interrupt() cancels (SQLCancel from another
  // thread), and whether an Interrupt came: no statement starts after it.
  std::mutex cancel_mu;
  SQLHSTMT running = SQL_NULL_HANDLE;
  bool cancelled = false;

  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  // Disconnects (without raising) when Close() was not called.
  ~Session();
};

class ResultCursor;

// The results of one SQLExecDirect, read one at a time: SQLNumResultCols
// tells a result with columns (its first block of rows is fetched, the rest
// through a cursor as the caller reads them) from one without (its row
// count is kept); SQLMoreResults moves on until SQL_NO_DATA, skipping the
// rows nobody read. Output parameters are read once SQL_NO_DATA has come. A
// failure ends the walk: it is raised once, and the execution has no
// results after it.
class Execution : public std::enable_shared_from_this<Execution> {
 public:
  // Runs `text` on the session with `params` bound in order. Raises the
  // driver's diagnostics when the statement fails.
  Execution(std::shared_ptr<Session> session, const std::string& text,
            std::vector<ado::ParameterPtr> params, int timeout_seconds);
  ~Execution() { ReleaseStatement(); }
  Execution(const Execution&) = delete;
  Execution& operator=(const Execution&) = delete;

  std::optional<ado::Result> Next();
  // Reads every remaining result into memory and releases the statement,
  // so that the connection can run another one (most drivers, FreeTDS
  // among them, allow one active statement per connection). A failure met
  // on the way is raised when Next() reaches it.
  void Drain() noexcept;
  // Drops the statement without reading on; Next() raises afterwards.
  void Abandon() noexcept;
  // The next rows of the result `cursor` reads (see ado::RowCursor).
  std::shared_ptr<ado::RowSet> FetchMore(ResultCursor& cursor, size_t max_rows, size_t max_bytes);

 private:
  // Binds and executes the statement.
  void Start(const std::string& text, std::vector<ado::ParameterPtr>& params, int timeout_seconds);
  friend class ResultCursor;
  std::optional<ado::Result> ReadFromDriver();
  // Reads the rest of the current result's rows into its cursor.
  void DrainCursor();
  void Finish();
  // Frees the statement handle once Interrupt() can no longer reach it.
  void ReleaseStatement() noexcept;

  std::shared_ptr<Session> session_;
  StmtHandle stmt_;
  std::vector<BoundParameter> bound_;
  bool first_ = true;
  bool done_ = false;
  bool abandoned_ = false;
  std::deque<ado::Result> buffered_;
  std::exception_ptr deferred_;
  std::shared_ptr<ResultCursor> cursor_;  // of the current result, while it has rows to read
};

// The stream that the data-access layer reads.
class OdbcResultStream : public ado::ResultStream {
 public:
  explicit OdbcResultStream(std::shared_ptr<Execution> execution)
      : execution_(std::move(execution)) {}
  std::optional<ado::Result> Next() override { return execution_->Next(); }

 private:
  std::shared_ptr<Execution> execution_;
};

// "{call NAME(?,?)}", or "{? = call NAME(?)}" when the first parameter is
// the return value.
std::string ProcedureCall(const std::string& name, const std::vector<ado::ParameterPtr>& params);

}  // namespace q8::odbc
