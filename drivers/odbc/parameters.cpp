// Binding command parameters.
//
// A parameter is bound with the C type that carries its value exactly:
// integers as integers, decimals as their digits (SQL_C_CHAR), dates as
// timestamp structures, text as UTF-8 (SQL_C_CHAR). Outputs get buffers of
// the same kinds and are read back only once the execution is over.
#include "drivers/odbc/parameters.h"

#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include "drivers/odbc/handles.h"

namespace q8::odbc {

namespace {

// Parameter data types not named in ado.h.
constexpr int kTypeTinyInt = 16, kTypeUnsignedTinyInt = 17, kTypeSingle = 4, kTypeCurrency = 6,
              kTypeWChar = 130, kTypeLongVarChar = 201, kTypeLongVarWChar = 203;
constexpr int kParamReturnValue = 4;

// Decimal places of a decimal output whose value is not known beforehand.
constexpr SQLSMALLINT kOutputDecimalScale = 18;
// Characters of a text output whose size is not given.
constexpr SQLULEN kDefaultTextOutput = 4000;

template <class T>
void Store(BoundParameter& b, const T& v) {
  b.buffer.resize(sizeof(T));
  std::memcpy(b.buffer.data(), &v, sizeof(T));
  b.indicator = sizeof(T);
}

template <class T>
T Load(const BoundParameter& b) {
  T v{};
  std::memcpy(&v, b.buffer.data(), sizeof(T));
  return v;
}

size_t Utf8Length(const std::string& s) {
  return static_cast<size_t>(std::count_if(
      s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

BoundParameter PrepareParameter(const ado::ParameterPtr& p) {
  BoundParameter b;
  b.param = p;
  bool output = p->direction == ado::kParamOutput || p->direction == kParamReturnValue;
  bool input = !output;
  if (p->direction == ado::kParamInputOutput) {
    b.io_type = SQL_PARAM_INPUT_OUTPUT;
  } else if (output) {
    b.io_type = SQL_PARAM_OUTPUT;
  }
  const Variant& v = p->value;
  bool null = !input || v.IsNull() || v.IsEmpty() || v.IsMissing();

  switch (p->type) {
    case kTypeTinyInt:
    case kTypeUnsignedTinyInt:
    case ado::kTypeSmallInt:
      b.c_type = SQL_C_SSHORT;
      b.sql_type = p->type == ado::kTypeSmallInt ? SQL_SMALLINT : SQL_TINYINT;
      Store<SQLSMALLINT>(b, null ? 0 : v.ToInteger());
      break;
    case ado::kTypeInteger:
      b.c_type = SQL_C_SLONG;
      b.sql_type = SQL_INTEGER;
      Store<SQLINTEGER>(b, null ? 0 : v.ToLong());
      break;
    case ado::kTypeBigInt:
      b.c_type = SQL_C_SBIGINT;
      b.sql_type = SQL_BIGINT;
      Store<SQLBIGINT>(b, null ? 0 : v.ToInt64());
      break;
    case ado::kTypeBoolean:
      b.c_type = SQL_C_BIT;
      b.sql_type = SQL_BIT;
      Store<unsigned char>(b, !null && v.ToBool() ? 1 : 0);
      break;
    case kTypeSingle:
    case ado::kTypeDouble:
      b.c_type = SQL_C_DOUBLE;
      b.sql_type = p->type == kTypeSingle ? SQL_REAL : SQL_DOUBLE;
      b.column_size = 15;
      Store<SQLDOUBLE>(b, null ? 0.0 : v.ToDouble());
      break;
    case kTypeCurrency:
    case ado::kTypeDecimal:
    case ado::kTypeNumeric: {
      b.c_type = SQL_C_CHAR;
      b.sql_type = p->type == ado::kTypeNumeric ? SQL_NUMERIC : SQL_DECIMAL;
      b.decimal = true;
      b.column_size = Decimal::kMaxDigits;
      std::string text;
      if (!null) {
        Decimal d = v.ToDecimal();
        text = d.ToString();
        b.digits = static_cast<SQLSMALLINT>(d.scale());
      } else {
        b.digits = p->type == kTypeCurrency ? 4 : kOutputDecimalScale;
      }
      if (p->type == kTypeCurrency) {
        b.column_size = 19;
        b.digits = 4;
      }
      b.buffer.assign(64, '\0');
      std::memcpy(b.buffer.data(), text.data(), std::min(text.size(), b.buffer.size() - 1));
      b.indicator = static_cast<SQLLEN>(text.size());
      break;
    }
    case ado::kTypeDate:
    case ado::kTypeDBDate:
    case ado::kTypeDBTimeStamp: {
      b.c_type = SQL_C_TYPE_TIMESTAMP;
      b.sql_type = SQL_TYPE_TIMESTAMP;
      b.column_size = 23;
      b.digits = 3;
      SQL_TIMESTAMP_STRUCT t{};
      if (!null) {
        date::Parts parts = date::ToParts(v.ToDate());
        t.year = static_cast<SQLSMALLINT>(parts.year);
        t.month = static_cast<SQLUSMALLINT>(parts.month);
        t.day = static_cast<SQLUSMALLINT>(parts.day);
        t.hour = static_cast<SQLUSMALLINT>(parts.hour);
        t.minute = static_cast<SQLUSMALLINT>(parts.minute);
        t.second = static_cast<SQLUSMALLINT>(parts.second);
        t.fraction = static_cast<SQLUINTEGER>(parts.millisecond) * 1000000u;
      }
      Store(b, t);
      break;
    }
    default: {
      // Text of every kind (and anything else, as its text).
      bool wide =
          p->type == ado::kTypeVarWChar || p->type == kTypeWChar || p->type == kTypeLongVarWChar;
      bool longer = p->type == kTypeLongVarChar || p->type == kTypeLongVarWChar;
      b.c_type = SQL_C_CHAR;
      b.sql_type = wide ? (longer ? SQL_WLONGVARCHAR : SQL_WVARCHAR)
                        : (longer ? SQL_LONGVARCHAR : SQL_VARCHAR);
      std::string text = null ? std::string() : v.ToText();
      SQLULEN chars = std::max<SQLULEN>(
          {static_cast<SQLULEN>(std::max(p->size, 0)), static_cast<SQLULEN>(Utf8Length(text)), 1});
      if (b.io_type != SQL_PARAM_INPUT && p->size <= 0) chars = std::max(chars, kDefaultTextOutput);
      b.column_size = chars;
      // Up to four bytes a character in UTF-8, and the terminator.
      size_t bytes =
          b.io_type == SQL_PARAM_INPUT ? text.size() + 1 : std::max(text.size(), chars * 4) + 1;
      b.buffer.assign(bytes, '\0');
      std::memcpy(b.buffer.data(), text.data(), text.size());
      b.indicator = static_cast<SQLLEN>(text.size());
      break;
    }
  }
  if (null) b.indicator = SQL_NULL_DATA;
  return b;
}

void BindParameters(SQLHSTMT stmt, std::vector<BoundParameter>& bound) {
  for (size_t i = 0; i < bound.size(); ++i) {
    BoundParameter& b = bound[i];
    Check(SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), b.io_type, b.c_type, b.sql_type,
                           b.column_size, b.digits, b.buffer.data(),
                           static_cast<SQLLEN>(b.buffer.size()), &b.indicator),
          SQL_HANDLE_STMT, stmt, "SQLBindParameter");
  }
}

void ReadOutputs(std::vector<BoundParameter>& bound) {
  for (BoundParameter& b : bound) {
    if (b.io_type == SQL_PARAM_INPUT) continue;
    Variant& out = b.param->value;
    if (b.indicator == SQL_NULL_DATA) {
      out = Variant::Null();
      continue;
    }
    switch (b.c_type) {
      case SQL_C_SSHORT:
        out = Variant(static_cast<int16_t>(Load<SQLSMALLINT>(b)));
        break;
      case SQL_C_SLONG:
        out = Variant(static_cast<int32_t>(Load<SQLINTEGER>(b)));
        break;
      case SQL_C_SBIGINT:
        out = Variant::FromInt64(Load<SQLBIGINT>(b));
        break;
      case SQL_C_BIT:
        out = Variant(Load<unsigned char>(b) != 0);
        break;
      case SQL_C_DOUBLE:
        out = Variant(Load<SQLDOUBLE>(b));
        break;
      case SQL_C_TYPE_TIMESTAMP: {
        auto t = Load<SQL_TIMESTAMP_STRUCT>(b);
        out = Variant::Date(date::FromParts({t.year, t.month, t.day, t.hour, t.minute, t.second,
                                             static_cast<int>(t.fraction / 1000000)}));
        break;
      }
      default: {
        size_t n = b.indicator == SQL_NO_TOTAL || b.indicator < 0 ||
                           static_cast<size_t>(b.indicator) >= b.buffer.size()
                       ? strnlen(b.buffer.data(), b.buffer.size() - 1)
                       : static_cast<size_t>(b.indicator);
        std::string text(b.buffer.data(), n);
        if (b.decimal) {
          std::optional<Decimal> d = Decimal::Parse(text);
          out = d ? Variant(*d) : Variant(text);
        } else {
          out = Variant(std::move(text));
        }
        break;
      }
    }
  }
}

}  // namespace q8::odbc
