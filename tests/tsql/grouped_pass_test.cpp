// The work-table pattern of the reports (detail INSERT, UPDATE, grouped
// INSERT back into the table, DELETE of the details) runs as one grouped
// pass when that cannot change the rows. Each case gives whether the batch
// is written as one pass, and its rows must be those of the same batch run
// statement by statement (a SET NOCOUNT ON after the detail INSERT keeps the
// statements apart without changing what they do).
#include <gtest/gtest.h>

#include <string>

#include "tests/tsql/harness.h"

namespace q8::tsql {
namespace {

class GroupedPass : public ::testing::Test {
 protected:
  GroupedPass() {
    db_.Exec(
        "CREATE TABLE src (id int, cust int, name nvarchar(20) COLLATE NOCASE, "
        "qty decimal(23,10), price decimal(23,10), d datetime)");
    db_.Exec(
        "INSERT INTO src VALUES "
        "(1, 7, 'Abc', 10, 1.5, '2024-01-02 00:00:00'),"
        "(2, 7, 'abc ', 5, 2.25, '2024-01-03 00:00:00'),"
        "(3, 8, 'Def', 1, NULL, '2024-02-01 00:00:00'),"
        "(4, 8, 'def', NULL, 3, NULL),"
        "(5, 9, NULL, 7, 0.1, '2024-03-01 00:00:00'),"
        "(6, 9, '小计', 2, 0.3333333333, '2024-03-01 00:00:00')");
  }

  static std::string Create(const std::string& extra = "") {
    return "create table #t ([c] [int] NULL, [n] [nvarchar](20) NULL, [q] [decimal](23, 10) NULL, "
           "[p] [decimal](38, 10) NULL, [m] [decimal](38, 10) NULL, [d] [datetime] NULL, "
           "[k] [int] NULL" +
           extra + ") ON [PRIMARY] ";
  }

  // The number of statements written for `batch` that begin with WITH.
  size_t Fused(const std::string& batch) {
    auto b = Translate(batch, testing::PragmaCatalog(db_.handle()));
    size_t n = 0;
    for (const Statement& st : b->statements)
      if (st.sql.rfind("WITH \"~q8 fill\"", 0) == 0) ++n;
    return n;
  }

  // The rows of every result, or the error; the work tables are gone after.
  std::string Rows(const std::string& batch) {
    testing::RunResult r = db_.Run(batch);
    db_.Exec("DROP TABLE IF EXISTS temp.\"#t\"");
    db_.Exec("DROP TABLE IF EXISTS temp.\"#o\"");
    if (r.error) return "error: " + *r.error;
    std::string out;
    for (const auto& rs : r.results)
      for (const auto& row : rs.rows) {
        for (const std::string& v : row) out += v + "|";
        out += "\n";
      }
    return out;
  }

