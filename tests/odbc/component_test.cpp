// The component's own paths that are not T-SQL, end to end over ODBC: the
// public Data object with a descriptor whose ConnectString is an ODBC string
// to PostgreSQL (psqlODBC).
#include <gtest/gtest.h>

#include <string>

#include "q8vantorpt/data.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/rpt.h"
#include "tests/odbc/odbc_fixture.h"

namespace q8::odbc::testing {
namespace {

class ComponentOverOdbcTest : public PostgresTest {
 protected:
  void SetUp() override {
    PostgresTest::SetUp();
    if (IsSkipped()) return;
    RegisterComponent();
    // What the ERP database offers, in PostgreSQL's words: the period
    // procedure as a function with OUT parameters, the server clock as
    // GetDate(), and the system profile.
    // The suites share one throw-away database and declare the function with
    // different OUT types, which "create or replace" cannot change.
    RunSql(cn_, "drop function if exists GetPeriodStartEnd(int, int)");
    RunSql(cn_,
           "create or replace function GetPeriodStartEnd(aYear int, aPeriod int, "
           "out aPeriodStart timestamp, out aPeriodEnd timestamp) as $$ "
           "select case when aPeriod between 1 and 12 then "
           "make_timestamp(aYear, aPeriod, 1, 8, 30, 0) end, "
           "case when aPeriod between 1 and 12 then "
           "(make_date(aYear, aPeriod, 1) + interval '1 month' - interval '1 day')::timestamp end "
           "$$ language sql");
    RunSql(cn_,
           "create or replace function GetDate() returns timestamp as "
           "'select timestamp ''2026-05-04 10:20:30''' language sql");
    RunSql(cn_, "drop table if exists t_SystemProfile");
    RunSql(cn_,
           "create table t_SystemProfile (FCategory varchar(30), FKey varchar(30), "
           "FValue varchar(255))");
    RunSql(cn_,
           "insert into t_SystemProfile values ('IC', 'CurrentYear', '2026'), "
           "('IC', 'CurrentPeriod', '2'), ('IC', 'StartYear', '2025')");
  }

  // The descriptor a host passes: the ODBC string in braces.
  std::string Dsn() const {
    return "ConnectString={" + cs_ + "};DBMS Name=PostgreSQL;DBMS Version=15;Language=CHS;" +
           "UserID=0;";
  }
};

TEST_F(ComponentOverOdbcTest, GetDataReturnsADetachedRecordSet) {
  ado::RecordsetPtr rs;
  {
    auto data = std::make_shared<Data>();
    rs = data->GetData(Dsn(),
                       "select FKey, cast(FValue as numeric(38,10)) as v from t_SystemProfile "
                       "where FKey like 'Current%' order by FKey");
  }
  // The object and its connection are gone; the rows stay.
  ASSERT_TRUE(rs);
  EXPECT_FALSE(rs->ActiveConnection());
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Value("fkey").ToText(), "CurrentPeriod");
  EXPECT_EQ(rs->Value("v").ToDecimal().ToString(), "2.0000000000");
}

TEST_F(ComponentOverOdbcTest, GetRptRsBySqlSkipsResultsWithoutColumns) {
  struct {
    const char* why;
    const char* sql;
    const char* body;
    const char* header;  // nullptr: RsHeader left as passed
  } const kCases[] = {
      {"DDL and DML first, then the body and the header",
       "create temp table rpt_body(FName varchar(20)); "
       "insert into rpt_body values ('刹车片'), ('滤清器'); "
       "select FName from rpt_body order by FName; "
       "select '寄售报表' as FTitle",
       "刹车片", "寄售报表"},
      {"one result with columns", "select '小计' as FName", "小计", nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    auto data = std::make_shared<Data>();
    auto params = std::make_shared<Dictionary>();
    params->SetValue("sDsN", Dsn());
    params->SetValue("StrSql", c.sql);
    ado::RecordsetPtr body, header;
    data->GetRptRsBySQL(params, body, header);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->Value(0).ToText(), c.body);
    if (c.header) {
      ASSERT_TRUE(header);
      EXPECT_EQ(header->Value(0).ToText(), c.header);
    } else {
      EXPECT_FALSE(header);
    }
  }
}

TEST_F(ComponentOverOdbcTest, GetRptRsBySqlWithoutAnyResultWithColumnsFails) {
  auto data = std::make_shared<Data>();
  auto params = std::make_shared<Dictionary>();
  params->SetValue("sDsN", Dsn());
  params->SetValue("StrSql", "create temp table nothing_q8(a int)");
  ado::RecordsetPtr body, header;
  EXPECT_THROW(data->GetRptRsBySQL(params, body, header), Error);
}

TEST_F(ComponentOverOdbcTest, PeriodOutputsThroughTheProcedureCall) {
  auto data = std::make_shared<Data>();
  double begin = 0;
  Variant end;
  Variant result = data->GetPeriodStartEndDate(Dsn(), 2026, 2, begin, end);
  EXPECT_TRUE(result.IsEmpty());
  EXPECT_EQ(date::ToIso(begin), "2026-02-01 00:00:00");  // the time of day dropped
  EXPECT_EQ(end.ToText(), "2026/02/28");

  std::string dsn = Dsn();
  auto current = data->GetCurrenPeriodDate(dsn);
  EXPECT_EQ(current->GetValue("CurrentYear").ToLong(), 2026);
  EXPECT_EQ(current->GetValue("CurrentPeriod").ToLong(), 2);
  EXPECT_EQ(date::ToIso(current->GetValue("EndDate").ToDate()), "2026-02-28 00:00:00");

  // The profile lookup binds its two "?" parameters: start year 2025.
  EXPECT_EQ(data->GetStartDate(Dsn(), 3), "2025-03-01");
}

TEST_F(ComponentOverOdbcTest, PeriodThatDoesNotExistRaisesTheLocalizedText) {
  auto data = std::make_shared<Data>();
  double begin = 0;
  Variant end;
  try {
    data->GetPeriodStartEndDate(Dsn(), 2026, 13, begin, end);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kComponent);
    EXPECT_EQ(e.description(), "获取期间数据失败！");
  }
}

TEST_F(ComponentOverOdbcTest, DriverErrorsReachTheHostAsComponentErrors) {
  auto data = std::make_shared<Data>();
  try {
    data->GetData(Dsn(), "select * from t_NoSuchTable");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kComponent);
    EXPECT_NE(e.source().find("GetData"), std::string::npos) << e.source();
    EXPECT_NE(e.description().find("t_nosuchtable"), std::string::npos) << e.description();
  }
  // A server that is not there: the connect error, with the driver's text.
  std::string dsn = "ConnectString={" + cs_ +
                    "Database=no_such_db_q8;};DBMS Name=PostgreSQL;DBMS Version=15;Language=CHS;";
  try {
    data->GetData(dsn, "select 1");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kComponent);
    EXPECT_NE(e.description().find("no_such_db_q8"), std::string::npos) << e.description();
  }
}

TEST_F(ComponentOverOdbcTest, ServerDateComesFromTheServer) {
  auto data = std::make_shared<Data>();
  EXPECT_EQ(date::ToIso(data->GetServerDate(Dsn())), "2026-05-04 10:20:30");
}

}  // namespace
}  // namespace q8::odbc::testing
