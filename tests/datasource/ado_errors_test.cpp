// Error inspection: which entry's number is reported, the report text, and
// when the report is raised.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "connection/cdatasource.h"
#include "q8vantorpt/ado.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"

namespace q8 {
namespace {

// A judge that accepts the entries whose number it was given. Installed in
// the registry under the judge's ProgID for the length of one test.
class NumberJudge : public ErrorJudge {
 public:
  explicit NumberJudge(std::set<int32_t> real) : real_(std::move(real)) {}
  Variant IsError(ado::ErrorEntry& entry) override {
    ++asked;
    if (entry.number == kNullAnswer) return Variant::Null();
    return Variant(real_.count(entry.number) > 0);
  }
  static constexpr int32_t kNullAnswer = 777;
  static inline std::atomic<int> asked{0};
  static inline std::atomic<int> created{0};

 private:
  std::set<int32_t> real_;
};

class HasADOErrorTest : public ::testing::Test {
 protected:
  void TearDown() override { Registry::Instance().Unregister(progid::kErrorJudge); }

  void InstallJudge(std::set<int32_t> real) {
    NumberJudge::asked = 0;
    NumberJudge::created = 0;
    Registry::Instance().Register(progid::kErrorJudge, [real] {
      ++NumberJudge::created;
      return ObjectPtr(std::make_shared<NumberJudge>(real));
    });
  }

  static ado::ConnectionPtr WithErrors(std::vector<ado::ErrorEntry> entries) {
    auto cn = ado::Connection::Create();
    cn->SetErrors(std::move(entries));
    return cn;
  }

  CDataSource ds_;  // HasADOError reads nothing of the descriptor
};

const std::vector<ado::ErrorEntry> kThree = {
    {5701, "Microsoft OLE DB Provider for SQL Server", "Changed database context to 'AIS'.", 5701,
     "01000"},
    {-2147217900, "Microsoft OLE DB Provider for SQL Server", "Invalid object name 't_X'.", 208,
     "42S02"},
    {5703, "Microsoft OLE DB Provider for SQL Server", "Changed language setting to us_english.",
     5703, "01000"},
};

const char kThreeLines[] =
    "Number:5701\r\n"
    "Source:Microsoft OLE DB Provider for SQL Server\r\n"
    "Description:Changed database context to 'AIS'.\r\n"
    "NativeError:5701\r\n"
    "SQLState:01000\r\n"
    "Number:-2147217900\r\n"
    "Source:Microsoft OLE DB Provider for SQL Server\r\n"
    "Description:Invalid object name 't_X'.\r\n"
    "NativeError:208\r\n"
    "SQLState:42S02\r\n"
    "Number:5703\r\n"
    "Source:Microsoft OLE DB Provider for SQL Server\r\n"
    "Description:Changed language setting to us_english.\r\n"
    "NativeError:5703\r\n"
    "SQLState:01000\r\n";

TEST_F(HasADOErrorTest, JudgedEntries) {
  struct Case {
    const char* why;
    std::vector<ado::ErrorEntry> entries;
    std::set<int32_t> real;
    bool found;
    int asked;         // how many entries the judge saw
    int32_t number;    // raised number when found
    std::string text;  // raised description when found
  };
  const Case cases[] = {
      {"empty collection: false, the judge is not even created",
       {},
       {-2147217900},
       false,
       0,
       0,
       ""},
      {"the second of three is real: its number, all fifteen lines",
       kThree,
       {-2147217900},
       true,
       2,
       -2147217900,
       kThreeLines},
      {"the first two are real: only the first is taken, the judge not asked again",
       kThree,
       {5701, -2147217900},
       true,
       1,
       5701,
       kThreeLines},
      {"none real", kThree, {}, false, 3, 0, ""},
      {"a Null answer counts as false",
       {{NumberJudge::kNullAnswer, "s", "d", 1, "01000"}, {42, "s2", "d2", -3, "HY000"}},
       {NumberJudge::kNullAnswer, 42},
       true,
       2,
       42,
       "Number:777\r\nSource:s\r\nDescription:d\r\nNativeError:1\r\nSQLState:01000\r\n"
       "Number:42\r\nSource:s2\r\nDescription:d2\r\nNativeError:-3\r\nSQLState:HY000\r\n"},
      {"empty fields still give their lines",
       {{0, "", "", 0, ""}},
       {0},
       true,
       1,
       0,
       "Number:0\r\nSource:\r\nDescription:\r\nNativeError:0\r\nSQLState:\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    InstallJudge(c.real);
    auto cn = WithErrors(c.entries);
    EXPECT_EQ(ds_.HasADOError(*cn, false), c.found) << "without raising";
    EXPECT_EQ(NumberJudge::asked, c.asked);
    if (c.entries.empty()) {
      EXPECT_EQ(NumberJudge::created, 0);
    }

    NumberJudge::asked = 0;
    try {
      EXPECT_FALSE(ds_.HasADOError(*cn, true)) << "returns only when nothing was found";
      EXPECT_FALSE(c.found);
    } catch (const Error& e) {
      EXPECT_TRUE(c.found);
      EXPECT_EQ(e.number(), c.number);
      EXPECT_EQ(e.description(), c.text);
    }
    EXPECT_EQ(cn->Errors().size(), c.entries.size()) << "the collection is never cleared";
  }
}

TEST_F(HasADOErrorTest, JudgeThatCannotBeCreated) {
  struct Case {
    const char* why;
    Registry::Factory factory;
  };
  const Case cases[] = {
      {"the factory fails",
       []() -> ObjectPtr { throw Error(err::kCantCreateObject, "test", "no judge here"); }},
      {"the object is no judge", [] { return ObjectPtr(std::make_shared<Dictionary>()); }},
  };
  const ado::ErrorEntry entry{-2147217900, "Provider", "Invalid object name 't_X'.", 208, "42S02"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Registry::Instance().Register(progid::kErrorJudge, c.factory);
    // The failure the registry reports for the judge, whatever its text.
    int32_t failure_number = 0;
    std::string failure_text;
    try {
      Registry::Instance().CreateAs<ErrorJudge>(progid::kErrorJudge);
      FAIL() << "the judge was created";
    } catch (const Error& e) {
      failure_number = e.number();
      failure_text = e.description();
    }

    auto cn = WithErrors({entry});
    EXPECT_TRUE(ds_.HasADOError(*cn, false)) << "found, and nothing raised";
    try {
      ds_.HasADOError(*cn, true);
      ADD_FAILURE() << "nothing raised";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), failure_number);
      EXPECT_EQ(e.description(), "Number:" + std::to_string(failure_number) +
                                     "\r\nDescription:" + failure_text +
                                     "\r\n"
                                     "Number:-2147217900\r\n"
                                     "Source:Provider\r\n"
                                     "Description:Invalid object name 't_X'.\r\n"
                                     "NativeError:208\r\n"
                                     "SQLState:42S02\r\n");
    }
  }
}

}  // namespace
}  // namespace q8
