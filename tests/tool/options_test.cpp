// Global options: the descriptor built for --db, where the descriptor comes
// from, and how filter values are typed.
#include "tools/q8vantorpt/options.h"

#include <gtest/gtest.h>

namespace q8::tool {
namespace {

TEST(FilterTyping, KeysAreTypedAsTheReportsReadThem) {
  struct Case {
    const char* key;
    const char* value;
    Variant expected;
    const char* why;
  };
  const Case cases[] = {
      {"bLongNumber", "true", Variant(true), "Boolean"},
      {"bLongNumber", "FALSE", Variant(false), "any case"},
      {"blongnumber", "1", Variant(true), "key without regard to case"},
      {"bLongNumber", " 0 ", Variant(false), "blanks around"},
      {"Status", "1", Variant(int32_t{1}), "numbers are Long when whole"},
      {"SalePrice", " 2 ", Variant(int32_t{2}), ""},
      {"UnitCost", "-1", Variant(int32_t{-1}), ""},
      {"SumType", "2.0", Variant(int32_t{2}), "a whole value with decimals"},
      {"IsOnlyJS", "0", Variant(int32_t{0}), ""},
      {"isonlyjs", "1", Variant(int32_t{1}), ""},
      {"Status", "0.5", Variant(*Decimal::Parse("0.5")), "a fraction stays exact"},
      {"Status", "3000000000", Variant(*Decimal::Parse("3000000000")), "beyond 32 bits"},
      {"BItemNumber", "01", Variant("01"), "codes stay text, leading zero kept"},
      {"BDate", "2024-01-01", Variant("2024-01-01"), ""},
      {"BCustNumber", "", Variant(""), "an empty value is an empty text"},
      {"BStockNumber", "  ", Variant("  "), "blanks are kept"},
      {"Anything", "1", Variant("1"), "unknown keys are text"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TypedFilterValue(c.key, c.value), c.expected)
        << c.key << "=" << c.value << " (" << c.why << ")";
  }
}

TEST(FilterTyping, RejectsValuesAKeyCannotTake) {
  const std::pair<const char*, const char*> cases[] = {
      {"bLongNumber", "yes"}, {"bLongNumber", ""}, {"Status", "one"},
      {"SalePrice", ""},      {"UnitCost", "1x"},  {"IsOnlyJS", " "},
  };
  for (const auto& [key, value] : cases) {
    EXPECT_THROW(TypedFilterValue(key, value), UsageError) << key << "=" << value;
  }
}

TEST(BuildFilter, SplitsAtTheFirstEquals) {
  DictionaryPtr d = BuildFilter({"BItemNumber=01.01", "StrSql=a=b", "IsOnlyJS=0", "EItemNumber="});
  EXPECT_EQ(d->Count(), 4u);
  EXPECT_EQ(d->GetValue("BItemNumber"), Variant("01.01"));
  EXPECT_EQ(d->GetValue("StrSql"), Variant("a=b"));
  EXPECT_EQ(d->GetValue("IsOnlyJS"), Variant(int32_t{0}));
  EXPECT_EQ(d->GetValue("EItemNumber"), Variant(""));
}

TEST(BuildFilter, RejectsMalformedAndRepeatedKeys) {
  const std::vector<std::vector<std::string>> cases = {
      {"BItemNumber"},           // no "="
      {"=01"},                   // no key
      {"Status=1", "status=0"},  // the same key twice, in any case
  };
  for (const auto& c : cases) EXPECT_THROW(BuildFilter(c), UsageError) << c[0];
}

TEST(Descriptor, ForAFile) {
  EXPECT_EQ(DescriptorForFile("demo.db", "CHS", 0),
            "ConnectString={Provider=SQLite;Data Source=demo.db};DBMS Name=SQLite;"
            "DBMS Version=3;Language=CHS;UserID=0;");
  EXPECT_EQ(DescriptorForFile("/tmp/a b/库存.db", "EN", -3),
            "ConnectString={Provider=SQLite;Data Source=/tmp/a b/库存.db};DBMS Name=SQLite;"
            "DBMS Version=3;Language=EN;UserID=-3;");
  // Names the descriptor cannot carry.
  for (const char* bad : {"", "a}b.db", "a;b.db", " lead.db", "trail.db "}) {
    EXPECT_THROW(DescriptorForFile(bad, "CHS", 0), UsageError) << bad;
  }
  EXPECT_THROW(DescriptorForFile("a.db", "EN;UserID=5", 0), UsageError);
}

TEST(Descriptor, Sources) {
  const char* env = "ConnectString={x};Language=EN;";
  GlobalOptions none;
  EXPECT_FALSE(ResolveDescriptor(none, nullptr));
  EXPECT_FALSE(ResolveDescriptor(none, "")) << "an empty variable counts as unset";
  EXPECT_EQ(ResolveDescriptor(none, env)->text, env);

  GlobalOptions dsn;
  dsn.dsn = "X=1;";
  EXPECT_EQ(ResolveDescriptor(dsn, env)->text, "X=1;") << "--dsn wins over the environment";

  GlobalOptions db;
  db.db = "d.db";
  db.lang = "CHT";
  db.user_id = 16394;
  const auto r = ResolveDescriptor(db, env);
  EXPECT_EQ(r->db_file, "d.db");
  EXPECT_NE(r->text.find(";Language=CHT;UserID=16394;"), std::string::npos) << r->text;

  GlobalOptions both = db;
  both.dsn = "X=1;";
  EXPECT_THROW(ResolveDescriptor(both, nullptr), UsageError);
  GlobalOptions lang_with_dsn;
  lang_with_dsn.dsn = "X=1;";
  lang_with_dsn.lang = "EN";
  EXPECT_THROW(ResolveDescriptor(lang_with_dsn, nullptr), UsageError);
  GlobalOptions user_with_env;
  user_with_env.user_id = 1;
  EXPECT_THROW(ResolveDescriptor(user_with_env, env), UsageError);
}

TEST(Format, Names) {
  EXPECT_EQ(ParseFormat("table"), Format::kTable);
  EXPECT_EQ(ParseFormat("CSV"), Format::kCsv);
  EXPECT_EQ(ParseFormat("Json"), Format::kJson);
  EXPECT_THROW(ParseFormat("xml"), UsageError);
}

}  // namespace
}  // namespace q8::tool
