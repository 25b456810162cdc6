// The endpoints: parameters in, component calls, what the answer carries.
#include "service/endpoints.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <nlohmann/json.hpp>

#include "component/report_calls.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/outside.h"
#include "q8vantorpt/rpt.h"
#include "reports/report_table.h"
#include "tools/q8vantorpt/describe.h"
#include "tools/q8vantorpt/options.h"

namespace q8::service {
namespace {

using nlohmann::json;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

DataPtr NewData() { return Registry::Instance().CreateAs<Data>("Q8VANTORpt.Data"); }
RptPtr NewRpt() { return Registry::Instance().CreateAs<Rpt>("Q8VANTORpt.Rpt"); }

// The value of parameter `name` (any case), or nullopt.
std::optional<std::string> Param(const Call& call, std::string_view name) {
  for (const auto& [key, value] : call.params)
    if (EqualsNoCase(key, name)) return value;
  return std::nullopt;
}

// Refuses parameters the endpoint does not read.
void OnlyParams(const Call& call, std::initializer_list<std::string_view> names,
                const std::string& language) {
  for (const auto& [key, value] : call.params) {
    bool known = false;
    for (std::string_view n : names) known = known || EqualsNoCase(key, n);
    if (!known) throw ServiceError(400, Msg::kBadParameter, language, {key, value});
  }
}

int32_t IntParam(const Call& call, std::string_view name, const std::string& language,
                 std::optional<int32_t> fallback = std::nullopt) {
  const std::optional<std::string> text = Param(call, name);
  if (!text) {
    if (fallback) return *fallback;
    throw ServiceError(400, Msg::kMissingParameter, language, {std::string(name)});
  }
  int32_t v = 0;
  const char* end = text->data() + text->size();
  auto r = std::from_chars(text->data(), end, v);
  if (text->empty() || r.ec != std::errc() || r.ptr != end)
    throw ServiceError(400, Msg::kBadParameter, language, {std::string(name), *text});
  return v;
}

int32_t IntMatch(const std::string& text, std::string_view name, const std::string& language) {
  int32_t v = 0;
  const char* end = text.data() + text.size();
  auto r = std::from_chars(text.data(), end, v);
  if (text.empty() || r.ec != std::errc() || r.ptr != end)
    throw ServiceError(400, Msg::kBadParameter, language, {std::string(name), text});
  return v;
}

bool BoolParam(const Call& call, std::string_view name, const std::string& language) {
  const std::optional<std::string> text = Param(call, name);
  if (!text) return false;
  if (EqualsNoCase(*text, "true") || *text == "1") return true;
  if (EqualsNoCase(*text, "false") || *text == "0") return false;
  throw ServiceError(400, Msg::kBadParameter, language, {std::string(name), *text});
}

// The SQL text of a direct-query body: {"sql": "…"}.
std::string SqlOfBody(const Call& call, const std::string& language) {
  json body;
  try {
    body = json::parse(call.body);
  } catch (const json::parse_error& e) {
    throw ServiceError(400, Msg::kBadJson, language, {e.what()});
  }
  if (!body.is_object() || !body.contains("sql") || !body["sql"].is_string() || body.size() != 1)
    throw ServiceError(400, Msg::kBadBody, language, {"{\"sql\": \"…\"}"});
  std::string sql = body["sql"].get<std::string>();
  if (sql.find_first_not_of(" \t\r\n") == std::string::npos)
    throw ServiceError(400, Msg::kMissingParameter, language, {"sql"});
  return sql;
}

std::string KnownReports() {
  std::vector<int> numbers;
  for (const reports::ReportSpec& s : reports::Reports()) numbers.push_back(s.number);
  std::sort(numbers.begin(), numbers.end());
  std::string out;
  for (int n : numbers) out += (out.empty() ? "" : ", ") + std::to_string(n);
  return out;
}

const reports::ReportSpec& SpecOf(const std::string& text, const std::string& language) {
  int number = 0;
  const char* end = text.data() + text.size();
  auto r = std::from_chars(text.data(), end, number);
  const reports::ReportSpec* spec =
      (r.ec == std::errc() && r.ptr == end) ? reports::FindReport(number) : nullptr;
  if (spec == nullptr)
    throw ServiceError(404, Msg::kUnknownReport, language, {text, KnownReports()});
  return *spec;
}

std::string KeysOf(const reports::ReportSpec& spec) {
  std::string out;
  for (const reports::FilterKey& k : spec.filters)
    out += (out.empty() ? "" : ", ") + std::string(k.key);
  return out;
}

// One filter value, typed as the report reads it. The tool's typing gives
// Booleans and numbers; a date must be readable as one (or empty, which the
// report reads as no date).
Variant FilterValue(const reports::ReportSpec& spec, const reports::FilterKey& key,
                    const std::string& value, const std::string& language) {
  if (key.type == reports::FilterType::kDate && !value.empty() && !date::Parse(value)) {
    throw ServiceError(400, Msg::kBadFilterValue, language,
                       {std::string(key.key), value, "YYYY-MM-DD"});
  }
  (void)spec;
  try {
    return tool::TypedFilterValue(key.key, value);
  } catch (const tool::UsageError& e) {
    throw ServiceError(400, Msg::kBadFilterValue, language,
                       {std::string(key.key), value, e.what()});
  }
}

const reports::FilterKey& KeyOf(const reports::ReportSpec& spec, const std::string& name,
                                const std::string& language) {
  for (const reports::FilterKey& k : spec.filters)
    if (EqualsNoCase(k.key, name)) return k;
  throw ServiceError(400, Msg::kBadFilterKey, language,
                     {name, std::to_string(spec.number), KeysOf(spec)});
}

DictionaryPtr FilterOfParams(const reports::ReportSpec& spec, const Call& call,
                             const std::string& language) {
  auto filter = std::make_shared<Dictionary>();
  for (const auto& [name, value] : call.params) {
    const reports::FilterKey& key = KeyOf(spec, name, language);
    if (filter->Exists(key.key))
      throw ServiceError(400, Msg::kRepeatedParameter, language, {std::string(key.key)});
    filter->SetValue(key.key, FilterValue(spec, key, value, language));
  }
  return filter;
}

// A report filter as a JSON object of key: value (text, number or Boolean;
// null leaves the key out).
DictionaryPtr FilterOfJson(const reports::ReportSpec& spec, const std::string& body,
                           const std::string& language) {
  json j;
  try {
    j = json::parse(body);
  } catch (const json::parse_error& e) {
    throw ServiceError(400, Msg::kBadJson, language, {e.what()});
  }
  if (!j.is_object()) throw ServiceError(400, Msg::kBadBody, language, {"{\"KEY\": VALUE, …}"});
  auto filter = std::make_shared<Dictionary>();
  for (const auto& [name, v] : j.items()) {
    const reports::FilterKey& key = KeyOf(spec, name, language);
    if (filter->Exists(key.key))
      throw ServiceError(400, Msg::kRepeatedParameter, language, {std::string(key.key)});
    std::string text;
    if (v.is_null()) continue;
    if (v.is_string())
      text = v.get<std::string>();
    else if (v.is_boolean())
      text = v.get<bool>() ? "true" : "false";
    else if (v.is_number())
      text = v.dump();
    else
      throw ServiceError(400, Msg::kBadFilterValue, language,
                         {name, v.dump(), "text, number or true/false"});
    filter->SetValue(key.key, FilterValue(spec, key, text, language));
  }
  return filter;
}

std::string FilterLog(const Dictionary& filter) {
  std::string out;
  for (const auto& [key, value] : filter.Items()) {
    if (!out.empty()) out += '&';
    out += key + "=" + value.ToText();
  }
  return out;
}

std::string SortJson(const DictionaryPtr& sort) {
  json j = json::object();
  if (sort) {
    for (const auto& [key, value] : sort->Items()) {
      if (value.type() == VarType::kBool)
        j[key] = value.ToBool();
      else
        j[key] = value.ToText();
    }
  }
  return j.dump();
}

// ---- Data ----

Outcome ServerDate(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {}, c.language);
  Outcome o;
  run.Run(CallKind::kLookup,
          [&] { o.value = Variant::Date(NewData()->GetServerDate(c.descriptor)); });
  return o;
}

Outcome Query(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {}, c.language);
  const std::string sql = SqlOfBody(call, c.language);
  Outcome o;
  o.log_detail = sql;
  run.Run(CallKind::kClientSql, [&] {
    o.sets.push_back({"", NewData()->GetData(c.descriptor, sql)});
  });
  o.download_name = "query";
  return o;
}

