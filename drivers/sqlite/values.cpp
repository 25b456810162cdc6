// SQLite values in and out: parameters bound to markers, and result rows
// read into a typed RowSet.
//
// SQLite types values, not columns: a decimal(23,10) column hands back the
// integer 10 for 10.0, a datetime column text. The result columns are typed
// as SQL Server would type them (the translator says how), and each value is
// converted to its column's type: decimals read exactly from their stored
// form (tsql/exact.h) at the column's scale, datetime texts read as dates. A value that does not
// fit its column's type widens the column (int to float, anything to text) rather than being lost.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "core/ado/value_text.h"
#include "drivers/sqlite/session.h"
#include "drivers/sqlite/tsql/exact.h"

namespace q8::sqlite {

using ado::FieldType;

int BindValue(sqlite3_stmt* stmt, int index, const ado::Parameter& p) {
  const Variant& v = p.value;
  if (v.IsNull() || v.IsEmpty() || v.IsMissing()) return sqlite3_bind_null(stmt, index);
  auto bind_text = [&](const std::string& t) {
    return sqlite3_bind_text(stmt, index, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
  };
  switch (p.type) {
    case ado::kTypeChar:
    case ado::kTypeVarChar:
    case ado::kTypeVarWChar:
      return bind_text(v.type() == VarType::kDate ? date::ToIso(v.date_days()) : v.ToText());
    case ado::kTypeSmallInt:
    case ado::kTypeInteger:
    case ado::kTypeBigInt:
    case ado::kTypeBoolean:
      return sqlite3_bind_int64(stmt, index, v.type() == VarType::kBool ? v.ToBool() : v.ToInt64());
    case ado::kTypeDate:
    case ado::kTypeDBDate:
    case ado::kTypeDBTimeStamp:
      return bind_text(date::ToIso(v.ToDate()));
    default:
      break;
  }
  // Numbers and anything else by the value's own type.
  switch (v.type()) {
    case VarType::kBool:
      return sqlite3_bind_int64(stmt, index, v.ToBool() ? 1 : 0);
    case VarType::kInteger:
    case VarType::kLong:
      return sqlite3_bind_int64(stmt, index, v.ToLong());
    case VarType::kDecimal:
      // Exact, in the form the engine stores decimals.
      return tsql::exact::Bind(stmt, index, v.ToDecimal());
    case VarType::kDouble:
      return sqlite3_bind_double(stmt, index, v.ToDouble());
    case VarType::kDate:
      return bind_text(date::ToIso(v.date_days()));
    default:
      return bind_text(v.ToText());
  }
}

namespace {

FieldType StorageType(int sqlite_type) {
  switch (sqlite_type) {
    case SQLITE_INTEGER:
      return FieldType::kInt;
    case SQLITE_FLOAT:
      return FieldType::kDouble;
    default:
      return FieldType::kText;
  }
}

std::string_view TextOf(sqlite3_stmt* stmt, int i) {
  const unsigned char* t = sqlite3_column_text(stmt, i);
  int n = sqlite3_column_bytes(stmt, i);
  return t ? std::string_view(reinterpret_cast<const char*>(t), static_cast<size_t>(n))
           : std::string_view();
}

// A whole-text integer ("42", "-7"), or nothing.
std::optional<int64_t> ParseInt(std::string_view t) {
  std::string s(t);
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return std::nullopt;
  return v;
}

// Reads cell `i` of the current row of `stmt` into the next cell of `rows`.
// `col` is the same column in the row set; its type may widen.
void ReadCell(ado::RowSet& rows, size_t col, sqlite3_stmt* stmt, int i, bool inferred) {
  int st = sqlite3_column_type(stmt, i);
  if (st == SQLITE_NULL) {
    rows.AddNull();
    return;
  }
  if (inferred && rows.ColumnAllNull(col) && rows.columns()[col].type != StorageType(st))
    rows.RetypeColumn(col, StorageType(st));

  auto widen_to_text = [&] {
    rows.RetypeColumn(col, FieldType::kText);
    if (st == SQLITE_FLOAT)
      rows.AddText(ado::DoubleText(sqlite3_column_double(stmt, i)));
    else
      rows.AddText(TextOf(stmt, i));
  };

  switch (rows.columns()[col].type) {
    case FieldType::kBool:
    case FieldType::kInt:
      if (st == SQLITE_INTEGER) {
        rows.AddInt(sqlite3_column_int64(stmt, i));
      } else if (st == SQLITE_FLOAT) {
        double v = sqlite3_column_double(stmt, i);
        if (v == std::trunc(v) && std::fabs(v) < 9.0e18) {
          rows.AddInt(static_cast<int64_t>(v));
        } else {
          rows.RetypeColumn(col, FieldType::kDouble);
          rows.AddDouble(v);
        }
      } else if (auto n = ParseInt(TextOf(stmt, i))) {
        rows.AddInt(*n);
      } else {
        widen_to_text();
      }
      return;
    case FieldType::kDecimal: {
      const int scale = rows.columns()[col].scale;
      Decimal d;
      switch (tsql::exact::ReadDecimal(sqlite3_column_value(stmt, i), scale, &d)) {
        case tsql::exact::Read::kOk:
          rows.AddDecimal(d);
          return;
        case tsql::exact::Read::kNotNumber:
          widen_to_text();
          return;
        default:
          // Beyond 38 digits at this scale: keep the value as a float.
          rows.RetypeColumn(col, FieldType::kDouble);
          rows.AddDouble(sqlite3_column_double(stmt, i));
          return;
      }
    }
    case FieldType::kDouble:
      if (st == SQLITE_INTEGER || st == SQLITE_FLOAT) {
        rows.AddDouble(sqlite3_column_double(stmt, i));
      } else if (auto d = Decimal::Parse(TextOf(stmt, i))) {
        rows.AddDouble(d->ToDouble());
      } else {
        widen_to_text();
      }
      return;
    case FieldType::kDateTime:
      // Stored as text; a date written as 20240131 into a NUMERIC column
      // comes back as that integer and reads the same way.
      if (st == SQLITE_TEXT || st == SQLITE_INTEGER) {
        if (auto days = date::Parse(TextOf(stmt, i))) {
          rows.AddDateTime(*days);
          return;
        }
      }
      widen_to_text();
      return;
    case FieldType::kText:
      if (st == SQLITE_FLOAT)
        rows.AddText(ado::DoubleText(sqlite3_column_double(stmt, i)));
      else
        rows.AddText(TextOf(stmt, i));
      return;
  }
}

}  // namespace

ResultShape ShapeOf(sqlite3_stmt* stmt, const std::vector<tsql::SqlType>& types,
                    const std::vector<std::optional<std::string>>& names) {
  const int n = sqlite3_column_count(stmt);
  ResultShape shape;
  shape.columns.resize(static_cast<size_t>(n));
  shape.inferred.assign(static_cast<size_t>(n), false);
  for (int i = 0; i < n; ++i) {
    auto k = static_cast<size_t>(i);
    ado::ColumnInfo& c = shape.columns[k];
    if (k < names.size() && names[k])
      c.name = *names[k];
    else if (const char* name = sqlite3_column_name(stmt, i))
      c.name = name;
    tsql::SqlType t = k < types.size() ? types[k] : tsql::SqlType{};
    if (!t.known) {
      if (const char* decl = sqlite3_column_decltype(stmt, i))
        t = tsql::SqlType::FromDeclared(decl);
    }
    if (t.known) {
      c.type = t.kind;
      c.size = t.size;
      c.precision = t.kind == FieldType::kDecimal ? t.precision : 0;
      c.scale = t.kind == FieldType::kDecimal ? t.scale : 0;
      c.sql_type = t.name;
    } else {
      c.type = FieldType::kText;  // until the first value tells
      shape.inferred[k] = true;
    }
  }
  return shape;
}

bool ReadRows(const Session& s, sqlite3_stmt* stmt, const std::vector<bool>& inferred,
              ado::RowSet& rows, size_t max_rows, size_t max_bytes, std::string_view statement) {
  const int n = sqlite3_column_count(stmt);
  for (size_t read = 0; read < max_rows; ++read) {
    // The bytes are counted every 64 rows: a few wide rows end a block too.
    if (read % 64 == 63 && rows.MemoryUsage() >= max_bytes) return false;
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) throw StatementError(s, rc, statement, false);
    for (int i = 0; i < n; ++i) {
      // SQLite computes past the range of a float (1e308 * 10, power(10.0,
      // 400)) to an infinity; SQL Server fails the statement.
      if (sqlite3_column_type(stmt, i) == SQLITE_FLOAT &&
          !std::isfinite(sqlite3_column_double(stmt, i)))
        throw MakeError(
            tsql::kArithmeticOverflowNumber,
            std::string(kFloatOverflow) + " [statement: " + StatementExcerpt(statement) + "]",
            tsql::kArithmeticOverflowNumber, "22003");
      ReadCell(rows, static_cast<size_t>(i), stmt, i, inferred[static_cast<size_t>(i)]);
    }
    rows.EndRow();
  }
  return false;
}

std::shared_ptr<ado::RowSet> Materialize(const Session& s, sqlite3_stmt* stmt,
                                         const std::vector<tsql::SqlType>& types,
                                         const std::vector<std::optional<std::string>>& names,
                                         std::string_view statement) {
  ResultShape shape = ShapeOf(stmt, types, names);
  auto rows = std::make_shared<ado::RowSet>(std::move(shape.columns));
  ReadRows(s, stmt, shape.inferred, *rows, static_cast<size_t>(-1), static_cast<size_t>(-1),
           statement);
  return rows;
}

}  // namespace q8::sqlite
