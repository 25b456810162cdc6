// SQL Server type rules: declared types, literals, precedence and the
// precision and scale of decimal arithmetic.
#include "drivers/sqlite/tsql/types.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

#include "drivers/sqlite/tsql/tokenizer.h"

namespace q8::tsql {
namespace {

int Rank(const Ty& t) {
  switch (t.kind) {
    case Ty::kUnknown:
      return 100;  // nothing is known of the result when one side is unknown
    case Ty::kNull:
      return 0;
    case Ty::kText:
      return t.unicode ? 2 : 1;
    case Ty::kBit:
      return 3;
    case Ty::kInt:
      return 4;
    case Ty::kDecimal:
      return 5;
    case Ty::kFloat:
      return 6;
    case Ty::kDateTime:
      return 7;
  }
  return 0;
}

// Reduces a multiplication or division result above 38 digits: the integer
// part keeps its digits and the scale gives way, though not below 6.
Ty CapProduct(int p, int s) {
  if (p > 38) {
    int intg = p - s;
    if (intg < 32) {
      s = std::min(s, 38 - intg);
    } else if (s > 6) {
      s = 6;
    }
    p = 38;
  }
  return Ty::Decimal(p, s);
}

}  // namespace

Ty Ty::Decimal(int p, int s) {
  Ty t = Make(kDecimal);
  p = std::clamp(p, 1, 38);
  s = std::clamp(s, 0, p);
  t.precision = static_cast<uint8_t>(p);
  t.scale = static_cast<uint8_t>(s);
  return t;
}

int Ty::DecPrecision() const {
  switch (kind) {
    case kDecimal:
      return precision;
    case kInt:
      return literal_digits != 0 ? literal_digits : precision;
    case kBit:
      return 1;
    default:
      return 18;
  }
}

SqlType Ty::ToSqlType() const {
  SqlType out;
  out.known = kind != kUnknown;
  switch (kind) {
    case kUnknown:
      break;
    case kNull:  // a bare NULL column is reported as int, as SQL Server does
    case kInt:
      out.kind = ado::FieldType::kInt;
      out.name = kind == kNull || precision == 10 ? "int"
                 : precision == 3                 ? "tinyint"
                 : precision == 5                 ? "smallint"
                                                  : "bigint";
      break;
    case kBit:
      out.kind = ado::FieldType::kBool;
      out.name = "bit";
      break;
    case kDecimal:
      out.kind = ado::FieldType::kDecimal;
      out.precision = precision;
      out.scale = scale;
      out.name = "decimal(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
      break;
    case kFloat:
      out.kind = ado::FieldType::kDouble;
      out.name = "float";
      break;
    case kText:
      out.kind = ado::FieldType::kText;
      out.size = size;
      out.name = std::string(unicode ? "nvarchar(" : "varchar(") +
                 (size > 0 ? std::to_string(size) : std::string("max")) + ")";
      break;
    case kDateTime:
      out.kind = ado::FieldType::kDateTime;
      out.name = "datetime";
      break;
  }
  return out;
}

Ty ParseDeclaredType(std::string_view declared) {
  // Collect the type name and up to two numeric arguments, ignoring the
  // brackets and blanks of "[decimal] (23, 10)".
  std::string name;
  int args[2] = {-1, -1};
  int nargs = 0;
  bool max_arg = false;
  size_t i = 0;
  const size_t n = declared.size();
  while (i < n &&
         (declared[i] == ' ' || declared[i] == '[' || declared[i] == '"' || declared[i] == '\t')) {
    ++i;
  }
  while (i < n && (std::isalnum(static_cast<unsigned char>(declared[i])) || declared[i] == '_' ||
                   declared[i] == ' ')) {
    // "double precision" keeps its blank; trailing blanks are dropped below.
    name.push_back(LowerAscii(declared[i]));
    ++i;
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  size_t open = declared.find('(', i);
  if (open != std::string_view::npos) {
    size_t k = open + 1;
    while (k < n && declared[k] != ')' && nargs < 2) {
      while (k < n && (declared[k] == ' ' || declared[k] == ',')) ++k;
      if (k < n && std::isdigit(static_cast<unsigned char>(declared[k]))) {
        int v = 0;
        auto r = std::from_chars(declared.data() + k, declared.data() + n, v);
        k = static_cast<size_t>(r.ptr - declared.data());
        args[nargs++] = v;
      } else if (k + 3 <= n && EqualsNoCase(declared.substr(k, 3), "max")) {
        max_arg = true;
        k += 3;
        ++nargs;
      } else {
        break;
      }
    }
  }
  // "varchar] (10": a declared type that SQLite stored from a bracketed name.
  if (name.empty()) return Ty::Unknown();
  if (name == "int" || name == "integer") return Ty::Int(10);
  if (name == "bigint") return Ty::Int(19);
  if (name == "smallint") return Ty::Int(5);
  if (name == "tinyint") return Ty::Int(3);
  if (name == "bit" || name == "boolean") return Ty::Bit();
  if (name == "decimal" || name == "numeric" || name == "dec") {
    int p = args[0] > 0 ? args[0] : 18;
    int s = args[1] >= 0 && nargs >= 2 ? args[1] : 0;
    return Ty::Decimal(p, s);
  }
  if (name == "money") return Ty::Decimal(19, 4);
  if (name == "smallmoney") return Ty::Decimal(10, 4);
  if (name == "float" || name == "real" || name == "double" || name == "double precision") {
    return Ty::Float();
  }
  if (name == "datetime" || name == "smalldatetime" || name == "date" || name == "datetime2" ||
      name == "timestamp") {
    return Ty::DateTime();
  }
  if (name == "varchar" || name == "char" || name == "text") {
    int size = name == "text" || max_arg ? 0 : (args[0] > 0 ? args[0] : 1);
    return Ty::Text(size, false);
  }
  if (name == "nvarchar" || name == "nchar" || name == "ntext") {
    int size = name == "ntext" || max_arg ? 0 : (args[0] > 0 ? args[0] : 1);
    return Ty::Text(size, true);
  }
  if (name == "sysname") return Ty::Text(128, true);
  if (name == "uniqueidentifier") return Ty::Text(36, false);
  return Ty::Unknown();
}

Ty NumberLiteralType(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return Ty::Int(19);
  if (text.find_first_of("eE") != std::string_view::npos) return Ty::Float();
  size_t dot = text.find('.');
  if (dot == std::string_view::npos) {
    size_t first = text.find_first_not_of('0');
    size_t digits = first == std::string_view::npos ? 1 : text.size() - first;
    if (digits < 10 || (digits == 10 && text.substr(first) <= "2147483647")) {
      Ty t = Ty::Int(10);
      t.literal_digits = static_cast<uint8_t>(digits);
      return t;
    }
    return Ty::Decimal(static_cast<int>(std::min<size_t>(digits, 38)), 0);
  }
  std::string_view intpart = text.substr(0, dot);
  std::string_view frac = text.substr(dot + 1);
  size_t first = intpart.find_first_not_of('0');
  int idigits = first == std::string_view::npos ? 0 : static_cast<int>(intpart.size() - first);
  int s = static_cast<int>(frac.size());
  int p = std::max(idigits + s, 1);
  return Ty::Decimal(p, s);
}

Ty Dominant(const Ty& a, const Ty& b) {
  int ra = Rank(a), rb = Rank(b);
  if (ra == 100 || rb == 100) return Ty::Unknown();
  if (a.kind == b.kind) {
    switch (a.kind) {
      case Ty::kDecimal: {
        int s = std::max(a.scale, b.scale);
        int intg = std::max(a.precision - a.scale, b.precision - b.scale);
        return Ty::Decimal(std::min(38, s + intg), s);
      }
      case Ty::kInt:
        return Ty::Int(std::max(a.precision, b.precision));
      case Ty::kText: {
        Ty t = Ty::Text(a.size == 0 || b.size == 0 ? 0 : std::max(a.size, b.size),
                        a.unicode || b.unicode);
        return t;
      }
      default:
        return a;
    }
  }
  if ((a.kind == Ty::kDecimal && (b.kind == Ty::kInt || b.kind == Ty::kBit)) ||
      (b.kind == Ty::kDecimal && (a.kind == Ty::kInt || a.kind == Ty::kBit))) {
    int s = std::max(a.DecScale(), b.DecScale());
    int intg = std::max(a.DecPrecision() - a.DecScale(), b.DecPrecision() - b.DecScale());
    return Ty::Decimal(std::min(38, s + intg), s);
  }
  return ra >= rb ? a : b;
}

Ty AddType(const Ty& a, const Ty& b) {
  if (!a.Known() || !b.Known()) {
    if (a.kind == Ty::kNull && b.Known()) return b;
    if (b.kind == Ty::kNull && a.Known()) return a;
    return a.kind == Ty::kNull && b.kind == Ty::kNull ? Ty::Int() : Ty::Unknown();
  }
  if (a.kind == Ty::kFloat || b.kind == Ty::kFloat) return Ty::Float();
  if (a.IsExactInt() && b.IsExactInt())
    return Ty::Int(std::max<int>(std::max<int>(a.precision, b.precision), 10));
  if (!a.IsNumeric() || !b.IsNumeric()) return Dominant(a, b);
  int s = std::max(a.DecScale(), b.DecScale());
  int intg = std::max(a.DecPrecision() - a.DecScale(), b.DecPrecision() - b.DecScale());
  int p = s + intg + 1;
  if (p > 38) {
    s = std::max(std::min(s, 39 - (p - s)), std::min(s, 6));
    p = 38;
  }
  return Ty::Decimal(p, s);
}

Ty MulType(const Ty& a, const Ty& b) {
  if (!a.Known() || !b.Known())
    return a.kind == Ty::kNull ? b : (b.kind == Ty::kNull ? a : Ty::Unknown());
  if (a.kind == Ty::kFloat || b.kind == Ty::kFloat) return Ty::Float();
  if (a.IsExactInt() && b.IsExactInt())
    return Ty::Int(std::max<int>(std::max<int>(a.precision, b.precision), 10));
  if (!a.IsNumeric() || !b.IsNumeric()) return Dominant(a, b);
  return CapProduct(a.DecPrecision() + b.DecPrecision() + 1, a.DecScale() + b.DecScale());
}

Ty DivType(const Ty& a, const Ty& b) {
  if (!a.Known() || !b.Known())
    return a.kind == Ty::kNull ? b : (b.kind == Ty::kNull ? a : Ty::Unknown());
  if (a.kind == Ty::kFloat || b.kind == Ty::kFloat) return Ty::Float();
  if (a.IsExactInt() && b.IsExactInt())
    return Ty::Int(std::max<int>(std::max<int>(a.precision, b.precision), 10));
  if (!a.IsNumeric() || !b.IsNumeric()) return Dominant(a, b);
  int p1 = a.DecPrecision(), s1 = a.DecScale(), p2 = b.DecPrecision(), s2 = b.DecScale();
  int s = std::max(6, s1 + p2 + 1);
  int p = p1 - s1 + s2 + s;
  return CapProduct(p, s);
}

Ty ModType(const Ty& a, const Ty& b) {
  if (!a.Known() || !b.Known()) return Ty::Unknown();
  if (a.kind == Ty::kFloat || b.kind == Ty::kFloat) return Ty::Float();
  if (a.IsExactInt() && b.IsExactInt())
    return Ty::Int(std::max<int>(std::max<int>(a.precision, b.precision), 10));
  if (!a.IsNumeric() || !b.IsNumeric()) return Dominant(a, b);
  int s = std::max(a.DecScale(), b.DecScale());
  int p = std::min(a.DecPrecision() - a.DecScale(), b.DecPrecision() - b.DecScale()) + s;
  return Ty::Decimal(p, s);
}

Ty SumType(const Ty& t) {
  switch (t.kind) {
    case Ty::kDecimal:
      return Ty::Decimal(38, t.scale);
    case Ty::kInt:
      return Ty::Int(t.precision == 19 ? 19 : 10);
    case Ty::kBit:
      return Ty::Int(10);
    case Ty::kFloat:
      return Ty::Float();
    case Ty::kNull:
      return Ty::Int(10);
    default:
      return Ty::Unknown();
  }
}

Ty AvgType(const Ty& t) {
  if (t.kind == Ty::kDecimal) return Ty::Decimal(38, std::max<int>(t.scale, 6));
  return SumType(t);
}

SqlType SqlType::FromDeclared(std::string_view declared) {
  SqlType out = ParseDeclaredType(declared).ToSqlType();
  if (!out.known) out.name = std::string(declared);
  return out;
}

}  // namespace q8::tsql
