#include "tests/reliability/public_calls.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"
#include "tests/reliability/support.h"

namespace q8::reliability {

DictionaryPtr Dates() { return TextFilter({{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}}); }

const std::vector<Call>& RaisingCalls() {
  static const std::vector<Call> calls = {
      {"Data.GetData",
       [](const std::string& dsn) { Data().GetData(dsn, "SELECT FNumber FROM t_ICItem"); }},
      {"Data.GetRpt2008608Data",
       [](const std::string& dsn) {
         DictionaryPtr sort;
         Data().GetRpt2008608Data(dsn, nullptr, std::make_shared<Dictionary>(), sort);
       }},
      {"Data.GetRpt2008609Data",
       [](const std::string& dsn) {
         DictionaryPtr sort;
         Data().GetRpt2008609Data(dsn, nullptr, Dates(), sort);
       }},
      {"Data.GetRpt2008610Data",
       [](const std::string& dsn) {
         DictionaryPtr sort;
         Data().GetRpt2008610Data(dsn, nullptr, Dates(), sort);
       }},
      {"Data.GetStockInfo",
       [](const std::string& dsn) {
         Data().GetStockInfo(dsn, TextFilter({{"BStockNumber", "A100"}}), false);
       }},
      {"Data.GetCurrenPeriodDate",
       [](const std::string& dsn) {
         std::string d = dsn;
         Data().GetCurrenPeriodDate(d);
       }},
      {"Data.GetPeriodStartEndDate",
       [](const std::string& dsn) {
         double begin = 0;
         Variant end;
         Data().GetPeriodStartEndDate(dsn, 2024, 1, begin, end);
       }},
      {"Data.GetRptRsBySQL",
       [](const std::string& dsn) {
         auto p = TextFilter({{"sDsN", dsn}, {"StrSql", "SELECT FNumber FROM t_Stock"}});
         ado::RecordsetPtr body, header;
         Data().GetRptRsBySQL(p, body, header);
       }},
      {"Rpt.GetReportList", [](const std::string& dsn) { Rpt().GetReportList(dsn); }},
      {"Rpt.GetReportGroupName", [](const std::string& dsn) { Rpt().GetReportGroupName(dsn, 1); }},
      {"Rpt.GetPreAccount", [](const std::string& dsn) { Rpt().GetPreAccount(dsn); }},
      {"Rpt.GetCurAccount", [](const std::string& dsn) { Rpt().GetCurAccount(dsn); }},
  };
  return calls;
}

std::string CheckAllFail(const std::string& dsn, const std::vector<std::string>& causes,
                         bool needs_tables) {
  std::string problems;
  for (const Call& call : RaisingCalls()) {
    try {
      call.run(dsn);
      problems += std::string(call.name) + ": did not fail\n";
    } catch (const Error& e) {
      const bool named = std::any_of(causes.begin(), causes.end(), [&](const std::string& c) {
        return e.description().find(c) != std::string::npos;
      });
      if (!named || e.number() == 0) problems += std::string(call.name) + ": " + Describe(e) + "\n";
    } catch (const std::exception& e) {
      problems += std::string(call.name) + ": not a q8::Error: " + e.what() + "\n";
    }
  }
  // The two methods that never raise give their failure values.
  if (double d = Data().GetServerDate(dsn); (d != 0.0) != needs_tables)
    problems += "Data.GetServerDate: " + std::to_string(d) + "\n";
  if (std::string e = Rpt().GetCurrentPeriodEndDate(dsn); !e.empty())
    problems += "Rpt.GetCurrentPeriodEndDate: \"" + e + "\" instead of \"\"\n";
  return problems;
}

std::string CheckAllSucceed(const std::string& dsn) {
  std::string problems;
  for (const Call& call : RaisingCalls()) {
    try {
      call.run(dsn);
    } catch (const Error& e) {
      problems += std::string(call.name) + ": " + Describe(e) + "\n";
    }
  }
  return problems;
}

}  // namespace q8::reliability
