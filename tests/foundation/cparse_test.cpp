// The descriptor parser: the format, its consequences, and the typed reads.
#include "connection/cparse.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"
#include "tests/support/support.h"

namespace q8 {
namespace {

using testing::ErrorNumberOf;

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries Parse(const std::string& text) {
  CParse p;
  EXPECT_TRUE(p.ParseString(text)) << text;
  return *p.Entries();
}

TEST(CParseFormat, Typical) {
  struct Case {
    const char* text;
    Entries want;
  } cases[] = {
      {"ConnectString={Provider=SQLite;Data Source=a.db};DBMS Name=SQLite;DBMS Version=3;"
       "Language=CHS;UserID=16394",
       {{"ConnectString", "Provider=SQLite;Data Source=a.db"},
        {"DBMS Name", "SQLite"},
        {"DBMS Version", "3"},
        {"Language", "CHS"},
        {"UserID", "16394"}}},
      {"Language=CHS", {{"Language", "CHS"}}},  // the last ";" may be left out
      {" Language = CHS ; UserID = 5 ", {{"Language", "CHS"}, {"UserID", "5"}}},
      {"A = { x } ;B=1", {{"A", "x"}, {"B", "1"}}},  // blanks inside braces go too
      {"A=;B={}", {{"A", ""}, {"B", ""}}},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.text), c.want) << c.text;
}

TEST(CParseFormat, Consequences) {
  struct Case {
    const char* text;
    Entries want;
    const char* why;
  } cases[] = {
      {"", {}, "an empty descriptor is an empty map"},
      {"=abc;Language=CHS", {}, "an empty key ends the descriptor"},
      {"A=1;=2;B=3", {{"A", "1"}}, "the value after an empty key is dropped, and the rest"},
      {"ConnectString={a=b;c} junk ;Language=EN",
       {{"ConnectString", "a=b;c"}, {"Language", "EN"}},
       "text between } and ; is lost"},
      {"A={x}}", {{"A", "x"}}, "a second } is just dropped text"},
      {"Key=a=b;X=1", {{"Key", "a=b"}, {"X", "1"}}, "a plain value keeps its ="},
      {"\tLanguage=CHS", {{"\tLanguage", "CHS"}}, "only spaces are trimmed"},
      {"A=1;;Language=CHS", {{"A", "1"}, {";Language", "CHS"}}, "a doubled ; starts the key"},
      {"A=1;B", {{"A", "1"}, {"B", ""}}, "a final segment without = is a key"},
      {"A=1;B;C=2", {{"A", "1"}, {"B;C", "2"}}, "a segment without = joins the next key"},
      {"A=x{y};B={ spaced }", {{"A", "x{y}"}, {"B", "spaced"}}, "{ opens braces only first"},
      {"A={unterminated;B=2", {{"A", "unterminated;B=2"}}, "an open brace runs to the end"},
      {"A=line\r\n", {{"A", "line\r\n"}}, "line breaks are ordinary characters"},
      {"名称=值;", {{"名称", "值"}}, "UTF-8 keys and values"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.text), c.want) << c.why;
}

TEST(CParseFormat, RepeatedKeyRaises457KeepingEarlierEntries) {
  struct Case {
    const char* text;
    Entries kept;
  } cases[] = {
      {"a=1;A=2", {{"a", "1"}}},
      {"Language=CHS;UserID=1;LANGUAGE=EN;X=2", {{"Language", "CHS"}, {"UserID", "1"}}},
      {"A=1; a =2", {{"A", "1"}}},
  };
  for (const auto& c : cases) {
    CParse p;
    EXPECT_EQ(ErrorNumberOf([&] { p.ParseString(c.text); }), err::kKeyAlreadyPresent) << c.text;
    ASSERT_NE(p.Entries(), nullptr);
    EXPECT_EQ(*p.Entries(), c.kept) << c.text;
    EXPECT_EQ(p.PropsString(), c.text);
  }
}

TEST(CParseReads, PropertiesAndErrors) {
  CParse p;
  EXPECT_EQ(p.PropsString(), "");
  EXPECT_EQ(ErrorNumberOf([&] { p.LanguageID(); }), err::kObjectNotSet);  // before any parse
  EXPECT_EQ(ErrorNumberOf([&] { p.IsIndustry(); }), err::kObjectNotSet);

  const std::string text =
      " connectstring={Provider=SQLite};dbms name=SQLite;DBMS VERSION=3;language=en;UserName=王";
  ASSERT_TRUE(p.ParseString(text));
  EXPECT_EQ(p.PropsString(), text);  // unchanged, blanks included
  EXPECT_EQ(p.ConStr(), "Provider=SQLite");
  EXPECT_EQ(p.ConDBMSName(), "SQLite");
  EXPECT_EQ(p.ConDBMSVersion(), "3");
  EXPECT_EQ(p.LanguageID(), "en");
  EXPECT_EQ(p.UserName(), "王");
  EXPECT_EQ(p.GetProperty("USERNAME"), "王");
  EXPECT_EQ(ErrorNumberOf([&] { p.UserID(); }), err::kInvalidProcedureCall);
  EXPECT_EQ(ErrorNumberOf([&] { p.GetProperty("Language "); }), err::kInvalidProcedureCall);
  EXPECT_EQ(ErrorNumberOf([&] { p.IsIndustry(); }), err::kInvalidProcedureCall);
  EXPECT_EQ(ErrorNumberOf([&] { p.GetQXObjectName("x"); }), err::kInvalidProcedureCall);

  // A second parse replaces text and map.
  ASSERT_TRUE(p.ParseString("Language=CHS"));
  EXPECT_EQ(p.PropsString(), "Language=CHS");
  EXPECT_EQ(ErrorNumberOf([&] { p.ConStr(); }), err::kInvalidProcedureCall);
  // An empty descriptor parses, and then Language is absent.
  ASSERT_TRUE(p.ParseString(""));
  EXPECT_EQ(ErrorNumberOf([&] { p.LanguageID(); }), err::kInvalidProcedureCall);
}

TEST(CParseReads, UserID) {
  struct Case {
    const char* value;
    int32_t want;
    int32_t error;
  } cases[] = {
      {"16394", 16394, 0},
      {" 42 ", 42, 0},
      {"2.5", 2, 0},  // half to even
      {"3.5", 4, 0},
      {"-2.5", -2, 0},
      {"-2147483648", -2147483648, 0},
      {"2147483647", 2147483647, 0},
      {"abc", 0, err::kTypeMismatch},
      {"", 0, err::kTypeMismatch},
      {"12a", 0, err::kTypeMismatch},
      {"2147483648", 0, err::kOverflow},
      {"-2147483649", 0, err::kOverflow},
      {"1e10", 0, err::kOverflow},
  };
  for (const auto& c : cases) {
    CParse p;
    p.ParseString(std::string("UserID={") + c.value + "}");
    int32_t got = 0;
    EXPECT_EQ(ErrorNumberOf([&] { got = p.UserID(); }), c.error) << c.value;
    if (c.error == 0) {
      EXPECT_EQ(got, c.want) << c.value;
    }
  }
}

TEST(CParseReads, IsIndustry) {
  struct Case {
    const char* text;
    bool want;
  } cases[] = {
      {"AcctType=gy", true}, {"AcctType=GY", true},   {"AcctType= Gy ", true},
      {"AcctType=", false},  {"AcctType=GY1", false}, {"AcctType=SY", false},
  };
  for (const auto& c : cases) {
    CParse p;
    p.ParseString(c.text);
    EXPECT_EQ(p.IsIndustry(), c.want) << c.text;
  }
}

TEST(CParseReads, GetQXObjectName) {
  struct Case {
    const char* edition;
    const char* name;
    const char* want;
  } cases[] = {
      {"XEE", "K3Obj", "XEE_K3Obj"},
      {"xee", "K3Obj", "XEE_K3Obj"},      // the code is
                                          // upper-cased
      {"XEE", "xee_K3Obj", "xee_K3Obj"},  // already contains the code
      {"XEE", "MyXeeThing", "MyXeeThing"},
      {"", "K3Obj", "K3Obj"},
      {"XSE", "K3Obj", "K3Obj"},
      {"XUE", "K3Obj", "K3Obj"},
      {"ABC", "K3Obj", "K3Obj"},
      {"XEE", "", "XEE_"},
  };
  for (const auto& c : cases) {
    CParse p;
    p.ParseString(std::string("Q8Version=") + c.edition);
    EXPECT_EQ(p.GetQXObjectName(c.name), c.want) << c.edition << "/" << c.name;
  }
}

// The numbers are the platform's; the descriptions say which entry of the
// descriptor is wrong, so that a person can mend it.
TEST(CParseReads, ErrorsNameTheEntry) {
  struct Case {
    const char* descriptor;
    std::function<void(CParse&)> read;
    int32_t number;
    const char* description;
  };
  const std::vector<Case> cases = {
      {"ConnectString={x};Lang=EN;", [](CParse& p) { p.LanguageID(); }, err::kInvalidProcedureCall,
       "Invalid procedure call or argument: the connection descriptor has no entry \"Language\" "
       "(its entries: ConnectString, Lang)"},
      {"", [](CParse& p) { p.ConStr(); }, err::kInvalidProcedureCall,
       "Invalid procedure call or argument: the connection descriptor has no entry "
       "\"ConnectString\" (it has no entries at all)"},
      {"UserID=abc", [](CParse& p) { p.UserID(); }, err::kTypeMismatch,
       "Type mismatch: the connection descriptor's UserID \"abc\" is not a 32-bit whole number"},
      {"UserID=3000000000", [](CParse& p) { p.UserID(); }, err::kOverflow,
       "Overflow: the connection descriptor's UserID \"3000000000\" is not a 32-bit whole number"},
  };
  for (const Case& c : cases) {
    CParse p;
    ASSERT_TRUE(p.ParseString(c.descriptor));
    try {
      c.read(p);
      ADD_FAILURE() << c.descriptor;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number) << c.descriptor;
      EXPECT_EQ(e.description(), c.description);
    }
  }
  CParse p;
  try {
    p.ParseString("Language=EN;DBMS Name=SQLite;language=CHS;");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kKeyAlreadyPresent);
    EXPECT_EQ(e.description(),
              "This key is already associated with an element of this collection: the connection "
              "descriptor gives the key \"language\" more than once");
  }
}

