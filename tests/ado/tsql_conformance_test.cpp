// Conformance cases for providers that run the component's T-SQL: batches
// without ";", #temporary tables, SET NOCOUNT, the connection statements of
// the data source, and the stored procedure GetPeriodStartEnd of the ERP
// database.
#include <gtest/gtest.h>

#include "connection/cdatasource.h"
#include "connection/cparse.h"
#include "tests/ado/conformance.h"
#include "tests/ado/support.h"

namespace q8::testing {
namespace {

using ado::ConnectionPtr;
using ado::FieldType;

class TsqlConformance : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override { cn_ = OpenConnection(GetParam().connection_string); }
  ConnectionPtr cn_;
};

TEST_P(TsqlConformance, ABatchWithoutSemicolonsYieldsItsFinalSelectThenDropsItsWorkTable) {
  const char* batch =
      "Set Nocount on\r\n"
      "CREATE TABLE [#w2008] ([FID] [int] NOT NULL, [FQty] [decimal](23, 10) NULL) ON [PRIMARY]"
      "INSERT INTO #w2008 (FID, FQty) SELECT 1, 2.5\r\n"
      "INSERT INTO #w2008 (FID, FQty) SELECT 2, 10\r\n"
      " Select FID, FQty From #w2008 Order By FID DROP TABLE #w2008\r\n";
  auto rs = cn_->Execute(batch);
  ASSERT_EQ(rs->FieldCount(), 2);
  EXPECT_EQ(rs->Columns()[1].type, FieldType::kDecimal);
  EXPECT_EQ(rs->RecordCount(), 2);
  rs->MoveLast();
  EXPECT_EQ(rs->Value("FQty").ToDecimal().Rescale(10).ToString(), "10.0000000000");
  // Walking on runs the DROP; then the name is free again.
  EXPECT_EQ(rs->NextRecordset(), nullptr);
  cn_->Execute("CREATE TABLE #w2008 (FID int) DROP TABLE #w2008");
}

TEST_P(TsqlConformance, StatementsAfterAnUnreadResultStillRunWhenItIsReleased) {
  cn_->Execute("CREATE TABLE #late (a int)");
  // The client lets go of the first result; the server runs the rest anyway.
  cn_->Execute(
      "SELECT 1 AS a INSERT INTO #late (a) SELECT 7 DROP TABLE #late CREATE TABLE #late (b int)");
  auto rs = cn_->Execute("SELECT b FROM #late");
  EXPECT_EQ(rs->FieldCount(), 1);
  EXPECT_TRUE(rs->IsEOF());
  cn_->Execute("DROP TABLE #late");
}

TEST_P(TsqlConformance, WithoutNocountEachChangeIsAResultWithoutColumns) {
  auto rs = cn_->Execute(
      "CREATE TABLE #cnt (a int)\r\n"
      "INSERT INTO #cnt (a) SELECT 1\r\n"
      "INSERT INTO #cnt (a) SELECT 2\r\n"
      "SELECT count(*) AS n FROM #cnt\r\n"
      "DROP TABLE #cnt");
  // CREATE gives nothing; each INSERT a row count; then the SELECT.
  EXPECT_EQ(rs->FieldCount(), 0);
  auto second = rs->NextRecordset();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->FieldCount(), 0);
  auto third = second->NextRecordset();
  ASSERT_NE(third, nullptr);
  ASSERT_EQ(third->FieldCount(), 1);
  EXPECT_EQ(third->Value("n").ToLong(), 2);
  EXPECT_EQ(third->NextRecordset(), nullptr);
}

TEST_P(TsqlConformance, NocountStaysOnForTheSession) {
  cn_->Execute("SET NOCOUNT ON");
  auto rs = cn_->Execute(
      "CREATE TABLE #nc (a int) INSERT INTO #nc (a) SELECT 5 SELECT a FROM #nc DROP TABLE #nc");
  ASSERT_EQ(rs->FieldCount(), 1);
  EXPECT_EQ(rs->Value(0).ToLong(), 5);
}

TEST_P(TsqlConformance, ConnectionStatementsAreAccepted) {
  for (const char* sql :
       {"SET TRANSACTION ISOLATION LEVEL READ UnCOMMITTED",
        "SET TRANSACTION ISOLATION LEVEL READ COMMITTED", "SET NOCOUNT ON", "DBCC TRACEOFF"}) {
    auto rs = cn_->Execute(sql);
    EXPECT_EQ(rs->State(), ado::kStateClosed) << sql;
    EXPECT_EQ(rs->FieldCount(), 0) << sql;
  }
}

TEST_P(TsqlConformance, DivisionByZeroIsAnError) {
  try {
    cn_->Execute("SELECT 10 / 0 AS x");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("Divide by zero error encountered."), std::string::npos)
        << e.description();
    ASSERT_FALSE(cn_->Errors().empty());
    EXPECT_EQ(cn_->Errors()[0].native_error, 8134);
  }
}

TEST_P(TsqlConformance, AnUnreadableDateIsError241) {
  try {
    cn_->Execute("SELECT CONVERT(datetime, 'not a date') AS d");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("Conversion failed when converting date and/or time"),
              std::string::npos)
        << e.description();
    ASSERT_FALSE(cn_->Errors().empty());
    EXPECT_EQ(cn_->Errors()[0].native_error, 241);
  }
}

