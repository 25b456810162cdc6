// Unit tests of the translator's pieces: tokenizer, splitter, SQL Server
// date rules, decimal typing, the collation, the statements Translate
// produces, and the cache.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "drivers/sqlite/tsql/collation.h"
#include "drivers/sqlite/tsql/datetime.h"
#include "drivers/sqlite/tsql/splitter.h"
#include "drivers/sqlite/tsql/tokenizer.h"
#include "drivers/sqlite/tsql/types.h"
#include "q8vantorpt/error.h"
#include "tests/tsql/harness.h"

namespace q8::tsql {
namespace {

// ---- Tokenizer ----

std::string Describe(std::string_view src) {
  std::string out;
  for (const Token& t : Tokenize(src)) {
    if (t.kind == TokKind::kEnd) break;
    if (!out.empty()) out += ' ';
    if (t.nl_before) out += '^';
    out += TokenText(src, t);
  }
  return out;
}

TEST(Tokenizer, Cases) {
  struct {
    const char* src;
    const char* tokens;  // token texts; ^ marks a line break before a token
  } cases[] = {
      {"select 'it''s' from t", "select 'it''s' from t"},
      // A quote inside a comment opens nothing.
      {"a -- it's\r\nb", "a ^b"},
      // A line comment ends at LF, so CR LF closes it.
      {"a --x\rstill comment\nb", "a ^b"},
      {"[a b].[c]]d] \"e\"\"f\"", "[a b] . [c]]d] \"e\"\"f\""},
      {"N'中文' n'x'", "N'中文' n'x'"},
      // Block comments nest.
      {"a /* x /* y */ z */ b", "a b"},
      {"x>=1 and y<>2 or z!=3 and w!<4", "x >= 1 and y <> 2 or z != 3 and w !< 4"},
      {"1.5e3 .5 0x1F 12.", "1.5e3 .5 0x1F 12."},
      {"#temp.[x] @v ?", "#temp . [x] @v ?"},
      {"a--b", "a"},
      {"'unterminated", "'unterminated"},
  };
  for (const auto& c : cases) EXPECT_EQ(Describe(c.src), c.tokens) << c.src;
}

TEST(Tokenizer, Values) {
  std::string src = "'a''b' [x]]y] \"p\"\"q\" N'z'";
  auto toks = Tokenize(src);
  EXPECT_EQ(StringValue(src, toks[0]), "a'b");
  EXPECT_EQ(IdentName(src, toks[1]), "x]y");
  EXPECT_EQ(IdentName(src, toks[2]), "p\"q");
  EXPECT_EQ(StringValue(src, toks[3]), "z");
  EXPECT_EQ(toks[3].kind, TokKind::kNString);
}

// ---- Splitter ----

std::vector<std::string> Split(std::string_view src) {
  auto toks = Tokenize(src);
  std::vector<std::string> out;
  for (const TokenRange& r : SplitStatements(toks)) {
    std::string s;
    for (uint32_t i = r.begin; i < r.end; ++i) {
      if (!s.empty()) s += ' ';
      s += TokenText(src, toks[i]);
    }
    out.push_back(s);
  }
  return out;
}

TEST(Splitter, Cases) {
  struct {
    const char* src;
    std::vector<std::string> statements;
  } cases[] = {
      {"Set Nocount on select 1", {"Set Nocount on", "select 1"}},
      {"set nocount on update t set a = 1 set nocount on delete from t",
       {"set nocount on", "update t set a = 1", "set nocount on", "delete from t"}},
      // A SELECT after INSERT's target and column list belongs to it.
      {"insert into #t (a) select 1 from x select 2",
       {"insert into #t ( a ) select 1 from x", "select 2"}},
      {"Insert Into #t Select 1 Insert Into #t Select 2",
       {"Insert Into #t Select 1", "Insert Into #t Select 2"}},
      {"insert into t values (1) select 2", {"insert into t values ( 1 )", "select 2"}},
      // ON [PRIMARY] followed directly by the next CREATE.
      {"create table #a (x int) ON [PRIMARY]CREATE TABLE #b (y int)",
       {"create table #a ( x int ) ON [PRIMARY]", "CREATE TABLE #b ( y int )"}},
      {"update t set a = 1 set nocount off", {"update t set a = 1", "set nocount off"}},
      {"select 1 union all select 2 union select 3",
       {"select 1 union all select 2 union select 3"}},
      {"select a from (select 1 a) x where a in (select 1)",
       {"select a from ( select 1 a ) x where a in ( select 1 )"}},
      {"with c as (select 1 a) select a from c select 2",
       {"with c as ( select 1 a ) select a from c", "select 2"}},
      {"select * from t with (nolock) select 2", {"select * from t with ( nolock )", "select 2"}},
      {"select 1; select 2;", {"select 1", "select 2"}},
      {"select 1\nGO\nselect 2", {"select 1", "select 2"}},
      {"select a.select from t", {"select a . select from t"}},
      {"alter table t add constraint f foreign key (a) references u (b) on delete cascade drop "
       "table x",
       {"alter table t add constraint f foreign key ( a ) references u ( b ) on delete cascade",
        "drop table x"}},
      {"DBCC TRACEOFF(8602) SET TRANSACTION ISOLATION LEVEL READ COMMITTED",
       {"DBCC TRACEOFF ( 8602 )", "SET TRANSACTION ISOLATION LEVEL READ COMMITTED"}},
      {"", {}},
      {"-- only a comment", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split(c.src), c.statements) << c.src;
}

// ---- SQL Server datetime rules ----

TEST(DateTime, Parse) {
  struct {
    const char* text;
    const char* canonical;  // nullptr: not a datetime
  } cases[] = {
      {"2024-03-31", "2024-03-31 00:00:00"},
      {"2024/03/31", "2024-03-31 00:00:00"},
      {"20240331", "2024-03-31 00:00:00"},
      {"2024.03.31 10:00", "2024-03-31 10:00:00"},
      {"03/31/2024", "2024-03-31 00:00:00"},
      {"3/5/24", "2024-03-05 00:00:00"},
      {"3/5/50", "1950-03-05 00:00:00"},
      {"2024", "2024-01-01 00:00:00"},
      {"", "1900-01-01 00:00:00"},
      {"   ", "1900-01-01 00:00:00"},
      {" 2024-03-31 ", "2024-03-31 00:00:00"},
      {"2024-03-31 23:59:59.997", "2024-03-31 23:59:59.997"},
      {"2024-03-31 23:59:59.998", "2024-03-31 23:59:59.997"},
      {"2024-03-31 23:59:59.999", "2024-04-01 00:00:00"},
      {"2024-03-31 10:00:00.5", "2024-03-31 10:00:00.500"},
      {"2024-03-31 10:00:00:5", "2024-03-31 10:00:00.007"},
      {"2024-03-31T10:11:12", "2024-03-31 10:11:12"},
      {"2024-03-31 10:11PM", "2024-03-31 22:11:00"},
      {"2024-03-31 12:00AM", "2024-03-31 00:00:00"},
      {"10:30", "1900-01-01 10:30:00"},
      {"Jan  1 1900 12:00AM", "1900-01-01 00:00:00"},
      {"March 5, 2024", "2024-03-05 00:00:00"},
      {"5 Mar 2024", "2024-03-05 00:00:00"},
      {"2024-02-29", "2024-02-29 00:00:00"},
      {"1753-01-01", "1753-01-01 00:00:00"},
      {"9999-12-31 23:59:59.997", "9999-12-31 23:59:59.997"},
      {"2023-02-29", nullptr},
      {"2024-13-01", nullptr},
      {"2024-03-32", nullptr},
      {"1752-12-31", nullptr},
      {"2024-03", nullptr},
      {"abc", nullptr},
      {"2024-03-31 24:00", nullptr},
      {"2024-03-31 10:00:00.1234", nullptr},
      {"2024-03-31x", nullptr},
      {"13/13/2024", nullptr},
  };
  for (const auto& c : cases) {
    auto v = dt::Parse(c.text);
    if (c.canonical == nullptr) {
      EXPECT_FALSE(v.has_value()) << c.text;
    } else {
      ASSERT_TRUE(v.has_value()) << c.text;
      EXPECT_EQ(dt::Format(*v), c.canonical) << c.text;
    }
  }
  // dmy order for the British and German styles.
  auto dmy = dt::Parse("05/03/2024", dt::OrderForStyle(103));
  ASSERT_TRUE(dmy.has_value());
  EXPECT_EQ(dt::Format(*dmy), "2024-03-05 00:00:00");
}

TEST(DateTime, Arithmetic) {
  auto d = [](const char* s) { return *dt::Parse(s); };
  auto fmt = [](std::optional<dt::DateTime> v) {
    return v ? dt::Format(*v) : std::string("overflow");
  };
  EXPECT_EQ(fmt(dt::DateAdd(dt::Part::kMonth, 1, d("2024-01-31"))), "2024-02-29 00:00:00");
  EXPECT_EQ(fmt(dt::DateAdd(dt::Part::kYear, 1, d("2024-02-29"))), "2025-02-28 00:00:00");
  EXPECT_EQ(fmt(dt::DateAdd(dt::Part::kDay, -1, d("2024-03-01"))), "2024-02-29 00:00:00");
  EXPECT_EQ(fmt(dt::DateAdd(dt::Part::kHour, 25, d("2024-03-01"))), "2024-03-02 01:00:00");
  EXPECT_EQ(fmt(dt::DateAdd(dt::Part::kDay, 1, d("9999-12-31"))), "overflow");
  EXPECT_EQ(dt::DateDiff(dt::Part::kDay, d("2024-03-31 23:00"), d("2024-04-01 01:00")), 1);
  EXPECT_EQ(dt::DateDiff(dt::Part::kMonth, d("2024-01-31"), d("2024-02-01")), 1);
  EXPECT_EQ(dt::DateDiff(dt::Part::kYear, d("2024-12-31"), d("2023-01-01")), -1);
  EXPECT_EQ(dt::DateDiff(dt::Part::kWeek, d("2024-03-02"), d("2024-03-03")),
            1);                                                     // Saturday to Sunday
  EXPECT_EQ(dt::DatePart(dt::Part::kWeekday, d("2024-03-03")), 1);  // a Sunday
  EXPECT_EQ(dt::DatePart(dt::Part::kDayOfYear, d("2024-12-31")), 366);
  EXPECT_EQ(dt::DatePart(dt::Part::kWeek, d("2024-01-07")), 2);
  EXPECT_EQ(fmt(dt::FromDays(45000.5)), "2023-03-17 12:00:00");
  EXPECT_EQ(dt::ToDays(d("1900-01-02")), 1.0);
}

TEST(DateTime, Styles) {
  dt::DateTime v = *dt::Parse("2024-03-05 14:07:09.123");
  struct {
    int style;
    const char* text;
  } cases[] = {
      {0, "Mar  5 2024  2:07PM"},
      {100, "Mar  5 2024  2:07PM"},
      {101, "03/05/2024"},
      {1, "03/05/24"},
      {102, "2024.03.05"},
      {103, "05/03/2024"},
      {104, "05.03.2024"},
      {105, "05-03-2024"},
      {108, "14:07:09"},
      {110, "03-05-2024"},
      {111, "2024/03/05"},
      {112, "20240305"},
      {120, "2024-03-05 14:07:09"},
      {121, "2024-03-05 14:07:09.123"},
      {23, "2024-03-05"},
      {126, "2024-03-05T14:07:09.123"},
      {109, "Mar  5 2024  2:07:09:123PM"},
  };
  for (const auto& c : cases) EXPECT_EQ(dt::FormatStyle(v, c.style), c.text) << c.style;
}

// ---- Types ----

TEST(Types, DecimalArithmetic) {
  struct {
    const char* a;
    char op;
    const char* b;
    const char* result;
  } cases[] = {
      // The amounts of the reports: price x quantity.
      {"decimal(38,10)", '*', "decimal(23,10)", "decimal(38,6)"},
      {"decimal(28,10)", '*', "decimal(28,10)", "decimal(38,6)"},
      {"decimal(23,10)", '/', "decimal(28,10)", "decimal(38,15)"},
      {"decimal(23,10)", '/', "int", "decimal(34,21)"},
      {"decimal(3,1)", '/', "decimal(2,1)", "decimal(9,6)"},
      {"decimal(23,10)", '+', "decimal(23,10)", "decimal(24,10)"},
      {"decimal(5,2)", '*', "int", "decimal(16,2)"},
      {"int", '/', "int", "int"},
      {"int", '*', "bigint", "bigint"},
      {"float", '*', "decimal(5,2)", "float"},
      {"decimal(38,10)", '+', "decimal(38,10)", "decimal(38,10)"},
  };
  for (const auto& c : cases) {
    Ty a = ParseDeclaredType(c.a), b = ParseDeclaredType(c.b);
    Ty r = c.op == '*' ? MulType(a, b) : c.op == '/' ? DivType(a, b) : AddType(a, b);
    EXPECT_EQ(r.ToSqlType().name, c.result) << c.a << c.op << c.b;
  }
  EXPECT_EQ(SumType(ParseDeclaredType("decimal(23,10)")).ToSqlType().name, "decimal(38,10)");
  EXPECT_EQ(AvgType(ParseDeclaredType("decimal(10,2)")).ToSqlType().name, "decimal(38,6)");
  EXPECT_EQ(NumberLiteralType("10.0").ToSqlType().name, "decimal(3,1)");
  EXPECT_EQ(NumberLiteralType("0.5").ToSqlType().name, "decimal(1,1)");
  EXPECT_EQ(NumberLiteralType("2147483648").ToSqlType().name, "decimal(10,0)");
  EXPECT_EQ(NumberLiteralType("1e3").ToSqlType().name, "float");
}

TEST(Types, FromDeclared) {
  struct {
    const char* declared;
    const char* name;
    ado::FieldType kind;
  } cases[] = {
      {"[decimal](23, 10)", "decimal(23,10)", ado::FieldType::kDecimal},
      // As SQLite stores a bracketed type name.
      {"decimal](23, 10", "decimal(23,10)", ado::FieldType::kDecimal},
      {"varchar] (10", "varchar(10)", ado::FieldType::kText},
      {"[Int]", "int", ado::FieldType::kInt},
      {"nvarchar(max)", "nvarchar(max)", ado::FieldType::kText},
      {"datetime", "datetime", ado::FieldType::kDateTime},
      {"bit", "bit", ado::FieldType::kBool},
      {"smallint", "smallint", ado::FieldType::kInt},
      {"money", "decimal(19,4)", ado::FieldType::kDecimal},
      {"float", "float", ado::FieldType::kDouble},
  };
  for (const auto& c : cases) {
    SqlType t = SqlType::FromDeclared(c.declared);
    EXPECT_TRUE(t.known) << c.declared;
    EXPECT_EQ(t.name, c.name) << c.declared;
    EXPECT_EQ(t.kind, c.kind) << c.declared;
  }
  EXPECT_FALSE(SqlType::FromDeclared("blob").known);
  EXPECT_FALSE(SqlType::FromDeclared("").known);
}

// ---- Collation ----

TEST(Collation, CompareCi) {
  struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"IC", "ic", 0},
      {"A ", "a", 0},
      {"abc", "ABD", -1},
      {"", "   ", 0},
      {"Ä", "ä", 0},
      {"ΔΕΛΤΑ", "δελτα", 0},
      {"ПРИВЕТ", "привет", 0},
      {"ＡＢ", "ａｂ", 0},
      {"a", "b", -1},
      {"b", "A", 1},
      {"a ", "a  b", -1},
      {"中文", "中文  ", 0},
      {"\xff", "\xfe", 1},
      {"\xc3", "\xc3\x84", 1},
      // Shared beginnings, also ending inside a character (ä and Ä share
      // their first byte).
      {"abä", "abÄ", 0},
      {"中文A", "中文b", -1},
      {"中x", "中文", -1},
      {"IC-100", "IC-100", 0},
      {"IC-100", "IC-1000", -1},
  };
  for (const auto& c : cases) {
    int r = CompareCi(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    int back = CompareCi(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " vs " << c.a;
  }
}

// ---- Translate ----

class TranslateTest : public ::testing::Test {
 protected:
  TranslateTest() {
    db_.Exec("CREATE TABLE t (id int, code varchar(20), qty decimal(23,10), d datetime)");
  }
  std::shared_ptr<const Batch> Run(const std::string& tsql) {
    return Translate(tsql, testing::PragmaCatalog(db_.handle()));
  }
  testing::Database db_;
};

TEST_F(TranslateTest, StatementKinds) {
  auto b = Run(
      " Set Nocount on\r\n SET TRANSACTION ISOLATION LEVEL READ UnCOMMITTED DBCC TRACEOFF(8602)\r\n"
      " create table #x ([a] [int] NULL) ON [PRIMARY] insert into #x select id from t\r\n"
      " update #x set a = 1 delete from #x select * from #x drop table #x SET NOCOUNT OFF");
  std::vector<Statement::Kind> kinds;
  for (const auto& s : b->statements) kinds.push_back(s.kind);
  using K = Statement::Kind;
  EXPECT_EQ(kinds, (std::vector<K>{K::kSetNocount, K::kNoOp, K::kNoOp, K::kDdl, K::kChange,
                                   K::kChange, K::kChange, K::kQuery, K::kDdl, K::kSetNocount}));
  EXPECT_TRUE(b->statements[0].nocount);
  EXPECT_FALSE(b->statements.back().nocount);
  EXPECT_EQ(b->statements[3].sql, "CREATE TEMP TABLE \"#x\" (\"a\" int NULL)");
  EXPECT_EQ(b->statements[8].sql, "DROP TABLE \"#x\"");
  EXPECT_EQ(b->statements[4].original, "insert into #x select id from t");
}

// UPDATEs of a whole work table in a row run as one pass when that cannot
// change a row: each case gives the number of UPDATE statements written and
// the rows the batch ends with, which are those of the statements one by one.
TEST_F(TranslateTest, UpdatesOfAWorkTableJoinOnlyWhenNothingDependsOnTheOrder) {
  const std::string create =
      "create table #w (a int, b int, c int, d int) insert into #w values (1, 2, 3, 4) ";
  struct {
    const char* name;
    std::string batch;
    size_t updates;
    const char* row;
  } cases[] = {
      {"independent columns",
       "set nocount on " + create +
           "update #w set b = a * 10 update #w set c = a + 1 update #w set d = 7",
       1, "1|10|2|7"},
      {"reads a column assigned before",
       "set nocount on " + create + "update #w set b = a * 10 update #w set c = b + 1", 2,
       "1|10|11|4"},
      {"assigns a column again",
       "set nocount on " + create + "update #w set b = 5 update #w set b = b + 1", 2, "1|6|3|4"},
      {"assigns what an earlier one read",
       "set nocount on " + create + "update #w set b = c update #w set c = 0", 1, "1|3|0|4"},
      {"a WHERE clause",
       "set nocount on " + create + "update #w set b = 0 update #w set c = 0 where a = 1", 2,
       "1|0|0|4"},
      {"a query inside",
       "set nocount on " + create + "update #w set b = 0 update #w set c = (select max(a) from #w)",
       2, "1|0|1|4"},
      {"without NOCOUNT", create + "update #w set b = 0 update #w set c = 0", 2, "1|0|0|4"},
      {"NOCOUNT turned off",
       "set nocount on set nocount off " + create + "update #w set b = 0 update #w set c = 0", 2,
       "1|0|0|4"},
      {"another statement between",
       "set nocount on " + create +
           "update #w set b = 0 delete from #w where a = 9 update #w set c = 0",
       2, "1|0|0|4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto b = Run(c.batch + " drop table #w");
    size_t updates = 0;
    for (const Statement& st : b->statements)
      if (st.sql.rfind("UPDATE", 0) == 0) ++updates;
    EXPECT_EQ(updates, c.updates);
    testing::RunResult r = db_.Run(c.batch + " select a, b, c, d from #w drop table #w");
    ASSERT_FALSE(r.error) << *r.error;
    ASSERT_FALSE(r.results.empty());
    const auto& row = r.results.back().rows.at(0);
    EXPECT_EQ(row[0] + "|" + row[1] + "|" + row[2] + "|" + row[3], c.row);
  }
}

// A grouped query ordered by some of its GROUP BY columns groups by those
// first, so that one sort serves both; otherwise the keys stay as written.
TEST_F(TranslateTest, GroupKeysFollowTheOrderByWhenThatCannotChangeTheRows) {
  struct {
    const char* sql;
    const char* first_key;  // the column the GROUP BY begins with
  } cases[] = {
      {"select id, code, sum(qty) q from t group by id, code order by code", "code"},
      {"select id, code, d, sum(qty) q from t group by id, d, code order by code, d asc", "code"},
      {"select id, code, sum(qty) q from t group by id, code order by code desc", "id"},
      {"select id, code, sum(qty) q from t group by id, code order by q", "id"},
      {"select id, max(code) code from t group by id, code order by code", "id"},
      {"select id, code, sum(qty) q from t group by id, code order by code, id + 1", "id"},
      {"select id, code from t group by id, code", "id"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    auto b = Run(c.sql);
    const std::string& sql = b->statements.at(0).sql;
    const size_t at = sql.find("GROUP BY ");
    ASSERT_NE(at, std::string::npos) << sql;
    std::string rest = sql.substr(at + 9);
    if (!rest.empty() && rest[0] == '"') rest.erase(0, 1);
    EXPECT_EQ(rest.substr(0, std::string(c.first_key).size()), c.first_key) << sql;
  }
  // The other keys follow the ORDER BY's, in the GROUP BY's order, so that
  // one sort serves both.
  auto b = Run("select id, code, d, sum(qty) q from t group by id, d, code order by code");
  const std::string& sql = b->statements.at(0).sql;
  EXPECT_NE(sql.find("ORDER BY code COLLATE \"TSQL_CI\", id, d"), std::string::npos) << sql;
}

TEST_F(TranslateTest, ResultNamesAndTypes) {
  struct {
    const char* sql;
    std::vector<std::string> names;
    std::vector<std::string> types;
  } cases[] = {
      // An expression without an alias has no name.
      {"Select GetDate()", {""}, {"datetime"}},
      // An unaliased column is named as written, not as declared.
      {"select CODE, t.QTY, [d] from t",
       {"CODE", "QTY", "d"},
       {"varchar(20)", "decimal(23,10)", "datetime"}},
      {"select id as [My Id], 'x' lbl, n = qty * 2 from t",
       {"My Id", "lbl", "n"},
       {"int", "varchar(1)", "decimal(25,10)"}},
      {"select code as c2, * from t",
       {"c2", "id", "code", "qty", "d"},
       {"varchar(20)", "int", "varchar(20)", "decimal(23,10)", "datetime"}},
      {"select sum(qty) s, count(*) c, max(d) m from t",
       {"s", "c", "m"},
       {"decimal(38,10)", "int", "datetime"}},
      {"select null as x, isnull(qty, 0) q from t", {"x", "q"}, {"int", "decimal(23,10)"}},
  };
  for (const auto& c : cases) {
    auto b = Run(c.sql);
    ASSERT_EQ(b->statements.size(), 1u) << c.sql;
    const Statement& s = b->statements[0];
    std::vector<std::string> names, types;
    for (size_t i = 0; i < s.result_names.size(); ++i) {
      names.push_back(s.result_names[i].value_or("?"));
      types.push_back(s.result_types[i].name);
    }
    EXPECT_EQ(names, c.names) << c.sql;
    EXPECT_EQ(types, c.types) << c.sql;
  }
  // A * over a table nobody knows leaves the columns to SQLite.
  auto b = Run("select * from nowhere");
  EXPECT_TRUE(b->statements[0].result_types.empty());
}

TEST_F(TranslateTest, Rewrites) {
  struct {
    const char* tsql;
    const char* sql;
  } cases[] = {
      {"SELECT TOP 1 id FROM t ORDER BY id", "SELECT id FROM t ORDER BY id LIMIT 1"},
      {"select isnull(code, 'x') from t", "SELECT ifnull(code, 'x') FROM t"},
      {"select id from t where d >= '2024/03/31'",
       "SELECT id FROM t WHERE julianday(d) >= julianday('2024-03-31 00:00:00')"},
      // decimal(23,10) / the constant 2, a decimal(1,0): decimal(25,12), exact.
      {"select qty/2 from t", "SELECT tsql_ddiv(qty, 2, 25121000) FROM t"},
      {"select id/2 from t", "SELECT tsql_idiv(id, 2) FROM t"},
      {"select code from t where code = 'ic'",
       "SELECT code FROM t WHERE code = 'ic' COLLATE \"TSQL_CI\""},
      {"select code + 'x' from t", "SELECT code || 'x' FROM t"},
      {"select N'中' from [t]", "SELECT '中' FROM \"t\""},
      {"select d + 1, d - 1 from t", "SELECT tsql_adddays(d, 1), tsql_adddays(d, -1) FROM t"},
      {"select getdate()-1", "SELECT tsql_adddays(tsql_getdate(), -1)"},
      // Unknown syntax passes through as written.
      {"select 1 from t where x === 1", "select 1 from t where x === 1"},
      {"EXEC GetPeriodStartEnd 2024, 3", "EXEC GetPeriodStartEnd 2024, 3"},
      {"select isnull(a,1) from #w where x === 1", "select ifnull(a,1) from \"#w\" where x === 1"},
  };
  for (const auto& c : cases) {
    auto b = Run(c.tsql);
    ASSERT_EQ(b->statements.size(), 1u) << c.tsql;
    EXPECT_EQ(b->statements[0].sql, c.sql) << c.tsql;
  }
}

TEST_F(TranslateTest, UnreadableDateLiteralRaises241) {
  try {
    Run("select id from t where d <= '2024-02-30'");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kDateConversionNumber);
    EXPECT_EQ(e.description(), kDateConversion);
  }
}

TEST_F(TranslateTest, CacheKeysByTextAndCatalog) {
  testing::PragmaCatalog catalog(db_.handle());
  auto a = TranslateCached("select id from t", catalog, "db1");
  auto b = TranslateCached("select id from t", catalog, "db1");
  auto c = TranslateCached("select id from t", catalog, "db2");
  auto d = TranslateCached("select id  from t", catalog, "db1");
  EXPECT_EQ(a.get(), b.get());
  EXPECT_NE(a.get(), c.get());
  EXPECT_NE(a.get(), d.get());
  // Many threads asking at once get equal translations.
  std::vector<std::thread> threads;
  std::vector<std::shared_ptr<const Batch>> got(8);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      for (int k = 0; k < 200; ++k) {
        got[i] =
            TranslateCached("select qty/" + std::to_string(k % 300) + " from t", catalog, "mt");
      }
    });
  }
  for (auto& t : threads) t.join();
  for (const auto& g : got) EXPECT_EQ(g->statements[0].sql, got[0]->statements[0].sql);
}

// Work tables are per connection: two connections to one file each have
// their own #t.
TEST(WorkTables, TwoConnectionsDoNotCollide) {
  std::string path =
      (std::filesystem::temp_directory_path() / "q8_tsql_two_connections.db").string();
  std::remove(path.c_str());
  {
    testing::Database a(path), b(path);
    auto ra = a.Run("create table #t ([k] [int] NULL) insert into #t select 1 select k from #t");
    auto rb = b.Run("create table #t ([k] [int] NULL) insert into #t select 2 select k from #t");
    ASSERT_FALSE(ra.error.has_value()) << *ra.error;
    ASSERT_FALSE(rb.error.has_value()) << *rb.error;
    EXPECT_EQ(ra.results[0].rows, (std::vector<std::vector<std::string>>{{"1"}}));
    EXPECT_EQ(rb.results[0].rows, (std::vector<std::vector<std::string>>{{"2"}}));
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace q8::tsql
