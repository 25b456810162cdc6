// Columns of a result and their values.
//
// Every value is read with SQLGetData into the C type that keeps it exact:
// decimals as text (the driver's exact digits, never a double), text as
// SQL_C_CHAR in chunks (UTF-8 with the drivers and client charsets this
// driver is used with), dates and times as their ODBC structures.
#include "drivers/odbc/columns.h"

#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "drivers/odbc/handles.h"

namespace q8::odbc {

namespace {

// SQL Server's own types, as its ODBC drivers report them.
constexpr SQLSMALLINT kSsTime2 = -154;
constexpr SQLSMALLINT kSsTimestampOffset = -155;

using Plan = ResultShape::Plan;

void GetValue(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT c_type, void* target, SQLLEN size,
              SQLLEN* indicator) {
  Check(SQLGetData(stmt, col, c_type, target, size, indicator), SQL_HANDLE_STMT, stmt,
        "SQLGetData");
}

std::string TypeName(SQLHSTMT stmt, SQLUSMALLINT col) {
  SQLCHAR name[128] = {};
  SQLSMALLINT length = 0;
  Check(SQLColAttribute(stmt, col, SQL_DESC_TYPE_NAME, name, sizeof name, &length, nullptr),
        SQL_HANDLE_STMT, stmt, "SQLColAttribute(SQL_DESC_TYPE_NAME)");
  return reinterpret_cast<const char*>(name);
}

int32_t Clamp(SQLULEN v) {
  return v > static_cast<SQLULEN>(std::numeric_limits<int32_t>::max())
             ? std::numeric_limits<int32_t>::max()
             : static_cast<int32_t>(v);
}

[[noreturn]] void RaiseBadDecimal(const std::string& text, const std::string& column) {
  ado::ErrorEntry e{
      NumberForState("22003"), kErrorSource,
      "The driver returned \"" + text + "\" for the decimal column \"" + column + "\"", 0, "22003"};
  throw ado::ProviderError(e.number, e.source, e.description, {e});
}

bool IsCharacterType(SQLSMALLINT t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR ||
         t == SQL_BINARY || t == SQL_VARBINARY;
}

// Copies `text_rows` into a new RowSet in which the `wide` columns (decimal
// text) are decimals with as many decimals as the data has and 38 digits
// allow: integer digits are never lost, decimals beyond them are rounded.
std::shared_ptr<ado::RowSet> WithWideDecimals(const ado::RowSet& text_rows,
                                              const std::vector<size_t>& wide) {
  std::vector<ado::ColumnInfo> columns = text_rows.columns();
  for (size_t c : wide) {
    int integer = 1, fraction = 0;  // one integer digit at least: rounding can carry into it
    for (size_t r = 0; r < text_rows.row_count(); ++r) {
      if (text_rows.IsNull(r, c)) continue;
      std::string_view t = text_rows.GetText(r, c);
      size_t first = t.find_first_of("123456789."), point = t.find('.');
      if (point == std::string_view::npos) point = t.size();
      if (first != std::string_view::npos && first < point)
        integer = std::max(integer, static_cast<int>(point - first));
      if (point < t.size()) fraction = std::max(fraction, static_cast<int>(t.size() - point - 1));
    }
    ado::ColumnInfo& info = columns[c];
    info.type = ado::FieldType::kDecimal;
    info.size = 0;
    info.scale = std::clamp(Decimal::kMaxDigits - integer, 0, fraction);
    info.precision = std::min(Decimal::kMaxDigits, integer + info.scale);
    // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict, a false positive) on the
    // insert that `"(" + std::string` inlines.
    info.sql_type.append(1, '(').append(std::to_string(info.precision)).append(1, ',');
    info.sql_type.append(std::to_string(info.scale)).append(1, ')');
  }
  auto rows = std::make_shared<ado::RowSet>(columns);
  rows->Reserve(text_rows.row_count());
  for (size_t r = 0; r < text_rows.row_count(); ++r) {
    for (size_t c = 0; c < columns.size(); ++c) {
      if (text_rows.IsNull(r, c)) {
        rows->AddNull();
        continue;
      }
      switch (text_rows.columns()[c].type) {
        case ado::FieldType::kBool:
          rows->AddBool(text_rows.GetBool(r, c));
          break;
        case ado::FieldType::kInt:
          rows->AddInt(text_rows.GetInt(r, c));
          break;
        case ado::FieldType::kDouble:
          rows->AddDouble(text_rows.GetDouble(r, c));
          break;
        case ado::FieldType::kDateTime:
          rows->AddDateTime(text_rows.GetDouble(r, c));
          break;
        case ado::FieldType::kDecimal:
          rows->AddDecimal(text_rows.GetDecimal(r, c));
          break;
        case ado::FieldType::kText:
          if (columns[c].type == ado::FieldType::kDecimal) {
            std::string text(text_rows.GetText(r, c));
            std::optional<Decimal> d = DecimalFromText(text, columns[c].scale);
            if (!d) RaiseBadDecimal(text, columns[c].name);
            rows->AddDecimal(*d);
          } else {
            rows->AddText(text_rows.GetText(r, c));
          }
          break;
      }
    }
    rows->EndRow();
  }
  return rows;
}

}  // namespace

ado::FieldType FieldTypeFor(SQLSMALLINT t) {
  switch (t) {
    case SQL_BIT:
      return ado::FieldType::kBool;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return ado::FieldType::kInt;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return ado::FieldType::kDecimal;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ado::FieldType::kDouble;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME:  // ODBC 2 codes, from older drivers
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case kSsTime2:
    case kSsTimestampOffset:
      return ado::FieldType::kDateTime;
    default:
      return ado::FieldType::kText;
  }
}

std::optional<Decimal> DecimalFromText(std::string text, int scale) {
  // Digits go in one character at a time (insert(pos, 1, c)): the insert of a
  // string literal draws a false -Wrestrict warning from GCC 12 at -O3.
  size_t digits = text.find_first_not_of("+- ");
  if (digits != std::string::npos && text[digits] == '.') text.insert(digits, 1, '0');
  size_t point = text.find('.');
  if (point != std::string::npos && text.find_first_of("eE") == std::string::npos &&
      text.size() - point - 1 > static_cast<size_t>(scale)) {
    bool up = text[point + 1 + static_cast<size_t>(scale)] >= '5';
    text.resize(scale == 0 ? point : point + 1 + static_cast<size_t>(scale));
    for (size_t i = text.size(); up && i-- > 0;) {
      if (text[i] == '.') continue;
      if (text[i] < '0' || text[i] > '9') {
        text.insert(i + 1, 1, '1');  // 9.99 → 10.0: a new leading digit
        up = false;
      } else if (text[i] == '9') {
        text[i] = '0';
      } else {
        ++text[i];
        up = false;
      }
    }
    if (up) text.insert(0, 1, '1');
  }
  std::optional<Decimal> d = Decimal::Parse(text);
  if (d) d = d->Rescale(scale);
  return d;
}

bool GetText(SQLHSTMT stmt, SQLUSMALLINT col, std::string& out, size_t chunk) {
  std::vector<char> buffer(chunk);
  bool any = false;
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = Check(SQLGetData(stmt, col, SQL_C_CHAR, buffer.data(),
                                    static_cast<SQLLEN>(buffer.size()), &indicator),
                         SQL_HANDLE_STMT, stmt, "SQLGetData");
    if (rc == SQL_NO_DATA) return any;  // the previous chunk was the last
    if (indicator == SQL_NULL_DATA) return false;
    any = true;
    if (rc == SQL_SUCCESS) {
      out.append(buffer.data(), static_cast<size_t>(indicator));
      return true;
    }
    // 01004: the buffer is full but for its terminator. The indicator is
    // the length still to come, or SQL_NO_TOTAL. A driver that converts
    // charsets may stop short of a partly fitting character, so the
    // terminator tells where this chunk ends.
    size_t n = (indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) < buffer.size() - 1)
                   ? static_cast<size_t>(indicator)
                   : buffer.size() - 1;
    n = strnlen(buffer.data(), n);
    out.append(buffer.data(), n);
  }
}

