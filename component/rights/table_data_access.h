// A data-access-rights object driven by a table of the ERP database.
//
// The host system's own rights object ("Tabrix.DataAccess") is outside this
// component; the default one installed by the component applies no
// restriction. A deployment that wants per-user restrictions without the host
// system's object selects this one instead:
//
//   - RegisterTableDataAccess() registers it under its own ProgID,
//     "Q8VANTORpt.TableDataAccess";
//   - SelectTableDataAccess() also installs it under "Tabrix.DataAccess", so
//     that GetDataRightStrSql and the reports use it;
//   - SelectDataAccessFromEnvironment() does the latter when the environment
//     variable Q8VANTORPT_DATA_ACCESS is "table" (any case).
//
// The rules live in the table t_QPDataRight, one row per allowed base-data
// item of a user:
//
//   FUserID     int          the user (the descriptor's "UserID")
//   FDataTable  varchar(30)  't_ICItem' (materials), 't_Stock' (warehouses) or
//                            't_Organization' (customers), any letter case
//   FItemID     int          the allowed item: t_ICItem.FItemID,
//                            t_Stock.FItemID or the customer's t_Item.FItemID
//
// A user with no row at all is unrestricted (IsUsed is false). A user with
// rows is restricted in each data table that holds at least one of the user's
// rows, and sees everything of the other tables. The answer's "From" is
// always empty; its "Where" joins one condition per restricted column map
// with " AND ", on the map's alias and column (t1.FItemID, t2.FItemID,
// t11.FItemID in the reports):
//
//   t1.FItemID IN (SELECT FItemID FROM t_QPDataRight WHERE FUserID=7 AND FDataTable='T_ICItem')
//
// GetAccessDataSQL2 gives the same answer. The object opens its own connection from the descriptor
// that it is given; a database without the table makes every call fail with the database's error.
#pragma once

#include <string_view>

namespace q8::rights {

inline constexpr std::string_view kTableDataAccessProgId = "Q8VANTORpt.TableDataAccess";
inline constexpr std::string_view kEnvironmentVariable = "Q8VANTORPT_DATA_ACCESS";

// The table for the embedded (SQLite) database.
inline constexpr std::string_view kDataRightTableSqlite =
    "CREATE TABLE IF NOT EXISTS t_QPDataRight (FUserID int NOT NULL, "
    "FDataTable varchar(30) COLLATE NOCASE NOT NULL, FItemID int NOT NULL, "
    "PRIMARY KEY (FUserID, FDataTable, FItemID))";

void RegisterTableDataAccess();
void SelectTableDataAccess();
// True when the variable asked for the table-driven object and it was selected.
bool SelectDataAccessFromEnvironment();

}  // namespace q8::rights
