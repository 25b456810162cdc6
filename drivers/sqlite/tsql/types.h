// SQL Server's static types of expressions, as the rewriter tracks them.
//
// Each expression gets one of these: the declared type of a column, the type
// of a literal, or the type that SQL Server's rules give an operator or a
// function (data type precedence; the precision and scale rules of decimal
// arithmetic, including the reduction of the scale above 38 digits).
#pragma once

#include <cstdint>
#include <string_view>

#include "drivers/sqlite/tsql/translator.h"

namespace q8::tsql {

struct Ty {
  enum Kind : uint8_t {
    kUnknown,  // not known: a parameter, a variable, an unknown column or function
    kNull,     // the NULL literal: takes the type of whatever meets it
    kText,     // char, varchar, nchar, nvarchar, text
    kBit,
    kInt,       // tinyint, smallint, int, bigint (see digits)
    kDecimal,   // decimal, numeric, money (precision, scale)
    kFloat,     // float, real
    kDateTime,  // datetime, smalldatetime, date, datetime2
  };
  Kind kind = kUnknown;
  bool unicode = false;   // kText: nchar / nvarchar
  uint8_t precision = 0;  // kDecimal: 1..38; kInt: digits (3, 5, 10, 19)
  uint8_t scale = 0;      // kDecimal
  // kInt: an integer constant's own digits (0 for anything else). Where it
  // meets a decimal, a constant counts as decimal(digits, 0), not as an int's
  // decimal(10, 0): 1.0 / 3 is a decimal(7,6).
  uint8_t literal_digits = 0;
  int32_t size = 0;  // kText: length, 0 for max or unknown

  static Ty Unknown() { return Ty{}; }
  static Ty Null() { return Make(kNull); }
  static Ty Int(int digits = 10) {
    Ty t = Make(kInt);
    t.precision = static_cast<uint8_t>(digits);
    return t;
  }
  static Ty Bit() { return Make(kBit); }
  static Ty Float() { return Make(kFloat); }
  static Ty DateTime() { return Make(kDateTime); }
  static Ty Decimal(int p, int s);
  static Ty Text(int size, bool unicode = false) {
    Ty t = Make(kText);
    t.size = size;
    t.unicode = unicode;
    return t;
  }

  bool IsNumeric() const {
    return kind == kBit || kind == kInt || kind == kDecimal || kind == kFloat;
  }
  bool IsExactInt() const { return kind == kInt || kind == kBit; }
  bool IsText() const { return kind == kText; }
  bool IsDateTime() const { return kind == kDateTime; }
  bool Known() const { return kind != kUnknown && kind != kNull; }

  // The type as a decimal operand: ints count as decimal(digits, 0) (an
  // integer constant by its own digits).
  int DecPrecision() const;
  int DecScale() const { return kind == kDecimal ? scale : 0; }

  // The declared type a result column reports.
  SqlType ToSqlType() const;

 private:
  static Ty Make(Kind k) {
    Ty t;
    t.kind = k;
    return t;
  }
};

// Parses a declared type: "int", "[decimal](23, 10)", "varchar (80)",
// "nvarchar(max)", "datetime" …; kUnknown when not an SQL Server type name.
Ty ParseDeclaredType(std::string_view declared);

// The type of a numeric literal as SQL Server reads it: int when it fits
// (with its digits as literal_digits), otherwise decimal(p, 0); decimal(p, s)
// with a point; float with an exponent.
Ty NumberLiteralType(std::string_view text);

// The higher of two types by SQL Server's data type precedence (datetime >
// float > decimal > int > bit > nvarchar > varchar > NULL); for two decimals
// a decimal wide enough for both; for two texts the longer.
Ty Dominant(const Ty& a, const Ty& b);

// Result types of the arithmetic operators on numbers. REQUIRES: both
// operands numeric (or NULL/unknown, which gives unknown).
Ty AddType(const Ty& a, const Ty& b);  // + and -
Ty MulType(const Ty& a, const Ty& b);
Ty DivType(const Ty& a, const Ty& b);
Ty ModType(const Ty& a, const Ty& b);

// SUM, AVG, MIN/MAX of a column of type `t`.
Ty SumType(const Ty& t);
Ty AvgType(const Ty& t);

}  // namespace q8::tsql
