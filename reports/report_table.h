// The table of reports: everything the component, its late-bound surface, the
// tool, the fuzz target and the tests need to know about a report, one row per
// report. A new report is a builder file plus one row in report_table.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "reports/report_frame.h"

namespace q8::reports {

// How a filter key's value is read.
enum class FilterType {
  kText,    // compared or placed as text ("01" stays "01")
  kDate,    // a date text placed between quotes (YYYY-MM-DD and the other common forms)
  kBool,    // true/false, 1/0
  kNumber,  // compared with numbers
};

// A filter key a report reads.
struct FilterKey {
  std::string_view key;  // as the host writes it in dFilter
  FilterType type;
  std::string_view default_value;  // what an absent key reads as ("" when it reads as empty)
  std::string_view allowed;        // the values with a meaning, "|"-separated; "" for any
  std::string_view meaning;        // one sentence in English, for help texts
  // The same sentence in simplified Chinese: the key of its localized forms
  // in the resource loader's catalogues.
  std::string_view meaning_key;
};

// What a column of a report's result holds. The kind decides the column's
// type and how a spreadsheet shows it.
enum class ColumnKind {
  kText,      // codes, names, units, bill numbers
  kInt,       // ids, transaction types, shelf life in days
  kDateTime,  // bill, production and expiry dates
  kQuantity,  // a quantity; shown with the row's FQtyDecimal when the report has it
  kPrice,     // a unit price or cost; shown with the row's FPriceDecimal when the report has it
  kAmount,    // a money amount
  kRate,      // a conversion rate
  kDecimals,  // FQtyDecimal, FPriceDecimal: the material's decimals
  kRowKind,   // FSumSort: 0 detail or summary rows, the subtotal and total kinds
  kOrder,     // FOrderNO, FOrderNO2: ordering keys
};

// "text", "int", "decimal" or "datetime": the column's type as the output
// forms name it.
std::string_view ColumnTypeName(ColumnKind kind);

// A column of a report's result, in result order.
struct ReportColumn {
  std::string_view name;  // as the record set names it
  ColumnKind kind;
  // The caption in simplified Chinese: the key of its localized forms in the
  // resource loader's catalogues.
  std::string_view caption_key;
};

// The builder of a report's batch.
using Builder = void (*)(const ReportInput& in, TextBuffer& sql);

// One report.
struct ReportSpec {
  int number;               // 2008608 …
  std::string_view method;  // the method of Data: "GetRpt2008608Data"
  int32_t dispid;           // its DISPID on the late-bound surface
  std::string_view tag;     // the method's tag in error sources: "::GetRpt2008608Data"
  std::string_view title;   // a short English name, for help texts
  // The report's name in simplified Chinese, as the report catalogue ICReport
  // names it: the key of its localized forms in the resource loader's
  // catalogues.
  std::string_view name_key;
  bool rights_first;  // asks for the data-access rights before it reads "bLongNumber"
  int subtotal_kind;  // FSumSort of its subtotal rows, 0 when it has none
  int total_kind;     // FSumSort of its grand-total row
  SortHints sort;     // the hints written into SortFields
  Builder build;
  std::span<const FilterKey> filters;     // every key the batch reads
  std::span<const ReportColumn> columns;  // the columns of the result, in order

  bool has_subtotals() const { return subtotal_kind != 0; }
};

// Every report, in the order of their methods' DISPIDs.
std::span<const ReportSpec> Reports();

// The row of `number`, or nullptr when no report has that number.
const ReportSpec* FindReport(int number);

// The row of `number`. Raises 5 (invalid procedure call) when there is none.
const ReportSpec& ReportOf(int number);

// The key's description in `spec`, or nullptr when the report reads no such key.
const FilterKey* FindFilterKey(const ReportSpec& spec, std::string_view key);

// The column of `spec`'s result named `name` (without regard to case, as
// record sets find fields), or nullptr.
const ReportColumn* FindColumn(const ReportSpec& spec, std::string_view name);

}  // namespace q8::reports
