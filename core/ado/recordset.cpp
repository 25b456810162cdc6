// Recordset: one result of an execution, with a cursor over its rows.
//
// The rows are in a RowStore. A record set that keeps its rows (the usual,
// client-side kind) has read them all when it is attached, so it can move
// both ways; a streamed one reads them as it moves forward. A record set
// stands on row `position_`; it is at EOF when the result has no row at
// `position_` and at BOF when it has no rows or MovePrevious went past the
// first row.
#include <algorithm>
#include <cctype>

#include "core/ado/layer_errors.h"
#include "core/ado/pending.h"
#include "core/text.h"

namespace q8::ado {

std::shared_ptr<Recordset> Recordset::Create() {
  return std::shared_ptr<Recordset>(new Recordset());
}

Recordset::~Recordset() = default;

void Recordset::SetActiveConnection(ConnectionPtr cn) {
  if (!cn) {
    detached_ = true;
    // Detached: the rows stay, the rest of the execution is given up. A
    // streamed record set still reading its rows keeps the execution until
    // they are read.
    if (!store_ || store_->complete()) pending_.reset();
  } else {
    detached_ = false;
  }
  connection_ = std::move(cn);
}

void Recordset::Attach(Result r, std::shared_ptr<PendingResults> pending,
                       ConnectionPtr connection) {
  connection_ = std::move(connection);
  store_.reset();
  pending_ = std::move(pending);
  open_ = false;
  position_ = 0;
  before_first_ = false;
  detached_ = false;
  records_affected_ = r.rows ? -1 : r.rows_affected;
  if (!r.rows) return;
  Connection& cn = pending_ ? *pending_->connection : *connection_;
  store_ = StoreOf(r, streamed_, cn);
  if (streamed_ && pending_ && !store_->complete()) pending_->streaming = store_;
  open_ = true;
}

void Recordset::Open(const std::string& source, const std::string& connect_string, int cursor_type,
                     int lock_type, int options) {
  if (open_) RaiseLayer(err::kAdoObjectOpen, kRecordsetSource);
  ConnectionPtr cn;
  if (!connect_string.empty()) {
    cn = Connection::Create();
    cn->Open(connect_string);
  }
  Open(source, std::move(cn), cursor_type, lock_type, options);
}

void Recordset::Open(const std::string& source, ConnectionPtr connection, int cursor_type,
                     int lock_type, int options) {
  if (open_) RaiseLayer(err::kAdoObjectOpen, kRecordsetSource);
  if (connection) connection_ = std::move(connection);
  if (!connection_ || connection_->State() != kStateOpen)
    RaiseLayer(err::kAdoConnectionClosed, kRecordsetSource);
  if (source.empty()) RaiseLayer(err::kAdoInvalidArgument, kRecordsetSource);
  if (cursor_type != kUnspecified) cursor_type_ = cursor_type;
  if (lock_type != kUnspecified) lock_type_ = lock_type;
  std::vector<ParameterPtr> none;
  auto pending =
      connection_->Run(source, none, CommandTypeOf(options), connection_->command_timeout());
  auto first = pending->Next();
  ConnectionPtr cn = connection_;
  if (first)
    Attach(std::move(*first), std::move(pending), std::move(cn));
  else
    Attach(Result{}, nullptr, std::move(cn));
}

int Recordset::State() const { return open_ ? kStateOpen : kStateClosed; }

int Recordset::FieldCount() const {
  return store_ ? static_cast<int>(store_->columns().size()) : 0;
}

const std::vector<ColumnInfo>& Recordset::Columns() const {
  static const std::vector<ColumnInfo> kNone;
  return store_ ? store_->columns() : kNone;
}

bool Recordset::ReadTo(size_t row) const {
  if (row < store_->rows_read() || store_->complete()) return row < store_->rows_read();
  try {
    Connection* cn = pending_ ? pending_->connection.get() : connection_.get();
    const bool has = cn ? WithErrors(*cn, [&] { return store_->Reach(row); }) : store_->Reach(row);
    // Every row read: a detached record set lets its execution go.
    if (store_->complete() && detached_) pending_.reset();
    return has;
  } catch (...) {
    if (detached_) pending_.reset();
    if (read_failure_) read_failure_();
    throw;
  }
}

void Recordset::RequireForward(size_t row) const {
  if (row < store_->first_held()) RaiseLayer(kErrCannotFetchBackward, kRecordsetSource);
}

void Recordset::RequireCurrent() const {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  if (IsBOF() || IsEOF()) RaiseLayer(err::kAdoBofEof, kRecordsetSource);
}

size_t Recordset::Column(int index) const {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  if (index < 0 || static_cast<size_t>(index) >= store_->columns().size())
    RaiseLayer(err::kAdoItemNotFound, kFieldsSource);
  return static_cast<size_t>(index);
}

size_t Recordset::Column(std::string_view name) const {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  int i = FieldIndex(name);
  if (i < 0) RaiseLayer(err::kAdoItemNotFound, kFieldsSource);
  return static_cast<size_t>(i);
}

int Recordset::FieldIndex(std::string_view name) const {
  if (!store_) return -1;
  const auto& cols = store_->columns();
  for (size_t i = 0; i < cols.size(); ++i) {
    if (EqualsNoCase(cols[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

Variant Recordset::Value(int index) const {
  size_t col = Column(index);
  RequireCurrent();
  const auto [rows, row] = store_->Block(position_);
  return rows->Get(row, col);
}

Variant Recordset::Value(std::string_view name) const {
  return Value(static_cast<int>(Column(name)));
}

Field Recordset::Fields(int index) const {
  size_t col = Column(index);
  Field f;
  f.info = &store_->columns()[col];
  f.owner = store_;
  // The field object exists at BOF and EOF too; only its value needs a row.
  if (!IsBOF() && !IsEOF()) {
    const auto [rows, row] = store_->Block(position_);
    f.value = rows->Get(row, col);
  }
  return f;
}

Field Recordset::Fields(std::string_view name) const {
  return Fields(static_cast<int>(Column(name)));
}

bool Recordset::IsEOF() const {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  return !ReadTo(position_);
}

bool Recordset::IsBOF() const {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  return before_first_ || !ReadTo(0);
}

void Recordset::MoveFirst() {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  if (!ReadTo(0)) RaiseLayer(err::kAdoBofEof, kRecordsetSource);
  RequireForward(0);
  position_ = 0;
  before_first_ = false;
}

void Recordset::MoveLast() {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  if (!store_->keeps()) RaiseLayer(kErrCannotFetchBackward, kRecordsetSource);
  if (store_->rows_read() == 0) RaiseLayer(err::kAdoBofEof, kRecordsetSource);
  position_ = store_->rows_read() - 1;
  before_first_ = false;
}

void Recordset::MoveNext() {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  if (IsEOF()) RaiseLayer(err::kAdoBofEof, kRecordsetSource);
  if (before_first_)
    before_first_ = false;  // from BOF onto the first row
  else
    ++position_;
}

void Recordset::MovePrevious() {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  if (!store_->keeps()) RaiseLayer(kErrCannotFetchBackward, kRecordsetSource);
  if (IsBOF()) RaiseLayer(err::kAdoBofEof, kRecordsetSource);
  if (position_ == 0)
    before_first_ = true;
  else
    --position_;
}

int32_t Recordset::RecordCount() const {
  if (!open_ || !store_->keeps()) return -1;
  return static_cast<int32_t>(store_->rows_read());
}

Recordset::RowBlock Recordset::CurrentBlock() const {
  if (!open_ || before_first_ || !ReadTo(position_)) return {};
  const auto [rows, row] = store_->Block(position_);
  return {rows, row};
}

Recordset::RowBlock Recordset::RowAt(size_t row) const {
  if (!open_) return {};
  if (row < store_->first_held()) RaiseLayer(kErrCannotFetchBackward, kRecordsetSource);
  if (!ReadTo(row)) return {};
  const auto [rows, index] = store_->Block(row);
  return {rows, index};
}

Recordset::RowBlock Recordset::NextBlock() {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  before_first_ = false;
  RowBlock b = CurrentBlock();
  if (b.rows) position_ += b.rows->row_count() - b.first;
  return b;
}

size_t Recordset::MemoryUsage() const { return store_ ? store_->MemoryUsage() : 0; }

std::shared_ptr<Recordset> Recordset::NextRecordset() {
  if (!pending_ || detached_) return nullptr;
  auto pending = pending_;
  auto next = pending->Next();
  if (!next) {
    pending_.reset();
    return nullptr;
  }
  auto rs = Create();
  rs->cursor_location_ = cursor_location_;
  rs->cursor_type_ = cursor_type_;
  rs->lock_type_ = lock_type_;
  rs->streamed_ = streamed_;
  rs->read_failure_ = read_failure_;
  rs->Attach(std::move(*next), std::move(pending), connection_);
  return rs;
}

void Recordset::Close() {
  store_.reset();
  pending_.reset();
  open_ = false;
  records_affected_ = -1;
  position_ = 0;
  before_first_ = false;
}

}  // namespace q8::ado
