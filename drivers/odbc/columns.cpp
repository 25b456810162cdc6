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

struct Plan {
  ado::FieldType type;
  SQLSMALLINT sql_type;
};

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

bool IsCharacterType(SQLSMALLINT t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR ||
         t == SQL_BINARY || t == SQL_VARBINARY;
}

// Drivers write exact numerics as plain digits; a few leave out the zero
// before the point (".5").
std::optional<Decimal> ParseDecimalText(std::string text) {
  size_t digits = text.find_first_not_of("+- ");
  if (digits != std::string::npos && text[digits] == '.') text.insert(digits, "0");
  return Decimal::Parse(text);
}

}  // namespace

ado::FieldType FieldTypeFor(SQLSMALLINT t, SQLULEN column_size) {
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
      // More digits than a Decimal holds: the nearest double.
      return column_size <= static_cast<SQLULEN>(Decimal::kMaxDigits) ? ado::FieldType::kDecimal
                                                                      : ado::FieldType::kDouble;
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

std::shared_ptr<ado::RowSet> FetchResult(SQLHSTMT stmt, SQLSMALLINT count) {
  std::vector<ado::ColumnInfo> columns;
  std::vector<Plan> plans;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
    SQLCHAR name[1024] = {};
    SQLSMALLINT name_length = 0, sql_type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    Check(SQLDescribeCol(stmt, c, name, sizeof name, &name_length, &sql_type, &size, &digits,
                         &nullable),
          SQL_HANDLE_STMT, stmt, "SQLDescribeCol");
    ado::ColumnInfo info;
    info.name = reinterpret_cast<const char*>(name);
    info.type = FieldTypeFor(sql_type, size);
    info.sql_type = TypeName(stmt, c);
    if (info.type == ado::FieldType::kDecimal) {
      info.precision = Clamp(size);
      info.scale = std::clamp<int32_t>(digits, 0, Decimal::kMaxDigits);
      info.sql_type +=
          "(" + std::to_string(info.precision) + "," + std::to_string(info.scale) + ")";
    } else if (info.type == ado::FieldType::kText) {
      info.size = Clamp(size);
      if (IsCharacterType(sql_type) && size > 0) info.sql_type += "(" + std::to_string(size) + ")";
    }
    columns.push_back(std::move(info));
    plans.push_back({columns.back().type, sql_type});
  }

  auto rows = std::make_shared<ado::RowSet>(std::move(columns));
  std::string text;
  for (;;) {
    SQLRETURN rc = Check(SQLFetch(stmt), SQL_HANDLE_STMT, stmt, "SQLFetch");
    if (rc == SQL_NO_DATA) break;
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
          std::optional<Decimal> v = ParseDecimalText(text);
          if (!v) {
            ado::ErrorEntry e{NumberForState("22003"), kErrorSource,
                              "The driver returned \"" + text + "\" for the decimal column \"" +
                                  rows->columns()[c - 1].name + "\"",
                              0, "22003"};
            throw ado::ProviderError(e.number, e.source, e.description, {e});
          }
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
  return rows;
}

}  // namespace q8::odbc
