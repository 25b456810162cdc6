// The ODBC provider: connections, their properties, and registration.
#include "drivers/odbc/odbc_provider.h"

#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "core/ado/layer_errors.h"
#include "drivers/odbc/connection_string.h"
#include "drivers/odbc/handles.h"
#include "drivers/odbc/statement.h"
#include "q8vantorpt/error.h"

namespace q8::odbc {

namespace {

// An attribute that the driver does not implement keeps the driver's own
// behaviour; every other failure of the call is a failure.
void SetOptionalAttribute(SQLHDBC dbc, SQLINTEGER attribute, SQLULEN value, const char* call) {
  try {
    Check(SQLSetConnectAttr(dbc, attribute, reinterpret_cast<SQLPOINTER>(value), SQL_IS_UINTEGER),
          SQL_HANDLE_DBC, dbc, call);
  } catch (const ado::ProviderError& e) {
    if (!IsUnsupportedFeature(e)) throw;
  }
}

bool EndsWithNoCase(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() &&
         std::equal(tail.begin(), tail.end(), s.end() - static_cast<std::ptrdiff_t>(tail.size()),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) ==
                             std::tolower(static_cast<unsigned char>(b));
                    });
}

// True when `driver` (a name registered in odbcinst.ini, or a library's
// path) is FreeTDS's ODBC driver.
bool IsFreeTds(SQLHENV env, std::string_view driver) {
  if (EndsWithNoCase(driver, "libtdsodbc.so")) return true;
  SQLCHAR name[256], attributes[2048];
  SQLSMALLINT name_length = 0, attributes_length = 0;
  for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
    const SQLRETURN rc = SQLDrivers(env, direction, name, sizeof name, &name_length, attributes,
                                    sizeof attributes, &attributes_length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return false;
    const std::string_view registered(reinterpret_cast<const char*>(name));
    if (registered.size() != driver.size() || !EndsWithNoCase(registered, driver)) continue;
    // "Driver=/usr/lib/…/libtdsodbc.so\0Setup=…\0\0"
    for (const char* a = reinterpret_cast<const char*>(attributes); *a; a += std::strlen(a) + 1) {
      const std::string_view entry(a);
      if (entry.starts_with("Driver=") && EndsWithNoCase(entry, "libtdsodbc.so")) return true;
    }
    return false;
  }
}

// An ODBC string naming FreeTDS by "Driver=" with neither a protocol version
// nor a freetds.conf entry (Servername) leaves FreeTDS to find the version
// itself ("auto", Debian's freetds.conf): against a server that accepts and
// then says nothing, it then retries with other versions and never returns,
// whatever the login timeout. Such a string gets TDS_Version=7.4, which every
// SQL Server since 2000 answers with its own version.
std::string WithProtocolVersion(SQLHENV env, const std::string& connection_string) {
  const ado::ConnectionString cs(connection_string);
  const std::optional<std::string> driver = cs.Get("Driver");
  if (!driver || cs.Has("DSN") || cs.Has("FileDSN") || cs.Has("TDS_Version") ||
      cs.Has("Servername") || !IsFreeTds(env, *driver))
    return connection_string;
  std::string out = connection_string;
  if (!out.empty() && out.back() != ';') out += ';';
  return out + "TDS_Version=7.4;";
}

[[noreturn]] void RaiseNotOpen() {
  ado::ErrorEntry e{err::kAdoConnectionClosed, kErrorSource, ado::LayerText(err::kAdoObjectClosed),
                    0, "08003"};
  throw ado::ProviderError(e.number, e.source, e.description, {e});
}

// How a SQLGetInfo answer becomes a property value.
enum class Kind { kText, kYesNoText, kYesNoBool, kYesNoLong, kMask };

struct InfoProperty {
  const char* name;
  SQLUSMALLINT info;
  Kind kind;
};

// The provider properties the component reads, and a few that say which
// driver and server answer.
constexpr InfoProperty kInfoProperties[] = {
    {"DBMS Name", SQL_DBMS_NAME, Kind::kText},
    {"DBMS Version", SQL_DBMS_VER, Kind::kText},
    // A bitmask for the OLE DB providers: 1 = multiple results supported.
    {"Multiple Results", SQL_MULT_RESULT_SETS, Kind::kYesNoLong},
    {"Like Escape Clause", SQL_LIKE_ESCAPE_CLAUSE, Kind::kYesNoText},
    {"Integrity Enhancement Facility", SQL_INTEGRITY, Kind::kYesNoBool},
    {"Numeric Functions", SQL_NUMERIC_FUNCTIONS, Kind::kMask},
    {"String Functions", SQL_STRING_FUNCTIONS, Kind::kMask},
    {"System Functions", SQL_SYSTEM_FUNCTIONS, Kind::kMask},
    {"Time/Date Functions", SQL_TIMEDATE_FUNCTIONS, Kind::kMask},
    {"Provider Name", SQL_DRIVER_NAME, Kind::kText},
    {"Provider Version", SQL_DRIVER_VER, Kind::kText},
    {"Data Source Name", SQL_DATA_SOURCE_NAME, Kind::kText},
    {"Server Name", SQL_SERVER_NAME, Kind::kText},
    {"Current Catalog", SQL_DATABASE_NAME, Kind::kText},
    {"User Name", SQL_USER_NAME, Kind::kText},
};

