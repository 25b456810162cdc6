// Cancelling database work from another thread: connections opened under a
// CancelScope follow its token, on every provider of the conformance suite.
#include "core/ado/cancel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/ado/conformance.h"
#include "tests/ado/support.h"

namespace q8::testing {
namespace {

using ado::CancelScope;
using ado::CancelToken;

// A statement that runs for minutes on every engine: ten rows joined with
// themselves nine times.
constexpr const char* kEndless =
    "SELECT count(*) FROM cancel_ten a, cancel_ten b, cancel_ten c, cancel_ten d, cancel_ten e, "
    "cancel_ten f, cancel_ten g, cancel_ten h, cancel_ten i";

class Cancel : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    auto cn = OpenConnection(GetParam().connection_string);
    TryExecute(*cn, "DROP TABLE cancel_ten");
    cn->Execute("CREATE TABLE cancel_ten (n int)");
    for (int i = 0; i < 10; ++i)
      cn->Execute("INSERT INTO cancel_ten (n) VALUES (" + std::to_string(i) + ")");
  }
  void TearDown() override {
    auto cn = OpenConnection(GetParam().connection_string);
    TryExecute(*cn, "DROP TABLE cancel_ten");
  }
};

TEST_P(Cancel, StopsTheRunningStatementAndEveryLaterOne) {
  auto token = std::make_shared<CancelToken>();
  CancelScope scope(token);
  auto cn = OpenConnection(GetParam().connection_string);
  // The cancel comes while the statement runs (or, on a slow start, before
  // it: the execution is refused then, with the same outcome).
  std::thread canceller([token] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    token->Cancel();
  });
  bool raised = false;
  try {
    auto rs = cn->Execute(kEndless);
  } catch (const Error& e) {
    raised = true;
    if (GetParam().name == "sqlite") {
      EXPECT_EQ(e.number(), ado::kErrCancelled) << e.description();
      ASSERT_FALSE(cn->Errors().empty());
      EXPECT_EQ(cn->Errors().front().sql_state, "HY008");
    }
  }
  canceller.join();
  EXPECT_TRUE(raised) << "the statement ran to its end";
  EXPECT_TRUE(token->cancelled());
  // Nothing more runs on the connection, not even a short statement.
  ExpectError(ado::kErrCancelled, [&] { cn->Execute("SELECT n FROM cancel_ten"); });
}

TEST_P(Cancel, ConnectionsOutsideTheScopeAreNotAffected) {
  auto token = std::make_shared<CancelToken>();
  ado::ConnectionPtr inside;
  {
    CancelScope scope(token);
    inside = OpenConnection(GetParam().connection_string);
  }
  auto outside = OpenConnection(GetParam().connection_string);
  token->Cancel();
  EXPECT_EQ(outside->Execute("SELECT count(*) FROM cancel_ten")->Value(0).ToLong(), 10);
  ExpectError(ado::kErrCancelled, [&] { inside->Execute("SELECT count(*) FROM cancel_ten"); });
  // A cancelled token refuses new connections opened under it.
  CancelScope again(token);
  ExpectError(ado::kErrCancelled, [&] { OpenConnection(GetParam().connection_string); });
}

TEST(CancelScope, ScopesNestAndEndOnTheirThread) {
  auto outer = std::make_shared<CancelToken>();
  auto inner = std::make_shared<CancelToken>();
  EXPECT_EQ(ado::CurrentCancelToken(), nullptr);
  {
    CancelScope a(outer);
    {
      CancelScope b(inner);
      EXPECT_EQ(ado::CurrentCancelToken(), inner);
      std::thread([] { EXPECT_EQ(ado::CurrentCancelToken(), nullptr); }).join();
    }
    EXPECT_EQ(ado::CurrentCancelToken(), outer);
  }
  EXPECT_EQ(ado::CurrentCancelToken(), nullptr);
}

// The conformance targets, and PostgreSQL through psqlODBC when the ODBC
// tests' database is up (scripts/odbc-env.sh), so SQLCancel is tried too.
std::vector<Target> CancelTargets() {
  std::vector<Target> out = ConformanceTargets();
  const char* pg = std::getenv("TEST_PG_ODBC");
  const bool listed =
      std::any_of(out.begin(), out.end(), [](const Target& t) { return t.name == "PG"; });
  if (pg != nullptr && *pg != '\0' && !listed)
    out.push_back({"psqlODBC", pg, "timestamp", "varchar", false});
  return out;
}

INSTANTIATE_TEST_SUITE_P(Targets, Cancel, ::testing::ValuesIn(CancelTargets()), TargetName());

}  // namespace
}  // namespace q8::testing
