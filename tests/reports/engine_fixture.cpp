#include "tests/reports/engine_fixture.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "component/report_calls.h"
#include "drivers/sqlite/schema.h"
#include "q8vantorpt/rpt.h"

namespace q8::testing {

namespace {

constexpr const char* kBaseData = R"SQL(
INSERT INTO t_MeasureUnit (FMeasureUnitID, FName, FCoefficient) VALUES
  (1, 'PCS', 1), (2, 'BOX', 10), (3, 'PAIR', 2), (9, 'BAD', 0);
INSERT INTO t_ICItem (FItemID, FNumber, FShortNumber, FName, FModel, FUnitID, FStoreUnitID,
                      FSecUnitID, FDeleted, FQtyDecimal, FPriceDecimal, FSalePrice, FStandardCost)
VALUES
  (101, 'M001', '001', 'Brake pad', 'BP-1', 1, 2, 3, 0, 2, 4, 5, 3),
  (102, 'M002', '002', 'Oil filter', 'OF-2', 1, 1, NULL, 0, 0, 2, 8, 6),
  (103, 'M003', '003', 'Old part', 'OP-3', 1, 1, NULL, 1, 0, 2, 1, 1),
  (109, 'M009', '009', 'Bad unit', 'BU-9', 1, 9, NULL, 0, 0, 2, 1, 1);
INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FShortNumber, FName) VALUES
  (201, 1, 'C001', '001', 'Alpha Motors'),
  (202, 1, 'C002', '002', 'Beta Parts'),
  (301, 5, 'WH01', '01', 'Consign A'),
  (302, 5, 'WH02', '02', 'Consign B'),
  (303, 5, 'WH03', '03', 'Main'),
  (304, 5, 'WH04', '04', 'Other');
INSERT INTO t_Stock (FItemID, FNumber, FShortNumber, FName, FTypeID) VALUES
  (301, 'WH01', '01', 'Consign A', 505),
  (302, 'WH02', '02', 'Consign B', 505),
  (303, 'WH03', '03', 'Main', 500),
  (304, 'WH04', '04', 'Other', 999);
INSERT INTO t_QPCustInv (FID, FCustID) VALUES (1, 201), (2, 202);
INSERT INTO t_QPCustInvEntry (FID, FStockID) VALUES (1, 301), (2, 302);
INSERT INTO t_Currency (FCurrencyID) VALUES (1), (2);
INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES
  ('GL', 'FBWB', '1'), ('IC', 'saleexchangeratetype', '1');
INSERT INTO t_ExchangeRateEntry (FExchangeRateType, FCyTo, FExchangeRate, FBegDate, FEndDate)
VALUES
  (1, 1, 1, '2000-01-01 00:00:00', '2099-12-31 00:00:00'),
  (1, 2, 7, '2000-01-01 00:00:00', '2099-12-31 00:00:00');
INSERT INTO ictransactiontype (FID, FName) VALUES
  (21, 'Sales delivery'), (41, 'Transfer'), (80, 'Sales invoice'), (86, 'Sales invoice (other)');
)SQL";

}  // namespace

