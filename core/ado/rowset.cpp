// RowSet: the rows of one result, stored column by column.
//
// Each column keeps one typed vector (integers for bool and int, doubles for
// float and datetime, mantissas at the column's scale for decimals, end
// offsets into one text arena for text) plus a null mask. A NULL cell still
// takes its slot in the typed vector, so a cell is found by its row index
// alone. Integers, mantissas and offsets are kept in half the width while
// every value of the column fits (32-bit ints and offsets, 64-bit
// mantissas), and the column widens once when a value does not: a report of
// a million rows then holds about half the bytes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/ado/value_text.h"
#include "q8vantorpt/ado.h"

namespace q8::ado {

const char* FieldTypeName(FieldType t) {
  switch (t) {
    case FieldType::kBool:
      return "bool";
    case FieldType::kInt:
      return "int";
    case FieldType::kDecimal:
      return "decimal";
    case FieldType::kDouble:
      return "float";
    case FieldType::kText:
      return "text";
    case FieldType::kDateTime:
      return "datetime";
  }
  return "text";
}

namespace {

// A vector of Wide values held as Narrow while every value fits.
template <class Narrow, class Wide>
class Packed {
 public:
  void push_back(Wide v) {
    if (!wide_.empty() || static_cast<Wide>(static_cast<Narrow>(v)) != v) {
      if (wide_.empty()) Widen();
      wide_.push_back(v);
    } else {
      narrow_.push_back(static_cast<Narrow>(v));
    }
  }
  Wide operator[](size_t i) const {
    return wide_.empty() ? static_cast<Wide>(narrow_[i]) : wide_[i];
  }
  void reserve(size_t n) {
    if (wide_.empty()) {
      narrow_.reserve(n);
    } else {
      wide_.reserve(n);
    }
  }
  size_t capacity_bytes() const {
    return narrow_.capacity() * sizeof(Narrow) + wide_.capacity() * sizeof(Wide);
  }

 private:
  // Moves the values into the wide vector (which stays non-empty from then on).
  void Widen() {
    wide_.reserve(std::max<size_t>(narrow_.capacity(), 1));
    wide_.assign(narrow_.begin(), narrow_.end());
    if (wide_.empty()) return;  // the first value decides: push_back adds it
    std::vector<Narrow>().swap(narrow_);
  }

  std::vector<Narrow> narrow_;
  std::vector<Wide> wide_;
};

}  // namespace

struct RowSet::Column {
  std::vector<bool> nulls;
  Packed<int32_t, int64_t> ints;     // kBool, kInt
  std::vector<double> reals;         // kDouble, kDateTime (days since 1899-12-30)
  Packed<int64_t, Int128> decimals;  // kDecimal: mantissas at the column's scale
  Packed<uint32_t, uint64_t> ends;   // kText: end offset of each cell in `arena`
  std::string arena;
  size_t values = 0;  // cells that are not NULL

