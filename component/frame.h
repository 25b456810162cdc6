// The request frame's object-context steps, shared by every public method.
//
// A method runs the frame's steps in its own order: arm its handler (its
// try/catch), FrameComplete() (the object context's SetComplete), OpenDsn,
// then take its connection. FrameAbort() is the SetAbort of the handlers that
// need it.
#pragma once

#include <memory>
#include <string>

#include "q8vantorpt/outside.h"

namespace q8 {

class CParse;
class CDataSource;
class Data;
class Rpt;

// What OpenDsn leaves behind for the rest of a call: the descriptor's parser,
// the data source built on it and the descriptor's language. Each public
// object owns one; every call opens it anew.
class RequestFrame {
 public:
  RequestFrame();
  ~RequestFrame();
  RequestFrame(const RequestFrame&) = delete;
  RequestFrame& operator=(const RequestFrame&) = delete;

  // The per-call open procedure: (1) a new parser replaces the previous one;
  // (2) it parses `sDsn` (a repeated key stops here, with the new parser and
  // the previous data source in place); (3) a new data source, given the
  // parser; (4) the language, read back through the data source (a
  // descriptor without "Language" stops here and the previous language
  // stays).
  void OpenDsn(const std::string& sDsn);

  // Null until the first OpenDsn.
  const std::shared_ptr<CParse>& parser() const { return parser_; }
  const std::shared_ptr<CDataSource>& data_source() const { return data_source_; }
  // "" until a descriptor with a language was opened.
  const std::string& language() const { return language_; }

  // Streamed results: the record sets the object's methods hand to the
  // caller (GetData, the report methods, GetReportList) read their rows as
  // the caller moves through them (ado::Recordset::set_streamed), for a
  // caller that reads each once from the start, such as the command-line
  // tool. A failure while rows are read is raised as the method would have
  // raised it. Off by default; kept across calls.
  bool stream_results() const { return stream_results_; }
  void set_stream_results(bool v) { stream_results_ = v; }

 private:
  std::shared_ptr<CParse> parser_;
  std::shared_ptr<CDataSource> data_source_;
  std::string language_;
  bool stream_results_ = false;
};

// The request frame of a public object, for the component's own code and its
// tests.
RequestFrame& FrameOf(Data& data);
RequestFrame& FrameOf(Rpt& rpt);

// Obtains the caller's object context through the thread's application-server
// object, calls SetComplete on it and returns it. Raises when the context
// cannot be obtained (that counts as a failure of the method).
std::shared_ptr<ObjectContext> FrameComplete();

// Obtains the caller's object context and calls SetAbort on it.
void FrameAbort();

}  // namespace q8
