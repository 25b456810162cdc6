// The ERP schema that init-db creates.
#include "drivers/sqlite/schema.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "component/providers.h"
#include "core/ado/provider.h"
#include "tests/ado/support.h"

namespace q8::testing {
namespace {

namespace fs = std::filesystem;

class Schema : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterBuiltinProviders();
    dir_ = fs::temp_directory_path() /
           ("q8-schema-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    db_ = (dir_ / "erp.db").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // The declared type of a column, "" when the column does not exist.
  std::string DeclaredType(const std::string& table, const std::string& column) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(db_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT type FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE",
                       -1, &st, nullptr);
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, column.c_str(), -1, SQLITE_TRANSIENT);
    std::string out;
    if (sqlite3_step(st) == SQLITE_ROW)
      out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
  }
  fs::path dir_;
  std::string db_;
};

TEST_F(Schema, ColumnsCarrySqlServerDeclaredTypes) {
  sqlite::InitDatabase(db_, false);
  struct Case {
    const char* table;
    const char* column;
    const char* type;
  };
  const Case cases[] = {
      {"t_ICItem", "FItemID", "int"},
      {"t_ICItem", "FNumber", "varchar(80)"},
      {"t_ICItem", "FDeleted", "smallint"},
      {"t_ICItem", "FSalePrice", "decimal(28,10)"},
      {"t_Item", "FName", "nvarchar(255)"},
      {"ICStockBill", "FDate", "datetime"},
      {"ICStockBill", "FCancellation", "bit"},
      {"ICStockBillEntry", "FQty", "decimal(23,10)"},
      {"ICStockBillEntry", "FAuxQty", "decimal(23,10)"},
      {"ICSaleEntry", "FTaxPrice", "decimal(28,10)"},
      {"ICInventory", "FKFDate", "varchar(255)"},
      {"POInventory", "FStockTypeID", "int"},
      {"ICItemMapping", "FMapName", "nvarchar(256)"},
      {"t_SystemProfile", "FValue", "varchar(255)"},
      {"t_PeriodDate", "FEndDate", "datetime"},
      {"ICReport", "FRptName_CHT", "nvarchar(255)"},
      {"ICReport", "FRptName_EN", "nvarchar(255)"},
      {"ICReport", "FDetailRptName_CHT", "nvarchar(255)"},
      {"ICReport", "Fsum", "int"},
      {"ICReportGroup", "FRptGrpName", "nvarchar(255)"},
      {"t_DataTypeInfo", "FActualSize", "int"},
      {"t_SupportedProc", "FProcName", "varchar(255)"},
      {"t_Organization", "FName", "nvarchar(255)"},
      {"t_ExchangeRateEntry", "FExchangeRate", "decimal(28,10)"},
      {"ictransactiontype", "FName", "nvarchar(50)"},
  };
  // SQLite keeps the spelling of a type, except that a bare keyword such as
  // int comes back upper-cased.
  for (const Case& c : cases) {
    std::string type = DeclaredType(c.table, c.column);
    for (char& ch : type) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(type, c.type) << c.table << "." << c.column;
  }
}

TEST_F(Schema, ColumnsThatWouldMakeUnqualifiedNamesAmbiguousAreAbsent) {
  sqlite::InitDatabase(db_, false);
  const std::pair<const char*, const char*> absent[] = {
      {"ICSale", "FItemID"},         {"ICStockBill", "FItemID"},         {"ICSaleEntry", "FCustID"},
      {"ICSaleEntry", "FSaleStyle"}, {"ICStockBillEntry", "FSaleStyle"}, {"IcPrcPly", "FPrice"},
      {"t_MeasureUnit", "FPrice"},   {"t_SystemProfile", "FEndDate"},
  };
  for (const auto& [table, column] : absent)
    EXPECT_EQ(DeclaredType(table, column), "") << table << "." << column;
}

TEST_F(Schema, EveryTextColumnIsNocaseAndNoCollationOfOurOwnIsDeclared) {
  std::istringstream script(sqlite::SchemaScript());
  std::string line;
  int text_columns = 0;
  while (std::getline(script, line)) {
    EXPECT_EQ(line.find("TSQL"), std::string::npos) << line;
    if (line.find("varchar(") == std::string::npos) continue;
    ++text_columns;
    EXPECT_NE(line.find("COLLATE NOCASE"), std::string::npos) << line;
  }
  EXPECT_GT(text_columns, 40);
}