  size_t Bytes() const {
    return nulls.capacity() / 8 + ints.capacity_bytes() + reals.capacity() * sizeof(double) +
           decimals.capacity_bytes() + ends.capacity_bytes() + arena.capacity();
  }
};

RowSet::RowSet(std::vector<ColumnInfo> columns) : columns_(std::move(columns)) {
  data_.reserve(columns_.size());
  for (size_t i = 0; i < columns_.size(); ++i) data_.push_back(std::make_unique<Column>());
}

RowSet::~RowSet() = default;

void RowSet::Reserve(size_t rows) {
  for (size_t c = 0; c < columns_.size(); ++c) {
    Column& d = *data_[c];
    d.nulls.reserve(rows);
    switch (columns_[c].type) {
      case FieldType::kBool:
      case FieldType::kInt:
        d.ints.reserve(rows);
        break;
      case FieldType::kDouble:
      case FieldType::kDateTime:
        d.reals.reserve(rows);
        break;
      case FieldType::kDecimal:
        d.decimals.reserve(rows);
        break;
      case FieldType::kText:
        d.ends.reserve(rows);
        break;
    }
  }
}

namespace {

[[noreturn]] void BadCell(const char* what) {
  Raise(err::kAdoInvalidArgument, std::string("Row set: ") + what);
}

}  // namespace

// The column of the next cell. A cell is taken (next_col_ advances) only
// once its value is stored, so a value refused by a conversion leaves the
// row as it was.
#define Q8_ROWSET_CELL()                                        \
  if (next_col_ >= columns_.size()) BadCell("too many values"); \
  Column& d = *data_[next_col_];                                \
  const ColumnInfo& info = columns_[next_col_]

void RowSet::AddNull() {
  Q8_ROWSET_CELL();
  switch (info.type) {
    case FieldType::kBool:
    case FieldType::kInt:
      d.ints.push_back(0);
      break;
    case FieldType::kDouble:
    case FieldType::kDateTime:
      d.reals.push_back(0);
      break;
    case FieldType::kDecimal:
      d.decimals.push_back(0);
      break;
    case FieldType::kText:
      d.ends.push_back(d.arena.size());
      break;
  }
  d.nulls.push_back(true);
  ++next_col_;
}

void RowSet::AddBool(bool v) { AddInt(v ? 1 : 0); }

void RowSet::AddInt(int64_t v) {
  Q8_ROWSET_CELL();
  switch (info.type) {
    case FieldType::kBool:
      d.ints.push_back(v != 0);
      break;
    case FieldType::kInt:
      d.ints.push_back(v);
      break;
    case FieldType::kDouble:
    case FieldType::kDateTime:
      d.reals.push_back(static_cast<double>(v));
      break;
    case FieldType::kDecimal:
      d.decimals.push_back(Decimal(v, 0).Rescale(info.scale).mantissa());
      break;
    case FieldType::kText:
      d.arena += std::to_string(v);
      d.ends.push_back(d.arena.size());
      break;
  }
  d.nulls.push_back(false);
  ++d.values;
  ++next_col_;
}

void RowSet::AddDouble(double v) {
  Q8_ROWSET_CELL();
  switch (info.type) {
    case FieldType::kBool:
      d.ints.push_back(v != 0);
      break;
    case FieldType::kInt:
      if (!(std::fabs(v) < 9.2e18)) BadCell("float out of the range of an integer column");
      d.ints.push_back(std::llround(v));
      break;
    case FieldType::kDouble:
    case FieldType::kDateTime:
      d.reals.push_back(v);
      break;
    case FieldType::kDecimal:
      d.decimals.push_back(DecimalFromDouble(v, info.scale).mantissa());
      break;
    case FieldType::kText:
      d.arena += DoubleText(v);
      d.ends.push_back(d.arena.size());
      break;
  }
  d.nulls.push_back(false);
  ++d.values;
  ++next_col_;
}

void RowSet::AddDecimal(const Decimal& v) {
  Q8_ROWSET_CELL();
  switch (info.type) {
    case FieldType::kBool:
      d.ints.push_back(!v.IsZero());
      break;
    case FieldType::kInt: {
      Int128 m = v.Rescale(0).mantissa();
      if (m > std::numeric_limits<int64_t>::max() || m < std::numeric_limits<int64_t>::min())
        BadCell("decimal out of the range of an integer column");
      d.ints.push_back(static_cast<int64_t>(m));
      break;
    }
    case FieldType::kDouble:
    case FieldType::kDateTime:
      d.reals.push_back(v.ToDouble());
      break;
    case FieldType::kDecimal:
      d.decimals.push_back(v.Rescale(info.scale).mantissa());
      break;
    case FieldType::kText:
      d.arena += v.ToShortString();
      d.ends.push_back(d.arena.size());
      break;
  }
  d.nulls.push_back(false);
  ++d.values;
  ++next_col_;
}

void RowSet::AddText(std::string_view v) {
  Q8_ROWSET_CELL();
  switch (info.type) {
    case FieldType::kText:
      d.arena.append(v);
      d.ends.push_back(d.arena.size());
      break;
    case FieldType::kDateTime: {
      auto days = date::Parse(v);
      if (!days) BadCell("text is not a date");
      d.reals.push_back(*days);
      break;
    }
    default: {
      auto dec = Decimal::Parse(v);
      if (!dec) BadCell("text is not a number");
      AddDecimal(*dec);  // stores through the numeric path
      return;
    }
  }
  d.nulls.push_back(false);
  ++d.values;
  ++next_col_;
}

void RowSet::AddDateTime(double days) {
  Q8_ROWSET_CELL();
  switch (info.type) {
    case FieldType::kText:
      d.arena += date::ToIso(days);
      d.ends.push_back(d.arena.size());
      break;
    case FieldType::kDouble:
    case FieldType::kDateTime:
      d.reals.push_back(days);
      break;
    default:
      BadCell("a date does not fit a numeric column");
  }
  d.nulls.push_back(false);
  ++d.values;
  ++next_col_;
}

#undef Q8_ROWSET_CELL

void RowSet::AddVariant(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
    case VarType::kNull:
    case VarType::kMissing:
      AddNull();
      return;
    case VarType::kBool:
      AddBool(v.ToBool());
      return;
    case VarType::kInteger:
    case VarType::kLong:
      AddInt(v.ToLong());
      return;
    case VarType::kDouble:
      AddDouble(v.ToDouble());
      return;
    case VarType::kDecimal:
      AddDecimal(v.ToDecimal());
      return;
    case VarType::kDate:
      AddDateTime(v.date_days());
      return;
    case VarType::kString:
      AddText(v.text());
      return;
    case VarType::kObject:
      break;
  }
  RaisePlatform(err::kTypeMismatch);
}

