// The ODBC driver against PostgreSQL through psqlODBC: the data path that CI
// can run for real (no SQL Server here).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/ado/pending.h"
#include "drivers/odbc/odbc_provider.h"
#include "tests/odbc/odbc_fixture.h"

namespace q8::odbc::testing {
namespace {

using ado::FieldType;

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

TEST_F(PostgresTest, DecimalsOf38DigitsStayExact) {
  // Each value has more digits than a double keeps (15 to 17).
  struct {
    const char* sql;
    const char* text;
    int precision, scale;
  } const kCases[] = {
      {"cast('12345678901234567890.123456789012345678' as numeric(38,18))",
       "12345678901234567890.123456789012345678", 38, 18},
      {"cast('-99999999999999999999999999999999999999' as numeric(38,0))",
       "-99999999999999999999999999999999999999", 38, 0},
      {"cast('0.0000000000000000000000000000000000001' as numeric(38,37))",
       "0.0000000000000000000000000000000000001", 38, 37},
      {"cast(2.5 as numeric(23,10))", "2.5000000000", 23, 10},
      {"cast(-0.5 as numeric(5,2))", "-0.50", 5, 2},
      // Without a declared precision psqlODBC reports the width of the data.
      {"cast('12345678901234567890.123456789012345678' as numeric) + 0",
       "12345678901234567890.123456789012345678", 38, 18},
      // Wider than 38 digits: the integer digits are kept, the decimals rounded.
      {"cast('1234567.123456789012345678901234567890123456' as numeric)",
       "1234567.1234567890123456789012345678901", 38, 31},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sql);
    auto rs = cn_->Execute(std::string("select ") + c.sql + " as d");
    ASSERT_EQ(rs->FieldCount(), 1);
    EXPECT_EQ(rs->Fields(0).Type(), FieldType::kDecimal);
    EXPECT_EQ(rs->Columns()[0].precision, c.precision);
    EXPECT_EQ(rs->Columns()[0].scale, c.scale);
    Variant v = rs->Value(0);
    ASSERT_EQ(v.type(), VarType::kDecimal);
    EXPECT_EQ(v.ToDecimal().ToString(), c.text);
  }
}

TEST_F(PostgresTest, DecimalParameterRoundTripsExactly) {
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cn_);
  cmd->set_command_text("select cast(? as numeric(38,18)) + 0 as d");
  cmd->Append(cmd->CreateParameter("", ado::kTypeDecimal, ado::kParamInput, 0,
                                   *Decimal::Parse("12345678901234567890.123456789012345678")));
  auto rs = cmd->Execute();
  EXPECT_EQ(rs->Value(0).ToDecimal().ToString(), "12345678901234567890.123456789012345678");
}

TEST_F(PostgresTest, ChineseTextInValuesNamesAndParameters) {
  auto rs = cn_->Execute("select '汽配行业报表中间层' as 名称, '小计' || '合计' as c2");
  ASSERT_EQ(rs->FieldCount(), 2);
  EXPECT_EQ(rs->Fields(0).Name(), "名称");
  EXPECT_EQ(rs->Value(0).ToText(), "汽配行业报表中间层");
  EXPECT_EQ(rs->Value(1).ToText(), "小计合计");

  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cn_);
  cmd->set_command_text("select ? || '！' as t, length(?) as n");
  cmd->Append(
      cmd->CreateParameter("", ado::kTypeVarWChar, ado::kParamInput, 50, "获取期间数据失败"));
  cmd->Append(cmd->CreateParameter("", ado::kTypeVarChar, ado::kParamInput, 50, "汉字"));
  rs = cmd->Execute();
  EXPECT_EQ(rs->Value(0).ToText(), "获取期间数据失败！");
  EXPECT_EQ(rs->Value(1).ToLong(), 2);  // characters, not bytes: the server got UTF-8
}

TEST_F(PostgresTest, NullsInEveryType) {
  struct {
    const char* type;
    FieldType field;
  } const kTypes[] = {
      {"smallint", FieldType::kInt},
      {"integer", FieldType::kInt},
      {"bigint", FieldType::kInt},
      {"numeric(18,4)", FieldType::kDecimal},
      {"double precision", FieldType::kDouble},
      {"real", FieldType::kDouble},
      {"date", FieldType::kDateTime},
      {"timestamp", FieldType::kDateTime},
      {"time", FieldType::kDateTime},
      {"varchar(20)", FieldType::kText},
      {"char(3)", FieldType::kText},
      {"text", FieldType::kText},
  };
  std::string sql = "select ";
  for (size_t i = 0; i < std::size(kTypes); ++i)
    sql += std::string(i ? ", " : "") + "cast(null as " + kTypes[i].type + ")";
  auto rs = cn_->Execute(sql);
  ASSERT_EQ(rs->FieldCount(), static_cast<int>(std::size(kTypes)));
  for (size_t i = 0; i < std::size(kTypes); ++i) {
    SCOPED_TRACE(kTypes[i].type);
    EXPECT_EQ(rs->Fields(static_cast<int>(i)).Type(), kTypes[i].field);
    EXPECT_TRUE(rs->Value(static_cast<int>(i)).IsNull());
  }
}

