// Random filters for every report builder of the table of reports. Every batch must build, and
// the values of the host (code bounds, dates, labels) must stay inside quoted
// literals: with each literal blanked out, the batch must read the same as
// the batch built from harmless stand-in values.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "q8vantorpt/dictionary.h"
#include "reports/report_frame.h"
#include "reports/report_table.h"

namespace {

using q8::Dictionary;
using q8::Variant;
namespace reports = q8::reports;

bool BlanksOnly(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

// A value with the same effect on the batch's shape but nothing to inject.
std::string StandIn(std::string_view key, const std::string& value) {
  const bool stock = key == "BStockNumber" || key == "EStockNumber";
  if (stock && BlanksOnly(value)) return value;
  if (!stock && value.empty() && key != "BDate" && key != "EDate") return value;
  return "v";
}

// The text with every '...' literal replaced by ''. Traps when the text ends
// inside a literal.
std::string BlankLiterals(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  bool inside = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!inside) {
      out.push_back(c);
      if (c == '\'') inside = true;
    } else if (c == '\'') {
      if (i + 1 < text.size() && text[i + 1] == '\'') {
        ++i;  // a doubled quote stays inside
      } else {
        out.push_back(c);
        inside = false;
      }
    }
  }
  if (inside) __builtin_trap();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const auto all = reports::Reports();
  const reports::ReportSpec& spec = all[in.ConsumeIntegralInRange<size_t>(0, all.size() - 1)];
  const int report = spec.number;
  Dictionary filter, stand_in;
  const bool long_number = in.ConsumeBool();
  // Every key the report reads: numbers small, dates always, texts at random.
  for (const reports::FilterKey& k : spec.filters) {
    const std::string key(k.key);
    switch (k.type) {
      case reports::FilterType::kBool:
        filter.SetValue(key, long_number);
        stand_in.SetValue(key, long_number);
        break;
      case reports::FilterType::kNumber: {
        if (!in.ConsumeBool()) break;
        const Variant v(in.ConsumeIntegralInRange<int32_t>(-1, 3));
        filter.SetValue(key, v);
        stand_in.SetValue(key, v);
        break;
      }
      case reports::FilterType::kDate:
      case reports::FilterType::kText: {
        if (k.type == reports::FilterType::kText && !in.ConsumeBool()) break;
        const std::string v = in.ConsumeRandomLengthString(40);
        filter.SetValue(key, v);
        stand_in.SetValue(key, StandIn(key, v));
        break;
      }
    }
  }
  const std::string subtotal = in.ConsumeRandomLengthString(16);
  const std::string total = in.ConsumeRandomLengthString(16);

  const std::string batch = reports::BuildBatch(
      report, reports::ReportInput{filter, long_number, "", "", subtotal, total});
  const std::string reference =
      reports::BuildBatch(report, reports::ReportInput{stand_in, long_number, "", "", "v", "v"});
  if (BlankLiterals(batch) != BlankLiterals(reference)) __builtin_trap();
  return 0;
}