void RowSet::EndRow() {
  if (next_col_ != columns_.size()) BadCell("row is missing values");
  next_col_ = 0;
  ++rows_;
}

bool RowSet::IsNull(size_t row, size_t col) const { return data_[col]->nulls[row]; }

bool RowSet::GetBool(size_t row, size_t col) const { return GetInt(row, col) != 0; }

int64_t RowSet::GetInt(size_t row, size_t col) const {
  const Column& d = *data_[col];
  switch (columns_[col].type) {
    case FieldType::kBool:
    case FieldType::kInt:
      return d.ints[row];
    case FieldType::kDouble:
    case FieldType::kDateTime:
      return std::llround(d.reals[row]);
    case FieldType::kDecimal:
      return static_cast<int64_t>(GetDecimal(row, col).Rescale(0).mantissa());
    case FieldType::kText:
      return Variant(GetText(row, col)).ToInt64();
  }
  return 0;
}

double RowSet::GetDouble(size_t row, size_t col) const {
  const Column& d = *data_[col];
  switch (columns_[col].type) {
    case FieldType::kBool:
    case FieldType::kInt:
      return static_cast<double>(d.ints[row]);
    case FieldType::kDouble:
    case FieldType::kDateTime:
      return d.reals[row];
    case FieldType::kDecimal:
      return GetDecimal(row, col).ToDouble();
    case FieldType::kText:
      return Variant(GetText(row, col)).ToDouble();
  }
  return 0;
}

Decimal RowSet::GetDecimal(size_t row, size_t col) const {
  const Column& d = *data_[col];
  switch (columns_[col].type) {
    case FieldType::kDecimal:
      return Decimal(d.decimals[row], columns_[col].scale);
    case FieldType::kBool:
    case FieldType::kInt:
      return Decimal::FromInt(d.ints[row]);
    case FieldType::kDouble:
    case FieldType::kDateTime:
      return DecimalFromDouble(d.reals[row], 10);
    case FieldType::kText:
      return Variant(GetText(row, col)).ToDecimal();
  }
  return Decimal();
}

