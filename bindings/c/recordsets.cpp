// The C interface: record sets, read by row and column index.
#include <charconv>

#include "bindings/c/handles.h"
#include "core/ado/value_text.h"

namespace q8::capi {
namespace {

const ado::Recordset* RecordsetOf(const q8_recordset* recordset) {
  return recordset && recordset->recordset && recordset->recordset->State() == ado::kStateOpen
             ? recordset->recordset.get()
             : nullptr;
}

const ado::ColumnInfo* ColumnOf(const q8_recordset* recordset, size_t column) {
  const ado::Recordset* rs = RecordsetOf(recordset);
  if (rs == nullptr || column >= rs->Columns().size()) return nullptr;
  return &rs->Columns()[column];
}

// The block of rows holding row `row` of the result, and the row's index in
// it; {nullptr, 0} when there is no such row.
ado::Recordset::RowBlock BlockOf(const q8_recordset* recordset, size_t row) {
  const ado::Recordset* rs = RecordsetOf(recordset);
  return rs ? rs->RowAt(row) : ado::Recordset::RowBlock{};
}

// The cell's block and its row in it, after checking the handle and the
// cell's indexes (91, 9). The record set reads its rows as far as needed.
ado::Recordset::RowBlock Cell(const q8_recordset* recordset, size_t row, size_t column) {
  Require(recordset);
  ado::Recordset::RowBlock b = BlockOf(recordset, row);
  if (!b.rows || column >= b.rows->column_count()) RaisePlatform(kSubscriptOutOfRange);
  return b;
}

void AppendInt(std::string& out, int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

}  // namespace
}  // namespace q8::capi

using q8::capi::Guard;
using q8::capi::Require;

extern "C" {

const char* q8_field_type_name(int type) {
  switch (type) {
    case Q8_FIELD_BOOL:
      return q8::ado::FieldTypeName(q8::ado::FieldType::kBool);
    case Q8_FIELD_INT:
      return q8::ado::FieldTypeName(q8::ado::FieldType::kInt);
    case Q8_FIELD_DECIMAL:
      return q8::ado::FieldTypeName(q8::ado::FieldType::kDecimal);
    case Q8_FIELD_DOUBLE:
      return q8::ado::FieldTypeName(q8::ado::FieldType::kDouble);
    case Q8_FIELD_TEXT:
      return q8::ado::FieldTypeName(q8::ado::FieldType::kText);
    case Q8_FIELD_DATETIME:
      return q8::ado::FieldTypeName(q8::ado::FieldType::kDateTime);
    default:
      return nullptr;
  }
}

void q8_recordset_free(q8_recordset* recordset) { delete recordset; }

size_t q8_recordset_column_count(const q8_recordset* recordset) {
  const q8::ado::Recordset* rs = q8::capi::RecordsetOf(recordset);
  return rs ? rs->Columns().size() : 0;
}

size_t q8_recordset_row_count(const q8_recordset* recordset) {
  const q8::ado::Recordset* rs = q8::capi::RecordsetOf(recordset);
  const int32_t n = rs ? rs->RecordCount() : 0;
  return n > 0 ? static_cast<size_t>(n) : 0;
}

const char* q8_recordset_column_name(const q8_recordset* recordset, size_t column) {
  const q8::ado::ColumnInfo* c = q8::capi::ColumnOf(recordset, column);
  return c ? c->name.c_str() : nullptr;
}

int q8_recordset_column_type(const q8_recordset* recordset, size_t column) {
  const q8::ado::ColumnInfo* c = q8::capi::ColumnOf(recordset, column);
  if (c == nullptr) return -1;
  switch (c->type) {
    case q8::ado::FieldType::kBool:
      return Q8_FIELD_BOOL;
    case q8::ado::FieldType::kInt:
      return Q8_FIELD_INT;
    case q8::ado::FieldType::kDecimal:
      return Q8_FIELD_DECIMAL;
    case q8::ado::FieldType::kDouble:
      return Q8_FIELD_DOUBLE;
    case q8::ado::FieldType::kText:
      return Q8_FIELD_TEXT;
    case q8::ado::FieldType::kDateTime:
      return Q8_FIELD_DATETIME;
  }
  return -1;
}

int32_t q8_recordset_column_precision(const q8_recordset* recordset, size_t column) {
  const q8::ado::ColumnInfo* c = q8::capi::ColumnOf(recordset, column);
  return c ? c->precision : -1;
}

int32_t q8_recordset_column_scale(const q8_recordset* recordset, size_t column) {
  const q8::ado::ColumnInfo* c = q8::capi::ColumnOf(recordset, column);
  return c ? c->scale : -1;
}

int32_t q8_recordset_column_size(const q8_recordset* recordset, size_t column) {
  const q8::ado::ColumnInfo* c = q8::capi::ColumnOf(recordset, column);
  return c ? c->size : -1;
}

const char* q8_recordset_column_sql_type(const q8_recordset* recordset, size_t column) {
  const q8::ado::ColumnInfo* c = q8::capi::ColumnOf(recordset, column);
  return c ? c->sql_type.c_str() : nullptr;
}

int q8_recordset_is_null(const q8_recordset* recordset, size_t row, size_t column) {
  try {
    const q8::ado::Recordset::RowBlock b = q8::capi::BlockOf(recordset, row);
    if (!b.rows || column >= b.rows->column_count()) return -1;
    return b.rows->IsNull(b.first, column) ? 1 : 0;
  } catch (...) {
    return -1;  // the rows could not be read
  }
}

int32_t q8_recordset_value(const q8_recordset* recordset, size_t row, size_t column,
                           q8_variant* value, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    const auto b = q8::capi::Cell(recordset, row, column);
    value->value = b.rows->Get(b.first, column);
  });
}

