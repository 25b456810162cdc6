// Global options, descriptors and filter typing of the command-line tool.
#include "tools/q8vantorpt/options.h"

#include <limits>

#include "core/default_objects.h"
#include "core/text.h"
#include "reports/report_table.h"

namespace q8::tool {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// How the reports read `key` (the first report that reads it says), or text
// when no report reads it.
reports::FilterType FilterTypeOf(std::string_view key) {
  for (const reports::ReportSpec& spec : reports::Reports())
    for (const reports::FilterKey& k : spec.filters)
      if (EqualsNoCase(k.key, key)) return k.type;
  return reports::FilterType::kText;
}

bool IsWhole(const Decimal& d) {
  Int128 m = d.mantissa();
  for (int i = 0; i < d.scale(); ++i) {
    if (m % 10 != 0) return false;
    m /= 10;
  }
  return true;
}

}  // namespace

Format ParseFormat(std::string_view name) {
  if (EqualsNoCase(name, "table")) return Format::kTable;
  if (EqualsNoCase(name, "csv")) return Format::kCsv;
  if (EqualsNoCase(name, "json")) return Format::kJson;
  if (EqualsNoCase(name, "xlsx")) return Format::kXlsx;
  throw UsageError("--format must be table, csv, json or xlsx, not '" + std::string(name) + "'");
}

std::string CheckLanguage(std::string_view id) {
  const std::vector<std::string> languages = defaults::CatalogueLanguages();
  for (const std::string& l : languages)
    if (EqualsNoCase(l, id)) return l;
  std::string known;
  for (size_t i = 0; i < languages.size(); ++i) {
    if (i > 0) known += i + 1 == languages.size() ? " or " : ", ";
    known += languages[i];
  }
  throw UsageError("--lang must be " + known + ", not '" + std::string(id) + "'");
}

std::string DescriptorForFile(const std::string& path, const std::string& language,
                              int32_t user_id) {
  if (path.empty()) throw UsageError("--db needs a file name");
  // The connection string travels inside braces, which end at the first "}",
  // and the engine's own string separates its entries with ";".
  if (path.find_first_of("};") != std::string::npos) {
    throw UsageError("the --db file name cannot hold '}' or ';' (use --dsn): " + path);
  }
  if (path.front() == ' ' || path.back() == ' ') {
    throw UsageError("the --db file name cannot begin or end with a blank: '" + path + "'");
  }
  if (language.find_first_of(";{}=") != std::string::npos) {
    throw UsageError("--lang cannot hold ';', '=', '{' or '}': " + language);
  }
  return "ConnectString={Provider=SQLite;Data Source=" + path +
         "};DBMS Name=SQLite;DBMS Version=3;Language=" + language +
         ";UserID=" + std::to_string(user_id) + ";";
}

std::optional<ResolvedDescriptor> ResolveDescriptor(const GlobalOptions& options,
                                                    const char* env_dsn) {
  if (options.dsn && options.db) throw UsageError("give either --dsn or --db, not both");
  const bool for_db_only = options.lang.has_value() || options.user_id.has_value();
  if (options.db) {
    return ResolvedDescriptor{
        DescriptorForFile(*options.db, options.lang.value_or(kDefaultLanguage),
                          options.user_id.value_or(0)),
        *options.db};
  }
  if (options.dsn) {
    if (for_db_only) {
      throw UsageError(
          "--lang and --user-id go into a --db descriptor; with --dsn write them "
          "into the descriptor (Language=…;UserID=…;)");
    }
    return ResolvedDescriptor{*options.dsn, {}};
  }
  if (env_dsn != nullptr && *env_dsn != '\0') {
    if (for_db_only) {
      throw UsageError(std::string("--lang and --user-id go into a --db descriptor, not into ") +
                       kDsnEnvironment);
    }
    return ResolvedDescriptor{env_dsn, {}};
  }
  return std::nullopt;
}

std::pair<std::string, std::string> SplitFilter(std::string_view text) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos) {
    throw UsageError("--filter takes KEY=VALUE, not '" + std::string(text) + "'");
  }
  std::string key(Trim(text.substr(0, eq)));
  if (key.empty()) throw UsageError("--filter has no key: '" + std::string(text) + "'");
  return {key, std::string(text.substr(eq + 1))};
}

Variant TypedFilterValue(std::string_view key, std::string_view value) {
  const reports::FilterType type = FilterTypeOf(key);
  if (type == reports::FilterType::kBool) {
    const std::string_view v = Trim(value);
    if (EqualsNoCase(v, "true") || v == "1") return Variant(true);
    if (EqualsNoCase(v, "false") || v == "0") return Variant(false);
    throw UsageError("filter " + std::string(key) + " takes true, false, 1 or 0, not '" +
                     std::string(value) + "'");
  }
  if (type == reports::FilterType::kNumber) {
    std::optional<Decimal> d = Decimal::Parse(value);
    if (!d || Trim(value).empty()) {
      throw UsageError("filter " + std::string(key) + " takes a number, not '" +
                       std::string(value) + "'");
    }
    if (IsWhole(*d)) {
      const Decimal whole = d->Rescale(0);
      if (whole.mantissa() >= std::numeric_limits<int32_t>::min() &&
          whole.mantissa() <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(whole.mantissa()));
      }
    }
    return Variant(*d);
  }
  return Variant(std::string(value));
}

DictionaryPtr BuildFilter(const std::vector<std::string>& filters) {
  auto dict = std::make_shared<Dictionary>();
  for (const std::string& f : filters) {
    auto [key, value] = SplitFilter(f);
    if (dict->Exists(key)) throw UsageError("filter key " + key + " given twice");
    dict->SetValue(key, TypedFilterValue(key, value));
  }
  return dict;
}

}  // namespace q8::tool
