// Data-access rights: the user's FROM and WHERE restriction for a report
// query, asked of the outside rights object "Tabrix.DataAccess".
#pragma once

#include <cstdint>
#include <string>

#include "q8vantorpt/dictionary.h"

namespace q8 {

// Appends one column map (a Dictionary with "DataTable", "DataCol",
// "BillTableAs" and "BillCol", set in that order) to `list`.
void AddRightColumnMap(const std::string& DataTable, const std::string& DataCol,
                       const std::string& BillTableAs, const std::string& BillCol,
                       const ItemListPtr& list);

// Asks the rights object, created through the object context, whether rights
// apply to `userId`; when they do, replaces StrFrom and strWhere with the
// object's "From" and "Where" texts (GetAccessDataSQL when `useFirstForm`,
// else GetAccessDataSQL2). Returns true. On any failure calls SetAbort on the
// object context and re-raises the caught error unchanged; the two strings may
// already have been replaced by then. `tables` may be replaced by the object.
bool GetDataRightSql(const std::string& sDsn, int32_t userId, ItemListPtr& tables,
                     ItemListPtr& maps, std::string& StrFrom, std::string& strWhere,
                     bool useFirstForm);

}  // namespace q8
