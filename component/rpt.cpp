// The public class Rpt: its members, OpenDsn, its late-bound surface, and the
// registration of both public classes by ProgID.
#include "q8vantorpt/rpt.h"

#include "component/methods.h"
#include "component/outside/provider.h"
#include "connection/cdatasource.h"
#include "connection/cparse.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"

namespace q8 {

Rpt::Rpt() { ado::RegisterBuiltinProviders(); }

Rpt::~Rpt() {
  data_source_.reset();
  parser_.reset();
}

void Rpt::OpenDsn(const std::string& sDsn) {
  // The same four steps as Data::OpenDsn, with the same states on failure.
  parser_ = std::make_shared<CParse>();
  parser_->ParseString(sDsn);
  data_source_ = std::make_shared<CDataSource>();
  data_source_->SetParseObject(parser_);
  language_ = data_source_->ParseObject()->LanguageID();
}

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
  ado::RegisterBuiltinProviders();
  Registry& registry = Registry::Instance();
  registry.Register(progid::kData, [] { return std::make_shared<Data>(); });
  registry.Register(progid::kRpt, [] { return std::make_shared<Rpt>(); });
}

}  // namespace q8
