// A server that never answers, before the login, after it or in the middle
// of a result, makes every public call fail within the login timeout or the
// caller's time limit, never hang; one that drops the connection in the
// middle of a result makes it fail at once with a connection error. The
// methods that never raise give their failure values. Each case runs the
// methods at once, each on its own thread and bounded, and prints how long
// each took.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <vector>

#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"
#include "tests/tds/support.h"

namespace q8::tds::testing {
namespace {

using std::chrono::milliseconds;

// Short limits keep the test quick; the bound only proves "no hang".
constexpr int kLoginTimeoutSeconds = 1;
constexpr milliseconds kCallerLimit{1500};
constexpr double kBound = 20;

struct Method {
  const char* name;
  bool reads_rows;  // it fetches a result with rows (an RPC for the period does not)
  bool raises;      // false: it gives a failure value instead
  std::function<std::string(const std::string& dsn)> run;
};

const std::vector<Method>& Methods() {
  static const std::vector<Method> kMethods = {
      {"Data.GetData", true, true,
       [](const std::string& dsn) {
         return Dump(Data().GetData(dsn, "select FNumber, FName from t_ICItem"));
       }},
      {"Data.GetRpt2008608Data", true, true,
       [](const std::string& dsn) {
         DictionaryPtr sort_fields;
         return Dump(Data().GetRpt2008608Data(dsn, nullptr, Filter({}), sort_fields));
       }},
      {"Data.GetRptRsBySQL", true, true,
       [](const std::string& dsn) {
         auto p = std::make_shared<Dictionary>();
         p->SetValue("sDsN", Variant(dsn));
         p->SetValue("StrSql", Variant("select FNumber from t_ICItem"));
         ado::RecordsetPtr body, header;
         Data().GetRptRsBySQL(p, body, header);
         return Dump(body);
       }},
      {"Data.GetPeriodStartEndDate", false, true,
       [](const std::string& dsn) {
         double begin = 0;
         Variant end;
         Data().GetPeriodStartEndDate(dsn, 2024, 12, begin, end);
         return Dump(end);
       }},
      {"Rpt.GetReportList", true, true,
       [](const std::string& dsn) { return Dump(Rpt().GetReportList(dsn, 0)); }},
      {"Data.GetServerDate", true, false,
       [](const std::string& dsn) { return std::to_string(Data().GetServerDate(dsn)); }},
      {"Rpt.GetCurrentPeriodEndDate", true, false,
       [](const std::string& dsn) { return "'" + Rpt().GetCurrentPeriodEndDate(dsn) + "'"; }},
  };
  return kMethods;
}

// What a method that never raises gives on failure.
std::string FailureValue(const Method& m) {
  return std::string(m.name) == "Data.GetServerDate" ? std::to_string(0.0) : "''";
}

enum class Bound { kLoginTimeout, kCallerLimit, kNone };

struct Case {
  const char* name;
  Fault fault;
  Way way;
  Bound bound;
  const char* cause;        // in the description of a raising method
  bool tds_version = true;  // false: an ODBC string that leaves the version to FreeTDS
};

// Runs every method concerned by `c` at once and checks each outcome.
void RunCase(const Case& c, int port) {
  DescriptorOptions o;
  o.port = port;
  o.tds_version = c.tds_version;
  if (c.fault != Fault::kSilentPrelogin && c.fault != Fault::kNone)
    o.user = std::string(FaultName(c.fault));
  // The host's OLE DB keyword, FreeTDS's own in an ODBC string.
  if (c.bound == Bound::kLoginTimeout)
    o.extra = (c.way == Way::kOleDb ? ";Connect Timeout=" : ";Timeout=") +
              std::to_string(kLoginTimeoutSeconds);
  const std::string dsn = Descriptor(c.way, o);
  const bool mid_result = c.fault == Fault::kStallMidResult || c.fault == Fault::kDropMidResult;

  std::vector<std::pair<const Method*, std::future<Outcome>>> running;
  for (const Method& m : Methods()) {
    if (mid_result && !m.reads_rows) continue;
    running.emplace_back(&m, std::async(std::launch::async, [&m, dsn, c] {
      return CaptureBounded(
          [&m, dsn, c] {
            if (c.bound != Bound::kCallerLimit) return m.run(dsn);
            ado::TimeLimit limit(kCallerLimit);
            return m.run(dsn);
          },
          kBound);
    }));
  }
  for (auto& [m, future] : running) {
    const Outcome o = future.get();
    const std::string way = std::string(WayName(c.way)) + (c.tds_version ? "" : ", no TDS_Version");
    SCOPED_TRACE(std::string(c.name) + ", " + way + ": " + m->name);
    std::printf("  %-34s %-38s %-28s %5.2f s\n", c.name, way.c_str(), m->name, o.seconds);
    if (m->raises) {
      ASSERT_TRUE(o.failed) << o.text;
      EXPECT_NE(o.description.find(c.cause), std::string::npos) << o.description;
    } else {
      EXPECT_FALSE(o.failed) << o.description;
      EXPECT_EQ(o.text, FailureValue(*m));
    }
    if (c.bound == Bound::kNone) {
      EXPECT_LT(o.seconds, 5.0) << "a dropped connection is news at once";
    }
  }
}

// The cases of one test at once: each waits on its own server connections.
void RunCases(const std::vector<Case>& cases, int port) {
  std::vector<std::future<void>> all;
  for (const Case& c : cases)
    all.push_back(std::async(std::launch::async, [&c, port] { RunCase(c, port); }));
  for (auto& f : all) f.get();
}

// One case for each way in.
std::vector<Case> EveryWay(const char* name, Fault fault, Bound bound, const char* cause) {
  std::vector<Case> cases;
  for (Way way : kServerWays) cases.push_back({name, fault, way, bound, cause});
  return cases;
}

class ServerFaults : public ::testing::Test {
 protected:
  void SetUp() override { Q8_REQUIRE_FREETDS(); }
};

TEST_F(ServerFaults, NoAnswerToThePreLogin) {
  ServerOptions options;
  options.database_file = TheWorld().database;
  options.fault = Fault::kSilentPrelogin;
  Server silent(options);
  const std::vector<Case> cases = {
      {"no answer to the pre-login", Fault::kSilentPrelogin, Way::kOleDb, Bound::kLoginTimeout,
       "Timeout expired"},
      {"no answer to the pre-login", Fault::kSilentPrelogin, Way::kOdbc, Bound::kLoginTimeout,
       "Timeout expired"},
      {"no answer to the pre-login", Fault::kSilentPrelogin, Way::kDsn, Bound::kLoginTimeout,
       "Timeout expired"},
      {"no answer to the pre-login", Fault::kSilentPrelogin, Way::kOdbc, Bound::kCallerLimit,
       "time limit of 1.5 s"},
      {"no answer to the pre-login", Fault::kSilentPrelogin, Way::kDsn, Bound::kCallerLimit,
       "time limit of 1.5 s"},
      // Left to find the version itself, FreeTDS would try older ones and
      // never return; the driver names 7.4 for it.
      {"no answer to the pre-login", Fault::kSilentPrelogin, Way::kOdbc, Bound::kCallerLimit,
       "time limit of 1.5 s", false},
  };
  RunCases(cases, silent.port());
}

TEST_F(ServerFaults, NoAnswerToTheLogin) {
  const std::vector<Case> cases = {
      {"no answer to the login", Fault::kSilentLogin, Way::kOleDb, Bound::kLoginTimeout,
       "Timeout expired"},
      {"no answer to the login", Fault::kSilentLogin, Way::kOdbc, Bound::kLoginTimeout,
       "Timeout expired"},
      {"no answer to the login", Fault::kSilentLogin, Way::kDsn, Bound::kLoginTimeout,
       "Timeout expired"},
      {"no answer to the login", Fault::kSilentLogin, Way::kOdbc, Bound::kCallerLimit,
       "time limit of 1.5 s"},
      {"no answer to the login", Fault::kSilentLogin, Way::kDsn, Bound::kCallerLimit,
       "time limit of 1.5 s"},
      {"no answer to the login", Fault::kSilentLogin, Way::kOdbc, Bound::kCallerLimit,
       "time limit of 1.5 s", false},
  };
  RunCases(cases, 0);
}

TEST_F(ServerFaults, NoAnswerAfterTheLogin) {
  RunCases(EveryWay("no answer after the login", Fault::kSilentAfterLogin, Bound::kCallerLimit,
                    "time limit of 1.5 s"),
           0);
}

TEST_F(ServerFaults, NoAnswerInTheMiddleOfAResult) {
  RunCases(EveryWay("stops in the middle of a result", Fault::kStallMidResult, Bound::kCallerLimit,
                    "time limit of 1.5 s"),
           0);
}

TEST_F(ServerFaults, ConnectionDroppedInTheMiddleOfAResult) {
  RunCases(EveryWay("drops the connection mid-result", Fault::kDropMidResult, Bound::kNone,
                    "Unexpected EOF from the server"),
           0);
}

TEST_F(ServerFaults, ADroppedConnectionIsAConnectionError) {
  // Through the data-access layer, where the entries can be read: the link
  // failure's SQLSTATE, and the provider's number for a failed link.
  DescriptorOptions o;
  o.user = std::string(FaultName(Fault::kDropMidResult));
  auto cn = ado::Connection::Create();
  cn->Open(ConnectionString(Way::kOleDb, o));
  const Outcome got = CaptureBounded(
      [&] { return Dump(cn->Execute("select FNumber, FName from t_ICItem")); }, kBound);
  ASSERT_TRUE(got.failed);
  ASSERT_FALSE(cn->Errors().empty());
  EXPECT_EQ(cn->Errors().front().sql_state, "08S01");
  EXPECT_EQ(got.number, ado::kErrProviderFailure);
}

TEST_F(ServerFaults, AServerThatAnswersIsNotTouchedByALimitItKeeps) {
  // The same calls with the caller's limit against the shared server: all
  // succeed, so the limit does not cut work that ends in time.
  for (Way way : kServerWays) {
    const std::string dsn = Descriptor(way);
    for (const Method& m : Methods()) {
      SCOPED_TRACE(std::string(WayName(way)) + ": " + m.name);
      const Outcome o = CaptureBounded(
          [&] {
            ado::TimeLimit limit(std::chrono::seconds(30));
            return m.run(dsn);
          },
          kBound);
      EXPECT_FALSE(o.failed) << o.description;
      if (!m.raises) {
        EXPECT_NE(o.text, FailureValue(m));
      }
    }
  }
}

}  // namespace
}  // namespace q8::tds::testing
