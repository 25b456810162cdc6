// The data-access layer: connections, record sets and commands.
//
// These classes give the component and its host the calls of the database
// API the component was written against: a Connection opened with a
// connection string, Execute of a T-SQL batch that yields its results one by
// one, record sets with fields and cursor movement (attached to their
// connection or detached), and commands with parameters, including stored
// procedures with output parameters. A provider (the embedded SQLite engine
// or ODBC) is chosen from the connection string and sits behind the small
// seam in core/ado/provider.h.
//
// Ownership: every object is held by std::shared_ptr. A record set that is
// still attached keeps its connection (and so the database session with its
// temporary tables) open until the last reference goes. A detached record set
// keeps its rows and needs nothing else.
//
// Rows: a record set reads its result whole when it is opened and keeps
// every row, so it can move both ways (a client-side cursor). Its rows stay
// in memory up to RecordsetMemoryLimit(); past it the older rows go to a
// nameless file in the temporary folder and are read back as the record set
// moves, so a result of any size takes bounded memory. A streamed record set
// (set_streamed, or a connection's set_stream_results) instead reads its rows
// from the database as it moves forward and lets go of those behind it: the
// first row is there before the last is read, and memory stays bounded
// without a file.
//
// Results: an execution is read one result at a time (NextRecordset); the
// statements behind a result run only when it is asked for. Statements whose
// results nobody asked for still run, when the last record set of the
// execution is released or detached, as they would on a server.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "q8vantorpt/error.h"
#include "q8vantorpt/export.h"
#include "q8vantorpt/variant.h"

namespace q8::ado {

// Constants of the API, with their original values.
inline constexpr int kUnspecified = -1;
inline constexpr int kUseServer = 2, kUseClient = 3;  // CursorLocation
inline constexpr int kOpenForwardOnly = 0, kOpenKeyset = 1, kOpenDynamic = 2,
                     kOpenStatic = 3;                                           // CursorType
inline constexpr int kLockReadOnly = 1;                                         // LockType
inline constexpr int kCmdText = 1, kCmdStoredProc = 4;                          // CommandType
inline constexpr int kStateClosed = 0, kStateOpen = 1;                          // State
inline constexpr int kParamInput = 1, kParamOutput = 2, kParamInputOutput = 3;  // Direction
// Parameter data types.
inline constexpr int kTypeSmallInt = 2, kTypeInteger = 3, kTypeDouble = 5, kTypeDate = 7,
                     kTypeBoolean = 11, kTypeDecimal = 14, kTypeBigInt = 20, kTypeDBDate = 133,
                     kTypeDBTimeStamp = 135, kTypeNumeric = 131, kTypeChar = 129,
                     kTypeVarChar = 200, kTypeVarWChar = 202;

// Numbers of provider failures that have no number of the database's own
// (the OLE DB status codes the original platform reported as signed 32-bit
// numbers). A statement failing in the database engine carries the engine's
// number where it has one (SQL Server's 8134, 241 …) and kErrCommandFailed
// otherwise; the engine's own code is in the entry's native_error.
inline constexpr int32_t kErrCommandFailed = -2147217900;     // errors in the command
inline constexpr int32_t kErrProviderFailure = -2147467259;   // unspecified failure (open …)
inline constexpr int32_t kErrTimeout = -2147217871;           // time limit of the command reached
inline constexpr int32_t kErrCanceled = -2147217842;          // the caller cancelled the operation
inline constexpr int32_t kErrParameterMissing = -2147217904;  // a `?` marker without value
inline constexpr int32_t kErrCannotFetchBackward = -2147217884;  // a streamed record set moved back

class CancelAtDeadline;  // the drivers' side of a TimeLimit (provider.h)

// A time limit on the calling thread's database work, for a caller that must
// not wait longer than it chooses (the component's own statements run without
// a command time limit). While a TimeLimit lives, a login on this thread waits
// at most until the deadline, a statement still running then is cancelled
// (through ODBC with SQLCancel, so that the server receives an attention; on
// the embedded engine with sqlite3_interrupt), and a statement begun after it
// fails at once. Every failure from then on is raised as kErrTimeout with a
// description that names the limit, the original failure's entries following
// in the connection's Errors. Limits nest; the earliest deadline holds.
// REQUIRES: destroyed on the thread that created it, innermost first;
// Cancel() may come from any thread while the limit lives.
class TimeLimit {
 public:
  explicit TimeLimit(std::chrono::milliseconds limit);
  ~TimeLimit();
  TimeLimit(const TimeLimit&) = delete;
  TimeLimit& operator=(const TimeLimit&) = delete;