TEST_F(PostgresTest, ValuesOfEachType) {
  auto rs = cn_->Execute(
      "select cast(32767 as smallint), cast(9007199254740993 as bigint), cast(0.1 as double "
      "precision), date '2026-02-28', timestamp '2026-03-31 23:59:58.125', time '13:45:30', "
      "cast('ab' as char(4)), ''");
  EXPECT_EQ(rs->Value(0).ToLong(), 32767);
  // Beyond 2^53: an integer that went through a double would be off by one.
  EXPECT_EQ(rs->Value(1).ToInt64(), 9007199254740993LL);
  EXPECT_DOUBLE_EQ(rs->Value(2).ToDouble(), 0.1);
  EXPECT_EQ(date::ToIso(rs->Value(3).ToDate()), "2026-02-28 00:00:00");
  EXPECT_EQ(date::ToIso(rs->Value(4).ToDate()), "2026-03-31 23:59:58.125");
  EXPECT_EQ(date::ToIso(rs->Value(5).ToDate()), "1899-12-30 13:45:30");
  EXPECT_EQ(rs->Value(6).ToText(), "ab  ");
  Variant empty = rs->Value(7);
  EXPECT_TRUE(empty.IsText());
  EXPECT_EQ(empty.ToText(), "");  // empty, not NULL
}

TEST_F(PostgresTest, LongValuesComeBackWhole) {
  // 20,000 characters: many fetch chunks; the Chinese one puts chunk borders
  // inside three-byte characters.
  const std::string ascii = Repeat("0123456789", 2000);
  const std::string chinese = Repeat("汉", 20000);
  auto rs = cn_->Execute("select repeat('0123456789', 2000), repeat('汉', 20000)");
  EXPECT_EQ(rs->Value(0).ToText(), ascii);
  EXPECT_EQ(rs->Value(1).ToText(), chinese);

  RunSql(cn_, "create temp table long_values(v text)");
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cn_);
  cmd->set_command_text("insert into long_values values (?)");
  cmd->Append(cmd->CreateParameter("", ado::kTypeVarWChar, ado::kParamInput, 0, chinese));
  cmd->Execute();
  rs = cn_->Execute("select v, length(v) from long_values");
  EXPECT_EQ(rs->Value(1).ToLong(), 20000);
  EXPECT_EQ(rs->Value(0).ToText(), chinese);
}

TEST_F(PostgresTest, BatchWithResultsWithoutColumnsFirst) {
  auto rs = cn_->Execute(
      "create temp table batch_rows(a int); "
      "insert into batch_rows values (1), (2), (3); "
      "select a from batch_rows order by a; "
      "select count(*) as n from batch_rows where a > 5");
  // create, then insert: results without columns, kept in the walk.
  EXPECT_EQ(rs->FieldCount(), 0);
  rs = rs->NextRecordset();
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->FieldCount(), 0);
  rs = rs->NextRecordset();
  ASSERT_TRUE(rs);
  ASSERT_EQ(rs->FieldCount(), 1);
  EXPECT_EQ(rs->RecordCount(), 3);
  rs = rs->NextRecordset();
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->Value("n").ToLong(), 0);
  EXPECT_FALSE(rs->NextRecordset());
}

TEST_F(PostgresTest, WarningsAreNotErrors) {
  // SQL_SUCCESS_WITH_INFO: the statement and the batch go on. The isolation
  // statement of the connection getters is one (25P01 outside a transaction).
  RunSql(cn_, "set transaction isolation level read uncommitted");
  auto rs = cn_->Execute("do $$ begin raise warning 'careful'; end $$; select 4 as n");
  EXPECT_TRUE(cn_->Errors().empty());
  while (rs && rs->FieldCount() == 0) rs = rs->NextRecordset();
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->Value("n").ToLong(), 4);
}

