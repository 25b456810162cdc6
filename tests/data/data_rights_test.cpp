// Data-access rights: GetDataRightStrSql against a recording rights object
// installed as "Tabrix.DataAccess", and the table-driven rights object.
#include "component/data/data_rights.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "component/rights/table_data_access.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"
#include "q8vantorpt/rpt.h"
#include "tests/data/test_db.h"

namespace q8 {
namespace {

using testing::FreshContext;
using testing::TestDb;

// What the recording rights object saw, shared with the test.
struct Record {
  std::vector<std::string> calls;
  std::string dsn;
  int32_t user = -1;
  std::vector<std::string> tables;
  std::vector<std::vector<std::pair<std::string, Variant>>> maps;
  DictionaryPtr row_rights_given;     // returned by GetRowAccessInfo
  DictionaryPtr row_rights_received;  // passed to GetAccessDataSQL
};

struct Behaviour {
  bool used = true;
  std::string from = " inner join t_Right r on r.FItemID = t1.FItemID";
  std::string where = "r.FUserID = 42";
  std::string fail_in;  // the operation that raises
};

const Error kRightsError(-2147217900, "Tabrix.DataAccess", "权限服务不可用", "rights.chm", 77);

class RecordingRights : public DataAccess {
 public:
  RecordingRights(std::shared_ptr<Record> record, Behaviour behaviour)
      : record_(std::move(record)), behaviour_(std::move(behaviour)) {}

  bool IsUsed(std::string& dsn, int32_t& user_id) override {
    Enter("IsUsed");
    record_->dsn = dsn;
    record_->user = user_id;
    return behaviour_.used;
  }
  DictionaryPtr GetRowAccessInfo(std::string&, int32_t&, ItemListPtr& tables) override {
    Enter("GetRowAccessInfo");
    for (const Variant& t : tables->Items()) record_->tables.push_back(t.ToText());
    record_->row_rights_given = std::make_shared<Dictionary>();
    return record_->row_rights_given;
  }
  DictionaryPtr GetAccessDataSQL(ItemListPtr& maps, DictionaryPtr& rights) override {
    return Answer("GetAccessDataSQL", maps, rights);
  }
  DictionaryPtr GetAccessDataSQL2(ItemListPtr& maps, DictionaryPtr& rights) override {
    return Answer("GetAccessDataSQL2", maps, rights);
  }