int32_t q8_recordset_get_int64(const q8_recordset* recordset, size_t row, size_t column,
                               int64_t* out, q8_error** error) {
  return Guard(error, [&] {
    Require(out);
    const auto b = q8::capi::Cell(recordset, row, column);
    *out = b.rows->Get(b.first, column).ToInt64();
  });
}

int32_t q8_recordset_get_double(const q8_recordset* recordset, size_t row, size_t column,
                                double* out, q8_error** error) {
  return Guard(error, [&] {
    Require(out);
    const auto b = q8::capi::Cell(recordset, row, column);
    *out = b.rows->Get(b.first, column).ToDouble();
  });
}

int32_t q8_recordset_text(const q8_recordset* recordset, size_t row, size_t column,
                          const char** utf8, size_t* length, q8_error** error) {
  return Guard(error, [&] {
    Require(utf8);
    const auto b = q8::capi::Cell(recordset, row, column);
    const q8::ado::RowSet& rows = *b.rows;
    row = b.first;
    *utf8 = nullptr;
    if (length) *length = 0;
    if (rows.IsNull(row, column)) return;
    std::string& out = recordset->text;
    out.clear();
    switch (rows.columns()[column].type) {
      case q8::ado::FieldType::kBool:
        out = rows.GetBool(row, column) ? "true" : "false";
        break;
      case q8::ado::FieldType::kInt:
        q8::capi::AppendInt(out, rows.GetInt(row, column));
        break;
      case q8::ado::FieldType::kDecimal:
        out = rows.GetDecimal(row, column).ToString();
        break;
      case q8::ado::FieldType::kDouble:
        out = q8::ado::DoubleText(rows.GetDouble(row, column));
        break;
      case q8::ado::FieldType::kText:
        out.assign(rows.GetText(row, column));
        break;
      case q8::ado::FieldType::kDateTime:
        out = q8::date::ToIso(rows.GetDouble(row, column));
        break;
    }
    *utf8 = out.c_str();
    if (length) *length = out.size();
  });
}

int32_t q8_recordset_next(q8_recordset* recordset, q8_recordset** next, q8_error** error) {
  return Guard(error, [&] {
    Require(recordset);
    Require(next);
    *next = nullptr;
    q8::ado::RecordsetPtr n =
        recordset->recordset ? recordset->recordset->NextRecordset() : nullptr;
    if (!n) return;
    auto* h = new q8_recordset;
    h->recordset = std::move(n);
    *next = h;
  });
}

}  // extern "C"