TEST_F(Schema, RowsNeedOnlyTheColumnsTheComponentReads) {
  sqlite::InitDatabase(db_, false);
  auto cn = OpenConnection(sqlite::ConnectionStringFor(db_));
  cn->Execute("INSERT INTO ICInventory (FItemID, FStockID, FQty) SELECT 7, 3, 1.5");
  cn->Execute("INSERT INTO POInventory (FItemID) SELECT 8");
  auto rs = cn->Execute(
      "SELECT FBrNo, FBatchNo, FMTONo, FSupplyID, FBal, FKFPeriod, FQtyLock, FAuxPropID, "
      "FSecQty, FStockPlaceID, FKFDate FROM ICInventory");
  // Every column but FStockPlaceID and FKFDate has a default and is never NULL.
  for (int i = 0; i < 9; ++i) EXPECT_FALSE(rs->Value(i).IsNull()) << rs->Columns()[i].name;
  EXPECT_TRUE(rs->Value("FStockPlaceID").IsNull());
  EXPECT_TRUE(rs->Value("FKFDate").IsNull());
  ExpectError(ado::kErrCommandFailed,
              [&] { cn->Execute("INSERT INTO ICInventory (FItemID, FQty) SELECT 9, NULL"); });
  auto procs = cn->Execute("SELECT FProcName FROM t_SupportedProc");
  ASSERT_EQ(procs->RecordCount(), 1);
  EXPECT_EQ(procs->Value(0).ToText(), "GetPeriodStartEnd");
}

TEST_F(Schema, AnExistingFileIsOverwrittenOnlyWhenForced) {
  std::ofstream(db_) << "keep me";
  ExpectError(ado::kErrProviderFailure, [&] { sqlite::InitDatabase(db_, false); });
  std::ifstream in(db_);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "keep me");
  sqlite::InitDatabase(db_, true);
  auto cn = OpenConnection(sqlite::ConnectionStringFor(db_));
  EXPECT_EQ(cn->Execute("SELECT count(*) AS n FROM t_PeriodDate")->Value(0).ToLong(), 0);
  // Nothing is left beside it.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir_)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

// Every entry of sqlite_master but the root pages, in order: type, name,
// table and statement.
std::vector<std::string> Catalog(sqlite3* db) {
  std::vector<std::string> out;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT type || '|' || name || '|' || tbl_name || '|' || ifnull(sql, '') "
                     "FROM sqlite_master ORDER BY 1",
                     -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW)
    out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  return out;
}

bool IsDeclaredIndex(const std::string& entry) {
  return entry.rfind("index|", 0) == 0 && entry.rfind("index|sqlite_autoindex_", 0) != 0;
}

std::vector<std::string> CatalogOf(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::vector<std::string> out = Catalog(db);
  sqlite3_close(db);
  return out;
}

TEST_F(Schema, TablesThenIndexesMakeExactlyTheScript) {
  // The script run whole, as one piece.
  sqlite3* whole = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &whole), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(whole, sqlite::SchemaScript().c_str(), nullptr, nullptr, nullptr),
            SQLITE_OK);
  const std::vector<std::string> expected = Catalog(whole);
  sqlite3_close(whole);

  sqlite3* split = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &split), SQLITE_OK);
  sqlite::CreateTables(split);
  const std::vector<std::string> tables = Catalog(split);
  sqlite::CreateIndexes(split);
  EXPECT_EQ(Catalog(split), expected);
  sqlite3_close(split);

  // The first step has every table, with the rows the script writes, and no
  // index but the keys that belong to the tables.
  std::vector<std::string> without_indexes;
  for (const std::string& entry : expected)
    if (!IsDeclaredIndex(entry)) without_indexes.push_back(entry);
  EXPECT_EQ(tables, without_indexes);
  EXPECT_GT(expected.size(), tables.size() + 30) << "the indexes come in the second step";
  sqlite::InitDatabase(db_, false);
  EXPECT_EQ(CatalogOf(db_), expected) << "init-db makes the same schema";
}

