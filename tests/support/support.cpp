#include "tests/support/support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>

namespace q8::testing {

int UnusedLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    socklen_t n = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0) port = ntohs(a.sin_port);
  }
  close(fd);
  return port;
}

std::string Text(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
    case VarType::kNull:
      return "NULL";
    case VarType::kBool:
      return v.ToBool() ? "true" : "false";
    case VarType::kDecimal:
      return v.ToDecimal().ToShortString();
    case VarType::kDouble: {
      const double d = v.ToDouble();
      if (d == std::floor(d) && std::fabs(d) < 1e15) return std::to_string(static_cast<int64_t>(d));
      return Decimal::FromDouble(d, 10).ToShortString();
    }
    case VarType::kDate:
      return date::ToIso(v.ToDate());
    case VarType::kInteger:
    case VarType::kLong:
      return std::to_string(v.ToInt64());
    default:
      return v.ToText();
  }
}

std::string ExecSqlite(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    const std::string text = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return "cannot open " + path + ": " + text;
  }
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  std::string text = rc == SQLITE_OK ? "" : std::string(message ? message : "failed") + "\n" + sql;
  sqlite3_free(message);
  sqlite3_close(db);
  return text;
}

}  // namespace q8::testing
