// The public class Rpt: construction, its late-bound surface, and the
// registration of both public classes by ProgID.
#include "q8vantorpt/rpt.h"

#include "component/frame.h"
#include "component/methods.h"
#include "component/providers.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"

namespace q8 {

Rpt::Rpt() : frame_(std::make_unique<RequestFrame>()) { RegisterBuiltinProviders(); }

Rpt::~Rpt() = default;

RequestFrame& FrameOf(Rpt& rpt) { return *rpt.frame_; }

namespace {
using dispatch_detail::ObjectResult;
using Args = std::span<Variant>;
}  // namespace

const std::vector<MethodEntry<Rpt>>& RptMethods() {
  static const std::vector<MethodEntry<Rpt>> table = {
      {0x60030002, "GetReportList", 1, 2,
       [](Rpt& r, Args a) {
         int32_t group = a[1].IsMissing() ? 0 : a[1].ToLong();
         return ObjectResult(r.GetReportList(a[0].ToText(), group));
       }},
      {0x60030003, "GetReportGroupName", 2, 2,
       [](Rpt& r, Args a) { return Variant(r.GetReportGroupName(a[0].ToText(), a[1].ToLong())); }},
      {0x60030004, "GetPreAccount", 1, 1,
       [](Rpt& r, Args a) { return ObjectResult(r.GetPreAccount(a[0].ToText())); }},
      {0x60030005, "GetCurAccount", 1, 1,
       [](Rpt& r, Args a) { return ObjectResult(r.GetCurAccount(a[0].ToText())); }},
      {0x60030008, "GetCurrentPeriodEndDate", 1, 1,
       [](Rpt& r, Args a) { return Variant(r.GetCurrentPeriodEndDate(a[0].ToText())); }},
  };
  return table;
}

Variant Rpt::Invoke(std::string_view name, std::span<Variant> args) {
  return InvokeMethod(RptMethods(), *this, name, args);
}

Variant Rpt::Invoke(int32_t dispid, std::span<Variant> args) {
  return InvokeMethod(RptMethods(), *this, dispid, args);
}

void RegisterComponent() {
  RegisterBuiltinProviders();
  Registry& registry = Registry::Instance();
  registry.Register(progid::kData, [] { return std::make_shared<Data>(); });
  registry.Register(progid::kRpt, [] { return std::make_shared<Rpt>(); });
}

}  // namespace q8
