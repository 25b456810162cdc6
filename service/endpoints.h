// The endpoints of the report service: one per public method of Data and Rpt,
// and the service's own (report descriptions, sources, the caller's
// session). Each reads its parameters, makes its component calls through a
// Runner (which holds the run bound and the time limit) and returns what the
// answer carries. Nothing here knows HTTP.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "q8vantorpt/variant.h"
#include "service/errors.h"
#include "service/formats.h"
#include "service/options.h"
#include "tools/q8vantorpt/writers.h"

namespace q8::service {

// Who calls, on which source, in which language.
struct Caller {
  const TokenConfig* token = nullptr;
  const SourceConfig* source = nullptr;
  std::string language;    // CHS, CHT, EN …
  std::string descriptor;  // the source's, with the caller's UserID and language
};

// Builds the descriptor of `source` for `user_id` and `language`.
std::string DescriptorFor(const SourceConfig& source, int32_t user_id, const std::string& language);
// The source's own language: its "language", else its descriptor's, else CHS.
std::string SourceLanguage(const SourceConfig& source);

// The request as the endpoints see it.
struct Call {
  // Query parameters other than format, source and lang, in order; a name
  // given twice has already been refused.
  std::vector<std::pair<std::string, std::string>> params;
  std::string body;                  // the request body (POST)
  std::vector<std::string> matches;  // the path's captured parts
  bool post = false;
};

// What an answer carries: record sets, named values, one value, a JSON
// document of the service, or plain text.
struct Outcome {
  std::vector<NamedSet> sets;
  std::optional<tool::NamedValues> named;
  std::optional<Variant> value;
  std::optional<std::string> json;
  std::optional<std::string> text;
  std::string download_name;     // file name stem of a csv or xlsx download
  std::string sort_fields_json;  // a report's sort hints
  std::string log_detail;        // what the access log shows beside the parameters
  // A report's rows: its number, the filters as given and the caller's
  // language, for the workbook's captions, row styles and filter sheet.
  int report_number = 0;
  tool::NamedValues filters;
  std::string language;
};

// Makes the component calls of one request: waits for a run, binds the
// request's cancel token to the thread and turns failures into answers.
class Runner {
 public:
  virtual ~Runner() = default;
  virtual void Run(CallKind kind, const std::function<void()>& call) = 0;
};

struct Endpoint {
  const char* method;   // "GET" or "POST"
  const char* pattern;  // path regular expression
  bool needs_sql;       // only for tokens allowed direct SQL
  bool uses_source;     // reads the caller's source (else only the token)
  Outcome (*handle)(const Caller&, const Call&, Runner&);
};

// Every endpoint under /api.
const std::vector<Endpoint>& Endpoints();

// The description of a report from the table of reports: its filter keys
// (key, type, default, allowed values, meaning) as JSON.
std::string DescribeReportJson(int number, const std::string& language);

}  // namespace q8::service