TEST(CParseLifetime, ReleaseEndsTheThreadsLoader) {
  struct CountingLoader : ResourceLoader {
    int* unloads;
    explicit CountingLoader(int* u) : unloads(u) {}
    std::string LanguageID() const override { return ""; }
    void SetLanguageID(const std::string&) override {}
    void SetResFileBaseName(const std::string&) override {}
    std::string LoadString(std::string& key) override { return key; }
    void Unload() override { ++*unloads; }
  };
  int unloads = 0;
  apartment::Loader() = std::make_shared<CountingLoader>(&unloads);
  { CParse p; }
  EXPECT_EQ(unloads, 1);
  EXPECT_EQ(apartment::Loader(), nullptr);
  { CParse p; }  // no loader: nothing to end
  EXPECT_EQ(unloads, 1);
}

TEST(CParseLifetime, ReleasedAfterTheThreadsStateIsGone) {
  // A parser held by a thread_local made before the thread's state is
  // destroyed after it; its release must not touch the state (ASan checks).
  std::thread([] {
    thread_local std::unique_ptr<CParse> held = std::make_unique<CParse>();
    held->ParseString("Language=EN");
    apartment::Loader() = nullptr;  // creates the state after `held`
    apartment::GetObjectContext();
  }).join();
  SUCCEED();
}

}  // namespace
}  // namespace q8
