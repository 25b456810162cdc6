// Filter values that try to become SQL, end to end on the embedded engine.
//
// Every text filter key of the three reports and of GetStockInfo is fed
// values with quotes, comment markers, semicolons, line breaks and statement
// keywords. Some of these values are real codes in the database (an entity
// whose material, customer, warehouse and stock place all carry the value as
// their number), the others match nothing. A value must select exactly the
// rows that the literal text selects as a bound, compared as the server
// compares text; the call must never fail with an SQL error and must never
// write to the database file.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "drivers/sqlite/tsql/collation.h"
#include "drivers/sqlite/tsql/translator.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"
#include "tests/reliability/support.h"

namespace q8::reliability {
namespace {

// Codes of the entities in the database.
const std::vector<std::string>& Codes() {
  static const std::vector<std::string> codes = {
      "A100",
      "B200",
      "K500",
      "x' OR 1=1 --",
      "'; DROP TABLE t_ICItem --",
      "01' UNION SELECT FName FROM t_Item --",
      "C3/*",
      "Q';--",
      "'",
      "M7'\r\nDELETE FROM t_Item\r\n--",
  };
  return codes;
}

// Values that are no code of the database.
const std::vector<std::string>& Strangers() {
  static const std::vector<std::string> values = {
      "' OR '1'='1",
      "nosuch' OR 1=1 --",
      "x'; DELETE FROM ICInventory; --",
      "*/ OR 1=1 /*",
      "'' OR ''='",
      "\\' OR 1=1 --",  // a backslash escapes nothing in T-SQL
      "1; DROP TABLE t_Stock",
      "' ; UPDATE t_ICItem SET FName='pwned' --",
      "]' OR 1=1 --",
      "\" OR \"\"=\"",
      "'\r\nDROP TABLE t_Stock\r\n--",
      "A100'\r\n OR 1=1 --",
      "'); DROP TABLE #temData2008608 --",
      "'\r\nGO\r\nDELETE FROM t_Item\r\n--",
      "A1' + (SELECT TOP 1 FName FROM t_Item) + '",
      "x' COLLATE NOCASE OR 'a'='a",
      "Ω' OR 1=1 -- 汽配",
      "''",
      "'''",
      "0' ; SELECT * FROM t_ICItem WHERE '1'='1",
      "B2%' OR FNumber LIKE '%",
      "/*",
      "--",
      ";",
      "a\x01'\x1f--",
  };
  return values;
}

std::vector<std::string> AllValues() {
  std::vector<std::string> all = Codes();
  all.insert(all.end(), Strangers().begin(), Strangers().end());
  return all;
}

enum class Bound { kFrom, kTo, kBoth };

struct RangeKey {
  const char* from;
  const char* to;
};
constexpr RangeKey kRangeKeys[] = {
    {"BItemNumber", "EItemNumber"},
    {"BStockNumber", "EStockNumber"},
    {"BCustNumber", "ECustNumber"},
};

constexpr int kReports[] = {2008608, 2008609, 2008610};

std::string Printable(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20) {
      out += "\\x" + std::to_string(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

class Injection : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterComponent();
    path_ = new ScratchPath("injection");
    CreateCodeDatabase(path_->str(), Codes());
    before_ = Fingerprint(path_->str());
  }
  static void TearDownTestSuite() {
    delete path_;
    path_ = nullptr;
  }

  void TearDown() override {
    // Nothing any report or lookup did may have reached the file.
    EXPECT_EQ(ToString(Fingerprint(path_->str())), ToString(before_));
  }

  static std::string Dsn() { return DsnFor(path_->str()); }

  // The report's record set for `filter`, or the error it raised.
  static ado::RecordsetPtr Run(Data& data, int report, const DictionaryPtr& filter) {
    DictionaryPtr sort;
    switch (report) {
      case 2008608:
        return data.GetRpt2008608Data(Dsn(), nullptr, filter, sort);
      case 2008609:
        return data.GetRpt2008609Data(Dsn(), nullptr, filter, sort);
      default:
        return data.GetRpt2008610Data(Dsn(), nullptr, filter, sort);
    }
  }

  // The filter with the date range of the bills, for the reports that read one.
  static DictionaryPtr BaseFilter(int report) {
    auto f = std::make_shared<Dictionary>();
    if (report != 2008608) {
      f->SetValue("BDate", "2024-01-01");
      f->SetValue("EDate", "2024-01-31");
    }
    return f;
  }

  static std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }

