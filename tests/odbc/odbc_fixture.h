// What the ODBC driver tests share: the environment that scripts/odbc-env.sh
// exports, and connections through the data-access layer.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/ado/provider.h"
#include "q8vantorpt/ado.h"

namespace q8::odbc::testing {

// The value of an environment variable, or "" when unset.
std::string Env(const char* name);

// Registers the ODBC provider with the data-access layer (once).
void UseOdbcProvider();

// Opens a layer connection; raises what Open raises.
ado::ConnectionPtr OpenConnection(const std::string& connection_string, int login_timeout = 15);

// Runs one statement whose results nobody reads (DDL in the fixtures).
void RunSql(const ado::ConnectionPtr& cn, const std::string& sql);

// Seconds since `start`.
double SecondsSince(std::chrono::steady_clock::time_point start);

// A PostgreSQL connection through psqlODBC, from TEST_PG_ODBC.
class PostgresTest : public ::testing::Test {
 protected:
  void SetUp() override;
  std::string cs_;
  ado::ConnectionPtr cn_;
};

}  // namespace q8::odbc::testing

#define Q8_SKIP_UNLESS_ENV(var)                                           \
  do {                                                                    \
    if (::q8::odbc::testing::Env(var).empty())                            \
      GTEST_SKIP() << var                                                 \
          " is not set: run under scripts/odbc-env.sh (or "               \
          "tests/odbc/with-odbc-env.sh) to get the database environment"; \
  } while (0)