Outcome Batch(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {}, c.language);
  const std::string sql = SqlOfBody(call, c.language);
  Outcome o;
  o.log_detail = sql;
  run.Run(CallKind::kClientSql, [&] {
    auto parameters = std::make_shared<Dictionary>();
    parameters->SetValue("sDsN", Variant(c.descriptor));
    parameters->SetValue("StrSql", Variant(sql));
    ado::RecordsetPtr body, header;
    NewData()->GetRptRsBySQL(parameters, body, header);
    o.sets.push_back({"body", body});
    o.sets.push_back({"header", header});
  });
  o.download_name = "batch";
  return o;
}

Outcome PeriodStartEnd(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {"year", "period"}, c.language);
  const int32_t year = IntParam(call, "year", c.language);
  const int32_t period = IntParam(call, "period", c.language);
  Outcome o;
  run.Run(CallKind::kLookup, [&] {
    double begin = 0;
    Variant end;
    NewData()->GetPeriodStartEndDate(c.descriptor, year, period, begin, end);
    o.named = tool::NamedValues{{"BeginDate", Variant::Date(begin)}, {"EndDate", end}};
  });
  return o;
}

Outcome PeriodStartDate(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {"period"}, c.language);
  const int32_t period = IntParam(call, "period", c.language);
  Outcome o;
  run.Run(CallKind::kLookup,
          [&] { o.value = Variant(NewData()->GetStartDate(c.descriptor, period)); });
  return o;
}