  // Ends the limit now; may be called from any thread (a host's "cancel"
  // button). What runs under it, or under a limit nested in it, is cancelled
  // as at the deadline and fails with kErrCanceled.
  void Cancel();
  bool Cancelled() const { return cancelled_ || (outer_ && outer_->Cancelled()); }
  // True once the deadline has passed or the limit was cancelled.
  bool Expired() const;
  // The limit that holds: this one, or an outer one that ends first.
  std::chrono::milliseconds limit() const { return limit_; }
  std::chrono::steady_clock::time_point deadline() const { return deadline_; }

 private:
  friend class CancelAtDeadline;
  void CancelRunning();
  std::chrono::milliseconds limit_;
  std::chrono::steady_clock::time_point deadline_;
  const TimeLimit* outer_;
  std::atomic<bool> cancelled_{false};
};

// The static type of a result column, as the database declares it.
enum class FieldType { kBool, kInt, kDecimal, kDouble, kText, kDateTime };
// "bool", "int", "decimal", "float", "text", "datetime".
Q8_API const char* FieldTypeName(FieldType t);

// The memory a record set that keeps its rows may hold them in before it
// spills them to a file: process-wide, in bytes. The default is 64 MiB, or
// the environment variable Q8VANTORPT_RECORDSET_MEMORY_KB (KiB, a whole
// number from 1 on) when it is set. Applies to the rows read from then on.
void SetRecordsetMemoryLimit(size_t bytes);
size_t RecordsetMemoryLimit();

struct ColumnInfo {
  std::string name;
  FieldType type = FieldType::kText;
  int32_t size = 0;       // defined size of text columns (characters); 0 when unknown
  int32_t precision = 0;  // decimal precision; 0 when not a decimal
  int32_t scale = 0;      // decimal scale
  std::string sql_type;   // the declared type as the server names it, e.g. "decimal(23,10)"
};

// The rows of one result, stored by column: each column is one typed vector
// with a null mask, and text lives in one arena per column. No heap object
// per cell.
class Q8_API RowSet {
 public:
  explicit RowSet(std::vector<ColumnInfo> columns);
  ~RowSet();
  RowSet(const RowSet&) = delete;
  RowSet& operator=(const RowSet&) = delete;

  const std::vector<ColumnInfo>& columns() const { return columns_; }
  size_t column_count() const { return columns_.size(); }
  size_t row_count() const { return rows_; }

  // Building: fill one value per column, in column order, then EndRow().
  void AddNull();
  void AddBool(bool v);
  void AddInt(int64_t v);
  void AddDouble(double v);
  void AddDecimal(const Decimal& v);  // rescaled to the column's scale
  void AddText(std::string_view v);
  void AddDateTime(double days);
  void AddVariant(const Variant& v);  // converted to the column's type
  void EndRow();
  void Reserve(size_t rows);
  // Changes the type of column `col`, converting the values it already holds:
  // bool and int widen to decimal, float or text; decimal to float or text;
  // float and datetime to text. Drivers use it when a value does not fit the
  // type a column was declared with. REQUIRES: a widening as listed, or a
  // column that holds only NULLs (any type).
  void RetypeColumn(size_t col, FieldType type, int32_t scale = 0);
  // True when column `col` holds no value other than NULL so far.
  bool ColumnAllNull(size_t col) const;