void ReportDb::SetUp() {
  static std::atomic<int> counter{0};
  RegisterComponent();
  path_ = (std::filesystem::temp_directory_path() /
           ("q8_reports_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + ".db"))
              .string();
  sqlite::InitDatabase(path_, true);
  Exec(kBaseData);
}

void ReportDb::TearDown() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

void ReportDb::Exec(const std::string& sql) const { ASSERT_EQ(ExecSqlite(path_, sql), ""); }

std::string ReportDb::Dsn(const std::string& language) const {
  return "ConnectString={" + sqlite::ConnectionStringFor(path_) +
         "};DBMS Name=SQLite;DBMS Version=3;Language=" + language + ";UserID=0;";
}

DictionaryPtr ReportDb::Filter(
    std::initializer_list<std::pair<const char*, Variant>> entries) const {
  auto d = std::make_shared<Dictionary>();
  for (const auto& [key, value] : entries) d->SetValue(key, value);
  return d;
}

ado::RecordsetPtr ReportDb::Run(int report, const DictionaryPtr& filter, DictionaryPtr* sort) {
  DictionaryPtr local;
  try {
    return RunReport(data_, report, Dsn(), filter, sort ? *sort : local);
  } catch (const Error& e) {
    ADD_FAILURE() << "report " << report << " raised " << e.number() << " " << e.source() << ": "
                  << e.description() << "\n"
                  << BuildReportBatch(data_, report, Dsn(), filter);
    return nullptr;
  }
}

Error ReportDb::RunFails(int report, const DictionaryPtr& filter, DictionaryPtr* sort) {
  DictionaryPtr local;
  try {
    RunReport(data_, report, Dsn(), filter, sort ? *sort : local);
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "report " << report << " did not fail";
  return Error(0, "", "");
}

std::string StockBill(int id, const char* date, int tran_type, int bis_type, int sale_style,
                      const char* supply, const char* cust, int rob, int status, const char* item,
                      int unit, const char* dc_stock, const char* sc_stock, const char* qty,
                      const char* aux_qty, int cancelled) {
  const std::string i = std::to_string(id);
  return "INSERT INTO ICStockBill (FInterID, FBillNo, FDate, FTranType, FBisType, FSaleStyle, "
         "FSupplyID, FCustID, FROB, FStatus, FCancellation) VALUES (" +
         i + ", 'B" + i + "', '" + date + "', " + std::to_string(tran_type) + ", " +
         std::to_string(bis_type) + ", " + std::to_string(sale_style) + ", " + supply + ", " +
         cust + ", " + std::to_string(rob) + ", " + std::to_string(status) + ", " +
         std::to_string(cancelled) +
         ");\n"
         "INSERT INTO ICStockBillEntry (FInterID, FEntryID, FDetailID, FItemID, FUnitID, "
         "FDCStockID, FSCStockID, FBatchNo, FQty, FAuxQty) VALUES (" +
         i + ", 1, " + i + ", " + item + ", " + std::to_string(unit) + ", " + dc_stock + ", " +
         sc_stock + ", 'L" + i + "', " + qty + ", " + aux_qty + ");\n";
}

std::string Invoice(int id, const char* date, int tran_type, int sale_style, const char* cust,
                    int status, const char* item, const char* qty, int cancelled,
                    const char* source_bill) {
  const std::string i = std::to_string(id);
  return "INSERT INTO ICSale (FInterID, FBillNo, FDate, FTranType, FSaleStyle, FCustID, FROB, "
         "FStatus, FCancellation, FExchangeRate) VALUES (" +
         i + ", 'V" + i + "', '" + date + "', " + std::to_string(tran_type) + ", " +
         std::to_string(sale_style) + ", " + cust + ", 1, " + std::to_string(status) + ", " +
         std::to_string(cancelled) +
         ", 1);\n"
         "INSERT INTO ICSaleEntry (FInterID, FEntryID, FDetailID, FItemID, FUnitID, FQty, FAuxQty, "
         "FSourceInterID, FSourceEntryID) VALUES (" +
         i + ", 1, " + i + ", " + item + ", 1, " + qty + ", " + qty + ", " + source_bill + ", " +
         (std::string(source_bill) == "NULL" ? "NULL" : "1") + ");\n";
}

std::vector<std::string> Rows(ado::Recordset& rs, const std::vector<std::string>& columns) {
  std::vector<std::string> out;
  if (rs.FieldCount() == 0) return out;
  if (rs.RecordCount() > 0) rs.MoveFirst();
  for (; !rs.IsEOF(); rs.MoveNext()) {
    std::string row;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i) row += "|";
      row += Text(rs.Value(columns[i]));
    }
    out.push_back(row);
  }
  return out;
}

std::vector<std::string> ColumnNames(const ado::Recordset& rs) {
  std::vector<std::string> out;
  for (const auto& c : rs.Columns()) out.push_back(c.name);
  return out;
}

}  // namespace q8::testing
