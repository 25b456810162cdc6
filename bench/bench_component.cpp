// The component's own costs around the database's work: parsing the
// connection descriptor, the request frame of a trivial call, localizing a
// label, the dictionaries of a call, the data-access-right lookup, and the
// whole component side of one report call (frame, connection, preparation,
// batch text, translation for the embedded engine), without running it.
//
//   ParseDescriptor      CParse::ParseString of a descriptor
//   OpenDsn              Data::OpenDsn: a new parser and data source
//   GetPropertyExt       a trivial call, straight and late-bound by name
//   ServerDate           the frame of a call that opens a connection and
//                        runs one statement (Data::GetServerDate)
//   OpenConnection       a new uncommitted-read connection on the embedded
//                        engine (open, functions, settings)
//   LoadLocalText        one label through the resource loader
//   FilterDictionary     filling and reading a report filter
//   DataRight            Data::GetDataRightStrSql for a user without rights
//   PrepareReport        OpenDsn, rights, labels and the batch text
//                        (BuildReportBatch, what `report --sql` does)
//   ReportCall           everything a report call does besides executing the
//                        batch: the frame with its connection, the preparation
//                        and the batch text, and its translation; the
//                        benchmark script divides it by the report's time
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "component/frame.h"
#include "component/local_text.h"
#include "component/report_calls.h"
#include "connection/cdatasource.h"
#include "connection/cparse.h"
#include "drivers/sqlite/schema.h"
#include "drivers/sqlite/session.h"
#include "drivers/sqlite/tsql/translator.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/outside.h"
#include "q8vantorpt/rpt.h"

namespace {

using q8::Data;
using q8::DataPtr;
using q8::Dictionary;
using q8::DictionaryPtr;
using q8::Variant;

// An empty ERP database (the init-db schema), made once per run.
const std::string& Database() {
  static const std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() /
                     ("q8-bench-component-" + std::to_string(::getpid()) + ".db"))
                        .string();
    q8::sqlite::InitDatabase(p, true);
    std::atexit([] { std::remove(Database().c_str()); });
    return p;
  }();
  return path;
}

// The descriptor the tool builds for --db, as a host would pass it.
std::string Descriptor() {
  return "ConnectString={Provider=SQLite;Data Source=" + Database() +
         "};DBMS Name=SQLite;DBMS Version=3;Language=CHS;UserID=0;";
}

// A descriptor of the ERP's own server, with the entries a host sends.
const std::string kServerDescriptor =
    "ConnectString={Provider=SQLOLEDB.1;Password=secret;Persist Security Info=True;"
    "User ID=sa;Initial Catalog=AIS20240101;Data Source=ERPSRV01};UserName=Administrator;"
    "UserID=16394;DBMS Name=Microsoft SQL Server;DBMS Version=10.50;SubID=ic;"
    "AcctType=gy;Language=CHS;IP=10.0.0.17;MachineName=CLIENT07;Q8Version=1;";

DataPtr NewData() {
  q8::RegisterComponent();
  return q8::Registry::Instance().CreateAs<Data>("Q8VANTORpt.Data");
}

DictionaryPtr ReportFilter(int sum_type) {
  auto f = std::make_shared<Dictionary>();
  f->SetValue("bLongNumber", false);
  f->SetValue("BDate", "2024-01-01");
  f->SetValue("EDate", "2024-12-31");
  f->SetValue("Status", int32_t{0});
  f->SetValue("SumType", int32_t{sum_type});
  return f;
}

