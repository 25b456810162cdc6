// Executions and their results.
#include "drivers/odbc/statement.h"

#include <sqlext.h>

#include <algorithm>
#include <utility>

#include "core/ado/cancel.h"
#include "drivers/odbc/columns.h"
#include "q8vantorpt/error.h"

namespace q8::odbc {

namespace {

constexpr int kParamReturnValue = 4;

[[noreturn]] void RaiseClosed() {
  ado::ErrorEntry e{err::kAdoConnectionClosed, kErrorSource,
                    "The connection was closed before all results were read", 0, "08003"};
  throw ado::ProviderError(e.number, e.source, e.description, {e});
}

}  // namespace

// The rows of a result after its first block.
class ResultCursor : public ado::RowCursor {
 public:
  ResultCursor(std::weak_ptr<Execution> execution, ResultShape shape)
      : execution_(std::move(execution)), shape_(std::move(shape)) {}

  std::shared_ptr<ado::RowSet> Fetch(size_t max_rows, size_t max_bytes) override {
    if (!read_ahead_.empty()) {
      auto rows = std::move(read_ahead_.front());
      read_ahead_.pop_front();
      return rows;
    }
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    if (done_) return nullptr;
    auto execution = execution_.lock();
    if (!execution) {
      done_ = true;
      RaiseClosed();
    }
    return execution->FetchMore(*this, max_rows, max_bytes);
  }

 private:
  friend class Execution;
  std::weak_ptr<Execution> execution_;
  ResultShape shape_;
  bool done_ = false;  // no more rows from the driver
  // Rows read before the caller asked for them, when the connection was
  // needed for another statement (Execution::Drain).
  std::deque<std::shared_ptr<ado::RowSet>> read_ahead_;
  std::exception_ptr failure_;  // met while reading ahead, raised after those rows
};

Session::~Session() {
  if (connected && dbc) SQLDisconnect(dbc.get());
}

Execution::Execution(std::shared_ptr<Session> session, const std::string& text,
                     std::vector<ado::ParameterPtr> params, int timeout_seconds)
    : session_(std::move(session)) {
  SQLHDBC dbc = session_->dbc.get();
  SQLHANDLE h = SQL_NULL_HANDLE;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_HANDLE_DBC, dbc,
        "SQLAllocHandle(SQL_HANDLE_STMT)");
  stmt_ = StmtHandle(h);
  {
    std::lock_guard<std::mutex> lock(session_->cancel_mu);
    if (session_->cancelled) {
      stmt_.Reset();
      ado::RaiseCancelled();
    }
    session_->running = h;
  }
  try {
    Start(text, params, timeout_seconds);
  } catch (...) {
    ReleaseStatement();
    throw;
  }
}

void Execution::Start(const std::string& text, std::vector<ado::ParameterPtr>& params,
                      int timeout_seconds) {
  SQLHSTMT h = stmt_.get();
  // No limit is every driver's default. A driver that has no query timeout
  // runs without one, as the OLE DB providers do. The caller's time limit on
  // this thread bounds every wait of the statement too: a server that stops
  // answering is given up by the driver itself.
  if (std::optional<int> left = ado::deadline::SecondsLeft())
    timeout_seconds = timeout_seconds > 0 ? std::min(timeout_seconds, *left) : *left;
  if (timeout_seconds > 0) {
    try {
      Check(SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout_seconds)),
                           SQL_IS_UINTEGER),
            SQL_HANDLE_STMT, h, "SQLSetStmtAttr(SQL_ATTR_QUERY_TIMEOUT)");
    } catch (const ado::ProviderError& e) {
      if (!IsUnsupportedFeature(e)) throw;
    }
  }
  bound_.reserve(params.size());
  for (const auto& p : params) bound_.push_back(PrepareParameter(p));
  BindParameters(h, bound_);
  // SQL_NO_DATA here is a searched UPDATE or DELETE that changed no row: a
  // result without columns like any other. A statement still running at the
  // caller's deadline is cancelled (the server receives an attention).
  ado::CancelAtDeadline cancel([h] { SQLCancel(h); });
  try {
    Check(SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS),
          SQL_HANDLE_STMT, h, "SQLExecDirect");
  } catch (const ado::ProviderError& e) {
    RaiseIfConnectionDead(session_->dbc.get(), e);
    throw;
  }
}

