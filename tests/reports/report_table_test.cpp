// The table of reports against the builders it names: every key a row lists
// is read by the batch, every default is what an absent key reads as, and
// the rows' identities are unique.

#include "reports/report_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "core/default_objects.h"
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

// Every text the descriptions show is in every language's catalogue, and the
// English catalogue says what the table's own English meaning says.
TEST(ReportTable, DescriptionsAreInEveryCatalogue) {
  const std::vector<std::string> languages = defaults::CatalogueLanguages();
  ASSERT_EQ(languages, (std::vector<std::string>{"CHS", "CHT", "EN"}));
  auto expect_everywhere = [&](std::string_view key, const std::string& where) {
    for (const std::string& l : languages) {
      const auto text = defaults::CatalogueText(l, key);
      EXPECT_TRUE(text.has_value()) << l << " lacks " << key << " (" << where << ")";
      if (!text) continue;
      if (l == "CHS") {
        EXPECT_EQ(*text, key) << where;
      } else {
        EXPECT_NE(*text, "") << l << " " << where;
      }
    }
  };
  for (const ReportSpec& spec : Reports()) {
    const std::string n = std::to_string(spec.number);
    expect_everywhere(spec.name_key, n + " name");
    for (const FilterKey& k : spec.filters) {
      expect_everywhere(k.meaning_key, n + " " + std::string(k.key));
      EXPECT_EQ(defaults::CatalogueText("EN", k.meaning_key).value_or(""), k.meaning)
          << n << " " << k.key << ": the English catalogue and the table differ";
    }
    for (const ReportColumn& c : spec.columns)
      expect_everywhere(c.caption_key, n + " " + std::string(c.name));
  }
}

// The columns of a result: unique names, found without regard to case, and
// the precision columns wherever the report carries them per row.
TEST(ReportTable, ColumnsAreUniqueAndTyped) {
  for (const ReportSpec& spec : Reports()) {
    const std::string n = std::to_string(spec.number);
    std::set<std::string> names;
    for (const ReportColumn& c : spec.columns) {
      std::string folded(c.name);
      for (char& ch : folded) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      EXPECT_TRUE(names.insert(folded).second) << n << " lists " << c.name << " twice";
      EXPECT_EQ(FindColumn(spec, folded), &c) << n << " " << c.name;
      EXPECT_NE(ColumnTypeName(c.kind), "") << c.name;
    }
    ASSERT_NE(FindColumn(spec, "FSumSort"), nullptr) << n;
    EXPECT_EQ(FindColumn(spec, "FSumSort")->kind, ColumnKind::kRowKind);
    EXPECT_EQ(FindColumn(spec, "fnosuchcolumn"), nullptr);
    EXPECT_EQ(FindFilterKey(spec, "BLONGNUMBER"), FindFilterKey(spec, "bLongNumber"))
        << "keys are found as the dictionary finds them";
  }
  // Only 2008608 leaves the precision columns out of its result.
  EXPECT_EQ(FindColumn(ReportOf(2008608), "FQtyDecimal"), nullptr);
  EXPECT_NE(FindColumn(ReportOf(2008609), "FQtyDecimal"), nullptr);
  EXPECT_NE(FindColumn(ReportOf(2008610), "FPriceDecimal"), nullptr);
  EXPECT_EQ(ReportOf(2008608).columns.size(), 28u);
  EXPECT_EQ(ReportOf(2008610).columns.size(), 40u);
  EXPECT_EQ(ReportOf(2008609).columns.size(), 39u);
}

}  // namespace
}  // namespace q8::reports
