// What a report is, in a person's language: its name, each filter key with
// its type, default, allowed values and meaning, and each column of its
// result with its caption. The texts come from the table of reports and are
// localized through the resource loader's catalogues (LoadLocalText), as the
// component localizes its own texts; a text the catalogues lack stays in
// simplified Chinese.
//
// The descriptions are also offered as record sets, so that every output form
// (table, csv, json, xlsx) prints them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "q8vantorpt/ado.h"
#include "reports/report_table.h"

namespace q8::tool {

struct FilterDescription {
  std::string key;
  std::string type;           // "text", "date", "bool" or "number"
  std::string default_value;  // what an absent key reads as; "" for an empty value
  std::string allowed;        // the values with a meaning, "|"-separated; "" for any
  std::string meaning;        // localized
};

struct ColumnDescription {
  std::string name;  // as the record set names it
  reports::ColumnKind kind;
  std::string type;      // "text", "int", "decimal" or "datetime"
  std::string caption;   // localized
  std::string decimals;  // the column whose value gives this one's decimals per row, "2" for
                         // money amounts, "" when none applies
};

struct ReportDescription {
  const reports::ReportSpec* spec = nullptr;
  std::string language;  // as asked for
  int number = 0;
  std::string method;  // "GetRpt2008608Data"
  std::string name;    // localized
  std::vector<FilterDescription> filters;
  std::vector<ColumnDescription> columns;
};

// "text", "date", "bool" or "number".
std::string_view FilterTypeName(reports::FilterType type);

// The catalogue text of `key` in `language`; the key itself when the
// catalogues do not hold it.
std::string LocalText(std::string_view key, const std::string& language);

// The report's description in `language` (CHS, CHT, EN).
ReportDescription DescribeReport(const reports::ReportSpec& spec, const std::string& language);

// The descriptions as three record sets, each with a column Report first:
//   reports  Number, Name, Method, SubtotalKind (NULL when none), TotalKind
//   filters  Report, Key, Type, Default, Allowed, Meaning
//   columns  Report, Column, Type, Caption, Decimals
std::unique_ptr<ado::RowSet> ReportsRowSet(const std::vector<ReportDescription>& reports);
std::unique_ptr<ado::RowSet> FiltersRowSet(const std::vector<ReportDescription>& reports);
std::unique_ptr<ado::RowSet> ColumnsRowSet(const std::vector<ReportDescription>& reports);

}  // namespace q8::tool
