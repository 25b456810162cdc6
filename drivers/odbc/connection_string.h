// Connection strings of the ODBC driver.
//
// A host names its SQL Server the way the OLE DB providers want it
// ("Provider=SQLOLEDB.1;User ID=sa;Password=…;Initial Catalog=ERP;Data
// Source=host,1433"). On Linux that server is reached through FreeTDS, so
// such a string is rewritten into FreeTDS's keywords. A string that already
// names an ODBC driver or data source ("Driver=" or "DSN=") is passed to the
// driver manager unchanged, so any ODBC driver can be used.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ado/provider.h"

namespace q8::odbc {

// The login timeout set when an OLE DB string gives none (or 0): FreeTDS
// waits for ever without one.
inline constexpr int kDefaultLoginTimeout = 15;
// The ODBC driver name that the OLE DB SQL Server strings are mapped to.
inline constexpr const char* kFreeTdsDriver = "FreeTDS";

struct OdbcTarget {
  std::string connection_string;     // what SQLDriverConnect receives
  std::optional<int> login_timeout;  // seconds, from the string; nullopt: the caller's
  std::vector<std::string> dropped;  // keys of the OLE DB string that have no counterpart
};

// True for the strings this driver serves: "Driver=", "DSN=" or "FileDSN=",
// or a SQL Server OLE DB provider (SQLOLEDB[.n], SQLNCLI*, MSOLEDBSQL*).
bool Serves(const ado::ConnectionString& cs);

// Rewrites an OLE DB SQL Server string into a FreeTDS string; a string with
// "Driver=", "DSN=" or "FileDSN=" comes back unchanged, with the login
// timeout of its LoginTimeout, Connect Timeout, Connection Timeout or
// (FreeTDS's) Timeout key when it has one. Raises 3001 when a value cannot
// be written in ODBC's syntax (it holds "};").
OdbcTarget MapConnectionString(std::string_view text);

}  // namespace q8::odbc
