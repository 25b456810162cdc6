// The table of reports against the builders it names: every key a row lists
// is read by the batch, every default is what an absent key reads as, and
// the rows' identities are unique.

#include "reports/report_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "q8vantorpt/error.h"
#include "reports/report_frame.h"

namespace q8::reports {
namespace {

std::string Batch(const ReportSpec& spec, const Dictionary& filter) {
  bool long_number = false;
  if (filter.Exists("bLongNumber")) long_number = filter.GetValue("bLongNumber").ToBool();
  return BuildBatch(spec.number, ReportInput{filter, long_number, "", "", "sub", "tot"});
}

// A filter with a date range, so that the date keys have a value to replace.
Dictionary Base() {
  Dictionary d;
  d.SetValue("BDate", "2024-01-01");
  d.SetValue("EDate", "2024-01-31");
  return d;
}

TEST(ReportTable, RowsAreUniqueAndNamedAfterTheirNumber) {
  std::set<int> numbers;
  std::set<int32_t> dispids;
  for (const ReportSpec& spec : Reports()) {
    const std::string n = std::to_string(spec.number);
    EXPECT_TRUE(numbers.insert(spec.number).second) << n;
    EXPECT_TRUE(dispids.insert(spec.dispid).second) << n;
    EXPECT_EQ(spec.method, "GetRpt" + n + "Data");
    EXPECT_EQ(spec.tag, "::" + std::string(spec.method));
    EXPECT_EQ(FindReport(spec.number), &spec);
    EXPECT_NE(spec.total_kind, 0) << n;
    EXPECT_FALSE(spec.title.empty()) << n;
    std::set<std::string_view> keys;
    for (const FilterKey& k : spec.filters) {
      EXPECT_TRUE(keys.insert(k.key).second) << n << " lists " << k.key << " twice";
      EXPECT_FALSE(k.meaning.empty()) << n << " " << k.key;
    }
  }
  EXPECT_EQ(FindReport(2008607), nullptr);
  EXPECT_THROW(ReportOf(2008607), Error);
}

// Each listed key changes the batch for at least one of its values (so the
// builder reads it), and its default gives the batch of an absent key.
TEST(ReportTable, EveryListedKeyIsReadAndItsDefaultHolds) {
  for (const ReportSpec& spec : Reports()) {
    const std::string absent = Batch(spec, Base());
    for (const FilterKey& k : spec.filters) {
      const std::string key(k.key);
      SCOPED_TRACE(std::to_string(spec.number) + " " + key);
      Dictionary with_default = Base();
      bool changed = false;
      switch (k.type) {
        case FilterType::kBool:
          with_default.SetValue(key, k.default_value == "true");
          for (bool v : {true, false}) {
            Dictionary d = Base();
            d.SetValue(key, v);
            // The long-number switch changes the code columns of a range.
            d.SetValue("BItemNumber", "01");
            Dictionary ref = Base();
            ref.SetValue("BItemNumber", "01");
            changed = changed || Batch(spec, d) != Batch(spec, ref);
          }
          break;
        case FilterType::kNumber:
          with_default.SetValue(key, std::stoi(std::string(k.default_value)));
          for (int v = -1; v <= 3; ++v) {
            Dictionary d = Base();
            d.SetValue(key, v);
            changed = changed || Batch(spec, d) != absent;
          }
          break;
        case FilterType::kDate:
        case FilterType::kText: {
          with_default.SetValue(key, std::string(k.default_value));
          Dictionary d = Base();
          d.SetValue(key, "ZQ9");
          changed = Batch(spec, d).find("ZQ9") != std::string::npos;
          break;
        }
      }
      EXPECT_TRUE(changed) << "the batch does not read " << key;
      if (k.type != FilterType::kDate) {
        EXPECT_EQ(Batch(spec, with_default), absent) << "the default of " << key;
      }
    }
  }
}

}  // namespace
}  // namespace q8::reports
