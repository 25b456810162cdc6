// Test support for the report methods on the embedded engine: a new ERP
// database per test with a small set of base data, filled with plain SQLite
// statements, and the record set read back as text rows.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/dictionary.h"
#include "tests/support/support.h"

namespace q8::testing {

// Base data every report test starts from (ids chosen apart so a mix-up shows):
//   units      1 PCS (1), 2 BOX (10), 3 PAIR (2), 9 BAD (0)
//   materials  101 M001 "Brake pad" base PCS, stock BOX, aux PAIR, sale 5, cost 3
//              102 M002 "Oil filter" base PCS, stock PCS, sale 8, cost 6
//              103 M003 deleted, base PCS, stock PCS
//              109 M009 stock unit BAD (coefficient 0)
//   customers  201 C001 "Alpha Motors" (short 001), 202 C002 "Beta Parts" (short 002)
//   warehouses 301 WH01 type 505 (customer C001), 302 WH02 type 505 (C002),
//              303 WH03 type 500 (no customer), 304 WH04 type 999
//   currencies 1 (base, GL/FBWB), 2; sales rate type 1: currency 1 rate 1,
//              currency 2 rate 7, both valid 2000-2099
//   transaction types 21, 41, 80, 86 with names
class ReportDb : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs plain SQLite statements on the file; fails the test on an error.
  void Exec(const std::string& sql) const;
  std::string Dsn(const std::string& language = "CHS") const;

  DictionaryPtr Filter(std::initializer_list<std::pair<const char*, Variant>> entries) const;

  // The report's record set, or the error it raised.
  ado::RecordsetPtr Run(int report, const DictionaryPtr& filter, DictionaryPtr* sort = nullptr);
  Error RunFails(int report, const DictionaryPtr& filter, DictionaryPtr* sort = nullptr);

  Data data_;
  std::string path_;
};

// One stock bill with one line (FEntryID 1, FDetailID = id, batch "L<id>"):
// header values, then the line's material, unit, warehouses and quantities.
// Numbers that may be NULL are passed as SQL text.
std::string StockBill(int id, const char* date, int tran_type, int bis_type, int sale_style,
                      const char* supply, const char* cust, int rob, int status, const char* item,
                      int unit, const char* dc_stock, const char* sc_stock, const char* qty,
                      const char* aux_qty, int cancelled = 0);
// One sales invoice (FROB 1, rate 1) with one line in unit PCS; the line may
// name its source stock-bill line.
std::string Invoice(int id, const char* date, int tran_type, int sale_style, const char* cust,
                    int status, const char* item, const char* qty, int cancelled = 0,
                    const char* source_bill = "NULL");

// The rows of a record set, each the named columns joined by "|".
std::vector<std::string> Rows(ado::Recordset& rs, const std::vector<std::string>& columns);

// The column names of a record set, in order.
std::vector<std::string> ColumnNames(const ado::Recordset& rs);

}  // namespace q8::testing
