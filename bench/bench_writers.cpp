// The output writers on a report-shaped record set: 100,000 rows of codes,
// Chinese names, exact decimals, date-times and NULLs, written as json, csv
// and table into memory.
//
//   Write/json, Write/csv, Write/table   counters rows/s and bytes/s
#include <benchmark/benchmark.h>

#include <sstream>

#include "tools/q8vantorpt/writers.h"

namespace {

using q8::Decimal;
using q8::ado::ColumnInfo;
using q8::ado::FieldType;

std::unique_ptr<q8::ado::RowSet> MakeRows(size_t n) {
  std::vector<ColumnInfo> cols = {
      {"FCustNumber", FieldType::kText, 80, 0, 0, "varchar(80)"},
      {"FCustName", FieldType::kText, 255, 0, 0, "nvarchar(255)"},
      {"FMaterialNumber", FieldType::kText, 80, 0, 0, "varchar(80)"},
      {"FMaterialName", FieldType::kText, 80, 0, 0, "nvarchar(80)"},
      {"FKFDate", FieldType::kDateTime, 0, 0, 0, "datetime"},
      {"FKFPeriod", FieldType::kInt, 0, 0, 0, "int"},
      {"FBUQty", FieldType::kDecimal, 0, 23, 10, "decimal(23,10)"},
      {"FCUUQty", FieldType::kDecimal, 0, 23, 10, "decimal(23,10)"},
      {"FAuxTaxMoney", FieldType::kDecimal, 0, 38, 10, "decimal(38,10)"},
      {"FSumSort", FieldType::kInt, 0, 0, 0, "int"},
  };
  auto rows = std::make_unique<q8::ado::RowSet>(cols);
  rows->Reserve(n);
  const double day = q8::date::FromParts({2024, 6, 1, 0, 0, 0, 0});
  for (size_t i = 0; i < n; ++i) {
    // Built by appending: `"0" + std::string` draws a false -Wrestrict
    // warning from GCC 12 at -O3.
    std::string customer = "0";
    customer.append(std::to_string(i % 6 + 1)).append(".000").append(std::to_string(i % 9));
    rows->AddText(customer);
    rows->AddText("广州顺达汽配有限公司");
    std::string material = "01.02.";
    material.append(std::to_string(1000 + i % 9000));
    rows->AddText(material);
    rows->AddText(i % 3 == 0 ? "博世前刹车片" : "曼牌机油滤清器");
    if (i % 5 == 0) {
      rows->AddNull();
    } else {
      rows->AddDateTime(day + static_cast<double>(i % 300));
    }
    rows->AddInt(730);
    rows->AddDecimal(Decimal(static_cast<q8::Int128>(i % 500 + 1) * 10000000000, 10));
    rows->AddDecimal(Decimal(static_cast<q8::Int128>(i % 500 + 1) * 1000000000, 10));
    rows->AddDecimal(Decimal(static_cast<q8::Int128>(i % 500 + 1) * 171234567890, 10));
    rows->AddInt(0);
    rows->EndRow();
  }
  return rows;
}

void Write(benchmark::State& state, q8::tool::Format format) {
  static const std::unique_ptr<q8::ado::RowSet> rows = MakeRows(100000);
  size_t bytes = 0;
  for (auto _ : state) {
    std::ostringstream out;
    q8::tool::Writer(out, format).RecordSet(*rows);
    bytes += out.str().size();
    benchmark::DoNotOptimize(bytes);
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["rows/s"] = benchmark::Counter(iterations * static_cast<double>(rows->row_count()),
                                                benchmark::Counter::kIsRate);
  state.counters["bytes/s"] = benchmark::Counter(
      static_cast<double>(bytes), benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
}
BENCHMARK_CAPTURE(Write, json, q8::tool::Format::kJson)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Write, csv, q8::tool::Format::kCsv)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Write, table, q8::tool::Format::kTable)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
