#include "tests/odbc/odbc_fixture.h"

#include <cstdlib>
#include <mutex>

#include "drivers/odbc/odbc_provider.h"

namespace q8::odbc::testing {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void UseOdbcProvider() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterProvider(); });
}

ado::ConnectionPtr OpenConnection(const std::string& connection_string, int login_timeout) {
  UseOdbcProvider();
  auto cn = ado::Connection::Create();
  cn->set_connection_timeout(login_timeout);
  cn->Open(connection_string);
  return cn;
}

void RunSql(const ado::ConnectionPtr& cn, const std::string& sql) {
  auto rs = cn->Execute(sql);
  while (rs) rs = rs->NextRecordset();
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PostgresTest::SetUp() {
  Q8_SKIP_UNLESS_ENV("TEST_PG_ODBC");
  cs_ = Env("TEST_PG_ODBC");
  cn_ = OpenConnection(cs_);
}

}  // namespace q8::odbc::testing