  // Reading. REQUIRES: row < row_count(), col < column_count().
  bool IsNull(size_t row, size_t col) const;
  bool GetBool(size_t row, size_t col) const;
  int64_t GetInt(size_t row, size_t col) const;
  double GetDouble(size_t row, size_t col) const;  // also for kDateTime (days)
  Decimal GetDecimal(size_t row, size_t col) const;
  std::string_view GetText(size_t row, size_t col) const;
  // The value as a Variant: Null, Bool, Long (Decimal beyond 32 bits), Double,
  // Decimal, Date or String.
  Variant Get(size_t row, size_t col) const;
  // Approximate bytes held, for memory reports.
  size_t MemoryUsage() const;

 private:
  struct Column;
  std::vector<ColumnInfo> columns_;
  std::vector<std::unique_ptr<Column>> data_;
  size_t rows_ = 0;
  size_t next_col_ = 0;
};

// One entry of a connection's Errors collection.
struct ErrorEntry {
  int32_t number = 0;
  std::string source;
  std::string description;
  int32_t native_error = 0;
  std::string sql_state;
};

// A dynamic property of the provider ("DBMS Name", "Multiple Results" …).
struct Property {
  std::string name;
  Variant value;
};

class Connection;
class Recordset;
class Command;
struct PendingResults;  // the results of one execution not yet read
struct Result;          // one result of an execution (core/ado/provider.h)
class ProviderConnection;
struct LayerAccess;  // the layer's own access to the driver seam

struct Parameter {
  std::string name;
  int type = kTypeVarChar;
  int direction = kParamInput;
  int32_t size = 0;
  Variant value;  // outputs are written here after the execution
};
using ParameterPtr = std::shared_ptr<Parameter>;

class Q8_API Connection : public Object, public std::enable_shared_from_this<Connection> {
 public:
  static std::shared_ptr<Connection> Create();
  ~Connection() override;

  // Opens the provider named by the connection string. Raises with the
  // provider's number and text; the Errors collection then holds the entries.
  void Open(const std::string& connection_string, const std::string& user = {},
            const std::string& password = {}, int options = kUnspecified);
  // Record sets of Execute (of this connection and of its commands) are
  // streamed (see Recordset::set_streamed). Off by default.
  bool stream_results() const { return stream_results_; }
  void set_stream_results(bool v) { stream_results_ = v; }

  // Runs a command text (a batch of statements) and returns a record set
  // standing at its first result. A result without columns (a statement that
  // changes rows, without SET NOCOUNT ON) gives a record set whose field count
  // is 0; NextRecordset moves on. Raises on the first failing statement.
  std::shared_ptr<Recordset> Execute(const std::string& command_text, int options = kUnspecified);

  int cursor_location() const { return cursor_location_; }
  void set_cursor_location(int v) { cursor_location_ = v; }
  int command_timeout() const { return command_timeout_; }  // seconds; 0 = no limit
  void set_command_timeout(int v) { command_timeout_ = v; }
  int connection_timeout() const { return connection_timeout_; }  // login timeout, seconds
  void set_connection_timeout(int v) { connection_timeout_ = v; }
  const std::string& connection_string() const { return connection_string_; }
  int State() const;

  // The provider's dynamic properties, read on open and on Refresh.
  const std::vector<Property>& Properties() const { return properties_; }
  void RefreshProperties();
  // The property's value; raises 3265 when the provider has no such property.
  Variant PropertyValue(std::string_view name) const;

  // Entries of the last failure (cleared at the start of each operation that
  // can fail). Never cleared by a reader.
  const std::vector<ErrorEntry>& Errors() const { return errors_; }

  void Close();

  // Replaces the Errors collection (an error judge or a host adds entries).
  void SetErrors(std::vector<ErrorEntry> errors) { errors_ = std::move(errors); }

 private:
  friend class Recordset;
  friend class Command;
  friend struct LayerAccess;

  Connection() = default;
  // The open provider connection; raises 3709 when closed.
  ProviderConnection& provider();
  // Runs `text` (kCmdText, `?` markers bound to `params` in order) or calls
  // the stored procedure named `text` (kCmdStoredProc; the call is drained, so
  // output parameters are written when it returns) and returns the results
  // not yet read. Raises 3709 when closed; a failure fills Errors.
  std::shared_ptr<PendingResults> Run(const std::string& text, std::vector<ParameterPtr>& params,
                                      int command_type, int timeout_seconds);