// GetPeriodStartEnd of the ERP database: two inputs, two date outputs
// written once the call is complete.
class PeriodProcedure : public TsqlConformance {
 protected:
  void SetUp() override {
    TsqlConformance::SetUp();
    TryExecute(*cn_, "DELETE FROM t_PeriodDate WHERE FYear = 2999");
    cn_->Execute(
        "INSERT INTO t_PeriodDate (FYear, FPeriod, FStartDate, FEndDate) "
        "VALUES (2999, 3, '2999-03-01 00:00:00', '2999-03-31 00:00:00')");
  }
  void TearDown() override { TryExecute(*cn_, "DELETE FROM t_PeriodDate WHERE FYear = 2999"); }

  ado::CommandPtr Call(int year, int period) {
    auto cmd = ado::Command::Create();
    cmd->SetActiveConnection(cn_);
    cmd->set_command_type(ado::kCmdStoredProc);
    cmd->set_command_text("GetPeriodStartEnd");
    cmd->Append(cmd->CreateParameter("@aYear", ado::kTypeInteger, ado::kParamInput, 0, year));
    cmd->Append(cmd->CreateParameter("@aPeriod", ado::kTypeInteger, ado::kParamInput, 0, period));
    cmd->Append(cmd->CreateParameter("@aPeriodStart", ado::kTypeDBDate, ado::kParamOutput, 0));
    cmd->Append(cmd->CreateParameter("@aPeriodEnd", ado::kTypeDBDate, ado::kParamOutput, 0));
    cmd->Execute();
    return cmd;
  }
};

TEST_P(PeriodProcedure, OutputsHoldThePeriodBounds) {
  auto cmd = Call(2999, 3);
  ASSERT_EQ(cmd->Item(2).value.type(), VarType::kDate);
  EXPECT_EQ(date::ToIso(cmd->Item(2).value.date_days()), "2999-03-01 00:00:00");
  EXPECT_EQ(date::ToIso(cmd->Item(3).value.date_days()), "2999-03-31 00:00:00");
}

TEST_P(PeriodProcedure, OutputsAreNullForAPeriodThatDoesNotExist) {
  auto cmd = Call(2999, 13);
  EXPECT_TRUE(cmd->Item(2).value.IsNull());
  EXPECT_TRUE(cmd->Item(3).value.IsNull());
}

// The connection getters of the data source, with the target's connect
// string in the descriptor.
class DataSourceConnections : public ::testing::TestWithParam<Target> {
 protected:
  std::unique_ptr<CDataSource> Source(const std::string& dbms = "SQLite") {
    auto parser = std::make_shared<CParse>();
    parser->ParseString("ConnectString={" + GetParam().connection_string + "};DBMS Name=" + dbms +
                        ";DBMS Version=3;UserName=u;UserID=1;Language=CHS");
    auto ds = std::make_unique<CDataSource>();
    ds->SetParseObject(parser);
    return ds;
  }
};

TEST_P(DataSourceConnections, EveryGetterReturnsANewOpenConnectionSetUpForItsUse) {
  auto source = Source();
  CDataSource& ds = *source;
  struct Case {
    const char* getter;
    int cursor_location;
  };
  for (Case c : {Case{"UnCommittedConnection", ado::kUseClient},
                 Case{"Connection", ado::kUseClient}, Case{"ConnectionSrv", ado::kUseServer}}) {
    std::string g = c.getter;
    auto get = [&] {
      return g == "UnCommittedConnection" ? ds.UnCommittedConnection()
             : g == "Connection"          ? ds.Connection()
                                          : ds.ConnectionSrv();
    };
    auto a = get();
    auto b = get();
    EXPECT_NE(a, b) << g;
    EXPECT_EQ(a->State(), ado::kStateOpen) << g;
    EXPECT_EQ(a->cursor_location(), c.cursor_location) << g;
    EXPECT_EQ(a->command_timeout(), 0) << g;
    EXPECT_EQ(a->connection_string(), GetParam().connection_string) << g;
  }
  // ConnectionSrv has NOCOUNT on: the first result of a batch is its SELECT.
  auto srv = ds.ConnectionSrv();
  auto rs = srv->Execute("CREATE TABLE #s (a int) INSERT INTO #s (a) SELECT 1 SELECT a FROM #s");
  EXPECT_EQ(rs->FieldCount(), 1);
}

TEST_P(DataSourceConnections, NamesComeFromTheDescriptor) {
  struct Case {
    const char* dbms;
    bool oracle;
  };
  for (Case c : {Case{"Oracle", true}, Case{"ORACLE", false}, Case{"oracle", false},
                 Case{"SQL Server", false}}) {
    auto ds = Source(c.dbms);
    EXPECT_EQ(ds->DBMSName(), c.dbms);
    EXPECT_EQ(ds->IsOracle(), c.oracle) << c.dbms;
    EXPECT_EQ(ds->ConnectString(), GetParam().connection_string);
  }
}

TEST_P(DataSourceConnections, ADescriptorWithoutConnectStringFailsBeforeOpening) {
  auto parser = std::make_shared<CParse>();
  parser->ParseString("DBMS Name=SQLite;Language=CHS");
  CDataSource ds;
  ds.SetParseObject(parser);
  ExpectError(err::kInvalidProcedureCall, [&] { ds.UnCommittedConnection(); });
  ExpectError(err::kInvalidProcedureCall, [&] { ds.ConnectionSrv(); });
}

INSTANTIATE_TEST_SUITE_P(Targets, TsqlConformance, ::testing::ValuesIn(TsqlTargets()),
                         TargetName());
INSTANTIATE_TEST_SUITE_P(Targets, PeriodProcedure, ::testing::ValuesIn(TsqlTargets()),
                         TargetName());
INSTANTIATE_TEST_SUITE_P(Targets, DataSourceConnections, ::testing::ValuesIn(TsqlTargets()),
                         TargetName());

}  // namespace
}  // namespace q8::testing
