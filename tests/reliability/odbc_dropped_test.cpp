// A server connection that drops in the middle of a batch, through the ODBC
// driver and psqlODBC: the PostgreSQL of scripts/odbc-env.sh ends the
// backend of a running call from another connection. The call fails at once
// with its own error whose description carries the driver's words for the
// lost connection; the next call on the same object and descriptor opens a
// fresh connection and works. Runs under tests/odbc/with-odbc-env.sh; skips
// without TEST_PG_ODBC.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"
#include "tests/reliability/support.h"

namespace q8::reliability {
namespace {

// E_FAIL: the number of a connection that failed or is gone.
constexpr int32_t kConnectionFailure = -2147467259;

std::string PostgresDsn(const std::string& connection_string) {
  return "ConnectString={" + connection_string +
         "};DBMS Name=PostgreSQL;DBMS Version=15;Language=CHS;UserID=0;";
}

// Ends, from a connection of its own, every backend that runs a statement
// holding `tag`; returns how many it ended (0 while the statement has not
// reached the server).
int64_t TerminateBackendsRunning(Data& data, const std::string& dsn, const std::string& tag) {
  auto rs = data.GetData(dsn,
                         "select count(pg_terminate_backend(pid)) from pg_stat_activity "
                         "where pid <> pg_backend_pid() and state = 'active' and query like '%" +
                             tag + "%'");
  return rs->Value(0).ToInt64();
}

TEST(OdbcDropped, ConnectionLostInTheMiddleOfABatch) {
  const char* cs = std::getenv("TEST_PG_ODBC");
  if (cs == nullptr || *cs == '\0')
    GTEST_SKIP() << "TEST_PG_ODBC is not set: run under tests/odbc/with-odbc-env.sh";
  RegisterComponent();
  const std::string dsn = PostgresDsn(cs);

  struct Case {
    const char* method;
    // Runs a call whose batch sleeps in a statement holding `tag`.
    std::function<void(Data&, const std::string& tag)> run;
    // GetData raises the component's number; GetRptRsBySQL passes the
    // driver's on, which for a connection that is gone is E_FAIL, as for a
    // broken link.
    int32_t number;
  };
  const Case cases[] = {
      {"GetData",
       [&](Data& data, const std::string& tag) {
         data.GetData(dsn, "select pg_sleep(30) as slept, '" + tag + "' as tag");
       },
       err::kComponent},
      {"GetRptRsBySQL",
       [&](Data& data, const std::string& tag) {
         auto p = TextFilter(
             {{"sDsN", dsn},
              {"StrSql",
               "create temp table q8_dropped (x int); insert into q8_dropped values (1); "
               "select pg_sleep(30) as slept, '" +
                   tag + "' as tag; select x from q8_dropped"}});
         ado::RecordsetPtr body, header;
         data.GetRptRsBySQL(p, body, header);
       },
       kConnectionFailure},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    const std::string tag = std::string("q8-dropped-") + c.method + "-" + std::to_string(getpid());
    std::string outcome, afterwards;
    int32_t number = 0;
    // Objects are apartment-threaded: the worker's object lives on its thread.
    std::thread worker([&] {
      Data data;
      try {
        c.run(data, tag);
        outcome = "the call succeeded";
      } catch (const Error& e) {
        outcome = Describe(e);
        number = e.number();
      }
      try {
        auto rs = data.GetData(dsn, "select 42 as answer");
        afterwards = Text(rs->Value(0));
      } catch (const Error& e) {
        afterwards = Describe(e);
      }
    });
    Data killer;
    int64_t ended = 0;
    try {
      // Until the statement is on the server; the sleep ends the wait anyway.
      for (int attempt = 0; attempt < 1000 && ended == 0; ++attempt) {
        ended = TerminateBackendsRunning(killer, dsn, tag);
        if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    } catch (const Error& e) {
      ADD_FAILURE() << "the killer: " << Describe(e);
    }
    worker.join();
    EXPECT_EQ(ended, 1);
    // psqlODBC's words: the server's reason, then the lost connection.
    EXPECT_NE(outcome.find("The connection has been lost"), std::string::npos) << outcome;
    EXPECT_EQ(number, c.number) << outcome;
    EXPECT_EQ(afterwards, "42");
  }
}

}  // namespace
}  // namespace q8::reliability