TEST_F(PostgresTest, EmptySelectKeepsItsColumns) {
  auto rs = cn_->Execute("select 1 as a, 'x' as b where false");
  EXPECT_EQ(rs->FieldCount(), 2);
  EXPECT_TRUE(rs->IsEOF());
  EXPECT_EQ(rs->RecordCount(), 0);
}

TEST_F(PostgresTest, RowCountsOfResultsWithoutColumns) {
  std::vector<ado::ParameterPtr> none;
  auto& provider = ado::LayerAccess::Provider(*cn_);
  auto stream = provider.Execute(
      "create temp table counted(a int); insert into counted values (1),(2); "
      "update counted set a = a where false; delete from counted; select 7",
      none, 0);
  std::vector<int64_t> counts;
  std::vector<bool> has_rows;
  while (auto r = stream->Next()) {
    has_rows.push_back(r->rows != nullptr);
    counts.push_back(r->rows ? -1 : r->rows_affected);
  }
  EXPECT_EQ(has_rows, (std::vector<bool>{false, false, false, false, true}));
  // The count of the CREATE is the driver's business. The UPDATE that
  // changes nothing (SQL_NO_DATA in ODBC 3) is still a result, counting 0.
  counts.erase(counts.begin());
  EXPECT_EQ(counts, (std::vector<int64_t>{2, 0, 2, -1}));
}

TEST_F(PostgresTest, OutputParametersOfGetPeriodStartEnd) {
  // The suites share one throw-away database and declare the function with
  // different OUT types, which "create or replace" cannot change.
  RunSql(cn_, "drop function if exists GetPeriodStartEnd(int, int)");
  RunSql(cn_,
         "create or replace function GetPeriodStartEnd(aYear int, aPeriod int, "
         "out aPeriodStart date, out aPeriodEnd date) as $$ "
         "select case when aPeriod between 1 and 12 then make_date(aYear, aPeriod, 1) end, "
         "case when aPeriod between 1 and 12 then "
         "(make_date(aYear, aPeriod, 1) + interval '1 month' - interval '1 day')::date end "
         "$$ language sql");
  struct {
    int year, period;
    const char* start;
    const char* end;
  } const kCases[] = {
      {2026, 2, "2026-02-01 00:00:00", "2026-02-28 00:00:00"},
      {2024, 2, "2024-02-01 00:00:00", "2024-02-29 00:00:00"},
      {2026, 13, nullptr, nullptr},  // no such period: both outputs are NULL
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.period);
    auto cmd = ado::Command::Create();
    cmd->SetActiveConnection(cn_);
    cmd->set_command_type(ado::kCmdStoredProc);
    cmd->set_command_text("GetPeriodStartEnd");
    cmd->Append(cmd->CreateParameter("@aYear", ado::kTypeInteger, ado::kParamInput, 0, c.year));
    cmd->Append(cmd->CreateParameter("@aPeriod", ado::kTypeInteger, ado::kParamInput, 0, c.period));
    cmd->Append(cmd->CreateParameter("@aPeriodStart", ado::kTypeDBDate, ado::kParamOutput, 0));
    cmd->Append(cmd->CreateParameter("@aPeriodEnd", ado::kTypeDBDate, ado::kParamOutput, 0));
    cmd->Execute();
    const Variant& start = cmd->Item(2).value;
    const Variant& end = cmd->Item(3).value;
    if (!c.start) {
      EXPECT_TRUE(start.IsNull());
      EXPECT_TRUE(end.IsNull());
      continue;
    }
    ASSERT_EQ(start.type(), VarType::kDate);
    EXPECT_EQ(date::ToIso(start.ToDate()), c.start);
    EXPECT_EQ(date::ToIso(end.ToDate()), c.end);
  }
}

TEST_F(PostgresTest, ServerErrorFillsTheErrorsCollection) {
  try {
    cn_->Execute("select * from no_such_table_q8");
    FAIL() << "no error";
  } catch (const Error& e) {
    ASSERT_FALSE(cn_->Errors().empty());
    const ado::ErrorEntry& first = cn_->Errors().front();
    EXPECT_EQ(first.sql_state, "42P01");
    EXPECT_NE(first.description.find("no_such_table_q8"), std::string::npos) << first.description;
    // psqlODBC breaks its messages over lines; a description is one line.
    EXPECT_EQ(first.description.find('\n'), std::string::npos);
    EXPECT_EQ(e.number(), first.number);
    EXPECT_EQ(e.description(), first.description);
    EXPECT_LT(e.number(), 0);  // an OLE DB failure code, as hosts expect
  }
  // The connection is still usable after a failed statement.
  EXPECT_EQ(cn_->Execute("select 5")->Value(0).ToLong(), 5);
}