std::optional<ado::Result> Execution::ReadFromDriver() {
  if (done_) return std::nullopt;
  if (abandoned_) RaiseClosed();
  SQLHSTMT h = stmt_.get();
  // The rows of the previous result that nobody read are skipped
  // (SQLMoreResults discards them).
  if (cursor_) {
    cursor_->done_ = true;
    cursor_.reset();
  }
  ado::Result result;
  bool end = false;
  try {
    // Reading that is still going on at the caller's deadline is cancelled.
    ado::CancelAtDeadline cancel([h] { SQLCancel(h); });
    if (!first_) {
      end = Check(SQLMoreResults(h), SQL_HANDLE_STMT, h, "SQLMoreResults") == SQL_NO_DATA;
    }
    if (!end) {
      first_ = false;
      SQLSMALLINT columns = 0;
      Check(SQLNumResultCols(h, &columns), SQL_HANDLE_STMT, h, "SQLNumResultCols");
      if (columns > 0) {
        ResultShape shape = DescribeResult(h, columns);
        bool complete = false;
        result.rows = FetchRows(h, shape, ado::kBlockRows, ado::kBlockBytes, complete);
        if (!complete) {
          cursor_ = std::make_shared<ResultCursor>(weak_from_this(), std::move(shape));
          result.more = cursor_;
        }
      } else {
        // Some drivers answer SQL_SUCCESS without writing the count
        // (psqlODBC after SET or DROP).
        SQLLEN count = -1;
        Check(SQLRowCount(h, &count), SQL_HANDLE_STMT, h, "SQLRowCount");
        result.rows_affected = count;
      }
    }
  } catch (const ado::ProviderError& e) {
    done_ = true;
    ReleaseStatement();
    RaiseIfConnectionDead(session_->dbc.get(), e);
    throw;
  } catch (...) {
    done_ = true;
    ReleaseStatement();
    throw;
  }
  if (end) {
    Finish();
    return std::nullopt;
  }
  return result;
}

std::shared_ptr<ado::RowSet> Execution::FetchMore(ResultCursor& cursor, size_t max_rows,
                                                  size_t max_bytes) {
  if (cursor_.get() != &cursor) {  // the execution moved on: nothing more
    cursor.done_ = true;
    return nullptr;
  }
  if (abandoned_) {
    cursor.done_ = true;
    RaiseClosed();
  }
  SQLHSTMT h = stmt_.get();
  try {
    ado::CancelAtDeadline cancel([h] { SQLCancel(h); });
    bool complete = false;
    auto rows = FetchRows(h, cursor.shape_, max_rows, max_bytes, complete);
    if (complete) {
      cursor.done_ = true;
      cursor_.reset();
    }
    return rows->row_count() > 0 || !complete ? rows : nullptr;
  } catch (const ado::ProviderError& e) {
    cursor.done_ = true;
    cursor_.reset();
    done_ = true;
    ReleaseStatement();
    RaiseIfConnectionDead(session_->dbc.get(), e);
    throw;
  } catch (...) {
    cursor.done_ = true;
    cursor_.reset();
    done_ = true;
    ReleaseStatement();
    throw;
  }
}

void Execution::DrainCursor() {
  if (!cursor_) return;
  std::shared_ptr<ResultCursor> cursor = cursor_;
  try {
    while (!cursor->done_) {
      auto rows = FetchMore(*cursor, ado::kBlockRows, ado::kBlockBytes);
      if (rows) cursor->read_ahead_.push_back(std::move(rows));
    }
  } catch (...) {
    cursor->failure_ = std::current_exception();
    throw;
  }
}

void Execution::Finish() {
  // The outputs of a procedure are complete only after its last result.
  done_ = true;
  ReadOutputs(bound_);
  ReleaseStatement();
}

void Execution::ReleaseStatement() noexcept {
  std::lock_guard<std::mutex> lock(session_->cancel_mu);
  if (session_->running == stmt_.get()) session_->running = SQL_NULL_HANDLE;
  stmt_.Reset();
}

std::optional<ado::Result> Execution::Next() {
  if (!buffered_.empty()) {
    ado::Result r = std::move(buffered_.front());
    buffered_.pop_front();
    return r;
  }
  if (deferred_) std::rethrow_exception(std::exchange(deferred_, nullptr));
  return ReadFromDriver();
}

void Execution::Drain() noexcept {
  try {
    DrainCursor();
    while (auto r = ReadFromDriver()) {
      buffered_.push_back(std::move(*r));
      DrainCursor();
    }
  } catch (...) {
    deferred_ = std::current_exception();
  }
}

void Execution::Abandon() noexcept {
  if (!done_) abandoned_ = true;
  ReleaseStatement();
}

std::string ProcedureCall(const std::string& name, const std::vector<ado::ParameterPtr>& params) {
  bool returns = !params.empty() && params.front()->direction == kParamReturnValue;
  size_t markers = params.size() - (returns ? 1 : 0);
  std::string s = returns ? "{? = call " : "{call ";
  s += name;
  if (markers > 0) {
    s += "(";
    for (size_t i = 0; i < markers; ++i) s += i == 0 ? "?" : ",?";
    s += ")";
  }
  s += "}";
  return s;
}

}  // namespace q8::odbc
