// Conformance of a provider to the data-access layer: the portable cases.
//
// Each case runs against every target of conformance.h. Tables are plain
// tables with names of their own, created by the case and dropped after it.
#include "tests/ado/conformance.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/ado/support.h"

namespace q8::testing {
namespace {

using ado::Connection;
using ado::ConnectionPtr;
using ado::FieldType;
using ado::Recordset;

class Conformance : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override { cn_ = OpenConnection(GetParam().connection_string); }
  void TearDown() override {
    for (const auto& t : tables_) TryExecute(*cn_, "DROP TABLE " + t);
  }
  // Creates a table for this case (dropped in TearDown).
  void Table(const std::string& name, const std::string& columns) {
    TryExecute(*cn_, "DROP TABLE " + name);
    cn_->Execute("CREATE TABLE " + name + " (" + columns + ")");
    tables_.push_back(name);
  }
  ConnectionPtr cn_;
  std::vector<std::string> tables_;
};

TEST_P(Conformance, TypesRoundTripWithTheirDeclaredTypes) {
  Table("conf_types", "id int, amount decimal(23,10), at " + GetParam().datetime_type + ", name " +
                          GetParam().nvarchar_type + "(50), code varchar(20)");
  cn_->Execute(
      "INSERT INTO conf_types (id, amount, at, name, code) VALUES "
      "(1, 12345.1234567891, '2024-03-31 13:45:07', '汽配行业报表', 'IC');"
      "INSERT INTO conf_types (id, amount, at, name, code) VALUES "
      "(2, -0.0000000001, '1999-12-31 00:00:00', 'ABC ', '');"
      "INSERT INTO conf_types (id, amount, at, name, code) VALUES "
      "(3, 10.0, '2024-01-01 00:00:00', 'x', 'y');"
      "INSERT INTO conf_types (id, amount, at, name, code) VALUES "
      "(4, NULL, NULL, NULL, NULL)");
  auto rs = cn_->Execute("SELECT id, amount, at, name, code FROM conf_types ORDER BY id");
  ASSERT_EQ(rs->FieldCount(), 5);
  const auto& cols = rs->Columns();
  EXPECT_EQ(cols[0].type, FieldType::kInt);
  EXPECT_EQ(cols[1].type, FieldType::kDecimal);
  EXPECT_EQ(cols[1].precision, 23);
  EXPECT_EQ(cols[1].scale, 10);
  EXPECT_EQ(cols[2].type, FieldType::kDateTime);
  EXPECT_EQ(cols[3].type, FieldType::kText);

  struct Row {
    int id;
    const char* amount;  // exact text at scale 10
    const char* at;
    const char* name;
    const char* code;
  };
  const Row rows[] = {
      {1, "12345.1234567891", "2024-03-31 13:45:07", "汽配行业报表", "IC"},
      {2, "-0.0000000001", "1999-12-31 00:00:00", "ABC ", ""},
      // A whole decimal that an engine may keep as an integer still reads
      // as a decimal of the column's scale.
      {3, "10.0000000000", "2024-01-01 00:00:00", "x", "y"},
  };
  for (const Row& r : rows) {
    ASSERT_FALSE(rs->IsEOF()) << r.id;
    EXPECT_EQ(rs->Value(0).ToLong(), r.id);
    Variant amount = rs->Value("amount");
    ASSERT_EQ(amount.type(), VarType::kDecimal) << r.id;
    EXPECT_EQ(amount.ToDecimal().Rescale(10).ToString(), r.amount) << r.id;
    Variant at = rs->Value("AT");  // names match without regard to case
    ASSERT_EQ(at.type(), VarType::kDate) << r.id;
    EXPECT_EQ(date::ToIso(at.date_days()), r.at) << r.id;
    EXPECT_EQ(rs->Value(3).ToText(), r.name) << r.id;
    EXPECT_EQ(rs->Value(4).ToText(), r.code) << r.id;
    rs->MoveNext();
  }
  ASSERT_FALSE(rs->IsEOF());
  for (int i = 1; i < 5; ++i) EXPECT_TRUE(rs->Value(i).IsNull()) << i;
}

TEST_P(Conformance, DecimalArithmeticIsExactAtScaleTen) {
  Table("conf_dec", "a decimal(23,10)");
  cn_->Execute(
      "INSERT INTO conf_dec (a) VALUES (0.1);"
      "INSERT INTO conf_dec (a) VALUES (0.1);"
      "INSERT INTO conf_dec (a) VALUES (0.1)");
  auto rs = cn_->Execute("SELECT sum(a) AS s FROM conf_dec");
  ASSERT_EQ(rs->Columns()[0].type, FieldType::kDecimal);
  EXPECT_EQ(rs->Value(0).ToDecimal().Rescale(10).ToString(), "0.3000000000");
}

TEST_P(Conformance, SeveralResultsAreWalkedInOrder) {
  auto rs = cn_->Execute("SELECT 1 AS a; SELECT 'x' AS b, 2 AS c");
  ASSERT_EQ(rs->FieldCount(), 1);
  EXPECT_EQ(rs->Value("a").ToLong(), 1);
  auto second = rs->NextRecordset();
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(second->FieldCount(), 2);
  EXPECT_EQ(second->Value("b").ToText(), "x");
  EXPECT_EQ(second->Value("c").ToLong(), 2);
  // The first result keeps its rows after the walk went on.
  EXPECT_EQ(rs->Value("a").ToLong(), 1);
  EXPECT_EQ(second->NextRecordset(), nullptr);
}

TEST_P(Conformance, ABatchWhoseFirstStatementChangesRows) {
  Table("conf_change", "id int, v int");
  cn_->Execute(
      "INSERT INTO conf_change (id, v) VALUES (1, 10); INSERT INTO conf_change VALUES (2, 20)");
  auto rs = cn_->Execute(
      "UPDATE conf_change SET v = v + 1 WHERE id <= 2; "
      "SELECT sum(v) AS total FROM conf_change");
  // The row count of the UPDATE is a result without columns.
  EXPECT_EQ(rs->FieldCount(), 0);
  EXPECT_EQ(rs->State(), ado::kStateClosed);
  auto next = rs->NextRecordset();
  ASSERT_NE(next, nullptr);
  ASSERT_EQ(next->FieldCount(), 1);
  EXPECT_EQ(next->Value("total").ToLong(), 32);
}

TEST_P(Conformance, AnEmptyResultHasColumnsAndNoCurrentRow) {
  Table("conf_empty", "id int, name varchar(10)");
  auto rs = cn_->Execute("SELECT id, name FROM conf_empty");
  EXPECT_EQ(rs->State(), ado::kStateOpen);
  EXPECT_EQ(rs->FieldCount(), 2);
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_TRUE(rs->IsBOF());
  EXPECT_TRUE(rs->IsEOF());
  ExpectError(err::kAdoBofEof, [&] { rs->Value(0); });
  ExpectError(err::kAdoBofEof, [&] { rs->MoveNext(); });
}

TEST_P(Conformance, CursorMovesBothWaysAndReportsItsEnds) {
  Table("conf_rows", "id int");
  cn_->Execute(
      "INSERT INTO conf_rows VALUES (1); INSERT INTO conf_rows VALUES (2); "
      "INSERT INTO conf_rows VALUES (3)");
  auto rs = cn_->Execute("SELECT id FROM conf_rows ORDER BY id");
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_FALSE(rs->IsBOF());
  struct Step {
    const char* move;
    int id;  // 0: at BOF or EOF
    bool bof, eof;
  };
  const Step steps[] = {
      {"next", 2, false, false},     {"next", 3, false, false},  {"next", 0, false, true},
      {"previous", 3, false, false}, {"first", 1, false, false}, {"previous", 0, true, false},
      {"next", 1, false, false},     {"last", 3, false, false},
  };
  for (const Step& s : steps) {
    std::string m = s.move;
    if (m == "next") rs->MoveNext();
    if (m == "previous") rs->MovePrevious();
    if (m == "first") rs->MoveFirst();
    if (m == "last") rs->MoveLast();
    EXPECT_EQ(rs->IsBOF(), s.bof) << m;
    EXPECT_EQ(rs->IsEOF(), s.eof) << m;
    if (s.id)
      EXPECT_EQ(rs->Value(0).ToLong(), s.id) << m;
    else
      ExpectError(err::kAdoBofEof, [&] { rs->Value(0); });
  }
}

TEST_P(Conformance, FieldsByIndexAndName) {
  // Quoted, so that no engine folds the case of the names.
  auto rs = cn_->Execute("SELECT 7 AS \"FItemID\", 'n' AS \"FName\"");
  EXPECT_EQ(rs->FieldIndex("fitemid"), 0);
  EXPECT_EQ(rs->FieldIndex("FNAME"), 1);
  EXPECT_EQ(rs->FieldIndex("FNumber"), -1);
  EXPECT_EQ(rs->Fields("fname").Name(), "FName");
  EXPECT_EQ(rs->Fields(0).value.ToLong(), 7);
  ExpectError(err::kAdoItemNotFound, [&] { rs->Value("FNumber"); });
  ExpectError(err::kAdoItemNotFound, [&] { rs->Value(2); });
  ExpectError(err::kAdoItemNotFound, [&] { rs->Fields(-1); });
}

TEST_P(Conformance, ADetachedRecordSetKeepsItsRowsAndReleasesTheConnection) {
  Table("conf_detach", "id int, name " + GetParam().nvarchar_type + "(20)");
  cn_->Execute(
      "INSERT INTO conf_detach VALUES (1, '一'); INSERT INTO conf_detach VALUES (2, '二')");
  auto cn = OpenConnection(GetParam().connection_string);
  std::weak_ptr<Connection> watch = cn;
  auto rs = Recordset::Create();
  rs->SetActiveConnection(cn);
  rs->set_cursor_location(ado::kUseClient);
  rs->set_cursor_type(ado::kOpenForwardOnly);
  rs->set_lock_type(ado::kLockReadOnly);
  rs->Open("SELECT id, name FROM conf_detach ORDER BY id");
  rs->SetActiveConnection(nullptr);
  cn.reset();
  EXPECT_TRUE(watch.expired()) << "a detached record set must not hold its connection";
  EXPECT_EQ(rs->ActiveConnection(), nullptr);
  EXPECT_EQ(rs->RecordCount(), 2);
  rs->MoveLast();
  EXPECT_EQ(rs->Value("name").ToText(), "二");
  // Attached again, it reads the same rows.
  rs->SetActiveConnection(cn_);
  rs->MoveFirst();
  EXPECT_EQ(rs->Value("id").ToLong(), 1);
}

TEST_P(Conformance, AnAttachedRecordSetKeepsItsConnectionOpen) {
  std::weak_ptr<Connection> watch;
  ado::RecordsetPtr rs;
  {
    auto cn = OpenConnection(GetParam().connection_string);
    watch = cn;
    rs = cn->Execute("SELECT 1 AS one");
  }
  ASSERT_FALSE(watch.expired());
  EXPECT_EQ(rs->ActiveConnection()->State(), ado::kStateOpen);
  EXPECT_EQ(rs->Value(0).ToLong(), 1);
  // The connection still works for the holder of the record set.
  EXPECT_EQ(rs->ActiveConnection()->Execute("SELECT 2 AS two")->Value(0).ToLong(), 2);
  rs.reset();
  EXPECT_TRUE(watch.expired());
}

TEST_P(Conformance, ARecordSetOpensItsOwnConnectionFromAConnectString) {
  ado::RecordsetPtr rs = Recordset::Create();
  rs->Open("SELECT 'own' AS v", GetParam().connection_string);
  ASSERT_NE(rs->ActiveConnection(), nullptr);
  EXPECT_EQ(rs->ActiveConnection()->State(), ado::kStateOpen);
  EXPECT_EQ(rs->Value("v").ToText(), "own");
  ExpectError(err::kAdoObjectOpen, [&] { rs->Open("SELECT 1", GetParam().connection_string); });
  rs->Close();
  EXPECT_EQ(rs->State(), ado::kStateClosed);
  EXPECT_EQ(rs->RecordCount(), -1);
  ExpectError(err::kAdoObjectClosed, [&] { rs->Value(0); });
}

TEST_P(Conformance, ParametersAreBoundInOrder) {
  Table("conf_params", "id int, cat varchar(30), k varchar(30), v varchar(255)");
  cn_->Execute(
      "INSERT INTO conf_params VALUES (1, 'IC', 'StartYear', '2023');"
      "INSERT INTO conf_params VALUES (2, 'GL', 'StartYear', '2019')");
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cn_);
  cmd->set_command_type(ado::kCmdText);
  cmd->set_command_text("SELECT v FROM conf_params WHERE cat = ? AND k = ?");
  cmd->Append(cmd->CreateParameter("", ado::kTypeVarChar, ado::kParamInput, 30, Variant("GL")));
  cmd->Append(
      cmd->CreateParameter("", ado::kTypeVarChar, ado::kParamInput, 30, Variant("StartYear")));
  auto rs = cmd->Execute();
  ASSERT_FALSE(rs->IsEOF());
  EXPECT_EQ(rs->Value("v").ToText(), "2019");

