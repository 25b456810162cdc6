// The demo generator: one seed gives one database, and the data hangs
// together the way the reports expect of a real ledger.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "drivers/sqlite/schema.h"
#include "q8vantorpt/error.h"
#include "tools/q8vantorpt/demo_db.h"

namespace q8::tool {
namespace {

namespace fs = std::filesystem;

class DemoDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("q8_demo_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Make(const std::string& name, int64_t lines, uint64_t seed) {
    const std::string path = (dir_ / name).string();
    GenerateDemoDatabase(path, DemoOptions{lines, seed}, false);
    return path;
  }

  fs::path dir_;
};

struct Db {
  explicit Db(const std::string& path) {
    sqlite3* raw = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    db.reset(raw);
  }
  // Every row of every table, as text with the storage class of each value.
  std::string Dump() {
    std::string out;
    for (const std::string& table :
         Column("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name")) {
      out += "## " + table + "\n";
      Each("SELECT * FROM \"" + table + "\" ORDER BY rowid", [&](sqlite3_stmt* s) {
        for (int i = 0; i < sqlite3_column_count(s); ++i) {
          const unsigned char* t = sqlite3_column_text(s, i);
          out += std::to_string(sqlite3_column_type(s, i)) + ":" +
                 (t ? reinterpret_cast<const char*>(t) : "") + "|";
        }
        out += "\n";
      });
    }
    return out;
  }
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> out;
    Each(sql, [&](sqlite3_stmt* s) {
      const unsigned char* t = sqlite3_column_text(s, 0);
      out.emplace_back(t ? reinterpret_cast<const char*>(t) : "NULL");
    });
    return out;
  }
  std::string One(const std::string& sql) {
    auto v = Column(sql);
    return v.empty() ? "(none)" : v[0];
  }
  template <class F>
  void Each(const std::string& sql, F&& f) {
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &s, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db.get());
    while (sqlite3_step(s) == SQLITE_ROW) f(s);
    sqlite3_finalize(s);
  }
  struct Closer {
    void operator()(sqlite3* d) const { sqlite3_close(d); }
  };
  std::unique_ptr<sqlite3, Closer> db;
};

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(DemoDbTest, OneSeedOneDatabase) {
  const std::string a = Make("a.db", 3000, 42), b = Make("b.db", 3000, 42),
                    c = Make("c.db", 3000, 43);
  const std::string dump_a = Db(a).Dump();
  EXPECT_EQ(dump_a, Db(b).Dump());
  EXPECT_NE(dump_a, Db(c).Dump());
  EXPECT_TRUE(Bytes(a) == Bytes(b)) << "the same seed gives the same file, byte for byte";
}

TEST_F(DemoDbTest, RefusesAnExistingFileUnlessForced) {
  const std::string path = Make("d.db", 200, 1);
  const std::string before = Bytes(path);
  EXPECT_THROW(GenerateDemoDatabase(path, DemoOptions{200, 2}, false), Error);
  EXPECT_TRUE(Bytes(path) == before) << "a refused run leaves the file alone";
  GenerateDemoDatabase(path, DemoOptions{200, 2}, true);
  EXPECT_FALSE(Bytes(path) == before);
}

TEST_F(DemoDbTest, HasTheSchemaOfInitDb) {
  const std::string plain = (dir_ / "plain.db").string();
  sqlite::InitDatabase(plain, false);
  const std::string catalog =
      "SELECT type || '|' || name || '|' || tbl_name || '|' || ifnull(sql, '') FROM "
      "sqlite_master ORDER BY 1";
  const std::vector<std::string> expected = Db(plain).Column(catalog);
  EXPECT_GT(expected.size(), 60u);
  EXPECT_EQ(Db(Make("s.db", 500, 3)).Column(catalog), expected);
}

TEST_F(DemoDbTest, TheSummaryCountsTheRowsInTheFile) {
  // Small and larger: the large tables are written in batches of rows, and
  // the last, partial batch must reach the file too.
  for (const int64_t lines : {int64_t{150}, int64_t{2777}}) {
    const std::string path = (dir_ / ("n" + std::to_string(lines) + ".db")).string();
    const DemoSummary summary = GenerateDemoDatabase(path, DemoOptions{lines, 5}, false);
    Db db(path);
    ASSERT_GT(summary.rows.size(), 20u);
    for (const auto& [table, rows] : summary.rows) {
      EXPECT_EQ(db.One("SELECT count(*) FROM \"" + table + "\""), std::to_string(rows))
          << table << " at " << lines << " lines";
    }
  }
}