Variant ReadInfo(SQLHDBC dbc, const InfoProperty& p) {
  if (p.kind == Kind::kMask) {
    SQLUINTEGER mask = 0;
    Check(SQLGetInfo(dbc, p.info, &mask, sizeof mask, nullptr), SQL_HANDLE_DBC, dbc, "SQLGetInfo");
    return Variant(static_cast<int32_t>(mask));
  }
  SQLCHAR text[512] = {};
  SQLSMALLINT length = 0;
  Check(SQLGetInfo(dbc, p.info, text, sizeof text, &length), SQL_HANDLE_DBC, dbc, "SQLGetInfo");
  std::string s(reinterpret_cast<const char*>(text));
  switch (p.kind) {
    case Kind::kYesNoText:
      return Variant(s == "Y" ? "Y" : "N");
    case Kind::kYesNoBool:
      return Variant(s == "Y");
    case Kind::kYesNoLong:
      return Variant(static_cast<int32_t>(s == "Y" ? 1 : 0));
    default:
      return Variant(std::move(s));
  }
}

class OdbcConnection : public ado::ProviderConnection {
 public:
  explicit OdbcConnection(std::shared_ptr<Session> session) : session_(std::move(session)) {}
  ~OdbcConnection() override {
    // The session disconnects once the last execution that reads from it
    // has gone; nothing to do here.
  }

  std::unique_ptr<ado::ResultStream> Execute(const std::string& text,
                                             std::vector<ado::ParameterPtr>& params,
                                             int timeout_seconds) override {
    return Run(text, params, timeout_seconds);
  }

  std::unique_ptr<ado::ResultStream> CallProcedure(const std::string& name,
                                                   std::vector<ado::ParameterPtr>& params,
                                                   int timeout_seconds) override {
    return Run(ProcedureCall(name, params), params, timeout_seconds);
  }

  std::vector<ado::Property> Properties() override {
    std::vector<ado::Property> out;
    if (!session_->connected) return out;
    for (const InfoProperty& p : kInfoProperties) {
      try {
        out.push_back({p.name, ReadInfo(session_->dbc.get(), p)});
      } catch (const ado::ProviderError&) {
        // A driver that cannot answer leaves the property out; the reader
        // decides what that means.
      }
    }
    return out;
  }

  void Close() override {
    if (!session_->connected) return;
    if (auto active = session_->active.lock()) active->Abandon();
    session_->connected = false;
    SQLHDBC dbc = session_->dbc.get();
    Check(SQLDisconnect(dbc), SQL_HANDLE_DBC, dbc, "SQLDisconnect");
  }

  void Interrupt() noexcept override {
    std::lock_guard<std::mutex> lock(session_->cancel_mu);
    session_->cancelled = true;
    if (session_->running != SQL_NULL_HANDLE) SQLCancel(session_->running);
  }

 private:
  std::unique_ptr<ado::ResultStream> Run(const std::string& text,
                                         std::vector<ado::ParameterPtr>& params,
                                         int timeout_seconds) {
    if (!session_->connected) RaiseNotOpen();
    // The connection has one cursor: an earlier execution that is still
    // being read keeps its remaining results in memory.
    if (auto active = session_->active.lock()) active->Drain();
    auto execution = std::make_shared<Execution>(session_, text, params, timeout_seconds);
    session_->active = execution;
    return std::make_unique<OdbcResultStream>(std::move(execution));
  }

  std::shared_ptr<Session> session_;
};

std::unique_ptr<ado::ProviderConnection> Open(const std::string& connection_string,
                                              int login_timeout_seconds) {
  OdbcTarget target = MapConnectionString(connection_string);
  auto session = std::make_shared<Session>();
  session->env = SharedEnvironment();
  SQLHENV env = session->env->get();
  SQLHANDLE h = SQL_NULL_HANDLE;
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &h), SQL_HANDLE_ENV, env,
        "SQLAllocHandle(SQL_HANDLE_DBC)");
  session->dbc = DbcHandle(h);

  int timeout = target.login_timeout.value_or(login_timeout_seconds);
  // The caller's time limit on this thread bounds the login as well.
  if (std::optional<int> left = ado::deadline::SecondsLeft())
    timeout = timeout > 0 ? std::min(timeout, *left) : *left;
  if (timeout >= 0) {
    SetOptionalAttribute(h, SQL_ATTR_LOGIN_TIMEOUT, static_cast<SQLULEN>(timeout),
                         "SQLSetConnectAttr(SQL_ATTR_LOGIN_TIMEOUT)");
  }
  const std::string connect = WithProtocolVersion(env, target.connection_string);
  SQLCHAR completed[1024];
  SQLSMALLINT completed_length = 0;
  SQLRETURN rc =
      Check(SQLDriverConnect(
                h, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connect.c_str())), SQL_NTS,
                completed, sizeof completed, &completed_length, SQL_DRIVER_NOPROMPT),
            SQL_HANDLE_DBC, h, "SQLDriverConnect");
  if (rc == SQL_NO_DATA) RaiseDiagnostics(SQL_HANDLE_DBC, h, SQL_ERROR, "SQLDriverConnect");
  session->connected = true;
  return std::make_unique<OdbcConnection>(std::move(session));
}

}  // namespace

void RegisterProvider() {
  ado::ProviderInfo info;
  info.name = "ODBC";
  info.accepts = [](const ado::ConnectionString& cs) { return Serves(cs); };
  info.open = &Open;
  ado::RegisterProvider(std::move(info));
}

}  // namespace q8::odbc
