// Random filters for the three report builders. Every batch must build, and
// the values of the host (code bounds, dates, labels) must stay inside quoted
// literals: with each literal blanked out, the batch must read the same as
// the batch built from harmless stand-in values.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "q8vantorpt/dictionary.h"
#include "reports/report_frame.h"

namespace {

using q8::Dictionary;
using q8::Variant;
namespace reports = q8::reports;

constexpr const char* kCodeKeys[] = {"BItemNumber",  "EItemNumber", "BStockNumber",
                                     "EStockNumber", "BCustNumber", "ECustNumber"};
constexpr const char* kNumberKeys[] = {"Status", "SalePrice", "UnitCost", "SumType", "IsOnlyJS"};

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
  const int report =
      in.PickValueInArray({reports::kRpt2008608, reports::kRpt2008609, reports::kRpt2008610});
  Dictionary filter, stand_in;
  const bool long_number = in.ConsumeBool();
  filter.SetValue("bLongNumber", long_number);
  stand_in.SetValue("bLongNumber", long_number);
  for (const char* key : kNumberKeys) {
    if (!in.ConsumeBool()) continue;
    const Variant v(in.ConsumeIntegralInRange<int32_t>(-1, 3));
    filter.SetValue(key, v);
    stand_in.SetValue(key, v);
  }
  for (const char* key : kCodeKeys) {
    if (!in.ConsumeBool()) continue;
    const std::string v = in.ConsumeRandomLengthString(40);
    filter.SetValue(key, v);
    stand_in.SetValue(key, StandIn(key, v));
  }
  for (const char* key : {"BDate", "EDate"}) {
    const std::string v = in.ConsumeRandomLengthString(40);
    filter.SetValue(key, v);
    stand_in.SetValue(key, StandIn(key, v));
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