  cmd->Item(0).value = Variant("XX");
  EXPECT_TRUE(cmd->Execute()->IsEOF());

  auto ints = ado::Command::Create();
  ints->SetActiveConnection(cn_);
  ints->set_command_text("SELECT count(*) AS n FROM conf_params WHERE id >= ?");
  ints->Append(ints->CreateParameter("", ado::kTypeInteger, ado::kParamInput, 0, Variant(2)));
  EXPECT_EQ(ints->Execute()->Value(0).ToLong(), 1);
  ExpectError(err::kAdoItemNotFound, [&] { ints->Item(1); });
}

TEST_P(Conformance, AFailingStatementRaisesAndFillsErrors) {
  try {
    cn_->Execute("SELEC nothing FROM nowhere");
    FAIL() << "no error raised";
  } catch (const Error& e) {
    EXPECT_NE(e.number(), 0);
    EXPECT_FALSE(e.source().empty());
    EXPECT_FALSE(e.description().empty());
    ASSERT_FALSE(cn_->Errors().empty());
    const auto& entry = cn_->Errors().front();
    EXPECT_EQ(entry.number, e.number());
    EXPECT_EQ(entry.description, e.description());
    EXPECT_FALSE(entry.source.empty());
  }
  // The connection stays usable, and a call that succeeds clears Errors.
  EXPECT_EQ(cn_->Execute("SELECT 1 AS x")->Value(0).ToLong(), 1);
  EXPECT_TRUE(cn_->Errors().empty());
}

