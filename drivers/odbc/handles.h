// ODBC handles and the one way every ODBC call is checked.
//
// Each handle kind (environment, connection, statement) is owned by exactly
// one Handle object, which frees it on destruction and never throws. Every
// call of the driver manager goes through Check(): success and
// success-with-information pass, SQL_NO_DATA passes back to the caller as an
// answer, anything else becomes a ProviderError that carries every
// diagnostic record of the handle. Failure is decided by the return code
// alone, never by the class of the SQLSTATE: unixODBC reports a driver that
// cannot be loaded with rc -1 and the "warning" state 01000.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ado/provider.h"

namespace q8::odbc {

template <SQLSMALLINT Kind>
class Handle {
 public:
  Handle() = default;
  explicit Handle(SQLHANDLE h) : h_(h) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  Handle& operator=(Handle&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = std::exchange(o.h_, nullptr);
    }
    return *this;
  }

  SQLHANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != SQL_NULL_HANDLE; }
  // Frees the handle; a failure to free has nobody to report to.
  void Reset() noexcept {
    if (h_ != SQL_NULL_HANDLE) SQLFreeHandle(Kind, std::exchange(h_, nullptr));
  }

 private:
  SQLHANDLE h_ = SQL_NULL_HANDLE;
};

using EnvHandle = Handle<SQL_HANDLE_ENV>;
using DbcHandle = Handle<SQL_HANDLE_DBC>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

// The source of the errors raised by this driver.
inline constexpr const char* kErrorSource = "Q8VANTORpt ODBC driver";

// The diagnostic records of a handle, in the driver's order. Messages keep
// their text; line breaks inside a message (psqlODBC adds one) become blanks.
std::vector<ado::ErrorEntry> Diagnostics(SQLSMALLINT kind, SQLHANDLE h);

// The error number reported for a SQLSTATE: the OLE DB result codes that a
// host of this component sees for the same failures on SQL Server.
int32_t NumberForState(const std::string& sql_state);

// Raises the diagnostics of `h` as a ProviderError; `call` names the ODBC
// function, for a failure that left no record.
[[noreturn]] void RaiseDiagnostics(SQLSMALLINT kind, SQLHANDLE h, SQLRETURN rc, const char* call);

// Checks the return code of an ODBC call made on handle `h` (of `kind`).
// Returns rc when it is SQL_SUCCESS, SQL_SUCCESS_WITH_INFO or SQL_NO_DATA;
// raises otherwise.
inline SQLRETURN Check(SQLRETURN rc, SQLSMALLINT kind, SQLHANDLE h, const char* call) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) return rc;
  RaiseDiagnostics(kind, h, rc, call);
}

// Raises `e` again as the loss of the connection when the driver reports
// `dbc` dead after it (SQL_ATTR_CONNECTION_DEAD) and the first entry does
// not read as a failed connection already: number E_FAIL and SQLSTATE 08S01
// in the first entry (FreeTDS reports a server that went away in the middle
// of a result as the warning 01000). Returns when the connection is alive,
// the driver cannot tell, or `e` says so itself.
void RaiseIfConnectionDead(SQLHDBC dbc, const ado::ProviderError& e);

// True when a failed call was only asking for an attribute that the driver
// does not implement (HYC00: optional feature not implemented, HY092:
// invalid attribute). Used for the optional timeouts alone.
bool IsUnsupportedFeature(const ado::ProviderError& e);

// The process-wide ODBC 3 environment, created on first use and released
// when the last connection that uses it ends.
std::shared_ptr<EnvHandle> SharedEnvironment();

}  // namespace q8::odbc
