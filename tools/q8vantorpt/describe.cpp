// Descriptions of the reports in a language.
#include "tools/q8vantorpt/describe.h"

#include "component/local_text.h"

namespace q8::tool {

namespace {

using reports::ColumnKind;

// The column of `spec` that carries the decimals of a column of `kind`, as
// the result names it; "" when the report has none.
std::string DecimalsOf(const reports::ReportSpec& spec, ColumnKind kind) {
  auto has = [&](std::string_view name) { return reports::FindColumn(spec, name) != nullptr; };
  switch (kind) {
    case ColumnKind::kQuantity:
      return has("FQtyDecimal") ? "FQtyDecimal" : "";
    case ColumnKind::kPrice:
      return has("FPriceDecimal") ? "FPriceDecimal" : "";
    case ColumnKind::kAmount:
      return "2";
    default:
      return "";
  }
}

ado::ColumnInfo Col(const char* name, ado::FieldType type) {
  ado::ColumnInfo c;
  c.name = name;
  c.type = type;
  return c;
}

}  // namespace

std::string_view FilterTypeName(reports::FilterType type) {
  switch (type) {
    case reports::FilterType::kText:
      return "text";
    case reports::FilterType::kDate:
      return "date";
    case reports::FilterType::kBool:
      return "bool";
    case reports::FilterType::kNumber:
      return "number";
  }
  return "text";
}

std::string LocalText(std::string_view key, const std::string& language) {
  return LoadLocalText(std::string(key), language);
}

ReportDescription DescribeReport(const reports::ReportSpec& spec, const std::string& language) {
  ReportDescription d;
  d.spec = &spec;
  d.language = language;
  d.number = spec.number;
  d.method = std::string(spec.method);
  d.name = LocalText(spec.name_key, language);
  for (const reports::FilterKey& k : spec.filters) {
    d.filters.push_back(FilterDescription{std::string(k.key), std::string(FilterTypeName(k.type)),
                                          std::string(k.default_value), std::string(k.allowed),
                                          LocalText(k.meaning_key, language)});
  }
  for (const reports::ReportColumn& c : spec.columns) {
    d.columns.push_back(
        ColumnDescription{std::string(c.name), c.kind, std::string(reports::ColumnTypeName(c.kind)),
                          LocalText(c.caption_key, language), DecimalsOf(spec, c.kind)});
  }
  return d;
}

std::unique_ptr<ado::RowSet> ReportsRowSet(const std::vector<ReportDescription>& reports) {
  using ado::FieldType;
  auto rows = std::make_unique<ado::RowSet>(std::vector<ado::ColumnInfo>{
      Col("Number", FieldType::kInt), Col("Name", FieldType::kText),
      Col("Method", FieldType::kText), Col("SubtotalKind", FieldType::kInt),
      Col("TotalKind", FieldType::kInt)});
  for (const ReportDescription& r : reports) {
    rows->AddInt(r.number);
    rows->AddText(r.name);
    rows->AddText(r.method);
    if (r.spec->has_subtotals()) {
      rows->AddInt(r.spec->subtotal_kind);
    } else {
      rows->AddNull();
    }
    rows->AddInt(r.spec->total_kind);
    rows->EndRow();
  }
  return rows;
}

std::unique_ptr<ado::RowSet> FiltersRowSet(const std::vector<ReportDescription>& reports) {
  using ado::FieldType;
  auto rows = std::make_unique<ado::RowSet>(std::vector<ado::ColumnInfo>{
      Col("Report", FieldType::kInt), Col("Key", FieldType::kText), Col("Type", FieldType::kText),
      Col("Default", FieldType::kText), Col("Allowed", FieldType::kText),
      Col("Meaning", FieldType::kText)});
  for (const ReportDescription& r : reports) {
    for (const FilterDescription& f : r.filters) {
      rows->AddInt(r.number);
      rows->AddText(f.key);
      rows->AddText(f.type);
      rows->AddText(f.default_value);
      rows->AddText(f.allowed);
      rows->AddText(f.meaning);
      rows->EndRow();
    }
  }
  return rows;
}

std::unique_ptr<ado::RowSet> ColumnsRowSet(const std::vector<ReportDescription>& reports) {
  using ado::FieldType;
  auto rows = std::make_unique<ado::RowSet>(
      std::vector<ado::ColumnInfo>{Col("Report", FieldType::kInt), Col("Column", FieldType::kText),
                                   Col("Type", FieldType::kText), Col("Caption", FieldType::kText),
                                   Col("Decimals", FieldType::kText)});
  for (const ReportDescription& r : reports) {
    for (const ColumnDescription& c : r.columns) {
      rows->AddInt(r.number);
      rows->AddText(c.name);
      rows->AddText(c.type);
      rows->AddText(c.caption);
      rows->AddText(c.decimals);
      rows->EndRow();
    }
  }
  return rows;
}

}  // namespace q8::tool