std::string_view RowSet::GetText(size_t row, size_t col) const {
  const Column& d = *data_[col];
  if (columns_[col].type != FieldType::kText) BadCell("not a text column");
  uint64_t begin = row == 0 ? 0 : d.ends[row - 1];
  return std::string_view(d.arena).substr(begin, d.ends[row] - begin);
}

Variant RowSet::Get(size_t row, size_t col) const {
  if (IsNull(row, col)) return Variant::Null();
  const Column& d = *data_[col];
  switch (columns_[col].type) {
    case FieldType::kBool:
      return Variant(d.ints[row] != 0);
    case FieldType::kInt:
      return Variant::FromInt64(d.ints[row]);
    case FieldType::kDouble:
      return Variant(d.reals[row]);
    case FieldType::kDateTime:
      return Variant::Date(d.reals[row]);
    case FieldType::kDecimal:
      return Variant(Decimal(d.decimals[row], columns_[col].scale));
    case FieldType::kText:
      return Variant(GetText(row, col));
  }
  return Variant::Null();
}

bool RowSet::ColumnAllNull(size_t col) const { return data_[col]->values == 0; }

void RowSet::RetypeColumn(size_t col, FieldType type, int32_t scale) {
  ColumnInfo& info = columns_[col];
  const Column& old = *data_[col];
  // The cells already filled in this column: whole rows, plus the cell of the
  // row being built when this column has already received it.
  size_t cells = old.nulls.size();
  auto fresh = std::make_unique<Column>();
  ColumnInfo next = info;
  next.type = type;
  next.scale = type == FieldType::kDecimal ? scale : 0;
  next.precision = type == FieldType::kDecimal ? std::max<int32_t>(info.precision, 38) : 0;
  if (type != info.type) next.sql_type.clear();

  // Convert through a temporary one-column row set, so the Add* rules apply.
  RowSet tmp({next});
  const FieldType from = info.type;
  bool widening =
      old.values == 0 || from == type ||
      ((from == FieldType::kBool || from == FieldType::kInt) &&
       (type == FieldType::kInt || type == FieldType::kDecimal || type == FieldType::kDouble ||
        type == FieldType::kText)) ||
      (from == FieldType::kDecimal && (type == FieldType::kDouble || type == FieldType::kText)) ||
      ((from == FieldType::kDouble || from == FieldType::kDateTime) && type == FieldType::kText);
  if (!widening) BadCell("column cannot change to that type");
  tmp.Reserve(cells);
  for (size_t r = 0; r < cells; ++r) {
    if (old.nulls[r]) {
      tmp.AddNull();
    } else {
      switch (from) {
        case FieldType::kBool:
          if (type == FieldType::kText)
            tmp.AddText(old.ints[r] ? "1" : "0");
          else
            tmp.AddInt(old.ints[r]);
          break;
        case FieldType::kInt:
          tmp.AddInt(old.ints[r]);
          break;
        case FieldType::kDouble:
          tmp.AddDouble(old.reals[r]);
          break;
        case FieldType::kDateTime:
          tmp.AddDateTime(old.reals[r]);
          break;
        case FieldType::kDecimal:
          tmp.AddDecimal(Decimal(old.decimals[r], info.scale));
          break;
        case FieldType::kText: {
          uint64_t begin = r == 0 ? 0 : old.ends[r - 1];
          tmp.AddText(std::string_view(old.arena).substr(begin, old.ends[r] - begin));
          break;
        }
      }
    }
    tmp.EndRow();
  }
  data_[col] = std::move(tmp.data_[0]);
  info = next;
}

size_t RowSet::MemoryUsage() const {
  size_t total = sizeof(*this) + columns_.capacity() * sizeof(ColumnInfo);
  for (const auto& d : data_) total += sizeof(Column) + d->Bytes();
  return total;
}

}  // namespace q8::ado