TEST_F(DemoDbTest, TheLedgerHangsTogether) {
  constexpr int64_t kLines = 4000;
  Db db(Make("e.db", kLines, 7));
  struct Check {
    const char* sql;
    const char* expected;
    const char* why;
  };
  const Check checks[] = {
      {"SELECT (SELECT count(*) FROM ICStockBillEntry) + (SELECT count(*) FROM ICSaleEntry) "
       "BETWEEN 4000 AND 4020",
       "1", "about --scale bill lines"},
      {"SELECT count(*) FROM t_Stock s LEFT JOIN t_Item i ON i.FItemID = s.FItemID AND "
       "i.FItemClassID = 5 AND i.FNumber = s.FNumber AND i.FShortNumber = s.FShortNumber AND "
       "i.FName = s.FName WHERE i.FItemID IS NULL",
       "0", "every warehouse is also a class-5 item of the same code and name"},
      {"SELECT count(*) FROM t_Item GROUP BY FItemID HAVING count(*) > 1", "(none)",
       "one id space for customers, suppliers and warehouses"},
      {"SELECT count(*) FROM t_Stock s WHERE FTypeID = 505 AND (SELECT count(*) FROM "
       "t_QPCustInvEntry e WHERE e.FStockID = s.FItemID) <> 1",
       "0", "each consignment warehouse belongs to exactly one customer"},
      {"SELECT group_concat(FTypeID) FROM (SELECT DISTINCT FTypeID FROM t_Stock ORDER BY 1)",
       "500,504,505,20291,20293", "the warehouse types the reports know"},
      {"SELECT count(*) FROM t_QPCustInv q JOIN t_Item i ON i.FItemID = q.FCustID AND "
       "i.FItemClassID = 1",
       "(SELECT count(*) FROM t_QPCustInv)", "consignment customers are customers"},
      {"SELECT count(*) FROM ICInventory WHERE FQty < 0", "0", "no negative stock"},
      {"SELECT (SELECT sum(FQty) FROM ICInventory u JOIN t_Stock s ON s.FItemID = u.FStockID "
       "AND s.FTypeID = 505) = "
       "(SELECT sum(CASE WHEN a.FBisType = 37511 AND b.FDCStockID = s.FItemID THEN b.FQty "
       "WHEN a.FBisType = 37512 AND b.FSCStockID = s.FItemID THEN -b.FQty "
       "WHEN a.FSaleStyle = 104 AND b.FDCStockID = s.FItemID THEN -b.FQty ELSE 0 END) "
       "FROM ICStockBill a JOIN ICStockBillEntry b ON a.FInterID = b.FInterID "
       "JOIN t_Stock s ON s.FTypeID = 505 AND s.FItemID IN (b.FDCStockID, b.FSCStockID) "
       "WHERE a.FCancellation = 0)",
       "1", "consignment stock is what was sent, less returns and settlements"},
      {"SELECT count(*) FROM ICSaleEntry s LEFT JOIN ICStockBillEntry b ON b.FInterID = "
       "s.FSourceInterID AND b.FEntryID = s.FSourceEntryID LEFT JOIN ICStockBill a ON "
       "a.FInterID = b.FInterID WHERE a.FSaleStyle IS NOT 104 OR b.FItemID <> s.FItemID OR "
       "b.FQty <> s.FQty",
       "0", "each invoice line bills one settlement line"},
      {"SELECT count(*) FROM ICSale WHERE FTranType NOT IN (80, 86) OR FSaleStyle <> 104", "0",
       "consignment invoices"},
      {"SELECT count(*) FROM ICStockBill WHERE FTranType = 21 AND (FSupplyID IS NOT FCustID OR "
       "FROB <> 1)",
       "0", "type-21 bills name the customer in FSupplyID"},
      {"SELECT count(DISTINCT FBisType || '/' || FSaleStyle || '/' || FTranType) FROM ICStockBill",
       "5", "purchases, sends, transfers, returns, settlements"},
      {"SELECT min(FDate) >= '2024-01-01' AND max(FDate) <= '2024-12-31 00:00:00' FROM ICStockBill",
       "1", "a year of bills"},
      {"SELECT count(*) FROM ICStockBill WHERE FDate NOT GLOB "
       "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] 00:00:00'",
       "0", "date-times as text"},
      {"SELECT sum(FCancellation) > 0 AND sum(FStatus = 0) > 0 FROM ICStockBill", "1",
       "some bills cancelled, some not yet checked"},
      {"SELECT count(*) FROM t_ICItem WHERE FNumber NOT GLOB "
       "'[0-9][0-9].[0-9][0-9].[0-9][0-9][0-9][0-9]' OR FShortNumber <> substr(FNumber, 7)",
       "0", "material codes like 01.02.0003 with their short numbers"},
      {"SELECT group_concat(DISTINCT c.FCoefficient) FROM t_ICItem i JOIN t_MeasureUnit c ON "
       "c.FMeasureUnitID = i.FStoreUnitID AND c.FName = '箱'",
       "10,12,20", "boxes of 10, 12 and 20"},
      {"SELECT count(*) FROM t_ICItem i JOIN t_MeasureUnit u ON u.FMeasureUnitID = i.FUnitID "
       "WHERE u.FName <> '个'",
       "0", "the base unit is the piece"},
      {"SELECT count(*) > 0 FROM ICInventory WHERE FKFDate GLOB "
       "'2[0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]'",
       "1", "readable production dates"},
      {"SELECT count(*) > 0 FROM ICInventory WHERE FKFDate LIKE '%-02-30' OR FKFDate = '待定'", "1",
       "some production dates unreadable"},
      {"SELECT count(*) > 0 FROM ICInventory WHERE FKFDate IS NULL", "1", "some missing"},
      {"SELECT count(*) > 0 FROM POInventory WHERE FStockTypeID IN (20291, 20293, 504)", "1",
       "virtual warehouses hold their stock in POInventory"},
      {"SELECT count(*) FROM t_ExchangeRateEntry e JOIN t_SystemProfile g ON g.FCategory = 'GL' "
       "AND g.FKey = 'FBWB' AND e.FCyTo = g.FValue JOIN t_SystemProfile r ON r.FCategory = 'ic' "
       "AND r.FKey = 'saleexchangeratetype' AND e.FExchangeRateType = r.FValue WHERE "
       "e.FExchangeRate = 1",
       "1", "the base currency has its own rate 1 of the sales rate type"},
      {"SELECT count(DISTINCT FRelatedID) > 1 FROM ICPrcPlyEntry e JOIN IcPrcPly p ON "
       "p.FInterID = e.FInterID AND p.FPlyType = 'PrcAsm1'",
       "1", "customer price policies"},
      {"SELECT count(*) FROM t_PeriodDate p JOIN t_SystemProfile y ON y.FCategory = 'IC' AND "
       "y.FKey = 'CurrentYear' AND p.FYear = y.FValue",
       "12", "twelve periods in the current year"},
      {"SELECT FValue FROM t_SystemProfile WHERE FCategory = 'GL' AND FKey = 'Periodcount'", "12",
       ""},
      {"SELECT count(*) FROM ICReport WHERE FRptName > '' AND FRptName_CHT > '' AND "
       "FRptName_EN > '' AND FRptGrpID IN (SELECT FRptGrpID FROM ICReportGroup)",
       "3", "the three reports in three languages"},
      {"SELECT count(*) FROM t_DataTypeInfo WHERE FTypeName IN ('decimal', 'varchar()', "
       "'nvarchar()', 'int', 'datetime')",
       "5", "type names of the DBMS"},
  };
  for (const Check& c : checks) {
    std::string expected = c.expected;
    if (expected.front() == '(' && expected != "(none)") expected = db.One("SELECT " + expected);
    EXPECT_EQ(db.One(c.sql), expected) << c.why << "\n" << c.sql;
  }
}

}  // namespace
}  // namespace q8::tool
