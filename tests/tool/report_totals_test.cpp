// The reports' totals are exact: on a large generated database, the grand
// total of every summed column equals, digit for digit, the exact sum of the
// rows it totals (and each subtotal the sum of its customer's rows), as on
// SQL Server, where decimals never pass through a double.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "q8vantorpt/data.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/rpt.h"
#include "tools/q8vantorpt/demo_db.h"

namespace q8::tool {
namespace {

namespace fs = std::filesystem;

// Every row of the record set's result in one RowSet (a large result is read
// in blocks).
std::unique_ptr<ado::RowSet> AllRows(const ado::Recordset& rs) {
  auto all = std::make_unique<ado::RowSet>(rs.Columns());
  for (size_t r = 0;; ++r) {
    const ado::Recordset::RowBlock b = rs.RowAt(r);
    if (!b.rows) break;
    for (size_t c = 0; c < all->column_count(); ++c) all->AddVariant(b.rows->Get(b.first, c));
    all->EndRow();
  }
  return all;
}

class ReportTotals : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterComponent();
    path_ = new std::string(
        (fs::temp_directory_path() / ("q8_report_totals_" + std::to_string(::getpid()) + ".db"))
            .string());
    fs::remove(*path_);
    // Enough bill lines that sums of doubles would drift in their last digits.
    GenerateDemoDatabase(*path_, DemoOptions{30000, 7}, false);
  }
  static void TearDownTestSuite() {
    fs::remove(*path_);
    delete path_;
  }

  static std::string Dsn() {
    return "ConnectString={Provider=SQLite;Data Source=" + *path_ +
           "};DBMS Name=SQLite;DBMS Version=3;Language=CHS;UserID=0";
  }

  static DictionaryPtr Filter(std::initializer_list<std::pair<const char*, Variant>> values) {
    auto filter = std::make_shared<Dictionary>();
    for (const auto& [k, v] : values) filter->SetValue(k, v);
    return filter;
  }

  // Checks, for every decimal column named in `summed` (every decimal
  // column with a total when empty), that the total row holds the exact sum
  // of the detail rows and each subtotal row the sum of the rows that agree
  // with it in the columns `subtotal_by`.
  static void CheckTotals(const ado::Recordset& rs, const std::vector<std::string>& summed,
                          const std::vector<std::string>& subtotal_by) {
    const std::unique_ptr<ado::RowSet> all = AllRows(rs);
    const ado::RowSet* rows = all.get();
    ASSERT_GT(rows->row_count(), 0u);
    const auto& cols = rows->columns();
    size_t sort_col = cols.size();
    std::vector<size_t> key_cols;
    for (size_t c = 0; c < cols.size(); ++c) {
      if (cols[c].name == "FSumSort") sort_col = c;
      if (std::find(subtotal_by.begin(), subtotal_by.end(), cols[c].name) != subtotal_by.end())
        key_cols.push_back(c);
    }
    ASSERT_LT(sort_col, cols.size());
    ASSERT_EQ(key_cols.size(), subtotal_by.size());
    const auto key_of = [&](size_t r) {
      std::string key;
      for (size_t k : key_cols) key += (rows->IsNull(r, k) ? "" : rows->Get(r, k).ToText()) + "|";
      return key;
    };
    size_t checked = 0;
    for (size_t c = 0; c < cols.size(); ++c) {
      if (cols[c].type != ado::FieldType::kDecimal) continue;
      if (!summed.empty() && std::find(summed.begin(), summed.end(), cols[c].name) == summed.end())
        continue;
      Decimal total_of_rows;
      std::map<std::string, Decimal> per_group;
      std::vector<size_t> total_rows, subtotal_rows;
      for (size_t r = 0; r < rows->row_count(); ++r) {
        const int64_t kind = rows->GetInt(r, sort_col);
        if (kind == 100) {
          total_rows.push_back(r);
        } else if (kind == 101) {
          subtotal_rows.push_back(r);
        } else if (!rows->IsNull(r, c)) {
          const Decimal v = rows->GetDecimal(r, c);
          total_of_rows = total_of_rows + v;
          Decimal& s = per_group[key_of(r)];
          s = s + v;
        }
      }
      ASSERT_EQ(total_rows.size(), 1u);
      if (rows->IsNull(total_rows[0], c)) continue;
      const int scale = cols[c].scale;
      EXPECT_EQ(rows->GetDecimal(total_rows[0], c).Rescale(scale).ToString(),
                total_of_rows.Rescale(scale).ToString())
          << cols[c].name;
      if (!subtotal_by.empty()) {
        EXPECT_FALSE(subtotal_rows.empty());
        for (size_t r : subtotal_rows) {
          EXPECT_EQ(rows->GetDecimal(r, c).Rescale(scale).ToString(),
                    per_group[key_of(r)].Rescale(scale).ToString())
              << cols[c].name << " of " << key_of(r);
        }
      }
      ++checked;
    }
    EXPECT_GE(checked, 4u);
  }

  static std::string* path_;
};

std::string* ReportTotals::path_ = nullptr;

TEST_F(ReportTotals, SummaryTotalsAreTheExactSumsOfTheirRows) {
  // Every kind of summary row, with sale prices and unit costs (the money
  // columns are products and sums of products).
  for (int sum_type : {0, 1, 2}) {
    SCOPED_TRACE("SumType " + std::to_string(sum_type));
    Data data;
    DictionaryPtr sort_fields;
    auto rs = data.GetRpt2008609Data(Dsn(), nullptr,
                                     Filter({{"BDate", Variant("2024-01-01")},
                                             {"EDate", Variant("2024-12-31")},
                                             {"SumType", Variant(sum_type)},
                                             {"SalePrice", Variant(1)},
                                             {"UnitCost", Variant(1)}}),
                                     sort_fields);
    // Subtotals per customer, except in the rows per material.
    CheckTotals(*rs, {},
                sum_type == 2 ? std::vector<std::string>{} : std::vector<std::string>{"FCustID"});
  }
}

TEST_F(ReportTotals, InventoryTotalIsTheExactSumOfItsRows) {
  Data data;
  DictionaryPtr sort_fields;
  auto rs =
      data.GetRpt2008608Data(Dsn(), nullptr, Filter({{"SalePrice", Variant(1)}}), sort_fields);
  CheckTotals(*rs, {}, {});
}

TEST_F(ReportTotals, MovementTotalsAreTheExactSumsOfTheMovements) {
  // The balances of the movement report are carried, not summed; the
  // movements are.
  Data data;
  DictionaryPtr sort_fields;
  auto rs = data.GetRpt2008610Data(
      Dsn(), nullptr, Filter({{"BDate", Variant("2024-01-01")}, {"EDate", Variant("2024-12-31")}}),
      sort_fields);
  CheckTotals(*rs,
              {"FBaseSendQty", "FSendQty", "FBaseBackQty", "FBackQty", "FBaseComQty", "FComQty",
               "FBaseInvoiceQty", "FInvoiceQty"},
              {"FCustID", "FitemID"});
}

}  // namespace
}  // namespace q8::tool
