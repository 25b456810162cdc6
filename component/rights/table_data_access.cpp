// The table-driven data-access-rights object (see table_data_access.h).
#include "component/rights/table_data_access.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "connection/cdatasource.h"
#include "connection/cparse.h"
#include "core/text.h"
#include "q8vantorpt/ado.h"
#include "q8vantorpt/outside.h"

namespace q8::rights {

namespace {

std::string Quoted(std::string_view text) {
  std::string out;
  AppendQuoted(out, text);
  return out;
}

DictionaryPtr Answer(const std::string& from, const std::string& where) {
  auto answer = std::make_shared<Dictionary>();
  answer->SetValue("From", from);
  answer->SetValue("Where", where);
  return answer;
}

class TableDataAccess : public DataAccess {
 public:
  bool IsUsed(std::string& dsn, int32_t& user_id) override {
    auto rs = Open(dsn)->Execute("SELECT COUNT(*) FROM t_QPDataRight WHERE FUserID=" +
                                 std::to_string(user_id));
    return rs->Value(0).ToInt64() > 0;
  }

  // "UserID" and "Tables": each listed table that holds rows of the user,
  // with the number of its rows.
  DictionaryPtr GetRowAccessInfo(std::string& dsn, int32_t& user_id, ItemListPtr& tables) override {
    auto counted = std::make_shared<Dictionary>();
    auto rs = Open(dsn)->Execute("SELECT FDataTable, COUNT(*) FROM t_QPDataRight WHERE FUserID=" +
                                 std::to_string(user_id) + " GROUP BY FDataTable");
    for (; !rs->IsEOF(); rs->MoveNext()) counted->SetValue(rs->Value(0).ToText(), rs->Value(1));

    auto restricted = std::make_shared<Dictionary>();
    if (tables) {
      for (const Variant& table : tables->Items()) {
        const std::string name = table.ToText();
        if (counted->Exists(name)) restricted->SetValue(name, counted->GetValue(name));
      }
    }
    auto info = std::make_shared<Dictionary>();
    info->SetValue("UserID", user_id);
    info->SetValue("Tables", Variant(restricted));
    return info;
  }

  DictionaryPtr GetAccessDataSQL(ItemListPtr& maps, DictionaryPtr& rights) override {
    return Build(maps, rights);
  }
  // The second form answers the same.
  DictionaryPtr GetAccessDataSQL2(ItemListPtr& maps, DictionaryPtr& rights) override {
    return Build(maps, rights);
  }

 private:
  static ado::ConnectionPtr Open(const std::string& dsn) {
    auto parser = std::make_shared<CParse>();
    parser->ParseString(dsn);
    CDataSource source;
    source.SetParseObject(parser);
    return source.UnCommittedConnection();
  }

  static DictionaryPtr Build(const ItemListPtr& maps, const DictionaryPtr& rights) {
    if (!rights || !maps) return Answer("", "");
    auto tables = rights->GetValue("Tables").As<Dictionary>();
    const std::string user = std::to_string(rights->GetValue("UserID").ToLong());
    std::string where;
    for (const Variant& item : maps->Items()) {
      auto map = item.As<Dictionary>();
      if (!map) RaisePlatform(err::kTypeMismatch);
      const std::string table = map->GetValue("DataTable").ToText();
      if (!tables || !tables->Exists(table)) continue;
      const std::string column =
          map->GetValue("BillTableAs").ToText() + "." + map->GetValue("BillCol").ToText();
      if (!where.empty()) where += " AND ";
      where += column + " IN (SELECT FItemID FROM t_QPDataRight WHERE FUserID=" + user +
               " AND FDataTable=" + Quoted(table) + ")";
    }
    return Answer("", where);
  }
};

}  // namespace

void RegisterTableDataAccess() {
  Registry::Instance().Register(kTableDataAccessProgId,
                                [] { return std::make_shared<TableDataAccess>(); });
}

void SelectTableDataAccess() {
  RegisterTableDataAccess();
  Registry::Instance().Register(progid::kDataAccess,
                                [] { return std::make_shared<TableDataAccess>(); });
}

bool SelectDataAccessFromEnvironment() {
  const char* value = std::getenv(std::string(kEnvironmentVariable).c_str());
  if (!value) return false;
  if (!EqualsNoCase(value, "table")) return false;
  SelectTableDataAccess();
  return true;
}

}  // namespace q8::rights