  std::unique_ptr<ProviderConnection> provider_;
  std::string connection_string_;
  int cursor_location_ = kUseServer;
  int command_timeout_ = 30;
  int connection_timeout_ = 15;
  bool stream_results_ = false;
  std::vector<Property> properties_;
  std::vector<ErrorEntry> errors_;
};
using ConnectionPtr = std::shared_ptr<Connection>;

class RowStore;  // the rows of a record set (core/ado/row_store.h)

// A field of the current row.
struct Field {
  const ColumnInfo* info = nullptr;
  Variant value;
  std::shared_ptr<const void> owner;  // keeps `info` valid
  const std::string& Name() const { return info->name; }
  FieldType Type() const { return info->type; }
  int32_t DefinedSize() const { return info->size; }
  int32_t Precision() const { return info->precision; }
  int32_t NumericScale() const { return info->scale; }
};

class Q8_API Recordset : public Object, public std::enable_shared_from_this<Recordset> {
 public:
  static std::shared_ptr<Recordset> Create();
  ~Recordset() override;

  // Properties set before Open.
  void SetActiveConnection(ConnectionPtr cn);  // nullptr detaches; rows stay readable
  const ConnectionPtr& ActiveConnection() const { return connection_; }
  int cursor_location() const { return cursor_location_; }
  void set_cursor_location(int v) { cursor_location_ = v; }
  int cursor_type() const { return cursor_type_; }
  void set_cursor_type(int v) { cursor_type_ = v; }
  int lock_type() const { return lock_type_; }
  void set_lock_type(int v) { lock_type_ = v; }
  // Streamed reading, set before Open: the rows are read from the database
  // as the record set moves forward, a block at a time, and the rows behind
  // are let go. Such a record set moves forward only: MovePrevious,
  // MoveLast and MoveFirst once past the first block raise
  // kErrCannotFetchBackward, RecordCount is -1. A failure of the database
  // while rows are read is raised by the move (or the read) that needed
  // them. Detached (SetActiveConnection(nullptr)), it keeps reading from its
  // execution; the connection closes once the last row has been read or the
  // record set is released. Asking for the next result first reads the rest
  // of the rows and keeps them, so the record set stays readable.
  bool streamed() const { return streamed_; }
  void set_streamed(bool v) { streamed_ = v; }
  // How a failure while a streamed record set reads further rows reaches
  // the caller: called in the catch block, it raises the error the caller
  // sees (the component raises it as the method that returned the record
  // set would have). Unset, the failure is raised as it is.
  void set_read_failure(std::function<void()> raise) { read_failure_ = std::move(raise); }

  // Runs `source` on the active connection (or on a new connection opened
  // from `connect_string` when it is not empty) and stands at its first
  // result; -1 arguments leave the properties as they are.
  void Open(const std::string& source, const std::string& connect_string = {},
            int cursor_type = kUnspecified, int lock_type = kUnspecified,
            int options = kUnspecified);
  // As Open, with an explicit connection.
  void Open(const std::string& source, ConnectionPtr connection, int cursor_type = kUnspecified,
            int lock_type = kUnspecified, int options = kUnspecified);

  int State() const;       // kStateOpen when it holds a result with columns
  int FieldCount() const;  // 0 for a result without columns
  const std::vector<ColumnInfo>& Columns() const;
  // Fields of the current row; raise 3265 for an unknown name or index and
  // 3021 at BOF or EOF.
  Variant Value(int index) const;
  Variant Value(std::string_view name) const;
  Field Fields(int index) const;
  Field Fields(std::string_view name) const;
  int FieldIndex(std::string_view name) const;  // -1 when absent; case-insensitive

  bool IsEOF() const;
  bool IsBOF() const;
  void MoveFirst();
  void MoveNext();
  void MovePrevious();
  void MoveLast();
  // The rows changed by the statement behind a result without columns (SET
  // NOCOUNT OFF); -1 for a result with columns and when there is no result.
  int64_t RecordsAffected() const { return records_affected_; }
  int32_t RecordCount() const;  // -1 for a closed or a streamed record set
  size_t Position() const { return position_; }

