// Diagnostics of ODBC handles, and the shared environment.
#include "drivers/odbc/handles.h"

#include <mutex>

namespace q8::odbc {

namespace {

// OLE DB result codes, as signed 32-bit numbers.
constexpr int32_t kErrorsInCommand = -2147217900;  // 0x80040E14
constexpr int32_t kFail = -2147467259;             // 0x80004005
constexpr int32_t kAuthFailed = -2147217843;       // 0x80040E4D
constexpr int32_t kLimitReached = -2147217871;     // 0x80040E31
constexpr int32_t kDataOverflow = -2147217833;     // 0x80040E57
constexpr int32_t kIntegrity = -2147217873;        // 0x80040E2F

std::string OneLine(const char* text, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      // A run of line breaks becomes one blank.
      if (!out.empty() && out.back() != ' ') out += ' ';
      continue;
    }
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

int32_t NumberForState(const std::string& s) {
  if (s == "28000") return kAuthFailed;
  if (s == "HYT00" || s == "HYT01") return kLimitReached;
  if (s.starts_with("08") || s.starts_with("IM") || s == "HY001" || s == "HY013") return kFail;
  // The server ended the session (PostgreSQL's 57P01 to 57P05: an
  // administrator's command, a crash, a dropped database, an idle timeout):
  // the connection is gone, as with a broken link. 57014, a cancelled
  // statement, leaves the connection usable and stays an error of the command.
  if (s.starts_with("57P")) return kFail;
  if (s.starts_with("22")) return kDataOverflow;
  if (s.starts_with("23")) return kIntegrity;
  return kErrorsInCommand;
}

std::vector<ado::ErrorEntry> Diagnostics(SQLSMALLINT kind, SQLHANDLE h) {
  std::vector<ado::ErrorEntry> out;
  if (h == SQL_NULL_HANDLE) return out;
  std::vector<SQLCHAR> message(1024);
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(kind, h, record, state, &native, message.data(),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && static_cast<size_t>(length) >= message.size()) {
      // The message did not fit: ask again for the same record.
      message.resize(static_cast<size_t>(length) + 1);
      --record;
      continue;
    }
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    size_t n = std::min(static_cast<size_t>(length), message.size() - 1);
    ado::ErrorEntry e;
    e.sql_state = reinterpret_cast<const char*>(state);
    e.native_error = native;
    e.description = OneLine(reinterpret_cast<const char*>(message.data()), n);
    e.source = kErrorSource;
    e.number = NumberForState(e.sql_state);
    out.push_back(std::move(e));
  }
  return out;
}

void RaiseDiagnostics(SQLSMALLINT kind, SQLHANDLE h, SQLRETURN rc, const char* call) {
  std::vector<ado::ErrorEntry> entries =
      rc == SQL_INVALID_HANDLE ? std::vector<ado::ErrorEntry>{} : Diagnostics(kind, h);
  if (entries.empty()) {
    ado::ErrorEntry e;
    e.sql_state = "HY000";
    e.number = kFail;
    e.source = kErrorSource;
    e.description = std::string(call) + " failed (return code " + std::to_string(rc) +
                    (rc == SQL_INVALID_HANDLE ? ", invalid handle)" : ") without diagnostics");
    entries.push_back(std::move(e));
  }
  const ado::ErrorEntry& first = entries.front();
  throw ado::ProviderError(first.number, first.source, first.description, std::move(entries));
}

void RaiseIfConnectionDead(SQLHDBC dbc, const ado::ProviderError& e) {
  SQLUINTEGER dead = SQL_CD_FALSE;
  const SQLRETURN rc =
      SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, SQL_IS_UINTEGER, nullptr);
  if ((rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) || dead != SQL_CD_TRUE) return;
  std::vector<ado::ErrorEntry> entries = e.entries();
  // The driver's own words for a lost link stay as they are (psqlODBC's
  // 08S01 and 57P01 already read as a failed connection).
  if (entries.empty() || entries.front().number == kFail) return;
  entries.front().sql_state = "08S01";
  entries.front().number = kFail;
  const ado::ErrorEntry& first = entries.front();
  throw ado::ProviderError(first.number, first.source, first.description, std::move(entries));
}

bool IsUnsupportedFeature(const ado::ProviderError& e) {
  for (const auto& entry : e.entries())
    if (entry.sql_state == "HYC00" || entry.sql_state == "HY092") return true;
  return false;
}

std::shared_ptr<EnvHandle> SharedEnvironment() {
  static std::mutex mutex;
  static std::weak_ptr<EnvHandle> shared;
  std::lock_guard<std::mutex> lock(mutex);
  if (auto env = shared.lock()) return env;
  SQLHANDLE h = SQL_NULL_HANDLE;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    RaiseDiagnostics(SQL_HANDLE_ENV, SQL_NULL_HANDLE, rc, "SQLAllocHandle(SQL_HANDLE_ENV)");
  }
  auto env = std::make_shared<EnvHandle>(h);
  // Without ODBC 3 behaviour the driver manager refuses to allocate a
  // connection on this environment.
  Check(SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        SQL_HANDLE_ENV, h, "SQLSetEnvAttr(SQL_ATTR_ODBC_VERSION)");
  shared = env;
  return env;
}

}  // namespace q8::odbc