Outcome NamedOf(const DictionaryPtr& d) {
  Outcome o;
  o.named.emplace();
  if (d) o.named->assign(d->Items().begin(), d->Items().end());
  return o;
}

Outcome PeriodCurrent(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {}, c.language);
  DictionaryPtr d;
  run.Run(CallKind::kLookup, [&] {
    std::string dsn = c.descriptor;
    d = NewData()->GetCurrenPeriodDate(dsn);
  });
  return NamedOf(d);
}

Outcome StockInfo(const Caller& c, const Call& call, Runner& run) {
  auto filter = std::make_shared<Dictionary>();
  bool long_number = false;
  static constexpr std::string_view kKeys[] = {"BStockNumber", "EStockNumber", "BSPNumber",
                                               "ESPNumber"};
  for (const auto& param : call.params) {
    const std::string& name = param.first;
    const std::string& value = param.second;
    if (EqualsNoCase(name, "longNumber")) {
      long_number = BoolParam(call, "longNumber", c.language);
      continue;
    }
    auto it = std::find_if(std::begin(kKeys), std::end(kKeys),
                           [&](std::string_view k) { return EqualsNoCase(k, name); });
    if (it == std::end(kKeys))
      throw ServiceError(400, Msg::kBadParameter, c.language, {name, value});
    filter->SetValue(*it, Variant(value));
  }
  DictionaryPtr d;
  run.Run(CallKind::kLookup,
          [&] { d = NewData()->GetStockInfo(c.descriptor, filter, long_number); });
  return NamedOf(d);
}

