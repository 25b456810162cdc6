// SQL Server's errors through FreeTDS: a statement that fails in the middle
// of a batch reaches the caller with the server's number (the entry's native
// error) and text, the connection's Errors collection holds it as the error
// judge inspects it, and the connection, and the Data object, serve the next
// call.
#include <gtest/gtest.h>

#include <string>

#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"
#include "tests/tds/support.h"

namespace q8::tds::testing {
namespace {

struct ServerError {
  const char* why;
  const char* statement;
  int32_t native;
  const char* sql_state;
  const char* text;
};

const ServerError kErrors[] = {
    {"divide by zero", "select sum(FSalePrice) / 0 as FRatio from t_ICItem", 8134, "22012",
     "Divide by zero error encountered."},
    {"invalid object", "select FNumber from t_Nope", 208, "42S02", "Invalid object name 't_Nope'."},
    {"conversion", "select convert(int, FNumber) as FNo from t_ICItem", 245, "22018",
     "Conversion failed when converting the varchar value '01.01.0001' to data type int."},
};

// Rows first, then the failing statement, then one that never runs.
std::string BatchAround(const char* statement) {
  return std::string("select top 3 FNumber, FName from t_ICItem order by FNumber\r\n") + statement +
         "\r\nselect 2 as FAfter";
}

const ado::ErrorEntry* EntryFor(const ado::Connection& cn, int32_t native) {
  for (const ado::ErrorEntry& e : cn.Errors())
    if (e.native_error == native) return &e;
  return nullptr;
}

TEST(ServerErrors, MidBatchFailureReachesTheCallerAndTheConnectionServesOn) {
  Q8_REQUIRE_FREETDS();
  auto judge = Registry::Instance().CreateAs<ErrorJudge>(progid::kErrorJudge);
  for (Way way : kServerWays) {
    for (const ServerError& c : kErrors) {
      SCOPED_TRACE(std::string(WayName(way)) + ": " + c.why);
      auto cn = ado::Connection::Create();
      cn->Open(ConnectionString(way));
      ado::RecordsetPtr rs = cn->Execute(BatchAround(c.statement));
      ASSERT_EQ(rs->RecordCount(), 3) << "the rows before the failure";
      try {
        rs->NextRecordset();
        ADD_FAILURE() << "the failing statement raised nothing";
      } catch (const Error& e) {
        EXPECT_NE(e.description().find(c.text), std::string::npos) << e.description();
        const ado::ErrorEntry* entry = EntryFor(*cn, c.native);
        ASSERT_NE(entry, nullptr) << "no entry with the server's number";
        EXPECT_EQ(entry->sql_state, c.sql_state);
        EXPECT_EQ(entry->number, e.number());
        ado::ErrorEntry asked = *entry;
        EXPECT_TRUE(judge->IsError(asked).ToBool()) << "the judge does not see an error";
      }
      // The statement after the failure never ran, and the connection is
      // ready for the next command.
      ado::RecordsetPtr next = cn->Execute("select count(*) as FCount from t_ICItem");
      ASSERT_EQ(next->RecordCount(), 1);
      EXPECT_GT(next->Value(0).ToLong(), 0);
    }
  }
}

TEST(ServerErrors, PublicMethodsReportThemInTheirOwnTerms) {
  Q8_REQUIRE_FREETDS();
  for (Way way : kServerWays) {
    for (const ServerError& c : kErrors) {
      SCOPED_TRACE(std::string(WayName(way)) + ": " + c.why);
      const std::string dsn = Descriptor(way);
      Data data;
      // GetData: -8000, its tag, the provider's description.
      const Outcome got = Capture([&] { return Dump(data.GetData(dsn, c.statement)); });
      ASSERT_TRUE(got.failed);
      EXPECT_EQ(got.number, err::kComponent);
      EXPECT_TRUE(got.source.ends_with("GetData")) << got.source;
      EXPECT_NE(got.description.find(c.text), std::string::npos) << got.description;
      // The same object's next call works.
      const Outcome after = Capture([&] { return Dump(data.GetData(dsn, "select 1 as FOne")); });
      EXPECT_FALSE(after.failed) << after.description;

      // GetRptRsBySQL: the caught number, the caught source localized and
      // tagged; the body before the failure was written.
      auto cn = ado::Connection::Create();
      cn->Open(ConnectionString(way));
      int32_t ado_number = 0;
      try {
        cn->Execute(BatchAround(c.statement))->NextRecordset();
      } catch (const Error& e) {
        ado_number = e.number();
      }
      auto p = std::make_shared<Dictionary>();
      p->SetValue("sDsN", Variant(dsn));
      p->SetValue("StrSql", Variant(BatchAround(c.statement)));
      ado::RecordsetPtr body, header;
      const Outcome batch = Capture([&] {
        data.GetRptRsBySQL(p, body, header);
        return std::string();
      });
      ASSERT_TRUE(batch.failed);
      EXPECT_EQ(batch.number, ado_number);
      EXPECT_TRUE(batch.source.ends_with("GetRptRs")) << batch.source;
      EXPECT_NE(batch.description.find(c.text), std::string::npos) << batch.description;
      ASSERT_NE(body, nullptr);
      EXPECT_EQ(body->RecordCount(), 3);
      EXPECT_EQ(header, nullptr);
    }
  }
}

TEST(ServerErrors, LoginToAnUnknownDatabaseIsRefusedWithTheServersWords) {
  Q8_REQUIRE_FREETDS();
  DescriptorOptions o;
  for (Way way : {Way::kOleDb, Way::kOdbc}) {
    SCOPED_TRACE(WayName(way));
    std::string cs = ConnectionString(way, o);
    const size_t at = cs.find("ERP");
    cs.replace(at, 3, "NOPE");
    auto cn = ado::Connection::Create();
    const Outcome got = Capture([&] {
      cn->Open(cs);
      return std::string();
    });
    ASSERT_TRUE(got.failed);
    EXPECT_NE(EntryFor(*cn, 4060), nullptr) << got.description;
    EXPECT_NE(EntryFor(*cn, 18456), nullptr) << got.description;
  }
}

}  // namespace
}  // namespace q8::tds::testing
