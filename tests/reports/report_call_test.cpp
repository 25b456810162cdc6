// The request frame and preparation of the report methods: order of the
// frame's steps, the data-access-right texts, the localized labels and
// error sources, the sort hints, and the batch built for the tool.

#include <gtest/gtest.h>

#include "component/report_calls.h"
#include "core/default_objects.h"
#include "q8vantorpt/outside.h"
#include "reports/report_frame.h"
#include "reports/report_table.h"
#include "tests/reports/engine_fixture.h"

namespace q8::testing {
namespace {

const int kReports[] = {2008608, 2008610, 2008609};

DictionaryPtr PeriodFilter() {
  auto d = std::make_shared<Dictionary>();
  d->SetValue("BDate", "2024-01-01");
  d->SetValue("EDate", "2024-01-31");
  return d;
}

class ReportCall : public ReportDb {
 protected:
  std::shared_ptr<defaults::DefaultObjectContext> Context() {
    auto context = defaults::CurrentDefaultContext();
    if (context) context->ClearCalls();
    return context;
  }
};

TEST_F(ReportCall, SortFieldsCreatedWhenTheHostPassesNone) {
  for (int report : kReports) {
    DictionaryPtr sort;
    auto rs = Run(report, PeriodFilter(), &sort);
    ASSERT_TRUE(rs) << report;
    ASSERT_TRUE(sort) << report;
    const auto hints = reports::SortHintsFor(report);
    ASSERT_EQ(sort->Count(), 3u) << report;
    EXPECT_EQ(sort->GetValue("SumOnly"), Variant(true));
    EXPECT_EQ(sort->GetValue("OrderByOnlyGroup"), Variant(hints.order_by_only_group));
    EXPECT_EQ(sort->GetValue("DefaultOrderBy"), Variant(hints.default_order_by));
    // The record set stays attached to the call's connection.
    ASSERT_TRUE(rs->ActiveConnection()) << report;
    EXPECT_EQ(rs->ActiveConnection()->State(), ado::kStateOpen);
  }
}

// The columns the table of reports describes (and the tool shows with
// captions) are the columns each result has, in order and of the same type,
// with and without rows, at every summary level.
TEST_F(ReportCall, ResultColumnsAreTheDescribedOnes) {
  auto described = [](int report) {
    std::vector<std::string> out;
    for (const reports::ReportColumn& c : reports::ReportOf(report).columns)
      out.push_back(std::string(c.name) + ":" + std::string(reports::ColumnTypeName(c.kind)));
    return out;
  };
  auto actual = [](const ado::Recordset& rs) {
    std::vector<std::string> out;
    for (const ado::ColumnInfo& c : rs.Rows()->columns())
      out.push_back(c.name + ":" + ado::FieldTypeName(c.type));
    return out;
  };
  for (bool with_rows : {false, true}) {
    if (with_rows) {
      Exec(StockBill(1, "2024-01-05 00:00:00", 41, 37511, 104, "NULL", "201", 1, 1, "101", 2, "301",
                     "NULL", "10", "1") +
           Invoice(2, "2024-01-08 00:00:00", 80, 104, "201", 1, "101", "3") +
           "INSERT INTO ICInventory (FBrNo, FItemID, FBatchNo, FMTONo, FSupplyID, FStockID, FQty, "
           "FBal, FStockPlaceID, FKFPeriod, FKFDate, FQtyLock, FAuxPropID, FSecQty) VALUES "
           "('0', 101, 'L1', '', 0, 301, 20, 0, NULL, 30, '2024-01-01', 0, 0, 2);");
    }
    for (int report : kReports) {
      for (int sum_type : {0, 1, 2}) {
        if (report != 2008609 && sum_type > 0) continue;
        auto filter = PeriodFilter();
        filter->SetValue("SumType", sum_type);
        auto rs = Run(report, filter);
        ASSERT_TRUE(rs && rs->Rows()) << report;
        EXPECT_EQ(actual(*rs), described(report))
            << report << " SumType " << sum_type << (with_rows ? " with rows" : " without rows");
        if (with_rows) {
          EXPECT_GT(rs->Rows()->row_count(), 1u) << report;
        }
      }
    }
  }
}

TEST_F(ReportCall, ConnectionIsTakenBeforeSetComplete) {
  auto context = Context();
  ASSERT_TRUE(context);
  const std::string missing = "ConnectString={Provider=SQLite;Data Source=" + path_ +
                              ".missing};DBMS Name=SQLite;DBMS Version=3;Language=CHS;UserID=0;";
  DictionaryPtr sort;
  for (int report : kReports) {
    context->ClearCalls();
    try {
      RunReport(data_, report, missing, PeriodFilter(), sort);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), -8000);
    }
    EXPECT_TRUE(context->calls().empty()) << report;
  }
  EXPECT_FALSE(sort) << "no hints when the frame fails";
}

