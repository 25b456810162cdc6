// The report catalogue: GetReportList and GetReportGroupName.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "q8vantorpt/rpt.h"
#include "tests/data/test_db.h"

namespace q8 {
namespace {

using testing::TestDb;

class Catalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    // The three languages order the reports differently; type 0 comes first.
    db_.Exec(
        "INSERT INTO ICReport (FInterID, FRptName, FRptName_CHT, FRptName_EN, FDetailRptName, "
        "FDetailRptName_CHT, FDetailRptName_EN, FRptType, FRptGrpID, FProcedure) VALUES "
        "(1, 'B报表', 'C報表', 'A report', 'B明细', 'C明細', 'A detail', 1, 1, 'p1'),"
        "(2, 'A报表', 'B報表', 'C report', 'A明细', 'B明細', 'C detail', 1, 2, 'p2'),"
        "(3, 'C报表', 'A報表', 'B report', 'C明细', 'A明細', 'B detail', 1, -3, 'p3'),"
        "(4, 'Z最后', 'Z最後', 'Z last', 'Z明细', 'Z明細', 'Z detail', 0, 2, 'p4');"
        "INSERT INTO ICReportGroup (FRptGrpID, FRptGrpName) VALUES (1, '库存报表'), (2, NULL);");
  }
  TestDb db_;
};

// (FRptName, FDetailRptName) of every row, in order.
std::vector<std::pair<std::string, std::string>> RowNames(ado::Recordset& rs) {
  std::vector<std::pair<std::string, std::string>> names;
  for (; !rs.IsEOF(); rs.MoveNext())
    names.emplace_back(rs.Value("FRptName").ToText(), rs.Value("FDetailRptName").ToText());
  return names;
}

TEST_F(Catalogue, ListInTheCallersLanguage) {
  using Names = std::vector<std::pair<std::string, std::string>>;
  const Names chs = {
      {"Z最后", "Z明细"}, {"A报表", "A明细"}, {"B报表", "B明细"}, {"C报表", "C明细"}};
  const Names cht = {
      {"Z最後", "Z明細"}, {"A報表", "A明細"}, {"B報表", "B明細"}, {"C報表", "C明細"}};
  const Names en = {{"Z last", "Z detail"},
                    {"A report", "A detail"},
                    {"B report", "B detail"},
                    {"C report", "C detail"}};
  struct Case {
    const char* language;
    Names expected;
  };
  const std::vector<Case> cases = {
      {"CHS", chs}, {"", chs},    {"JP", chs}, {"CHT", cht},
      {"cht", cht}, {"cHt", cht}, {"EN", en},  {"en", en},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    Rpt rpt;
    ado::RecordsetPtr rs = rpt.GetReportList(db_.Dsn(c.language));
    ASSERT_TRUE(rs);
    EXPECT_EQ(RowNames(*rs), c.expected);
  }
}

TEST_F(Catalogue, ListOfOneGroup) {
  struct Case {
    int32_t group;
    std::vector<std::string> expected;  // sorted: the server's order is not fixed
  };
  const std::vector<Case> cases = {
      {2, {"C report", "Z last"}},
      {-3, {"B report"}},
      {99, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    Rpt rpt;
    ado::RecordsetPtr rs = rpt.GetReportList(db_.Dsn("EN"), c.group);
    std::vector<std::string> names;
    for (const auto& [name, detail] : RowNames(*rs)) names.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.expected);
  }
}

TEST_F(Catalogue, ListColumnsAndDetachment) {
  ado::RecordsetPtr rs;
  {
    auto rpt = std::make_shared<Rpt>();
    rs = rpt->GetReportList(db_.Dsn());
  }
  ASSERT_TRUE(rs);
  EXPECT_FALSE(rs->ActiveConnection());
  std::vector<std::string> columns;
  for (const auto& column : rs->Columns()) columns.push_back(column.name);
  EXPECT_EQ(columns, (std::vector<std::string>{
                         "FRptName", "FDetailRptName", "FProcedure", "FTemplateID", "FNote", "Fsum",
                         "FRptType", "FRptGrpID", "FRptProperty", "FRptStyle", "FObjectType",
                         "FObjectID", "FBillType", "FInterID", "FVis", "FCountPriceType",
                         "FMergeCol", "FEObjectType", "FEObjectID"}));
  EXPECT_EQ(rs->RecordCount(), 4);
  EXPECT_EQ(rs->Value("FProcedure").ToText(), "p4");
}

TEST_F(Catalogue, GroupNames) {
  struct Case {
    const char* language;
    int32_t group;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"CHS", 1, "库存报表"},
      {"EN", 1, "库存报表"},
      // A NULL name reads as "".
      {"CHS", 2, ""},
      {"CHS", 9, "报表"},
      {"CHT", 9, "報表"},
      {"EN", 9, "Report"},
      {"en", -1, "Report"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.language) + " " + std::to_string(c.group));
    Rpt rpt;
    EXPECT_EQ(rpt.GetReportGroupName(db_.Dsn(c.language), c.group), c.expected);
  }
}

TEST_F(Catalogue, FailuresPassUnchanged) {
  Rpt rpt;
  try {
    rpt.GetReportList(db_.Dsn() + "language=EN;");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kKeyAlreadyPresent);
  }
  try {
    rpt.GetReportGroupName("Language=CHS;", 1);  // no "ConnectString"
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
  }
}

}  // namespace
}  // namespace q8
