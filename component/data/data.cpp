// The public class Data: construction and its late-bound surface. The
// methods themselves live beside this file, one subject each.
#include "q8vantorpt/data.h"

#include <algorithm>

#include "component/frame.h"
#include "component/methods.h"
#include "component/providers.h"
#include "component/report_calls.h"
#include "reports/report_table.h"

namespace q8 {

Data::Data() : frame_(std::make_unique<RequestFrame>()) { RegisterBuiltinProviders(); }

Data::~Data() = default;

RequestFrame& FrameOf(Data& data) { return *data.frame_; }

namespace {

using dispatch_detail::ObjectArg;
using dispatch_detail::ObjectResult;
using Args = std::span<Variant>;

// Writes an object back into an in/out argument when the method replaced it.
template <class T>
void WriteBackObject(Variant& arg, const std::shared_ptr<T>& before,
                     const std::shared_ptr<T>& after) {
  if (after != before) arg = ObjectResult(after);
}

// A report method: (sDsn, dSql, dFilter[, SortFields]); SortFields is written
// back when the call created it.
Variant Report(int report_number, Data& d, Args a) {
  DictionaryPtr sort = ObjectArg<Dictionary>(a[3]);
  DictionaryPtr before = sort;
  ObjectArg<Dictionary>(a[1]);  // dSql is never read, but must be a dictionary or nothing
  Variant r =
      ObjectResult(RunReport(d, report_number, a[0].ToText(), ObjectArg<Dictionary>(a[2]), sort));
  WriteBackObject(a[3], before, sort);
  return r;
}

}  // namespace

const std::vector<MethodEntry<Data>>& DataMethods() {
  static const std::vector<MethodEntry<Data>> table = [] {
    std::vector<MethodEntry<Data>> methods = {
        {0x60030003, "GetServerDate", 1, 1,
         [](Data& d, Args a) { return Variant::Date(d.GetServerDate(a[0].ToText())); }},
        {0x60030004, "GetData", 2, 2,
         [](Data& d, Args a) { return ObjectResult(d.GetData(a[0].ToText(), a[1].ToText())); }},
        {0x60030006, "GetPeriodStartEndDate", 5, 5,
         [](Data& d, Args a) {
           double begin = a[3].ToDate();
           Variant r =
               d.GetPeriodStartEndDate(a[0].ToText(), a[1].ToLong(), a[2].ToLong(), begin, a[4]);
           a[3] = Variant::Date(begin);
           return r;
         }},
        {0x60030007, "GetStartDate", 2, 2,
         [](Data& d, Args a) { return Variant(d.GetStartDate(a[0].ToText(), a[1].ToLong())); }},
        {0x60030008, "GetCurrenPeriodDate", 1, 1,
         [](Data& d, Args a) {
           std::string dsn = a[0].ToText();
           Variant r = ObjectResult(d.GetCurrenPeriodDate(dsn));
           a[0] = Variant(dsn);
           return r;
         }},
        {0x60030009, "GetRptRsBySQL", 3, 3,
         [](Data& d, Args a) {
           ado::RecordsetPtr body = ObjectArg<ado::Recordset>(a[1]), body_before = body;
           ado::RecordsetPtr header = ObjectArg<ado::Recordset>(a[2]), header_before = header;
           Variant r = d.GetRptRsBySQL(ObjectArg<Dictionary>(a[0]), body, header);
           WriteBackObject(a[1], body_before, body);
           WriteBackObject(a[2], header_before, header);
           return r;
         }},
        {0x6003000B, "GetStockInfo", 3, 3,
         [](Data& d, Args a) {
           return ObjectResult(
               d.GetStockInfo(a[0].ToText(), ObjectArg<Dictionary>(a[1]), a[2].ToBool()));
         }},
        {0x6003001F, "GetPropertyExt", 2, 2,
         [](Data& d, Args a) { return Variant(d.GetPropertyExt(a[0].ToText(), a[1].ToText())); }},
        {0x60030020, "GetDataRightStrSql", 3, 3,
         [](Data& d, Args a) {
           std::string from = a[1].ToText(), where = a[2].ToText();
           bool r = d.GetDataRightStrSql(a[0].ToText(), from, where);
           a[1] = Variant(from);
           a[2] = Variant(where);
           return Variant(r);
         }},
    };
    // One method per report, from the table of reports.
    for (const reports::ReportSpec& spec : reports::Reports()) {
      const int number = spec.number;
      methods.push_back({spec.dispid, spec.method, 3, 4,
                         [number](Data& d, Args a) { return Report(number, d, a); }});
    }
    std::sort(methods.begin(), methods.end(),
              [](const auto& x, const auto& y) { return x.dispid < y.dispid; });
    return methods;
  }();
  return table;
}

Variant Data::Invoke(std::string_view name, std::span<Variant> args) {
  return InvokeMethod(DataMethods(), *this, name, args);
}

Variant Data::Invoke(int32_t dispid, std::span<Variant> args) {
  return InvokeMethod(DataMethods(), *this, dispid, args);
}

}  // namespace q8
