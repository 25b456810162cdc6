// Exact text forms of binary floating-point values, shared by the layer and
// its drivers.
#pragma once

#include <string>

#include "q8vantorpt/variant.h"

namespace q8::ado {

// The shortest text that reads back as the same double: 0.1 * 3 gives "0.3"
// only when it is exactly the double nearest 0.3, otherwise
// "0.30000000000000004".
std::string DoubleText(double v);

// The decimal nearest to `v` at `scale` digits, rounding half away from zero.
// Goes through the shortest text, so a double that prints as 12.5 becomes exactly
// 12.5 (not 12.4999999999999996447…). Raises 6 beyond 38 digits.
Decimal DecimalFromDouble(double v, int scale);

}  // namespace q8::ado
