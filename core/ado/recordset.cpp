// Recordset: one result of an execution, with a cursor over its rows.
//
// The rows are always held by the client (a RowSet), so every cursor type
// can move both ways. A record set stands on row `position_`; it is at EOF
// when `position_` reaches the row count and at BOF when it has no rows or
// MovePrevious went past the first row.

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
    // Detached: the rows stay, the rest of the execution is given up.
    pending_.reset();
  }
  connection_ = std::move(cn);
}

void Recordset::Attach(std::shared_ptr<RowSet> rows, std::shared_ptr<PendingResults> pending,
                       ConnectionPtr connection, int64_t records_affected) {
  rows_ = std::move(rows);
  records_affected_ = rows_ ? -1 : records_affected;
  pending_ = std::move(pending);
  connection_ = std::move(connection);
  open_ = rows_ != nullptr;
  position_ = 0;
  before_first_ = false;
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
  if (first)
    Attach(first->rows, std::move(pending), connection_, first->rows_affected);
  else
    Attach(nullptr, nullptr, connection_);
}

int Recordset::State() const { return open_ ? kStateOpen : kStateClosed; }

int Recordset::FieldCount() const { return rows_ ? static_cast<int>(rows_->column_count()) : 0; }

const std::vector<ColumnInfo>& Recordset::Columns() const {
  static const std::vector<ColumnInfo> kNone;
  return rows_ ? rows_->columns() : kNone;
}

void Recordset::RequireCurrent() const {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  if (IsBOF() || IsEOF()) RaiseLayer(err::kAdoBofEof, kRecordsetSource);
}

size_t Recordset::Column(int index) const {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  if (index < 0 || static_cast<size_t>(index) >= rows_->column_count())
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
  if (!rows_) return -1;
  const auto& cols = rows_->columns();
  for (size_t i = 0; i < cols.size(); ++i) {
    if (EqualsNoCase(cols[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

Variant Recordset::Value(int index) const {
  size_t col = Column(index);
  RequireCurrent();
  return rows_->Get(position_, col);
}

Variant Recordset::Value(std::string_view name) const {
  size_t col = Column(name);
  RequireCurrent();
  return rows_->Get(position_, col);
}

Field Recordset::Fields(int index) const {
  size_t col = Column(index);
  Field f;
  f.info = &rows_->columns()[col];
  f.owner = rows_;
  // The field object exists at BOF and EOF too; only its value needs a row.
  f.value = (IsBOF() || IsEOF()) ? Variant() : rows_->Get(position_, col);
  return f;
}

Field Recordset::Fields(std::string_view name) const {
  return Fields(static_cast<int>(Column(name)));
}

bool Recordset::IsEOF() const {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  return position_ >= rows_->row_count();
}

bool Recordset::IsBOF() const {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  return before_first_ || rows_->row_count() == 0;
}

void Recordset::MoveFirst() {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  if (rows_->row_count() == 0) RaiseLayer(err::kAdoBofEof, kRecordsetSource);
  position_ = 0;
  before_first_ = false;
}

void Recordset::MoveLast() {
  if (!open_) RaiseLayer(err::kAdoObjectClosed, kRecordsetSource);
  if (rows_->row_count() == 0) RaiseLayer(err::kAdoBofEof, kRecordsetSource);
  position_ = rows_->row_count() - 1;
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
  if (IsBOF()) RaiseLayer(err::kAdoBofEof, kRecordsetSource);
  if (position_ == 0)
    before_first_ = true;
  else
    --position_;
}

int32_t Recordset::RecordCount() const {
  if (!open_) return -1;
  return static_cast<int32_t>(rows_->row_count());
}

std::shared_ptr<Recordset> Recordset::NextRecordset() {
  if (!pending_) return nullptr;
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
  rs->Attach(next->rows, std::move(pending), connection_, next->rows_affected);
  return rs;
}

void Recordset::Close() {
  rows_.reset();
  pending_.reset();
  open_ = false;
  records_affected_ = -1;
  position_ = 0;
  before_first_ = false;
}

}  // namespace q8::ado