  // The next result of the same execution as a new record set, or nullptr
  // when there is none. Raises when the next statement fails.
  std::shared_ptr<Recordset> NextRecordset();
  void Close();

  // Direct access to the rows, for writers. The rows come in blocks: the
  // block that holds the current row, with the index of that row in it
  // (the whole result when it is one block). {nullptr, 0} when closed or at
  // EOF.
  struct RowBlock {
    std::shared_ptr<const RowSet> rows;
    size_t first = 0;
  };
  RowBlock CurrentBlock() const;
  // The current row's block, from the current row on, and moves the record
  // set past the block's last row: a writer reads a result block by block
  // with `while (auto b = rs.NextBlock(); b.rows) ...`. {nullptr, 0} at EOF.
  // Raises as MoveNext.
  RowBlock NextBlock();
  // The block holding row `row` (0-based, of the whole result) and the index
  // of that row in it, whatever the current row is; {nullptr, 0} when closed
  // or when the result has fewer rows. Raises kErrCannotFetchBackward for a
  // row a streamed record set has let go.
  RowBlock RowAt(size_t row) const;
  // The block of the current row; nullptr when closed or at EOF.
  const RowSet* Rows() const { return CurrentBlock().rows.get(); }
  // Bytes of rows the record set holds in memory.
  size_t MemoryUsage() const;

 private:
  friend class Connection;
  friend class Command;

  Recordset() = default;
  // Makes this record set stand at the result `r` (rows or none), with the
  // rest of the execution in `pending`. A record set that keeps its rows
  // reads them all here.
  void Attach(Result r, std::shared_ptr<PendingResults> pending, ConnectionPtr connection);
  // Reads on to row `row`; true when the result has it. A failure goes
  // through read_failure_.
  bool ReadTo(size_t row) const;
  void RequireForward(size_t row) const;

  ConnectionPtr connection_;
  std::shared_ptr<RowStore> store_;
  mutable std::shared_ptr<PendingResults> pending_;
  std::function<void()> read_failure_;
  int cursor_location_ = kUseServer;
  int cursor_type_ = kOpenForwardOnly;
  int lock_type_ = kLockReadOnly;
  bool streamed_ = false;
  bool detached_ = false;  // ActiveConnection set to none: no further results
  bool open_ = false;
  size_t position_ = 0;
  bool before_first_ = false;  // MovePrevious went past the first row
  int64_t records_affected_ = -1;

  void RequireCurrent() const;
  size_t Column(int index) const;
  size_t Column(std::string_view name) const;
};
using RecordsetPtr = std::shared_ptr<Recordset>;

class Q8_API Command : public Object {
 public:
  static std::shared_ptr<Command> Create();

  void SetActiveConnection(ConnectionPtr cn) { connection_ = std::move(cn); }
  const ConnectionPtr& ActiveConnection() const { return connection_; }
  int command_type() const { return command_type_; }
  void set_command_type(int v) { command_type_ = v; }
  const std::string& command_text() const { return command_text_; }
  void set_command_text(std::string v) { command_text_ = std::move(v); }
  int command_timeout() const { return command_timeout_; }
  void set_command_timeout(int v) { command_timeout_ = v; }

  ParameterPtr CreateParameter(std::string name, int type, int direction, int32_t size,
                               const Variant& value = Variant::Missing()) const;
  void Append(ParameterPtr p) { parameters_.push_back(std::move(p)); }
  std::vector<ParameterPtr>& Parameters() { return parameters_; }
  // REQUIRES: index < Parameters().size(); raises 3265 otherwise.
  Parameter& Item(size_t index);

  // Runs the command text (with `?` markers bound in order) or calls the
  // stored procedure. Output parameters hold their values when it returns.
  RecordsetPtr Execute(int options = kUnspecified);

 private:
  ConnectionPtr connection_;
  int command_type_ = kCmdText;
  std::string command_text_;
  int command_timeout_ = 30;
  std::vector<ParameterPtr> parameters_;
};
using CommandPtr = std::shared_ptr<Command>;

}  // namespace q8::ado