ResultShape DescribeResult(SQLHSTMT stmt, SQLSMALLINT count) {
  std::vector<ado::ColumnInfo> columns;
  std::vector<Plan> plans;
  std::vector<size_t> wide;  // decimal columns read as text
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
    SQLCHAR name[1024] = {};
    SQLSMALLINT name_length = 0, sql_type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    Check(SQLDescribeCol(stmt, c, name, sizeof name, &name_length, &sql_type, &size, &digits,
                         &nullable),
          SQL_HANDLE_STMT, stmt, "SQLDescribeCol");
    ado::ColumnInfo info;
    info.name = reinterpret_cast<const char*>(name);
    info.type = FieldTypeFor(sql_type);
    info.sql_type = TypeName(stmt, c);
    if (info.type == ado::FieldType::kDecimal && size > static_cast<SQLULEN>(Decimal::kMaxDigits)) {
      // Wider than a Decimal: PostgreSQL's numeric without a declared
      // precision, for which psqlODBC reports the width of the data (and a
      // digit more). Read as text first; the data decides the scale.
      info.type = ado::FieldType::kText;
      wide.push_back(c - 1);
    } else if (info.type == ado::FieldType::kDecimal) {
      info.precision = Clamp(size);
      info.scale = std::clamp<int32_t>(digits, 0, info.precision);
      info.sql_type +=
          "(" + std::to_string(info.precision) + "," + std::to_string(info.scale) + ")";
    } else if (info.type == ado::FieldType::kText) {
      info.size = Clamp(size);
      if (IsCharacterType(sql_type) && size > 0) info.sql_type += "(" + std::to_string(size) + ")";
    }
    columns.push_back(std::move(info));
    plans.push_back({columns.back().type, sql_type});
  }
  return ResultShape{std::move(columns), std::move(plans), std::move(wide)};
}