void ParseDescriptor(benchmark::State& state) {
  const std::string text = state.range(0) == 0 ? Descriptor() : kServerDescriptor;
  for (auto _ : state) {
    q8::CParse parse;
    parse.ParseString(text);
    benchmark::DoNotOptimize(parse.LanguageID());
  }
  state.SetLabel(state.range(0) == 0 ? "embedded engine" : "SQL Server");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(ParseDescriptor)->Arg(0)->Arg(1);

void OpenDsn(benchmark::State& state) {
  DataPtr data = NewData();
  const std::string dsn = Descriptor();
  for (auto _ : state) {
    FrameOf(*data).OpenDsn(dsn);
    benchmark::DoNotOptimize(FrameOf(*data).language());
  }
}
BENCHMARK(OpenDsn);

void GetPropertyExt(benchmark::State& state) {
  DataPtr data = NewData();
  const std::string dsn = Descriptor();
  for (auto _ : state) benchmark::DoNotOptimize(data->GetPropertyExt(dsn, "UserID"));
}
BENCHMARK(GetPropertyExt);

// The same call as a host makes it: late-bound, by name, with Variants.
void GetPropertyExtByName(benchmark::State& state) {
  DataPtr data = NewData();
  const std::string dsn = Descriptor();
  for (auto _ : state) {
    std::vector<Variant> args{Variant(dsn), Variant("UserID")};
    benchmark::DoNotOptimize(data->Invoke("GetPropertyExt", args));
  }
}
BENCHMARK(GetPropertyExtByName);

void ServerDate(benchmark::State& state) {
  DataPtr data = NewData();
  const std::string dsn = Descriptor();
  for (auto _ : state) benchmark::DoNotOptimize(data->GetServerDate(dsn));
}
BENCHMARK(ServerDate)->Unit(benchmark::kMicrosecond);

void OpenConnection(benchmark::State& state) {
  DataPtr data = NewData();
  FrameOf(*data).OpenDsn(Descriptor());
  for (auto _ : state)
    benchmark::DoNotOptimize(FrameOf(*data).data_source()->UnCommittedConnection());
}
BENCHMARK(OpenConnection)->Unit(benchmark::kMicrosecond);

void LoadLocalText(benchmark::State& state) {
  NewData();
  for (auto _ : state) benchmark::DoNotOptimize(q8::LoadLocalText("小计", "CHS"));
}
BENCHMARK(LoadLocalText);

void FilterDictionary(benchmark::State& state) {
  for (auto _ : state) {
    DictionaryPtr f = ReportFilter(0);
    benchmark::DoNotOptimize(f->GetValue("bLongNumber").ToBool());
    benchmark::DoNotOptimize(f->GetValue("BItemNumber"));
    benchmark::DoNotOptimize(f->GetValue("SumType"));
  }
}
BENCHMARK(FilterDictionary);

void DataRight(benchmark::State& state) {
  DataPtr data = NewData();
  const std::string dsn = Descriptor();
  for (auto _ : state) {
    std::string from, where;
    benchmark::DoNotOptimize(data->GetDataRightStrSql(dsn, from, where));
  }
}
BENCHMARK(DataRight)->Unit(benchmark::kMicrosecond);

// Arguments: report number, and SumType for 2008609.
void PrepareReport(benchmark::State& state) {
  DataPtr data = NewData();
  const std::string dsn = Descriptor();
  const int number = static_cast<int>(state.range(0));
  const DictionaryPtr filter = ReportFilter(state.range(1));
  size_t bytes = 0;
  for (auto _ : state) {
    std::string batch = q8::BuildReportBatch(*data, number, dsn, filter);
    bytes += batch.size();
    benchmark::DoNotOptimize(batch);
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(PrepareReport)
    ->Args({2008608, 0})
    ->Args({2008609, 0})
    ->Args({2008610, 0})
    ->Unit(benchmark::kMicrosecond);

// The component's side of one report call. The translation is the uncached
// one: the tool runs one report per process.
void ReportCall(benchmark::State& state, int number, int sum_type) {
  DataPtr data = NewData();
  const std::string dsn = Descriptor();
  const DictionaryPtr filter = ReportFilter(sum_type);
  for (auto _ : state) {
    FrameOf(*data).OpenDsn(dsn);
    q8::ado::ConnectionPtr cn = FrameOf(*data).data_source()->UnCommittedConnection();
    std::string batch = q8::BuildReportBatch(*data, number, dsn, filter);
    auto sort_fields = std::make_shared<Dictionary>();
    sort_fields->SetValue("SumOnly", true);
    auto session = q8::sqlite::Session::Open(Database(), 5000);
    q8::sqlite::DatabaseCatalog catalog(session->db());
    benchmark::DoNotOptimize(q8::tsql::Translate(batch, catalog));
  }
}
BENCHMARK_CAPTURE(ReportCall, 2008608, 2008608, 0)->Name("ReportCall/2008608");
BENCHMARK_CAPTURE(ReportCall, 2008609_0, 2008609, 0)->Name("ReportCall/2008609/0");
BENCHMARK_CAPTURE(ReportCall, 2008609_1, 2008609, 1)->Name("ReportCall/2008609/1");
BENCHMARK_CAPTURE(ReportCall, 2008609_2, 2008609, 2)->Name("ReportCall/2008609/2");
BENCHMARK_CAPTURE(ReportCall, 2008610, 2008610, 0)->Name("ReportCall/2008610");

}  // namespace

BENCHMARK_MAIN();