 private:
  void Enter(const std::string& op) {
    record_->calls.push_back(op);
    if (behaviour_.fail_in == op) throw kRightsError;
  }
  DictionaryPtr Answer(const std::string& op, ItemListPtr& maps, DictionaryPtr& rights) {
    Enter(op);
    for (const Variant& m : maps->Items()) record_->maps.push_back(m.As<Dictionary>()->Items());
    record_->row_rights_received = rights;
    auto answer = std::make_shared<Dictionary>();
    answer->SetValue("From", behaviour_.from);
    answer->SetValue("Where", behaviour_.where);
    return answer;
  }
  std::shared_ptr<Record> record_;
  Behaviour behaviour_;
};

// Installs a recording rights object for one test.
class Rights : public ::testing::Test {
 protected:
  void SetUp() override { RegisterComponent(); }
  void TearDown() override { Registry::Instance().Unregister(progid::kDataAccess); }
  void Install(Behaviour behaviour) {
    Registry::Instance().Register(progid::kDataAccess, [this, behaviour] {
      return std::make_shared<RecordingRights>(record_, behaviour);
    });
  }
  std::shared_ptr<Record> record_ = std::make_shared<Record>();
};

const std::string kDsn =
    "ConnectString={Provider=SQLite;Data Source=:memory:};Language=CHS;UserID= 42 ;";

TEST_F(Rights, UserWithoutRightsKeepsTheStrings) {
  Install(Behaviour{.used = false, .fail_in = ""});
  auto context = FreshContext();
  Data data;
  std::string from = "caller from", where = "caller where";
  EXPECT_FALSE(data.GetDataRightStrSql(kDsn, from, where));
  EXPECT_EQ(from, "caller from");
  EXPECT_EQ(where, "caller where");
  EXPECT_EQ(record_->calls, std::vector<std::string>{"IsUsed"});
  EXPECT_EQ(record_->dsn, kDsn);
  EXPECT_EQ(record_->user, 42);
  ASSERT_TRUE(context);
  EXPECT_EQ(context->calls(),
            (std::vector<std::string>{"SetComplete", "CreateInstance:Tabrix.DataAccess"}));
}

TEST_F(Rights, UserWithRightsGetsTheObjectsTexts) {
  Install(Behaviour{});
  Data data;
  std::string from = "old from", where = "old where";
  EXPECT_FALSE(data.GetDataRightStrSql(kDsn, from, where));
  EXPECT_EQ(from, " inner join t_Right r on r.FItemID = t1.FItemID");
  EXPECT_EQ(where, "r.FUserID = 42");
  EXPECT_EQ(record_->calls,
            (std::vector<std::string>{"IsUsed", "GetRowAccessInfo", "GetAccessDataSQL"}));
  EXPECT_EQ(record_->tables, (std::vector<std::string>{"t_ICItem", "t_Stock", "t_Organization"}));
  using Map = std::vector<std::pair<std::string, Variant>>;
  const std::vector<Map> maps = {
      {{"DataTable", "T_ICItem"},
       {"DataCol", "FItemID"},
       {"BillTableAs", "t1"},
       {"BillCol", "FItemID"}},
      {{"DataTable", "t_Stock"},
       {"DataCol", "FDCStockID"},
       {"BillTableAs", "t2"},
       {"BillCol", "FItemID"}},
      {{"DataTable", "t_Organization"},
       {"DataCol", "FCustID"},
       {"BillTableAs", "t11"},
       {"BillCol", "FItemID"}},
  };
  EXPECT_EQ(record_->maps, maps);
  // The row rights go from one call to the next untouched.
  EXPECT_EQ(record_->row_rights_received, record_->row_rights_given);
}

TEST_F(Rights, FailuresAbortAndPassUnchanged) {
  for (const std::string op : {"IsUsed", "GetRowAccessInfo", "GetAccessDataSQL"}) {
    SCOPED_TRACE(op);
    record_ = std::make_shared<Record>();
    Install(Behaviour{.fail_in = op});
    auto context = FreshContext();
    Data data;
    std::string from = "f", where = "w";
    try {
      data.GetDataRightStrSql(kDsn, from, where);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kRightsError.number());
      EXPECT_EQ(e.source(), kRightsError.source());
      EXPECT_EQ(e.description(), kRightsError.description());
    }
    EXPECT_EQ(from, "f");
    EXPECT_EQ(where, "w");
    ASSERT_TRUE(context);
    EXPECT_EQ(context->abort_count(), 1);
    EXPECT_EQ(context->calls().back(), "SetAbort");
  }
}

TEST_F(Rights, DescriptorWithoutUserFailsBeforeAnyObject) {
  Install(Behaviour{});
  auto context = FreshContext();
  Data data;
  std::string from, where;
  try {
    data.GetDataRightStrSql("Language=CHS;", from, where);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
  EXPECT_TRUE(record_->calls.empty());
  ASSERT_TRUE(context);
  EXPECT_TRUE(context->calls().empty());
}

TEST_F(Rights, ModuleProcedureFormsAndEmptyLists) {
  struct Case {
    const char* note;
    bool first_form;
    bool with_tables, with_maps;
    std::vector<std::string> calls;
    bool replaced;
  };
  const std::vector<Case> cases = {
      {"second form", false, true, true, {"IsUsed", "GetRowAccessInfo", "GetAccessDataSQL2"}, true},
      {"no tables: no row rights", true, false, true, {"IsUsed", "GetAccessDataSQL"}, true},
      {"no maps: strings kept", true, true, false, {"IsUsed", "GetRowAccessInfo"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    record_ = std::make_shared<Record>();
    Install(Behaviour{});
    auto tables = std::make_shared<ItemList>();
    auto maps = std::make_shared<ItemList>();
    if (c.with_tables) tables->Add("t_Stock");
    if (c.with_maps) AddRightColumnMap("t_Stock", "FDCStockID", "t2", "FItemID", maps);
    std::string from = "f", where = "w";
    EXPECT_TRUE(GetDataRightSql(kDsn, 7, tables, maps, from, where, c.first_form));
    EXPECT_EQ(record_->calls, c.calls);
    EXPECT_EQ(from, c.replaced ? Behaviour{}.from : "f");
    EXPECT_EQ(where, c.replaced ? Behaviour{}.where : "w");
    if (!c.with_tables && c.with_maps) {
      EXPECT_FALSE(record_->row_rights_received);
    }
  }
}

// The table-driven rights object on a database that lists allowed items.
class TableRights : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(std::string(rights::kDataRightTableSqlite) + ";");
    db_.Exec(
        "INSERT INTO t_ICItem (FItemID, FNumber, FName) VALUES (1, '01.01', '刹车片'), "
        "(2, '01.02', '机油滤清器'), (3, '01.03', '火花塞');"
        "INSERT INTO t_QPDataRight (FUserID, FDataTable, FItemID) VALUES "
        "(7, 't_ICItem', 1), (7, 'T_ICITEM', 3), (7, 't_Organization', 500), (8, 't_Stock', 9);");
    rights::SelectTableDataAccess();
  }
  void TearDown() override { Registry::Instance().Unregister(progid::kDataAccess); }
  TestDb db_;
};

TEST_F(TableRights, FragmentsPerUser) {
  struct Case {
    const char* user;
    std::string where;  // "-" when IsUsed is false and the strings stay
  };
  const std::vector<Case> cases = {
      {"6", "-"},
      {"7",
       "t1.FItemID IN (SELECT FItemID FROM t_QPDataRight WHERE FUserID=7 AND FDataTable='T_ICItem')"
       " AND t11.FItemID IN (SELECT FItemID FROM t_QPDataRight WHERE FUserID=7 AND "
       "FDataTable='t_Organization')"},
      {"8",
       "t2.FItemID IN (SELECT FItemID FROM t_QPDataRight WHERE FUserID=8 AND "
       "FDataTable='t_Stock')"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    Data data;
    std::string from = "-", where = "-";
    data.GetDataRightStrSql(db_.Dsn("CHS", c.user), from, where);
    EXPECT_EQ(from, c.where == "-" ? "-" : "");
    EXPECT_EQ(where, c.where);
  }
}

TEST_F(TableRights, DatabaseWithoutTheTableFails) {
  db_.Exec("DROP TABLE t_QPDataRight;");
  auto context = FreshContext();
  Data data;
  std::string from, where;
  EXPECT_THROW(data.GetDataRightStrSql(db_.Dsn("CHS", "7"), from, where), Error);
  ASSERT_TRUE(context);
  EXPECT_EQ(context->abort_count(), 1);
}

}  // namespace
}  // namespace q8
