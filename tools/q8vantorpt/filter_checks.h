// Checks of a report's filters before and after it runs, so that a mistake
// in a filter is told rather than silently giving an empty report.
//
// The component itself accepts any dictionary (a key it does not read has no
// effect); these checks belong to the tool and to other front ends that take
// filters from people.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "q8vantorpt/data.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/error.h"
#include "reports/report_table.h"

namespace q8::tool {

// Edits (insertions, deletions, substitutions, swaps of neighbours) that turn
// `a` into `b`, letters compared without regard to case.
size_t EditDistance(std::string_view a, std::string_view b);

// The key of `spec` nearest to `key`, or "" when none is near enough to be a
// likely misspelling.
std::string ClosestFilterKey(const reports::ReportSpec& spec, std::string_view key);

// The filter of report `spec` from (key, value) texts. Each value is typed as
// the report reads its key (TypedFilterValue). Throws UsageError for a key
// the report does not read (naming the closest key the report reads, and the
// report that reads it when another one does) unless `allow_unknown`, for a
// value of the wrong type (naming the key), and for a key given twice.
DictionaryPtr BuildReportFilterFromPairs(
    const reports::ReportSpec& spec,
    const std::vector<std::pair<std::string, std::string>>& filters, bool allow_unknown);

// As above from "KEY=VALUE" texts (throws UsageError for a text without "="
// or without a key).
DictionaryPtr BuildReportFilter(const reports::ReportSpec& spec,
                                const std::vector<std::string>& filters, bool allow_unknown);

// Filters that let the report run but list nothing, known without the
// database: bill dates that are not given. One sentence each.
std::vector<std::string> FilterWarnings(const reports::ReportSpec& spec, const Dictionary& filter);

// Code ranges that match no record in the database: for each of the
// material, warehouse and customer ranges given, a sentence saying which
// bound matched nothing and, when "bLongNumber" is false, that the short code
// (FShortNumber) was compared and how many records the full code would match.
// Looks the codes up with `data` on `dsn`; a lookup that fails gives no
// sentence.
std::vector<std::string> CodeRangeWarnings(Data& data, const std::string& dsn,
                                           const Dictionary& filter);

// The report's failure `e`, with its cause named when a filter value caused
// it: for a failed conversion, the date filters whose values are not dates
// (or, when the database rejected values that read as dates here, the date
// filters given). Other failures come back unchanged.
Error ExplainReportFailure(const Error& e, const reports::ReportSpec& spec,
                           const Dictionary& filter);

}  // namespace q8::tool