TEST_F(PostgresTest, ErrorLaterInTheBatchReachesTheCaller) {
  // PostgreSQL runs a multi-statement text as one: the failure comes before
  // any result, which is as early as SQL Server would report it or earlier.
  try {
    auto rs = cn_->Execute("select 1; select 1/0; select 2");
    while (rs) rs = rs->NextRecordset();
    FAIL() << "no error";
  } catch (const Error&) {
    ASSERT_FALSE(cn_->Errors().empty());
    EXPECT_EQ(cn_->Errors().front().sql_state, "22012");
  }
}

TEST_F(PostgresTest, ConnectErrorsFillTheErrorsCollection) {
  struct {
    const char* why;
    std::string cs;
    const char* state;
    const char* text;
  } const kCases[] = {
      {"a database that does not exist", cs_ + "Database=no_such_db_q8;", "08001", "no_such_db_q8"},
      {"a data source that is not registered", "DSN=NoSuchDsnQ8", "IM002",
       "Data source name not found"},
      // unixODBC reports this with rc -1 and a state of the warning class:
      // the return code decides that it failed.
      {"a driver library that is not there", "Driver=/nonexistent/libq8odbc.so;Server=x", "01000",
       "Can't open lib"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    auto cn = ado::Connection::Create();
    try {
      cn->Open(c.cs);
      FAIL() << "opened";
    } catch (const Error& e) {
      ASSERT_FALSE(cn->Errors().empty());
      EXPECT_EQ(cn->Errors().front().sql_state, c.state);
      EXPECT_NE(e.description().find(c.text), std::string::npos) << e.description();
      EXPECT_EQ(cn->State(), ado::kStateClosed);
    }
  }
}

TEST_F(PostgresTest, CommandTimeoutStopsALongStatement) {
  cn_->set_command_timeout(1);
  auto start = std::chrono::steady_clock::now();
  try {
    cn_->Execute("select pg_sleep(10)");
    FAIL() << "no timeout";
  } catch (const Error&) {
    EXPECT_LT(SecondsSince(start), 6.0);
    ASSERT_FALSE(cn_->Errors().empty());
  }
  cn_->set_command_timeout(0);  // no limit
  EXPECT_EQ(cn_->Execute("select 1 from pg_sleep(0.2)")->Value(0).ToLong(), 1);
}

TEST_F(PostgresTest, ProviderProperties) {
  EXPECT_EQ(cn_->PropertyValue("DBMS Name").ToText(), "PostgreSQL");
  EXPECT_FALSE(cn_->PropertyValue("DBMS Version").ToText().empty());
  EXPECT_EQ(cn_->PropertyValue("Multiple Results").ToLong(), 1);
  std::string like = cn_->PropertyValue("Like Escape Clause").ToText();
  EXPECT_TRUE(like == "Y" || like == "N") << like;
  EXPECT_EQ(cn_->PropertyValue("Integrity Enhancement Facility").type(), VarType::kBool);
  for (const char* mask :
       {"Numeric Functions", "String Functions", "System Functions", "Time/Date Functions"}) {
    SCOPED_TRACE(mask);
    EXPECT_EQ(cn_->PropertyValue(mask).type(), VarType::kLong);
  }
  EXPECT_NE(cn_->PropertyValue("String Functions").ToLong(), 0);
}

TEST_F(PostgresTest, AnotherCommandWhileResultsArePending) {
  // The second command runs while the first one's later results are unread:
  // they are kept and still read afterwards.
  auto first = cn_->Execute("select 1 as a; select 2 as b");
  auto second = cn_->Execute("select 3 as c");
  EXPECT_EQ(second->Value(0).ToLong(), 3);
  EXPECT_EQ(first->Value(0).ToLong(), 1);
  auto next = first->NextRecordset();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->Value("b").ToLong(), 2);
}

TEST_F(PostgresTest, ClosingWithResultsPendingEndsTheStream) {
  std::vector<ado::ParameterPtr> none;
  auto stream = ado::LayerAccess::Provider(*cn_).Execute("select 1; select 2", none, 0);
  ASSERT_TRUE(stream->Next());
  cn_->Close();
  // The statement went with the connection: reading on is an error, and
  // dropping the stream afterwards frees nothing twice.
  EXPECT_THROW(stream->Next(), Error);
  stream.reset();
}

}  // namespace
}  // namespace q8::odbc::testing
