#include "reports/report_frame.h"

#include "core/text.h"
#include "q8vantorpt/error.h"
#include "reports/report_table.h"

namespace q8::reports {

std::string Quote(std::string_view value) { return DoubleQuotes(value); }

std::string FilterText(const Variant& value) {
  if (value.IsNull() || value.IsMissing()) return {};
  return value.ToText();
}

bool IsGiven(const Variant& value) {
  // A Null bound compares neither equal nor unequal to "", so it adds nothing.
  if (value.IsNull()) return false;
  return !value.EqualsText("");
}

bool FilterEquals(const Dictionary& filter, std::string_view key, double n) {
  return filter.GetValue(key).EqualsNumber(n);
}

bool IsOnlyJS(const Dictionary& filter) {
  return filter.GetValueOr("IsOnlyJS", Variant(int32_t{1})).EqualsNumber(1);
}

namespace {

// Blanks only, as the stock-bound test trims; tabs and other white space stay.
std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

void AddBound(std::string& out, std::string_view fragment, const Variant& value) {
  out.append(fragment);
  out.append(Quote(FilterText(value)));
  out.append("'");
  out.append(kCrLf);
}

}  // namespace

std::string NumberRangeCondition(const Dictionary& filter, bool long_number) {
  std::string out;
  const std::string_view code = long_number ? "FNumber" : "FShortNumber";

  if (Variant v = filter.GetValue("BItemNumber"); IsGiven(v)) {
    AddBound(out, long_number ? " And t1.FNumber>='" : " And t1.FShortNumber>='", v);
  }
  if (Variant v = filter.GetValue("EItemNumber"); IsGiven(v)) {
    AddBound(out, long_number ? " And t1.FNumber<='" : " And t1.FShortNumber<='", v);
  }
  // Warehouse bounds of blanks only are no bounds; the value placed is untrimmed.
  if (Variant v = filter.GetValue("BStockNumber");
      !v.IsNull() && !TrimBlanks(FilterText(v)).empty()) {
    AddBound(out, std::string(" And t2.").append(code).append(">='"), v);
  }
  if (Variant v = filter.GetValue("EStockNumber");
      !v.IsNull() && !TrimBlanks(FilterText(v)).empty()) {
    AddBound(out, std::string(" And t2.").append(code).append("<='"), v);
  }
  // Both customer bounds compare the same column, so a host that passes short
  // codes gets a consistent range.
  if (Variant v = filter.GetValue("BCustNumber"); IsGiven(v)) {
    AddBound(out, long_number ? " And t11.FNumber>='" : " And t11.FShortNumber>='", v);
  }
  if (Variant v = filter.GetValue("ECustNumber"); IsGiven(v)) {
    AddBound(out, long_number ? " And t11.FNumber<='" : " And t11.FShortNumber<='", v);
  }
  return out;
}

std::string BillCondition(const Dictionary& filter) {
  std::string out;
  out.append(" and a.FDate>='");
  out.append(Quote(FilterText(filter.GetValue("BDate"))));
  out.append("' and a.FDate<='");
  out.append(Quote(FilterText(filter.GetValue("EDate"))));
  out.append("'");
  out.append(kCrLf);
  if (FilterEquals(filter, "Status", 0)) {
    out.append(" And a.FStatus>0 And a.FCancelLation=0 ");  // checked bills
  } else if (FilterEquals(filter, "Status", 1)) {
    out.append(" And a.FStatus=0 And a.FCancelLation=0 ");  // unchecked bills
  } else {
    out.append(" And a.FCancelLation=0 ");
  }
  out.append(kCrLf);
  return out;
}

SortHints SortHintsFor(int report_number) { return ReportOf(report_number).sort; }

void WriteSortHints(Dictionary& sort_fields, int report_number) {
  const SortHints hints = SortHintsFor(report_number);
  sort_fields.SetValue("SumOnly", Variant(true));
  sort_fields.SetValue("OrderByOnlyGroup", Variant(hints.order_by_only_group));
  sort_fields.SetValue("DefaultOrderBy", Variant(hints.default_order_by));
}

void Build(int report_number, const ReportInput& in, TextBuffer& sql) {
  ReportOf(report_number).build(in, sql);
}

std::string BuildBatch(int report_number, const ReportInput& in) {
  TextBuffer sql;
  sql.Reserve(32 * 1024);
  Build(report_number, in, sql);
  return sql.GetText();
}

}  // namespace q8::reports