// The descriptor properties a client may read. The others (the connection
// string with its password above all) stay on the server.
constexpr std::string_view kReadableProperties[] = {"UserID", "Language", "DBMS Name",
                                                    "DBMS Version"};

Outcome Property(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {}, c.language);
  const std::string& name = call.matches.at(0);
  if (std::none_of(std::begin(kReadableProperties), std::end(kReadableProperties),
                   [&](std::string_view p) { return EqualsNoCase(p, name); }))
    throw ServiceError(403, Msg::kForbiddenProperty, c.language, {name});
  Outcome o;
  run.Run(CallKind::kLookup,
          [&] { o.value = Variant(NewData()->GetPropertyExt(c.descriptor, name)); });
  return o;
}

Outcome Rights(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {}, c.language);
  Outcome o;
  run.Run(CallKind::kLookup, [&] {
    std::string from, where;
    NewData()->GetDataRightStrSql(c.descriptor, from, where);
    o.named = tool::NamedValues{{"From", Variant(from)}, {"Where", Variant(where)}};
  });
  return o;
}

Outcome Report(const Caller& c, const Call& call, Runner& run) {
  const reports::ReportSpec& spec = SpecOf(call.matches.at(0), c.language);
  DictionaryPtr filter = call.post ? FilterOfJson(spec, call.body, c.language)
                                   : FilterOfParams(spec, call, c.language);
  Outcome o;
  if (call.post) o.log_detail = FilterLog(*filter);
  run.Run(CallKind::kLookup, [&] {
    DataPtr data = NewData();
    DictionaryPtr sort;
    o.sets.push_back({"", RunReport(*data, spec.number, c.descriptor, filter, sort)});
    o.sort_fields_json = SortJson(sort);
  });
  o.download_name = std::to_string(spec.number);
  o.report_number = spec.number;
  o.filters.assign(filter->Items().begin(), filter->Items().end());
  o.language = c.language;
  return o;
}

Outcome ReportSql(const Caller& c, const Call& call, Runner& run) {
  const reports::ReportSpec& spec = SpecOf(call.matches.at(0), c.language);
  DictionaryPtr filter = FilterOfParams(spec, call, c.language);
  Outcome o;
  run.Run(CallKind::kLookup, [&] {
    DataPtr data = NewData();
    o.text = BuildReportBatch(*data, spec.number, c.descriptor, filter);
  });
  return o;
}

Outcome Describe(const Caller& c, const Call& call, Runner&) {
  OnlyParams(call, {}, c.language);
  const reports::ReportSpec& spec = SpecOf(call.matches.at(0), c.language);
  Outcome o;
  o.json = DescribeReportJson(spec.number, c.language);
  return o;
}

// ---- Rpt ----

Outcome ReportList(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {"group"}, c.language);
  const int32_t group = IntParam(call, "group", c.language, 0);
  Outcome o;
  run.Run(CallKind::kLookup, [&] {
    o.sets.push_back({"", NewRpt()->GetReportList(c.descriptor, group)});
  });
  o.download_name = "reports";
  return o;
}

Outcome ReportGroup(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {}, c.language);
  const int32_t group = IntMatch(call.matches.at(0), "group", c.language);
  Outcome o;
  run.Run(CallKind::kLookup,
          [&] { o.value = Variant(NewRpt()->GetReportGroupName(c.descriptor, group)); });
  return o;
}

Outcome PeriodPrevious(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {}, c.language);
  DictionaryPtr d;
  run.Run(CallKind::kLookup, [&] { d = NewRpt()->GetPreAccount(c.descriptor); });
  return NamedOf(d);
}

Outcome PeriodCurrentAccount(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {}, c.language);
  DictionaryPtr d;
  run.Run(CallKind::kLookup, [&] { d = NewRpt()->GetCurAccount(c.descriptor); });
  return NamedOf(d);
}

