// The ODBC driver of the data-access layer (unixODBC; SQL Server through
// FreeTDS, or any ODBC driver).
#pragma once

#include <string>

namespace q8::odbc {

// Registers the ODBC provider: it serves connection strings with "Driver=" or
// "DSN=", and the SQL Server OLE DB forms ("Provider=SQLOLEDB…", "SQLNCLI…",
// "MSOLEDBSQL…"), which it maps to FreeTDS.
void RegisterProvider();

}  // namespace q8::odbc
