#include "component/outside/ado/value_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "q8vantorpt/error.h"

namespace q8::ado {

std::string DoubleText(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  if (std::strtod(buf, nullptr) != v) std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

Decimal DecimalFromDouble(double v, int scale) {
  if (!std::isfinite(v)) RaisePlatform(err::kOverflow);
  auto d = Decimal::Parse(DoubleText(v));
  if (!d) RaisePlatform(err::kOverflow);
  return d->Rescale(scale);
}

}  // namespace q8::ado
