// The public classes: OpenDsn and its member states, the handler styles, the
// late-bound surface and creation by ProgID.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "component/frame.h"
#include "component/handlers.h"
#include "component/local_text.h"
#include "component/methods.h"
#include "connection/cdatasource.h"
#include "connection/cparse.h"
#include "core/default_objects.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"
#include "tests/support/support.h"

namespace q8 {
namespace {

using testing::ErrorOf;

const std::string kDsnChs =
    "ConnectString={Provider=SQLite;Data Source=:memory:};DBMS Name=SQLite;"
    "DBMS Version=3;Language=CHS;UserID=1";
const std::string kDsnEn =
    "ConnectString={Provider=SQLite;Data Source=:memory:};DBMS Name=SQLite;"
    "DBMS Version=3;Language=EN;UserID=1";

// Data and Rpt share the open procedure; both are checked the same way.
template <class T>
class OpenDsnTest : public ::testing::Test {};
using PublicClasses = ::testing::Types<Data, Rpt>;
TYPED_TEST_SUITE(OpenDsnTest, PublicClasses);

TYPED_TEST(OpenDsnTest, StartsEmptyAndOpens) {
  TypeParam object;
  EXPECT_EQ(FrameOf(object).parser(), nullptr);
  EXPECT_EQ(FrameOf(object).data_source(), nullptr);
  EXPECT_EQ(FrameOf(object).language(), "");
  FrameOf(object).OpenDsn(kDsnChs);
  ASSERT_NE(FrameOf(object).parser(), nullptr);
  ASSERT_NE(FrameOf(object).data_source(), nullptr);
  EXPECT_EQ(FrameOf(object).data_source()->ParseObject(), FrameOf(object).parser());
  EXPECT_EQ(FrameOf(object).language(), "CHS");
  FrameOf(object).OpenDsn(kDsnEn);  // each open replaces everything
  EXPECT_EQ(FrameOf(object).language(), "EN");
  EXPECT_EQ(FrameOf(object).parser()->PropsString(), kDsnEn);
}

TYPED_TEST(OpenDsnTest, FailureAtStep2KeepsThePreviousDataSource) {
  TypeParam object;
  FrameOf(object).OpenDsn(kDsnChs);
  auto old_parser = FrameOf(object).parser();
  auto old_source = FrameOf(object).data_source();
  const std::string repeated = "Language=EN;language=CHT";
  EXPECT_EQ(ErrorOf([&] { FrameOf(object).OpenDsn(repeated); }).number(), err::kKeyAlreadyPresent);
  EXPECT_NE(FrameOf(object).parser(), old_parser);  // the new parser, holding the entries read
  EXPECT_EQ(FrameOf(object).parser()->PropsString(), repeated);
  EXPECT_EQ(FrameOf(object).data_source(), old_source);
  EXPECT_EQ(FrameOf(object).data_source()->ParseObject(), old_parser);
  EXPECT_EQ(FrameOf(object).language(), "CHS");
}

TYPED_TEST(OpenDsnTest, FailureAtStep4KeepsThePreviousLanguage) {
  TypeParam object;
  FrameOf(object).OpenDsn(kDsnEn);
  auto old_source = FrameOf(object).data_source();
  EXPECT_EQ(ErrorOf([&] { FrameOf(object).OpenDsn("ConnectString={x};UserID=1"); }).number(),
            err::kInvalidProcedureCall);
  EXPECT_NE(FrameOf(object).data_source(), old_source);  // the new data source
  EXPECT_EQ(FrameOf(object).data_source()->ParseObject(), FrameOf(object).parser());
  EXPECT_EQ(FrameOf(object).parser()->ConStr(), "x");
  EXPECT_EQ(FrameOf(object).language(), "EN");
}

TYPED_TEST(OpenDsnTest, ReplacingTheParserEndsTheLoader) {
  TypeParam object;
  FrameOf(object).OpenDsn(kDsnEn);
  LoadLocalText("小计", FrameOf(object).language());
  ASSERT_NE(apartment::Loader(), nullptr);
  FrameOf(object).OpenDsn(kDsnChs);
  EXPECT_EQ(apartment::Loader(), nullptr);
  LoadLocalText("小计", FrameOf(object).language());
  ASSERT_NE(apartment::Loader(), nullptr);
  {
    TypeParam other;  // an object that never opened releases nothing
  }
  EXPECT_NE(apartment::Loader(), nullptr);
}

// ---------------------------------------------------------------- handlers

// Runs `style` inside a catch block for `thrown`, returning what it raised.
template <class Thrown, class Style>
Error Handle(const Thrown& thrown, Style style) {
  try {
    try {
      throw thrown;
    } catch (...) {
      style();
    }
  } catch (const Error& e) {
    return e;
  }
  return Error(0, "no error", "");
}

TEST(Handlers, Styles) {
  apartment::EndLoader();
  const Error caught(-2147217865, "Microsoft OLE DB Provider for SQL Server",
                     "Invalid object name 't_x'.", "help.chm", 77);
  struct Case {
    const char* style;
    std::function<void()> run;
    Error want;
  } cases[] = {
      {"Localized", [] { handler::Localized("EN", "GetData"); },
       Error(-8000, "Auto-parts report middle layer Q8VANTORpt.Data:GetData",
             "Invalid object name 't_x'.")},
      {"Localized in the source language", [] { handler::Localized("CHS", "::GetRpt2008608Data"); },
       Error(-8000, "汽配行业报表中间层Q8VANTORpt.Data:::GetRpt2008608Data",
             "Invalid object name 't_x'.")},
      {"Localized before any open (empty language)", [] { handler::Localized("", "GetData"); },
       Error(-8000, "汽配行业报表中间层Q8VANTORpt.Data:GetData", "Invalid object name 't_x'.")},
      {"Appended", [] { handler::Appended("GetPeriodStartEndDate"); },
       Error(-8000, "Microsoft OLE DB Provider for SQL ServerGetPeriodStartEndDate",
             "Invalid object name 't_x'.")},
      {"LocalizedSource", [] { handler::LocalizedSource("EN", "GetRptRs"); },
       Error(-2147217865, "Microsoft OLE DB Provider for SQL ServerGetRptRs",
             "Invalid object name 't_x'.")},
      {"Reraise", [] { handler::Reraise(); }, caught},
  };
  for (const auto& c : cases) {
    Error got = Handle(caught, c.run);
    EXPECT_EQ(got.number(), c.want.number()) << c.style;
    EXPECT_EQ(got.source(), c.want.source()) << c.style;
    EXPECT_EQ(got.description(), c.want.description()) << c.style;
    EXPECT_EQ(got.help_file(), c.want.help_file()) << c.style;
    EXPECT_EQ(got.help_context(), c.want.help_context()) << c.style;
    EXPECT_EQ(Err().number, c.want.number()) << c.style;  // the raised report is pending
  }
  apartment::EndLoader();
}

TEST(Handlers, LocalizedSourceAbortsFirst) {
  auto context = defaults::CurrentDefaultContext();
  ASSERT_NE(context, nullptr);
  context->ClearCalls();
  FrameComplete();
  Handle(Error(5, "src", "d"), [] { handler::LocalizedSource("CHS", "GetRptRs"); });
  EXPECT_EQ(context->calls(), (std::vector<std::string>{"SetComplete", "SetAbort"}));
}

TEST(Handlers, CaughtTurnsAnyExceptionIntoAnError) {
  auto caught = [](auto thrown) {
    try {
      throw thrown;
    } catch (...) {
      return handler::Caught();
    }
  };
  EXPECT_EQ(caught(Error(13, "s", "d")).number(), 13);
  EXPECT_EQ(caught(std::bad_alloc()).number(), 7);
  EXPECT_EQ(caught(std::out_of_range("index")).number(), 9);
  EXPECT_EQ(caught(std::invalid_argument("arg")).number(), 5);
  Error runtime = caught(std::runtime_error("disk full"));
  EXPECT_EQ(runtime.number(), static_cast<int32_t>(0x80004005u));
  EXPECT_EQ(runtime.description(), "disk full");
  EXPECT_NE(caught(42).number(), 0);
}

TEST(Handlers, ContinueAndSwallow) {
  Err().Clear();
  std::vector<int> ran;
  handler::Continue([&] { ran.push_back(1); });
  handler::Continue([&] { RaisePlatform(err::kTypeMismatch); });
  handler::Continue([&] { ran.push_back(3); });
  EXPECT_EQ(ran, (std::vector<int>{1, 3}));
  EXPECT_EQ(Err().number, err::kTypeMismatch);

  Err().Clear();
  try {
    throw Error(3704, "ADODB.Recordset", "closed");
  } catch (...) {
    handler::Swallow();
  }
  EXPECT_EQ(Err().number, 3704);
  Err().Clear();
}

// ---------------------------------------------------------------- surface

TEST(LateBound, TablesMatchTheInterfaces) {
  struct Row {
    int32_t dispid;
    const char* name;
    int min_args, max_args;
  };
  const std::vector<Row> data = {
      {0x60030003, "GetServerDate", 1, 1},         {0x60030004, "GetData", 2, 2},
      {0x60030006, "GetPeriodStartEndDate", 5, 5}, {0x60030007, "GetStartDate", 2, 2},
      {0x60030008, "GetCurrenPeriodDate", 1, 1},   {0x60030009, "GetRptRsBySQL", 3, 3},
      {0x6003000B, "GetStockInfo", 3, 3},          {0x6003000C, "GetRpt2008608Data", 3, 4},
      {0x60030012, "GetRpt2008610Data", 3, 4},     {0x60030018, "GetRpt2008609Data", 3, 4},
      {0x6003001F, "GetPropertyExt", 2, 2},        {0x60030020, "GetDataRightStrSql", 3, 3},
  };
  const std::vector<Row> rpt = {
      {0x60030002, "GetReportList", 1, 2},           {0x60030003, "GetReportGroupName", 2, 2},
      {0x60030004, "GetPreAccount", 1, 1},           {0x60030005, "GetCurAccount", 1, 1},
      {0x60030008, "GetCurrentPeriodEndDate", 1, 1},
  };
  auto check = [](const auto& table, const std::vector<Row>& want) {
    ASSERT_EQ(table.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {  // slot order too
      EXPECT_EQ(table[i].dispid, want[i].dispid) << want[i].name;
      EXPECT_EQ(table[i].name, want[i].name);
      EXPECT_EQ(table[i].min_args, want[i].min_args) << want[i].name;
      EXPECT_EQ(table[i].max_args, want[i].max_args) << want[i].name;
    }
  };
  check(DataMethods(), data);
  check(RptMethods(), rpt);
}

TEST(LateBound, UnknownMethodsAndWrongArgumentCounts) {
  Data data;
  Rpt rpt;
  std::vector<Variant> none;
  std::vector<Variant> one = {Variant("Language=CHS")};
  std::vector<Variant> six(6, Variant(""));
  struct Case {
    const char* what;
    std::function<Variant()> call;
    int32_t want;
  } cases[] = {
      {"unknown name", [&] { return data.Invoke("GetNothing", one); }, err::kNotSupported},
      {"unknown DISPID", [&] { return data.Invoke(0x60030005, one); }, err::kNotSupported},
      {"Rpt name on Data", [&] { return data.Invoke("GetReportList", one); }, err::kNotSupported},
      {"too few", [&] { return data.Invoke("GetData", one); }, err::kWrongArgCount},
      {"too many", [&] { return data.Invoke(0x6003000C, six); }, err::kWrongArgCount},
      {"none", [&] { return rpt.Invoke("getcuraccount", none); }, err::kWrongArgCount},
      {"unknown Rpt DISPID", [&] { return rpt.Invoke(0x60030006, one); }, err::kNotSupported},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.call).number(), c.want) << c.what;
}

// The surface's argument handling, on a table of its own.
struct Probe {
  std::vector<std::string> seen;
};

TEST(LateBound, InOutAndOptionalArguments) {
  std::vector<MethodEntry<Probe>> table = {
      {1, "Swap", 2, 2,
       [](Probe&, std::span<Variant> a) {
         std::swap(a[0], a[1]);
         return Variant(true);
       }},
      {2, "Optional", 1, 3,
       [](Probe& p, std::span<Variant> a) {
         for (auto& v : a) p.seen.push_back(v.DebugString());
         a[0] = Variant("written");
         a[2] = Variant("lost");  // a left-out argument has no caller's Variant
         return Variant();
       }},
  };
  Probe probe;
  std::vector<Variant> args = {Variant("a"), Variant(int32_t{2})};
  EXPECT_EQ(InvokeMethod(table, probe, "SWAP", args), Variant(true));
  EXPECT_EQ(args[0], Variant(int32_t{2}));
  EXPECT_EQ(args[1], Variant("a"));

  std::vector<Variant> given = {Variant("x"), Variant::Missing()};
  InvokeMethod(table, probe, int32_t{2}, std::span<Variant>(given));
  EXPECT_EQ(probe.seen, (std::vector<std::string>{"String(\"x\")", "Missing", "Missing"}));
  EXPECT_EQ(given.size(), 2u);
  EXPECT_EQ(given[0], Variant("written"));
}

TEST(LateBound, ConversionErrorsOfArguments) {
  Rpt rpt;
  std::vector<Variant> bad_group = {Variant("Language=CHS"), Variant("first")};
  EXPECT_EQ(ErrorOf([&] { rpt.Invoke("GetReportGroupName", bad_group); }).number(),
            err::kTypeMismatch);
  Data data;
  std::vector<Variant> not_a_dictionary = {Variant("x"), Variant(int32_t{1}), Variant(), Variant()};
  EXPECT_EQ(ErrorOf([&] { data.Invoke("GetRpt2008608Data", not_a_dictionary); }).number(),
            err::kTypeMismatch);
}

TEST(LateBound, GetPropertyExtThroughTheSurface) {
  // Needs no database: the descriptor is only searched.
  Data data;
  std::vector<Variant> args = {Variant("UserID=7;Language=EN"), Variant("language")};
  EXPECT_EQ(data.Invoke(0x6003001F, args), Variant("EN"));
  EXPECT_EQ(data.Invoke("getpropertyext", args), Variant("EN"));
}

TEST(Registration, PublicClassesByProgId) {
  RegisterComponent();
  RegisterComponent();  // harmless twice
  EXPECT_NE(Registry::Instance().CreateAs<Data>("q8vantorpt.data"), nullptr);
  EXPECT_NE(Registry::Instance().CreateAs<Rpt>(progid::kRpt), nullptr);
  EXPECT_EQ(ErrorOf([] { Registry::Instance().CreateAs<Rpt>(progid::kData); }).number(),
            err::kTypeMismatch);
}

}  // namespace
}  // namespace q8
