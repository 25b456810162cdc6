// LIKE, CHARINDEX, REPLACE and the text conversions of translated
// statements, case by case: the pattern syntax of SQL Server (sets, ranges,
// escapes, wildcards that stand for themselves), letter case ignored as the
// server's default collation ignores it, and the conversions of text to int
// and float with SQL Server's errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/tsql/harness.h"

namespace q8::tsql::testing {
namespace {

// The first value of the first result of `tsql`, or "error: …".
std::string One(Database& db, const std::string& tsql) {
  RunResult r = db.Run(tsql);
  if (r.error) return "error: " + *r.error;
  if (r.results.empty() || r.results[0].rows.empty()) return "no row";
  return r.results[0].rows[0][0];
}

// A literal: varchar for ASCII text, nvarchar (N'…') for any other.
std::string Quote(std::string_view s) {
  const bool ascii = std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
  std::string out = ascii ? "'" : "N'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

TEST(Like, PatternsAsSqlServerReadsThem) {
  struct {
    const char* text;
    const char* pattern;
    bool match;
  } cases[] = {
      {"abc", "abc", true},
      {"ABC", "abc", true},  // letter case ignored
      {"abc", "a%", true},
      {"abc", "%c", true},
      {"abc", "%b%", true},
      {"abc", "a_c", true},
      {"abc", "a__c", false},
      {"abc", "", false},
      {"", "%", true},
      {"aXbXc", "a%b%c", true},
      {"aXbXd", "a%b%c", false},
      {"abcabcabd", "%abd", true},  // % gives back characters until the rest matches
      {"b", "[abc]", true},
      {"B", "[abc]", true},
      {"d", "[abc]", false},
      {"m", "[a-z]", true},
      {"5", "[a-z]", false},
      {"d", "[^a-c]", true},
      {"b", "[^a-c]", false},
      {"[", "[[]", true},
      {"a]", "a]", true},  // ] outside a set stands for itself
      {"50%", "50[%]", true},
      {"500", "50[%]", false},
      {"a_b", "a[_]b", true},
      {"axb", "a[_]b", false},
      {"a-b", "a[-]b", true},
      {"abc  ", "abc", true},  // trailing blanks of a varchar text do not count
      {"abc", "abc ", false},  // those of the pattern do
      {"ΔΕΛΤΑ", "δ%", true},
      {"中文报表", "%报%", true},
      {"Ａｂ", "ａＢ", true},  // full-width letters have case too
  };
  Database db;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " LIKE " + c.pattern);
    EXPECT_EQ(One(db, "select case when " + Quote(c.text) + " like " + Quote(c.pattern) +
                          " then 1 else 0 end"),
              c.match ? "1" : "0");
  }
}

TEST(Like, EscapeAndNullAndNot) {
  Database db;
  EXPECT_EQ(One(db, "select case when '10%' like '10!%' escape '!' then 1 else 0 end"), "1");
  EXPECT_EQ(One(db, "select case when '100' like '10!%' escape '!' then 1 else 0 end"), "0");
  EXPECT_EQ(One(db, "select case when 'a!b' like 'a!!b' escape '!' then 1 else 0 end"), "1");
  EXPECT_EQ(One(db, "select case when 'abc' not like 'x%' then 1 else 0 end"), "1");
  EXPECT_EQ(One(db, "select case when null like 'x%' then 1 else 0 end"), "0");
  EXPECT_EQ(One(db, "select case when 'abc' like null then 1 else 0 end"), "0");
}

TEST(TextFunctions, CharIndexAndReplaceIgnoreCase) {
  struct {
    const char* expr;
    const char* want;
  } cases[] = {
      {"charindex('B', 'abc')", "2"},
      {"charindex('bc', 'ABCBC', 3)", "4"},  // from the third character on
      {"charindex('x', 'abc')", "0"},
      {"charindex('', 'abc')", "0"},
      {"charindex(N'报', N'中文报表')", "3"},  // characters, not bytes
      {"charindex(null, 'abc')", "NULL"},
      {"charindex('a', 'abc', 9223372036854775807)", "0"},  // a start past the end
      {"replace('ABCabc', 'b', 'x')", "AxCaxc"},
      {"replace(N'ΔΕΛΤΑ δ', N'δ', N'd')", "dΕΛΤΑ d"},
      {"replace('abc', '', 'x')", "abc"},
      {"replace('aaa', 'aa', 'b')", "ba"},  // occurrences do not overlap
      {"upper(N'straße ä')", "STRAßE Ä"},
      {"lower(N'ÄÖÜ ДОМ')", "äöü дом"},
  };
  Database db;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    EXPECT_EQ(One(db, std::string("select ") + c.expr), c.want);
  }
}

TEST(Conversions, TextToNumbers) {
  struct {
    const char* expr;
    const char* want;  // a value, or the beginning of the error
  } cases[] = {
      {"cast(' 42 ' as int)", "42"},
      {"cast('-7' as int)", "-7"},
      {"cast('' as int)", "0"},
      {"cast('4.0' as int)", "error: Conversion failed when converting the varchar value '4.0'"},
      {"cast('1e3' as int)", "error: Conversion failed"},
      {"cast('3000000000' as int)",
       "error: The conversion of the varchar value '3000000000' "
       "overflowed an int column."},
      {"cast('300' as tinyint)", "error: The conversion of the varchar value '300' overflowed a"},
      {"cast('1e3' as float)", "1000"},
      {"cast('x' as float)", "error: Error converting data type varchar to float."},
      {"cast('12.345' as decimal(5,2))", "12.35"},
      {"cast('-0.005' as decimal(5,2))", "-0.01"},
      {"cast('1234.5' as decimal(5,2))", "error: Arithmetic overflow error"},
      {"cast(2.9 as int)", "2"},
      {"cast(-2.9 as int)", "-2"},
      {"cast(cast(1.5 as float) as decimal(5,2))", "1.5"},
  };
  Database db;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    const std::string got = One(db, std::string("select ") + c.expr);
    EXPECT_EQ(got.substr(0, std::string(c.want).size()), c.want) << got;
  }
}

// The engine's functions may be called by hand in a statement; a last
// argument that the translator would never write is refused, not obeyed.
TEST(DecimalFunctions, RefuseCallsTheTranslatorNeverWrites) {
  Database db;
  for (const char* call : {"tsql_dadd(1, 2, -1)", "tsql_dadd(1, 2, 99999999)",
                           "tsql_dcast('1', 9900000000000)", "tsql_ddiv(1, 3, 3999)"}) {
    SCOPED_TRACE(call);
    EXPECT_EQ(One(db, std::string("select ") + call),
              "error: Invalid last argument of a decimal function.");
  }
}

}  // namespace
}  // namespace q8::tsql::testing