std::shared_ptr<ado::RowSet> FetchRows(SQLHSTMT stmt, const ResultShape& shape, size_t max_rows,
                                       size_t max_bytes, bool& done) {
  const auto count = static_cast<SQLSMALLINT>(shape.columns.size());
  const std::vector<Plan>& plans = shape.plans;
  auto rows = std::make_shared<ado::RowSet>(shape.columns);
  std::string text;
  done = false;
  for (size_t read = 0; read < max_rows; ++read) {
    // The bytes are counted every 64 rows: a few wide rows end a block too.
    if (read % 64 == 63 && rows->MemoryUsage() >= max_bytes) break;
    SQLRETURN rc = Check(SQLFetch(stmt), SQL_HANDLE_STMT, stmt, "SQLFetch");
    if (rc == SQL_NO_DATA) {
      done = true;
      break;
    }
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
      const Plan& plan = plans[c - 1];
      SQLLEN indicator = 0;
      switch (plan.type) {
        case ado::FieldType::kBool:
        case ado::FieldType::kInt: {
          SQLBIGINT v = 0;
          GetValue(stmt, c, SQL_C_SBIGINT, &v, sizeof v, &indicator);
          if (indicator == SQL_NULL_DATA) {
            rows->AddNull();
          } else if (plan.type == ado::FieldType::kBool) {
            rows->AddBool(v != 0);
          } else {
            rows->AddInt(v);
          }
          break;
        }
        case ado::FieldType::kDouble: {
          SQLDOUBLE v = 0;
          GetValue(stmt, c, SQL_C_DOUBLE, &v, sizeof v, &indicator);
          if (indicator == SQL_NULL_DATA) {
            rows->AddNull();
          } else {
            rows->AddDouble(v);
          }
          break;
        }
        case ado::FieldType::kDecimal: {
          text.clear();
          if (!GetText(stmt, c, text, 128)) {
            rows->AddNull();
            break;
          }
          std::optional<Decimal> v = DecimalFromText(text, rows->columns()[c - 1].scale);
          if (!v) RaiseBadDecimal(text, rows->columns()[c - 1].name);
          rows->AddDecimal(*v);
          break;
        }
        case ado::FieldType::kDateTime: {
          date::Parts p;
          if (plan.sql_type == SQL_TYPE_TIME || plan.sql_type == SQL_TIME ||
              plan.sql_type == kSsTime2) {
            SQL_TIME_STRUCT t{};
            GetValue(stmt, c, SQL_C_TYPE_TIME, &t, sizeof t, &indicator);
            p.hour = t.hour;
            p.minute = t.minute;
            p.second = t.second;
          } else {
            SQL_TIMESTAMP_STRUCT t{};
            GetValue(stmt, c, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &indicator);
            p = {t.year,
                 t.month,
                 t.day,
                 t.hour,
                 t.minute,
                 t.second,
                 static_cast<int>(t.fraction / 1000000)};
          }
          if (indicator == SQL_NULL_DATA) {
            rows->AddNull();
          } else {
            rows->AddDateTime(date::FromParts(p));
          }
          break;
        }
        case ado::FieldType::kText:
          text.clear();
          if (GetText(stmt, c, text)) {
            rows->AddText(text);
          } else {
            rows->AddNull();
          }
          break;
      }
    }
    rows->EndRow();
  }
  return shape.wide.empty() ? rows : WithWideDecimals(*rows, shape.wide);
}

std::shared_ptr<ado::RowSet> FetchResult(SQLHSTMT stmt, SQLSMALLINT count) {
  bool done = false;
  return FetchRows(stmt, DescribeResult(stmt, count), static_cast<size_t>(-1),
                   static_cast<size_t>(-1), done);
}

}  // namespace q8::odbc
