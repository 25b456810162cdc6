// The embedded SQLite provider: what is particular to it beyond the
// conformance suite (opening files, sessions, typing of SQLite's dynamic
// values, procedures, errors, properties).
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "component/providers.h"
#include "core/ado/provider.h"
#include "drivers/sqlite/schema.h"
#include "tests/ado/support.h"

namespace q8::testing {
namespace {

namespace fs = std::filesystem;
using ado::FieldType;

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() /
            ("q8-sqlite-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

class SqliteProvider : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterBuiltinProviders();
    db_ = dir_.File("erp.db");
    sqlite::InitDatabase(db_, false);
  }
  ado::ConnectionPtr Open(const std::string& extra = "") {
    return OpenConnection(sqlite::ConnectionStringFor(db_) + extra);
  }
  // Runs plain SQLite statements on the file, outside the layer.
  void Raw(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(db_.c_str(), &db), SQLITE_OK);
    char* msg = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
    EXPECT_EQ(rc, SQLITE_OK) << (msg ? msg : "");
    sqlite3_free(msg);
    sqlite3_close(db);
  }
  TempDir dir_;
  std::string db_;
};

TEST_F(SqliteProvider, AMissingFileIsAnErrorAndIsNotCreated) {
  std::string missing = dir_.File("nope.db");
  auto cn = ado::Connection::Create();
  Error e = ExpectError(ado::kErrProviderFailure,
                        [&] { cn->Open(sqlite::ConnectionStringFor(missing)); });
  EXPECT_EQ(e.source(), "Q8VANTORpt SQLite");
  EXPECT_NE(e.description().find(missing), std::string::npos);
  EXPECT_FALSE(fs::exists(missing));
  ASSERT_EQ(cn->Errors().size(), 1u);
  EXPECT_EQ(cn->Errors()[0].sql_state, "08001");
  EXPECT_EQ(cn->State(), ado::kStateClosed);
}

TEST_F(SqliteProvider, AFileThatIsNotADatabaseFailsOnOpen) {
  std::string junk = dir_.File("junk.db");
  std::ofstream(junk) << "this is not a database file, just some text that is long enough";
  auto cn = ado::Connection::Create();
  ExpectError(ado::kErrCommandFailed, [&] { cn->Open(sqlite::ConnectionStringFor(junk)); });
  EXPECT_EQ(cn->State(), ado::kStateClosed);
}

TEST_F(SqliteProvider, TemporaryTablesOfTwoConnectionsDoNotCollide) {
  auto a = Open();
  auto b = Open();
  a->Execute("CREATE TABLE #t (v int) INSERT INTO #t (v) SELECT 1");
  b->Execute("CREATE TABLE #t (v varchar(5)) INSERT INTO #t (v) SELECT 'x'");
  auto ra = a->Execute("SELECT v FROM #t");
  auto rb = b->Execute("SELECT v FROM #t");
  EXPECT_EQ(ra->Columns()[0].type, FieldType::kInt);
  EXPECT_EQ(ra->Value(0).ToLong(), 1);
  EXPECT_EQ(rb->Columns()[0].type, FieldType::kText);
  EXPECT_EQ(rb->Value(0).ToText(), "x");
  // A third connection sees neither.
  auto c = Open();
  EXPECT_THROW(c->Execute("SELECT v FROM #t"), Error);
}

