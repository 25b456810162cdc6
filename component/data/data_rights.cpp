// Data-access rights of Data: the tables and columns of a report query that
// are subject to per-user rights, and the call of the outside rights object
// that turns them into a FROM and a WHERE fragment.
#include "component/data/data_rights.h"

#include <memory>

#include "component/frame.h"
#include "component/handlers.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"

namespace q8 {

namespace {

// A late-bound call on an object that lacks the operation fails with 438;
// an object that is not there at all with 91.
std::shared_ptr<DataAccess> AsDataAccess(const ObjectPtr& object) {
  if (!object) RaisePlatform(err::kObjectNotSet);
  auto rights = std::dynamic_pointer_cast<DataAccess>(object);
  if (!rights) RaisePlatform(err::kNotSupported);
  return rights;
}

template <class T>
T& Deref(const std::shared_ptr<T>& p) {
  if (!p) RaisePlatform(err::kObjectNotSet);
  return *p;
}

}  // namespace

bool Data::GetDataRightStrSql(const std::string& sDsn, std::string& StrFrom,
                              std::string& strWhere) {
  auto tables = std::make_shared<ItemList>();
  auto maps = std::make_shared<ItemList>();
  tables->Add("t_ICItem");
  tables->Add("t_Stock");
  tables->Add("t_Organization");
  // The item table is spelled with a capital T in its map, unlike the list.
  AddRightColumnMap("T_ICItem", "FItemID", "t1", "FItemID", maps);
  AddRightColumnMap("t_Stock", "FDCStockID", "t2", "FItemID", maps);
  AddRightColumnMap("t_Organization", "FCustID", "t11", "FItemID", maps);
  // A descriptor without "UserID" answers "cht", which fails here with 13
  // before any rights object is created.
  const int32_t user = Variant(GetPropertyExt(sDsn, "UserID")).ToLong();
  GetDataRightSql(sDsn, user, tables, maps, StrFrom, strWhere, true);
  return false;
}

void AddRightColumnMap(const std::string& DataTable, const std::string& DataCol,
                       const std::string& BillTableAs, const std::string& BillCol,
                       const ItemListPtr& list) {
  auto map = std::make_shared<Dictionary>();
  map->SetValue("DataTable", DataTable);
  map->SetValue("DataCol", DataCol);
  map->SetValue("BillTableAs", BillTableAs);
  map->SetValue("BillCol", BillCol);
  Deref(list).Add(Variant(map));
}

bool GetDataRightSql(const std::string& sDsn, int32_t userId, ItemListPtr& tables,
                     ItemListPtr& maps, std::string& StrFrom, std::string& strWhere,
                     bool useFirstForm) {
  try {
    FrameComplete();
    // Created through the context so that it runs in the caller's transaction.
    auto rights = AsDataAccess(apartment::GetObjectContext()->CreateInstance(progid::kDataAccess));
    std::string dsn = sDsn;
    int32_t user = userId;
    if (!rights->IsUsed(dsn, user)) return true;

    DictionaryPtr row_rights;
    if (Deref(tables).Count() > 0) row_rights = rights->GetRowAccessInfo(dsn, user, tables);
    if (Deref(maps).Count() > 0) {
      DictionaryPtr answer = useFirstForm ? rights->GetAccessDataSQL(maps, row_rights)
                                          : rights->GetAccessDataSQL2(maps, row_rights);
      StrFrom = Deref(answer).GetValue("From").ToText();
      strWhere = answer->GetValue("Where").ToText();
    }
    return true;
  } catch (...) {
    FrameAbort();
    handler::Reraise();
  }
}

}  // namespace q8