  static ScratchPath* path_;
  static FileFingerprint before_;
};

ScratchPath* Injection::path_ = nullptr;
FileFingerprint Injection::before_;

// Without a bound every entity is listed once: the fixture works and the
// comparisons below have something to lose.
TEST_F(Injection, UnfilteredReportsListEveryEntity) {
  Data data;
  for (int report : kReports) {
    auto rs = Run(data, report, BaseFilter(report));
    ASSERT_TRUE(rs);
    EXPECT_EQ(Sorted(DetailColumn(*rs, "FMaterialNumber")), Sorted(Codes())) << report;
  }
}

// Each range key alone, and both bounds of one range with the same value,
// select exactly the entities whose code lies in the range.
TEST_F(Injection, RangeBoundsSelectTheLiteralCode) {
  Data data;
  const std::vector<std::string> values = AllValues();
  int calls = 0;
  for (int report : kReports) {
    for (const RangeKey& key : kRangeKeys) {
      for (Bound bound : {Bound::kFrom, Bound::kTo, Bound::kBoth}) {
        for (size_t v = 0; v < values.size(); ++v) {
          const std::string& value = values[v];
          DictionaryPtr filter = BaseFilter(report);
          // Short and full numbers are the same in the fixture: use both.
          filter->SetValue("bLongNumber", Variant(v % 2 == 1));
          if (bound != Bound::kTo) filter->SetValue(key.from, value);
          if (bound != Bound::kFrom) filter->SetValue(key.to, value);

          std::vector<std::string> want;
          for (const std::string& code : Codes()) {
            const int c = tsql::CompareCi(code, value);
            if ((bound == Bound::kFrom && c >= 0) || (bound == Bound::kTo && c <= 0) ||
                (bound == Bound::kBoth && c == 0))
              want.push_back(code);
          }
          const std::string what =
              std::to_string(report) + " " + (bound == Bound::kTo ? key.to : key.from) +
              (bound == Bound::kBoth ? "+E" : "") + " = \"" + Printable(value) + "\"";
          ++calls;
          try {
            auto rs = Run(data, report, filter);
            ASSERT_TRUE(rs) << what;
            EXPECT_EQ(Sorted(DetailColumn(*rs, "FMaterialNumber")), Sorted(want)) << what;
          } catch (const Error& e) {
            ADD_FAILURE() << what << " raised " << Describe(e);
          }
        }
      }
    }
  }
  EXPECT_EQ(calls, 3 * 3 * 3 * static_cast<int>(values.size()));
}

// A date bound that is not a date may fail, but only as "not a date" (the
// server's 241); anything else that comes back lists no more than the
// unfiltered period.
TEST_F(Injection, DateBoundsFailOnlyAsNotADate) {
  Data data;
  std::vector<std::string> values = AllValues();
  values.push_back("2024-01-31' OR 1=1 --");
  values.push_back("2024-01-01'; DELETE FROM ICStockBill; --");
  values.push_back("20240101 --");
  for (int report : {2008609, 2008610}) {
    for (const char* key : {"BDate", "EDate"}) {
      for (const std::string& value : values) {
        DictionaryPtr filter = BaseFilter(report);
        filter->SetValue(key, value);
        const std::string what =
            std::to_string(report) + " " + key + " = \"" + Printable(value) + "\"";
        try {
          auto rs = Run(data, report, filter);
          ASSERT_TRUE(rs) << what;
          const std::vector<std::string> got = Sorted(DetailColumn(*rs, "FMaterialNumber"));
          EXPECT_TRUE(
              std::includes(Sorted(Codes()).begin(), Sorted(Codes()).end(), got.begin(), got.end()))
              << what;
        } catch (const Error& e) {
          EXPECT_EQ(e.number(), err::kComponent) << what;
          EXPECT_NE(e.description().find(tsql::kDateConversion), std::string::npos)
              << what << " raised " << Describe(e);
        }
      }
    }
  }
}

// GetStockInfo finds the name of the entity whose number is the literal
// value, or leaves the name out; an OR that reached the SQL would return the
// name of another row.
TEST_F(Injection, StockInfoFindsOnlyTheLiteralNumber) {
  struct Lookup {
    const char* number_key;
    const char* name_key;
    const char* name_prefix;
  };
  const Lookup lookups[] = {
      {"BStockNumber", "BStockName", "Warehouse "},
      {"EStockNumber", "EStockName", "Warehouse "},
      {"BSPNumber", "BSPName", "Place "},
      {"ESPNumber", "ESPName", "Place "},
  };
  Data data;
  const std::vector<std::string> values = AllValues();
  for (const Lookup& lookup : lookups) {
    for (size_t v = 0; v < values.size(); ++v) {
      const std::string& value = values[v];
      const std::string what = std::string(lookup.number_key) + " = \"" + Printable(value) + "\"";
      std::string want;
      for (const std::string& code : Codes())
        if (tsql::CompareCi(code, value) == 0) want = lookup.name_prefix + code;
      try {
        DictionaryPtr info =
            data.GetStockInfo(Dsn(), TextFilter({{lookup.number_key, value}}), v % 2 == 1);
        ASSERT_TRUE(info) << what;
        if (want.empty()) {
          EXPECT_FALSE(info->Exists(lookup.name_key))
              << what << " found " << info->GetValue(lookup.name_key).ToText();
        } else {
          ASSERT_TRUE(info->Exists(lookup.name_key)) << what;
          EXPECT_EQ(info->GetValue(lookup.name_key).ToText(), want) << what;
        }
        // The other lookups saw no number and answer "".
        for (const Lookup& other : lookups) {
          if (&other == &lookup) continue;
          EXPECT_EQ(info->GetValue(other.name_key).ToText(), "") << what;
        }
      } catch (const Error& e) {
        ADD_FAILURE() << what << " raised " << Describe(e);
      }
    }
  }
}

// A NUL character inside a value is text like any other: it must not cut the
// statement short.
TEST_F(Injection, NulInsideAValueIsText) {
  Data data;
  const std::string value("A100\0' OR 1=1 --", 16);
  for (int report : kReports) {
    DictionaryPtr filter = BaseFilter(report);
    filter->SetValue("BItemNumber", value);
    filter->SetValue("EItemNumber", value);
    try {
      auto rs = Run(data, report, filter);
      ASSERT_TRUE(rs);
      EXPECT_TRUE(DetailColumn(*rs, "FMaterialNumber").empty()) << report;
    } catch (const Error& e) {
      ADD_FAILURE() << report << " raised " << Describe(e);
    }
  }
  try {
    DictionaryPtr info = data.GetStockInfo(Dsn(), TextFilter({{"BStockNumber", value}}), false);
    EXPECT_FALSE(info->Exists("BStockName"));
  } catch (const Error& e) {
    ADD_FAILURE() << "GetStockInfo raised " << Describe(e);
  }
}

}  // namespace
}  // namespace q8::reliability
