// Checks of a report's filters (see filter_checks.h).
#include "tools/q8vantorpt/filter_checks.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "drivers/sqlite/tsql/datetime.h"
#include "reports/report_frame.h"
#include "tools/q8vantorpt/options.h"

namespace q8::tool {

namespace {

char Fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string Join(const std::vector<std::string>& items, std::string_view last = " and ") {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += i + 1 == items.size() ? last : std::string_view(", ");
    out += items[i];
  }
  return out;
}

// The filter's value as the report places it, or "" when it has no text.
std::string TextOf(const Dictionary& filter, std::string_view key) {
  try {
    return reports::FilterText(filter.GetValue(key));
  } catch (const Error&) {
    return {};
  }
}

std::string KeyValue(std::string_view key, std::string_view value) {
  return std::string(key) + "='" + std::string(value) + "'";
}

// The message for a key `spec` does not read.
std::string UnknownKey(const reports::ReportSpec& spec, std::string_view key) {
  const std::string number = std::to_string(spec.number);
  std::string message = "report " + number + " reads no filter key '" + std::string(key) + "'";
  std::vector<std::string> readers;
  for (const reports::ReportSpec& other : reports::Reports())
    if (&other != &spec && reports::FindFilterKey(other, key))
      readers.push_back(std::to_string(other.number));
  if (!readers.empty()) {
    message +=
        " (report " + Join(readers, " and ") + (readers.size() == 1 ? " reads it)" : " read it)");
  } else if (std::string near = ClosestFilterKey(spec, key); !near.empty()) {
    message += "; did you mean " + near + "?";
  }
  std::vector<std::string> keys;
  for (const reports::FilterKey& k : spec.filters) keys.emplace_back(k.key);
  message += "\nReport " + number + " reads " + Join(keys) + " (report " + number +
             " --describe explains them); --allow-unknown-filters "
             "passes other keys on.";
  return message;
}

struct CodeRange {
  const char* from;
  const char* to;
  const char* table;
  const char* what;
  bool trims;  // a bound of blanks only is no bound (as the report reads it)
};

constexpr CodeRange kCodeRanges[] = {
    {"BItemNumber", "EItemNumber", "t_ICItem", "material", false},
    {"BStockNumber", "EStockNumber", "t_Stock", "warehouse", true},
    {"BCustNumber", "ECustNumber", "t_item", "customer", false},
};

// Whether the bound `key` counts as given, as the report's range condition
// reads it.
bool BoundGiven(const Dictionary& filter, std::string_view key, bool trims) {
  const Variant v = filter.GetValue(key);
  if (v.IsNull()) return false;
  try {
    return trims ? !TrimBlanks(reports::FilterText(v)).empty() : reports::IsGiven(v);
  } catch (const Error&) {
    return false;
  }
}

bool IsConversionFailure(std::string_view description) {
  constexpr std::string_view kWord = "conver";
  return std::search(description.begin(), description.end(), kWord.begin(), kWord.end(),
                     [](char a, char b) { return Fold(a) == b; }) != description.end();
}

}  // namespace

size_t EditDistance(std::string_view a, std::string_view b) {
  // Optimal string alignment: three rows of the table suffice.
  std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = Fold(a[i - 1]) == Fold(b[j - 1]) ? 0 : 1;
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
      if (i > 1 && j > 1 && Fold(a[i - 1]) == Fold(b[j - 2]) && Fold(a[i - 2]) == Fold(b[j - 1]))
        current[j] = std::min(current[j], before[j - 2] + 1);
    }
    std::swap(before, previous);
    std::swap(previous, current);
  }
  return previous[b.size()];
}

std::string ClosestFilterKey(const reports::ReportSpec& spec, std::string_view key) {
  std::string best;
  size_t best_distance = 0;
  for (const reports::FilterKey& k : spec.filters) {
    const size_t d = EditDistance(key, k.key);
    if (best.empty() || d < best_distance) {
      best = std::string(k.key);
      best_distance = d;
    }
  }
  // Near enough: at most half the letters of the longer name changed, and at
  // least two letters kept ("BeginDate" is 4 edits from "BDate").
  const size_t longer = std::max(key.size(), best.size());
  if (best.empty() || best_distance * 2 > longer || best_distance + 2 > longer) return {};
  return best;
}

DictionaryPtr BuildReportFilterFromPairs(
    const reports::ReportSpec& spec,
    const std::vector<std::pair<std::string, std::string>>& filters, bool allow_unknown) {
  auto dict = std::make_shared<Dictionary>();
  for (const auto& [key, value] : filters) {
    const reports::FilterKey* known = reports::FindFilterKey(spec, key);
    if (known == nullptr && !allow_unknown) throw UsageError(UnknownKey(spec, key));
    if (dict->Exists(key)) throw UsageError("filter key " + key + " given twice");
    // A known key in the report's own spelling: the dictionary finds keys
    // without regard to case, and the workbook's filter sheet shows them so.
    dict->SetValue(known ? known->key : std::string_view(key), TypedFilterValue(key, value));
  }
  return dict;
}

DictionaryPtr BuildReportFilter(const reports::ReportSpec& spec,
                                const std::vector<std::string>& filters, bool allow_unknown) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const std::string& f : filters) pairs.push_back(SplitFilter(f));
  return BuildReportFilterFromPairs(spec, pairs, allow_unknown);
}