Outcome PeriodEndDate(const Caller& c, const Call& call, Runner& run) {
  OnlyParams(call, {}, c.language);
  Outcome o;
  run.Run(CallKind::kLookup,
          [&] { o.value = Variant(NewRpt()->GetCurrentPeriodEndDate(c.descriptor)); });
  return o;
}

}  // namespace

std::string SourceLanguage(const SourceConfig& source) {
  if (!source.language.empty()) return source.language;
  if (!source.descriptor.empty())
    if (auto l = DescriptorEntry(source.descriptor, "Language"); l && !l->empty()) return *l;
  return tool::kDefaultLanguage;
}

std::string DescriptorFor(const SourceConfig& source, int32_t user_id,
                          const std::string& language) {
  if (!source.db.empty()) return tool::DescriptorForFile(source.db, language, user_id);
  std::string d = WithDescriptorEntry(source.descriptor, "Language", language);
  return WithDescriptorEntry(d, "UserID", std::to_string(user_id), /*first=*/true);
}

std::string DescribeReportJson(int number, const std::string& language) {
  const reports::ReportSpec& spec = reports::ReportOf(number);
  // The same description as the tool's `report N --describe`, localized.
  const tool::ReportDescription d = tool::DescribeReport(spec, language);
  json filters = json::array();
  for (const tool::FilterDescription& k : d.filters) {
    json allowed = json::array();
    std::string_view rest = k.allowed;
    while (!rest.empty()) {
      const size_t bar = rest.find('|');
      allowed.push_back(std::string(rest.substr(0, bar)));
      rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
    }
    filters.push_back({{"key", k.key},
                       {"type", k.type},
                       {"default", k.default_value},
                       {"allowed", allowed},
                       {"meaning", k.meaning}});
  }
  json columns = json::array();
  for (const tool::ColumnDescription& c : d.columns) {
    columns.push_back(
        {{"name", c.name}, {"type", c.type}, {"caption", c.caption}, {"decimals", c.decimals}});
  }
  json j = {{"number", spec.number},
            {"method", std::string(spec.method)},
            {"title", std::string(spec.title)},
            {"name", d.name},
            {"language", language},
            {"subtotalKind", spec.subtotal_kind},
            {"totalKind", spec.total_kind},
            {"filters", filters},
            {"columns", columns}};
  return j.dump();
}

const std::vector<Endpoint>& Endpoints() {
  static const std::vector<Endpoint> kEndpoints = {
      // Data
      {"GET", R"(/api/server-date)", false, true, ServerDate},
      {"POST", R"(/api/query)", true, true, Query},
      {"POST", R"(/api/batch)", true, true, Batch},
      {"GET", R"(/api/periods/start-end)", false, true, PeriodStartEnd},
      {"GET", R"(/api/periods/start-date)", false, true, PeriodStartDate},
      {"GET", R"(/api/periods/current)", false, true, PeriodCurrent},
      {"GET", R"(/api/stock-info)", false, true, StockInfo},
      {"GET", R"(/api/properties/([^/]+))", false, true, Property},
      {"GET", R"(/api/rights)", false, true, Rights},
      {"GET", R"(/api/reports/([0-9]+))", false, true, Report},
      {"POST", R"(/api/reports/([0-9]+))", false, true, Report},
      {"GET", R"(/api/reports/([0-9]+)/sql)", true, true, ReportSql},
      {"GET", R"(/api/reports/([0-9]+)/describe)", false, false, Describe},
      // Rpt
      {"GET", R"(/api/reports)", false, true, ReportList},
      {"GET", R"(/api/report-groups/(-?[0-9]+))", false, true, ReportGroup},
      {"GET", R"(/api/periods/previous)", false, true, PeriodPrevious},
      {"GET", R"(/api/periods/current-account)", false, true, PeriodCurrentAccount},
      {"GET", R"(/api/periods/end-date)", false, true, PeriodEndDate},
  };
  return kEndpoints;
}

}  // namespace q8::service