TEST_P(Conformance, ClosedObjectsRefuseWork) {
  auto cn = OpenConnection(GetParam().connection_string);
  cn->Close();
  EXPECT_EQ(cn->State(), ado::kStateClosed);
  ExpectError(err::kAdoConnectionClosed, [&] { cn->Execute("SELECT 1"); });
  auto rs = Recordset::Create();
  EXPECT_EQ(rs->RecordCount(), -1);
  EXPECT_EQ(rs->FieldCount(), 0);
  ExpectError(err::kAdoObjectClosed, [&] { rs->Value(0); });
  ExpectError(err::kAdoObjectClosed, [&] { rs->IsEOF(); });
  ExpectError(err::kAdoConnectionClosed, [&] { rs->Open("SELECT 1"); });
}

TEST_P(Conformance, ProviderPropertiesNameTheDbms) {
  EXPECT_FALSE(cn_->PropertyValue("DBMS Name").ToText().empty());
  EXPECT_FALSE(cn_->PropertyValue("dbms version").ToText().empty());
  ExpectError(err::kAdoItemNotFound, [&] { cn_->PropertyValue("No Such Property"); });
}

INSTANTIATE_TEST_SUITE_P(Targets, Conformance, ::testing::ValuesIn(ConformanceTargets()),
                         TargetName());

TEST(ProviderRegistry, AnUnknownProviderIsAClearError) {
  ConformanceTargets();  // registers the providers
  auto cn = Connection::Create();
  try {
    cn->Open("Provider=NoSuchEngine;Data Source=x");
    FAIL() << "opened";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kAdoProviderNotFound);
    EXPECT_NE(e.description().find("NoSuchEngine"), std::string::npos);
  }
  ASSERT_EQ(cn->Errors().size(), 1u);
  EXPECT_EQ(cn->Errors()[0].number, err::kAdoProviderNotFound);
  EXPECT_EQ(cn->State(), ado::kStateClosed);
}

}  // namespace
}  // namespace q8::testing
