// The table-driven rights object seen through a report: the restriction
// that it answers reaches the report's query and narrows its rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/rights/table_data_access.h"
#include "q8vantorpt/outside.h"
#include "tests/reports/engine_fixture.h"

namespace q8::testing {
namespace {

class RightsInReport : public ReportDb {
 protected:
  void SetUp() override {
    ReportDb::SetUp();
    Exec(std::string(rights::kDataRightTableSqlite) + ";");
    // Materials 101 and 102 in the consignment warehouses of C001 (301) and
    // C002 (302).
    Exec(
        "INSERT INTO ICInventory (FItemID, FStockID, FQty, FSecQty) VALUES "
        "(101, 301, 10, 0), (102, 301, 4, 0), (101, 302, 6, 0);");
    rights::SelectTableDataAccess();
  }
  void TearDown() override {
    Registry::Instance().Unregister(progid::kDataAccess);
    ReportDb::TearDown();
  }
};

TEST_F(RightsInReport, RowsFollowTheUsersRights) {
  struct Case {
    const char* note;
    std::string rights;  // rows of t_QPDataRight for user 0
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {"no rows: unrestricted", "", {"C001|M001|10", "C001|M002|4", "C002|M001|6", "合计|NULL|20"}},
      {"one material", "(0, 't_ICItem', 101)", {"C001|M001|10", "C002|M001|6", "合计|NULL|16"}},
      {"one customer", "(0, 't_Organization', 202)", {"C002|M001|6", "合计|NULL|6"}},
      {"material and warehouse",
       "(0, 't_ICItem', 102), (0, 't_Stock', 301), (0, 't_Stock', 302)",
       {"C001|M002|4", "合计|NULL|4"}},
      {"another user's rows",
       "(5, 't_ICItem', 999)",
       {"C001|M001|10", "C001|M002|4", "C002|M001|6", "合计|NULL|20"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Exec("DELETE FROM t_QPDataRight;");
    if (!c.rights.empty()) Exec("INSERT INTO t_QPDataRight VALUES " + c.rights + ";");
    auto rs = Run(2008608, Filter({}));
    ASSERT_TRUE(rs);
    EXPECT_EQ(Rows(*rs, {"FCustNumber", "FMaterialNumber", "FBUQty"}), c.want);
  }
}

}  // namespace
}  // namespace q8::testing