TEST_F(SqliteProvider, ResultColumnsAreTypedFromDeclarationsAndValues) {
  Raw("INSERT INTO ICStockBillEntry (FInterID, FEntryID, FDetailID, FQty, FKFDate, FBatchNo) "
      "VALUES (1, 1, 1, 10, '2024-01-31 00:00:00', 'B1');"
      "INSERT INTO ICStockBillEntry (FInterID, FEntryID, FDetailID, FQty, FKFDate, FBatchNo) "
      "VALUES (1, 2, 2, 2.5, 20240131, 7)");
  auto cn = Open();
  struct Case {
    const char* why;
    const char* sql;
    FieldType type;
    std::vector<std::string> values;  // per row, as text
  };
  const Case cases[] = {
      {"a whole decimal stored as an integer keeps the scale",
       "SELECT FQty FROM ICStockBillEntry ORDER BY FEntryID",
       FieldType::kDecimal,
       {"10.0000000000", "2.5000000000"}},
      {"a date that NUMERIC affinity turned into an integer",
       "SELECT FKFDate FROM ICStockBillEntry ORDER BY FEntryID",
       FieldType::kDateTime,
       {"2024-01-31 00:00:00", "2024-01-31 00:00:00"}},
      {"a number stored in a text column reads as text",
       "SELECT FBatchNo FROM ICStockBillEntry ORDER BY FEntryID",
       FieldType::kText,
       {"B1", "7"}},
  };
  for (const Case& c : cases) {
    auto rs = cn->Execute(c.sql);
    ASSERT_EQ(rs->FieldCount(), 1) << c.why;
    EXPECT_EQ(rs->Columns()[0].type, c.type) << c.why;
    for (const std::string& expected : c.values) {
      ASSERT_FALSE(rs->IsEOF()) << c.why;
      Variant v = rs->Value(0);
      std::string text = v.type() == VarType::kDate      ? date::ToIso(v.date_days())
                         : v.type() == VarType::kDecimal ? v.ToDecimal().ToString()
                                                         : v.ToText();
      EXPECT_EQ(text, expected) << c.why;
      rs->MoveNext();
    }
  }
}

TEST_F(SqliteProvider, AnUntypedColumnTakesTheTypeOfItsValues) {
  auto cn = Open();
  // The values decide: all integers, integers then a fraction, then text.
  auto ints = cn->Execute("SELECT v FROM (SELECT NULL AS v UNION ALL SELECT 1 UNION ALL SELECT 2)");
  auto rs =
      cn->Execute("SELECT a, b FROM (SELECT 1 AS a, 1 AS b UNION ALL SELECT 2.5, 'x') ORDER BY a");
  EXPECT_EQ(ints->Columns()[0].type, FieldType::kInt);
  EXPECT_EQ(ints->RecordCount(), 3);
  EXPECT_EQ(rs->Columns()[0].type, FieldType::kDouble);
  EXPECT_EQ(rs->Columns()[1].type, FieldType::kText);
  rs->MoveLast();
  EXPECT_EQ(rs->Value(0).ToDouble(), 2.5);
  EXPECT_EQ(rs->Value(1).ToText(), "x");
  rs->MoveFirst();
  EXPECT_EQ(rs->Value(1).ToText(), "1");
}

TEST_F(SqliteProvider, DecimalResultsComputedAsRealsAreExact) {
  // SQLite adds decimals as doubles; the sum of exact amounts must still be
  // the exact amount, as SQL Server's decimal arithmetic gives it.
  struct Case {
    const char* why;
    std::vector<const char*> values;  // rows of a decimal(38,10) column
    const char* sum;
  };
  const Case cases[] = {
      {"two tenths", {"0.1", "0.2"}, "0.3000000000"},
      {"amounts whose double sum is 17141938.999999996",
       {"2625295.71", "2069338.49", "4695273.27", "3061207.38", "1707421.93", "2983402.22"},
       "17141939.0000000000"},
      {"the same amounts negative",
       {"-2625295.71", "-2069338.49", "-4695273.27", "-3061207.38", "-1707421.93", "-2983402.22"},
       "-17141939.0000000000"},
      {"fifteen digits near 1e14",
       {"10044323561257.8", "38740337133091.3", "29278229924293.3", "3.6", "0.3"},
       "78062890618646.3000000000"},
      {"a whole number past 1e15 keeps every digit",
       {"1234567890123455.5", "0.5"},
       "1234567890123456.0000000000"},
      {"fifteen digits that are not round stay",
       {"12345.6789012344", "0.0000000001"},
       "12345.6789012345"},
      {"a fraction smaller than a cent", {"0.0000000003", "0.0000000004"}, "0.0000000007"},
  };
  auto cn = Open();
  for (const Case& c : cases) {
    std::string batch = "CREATE TABLE #t (v decimal(38,10))";
    for (const char* v : c.values) batch += std::string(" INSERT INTO #t (v) SELECT ") + v;
    cn->Execute(batch);
    auto rs = cn->Execute("SELECT sum(v) AS s FROM #t DROP TABLE #t");
    ASSERT_EQ(rs->Columns()[0].type, FieldType::kDecimal) << c.why;
    EXPECT_EQ(rs->Value(0).ToDecimal().ToString(), c.sum) << c.why;
  }
}

