// The last argument of the engine's decimal functions: the SQL Server types
// an operation works with, packed into one integer the translator writes
// and the function reads.
//
// Read as decimal digits, two per field, the integer is
//
//   [kind] [post precision] [post scale] [precision] [scale] [scale a] [scale b]
//
// e.g. tsql_ddiv(x, y, 231038151010): operands of scale 10 and 10, the
// quotient a decimal(38,15), then stored into a decimal(23,10) column. Empty
// leading fields are zero: tsql_dadd(x, y, 24100000) is decimal(24,10) of
// two whole numbers.
#pragma once

#include <cstdint>

namespace q8::tsql {

struct DecimalCall {
  // What a conversion reads (tsql_dcast): an exact value (decimal, int,
  // bit), a float, or text (varchar, or nvarchar: only the wording of its
  // errors differs).
  enum Kind : uint8_t { kExact = 0, kFloat = 1, kText = 2, kNText = 3 };

  bool FromText() const { return kind == kText || kind == kNText; }
  // The source type's name in conversion errors, for a call's kind or for
  // the kind argument of the other conversion functions.
  static const char* TextTypeName(int kind) { return kind == kNText ? "nvarchar" : "varchar"; }
  const char* TextTypeName() const { return TextTypeName(kind); }

  int scale_a = 0;    // the first operand's scale
  int scale_b = 0;    // the second operand's scale
  int precision = 0;  // the result type
  int scale = 0;
  int post_precision = 0;  // when not 0: the column the result is stored into
  int post_scale = 0;
  Kind kind = kExact;

  // Whether every field is one SQL Server allows (scales and precisions
  // 0..38). A call that statements write by hand may hold anything.
  bool Valid() const {
    for (int f : {scale_a, scale_b, precision, scale, post_precision, post_scale}) {
      if (f < 0 || f > 38) return false;
    }
    return kind <= kNText;
  }

  int64_t Encode() const {
    int64_t v = kind;
    for (int f : {post_precision, post_scale, precision, scale, scale_a, scale_b}) v = v * 100 + f;
    return v;
  }
  // The fields of `v`; Valid() is false for a negative `v`.
  static DecimalCall Decode(int64_t v) {
    DecimalCall c;
    if (v < 0) {
      c.scale_a = -1;
      return c;
    }
    c.scale_b = static_cast<int>(v % 100);
    v /= 100;
    c.scale_a = static_cast<int>(v % 100);
    v /= 100;
    c.scale = static_cast<int>(v % 100);
    v /= 100;
    c.precision = static_cast<int>(v % 100);
    v /= 100;
    c.post_scale = static_cast<int>(v % 100);
    v /= 100;
    c.post_precision = static_cast<int>(v % 100);
    v /= 100;
    c.kind = static_cast<Kind>(v % 100 > kNText ? 99 : v % 100);
    return c;
  }
};

}  // namespace q8::tsql
