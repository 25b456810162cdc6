// Direct queries: GetServerDate, GetData and GetRptRsBySQL on the embedded
// engine.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "drivers/sqlite/schema.h"
#include "q8vantorpt/data.h"
#include "tests/data/test_db.h"

namespace q8 {
namespace {

using testing::FreshContext;
using testing::TestDb;

// The first column of every row, as text.
std::vector<std::string> FirstColumn(ado::Recordset& rs) {
  std::vector<std::string> values;
  if (rs.RecordCount() > 0) rs.MoveFirst();
  for (; !rs.IsEOF(); rs.MoveNext()) values.push_back(rs.Value(0).ToText());
  return values;
}

// The engine's own error for a failing statement.
Error EngineError(const TestDb& db, const std::string& sql) {
  auto cn = ado::Connection::Create();
  cn->Open(sqlite::ConnectionStringFor(db.path()));
  try {
    cn->Execute(sql);
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "statement did not fail: " << sql;
  return Error(0, "", "");
}

class DirectQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FShortNumber, FName) VALUES "
        "(1, 5, '01', '01', '主仓'), (2, 5, '02', '02', '副仓'), (3, 1, 'C1', 'C1', '客户甲');");
  }
  TestDb db_;
};

TEST_F(DirectQueries, BatchResultsGoToBodyAndHeader) {
  struct Case {
    const char* note;
    std::string batch;
    std::vector<std::string> body;
    bool header_written;
    std::vector<std::string> header;
  };
  const std::vector<Case> cases = {
      // The UPDATE leaves a result without columns, which is skipped.
      {"update first",
       "UPDATE t_Item SET FName = FName WHERE FItemClassID = 5\r\n"
       "SELECT FNumber FROM t_Item WHERE FItemClassID = 5 ORDER BY FNumber\r\n"
       "SELECT FName FROM t_Item WHERE FItemClassID = 1",
       {"01", "02"},
       true,
       {"客户甲"}},
      // One result only: RsHeader keeps what the caller passed.
      {"single result", "SELECT FNumber FROM t_Item WHERE FItemID = 3", {"C1"}, false, {}},
      // A SELECT without rows still has columns and is the body.
      {"empty body", "SELECT FNumber FROM t_Item WHERE 1 = 0; SELECT 'h' AS H", {}, true, {"h"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    auto parameters = std::make_shared<Dictionary>();
    parameters->SetValue("sDsN", db_.Dsn());
    parameters->SetValue("StrSql", c.batch);
    const auto passed_header = ado::Recordset::Create();
    ado::RecordsetPtr body;
    ado::RecordsetPtr header = passed_header;
    Data data;
    const Variant result = data.GetRptRsBySQL(parameters, body, header);
    EXPECT_TRUE(result.IsEmpty());
    ASSERT_TRUE(body);
    EXPECT_EQ(FirstColumn(*body), c.body);
    // Both stay attached to the call's connection.
    EXPECT_TRUE(body->ActiveConnection());
    if (c.header_written) {
      ASSERT_NE(header, passed_header);
      EXPECT_EQ(FirstColumn(*header), c.header);
      EXPECT_TRUE(header->ActiveConnection());
    } else {
      EXPECT_EQ(header, passed_header);
    }
  }
}

TEST_F(DirectQueries, BatchFailuresKeepNumberAndLocalizeSource) {
  struct Case {
    const char* note;
    std::string batch;
    Error expected;  // number, source before the tag, description
  };
  const std::string bad_sql = "SELECT FNoSuchColumn FROM t_Item";
  const std::vector<Case> cases = {
      // Asking past the last result leaves no record set to read.
      {"no result with columns", "UPDATE t_Item SET FName = FName WHERE FItemID = 1",
       Error(err::kObjectNotSet, "Q8VANTORpt", StandardDescription(err::kObjectNotSet))},
      {"statement error", bad_sql, EngineError(db_, bad_sql)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    auto parameters = std::make_shared<Dictionary>();
    parameters->SetValue("sDsN", db_.Dsn("EN"));
    parameters->SetValue("StrSql", c.batch);
    ado::RecordsetPtr body, header;
    Data data;
    auto context = FreshContext();
    try {
      data.GetRptRsBySQL(parameters, body, header);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.expected.number());
      EXPECT_EQ(e.source(), c.expected.source() + "GetRptRs");
      EXPECT_EQ(e.description(), c.expected.description());
    }
    ASSERT_TRUE(context);
    EXPECT_EQ(context->abort_count(), 1);
  }
}

TEST_F(DirectQueries, GetDataReturnsDetachedRows) {
  ado::RecordsetPtr rs;
  {
    auto data = std::make_shared<Data>();
    rs = data->GetData(db_.Dsn(), "SELECT FNumber FROM t_Item WHERE FItemClassID = 5 ORDER BY 1");
  }
  // The object is gone and the record set has no connection, yet its rows
  // are all there.
  ASSERT_TRUE(rs);
  EXPECT_FALSE(rs->ActiveConnection());
  EXPECT_EQ(rs->cursor_location(), ado::kUseClient);
  EXPECT_EQ(FirstColumn(*rs), (std::vector<std::string>{"01", "02"}));
}

TEST_F(DirectQueries, GetDataErrorsCarryLocalizedSource) {
  const std::string bad_sql = "SELECT * FROM t_NoSuchTable";
  struct Case {
    const char* note;
    std::string dsn;
    std::string source;
    std::string description;  // empty: any
  };
  const std::vector<Case> cases = {
      {"CHS", db_.Dsn("CHS"), "汽配行业报表中间层Q8VANTORpt.Data:GetData",
       EngineError(db_, bad_sql).description()},
      {"EN", db_.Dsn("EN"), "Auto-parts report middle layer Q8VANTORpt.Data:GetData",
       EngineError(db_, bad_sql).description()},
      // A repeated key fails before the first open: no language yet, so the
      // prefix stays in its source text.
      {"repeated key", db_.Dsn("EN") + "language=EN;", "汽配行业报表中间层Q8VANTORpt.Data:GetData",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Data data;
    try {
      data.GetData(c.dsn, bad_sql);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kComponent);
      EXPECT_EQ(e.source(), c.source);
      if (!c.description.empty()) {
        EXPECT_EQ(e.description(), c.description);
      }
    }
  }
}

TEST_F(DirectQueries, ServerDate) {
  const double now = date::Now();
  {
    Data data;
    EXPECT_NEAR(data.GetServerDate(db_.Dsn()), now, 1.0);
  }
  {
    // A new object with a descriptor that fails to parse: the zero date.
    Data data;
    EXPECT_EQ(data.GetServerDate("Language=CHS;language=EN;"), 0.0);
  }
  {
    // After a good call the earlier data source still serves.
    Data data;
    ASSERT_NE(data.GetServerDate(db_.Dsn()), 0.0);
    EXPECT_NEAR(data.GetServerDate(db_.Dsn() + "Language=EN;"), now, 1.0);
  }
}

}  // namespace
}  // namespace q8
