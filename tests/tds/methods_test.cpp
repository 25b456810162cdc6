// Every public method of Data and Rpt through FreeTDS gives what the same
// call gives on the embedded engine over the same database: the same rows,
// column names, types, precision and scale, values (Chinese text, exact
// decimals, dates), dictionaries and out-parameters, for the descriptor of an
// ERP host (OLE DB string), an ODBC string and a data source of odbc.ini.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"
#include "q8vantorpt/rpt.h"
#include "tests/tds/support.h"

namespace q8::tds::testing {
namespace {

struct Call {
  std::string name;  // the method and what the case is about
  std::function<std::string(const std::string& dsn)> run;
  bool fails = false;  // the call raises (on either engine)
};

std::string Text(const std::string& s) { return Dump(Variant(s)); }

// A record set and the sort hints a report wrote.
std::string ReportText(const std::string& dsn, const ReportCase& c) {
  DictionaryPtr sort_fields;
  ado::RecordsetPtr rs = RunReport(dsn, c, sort_fields);
  return Dump(rs) + "sort hints " + Dump(sort_fields);
}

std::vector<Call> DataCalls() {
  std::vector<Call> calls;
  // The server's clock and the engine's are this machine's: the same within
  // the run of the test.
  calls.push_back({"GetServerDate", [](const std::string& dsn) {
                     const double d = Data().GetServerDate(dsn);
                     return std::string(std::fabs(d - date::Now()) * 86400 < 120
                                            ? "the clock"
                                            : "not the clock: " + date::ToIso(d));
                   }});
  const struct {
    const char* why;
    const char* sql;
  } kQueries[] = {
      {"materials: Chinese names, decimals, ints",
       "select top 25 FItemID, FNumber, FName, FModel, FSalePrice, FDeleted from t_ICItem "
       "order by FNumber"},
      {"bills: dates, bits, smallints, nvarchar",
       "select top 30 FInterID, FBillNo, FDate, FTranType, FStatus, FCancellation from "
       "ICStockBill order by FInterID"},
      {"literals: datetime, negative decimal, empty text, NULLs",
       "select convert(datetime, '2024-02-29 13:45:10') as FDate, cast(-12.345 as "
       "decimal(10,3)) as FNeg, cast(123456789012.5 as decimal(28,8)) as FBig, '' as FEmpty, "
       "N'寄售仓' as FText, cast(null as int) as FNullInt, cast(null as varchar(10)) as FNullText"},
      {"grouping and sums",
       "select FTranType, count(*) as FCount, min(FDate) as FFirst from "
       "ICStockBill group by FTranType order by FTranType"},
      {"no rows", "select FNumber, FName from t_ICItem where 1 = 0"},
  };
  for (const auto& q : kQueries) {
    std::string sql = q.sql;
    calls.push_back({std::string("GetData ") + q.why,
                     [sql](const std::string& dsn) { return Dump(Data().GetData(dsn, sql)); }});
  }
  const struct {
    int32_t year, period;
  } kPeriods[] = {{2024, 12}, {2024, 2}, {2020, 1}, {2024, 13}};
  for (const auto& p : kPeriods) {
    calls.push_back(
        {"GetPeriodStartEndDate " + std::to_string(p.year) + "/" + std::to_string(p.period),
         [p](const std::string& dsn) {
           double begin = 0;
           Variant end;
           Variant r = Data().GetPeriodStartEndDate(dsn, p.year, p.period, begin, end);
           return Dump(r) + " " + date::ToIso(begin) + " " + Dump(end);
         },
         p.period > 12});
  }
  calls.push_back(
      {"GetStartDate", [](const std::string& dsn) { return Text(Data().GetStartDate(dsn, 3)); }});
  calls.push_back({"GetCurrenPeriodDate", [](const std::string& dsn) {
                     std::string d = dsn;
                     return Dump(Data().GetCurrenPeriodDate(d));
                   }});
  const struct {
    const char* why;
    const char* sql;
  } kBatches[] = {
      {"work table under NOCOUNT, body and header",
       "Set Nocount on\r\n"
       "select FNumber, FName, FSalePrice into #t from t_ICItem where FNumber like '01.0%'\r\n"
       "update #t set FName = FName + '（停用）' where FSalePrice > 150\r\n"
       "select FNumber, FName, FSalePrice from #t order by FNumber\r\n"
       "select count(*) as FCount, sum(FSalePrice) as FTotal from #t\r\n"
       "drop table #t"},
      {"a count before the body, no header",
       "create table #u (FID int, FName nvarchar(20))\r\n"
       "insert into #u values (1, N'华北')\r\n"
       "insert into #u values (2, N'华南')\r\n"
       "select FID, FName from #u order by FID\r\n"
       "drop table #u"},
  };
  for (const auto& b : kBatches) {
    std::string sql = b.sql;
    calls.push_back({std::string("GetRptRsBySQL ") + b.why, [sql](const std::string& dsn) {
                       auto p = std::make_shared<Dictionary>();
                       p->SetValue("sDsN", Variant(dsn));
                       p->SetValue("StrSql", Variant(sql));
                       ado::RecordsetPtr body, header;
                       Variant r = Data().GetRptRsBySQL(p, body, header);
                       return Dump(r) + "\nbody\n" + Dump(body) + "header\n" + Dump(header);
                     }});
  }
  const struct {
    const char* why;
    std::vector<std::string> filter;
    bool long_number;
  } kStocks[] = {
      {"long numbers",
       {"BStockNumber=09.001", "EStockNumber=09.003", "BSPNumber=01.A01", "ESPNumber=01.A03"},
       true},
      {"short numbers, one unknown", {"BStockNumber=001", "EStockNumber=999"}, false},
      {"empty filter", {}, false},
  };
  for (const auto& s : kStocks) {
    calls.push_back({std::string("GetStockInfo ") + s.why, [s](const std::string& dsn) {
                       return Dump(Data().GetStockInfo(dsn, Filter(s.filter), s.long_number));
                     }});
  }
  for (const ReportCase& c : ReportCases()) {
    calls.push_back({"GetRpt" + std::to_string(c.report) + "Data " + c.name,
                     [&c](const std::string& dsn) { return ReportText(dsn, c); }, c.fails});
  }
  calls.push_back({"GetPropertyExt", [](const std::string& dsn) {
                     Data d;
                     return Text(d.GetPropertyExt(dsn, "UserID")) + " " +
                            Text(d.GetPropertyExt(dsn, "Language")) + " " +
                            Text(d.GetPropertyExt(dsn, "Nothing"));
                   }});
  calls.push_back({"GetDataRightStrSql", [](const std::string& dsn) {
                     std::string from = "from as passed", where = "where as passed";
                     const bool r = Data().GetDataRightStrSql(dsn, from, where);
                     return std::string(r ? "true " : "false ") + Text(from) + " " + Text(where);
                   }});
  return calls;
}

std::vector<Call> RptCalls() {
  std::vector<Call> calls;
  for (int32_t group : {0, 20086, 99999}) {
    calls.push_back(
        {"GetReportList group " + std::to_string(group),
         [group](const std::string& dsn) { return Dump(Rpt().GetReportList(dsn, group)); }});
    calls.push_back(
        {"GetReportGroupName group " + std::to_string(group),
         [group](const std::string& dsn) { return Text(Rpt().GetReportGroupName(dsn, group)); }});
  }
  calls.push_back(
      {"GetPreAccount", [](const std::string& dsn) { return Dump(Rpt().GetPreAccount(dsn)); }});
  calls.push_back(
      {"GetCurAccount", [](const std::string& dsn) { return Dump(Rpt().GetCurAccount(dsn)); }});
  calls.push_back({"GetCurrentPeriodEndDate", [](const std::string& dsn) {
                     return Text(Rpt().GetCurrentPeriodEndDate(dsn));
                   }});
  return calls;
}

const std::vector<Call>& AllCalls() {
  static const std::vector<Call> kCalls = [] {
    std::vector<Call> calls = DataCalls();
    for (Call& c : RptCalls()) calls.push_back(std::move(c));
    return calls;
  }();
  return kCalls;
}

class OverFreeTds : public ::testing::TestWithParam<size_t> {
 protected:
  void SetUp() override { Q8_REQUIRE_FREETDS(); }
};

// The same call, embedded and through FreeTDS: a failure on one side is a
// failure on the other with the same number (the descriptions name each
// engine's own words).
void ExpectSame(const Call& c, const DescriptorOptions& o = {}) {
  const Outcome expected = Capture([&] { return c.run(Descriptor(Way::kEmbedded, o)); });
  ASSERT_EQ(expected.failed, c.fails) << "embedded: " << expected.description;
  for (Way way : kServerWays) {
    SCOPED_TRACE(std::string(WayName(way)) + ": " + c.name);
    const Outcome got = Capture([&] { return c.run(Descriptor(way, o)); });
    if (expected.failed) {
      EXPECT_TRUE(got.failed) << got.text;
      EXPECT_EQ(got.number, expected.number) << got.description;
    } else {
      ASSERT_FALSE(got.failed) << got.number << " " << got.source << ": " << got.description;
      EXPECT_EQ(got.text, expected.text);
    }
  }
}

TEST_P(OverFreeTds, SameResultAsTheEmbeddedEngine) { ExpectSame(AllCalls()[GetParam()]); }

std::string CaseName(const ::testing::TestParamInfo<size_t>& info) {
  std::string name;
  for (char c : AllCalls()[info.param].name)
    name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return std::to_string(info.param) + "_" + name;
}

INSTANTIATE_TEST_SUITE_P(EveryMethod, OverFreeTds, ::testing::Range<size_t>(0, AllCalls().size()),
                         CaseName);

// A rights object that restricts the reports' materials: the restriction
// travels inside the batch and the server applies it as the engine does.
class MaterialsOnly : public DataAccess {
 public:
  bool IsUsed(std::string&, int32_t&) override { return true; }
  DictionaryPtr GetRowAccessInfo(std::string&, int32_t&, ItemListPtr&) override {
    return std::make_shared<Dictionary>();
  }
  DictionaryPtr GetAccessDataSQL(ItemListPtr&, DictionaryPtr&) override {
    auto d = std::make_shared<Dictionary>();
    d->SetValue("From", Variant(""));
    d->SetValue("Where",
                Variant("t1.FItemID IN (SELECT FItemID FROM t_ICItem WHERE FNumber LIKE '01.0%')"));
    return d;
  }
  DictionaryPtr GetAccessDataSQL2(ItemListPtr& m, DictionaryPtr& r) override {
    return GetAccessDataSQL(m, r);
  }
};

TEST(OverFreeTdsWithRights, ReportsAndRightTextsAsOnTheEmbeddedEngine) {
  Q8_REQUIRE_FREETDS();
  Registry::Instance().Register(progid::kDataAccess,
                                [] { return std::make_shared<MaterialsOnly>(); });
  std::vector<Call> calls;
  calls.push_back({"GetDataRightStrSql with rights", [](const std::string& dsn) {
                     std::string from, where;
                     Data().GetDataRightStrSql(dsn, from, where);
                     return Text(from) + " " + Text(where);
                   }});
  for (const ReportCase& c : ReportCases()) {
    if (std::string(c.name).find("quotes") != std::string::npos) continue;
    calls.push_back({std::string(c.name) + " with rights",
                     [&c](const std::string& dsn) { return ReportText(dsn, c); }, c.fails});
  }
  for (const Call& c : calls) ExpectSame(c);
  Registry::Instance().Unregister(progid::kDataAccess);
}

TEST(OverFreeTdsLateBound, CallsByNameAndDispidAsOnTheEmbeddedEngine) {
  Q8_REQUIRE_FREETDS();
  // A host that binds late passes Variants; in/out arguments come back in
  // them.
  const std::vector<Call> calls = {
      {"Data GetData by DISPID",
       [](const std::string& dsn) {
         std::vector<Variant> args = {Variant(dsn),
                                      Variant("select top 5 FNumber, FName from t_ICItem order by "
                                              "FNumber")};
         return Dump(Data().Invoke(0x60030004, args));
       }},
      {"Data GetPeriodStartEndDate by name",
       [](const std::string& dsn) {
         std::vector<Variant> args = {Variant(dsn), Variant(int32_t{2024}), Variant(int32_t{3}),
                                      Variant::Date(0), Variant()};
         Variant r = Data().Invoke("getperiodstartenddate", args);
         return Dump(r) + " " + Dump(args[3]) + " " + Dump(args[4]);
       }},
      {"Rpt GetCurAccount by name",
       [](const std::string& dsn) {
         std::vector<Variant> args = {Variant(dsn)};
         return Dump(Rpt().Invoke("GetCurAccount", args));
       }},
      {"Rpt GetReportList by DISPID without its optional group",
       [](const std::string& dsn) {
         std::vector<Variant> args = {Variant(dsn)};
         return Dump(Rpt().Invoke(0x60030002, args));
       }},
  };
  for (const Call& c : calls) ExpectSame(c);
}

TEST(OverFreeTdsLanguages, LocalizedLabelsAndErrorsAsOnTheEmbeddedEngine) {
  Q8_REQUIRE_FREETDS();
  // The subtotal and total labels and the period error come in the
  // descriptor's language, whichever way the rows travel.
  for (const char* language : {"CHT", "EN"}) {
    DescriptorOptions o;
    o.language = language;
    ExpectSame({std::string("2008610 in ") + language,
                [](const std::string& dsn) { return ReportText(dsn, ReportCases()[10]); }},
               o);
    ExpectSame({std::string("missing period in ") + language,
                [](const std::string& dsn) {
                  double begin = 0;
                  Variant end;
                  try {
                    Data().GetPeriodStartEndDate(dsn, 1999, 1, begin, end);
                  } catch (const Error& e) {
                    return e.source() + ": " + e.description();
                  }
                  return std::string("no error");
                }},
               o);
  }
}

}  // namespace
}  // namespace q8::tds::testing