  testing::Database db_;
};

TEST_F(GroupedPass, RunsAsOnePassOnlyWhenTheRowsCannotChange) {
  const std::string detail =
      "insert into #t ([c],[n],[q],[p],[d],[k]) "
      "select cust, name, qty/3, price * 2, d, 50 from src where id > 0 ";
  const std::string update = "update #t set [m] = isnull([q],0) * isnull([p],0) ";
  const std::string grouped =
      "insert into #t ([c],[n],[q],[p],[m],[d],[k]) "
      "select c, n, sum(isnull(q,0)), max(p), sum(m), min(d), 0 from #t where k=50 "
      "group by c, n ";
  const std::string remove = "delete from #t where k=50 ";
  const std::string result = "select c, n, q, p, m, d, k from #t order by c, n drop table #t";
  struct {
    const char* name;
    std::string batch;  // with "@" where the statements are kept apart
    size_t fused;
  } cases[] = {
      {"the pattern", "set nocount on " + Create() + detail + "@" + update + grouped + remove, 1},
      {"several UPDATEs joined",
       "set nocount on " + Create() + detail + "@" + update +
           "update #t set [p] = isnull([p], 0) + 1 " + grouped + remove,
       1},
      {"no UPDATE", "set nocount on " + Create() + detail + "@" + grouped + remove, 1},
      {"work tables dropped between",
       "set nocount on create table #o (a int) " + Create() + detail + "@" + update +
           "drop table #o " + grouped + remove,
       1},
      {"the DELETE removes other rows",
       "set nocount on " + Create() + detail + "@" + update + grouped + "delete from #t where k=0 ",
       0},
      {"no DELETE", "set nocount on " + Create() + detail + "@" + update + grouped, 0},
      {"details written with another key",
       "set nocount on " + Create() +
           "insert into #t ([c],[n],[q],[k]) select cust, name, qty, 51 from src @" + grouped +
           remove,
       0},
      {"the UPDATE changes the key",
       "set nocount on " + Create() + detail + "@" + "update #t set [k] = 50 " + grouped + remove,
       0},
      {"an UPDATE with a WHERE",
       "set nocount on " + Create() + detail + "@" + "update #t set [m] = 1 where c = 7 " +
           grouped + remove,
       0},
      {"the UPDATE reads a column the details leave NULL",
       "set nocount on " + Create() + detail + "@" + "update #t set [m] = isnull([m], 3) " +
           grouped + remove,
       0},
      {"the table had rows before",
       "set nocount on " + Create() + "insert into #t ([c],[k]) values (1, 50) " + detail + "@" +
           update + grouped + remove,
       0},
      {"a column with a default",
       "set nocount on " + Create(", [z] [int] NOT NULL DEFAULT 1") + detail + "@" + update +
           grouped + remove,
       0},
      {"without NOCOUNT", Create() + detail + "@" + update + grouped + remove, 0},
      {"the grouped query joins another table",
       "set nocount on " + Create() + detail + "@" + update +
           "insert into #t ([c],[m],[k]) select t.c, sum(t.m), 0 from #t t "
           "join src s on s.id = t.c where t.k=50 group by t.c " +
           remove,
       0},
      {"a query reads the table between",
       "set nocount on " + Create() + detail + "@" + update + "select count(*) from #t " + grouped +
           remove,
       0},
      {"detail columns nothing reads (a looked-up name, a failing division)",
       "set nocount on " + Create() +
           "insert into #t ([c],[n],[q],[k]) select s.cust, o.name, s.qty / (s.id - 3), 50 "
           "from src s left join src o on o.id = s.cust @" +
           "insert into #t ([c],[m],[k]) select c, sum(isnull(q, 0)), 0 from #t where k=50 "
           "group by c " +
           remove,
       1},
      {"a division by zero in the details",
       "set nocount on " + Create() +
           "insert into #t ([c],[q],[k]) select cust, qty / (id - 3), 50 from src @" + grouped +
           remove,
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string together = c.batch, apart = c.batch;
    together.replace(together.find('@'), 1, " ");
    apart.replace(apart.find('@'), 1, " set nocount on ");
    EXPECT_EQ(Fused(together + result), c.fused);
    EXPECT_EQ(Fused(apart + result), 0u);
    const std::string rows = Rows(together + result);
    EXPECT_EQ(rows, Rows(apart + result));
    // The rows are checked once by hand for the plain pattern.
    if (std::string(c.name) == "the pattern") {
      // decimal(23,10) * decimal(38,10) keeps 6 decimals: 9.9999999999 is
      // 10.000000, 7.50000000015 is 7.500000.
      EXPECT_EQ(rows,
                "7|Abc|5|4.5|17.5|2024-01-02 00:00:00|0|\n"
                "8|Def|0.3333333333|6|0|2024-02-01 00:00:00|0|\n"
                "9|NULL|2.3333333333|0.2|0.466667|2024-03-01 00:00:00|0|\n"
                "9|小计|0.6666666667|0.6666666666|0.444444|2024-03-01 00:00:00|0|\n");
    }
  }
}

}  // namespace
}  // namespace q8::tsql
