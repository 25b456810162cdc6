// Time limits the caller sets: ado::TimeLimit in the library, --timeout and
// Q8VANTORPT_TIMEOUT in the tool. On either engine a statement that runs
// past the limit is cancelled and the call fails with an error naming the
// limit; work that ends in time is untouched; the component's own command
// time limit stays 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "q8vantorpt/data.h"
#include "tests/tds/support.h"

namespace q8::tds::testing {
namespace {

using std::chrono::milliseconds;

// A statement that keeps the embedded engine busy for seconds: a join of
// the 100 materials with themselves five times over, counted.
constexpr const char* kLongStatement =
    "select count(*) as FCount from t_ICItem a, t_ICItem b, t_ICItem c, t_ICItem d, t_ICItem e";

// The descriptor options of a login that selects `fault`.
DescriptorOptions AsUser(Fault fault) {
  DescriptorOptions o;
  o.user = std::string(FaultName(fault));
  return o;
}

class TimeLimits : public ::testing::Test {
 protected:
  void SetUp() override { Q8_REQUIRE_FREETDS(); }
};

TEST_F(TimeLimits, ALongStatementIsCancelledOnEitherEngine) {
  for (Way way : {Way::kEmbedded, Way::kOleDb}) {
    SCOPED_TRACE(WayName(way));
    const std::string dsn = Descriptor(way);
    const Outcome o = CaptureBounded(
        [&] {
          ado::TimeLimit limit(milliseconds(700));
          return Dump(Data().GetData(dsn, kLongStatement));
        },
        30);
    ASSERT_TRUE(o.failed) << o.text;
    EXPECT_EQ(o.number, err::kComponent);
    EXPECT_NE(o.description.find("The time limit of 0.7 s was reached"), std::string::npos)
        << o.description;
    EXPECT_LT(o.seconds, 10);
  }
}

TEST_F(TimeLimits, TheCancelReachesTheServerAsAnAttention) {
  TheWorld().server->ClearRequests();
  const Outcome o = CaptureBounded(
      [&] {
        auto cn = ado::Connection::Create();
        cn->Open(ConnectionString(Way::kOdbc));
        ado::TimeLimit limit(milliseconds(500));
        return Dump(cn->Execute(kLongStatement));
      },
      30);
  ASSERT_TRUE(o.failed);
  EXPECT_EQ(o.number, ado::kErrTimeout);
  // The attention that the cancel sent: the server reads it once its engine
  // has finished the statement, after the client has given up waiting.
  bool attention = false;
  const auto start = std::chrono::steady_clock::now();
  while (!attention && SecondsSince(start) < 20) {
    for (const Request& r : TheWorld().server->Requests()) attention |= r.kind == "attention";
    std::this_thread::sleep_for(milliseconds(50));
  }
  EXPECT_TRUE(attention);
}

TEST_F(TimeLimits, AnotherThreadCancelsTheCall) {
  // A host's cancel button: the limit is ended from another thread, and the
  // call on the limit's thread stops on either engine.
  for (Way way : {Way::kEmbedded, Way::kOleDb, Way::kOdbc}) {
    SCOPED_TRACE(WayName(way));
    const std::string dsn = Descriptor(way);
    // The limit of the running call, while it runs.
    std::mutex mutex;
    ado::TimeLimit* running = nullptr;
    auto call = std::async(std::launch::async, [&] {
      return CaptureBounded(
          [&] {
            ado::TimeLimit limit(std::chrono::hours(1));
            struct Publish {
              std::mutex& m;
              ado::TimeLimit*& r;
              Publish(std::mutex& mu, ado::TimeLimit*& re, ado::TimeLimit* l) : m(mu), r(re) {
                std::lock_guard<std::mutex> lock(m);
                r = l;
              }
              ~Publish() {
                std::lock_guard<std::mutex> lock(m);
                r = nullptr;
              }
            } publish(mutex, running, &limit);
            return Dump(Data().GetData(dsn, kLongStatement));
          },
          30);
    });
    std::this_thread::sleep_for(milliseconds(400));
    {
      std::lock_guard<std::mutex> lock(mutex);
      ASSERT_NE(running, nullptr) << "the call ended before the cancel";
      running->Cancel();
    }
    const Outcome o = call.get();
    ASSERT_TRUE(o.failed) << o.text;
    EXPECT_NE(o.description.find("The call was cancelled"), std::string::npos) << o.description;
    EXPECT_LT(o.seconds, 10);
  }
}

TEST_F(TimeLimits, WorkBegunAfterTheDeadlineFailsAtOnceAndLimitsNest) {
  const std::string dsn = Descriptor(Way::kEmbedded);
  auto cn = ado::Connection::Create();
  cn->Open(ConnectionString(Way::kEmbedded));
  ado::TimeLimit outer(milliseconds(50));
  {
    // The inner limit is longer; the outer one ends first and holds.
    ado::TimeLimit inner(std::chrono::seconds(60));
    EXPECT_EQ(inner.limit(), milliseconds(50));
    EXPECT_EQ(inner.deadline(), outer.deadline());
  }
  while (!outer.Expired()) std::this_thread::sleep_for(milliseconds(5));
  const Outcome o = Capture([&] { return Dump(cn->Execute("select 1 as FOne")); });
  ASSERT_TRUE(o.failed);
  EXPECT_EQ(o.number, ado::kErrTimeout);
  ASSERT_FALSE(cn->Errors().empty());
  EXPECT_EQ(cn->Errors().front().sql_state, "HYT00");
  EXPECT_LT(o.seconds, 1);
}

TEST_F(TimeLimits, ThreadsWithoutALimitAreNotTouched) {
  // A limit is the calling thread's: another thread's statement runs on.
  ado::TimeLimit limit(milliseconds(1));
  std::this_thread::sleep_for(milliseconds(5));
  const Outcome o = CaptureBounded(
      [&] { return Dump(Data().GetData(Descriptor(Way::kOleDb), "select 1 as FOne")); }, 30);
  EXPECT_FALSE(o.failed) << o.description;
}

TEST_F(TimeLimits, TheToolsTimeoutOnBothEngines) {
  const struct {
    const char* why;
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> env;
    const char* named;
  } kCases[] = {
      {"embedded engine, --timeout",
       {"--db", TheWorld().database, "--timeout", "1", "query", kLongStatement},
       {},
       "time limit of 1 s (--timeout)"},
      {"embedded engine, the variable",
       {"--db", TheWorld().database, "query", kLongStatement},
       {{"Q8VANTORPT_TIMEOUT", "0.5"}},
       "time limit of 0.5 s (Q8VANTORPT_TIMEOUT)"},
      {"FreeTDS, a server that stops mid-result",
       {"--timeout", "1", "--dsn", Descriptor(Way::kOleDb, AsUser(Fault::kStallMidResult)),
        "report", "2008608"},
       {},
       "time limit of 1 s (--timeout)"},
      {"FreeTDS, a server that never answers after the login",
       {"--dsn", Descriptor(Way::kOdbc, AsUser(Fault::kSilentAfterLogin)), "--timeout", "1",
        "server-date"},
       {},
       "time limit of 1 s (--timeout)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    const ToolRun run = RunTool(c.args, c.env, 30);
    std::printf("  tool, %-52s %5.2f s\n", c.why, run.seconds);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(run.err.starts_with("error -2147217871: q8vantorpt: the " + std::string(c.named)))
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << "one line";
    EXPECT_LT(run.seconds, 10);
  }
}

TEST_F(TimeLimits, TheToolWithinItsTimeoutAndWithAWrongOne) {
  const ToolRun ok = RunTool({"--db", TheWorld().database, "--timeout", "30", "--format", "csv",
                              "query", "select count(*) as n from t_ICItem"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out, "n\r\n100\r\n");
  for (const char* wrong : {"0", "-1", "soon", "1e9"}) {
    const ToolRun bad = RunTool({"--db", TheWorld().database, "--timeout", wrong, "server-date"});
    EXPECT_EQ(bad.status, 2) << wrong;
    EXPECT_NE(bad.err.find("--timeout"), std::string::npos) << bad.err;
  }
  const ToolRun bad_env =
      RunTool({"--db", TheWorld().database, "server-date"}, {{"Q8VANTORPT_TIMEOUT", "never"}});
  EXPECT_EQ(bad_env.status, 2);
  EXPECT_NE(bad_env.err.find("Q8VANTORPT_TIMEOUT"), std::string::npos) << bad_env.err;
}

}  // namespace
}  // namespace q8::tds::testing