TEST_F(SqliteProvider, FailuresCarryTheirNumberCauseAndStatement) {
  auto cn = Open();
  struct Case {
    const char* sql;
    int32_t number;
    const char* sql_state;
    const char* cause;  // in the description
  };
  const Case cases[] = {
      {"SELECT 1 / 0 AS x", 8134, "22012", "Divide by zero error encountered."},
      {"SELECT CONVERT(datetime, '2024-13-45') AS d", 241, "22007",
       "Conversion failed when converting date and/or time from character string."},
      {"SELECT DATEADD(year, 9000, CONVERT(datetime, '2024-01-01')) AS d", 517, "22008",
       "Adding a value to a 'datetime' column caused an overflow."},
      {"SELECT CONVERT(datetime, '9999-12-31') + 1 AS d", 8115, "22003",
       "Arithmetic overflow error converting expression to data type datetime."},
      // SQL Server's type rules, with its numbers.
      {"SELECT 2147483647 + 1 AS x", 8115, "22003",
       "Arithmetic overflow error converting expression to data type int."},
      {"SELECT CAST(1234.5 AS decimal(4,1)) AS x", 8115, "22003", "Arithmetic overflow error"},
      {"SELECT 1 + '1.5' AS x", 245, "22018",
       "Conversion failed when converting the varchar value '1.5' to data type int."},
      {"SELECT CAST('abc' AS decimal(10,2)) AS x", 8114, "22018",
       "Error converting data type varchar to numeric."},
      {"SELECT CAST('3000000000' AS int) AS x", 248, "22003",
       "The conversion of the varchar value '3000000000' overflowed an int column."},
      {"SELECT 1 AS x /* never closed", 113, "42000", "Missing end comment mark '*/'."},
      {"SELECT FNoSuchColumn FROM t_ICItem", ado::kErrCommandFailed, "42000",
       "no such column: FNoSuchColumn"},
      // A quoted name is a name, never the string it spells.
      {"SELECT \"FNoSuchColumn\" FROM t_ICItem", ado::kErrCommandFailed, "42000",
       "no such column: FNoSuchColumn"},
      {"SELECT [FNoSuchColumn] FROM t_ICItem", ado::kErrCommandFailed, "42000",
       "no such column: FNoSuchColumn"},
      {"INSERT INTO t_PeriodDate (FYear, FPeriod) SELECT 1, 1\r\n"
       "INSERT INTO t_PeriodDate (FYear, FPeriod) SELECT 1, 1",
       ado::kErrCommandFailed, "23000", "UNIQUE constraint failed"},
  };
  for (const Case& c : cases) {
    try {
      auto rs = cn->Execute(c.sql);
      while (rs) rs = rs->NextRecordset();
      ADD_FAILURE() << "no error: " << c.sql;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number) << c.sql << ": " << e.description();
      EXPECT_EQ(e.source(), "Q8VANTORpt SQLite");
      EXPECT_NE(e.description().find(c.cause), std::string::npos) << e.description();
      EXPECT_NE(e.description().find("[statement: "), std::string::npos) << e.description();
      ASSERT_EQ(cn->Errors().size(), 1u) << c.sql;
      EXPECT_EQ(cn->Errors()[0].sql_state, c.sql_state) << c.sql;
    }
  }
}

// A date the translator cannot read fails the statement it stands in; the
// error names that statement, not the batch's first line.
TEST_F(SqliteProvider, ATranslationFailureNamesItsStatement) {
  auto cn = Open();
  const std::string batch =
      " Set Nocount on\r\nCREATE TABLE #t (d datetime)\r\n"
      "insert into #t (d) select FDate from ICStockBill where FDate>='2024-13-45'\r\n"
      "select * from #t\r\nDROP TABLE #t";
  try {
    cn->Execute(batch);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 241);
    EXPECT_EQ(e.description(),
              "Conversion failed when converting date and/or time from character string. "
              "[statement: insert into #t (d) select FDate from ICStockBill where "
              "FDate>='2024-13-45']");
  }
}