TEST_F(Schema, BuildDatabaseFillsTheTablesBeforeTheIndexesExist) {
  std::vector<std::string> seen;
  sqlite::BuildDatabase(db_, false, [&](sqlite3* db) {
    seen = Catalog(db);
    ASSERT_EQ(sqlite3_exec(db, "INSERT INTO t_ICItem (FItemID, FNumber) VALUES (7, '01.001')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
  });
  ASSERT_FALSE(seen.empty());
  for (const std::string& entry : seen) EXPECT_FALSE(IsDeclaredIndex(entry)) << entry;
  sqlite::InitDatabase((dir_ / "plain.db").string(), false);
  EXPECT_EQ(CatalogOf(db_), CatalogOf((dir_ / "plain.db").string()));
  auto cn = OpenConnection(sqlite::ConnectionStringFor(db_));
  EXPECT_EQ(cn->Execute("SELECT FItemID FROM t_ICItem WHERE FNumber = '01.001'")->Value(0).ToLong(),
            7);
}

TEST_F(Schema, AFailedFillLeavesTheExistingFileAsItWas) {
  std::ofstream(db_) << "keep me";
  struct Case {
    const char* what;
    std::function<void(sqlite3*)> fill;
  };
  const Case cases[] = {
      {"the fill raises", [](sqlite3*) { throw std::runtime_error("stop"); }},
      {"the rows break a unique index",
       [](sqlite3* db) {
         sqlite3_exec(db, "INSERT INTO t_ICItem (FItemID, FNumber) VALUES (1, 'A'), (2, 'a')",
                      nullptr, nullptr, nullptr);
       }},
  };
  for (const Case& c : cases) {
    EXPECT_ANY_THROW(sqlite::BuildDatabase(db_, true, c.fill)) << c.what;
    std::ifstream in(db_);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "keep me") << c.what;
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir_)) files += e.is_regular_file();
    EXPECT_EQ(files, 1) << c.what << ": nothing is left beside it";
  }
}

TEST_F(Schema, APlainSqliteShellFillsTheFileAndTheLayerReadsItBack) {
  if (std::system("command -v sqlite3 > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "the sqlite3 shell is not installed";
  sqlite::InitDatabase(db_, false);
  std::string fill = (dir_ / "fill.sql").string();
  std::ofstream(fill) << "INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES "
                         "('ic', 'saleexchangeratetype', '1'), ('IC', 'CurrentYear', '2024');\n"
                         "INSERT INTO t_PeriodDate VALUES (2024, 3, '2024-03-01 00:00:00', "
                         "'2024-03-31 00:00:00');\n"
                         "INSERT INTO t_ICItem (FItemID, FNumber, FName, FSalePrice) VALUES "
                         "(1, '01.001', '刹车片', 12.5), (2, '01.002', 'Filter', 10.0);\n"
                         "INSERT INTO ICInventory (FItemID, FStockID, FQty, FKFDate) VALUES "
                         "(1, 5, 3.0000000001, '2024-01-15');\n";
  std::string command = "sqlite3 -bail '" + db_ + "' < '" + fill + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  auto cn = OpenConnection(sqlite::ConnectionStringFor(db_));
  // The NOCASE columns find rows stored in another case.
  auto profile = cn->Execute(
      "SELECT FValue FROM t_SystemProfile WHERE FCategory = 'IC' AND FKey = "
      "'SaleExchangeRateType'");
  ASSERT_FALSE(profile->IsEOF());
  EXPECT_EQ(profile->Value(0).ToText(), "1");
  auto items = cn->Execute("SELECT FItemID, FName, FSalePrice FROM t_ICItem ORDER BY FItemID");
  EXPECT_EQ(items->Value("FName").ToText(), "刹车片");
  EXPECT_EQ(items->Value("FSalePrice").ToDecimal().ToString(), "12.5000000000");
  items->MoveNext();
  EXPECT_EQ(items->Value("FSalePrice").ToDecimal().ToString(), "10.0000000000");
  auto stock = cn->Execute("SELECT FQty FROM ICInventory");
  EXPECT_EQ(stock->Value(0).ToDecimal().ToString(), "3.0000000001");
  auto period = cn->Execute("SELECT FEndDate FROM t_PeriodDate WHERE FYear = 2024");
  ASSERT_EQ(period->Value(0).type(), VarType::kDate);
  EXPECT_EQ(date::ToIso(period->Value(0).date_days()), "2024-03-31 00:00:00");
}

}  // namespace
}  // namespace q8::testing
