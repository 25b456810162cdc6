// The capability cache: provider values and their defaults, the "Connected"
// protocol, the procedure list, and the group shared per DBMS name and
// version.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "connection/cdatasource.h"
#include "connection/cparse.h"
#include "connection/shared_properties.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"
#include "tests/datasource/memory_provider.h"

namespace q8 {
namespace {

using memdb::AddMemoryDatabase;
using memdb::MakeDataSource;
using memdb::MemoryConnectString;
using memdb::MemoryDatabase;
using memdb::MemoryTable;

constexpr char kProcQuery[] = "SELECT FProcName FROM t_SupportedProc";

MemoryTable ProcTable(const std::vector<std::string>& names) {
  MemoryTable t;
  ado::ColumnInfo c;
  c.name = "FProcName";
  c.type = ado::FieldType::kText;
  t.columns.push_back(c);
  for (const auto& n : names) t.rows.push_back({Variant(n)});
  return t;
}

// A database whose provider reports what a SQL Server driver would.
std::shared_ptr<MemoryDatabase> FullDatabase(const std::string& name,
                                             std::optional<std::vector<std::string>> procs) {
  auto db = AddMemoryDatabase(name);
  db->SetProperty("DBMS Name", "Microsoft SQL Server");
  db->SetProperty("DBMS Version", "08.00.2039");
  db->SetProperty("Multiple Results", int32_t{1});
  db->SetProperty("Like Escape Clause", "Y");
  db->SetProperty("Integrity Enhancement Facility", true);
  db->SetProperty("Numeric Functions", int32_t{0x00FFFFFF});
  db->SetProperty("String Functions", int32_t{0x0007FFFF});
  db->SetProperty("System Functions", int32_t{7});
  db->SetProperty("Time/Date Functions", int32_t{0x001FFFFF});
  if (procs) db->results[kProcQuery] = ProcTable(*procs);
  return db;
}

// Each test uses DBMS names of its own: groups live until the process ends.
std::string Unique(const std::string& stem) {
  static int n = 0;
  return stem + std::to_string(++n);
}

// The eight capability properties as one comparable value.
struct Capabilities {
  std::string version;
  bool multiple_results, like_escape, ief;
  int32_t numeric, string, system, date_time;
  bool operator==(const Capabilities&) const = default;
};

Capabilities Read(const CDataSource& ds) {
  return {
      ds.DBMSVersion(),      ds.MultipleResults(), ds.LikeEscapeClause(), ds.IEF(),
      ds.NumericFunctions(), ds.StringFunctions(), ds.SystemFunctions(),  ds.DateTimeFunctions()};
}

std::ostream& operator<<(std::ostream& os, const Capabilities& c) {
  return os << "{" << c.version << "," << c.multiple_results << "," << c.like_escape << "," << c.ief
            << "," << c.numeric << "," << c.string << "," << c.system << "," << c.date_time << "}";
}

int32_t RaisedNumber(const std::function<void()>& call, std::string* description = nullptr) {
  try {
    call();
  } catch (const Error& e) {
    if (description) *description = e.description();
    return e.number();
  }
  return 0;
}

TEST(Capabilities, ProviderValuesAndDefaults) {
  struct Case {
    const char* why;
    std::function<void(MemoryDatabase&)> adjust;
    Capabilities expected;
  };
  const Case cases[] = {
      {"every property reported",
       [](MemoryDatabase&) {},
       {"08.00.2039", true, true, true, 0x00FFFFFF, 0x0007FFFF, 7, 0x001FFFFF}},
      {"nothing reported: every default",
       [](MemoryDatabase& db) { db.properties.clear(); },
       {"", false, false, false, 0, 0, 0, 0}},
      {"Null and Empty values take the defaults",
       [](MemoryDatabase& db) {
         db.SetProperty("DBMS Version", Variant::Null());
         db.SetProperty("Multiple Results", Variant());
         db.SetProperty("Like Escape Clause", Variant::Null());
         db.SetProperty("Integrity Enhancement Facility", Variant::Null());
         db.SetProperty("Numeric Functions", Variant());
       },
       {"", false, false, false, 0, 0x0007FFFF, 7, 0x001FFFFF}},
      {"Like Escape Clause not reported",
       [](MemoryDatabase& db) {
         std::erase_if(db.properties,
                       [](const ado::Property& p) { return p.name == "Like Escape Clause"; });
       },
       {"08.00.2039", true, false, true, 0x00FFFFFF, 0x0007FFFF, 7, 0x001FFFFF}},
      {"Like Escape Clause \"y\" is not \"Y\"",
       [](MemoryDatabase& db) { db.SetProperty("Like Escape Clause", "y"); },
       {"08.00.2039", true, false, true, 0x00FFFFFF, 0x0007FFFF, 7, 0x001FFFFF}},
      {"Like Escape Clause \"N\"",
       [](MemoryDatabase& db) { db.SetProperty("Like Escape Clause", "N"); },
       {"08.00.2039", true, false, true, 0x00FFFFFF, 0x0007FFFF, 7, 0x001FFFFF}},
      {"Like Escape Clause \"Y \" is not \"Y\"",
       [](MemoryDatabase& db) { db.SetProperty("Like Escape Clause", "Y "); },
       {"08.00.2039", true, false, true, 0x00FFFFFF, 0x0007FFFF, 7, 0x001FFFFF}},
      {"Multiple Results 0 reads false",
       [](MemoryDatabase& db) { db.SetProperty("Multiple Results", int32_t{0}); },
       {"08.00.2039", false, true, true, 0x00FFFFFF, 0x0007FFFF, 7, 0x001FFFFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string name = Unique("caps-values");
    auto db = FullDatabase(name, std::vector<std::string>{});
    c.adjust(*db);
    auto ds = MakeDataSource(name, "1", MemoryConnectString(name));
    EXPECT_EQ(Read(*ds), c.expected);
    EXPECT_EQ(db->opens, 1) << "one load serves every read";
  }
}

TEST(Capabilities, NullBitmaskIsStoredAndFailsOnRead) {
  const std::string name = Unique("caps-null");
  auto db = FullDatabase(name, std::vector<std::string>{});
  db->SetProperty("String Functions", Variant::Null());
  auto ds = MakeDataSource(name, "1", MemoryConnectString(name));
  EXPECT_EQ(RaisedNumber([&] { ds->StringFunctions(); }), err::kInvalidUseOfNull);
  EXPECT_EQ(ds->NumericFunctions(), 0x00FFFFFF);
}

TEST(Capabilities, MissingProcTableFailsEveryLoad) {
  const std::string name = Unique("caps-noproc");
  auto db = FullDatabase(name, std::nullopt);
  auto ds = MakeDataSource(name, "1", MemoryConnectString(name));

  // The properties read their empty defaults, without raising, however the
  // provider answered: the load did not finish.
  EXPECT_FALSE(ds->MultipleResults());
  EXPECT_EQ(ds->NumericFunctions(), 0);
  EXPECT_EQ(ds->DBMSVersion(), "");
  EXPECT_FALSE(ds->LikeEscapeClause());
  EXPECT_EQ(db->opens, 4) << "every read repeats the load";
  EXPECT_EQ(db->ExecutionsOf(kProcQuery), 4);

  std::string description;
  EXPECT_EQ(RaisedNumber([&] { ds->ProcSupported("GetPeriodStartEnd"); }, &description),
            memdb::kMissingTableNumber);
  EXPECT_EQ(description, memdb::MissingTableDescription(kProcQuery));

  // Once the table is there, the next read finishes the load and the group
  // is read unchanged from then on.
  db->results[kProcQuery] = ProcTable({"GetPeriodStartEnd"});
  EXPECT_TRUE(ds->MultipleResults());
  EXPECT_TRUE(ds->ProcSupported("GetPeriodStartEnd"));
  EXPECT_EQ(ds->NumericFunctions(), 0x00FFFFFF);
  EXPECT_EQ(db->opens, 6);
}

TEST(Capabilities, FailedOpenReadsEmptyAndProcSupportedRaises) {
  const std::string name = Unique("caps-noopen");
  auto ds = MakeDataSource(name, "1", MemoryConnectString("no-such-database"));
  EXPECT_EQ(Read(*ds), (Capabilities{"", false, false, false, 0, 0, 0, 0}));
  EXPECT_EQ(RaisedNumber([&] { ds->ProcSupported("x"); }), ado::kErrProviderFailure);
}

TEST(Capabilities, DescriptorWithoutDbmsNameRaisesFromEveryRead) {
  // The group name is built before any load, outside the load's handler.
  auto parse = std::make_shared<CParse>();
  parse->ParseString("DBMS Version=1;ConnectString={" + MemoryConnectString("x") + "}");
  CDataSource ds;
  ds.SetParseObject(parse);
  EXPECT_EQ(RaisedNumber([&] { ds.MultipleResults(); }), err::kInvalidProcedureCall);
  EXPECT_EQ(RaisedNumber([&] { ds.ProcSupported("x"); }), err::kInvalidProcedureCall);
}

TEST(Capabilities, ProcSupportedUsesTheDictionaryKeys) {
  const std::string name = Unique("caps-procs");
  FullDatabase(name, std::vector<std::string>{"GetPeriodStartEnd", "p_Other"});
  auto ds = MakeDataSource(name, "1", MemoryConnectString(name));
  struct Case {
    const char* proc;
    bool supported;
  };
  const Case cases[] = {
      {"GetPeriodStartEnd", true},
      {"getperiodstartend", true},  // the dictionary's keys ignore
                                    // case
      {"p_Other", true},
      {"GetPeriodStart", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ds->ProcSupported(c.proc), c.supported) << c.proc;
}

TEST(Capabilities, DescriptorsDifferingInConnectStringShareOneGroup) {
  const std::string dbms = Unique("caps-shared");
  auto first = FullDatabase(dbms + "-a", std::vector<std::string>{"GetPeriodStartEnd"});
  auto second = FullDatabase(dbms + "-b", std::vector<std::string>{"p_OnlyInB"});
  second->SetProperty("DBMS Version", "other");
  auto a = MakeDataSource(dbms, "1", MemoryConnectString(dbms + "-a"));
  auto b = MakeDataSource(dbms, "1", MemoryConnectString(dbms + "-b"));

  EXPECT_TRUE(a->ProcSupported("GetPeriodStartEnd"));
  EXPECT_TRUE(b->ProcSupported("GetPeriodStartEnd"));
  EXPECT_FALSE(b->ProcSupported("p_OnlyInB"));
  EXPECT_EQ(b->DBMSVersion(), "08.00.2039");
  EXPECT_EQ(second->opens, 0) << "the second database is never read";

  // The group holds what the first load wrote, "Connected" included.
  bool existed = false;
  auto group = OpenProcessGroup(progid::kSharedPropertyManager, dbms + "1DataSource", existed);
  ASSERT_TRUE(existed);
  EXPECT_EQ(group->Property("ConnectString").Value().ToText(), MemoryConnectString(dbms + "-a"));
  EXPECT_EQ(group->Property("DBMSName").Value().ToText(), "Microsoft SQL Server");
  EXPECT_EQ(group->Property("Connected").Value(), Variant(true));

  // Another version of the same DBMS is a group of its own.
  auto c = MakeDataSource(dbms, "2", MemoryConnectString(dbms + "-b"));
  EXPECT_TRUE(c->ProcSupported("p_OnlyInB"));
  EXPECT_EQ(second->opens, 1);
}

}  // namespace
}  // namespace q8