// The statement an error names is written on one line, but a literal keeps
// its blanks: they are its value.
TEST_F(SqliteProvider, TheNamedStatementKeepsTheBlanksOfItsLiterals) {
  auto cn = Open();
  try {
    cn->Execute("select   1\r\n  where 'a  b' = 'it''s  ' +\t'x'  / 0");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    const std::string d = e.description();
    EXPECT_NE(d.find("[statement: select 1 where 'a  b' = 'it''s  ' + 'x' / 0]"), std::string::npos)
        << d;
  }
}

TEST_F(SqliteProvider, ALockedDatabaseIsWaitedForThenReported) {
  auto writer = Open(";Busy Timeout=200");
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db_.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  auto start = std::chrono::steady_clock::now();
  Error e = ExpectError(ado::kErrCommandFailed,
                        [&] { writer->Execute("INSERT INTO t_Currency (FCurrencyID) SELECT 1"); });
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(150));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_NE(e.description().find("locked"), std::string::npos) << e.description();
  EXPECT_EQ(writer->Errors()[0].sql_state, "HYT00");
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  writer->Execute("INSERT INTO t_Currency (FCurrencyID) SELECT 1");
}

TEST_F(SqliteProvider, ACommandTimeLimitInterruptsALongStatement) {
  auto cn = Open();
  cn->set_command_timeout(1);
  auto start = std::chrono::steady_clock::now();
  ExpectError(ado::kErrTimeout, [&] {
    cn->Execute(
        "WITH c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
        "SELECT count(*) AS n FROM c");
  });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(SqliteProvider, GetPeriodStartEndReadsThePeriodCalendar) {
  Raw("INSERT INTO t_PeriodDate VALUES (2024, 2, '2024-02-01 08:30:00', '2024-02-29 00:00:00')");
  auto cn = Open();
  auto call = [&](int type, int year) {
    auto cmd = ado::Command::Create();
    cmd->SetActiveConnection(cn);
    cmd->set_command_type(ado::kCmdStoredProc);
    cmd->set_command_text("GetPeriodStartEnd");
    cmd->Append(cmd->CreateParameter("@aYear", ado::kTypeInteger, ado::kParamInput, 0, year));
    cmd->Append(cmd->CreateParameter("@aPeriod", ado::kTypeInteger, ado::kParamInput, 0, 2));
    cmd->Append(cmd->CreateParameter("@aPeriodStart", type, ado::kParamOutput, 0));
    cmd->Append(cmd->CreateParameter("@aPeriodEnd", type, ado::kParamOutput, 0));
    auto rs = cmd->Execute();
    EXPECT_EQ(rs->FieldCount(), 0);  // no rows come back
    return cmd;
  };
  // A database date holds the day only; a timestamp keeps the time.
  EXPECT_EQ(date::ToIso(call(ado::kTypeDBDate, 2024)->Item(2).value.date_days()),
            "2024-02-01 00:00:00");
  EXPECT_EQ(date::ToIso(call(ado::kTypeDBTimeStamp, 2024)->Item(2).value.date_days()),
            "2024-02-01 08:30:00");
  EXPECT_TRUE(call(ado::kTypeDBDate, 2023)->Item(3).value.IsNull());
}

TEST_F(SqliteProvider, ProcedureCallsWithWrongNamesOrArgumentsFail) {
  auto cn = Open();
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cn);
  cmd->set_command_type(ado::kCmdStoredProc);
  cmd->set_command_text("GetNothing");
  Error e = ExpectError(2812, [&] { cmd->Execute(); });
  EXPECT_NE(e.description().find("GetNothing"), std::string::npos);
  cmd->set_command_text("dbo.[GetPeriodStartEnd]");
  cmd->Append(cmd->CreateParameter("@aYear", ado::kTypeInteger, ado::kParamInput, 0, 2024));
  e = ExpectError(201, [&] { cmd->Execute(); });
  EXPECT_NE(e.description().find("@aPeriod"), std::string::npos);
  // Execute with the stored-procedure option calls it the same way.
  ExpectError(201, [&] { cn->Execute("GetPeriodStartEnd", ado::kCmdStoredProc); });
}

