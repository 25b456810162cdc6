// A SQL Server that cannot be reached, through the ODBC driver and FreeTDS:
// every public method fails with its own error naming the connection, and
// the two that never raise give their failure values. Runs under
// tests/odbc/with-odbc-env.sh, which registers FreeTDS; skips without it.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "q8vantorpt/rpt.h"
#include "tests/reliability/public_calls.h"
#include "tests/support/support.h"

namespace q8::reliability {
namespace {

TEST(OdbcUnreachable, EveryMethodFailsNamingTheConnection) {
  const char* driver = std::getenv("TEST_FREETDS_DRIVER");
  if (driver == nullptr || *driver == '\0')
    GTEST_SKIP() << "TEST_FREETDS_DRIVER is not set: run under tests/odbc/with-odbc-env.sh";
  RegisterComponent();
  const std::string dsn =
      "ConnectString={Provider=SQLOLEDB.1;User ID=sa;Password=x;Initial Catalog=ERP;"
      "Data Source=127.0.0.1," +
      std::to_string(q8::testing::UnusedLoopbackPort()) +
      ";Connect Timeout=5};DBMS Name=Microsoft SQL Server;DBMS Version=8;Language=CHS;"
      "UserID=0;";
  EXPECT_EQ(CheckAllFail(dsn, {"Unable to connect"}), "");
}

}  // namespace
}  // namespace q8::reliability
