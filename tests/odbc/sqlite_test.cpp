// The ODBC driver against SQLite through sqliteodbc: a second, quite
// different driver (single statements, dynamic types, its own diagnostics).
#include <gtest/gtest.h>

#include <string>

#include "tests/odbc/odbc_fixture.h"

namespace q8::odbc::testing {
namespace {

class SqliteOdbcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Q8_SKIP_UNLESS_ENV("TEST_SQLITE_ODBC_DIR");
    dir_ = Env("TEST_SQLITE_ODBC_DIR");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    file_ = dir_ + "/" + info->name() + ".db";
    std::remove(file_.c_str());
    cn_ = OpenConnection("Driver=SQLite3;Database=" + file_ + ";");
  }
  std::string dir_, file_;
  ado::ConnectionPtr cn_;
};

TEST_F(SqliteOdbcTest, TypesNullsAndText) {
  RunSql(cn_,
         "create table t_Item (FItemID integer, FName varchar(80), FQty double, FDate datetime, "
         "FNote text)");
  RunSql(cn_,
         "insert into t_Item values (1, '刹车片', 2.5, '2026-01-31 08:30:00', null), "
         "(2, null, null, null, 'x')");
  auto rs = cn_->Execute("select FItemID, FName, FQty, FDate, FNote from t_Item order by FItemID");
  ASSERT_EQ(rs->FieldCount(), 5);
  EXPECT_EQ(rs->Fields(0).Type(), ado::FieldType::kInt);
  EXPECT_EQ(rs->Fields(2).Type(), ado::FieldType::kDouble);
  EXPECT_EQ(rs->Fields(3).Type(), ado::FieldType::kDateTime);
  EXPECT_EQ(rs->Value(0).ToLong(), 1);
  EXPECT_EQ(rs->Value(1).ToText(), "刹车片");
  EXPECT_DOUBLE_EQ(rs->Value(2).ToDouble(), 2.5);
  EXPECT_EQ(date::ToIso(rs->Value(3).ToDate()), "2026-01-31 08:30:00");
  EXPECT_TRUE(rs->Value(4).IsNull());
  rs->MoveNext();
  for (int i = 1; i < 4; ++i) EXPECT_TRUE(rs->Value(i).IsNull()) << i;
  EXPECT_EQ(rs->Value(4).ToText(), "x");
}

TEST_F(SqliteOdbcTest, ParametersAndLongText) {
  RunSql(cn_, "create table t_Note (FID integer, FText text)");
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "配件";  // 10,000 characters, 30,000 bytes
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cn_);
  cmd->set_command_text("insert into t_Note values (?, ?)");
  cmd->Append(cmd->CreateParameter("", ado::kTypeInteger, ado::kParamInput, 0, 7));
  cmd->Append(cmd->CreateParameter("", ado::kTypeVarChar, ado::kParamInput, 0, text));
  cmd->Execute();
  auto rs = cn_->Execute("select FID, FText from t_Note");
  EXPECT_EQ(rs->Value(0).ToLong(), 7);
  EXPECT_EQ(rs->Value(1).ToText(), text);
}

TEST_F(SqliteOdbcTest, ErrorsCarryStateAndText) {
  try {
    cn_->Execute("select * from t_Missing");
    FAIL() << "no error";
  } catch (const Error& e) {
    ASSERT_FALSE(cn_->Errors().empty());
    EXPECT_EQ(cn_->Errors().front().sql_state.size(), 5u);
    EXPECT_NE(e.description().find("t_Missing"), std::string::npos) << e.description();
  }
}

TEST_F(SqliteOdbcTest, MissingFileIsAConnectErrorWithNoCreat) {
  auto cn = ado::Connection::Create();
  try {
    cn->Open("Driver=SQLite3;Database=" + dir_ + "/absent/none.db;NoCreat=1;");
    FAIL() << "opened";
  } catch (const Error&) {
    ASSERT_FALSE(cn->Errors().empty());
    EXPECT_FALSE(cn->Errors().front().description.empty());
  }
}

}  // namespace
}  // namespace q8::odbc::testing
