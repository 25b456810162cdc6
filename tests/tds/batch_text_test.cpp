// The batch a report sends through FreeTDS is, byte for byte, the batch that
// `q8vantorpt report N --sql` prints: CR LF line ends, the Chinese labels,
// filter values with their quotes doubled. The server records the text as
// it arrived (UTF-16LE); nothing on the way may change a character. And the
// tool itself, given the host's descriptor, prints the same report through
// FreeTDS as on the embedded engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tds/support.h"
#include "tests/tds/wire.h"

namespace q8::tds::testing {
namespace {

constexpr std::string_view kIsolation = "SET TRANSACTION ISOLATION LEVEL READ UnCOMMITTED";

std::vector<std::string> FilterArguments(const ReportCase& c) {
  std::vector<std::string> args;
  for (const std::string& f : c.filters) {
    args.push_back("--filter");
    args.push_back(f);
  }
  return args;
}

// The batches the server received since it was cleared, but for the
// isolation level every connection sets first.
std::vector<Request> ReportBatches() {
  std::vector<Request> out;
  for (const Request& r : TheWorld().server->Requests())
    if (r.kind == "batch" && r.text != kIsolation) out.push_back(r);
  return out;
}

TEST(BatchText, WhatTheServerReceivesIsWhatReportSqlPrints) {
  Q8_REQUIRE_FREETDS();
  int compared = 0;
  for (const ReportCase& c : ReportCases()) {
    std::vector<std::string> args = {"--db", TheWorld().database, "report",
                                     std::to_string(c.report), "--sql"};
    for (const std::string& a : FilterArguments(c)) args.push_back(a);
    const ToolRun printed = RunTool(args);
    ASSERT_EQ(printed.status, 0) << printed.err;
    // What makes the comparison worth its while is in every batch.
    EXPECT_NE(printed.out.find("\r\n"), std::string::npos);
    EXPECT_NE(printed.out.find("合计"), std::string::npos) << c.name;

    for (Way way : kServerWays) {
      SCOPED_TRACE(std::string(c.name) + " through the " + WayName(way));
      TheWorld().server->ClearRequests();
      DictionaryPtr sort_fields;
      try {
        RunReport(Descriptor(way), c, sort_fields);
      } catch (const Error&) {
        // A filter that makes the batch fail still sends it.
      }
      const std::vector<Request> batches = ReportBatches();
      ASSERT_EQ(batches.size(), 1u);
      EXPECT_EQ(batches[0].text, printed.out);
      EXPECT_TRUE(batches[0].raw == Utf8ToUtf16(printed.out))
          << "the UTF-16 text on the wire differs from the printed batch";
      ++compared;
    }
  }
  std::printf("batch texts compared byte for byte: %d\n", compared);
  EXPECT_EQ(compared, static_cast<int>(ReportCases().size() * std::size(kServerWays)));
}

TEST(BatchText, QuotesInFilterValuesArriveDoubled) {
  Q8_REQUIRE_FREETDS();
  for (const ReportCase& c : ReportCases()) {
    if (std::string_view(c.name).find("quotes") == std::string_view::npos) continue;
    TheWorld().server->ClearRequests();
    DictionaryPtr sort_fields;
    try {
      RunReport(Descriptor(Way::kOleDb), c, sort_fields);
    } catch (const Error&) {
    }
    const std::vector<Request> batches = ReportBatches();
    ASSERT_EQ(batches.size(), 1u) << c.name;
    for (const std::string& f : c.filters) {
      std::string value = f.substr(f.find('=') + 1);
      if (value.find('\'') == std::string::npos) continue;
      std::string doubled;
      for (char ch : value) doubled += ch == '\'' ? std::string("''") : std::string(1, ch);
      EXPECT_NE(batches[0].text.find("'" + doubled + "'"), std::string::npos) << f;
    }
  }
}

TEST(ToolOverFreeTds, PrintsTheSameReportsAsOnTheEmbeddedEngine) {
  Q8_REQUIRE_FREETDS();
  for (const ReportCase& c : ReportCases()) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> tail = {"--format", "json", "report", std::to_string(c.report)};
    for (const std::string& a : FilterArguments(c)) tail.push_back(a);
    std::vector<std::string> embedded = {"--db", TheWorld().database};
    std::vector<std::string> over = {"--dsn", Descriptor(Way::kOleDb)};
    embedded.insert(embedded.end(), tail.begin(), tail.end());
    over.insert(over.end(), tail.begin(), tail.end());
    const ToolRun expected = RunTool(embedded);
    const ToolRun got = RunTool(over);
    EXPECT_EQ(got.status, expected.status) << got.err;
    EXPECT_EQ(got.out, expected.out);
    if (expected.status != 0) {
      // The same failure, in each engine's words: the number and the source.
      EXPECT_EQ(got.err.substr(0, got.err.find("Data:")),
                expected.err.substr(0, expected.err.find("Data:")));
    }
  }
}

TEST(ToolOverFreeTds, TableDrivenRightsReadTheirTableThroughFreeTds) {
  Q8_REQUIRE_FREETDS();
  // The demo database limits user 16394 to region 02's customers and a few
  // warehouses; the rights object reads t_QPDataRight over the descriptor's
  // own connection, so through FreeTDS as well.
  DescriptorOptions o;
  o.user_id = 16394;
  for (const char* report : {"2008608", "2008610"}) {
    SCOPED_TRACE(report);
    // The date range goes to both reports; 2008608 does not read it.
    const std::vector<std::string> tail = {"--table-rights",
                                           "--format",
                                           "csv",
                                           "report",
                                           report,
                                           "--allow-unknown-filters",
                                           "--filter",
                                           "BDate=2024-01-01",
                                           "--filter",
                                           "EDate=2024-12-31"};
    std::vector<std::string> embedded = {"--db", TheWorld().database, "--user-id", "16394"};
    std::vector<std::string> over = {"--dsn", Descriptor(Way::kOdbc, o)};
    embedded.insert(embedded.end(), tail.begin(), tail.end());
    over.insert(over.end(), tail.begin(), tail.end());
    const ToolRun expected = RunTool(embedded);
    const ToolRun unrestricted =
        RunTool({"--db", TheWorld().database, "--format", "csv", "report", report,
                 "--allow-unknown-filters", "--filter", "BDate=2024-01-01", "--filter",
                 "EDate=2024-12-31"});
    const ToolRun got = RunTool(over);
    ASSERT_EQ(expected.status, 0) << expected.err;
    EXPECT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.out, expected.out);
    EXPECT_NE(expected.out, unrestricted.out) << "the user's rights restrict nothing";
  }
}

}  // namespace
}  // namespace q8::tds::testing
