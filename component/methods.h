// The method tables of the late-bound surface of Data and Rpt: one line per
// method with its DISPID, name and argument counts. Invoke looks methods up
// here by name (without regard to case) or by DISPID.
#pragma once

#include <vector>

#include "q8vantorpt/data.h"
#include "q8vantorpt/dispatch.h"
#include "q8vantorpt/rpt.h"

namespace q8 {

const std::vector<MethodEntry<Data>>& DataMethods();
const std::vector<MethodEntry<Rpt>>& RptMethods();

namespace dispatch_detail {

// An object argument: nullptr for Empty, Missing or Nothing; raises 13 when
// the argument holds anything else than a T.
template <class T>
std::shared_ptr<T> ObjectArg(const Variant& v) {
  ObjectPtr o = v.ToObject();
  if (!o) return nullptr;
  auto p = std::dynamic_pointer_cast<T>(o);
  if (!p) RaisePlatform(err::kTypeMismatch);
  return p;
}

// An object result: Nothing for nullptr.
inline Variant ObjectResult(ObjectPtr p) { return Variant(std::move(p)); }

}  // namespace dispatch_detail

}  // namespace q8
