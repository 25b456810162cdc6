// The seam between the data-access layer and its drivers.
//
// A provider opens a ProviderConnection from a connection string. A
// ProviderConnection executes a command (a T-SQL batch with optional `?`
// parameters, or a stored-procedure call) and hands back a ResultStream that
// yields the results of that execution one at a time, running statements
// only as far as the next result: exactly how a client walks the results of
// a batch on the server. Failures are raised as ProviderError, which carries
// the Errors-collection entries of the failure.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "q8vantorpt/ado.h"

namespace q8::ado {

// The rest of a result's rows, read from the engine as they are asked for,
// forward only. A driver hands one back with the first rows of a result that
// it reads as the engine produces it, so that no result has to be held whole.
class RowCursor {
 public:
  virtual ~RowCursor() = default;
  // Reads the next rows: at most `max_rows`, and fewer once they hold about
  // `max_bytes`; nullptr when the result has no more. A block has the
  // result's columns, each typed as its own values need (a column may widen
  // from one block to the next, as RowSet::RetypeColumn widens). Raises
  // ProviderError; after a failure the cursor yields no more rows.
  virtual std::shared_ptr<RowSet> Fetch(size_t max_rows, size_t max_bytes) = 0;
};

// Rows and bytes per block of a result read in pieces: the first block a
// driver reads with the result, and each Fetch of the layer.
inline constexpr size_t kBlockRows = 4096;
inline constexpr size_t kBlockBytes = 1 << 20;

// One result of an execution: rows with columns, or none (a statement that
// changed `rows_affected` rows without SET NOCOUNT ON).
struct Result {
  std::shared_ptr<RowSet> rows;  // nullptr for a result without columns; else its (first) rows
  // The rest of the rows when `rows` holds only the first of them. The
  // cursor is read to its end, or let go, before the stream's next result is
  // asked for; Next skips the rows nobody read.
  std::shared_ptr<RowCursor> more;
  int64_t rows_affected = -1;
};

// An Error that also carries the entries for the connection's Errors
// collection. The first entry's number, source and description are the
// Error's own.
class ProviderError : public Error {
 public:
  ProviderError(int32_t number, std::string source, std::string description,
                std::vector<ErrorEntry> entries = {});
  const std::vector<ErrorEntry>& entries() const { return entries_; }

 private:
  std::vector<ErrorEntry> entries_;
};

class ResultStream {
 public:
  virtual ~ResultStream() = default;
  // Runs on to the next result and returns it; nullopt when the execution has
  // no more results. Raises ProviderError when a statement fails.
  virtual std::optional<Result> Next() = 0;
};

class ProviderConnection {
 public:
  virtual ~ProviderConnection() = default;
  // Runs a command text; `params` are bound to `?` markers in order.
  virtual std::unique_ptr<ResultStream> Execute(const std::string& text,
                                                std::vector<ParameterPtr>& params,
                                                int timeout_seconds) = 0;
  // Calls a stored procedure. Output parameters are written once the returned
  // stream has been read to its end (the layer drains it before returning).
  virtual std::unique_ptr<ResultStream> CallProcedure(const std::string& name,
                                                      std::vector<ParameterPtr>& params,
                                                      int timeout_seconds) = 0;
  // The provider's dynamic properties ("DBMS Name", "DBMS Version",
  // "Multiple Results", "Like Escape Clause", "Integrity Enhancement Facility",
  // "Numeric Functions", "String Functions", "System Functions",
  // "Time/Date Functions", …).
  virtual std::vector<Property> Properties() = 0;
  virtual void Close() = 0;
  // Stops the statement running on this connection and makes the following
  // ones of the same execution fail (see core/ado/cancel.h). Called from
  // another thread while the connection may be executing; never raises. The
  // default does nothing: the statement runs to its end.
  virtual void Interrupt() noexcept {}
};

// The calling thread's TimeLimit (ado.h), as the drivers honour it.
namespace deadline {
// The deadline of the innermost TimeLimit of the calling thread; nullopt
// when the thread has none.
std::optional<std::chrono::steady_clock::time_point> Current();
// True when the thread has a limit and its deadline has passed.
bool Passed();
// Whole seconds to the deadline, rounded up and at least 1; nullopt without
// a limit. Raises the time-limit error when the deadline has passed.
std::optional<int> SecondsLeft();
// The time-limit error of the calling thread's limit: kErrTimeout, SQLSTATE
// HYT00, naming the limit (kErrCanceled, HY008, when it was cancelled);
// `cause` (the failure that the cancel caused, or empty) follows in its
// description and its entries.
ProviderError Error(const q8::Error* cause = nullptr);
}  // namespace deadline

// While it lives, `cancel` is called once, from another thread, should the
// calling thread's deadline pass or its limit be cancelled; the destructor
// waits for a call that is running. Without a limit on the thread it does
// nothing.
class CancelAtDeadline {
 public:
  explicit CancelAtDeadline(std::function<void()> cancel);
  ~CancelAtDeadline();
  CancelAtDeadline(const CancelAtDeadline&) = delete;
  CancelAtDeadline& operator=(const CancelAtDeadline&) = delete;

  struct Entry;

 private:
  std::unique_ptr<Entry> entry_;
};

// Parsed connection string: key=value pairs separated by ";", values
// optionally in braces or quotes, keys case-insensitive.
class ConnectionString {
 public:
  explicit ConnectionString(std::string_view text);
  // The value, or nullopt when absent.
  std::optional<std::string> Get(std::string_view key) const;
  bool Has(std::string_view key) const { return Get(key).has_value(); }
  const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

struct ProviderInfo {
  std::string name;  // e.g. "SQLite", "ODBC"
  // True when this provider serves the connection string.
  std::function<bool(const ConnectionString&)> accepts;
  std::function<std::unique_ptr<ProviderConnection>(const std::string& connection_string,
                                                    int login_timeout_seconds)>
      open;
};

// Registers a provider; later registrations are asked first.
void RegisterProvider(ProviderInfo info);
// Opens the first provider that accepts the string; raises 3706 ("Provider
// cannot be found") when none does.
std::unique_ptr<ProviderConnection> OpenProvider(const std::string& connection_string,
                                                 int login_timeout_seconds);
}  // namespace q8::ado
