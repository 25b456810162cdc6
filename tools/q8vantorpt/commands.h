// The commands of the command-line tool. Each command reaches the component
// through its public objects, created by ProgID as a host creates them, and
// prints what the call returns through the session's writer.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"
#include "reports/report_table.h"
#include "tools/q8vantorpt/options.h"
#include "tools/q8vantorpt/writers.h"

namespace q8::tool {

// What every command shares: the global options, the output and the
// descriptor they resolve to.
class Session {
 public:
  Session(GlobalOptions options, std::ostream& out, const char* env_dsn);

  // The descriptor of --dsn, --db or the environment. Throws UsageError when
  // none is given, or when `opens_database` and the --db file does not exist
  // (the engine would otherwise create an empty file).
  std::string Descriptor(bool opens_database = true) const;
  // The descriptor when one is given, else one for an in-memory database
  // (for commands that only build text).
  std::string DescriptorOrDefault() const;

  // The language of the output's own texts (report descriptions, captions):
  // --lang, else the descriptor's Language, else CHS.
  std::string Language() const;

  Writer& writer() { return writer_; }
  std::ostream& out() { return out_; }
  const GlobalOptions& options() const { return options_; }

  // Warnings go to `err` as "q8vantorpt: warning: TEXT" lines; without a
  // stream they are dropped.
  void set_warnings(std::ostream& err) { warnings_ = &err; }
  void Warn(const std::string& text);

  // New component objects, through the registry.
  DataPtr NewData() const;
  RptPtr NewRpt() const;

 private:
  GlobalOptions options_;
  std::ostream& out_;
  const char* env_dsn_;
  Writer writer_;
  std::ostream* warnings_ = nullptr;
};

// The usage error's text for a file name longer than the system takes.
std::string TooLongName(const std::string& path);

namespace command {

void InitDb(Session& s, const std::string& file, bool force, bool follow_symlinks);
void DemoDb(Session& s, const std::string& file, int64_t scale, uint64_t seed, bool force,
            bool follow_symlinks);
struct ReportOptions {
  bool sql_only = false;               // --sql: print the batch, run nothing
  bool describe = false;               // --describe: the report's keys and columns
  bool allow_unknown_filters = false;  // pass keys the report does not read
};
void Report(Session& s, int32_t number, const std::vector<std::string>& filters,
            const ReportOptions& options);
// The descriptions of `reports` in the session's language, as three record
// sets (reports, filter keys, columns).
void Describe(Session& s, const std::vector<const reports::ReportSpec*>& reports);
void Query(Session& s, const std::string& sql);
void Batch(Session& s, const std::string& sql);
void ServerDate(Session& s);
void PeriodStartEnd(Session& s, int32_t year, int32_t period);
void PeriodStartDate(Session& s, int32_t period);
void PeriodCurrent(Session& s);
void PeriodPrevious(Session& s);
void PeriodCurrentAccount(Session& s);
void PeriodEndDate(Session& s);
void StockInfo(Session& s, const std::vector<std::string>& filters, bool long_number);
void Property(Session& s, const std::string& name);
void Rights(Session& s);
void Reports(Session& s, int32_t group, bool describe);
void ReportGroup(Session& s, int32_t group);
void Dbms(Session& s, const std::vector<std::string>& procs);
void TypeName(Session& s, int32_t code, int32_t precision, int32_t scale);

}  // namespace command
}  // namespace q8::tool
