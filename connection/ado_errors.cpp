// Database error inspection of CDataSource.
//
// A connection's Errors collection mixes real errors with informational
// messages of the provider and the server. The outside judge
// "QXErrorHandle.CheckADOError" tells them apart entry by entry; HasADOError
// asks it until it accepts one, lists every entry in one report text, and
// raises that report when asked to.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "connection/cdatasource.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"

namespace q8 {

namespace {

void AppendLine(std::string& text, std::string_view label, std::string_view value) {
  text.append(label).append(":").append(value).append("\r\n");
}

}  // namespace

bool CDataSource::HasADOError(const ado::Connection& cn, bool raise_error) const {
  // A copy: the judge is outside code and may touch the connection.
  const std::vector<ado::ErrorEntry> errors = cn.Errors();
  if (errors.empty()) return false;

  bool found = false;
  int32_t number = 0;
  std::string report;

  // Only the judge's creation is trapped; its failure becomes the report's
  // first two lines and its number the report's number.
  std::shared_ptr<ErrorJudge> judge;
  try {
    judge = Registry::Instance().CreateAs<ErrorJudge>(progid::kErrorJudge);
  } catch (const Error& e) {
    number = e.number();
    AppendLine(report, "Number", std::to_string(e.number()));
    AppendLine(report, "Description", e.description());
    found = true;
  }

  for (const ado::ErrorEntry& entry : errors) {
    if (!found) {
      ado::ErrorEntry asked = entry;  // the judge takes its argument by reference
      const Variant verdict = judge->IsError(asked);
      if (!verdict.IsNull() && verdict.ToBool()) {
        number = entry.number;
        found = true;
      }
    }
    AppendLine(report, "Number", std::to_string(entry.number));
    AppendLine(report, "Source", entry.source);
    AppendLine(report, "Description", entry.description);
    AppendLine(report, "NativeError", std::to_string(entry.native_error));
    AppendLine(report, "SQLState", entry.sql_state);
  }

  if (raise_error && found) Raise(number, report);
  return found;
}

}  // namespace q8
