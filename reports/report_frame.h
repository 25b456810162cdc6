// What the three consignment reports (2008608, 2008609, 2008610) share.
//
// Each report is one long T-SQL batch, built as text by a pure function of a
// ReportInput (the host's filter and the texts the request gathered before
// the batch: data-access-right fragments and localized labels) and executed
// once by the report method. This file holds the pieces the builders have in
// common: quoting of filter values, the number-range condition on material,
// warehouse and customer codes, the bill condition on date and status, the
// two layout calls every builder is written with, and the sort hints handed
// back to the host.
//
// Layout of a batch: every piece is appended followed by CR LF (Line), except
// the few pieces that the next piece continues on the same line (Continue).
// A piece that already ends in CR LF (a condition) still gets its CR LF, so
// an empty line follows it; an empty piece gives an empty line.
#pragma once

#include <string>
#include <string_view>

#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/variant.h"

namespace q8::reports {

inline constexpr std::string_view kCrLf = "\r\n";

inline constexpr int kRpt2008608 = 2008608;  // customer consignment inventory
inline constexpr int kRpt2008609 = 2008609;  // consignment send, return and settlement summary
inline constexpr int kRpt2008610 = 2008610;  // consignment movement detail

// What a builder reads. The builder reads the remaining filter keys itself
// and raises (13 and the like) when one of them cannot be converted.
struct ReportInput {
  const Dictionary& filter;    // the host's dFilter; read only
  bool long_number = false;    // "bLongNumber", already converted
  std::string str_from;        // data-access-right FROM text, used as given
  std::string str_where;       // data-access-right WHERE text, used as given
  std::string subtotal_label;  // "小计" localized (2008609, 2008610)
  std::string total_label;     // "合计" localized
};

// Appends the pieces, then CR LF: the pieces make one line.
template <class... Pieces>
void Line(TextBuffer& sql, const Pieces&... pieces) {
  (sql.Append(pieces), ...);
  sql.Append(kCrLf);
}

// Appends the pieces without CR LF: the next piece continues this line.
template <class... Pieces>
void Continue(TextBuffer& sql, const Pieces&... pieces) {
  (sql.Append(pieces), ...);
}

// The value with every single quote doubled, for placing between quotes.
std::string Quote(std::string_view value);

// A filter value as text, as string concatenation reads it: Null and Empty
// give "". Raises when the value has no text form (an object).
std::string FilterText(const Variant& value);

// Whether a filter value counts as given: not Null and not equal to "".
bool IsGiven(const Variant& value);

// Whether the filter's value under `key` equals the number `n`. An absent or
// empty value equals 0; Null equals nothing; a text that is not a number
// raises 13.
bool FilterEquals(const Dictionary& filter, std::string_view key, double n);

// "IsOnlyJS" equals 1; an absent key reads as 1.
bool IsOnlyJS(const Dictionary& filter);

// The number-range condition: one line (fragment, quoted value, "'", CR LF)
// per bound given, in the order material from/to, warehouse from/to,
// customer from/to; "" when no bound is given. Codes compare with the full
// code column FNumber when `long_number`, else with the short one.
std::string NumberRangeCondition(const Dictionary& filter, bool long_number);

// Ends the current line.
inline void EndLine(TextBuffer& sql) { sql.Append(kCrLf); }

// The bill condition of 2008609 and 2008610: the date range on a.FDate (both
// bounds always written) and the status fragment, each ending in CR LF.
std::string BillCondition(const Dictionary& filter);

// Sort hints written into SortFields before the batch runs.
struct SortHints {
  std::string_view order_by_only_group;
  std::string_view default_order_by;
};
// The hints of report `report_number` (see the table of reports). Raises 5
// for a number that is no report's.
SortHints SortHintsFor(int report_number);
// Sets "SumOnly" (true), "OrderByOnlyGroup" and "DefaultOrderBy", in this
// order; other keys of the dictionary stay as they are.
void WriteSortHints(Dictionary& sort_fields, int report_number);

// Appends the batch of report `report_number` to `sql`, written by the
// report's builder (one file each). Raises 5 for a number that is no
// report's.
void Build(int report_number, const ReportInput& in, TextBuffer& sql);
// The same batch as one text.
std::string BuildBatch(int report_number, const ReportInput& in);

}  // namespace q8::reports
