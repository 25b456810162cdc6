// Exact decimals in SQLite values.
//
// The embedded engine keeps every value of a decimal, numeric or money type
// exact. SQLite has no such type, so a decimal is stored in the form that
// keeps its value and lets SQLite compare, group and join it as it stands:
//
//   - an INTEGER when the value is whole and fits 64 bits;
//   - a REAL when it has at most 15 significant digits: the double SQLite
//     itself reads from the value's digits, which gives those digits back;
//   - otherwise a BLOB holding the value's digits as text ("-12.3456789012345678").
//
// One value always takes one form, whatever its scale, so equal values stay
// equal to SQLite (GROUP BY, DISTINCT, joins, "="). A REAL written by
// another program is read through its first 15 significant digits (all a
// double holds reliably) and rounded to the scale of its column; an integer
// exactly; a text or a BLOB through its digits.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "q8vantorpt/variant.h"

namespace q8::tsql::exact {

enum class Read : uint8_t {
  kOk,
  kNull,
  kNotNumber,  // a text that is not a number
  kOverflow,   // more than 38 digits at `scale`
};

// Reads `v` as a decimal at `scale` (0..38), rounding half away from zero
// the digits beyond it.
Read ReadDecimal(sqlite3_value* v, int scale, Decimal* out);

// A REAL as the decimal it stands for: its first 15 significant digits
// (from 10^15 on, its whole part), rounded half away from zero at `scale`.
// kOverflow beyond 38 digits.
Read FromReal(double v, int scale, Decimal* out);

// The stored form of a decimal (see above).
struct Stored {
  enum Kind : uint8_t { kInteger, kReal, kBlob } kind = kInteger;
  int64_t integer = 0;
  double real = 0;
  std::string digits;  // kBlob
};
Stored Encode(const Decimal& v);

// Sets the result of a function to the stored form of `v`.
void Result(sqlite3_context* ctx, const Decimal& v);

// Binds the stored form of `v` to marker `index` of `stmt`.
int Bind(sqlite3_stmt* stmt, int index, const Decimal& v);

// The double SQLite reads from the text of k / 10^t (k not a multiple of
// ten, |k| < 10^15, 0 < t <= 38).
double SqliteDouble(int64_t k, int t);

}  // namespace q8::tsql::exact