TEST_F(SqliteProvider, PropertiesDescribeTheEngine) {
  auto cn = Open();
  EXPECT_EQ(cn->PropertyValue("DBMS Name").ToText(), "SQLite");
  EXPECT_EQ(cn->PropertyValue("DBMS Version").ToText(), sqlite3_libversion());
  EXPECT_EQ(cn->PropertyValue("Like Escape Clause").ToText(), "Y");
  EXPECT_TRUE(cn->PropertyValue("Multiple Results").ToBool());
  // Bits of functions SQLite always has: ABS, ROUND; IFNULL; CURRENT_DATE.
  EXPECT_EQ(cn->PropertyValue("Numeric Functions").ToLong() & 0x400001, 0x400001);
  EXPECT_EQ(cn->PropertyValue("System Functions").ToLong() & 0x4, 0x4);
  EXPECT_EQ(cn->PropertyValue("Time/Date Functions").ToLong() & 0x20000, 0x20000);
  // And none it lacks: there is lower(), but no LCASE.
  EXPECT_EQ(cn->PropertyValue("String Functions").ToLong() & 0x40, 0);
}

}  // namespace
}  // namespace q8::testing

namespace q8::testing {
namespace {

// A connection that ends goes back to the process's idle pool when it is
// clean; whatever the previous session left, and whatever happened to the
// file meanwhile, the next session must read as a newly opened connection.
class IdleConnections : public SqliteProvider {
 protected:
  int64_t Count(const ado::ConnectionPtr& cn, const std::string& sql) {
    return cn->Execute(sql)->Value(0).ToInt64();
  }
  void UseAndClose(const std::string& sql) {
    auto cn = Open();
    cn->Execute(sql);
    cn->Close();
  }
};

TEST_F(IdleConnections, TheNextSessionStartsAsANewConnection) {
  struct Case {
    const char* what;
    const char* first;   // run on a session that then ends
    const char* second;  // on the next session
    int64_t want;
  };
  const Case cases[] = {
      {"a work table does not outlive its session",
       "create table #w (a int) insert into #w values (1)",
       "select count(*) from sqlite_temp_schema", 0},
      {"an open transaction is rolled back, not handed on",
       "begin transaction insert into t_Stock (FItemID, FNumber, FName) values (9001, 'x', 'x')",
       "select count(*) from t_Stock where FItemID = 9001", 0},
      {"a committed change is read",
       "insert into t_Stock (FItemID, FNumber, FName) values (9002, 'y', 'y')",
       "select count(*) from t_Stock where FItemID = 9002", 1},
  };
  for (const Case& c : cases) {
    UseAndClose(c.first);
    auto cn = Open();
    EXPECT_EQ(Count(cn, c.second), c.want) << c.what;
  }
}

TEST_F(IdleConnections, ChangesOfAnotherProcessAreRead) {
  UseAndClose("select count(*) from t_Stock");
  Raw("create table extra_table (a int); insert into extra_table values (1), (2);");
  auto cn = Open();
  EXPECT_EQ(Count(cn, "select count(*) from extra_table"), 2);
}

TEST_F(IdleConnections, AReplacedFileIsNeverServedByTheOldConnection) {
  for (const bool rename_over : {true, false}) {
    UseAndClose("select count(*) from t_Stock");
    // A new database at the same path: renamed over the old one, or created
    // after the old one was removed (its inode number may come back).
    const std::string other = dir_.File("other.db");
    sqlite::InitDatabase(other, true);
    {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(db, "create table marker (a int)", nullptr, nullptr, nullptr),
                SQLITE_OK);
      sqlite3_close(db);
    }
    if (rename_over) {
      fs::rename(other, db_);
    } else {
      fs::remove(db_);
      fs::copy_file(other, db_);
      fs::remove(other);
    }
    auto cn = Open();
    EXPECT_EQ(Count(cn, "select count(*) from sqlite_schema where name = 'marker'"), 1)
        << (rename_over ? "renamed over" : "removed and created again");
    cn->Close();
    // The next round starts from a database without the marker.
    sqlite::InitDatabase(db_, true);
  }
}

}  // namespace
}  // namespace q8::testing