// 2008608 asks for the rights before it reads "bLongNumber"; the other two
// read it first. A value that is no Boolean shows which came first.
TEST_F(ReportCall, PreparationOrder) {
  const std::pair<int, std::vector<std::string>> cases[] = {
      {2008608, {"SetComplete", "SetComplete", "CreateInstance:Tabrix.DataAccess"}},
      {2008610, {"SetComplete"}},
      {2008609, {"SetComplete"}},
  };
  for (const auto& [report, calls] : cases) {
    auto filter = PeriodFilter();
    filter->SetValue("bLongNumber", "maybe");
    auto context = Context();
    ASSERT_TRUE(context);
    const Error e = RunFails(report, filter);
    EXPECT_EQ(e.number(), -8000);
    EXPECT_EQ(e.description(), StandardDescription(err::kTypeMismatch));
    EXPECT_EQ(context->calls(), calls) << report;
  }
}

TEST_F(ReportCall, LabelsAndErrorSourceInTheCallersLanguage) {
  DictionaryPtr sort;
  auto rs = RunReport(data_, 2008610, Dsn("EN"), PeriodFilter(), sort);
  ASSERT_TRUE(rs);
  EXPECT_EQ(Rows(*rs, {"FCustNumber", "FSumSort"}), (std::vector<std::string>{"Total|100"}));

  auto bad = PeriodFilter();
  bad->SetValue("BDate", "not a date");
  try {
    RunReport(data_, 2008610, Dsn("EN"), bad, sort);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), -8000);
    EXPECT_EQ(e.source(), "Auto-parts report middle layer Q8VANTORpt.Data:::GetRpt2008610Data");
  }
}

TEST_F(ReportCall, BatchForTheToolIsTheBatchThatRuns) {
  auto filter = PeriodFilter();
  filter->SetValue("SumType", int32_t{1});
  filter->SetValue("bLongNumber", true);
  filter->SetValue("BItemNumber", "M001");
  for (int report : kReports) {
    const std::string text = BuildReportBatch(data_, report, Dsn("EN"), filter);
    const reports::ReportInput in{*filter, true, "", "", "Subtotal", "Total"};
    EXPECT_EQ(text, reports::BuildBatch(report, in)) << report;
  }
}

TEST_F(ReportCall, NoFilterDictionary) {
  for (int report : kReports) {
    const Error e = RunFails(report, nullptr);
    EXPECT_EQ(e.number(), -8000) << report;
    EXPECT_EQ(e.description(), StandardDescription(err::kObjectNotSet)) << report;
  }
}

TEST_F(ReportCall, UnknownReportNumber) {
  DictionaryPtr sort;
  for (int report : {0, 2008607, 2008611}) {
    EXPECT_FALSE(IsReportNumber(report));
    try {
      RunReport(data_, report, Dsn(), PeriodFilter(), sort);
      ADD_FAILURE() << report;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    }
    try {
      BuildReportBatch(data_, report, Dsn(), PeriodFilter());
      ADD_FAILURE() << report;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    }
  }
}

// A rights object that limits the user to customer C002 through both texts.
class CustomerRights : public DataAccess {
 public:
  bool IsUsed(std::string&, int32_t&) override { return true; }
  DictionaryPtr GetRowAccessInfo(std::string&, int32_t&, ItemListPtr&) override {
    return std::make_shared<Dictionary>();
  }
  DictionaryPtr GetAccessDataSQL(ItemListPtr&, DictionaryPtr&) override {
    auto answer = std::make_shared<Dictionary>();
    answer->SetValue("From", " inner join t_Item rc on rc.FItemID=t11.FItemID");
    answer->SetValue("Where", "rc.FNumber='C002'");
    return answer;
  }
  DictionaryPtr GetAccessDataSQL2(ItemListPtr& maps, DictionaryPtr& rights) override {
    return GetAccessDataSQL(maps, rights);
  }
};

TEST_F(ReportCall, RightsTextsLimitTheRows) {
  Exec(R"SQL(
    INSERT INTO ICInventory (FItemID, FStockID, FQty) VALUES (101, 301, 10), (101, 302, 20);
    INSERT INTO ICStockBill (FInterID, FBillNo, FDate, FTranType, FBisType, FCustID, FROB, FStatus,
                             FCancellation) VALUES
      (1, 'S1', '2024-01-10 00:00:00', 41, 37511, 201, 1, 1, 0),
      (2, 'S2', '2024-01-10 00:00:00', 41, 37511, 202, 1, 1, 0);
    INSERT INTO ICStockBillEntry (FInterID, FEntryID, FDetailID, FItemID, FUnitID, FDCStockID,
                                  FQty, FAuxQty) VALUES
      (1, 1, 1, 101, 1, 301, 4, 4), (2, 1, 2, 101, 1, 302, 6, 6);
  )SQL");
  Registry::Instance().Register(progid::kDataAccess,
                                [] { return std::make_shared<CustomerRights>(); });
  struct Case {
    int report;
    std::vector<std::string> want;  // customer code|base-unit quantity
  };
  const Case cases[] = {
      {2008608, {"C002|20", "合计|20"}},
      {2008610, {"C002|6", "小计|6", "合计|6"}},
      {2008609, {"C002|6", "小计|6", "合计|6"}},
  };
  for (const Case& c : cases) {
    auto rs = Run(c.report, PeriodFilter());
    if (!rs) continue;
    EXPECT_EQ(Rows(*rs, {"FCustNumber", c.report == 2008608 ? "FBUQty" : "FBaseSendQty"}), c.want)
        << c.report;
  }
  Registry::Instance().Unregister(progid::kDataAccess);
}

}  // namespace
}  // namespace q8::testing
