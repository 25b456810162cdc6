// The public class Data: its members, OpenDsn and its late-bound surface.
// The methods themselves live with their subsystems (services/, reports/).
#include "q8vantorpt/data.h"

#include "component/methods.h"
#include "component/outside/provider.h"
#include "connection/cdatasource.h"
#include "connection/cparse.h"

namespace q8 {

Data::Data() { ado::RegisterBuiltinProviders(); }

Data::~Data() {
  // The data source goes first, then the parser (whose release ends the
  // thread's resource loader).
  data_source_.reset();
  parser_.reset();
}

void Data::OpenDsn(const std::string& sDsn) {
  // 1. A new parser replaces the previous one.
  parser_ = std::make_shared<CParse>();
  // 2. A repeated key stops here, with the new parser and the previous data
  //    source in place.
  parser_->ParseString(sDsn);
  // 3. A new data source, given the parser.
  data_source_ = std::make_shared<CDataSource>();
  data_source_->SetParseObject(parser_);
  // 4. The language, read back through the data source. A descriptor without
  //    "Language" stops here and the previous language stays.
  language_ = data_source_->ParseObject()->LanguageID();
}

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

Variant Report(ado::RecordsetPtr (Data::*method)(const std::string&, const DictionaryPtr&,
                                                 const DictionaryPtr&, DictionaryPtr&),
               Data& d, Args a) {
  DictionaryPtr sort = ObjectArg<Dictionary>(a[3]);
  DictionaryPtr before = sort;
  Variant r = ObjectResult(
      (d.*method)(a[0].ToText(), ObjectArg<Dictionary>(a[1]), ObjectArg<Dictionary>(a[2]), sort));
  WriteBackObject(a[3], before, sort);
  return r;
}

}  // namespace

const std::vector<MethodEntry<Data>>& DataMethods() {
  static const std::vector<MethodEntry<Data>> table = {
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
      {0x6003000C, "GetRpt2008608Data", 3, 4,
       [](Data& d, Args a) { return Report(&Data::GetRpt2008608Data, d, a); }},
      {0x60030012, "GetRpt2008610Data", 3, 4,
       [](Data& d, Args a) { return Report(&Data::GetRpt2008610Data, d, a); }},
      {0x60030018, "GetRpt2008609Data", 3, 4,
       [](Data& d, Args a) { return Report(&Data::GetRpt2008609Data, d, a); }},
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
  return table;
}

Variant Data::Invoke(std::string_view name, std::span<Variant> args) {
  return InvokeMethod(DataMethods(), *this, name, args);
}

Variant Data::Invoke(int32_t dispid, std::span<Variant> args) {
  return InvokeMethod(DataMethods(), *this, dispid, args);
}

}  // namespace q8
