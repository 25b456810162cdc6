// What the FreeTDS tests share: FreeTDS registered with unixODBC for this
// process, a demo database, the test server on it, the descriptors of both
// ways in, and helpers to compare what comes back.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/error.h"
#include "tests/tds/server.h"

namespace q8::tds::testing {

// The process's set-up, made on first use: a temporary folder holding the
// demo database (q8vantorpt demo-db) and an ODBC registration of FreeTDS
// (odbcinst.ini with [FreeTDS], odbc.ini with the data source "Q8TDS" on
// the shared server), ODBCSYSINI pointing there, and the shared server.
struct World {
  std::string folder;
  std::string database;            // the demo database file
  std::unique_ptr<Server> server;  // serves `database`; every fault by login name
  std::string skip_reason;         // not empty when FreeTDS is not installed
};
World& TheWorld();

// Skips the calling test when FreeTDS is not installed.
#define Q8_REQUIRE_FREETDS()                                      \
  do {                                                            \
    if (!::q8::tds::testing::TheWorld().skip_reason.empty())      \
      GTEST_SKIP() << ::q8::tds::testing::TheWorld().skip_reason; \
  } while (0)

// The ways in: the embedded engine on the demo database, and SQL Server
// through FreeTDS as a host writes it (the OLE DB string of an ERP client),
// as an ODBC string, and as a named data source of odbc.ini.
enum class Way { kEmbedded, kOleDb, kOdbc, kDsn };
const char* WayName(Way w);
inline constexpr Way kServerWays[] = {Way::kOleDb, Way::kOdbc, Way::kDsn};

struct DescriptorOptions {
  std::string user = "sa";
  int port = 0;       // 0: the shared server's
  std::string extra;  // appended inside the connection string, e.g. ";Connect Timeout=1"
  std::string language = "CHS";
  int user_id = 0;
  bool tds_version = true;  // the ODBC string names TDS_Version=7.4
};
// The descriptor (sDsn) of `way`.
std::string Descriptor(Way way, const DescriptorOptions& o = {});
// The connection string inside it.
std::string ConnectionString(Way way, const DescriptorOptions& o = {});

// A record set as text: its columns (name, type, precision, scale) and every
// row, values typed (decimals with their scale, dates to the millisecond),
// from the current position on. "(none)" for a null pointer.
std::string Dump(const ado::RecordsetPtr& rs);
// A dictionary as text, keys in order; record sets and fields inside it
// by their value.
std::string Dump(const DictionaryPtr& d);
// A value as text with its type.
std::string Dump(const Variant& v);

// What a call gave: its text (Dump of the results) or its error.
struct Outcome {
  std::string text;
  bool failed = false;
  int32_t number = 0;
  std::string source, description;
  double seconds = 0;
};
// Runs `call` and catches q8::Error into the outcome.
Outcome Capture(const std::function<std::string()>& call);
// As Capture, on a thread of its own; when it has not ended after `bound`
// seconds the call hangs, which is what these tests are for: the test fails
// and the process ends (the thread cannot be stopped).
Outcome CaptureBounded(const std::function<std::string()>& call, double bound);

// The filters of a report call, typed as the tool types --filter values.
DictionaryPtr Filter(const std::vector<std::string>& key_values);

// One report call of the test matrix: the report and its --filter values.
struct ReportCase {
  const char* name;
  int32_t report;                    // 2008608, 2008609 or 2008610
  std::vector<std::string> filters;  // "KEY=VALUE", as for q8vantorpt report --filter
  bool fails = false;                // the batch fails (on either engine)
};
// The matrix: each report's sections (IsOnlyJS, SalePrice, UnitCost,
// SumType, Status), long and short number ranges, date forms, and filter
// values with quotes, over the demo database's year 2024.
const std::vector<ReportCase>& ReportCases();
// Calls Data.GetRpt<report>Data; `sort_fields` receives the sort hints.
ado::RecordsetPtr RunReport(const std::string& dsn, const ReportCase& c,
                            DictionaryPtr& sort_fields);

// Runs the tool (q8vantorpt) with `args`, and `env` added to the
// environment; kills it after `bound` seconds.
struct ToolRun {
  int status = -1;  // exit status; -1 when killed
  std::string out, err;
  double seconds = 0;
};
ToolRun RunTool(const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::string>>& env = {},
                double bound = 60);

double SecondsSince(std::chrono::steady_clock::time_point start);

}  // namespace q8::tds::testing
