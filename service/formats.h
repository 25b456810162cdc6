// The forms of an answer (json, csv, xlsx), chosen by the request's "format"
// parameter or its Accept header, and the writing of record sets, named
// values and single values through the tool's output writers
// (tools/q8vantorpt/writers.h), so the service answers exactly what
// `q8vantorpt --format …` prints.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/variant.h"
#include "tools/q8vantorpt/writers.h"

namespace q8::service {

enum class Form { kJson, kCsv, kXlsx };

// "json", "csv", "xlsx".
const char* FormName(Form f);
const char* ContentType(Form f);

// The form of an answer: `format` ("json", "csv", "xlsx", any case) when
// given, else the first of the Accept header's types (by weight) that the
// service writes; json when neither says. Throws ServiceError: 400 for an
// unknown format name, 406 when Accept names only types the service does
// not write, and 406 for xlsx while no workbook writer is built in.
Form ChooseForm(const std::string& format, const std::string& accept, const std::string& language);

// The tool writer's format for `f`; nullopt while the tool has no writer of
// that form. This is the one place where xlsx joins: once the tool's
// workbook writer exists, map Form::kXlsx to its format here.
std::optional<tool::Format> WriterFormat(Form f);

// A stream buffer that hands its bytes to `write` in blocks of `block`
// bytes (the chunks of a streamed answer). After `write` refuses (the client
// went away) everything further is dropped and failed() is true.
class SinkBuffer : public std::streambuf {
 public:
  using WriteFn = std::function<bool(const char* data, size_t size)>;
  explicit SinkBuffer(WriteFn write, size_t block = 64 * 1024);
  ~SinkBuffer() override;
  bool failed() const { return failed_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  bool Flush();
  WriteFn write_;
  std::vector<char> buffer_;
  bool failed_ = false;
};

// One record set of an answer and its name ("body", "header" for a batch).
using NamedSet = std::pair<std::string, ado::RecordsetPtr>;

// Writes record sets: one set exactly as the tool writes it; several sets as
// json {"NAME":SET,...} (a set that is absent is null), in csv one after the
// other, a blank line between them. A result without columns is json
// {"columns":[],"rows":[]} and nothing in csv.
void WriteRecordSets(std::ostream& out, tool::Format format, const std::vector<NamedSet>& sets);

// The rows of all the sets, for the access log.
int64_t RowCount(const std::vector<NamedSet>& sets);

}  // namespace q8::service