std::vector<std::string> FilterWarnings(const reports::ReportSpec& spec, const Dictionary& filter) {
  std::vector<std::string> out;
  std::vector<std::string> missing;
  std::vector<std::pair<std::string, std::optional<tsql::dt::DateTime>>> dates;
  for (const reports::FilterKey& k : spec.filters) {
    if (k.type != reports::FilterType::kDate) continue;
    const std::string text = TextOf(filter, k.key);
    if (TrimBlanks(text).empty()) {
      missing.emplace_back(k.key);
    } else {
      dates.emplace_back(std::string(k.key), tsql::dt::Parse(text));
    }
  }
  if (!missing.empty()) {
    out.push_back(Join(missing) + (missing.size() == 1 ? " is" : " are") + " not given: report " +
                  std::to_string(spec.number) +
                  " compares bill dates with an empty date and lists no bills (give " +
                  Join(missing) + " as YYYY-MM-DD)");
  }
  // The first date key is the lower bound, the second the upper one.
  if (dates.size() == 2 && dates[0].second && dates[1].second &&
      tsql::dt::ToMillis(*dates[1].second) < tsql::dt::ToMillis(*dates[0].second)) {
    out.push_back(dates[1].first + " is before " + dates[0].first + ": no bill lies between them");
  }
  return out;
}

std::vector<std::string> CodeRangeWarnings(Data& data, const std::string& dsn,
                                           const Dictionary& filter) {
  std::vector<std::string> out;
  bool long_number = false;
  try {
    long_number = filter.GetValue("bLongNumber").ToBool();
  } catch (const Error&) {
    return out;  // the report itself has raised for it
  }
  for (const CodeRange& r : kCodeRanges) {
    const bool from = BoundGiven(filter, r.from, r.trims);
    const bool to = BoundGiven(filter, r.to, r.trims);
    if (!from && !to) continue;
    const std::string from_text = TextOf(filter, r.from), to_text = TextOf(filter, r.to);
    // Counts of the records in the range, above the lower bound, below the
    // upper one, and in the range by full code: one statement, compared on
    // the database as the report compares.
    auto range = [&](std::string_view column, bool lower, bool upper) {
      std::string cond = "1=1";
      if (lower) cond += " and " + std::string(column) + ">='" + reports::Quote(from_text) + "'";
      if (upper) cond += " and " + std::string(column) + "<='" + reports::Quote(to_text) + "'";
      return "(select count(*) from " + std::string(r.table) + " where " + cond + ")";
    };
    const char* column = long_number ? "FNumber" : "FShortNumber";
    const std::string sql = "select " + range(column, from, to) + " as n, " +
                            range(column, from, false) + " as nb, " + range(column, false, to) +
                            " as ne, " + range("FNumber", from, to) + " as nf";
    int64_t n = 0, nb = 0, ne = 0, nf = 0;
    try {
      ado::RecordsetPtr rs = data.GetData(dsn, sql);
      if (!rs || rs->IsEOF()) continue;
      n = rs->Value("n").ToLong();
      nb = rs->Value("nb").ToLong();
      ne = rs->Value("ne").ToLong();
      nf = rs->Value("nf").ToLong();
    } catch (const Error&) {
      continue;  // a database without the table, or one that cannot say
    }
    if (n > 0) continue;
    const std::string code = long_number ? "full code (FNumber)" : "short code (FShortNumber)";
    std::vector<std::string> empty_bounds;
    if (from && nb == 0) empty_bounds.push_back(KeyValue(r.from, from_text));
    if (to && ne == 0) empty_bounds.push_back(KeyValue(r.to, to_text));
    std::string sentence;
    if (!empty_bounds.empty()) {
      sentence = Join(empty_bounds) + (empty_bounds.size() == 1 ? " matches" : " match") + " no " +
                 r.what + ": no " + r.what + "'s " + code + " is ";
      if (empty_bounds.size() == 2) {
        sentence += "at or after the first or at or before the last";
      } else {
        sentence += from && nb == 0 ? "at or after it" : "at or before it";
      }
    } else {
      sentence = "no " + std::string(r.what) + "'s " + code + " lies between " +
                 KeyValue(r.from, from_text) + " and " + KeyValue(r.to, to_text);
    }
    if (!long_number) {
      sentence += "; bLongNumber is false, so the short code is compared";
      if (nf > 0) {
        sentence += " (with bLongNumber=true " + std::to_string(nf) + " " + r.what +
                    (nf == 1 ? " is" : "s are") + " in the range)";
      }
    }
    out.push_back(std::move(sentence));
  }
  return out;
}

Error ExplainReportFailure(const Error& e, const reports::ReportSpec& spec,
                           const Dictionary& filter) {
  if (!IsConversionFailure(e.description())) return e;
  std::vector<std::string> not_dates, dates;
  for (const reports::FilterKey& k : spec.filters) {
    if (k.type != reports::FilterType::kDate) continue;
    const std::string text = TextOf(filter, k.key);
    if (!tsql::dt::Parse(text)) {
      not_dates.push_back(KeyValue(k.key, text));
    } else if (filter.Exists(k.key)) {
      dates.push_back(KeyValue(k.key, text));
    }
  }
  std::string cause;
  if (!not_dates.empty()) {
    cause = " [caused by the filter" + std::string(not_dates.size() == 1 ? " " : "s ") +
            Join(not_dates) +
            (not_dates.size() == 1 ? ", which is not a date" : ", which are not dates") + "]";
  } else if (!dates.empty()) {
    cause = " [the report reads the filter" + std::string(dates.size() == 1 ? " " : "s ") +
            Join(dates) + " as dates: check that the database reads " +
            (dates.size() == 1 ? "it" : "them") + " as YYYY-MM-DD]";
  } else {
    return e;
  }
  return Error(e.number(), e.source(), e.description() + cause, e.help_file(), e.help_context());
}

}  // namespace q8::tool
