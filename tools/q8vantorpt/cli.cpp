// The command line of q8vantorpt, on CLI11.
//
// Global options are defined on the application and accepted before or
// after the command (each command falls through to the application for
// options it does not know). A command's callback only records what to run;
// the command runs after the whole line has been parsed, so that a global
// option given after it still applies.
#include "tools/q8vantorpt/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "component/rights/table_data_access.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/version.h"
#include "reports/report_table.h"
#include "tools/q8vantorpt/commands.h"
#include "tools/q8vantorpt/demo_db.h"
#include "tools/q8vantorpt/describe.h"
#include "tools/q8vantorpt/filter_checks.h"
#include "tools/q8vantorpt/output.h"
#include "tools/q8vantorpt/time_limit.h"

namespace q8::tool {
namespace {

constexpr const char* kDescription =
    "q8vantorpt: the report middle layer of the auto-parts ERP from the command line.\n"
    "Creates ERP databases, runs the consignment reports and the component's queries.";

constexpr const char* kFooter =
    "The database: --db FILE (the embedded engine), --dsn DESCRIPTOR, or the environment\n"
    "variable Q8VANTORPT_DSN. --timeout SECONDS (or Q8VANTORPT_TIMEOUT) cancels the running\n"
    "statement after SECONDS and fails. Exit status: 0 success, 1 a failure reported as\n"
    "'error NUMBER: SOURCE: DESCRIPTION', 2 a usage error.\n"
    "Example: q8vantorpt demo-db demo.db && q8vantorpt --db demo.db report 2008608";

constexpr const char* kForceHelp =
    "replace FILE when it is a regular file (never a write-protected one, a directory, a pipe, "
    "a device or a symbolic link)";
constexpr const char* kFollowHelp =
    "with --force, when FILE is a symbolic link, replace the file it points to (the link stays)";

constexpr const char* kCommandFooter =
    "Global options, before or after the command: --db FILE | --dsn TEXT, --lang ID,\n"
    "--user-id N, --format table|csv|json|xlsx, --output FILE, --table-rights,\n"
    "--timeout SECONDS (see q8vantorpt --help).";

// "2008608 (customer consignment inventory), 2008609 (…) or 2008610 (…)",
// from the table of reports.
std::string ReportChoices() {
  std::string out;
  const auto all = reports::Reports();
  for (size_t i = 0; i < all.size(); ++i) {
    if (i > 0) out += i + 1 == all.size() ? " or " : ", ";
    out += std::to_string(all[i].number) + " (" + std::string(all[i].title) + ")";
  }
  return out;
}

// The filter keys of every report, each once in the table's order, as a
// table for `report --help`: key, type, default, the reports that read it
// and its meaning.
std::string FilterKeysHelp() {
  struct Row {
    std::string key, type, def, reports, meaning;
  };
  std::vector<Row> rows{{"KEY", "TYPE", "DEFAULT", "REPORTS", "MEANING"}};
  for (const reports::ReportSpec& spec : reports::Reports()) {
    for (const reports::FilterKey& k : spec.filters) {
      auto it =
          std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.key == k.key; });
      if (it == rows.end()) {
        rows.push_back(Row{std::string(k.key), std::string(FilterTypeName(k.type)),
                           k.default_value.empty() ? "-" : std::string(k.default_value), "",
                           std::string(k.meaning)});
        it = rows.end() - 1;
      }
      if (!it->reports.empty()) it->reports += ",";
      it->reports += std::to_string(spec.number);
    }
  }
  size_t w[4] = {};
  for (const Row& r : rows) {
    w[0] = std::max(w[0], r.key.size());
    w[1] = std::max(w[1], r.type.size());
    w[2] = std::max(w[2], r.def.size());
    w[3] = std::max(w[3], r.reports.size());
  }
  std::string out;
  for (const Row& r : rows) {
    out += "  " + r.key + std::string(w[0] - r.key.size() + 2, ' ') + r.type +
           std::string(w[1] - r.type.size() + 2, ' ') + r.def +
           std::string(w[2] - r.def.size() + 2, ' ') + r.reports +
           std::string(w[3] - r.reports.size() + 2, ' ') + r.meaning + "\n";
  }
  return out;
}

// Everything the command line can set.
struct Arguments {
  std::string dsn, db, lang, format = "table", output, timeout;
  int32_t user_id = 0;
  std::string file, sql, sql_file, name;
  bool force = false, follow_symlinks = false, sql_only = false, long_number = false,
       table_rights = false;
  bool describe = false, allow_unknown_filters = false;
  int64_t scale = 5000;
  uint64_t seed = kDefaultDemoSeed;
  int32_t number = 0, year = 0, period = 0, group = 0, code = 0, precision = 0, scale_arg = 0;
  std::vector<std::string> filters, procs;
};

CLI::App* Command(CLI::App& parent, const std::string& name, const std::string& description) {
  CLI::App* sub = parent.add_subcommand(name, description);
  sub->fallthrough();
  sub->footer(kCommandFooter);
  return sub;
}

// The statement of `query` and `batch`: the argument, standard input for
// "-", or the file of --file.
std::string Statement(const std::string& sql, const std::string& file, bool from_file) {
  std::string text;
  if (from_file) {
    if (!sql.empty()) throw UsageError("give the statement or --file FILE, not both");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw UsageError("cannot read the statement file " + file);
    text.assign(std::istreambuf_iterator<char>(in), {});
  } else if (sql == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    text = sql;
  }
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    if (from_file) throw UsageError("the statement file " + file + " is empty");
    if (sql == "-") throw UsageError("no statement on standard input");
    throw UsageError(
        "a statement is needed: give SQL, - to read it from standard input, or "
        "--file FILE");
  }
  return text;
}

// Whether `arg` is an option (of the application or any command) that takes
// a value in the next argument, for finding the command words among the
// arguments.
bool TakesValue(const CLI::App& app, const std::string& arg) {
  if (const CLI::Option* o = app.get_option_no_throw(arg)) return o->get_type_size_max() > 0;
  for (const CLI::App* sub : app.get_subcommands({})) {
    if (TakesValue(*sub, arg)) return true;
  }
  return false;
}

// When the command word at `parent`'s level names no command: the message
// for it, naming the nearest command. "" when the words are not the problem.
std::string UnknownCommand(const CLI::App& parent, int argc, const char* const* argv) {
  // The words after the last command CLI11 recognised.
  const CLI::App* level = &parent;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.size() > 1 && arg[0] == '-') {
      if (arg.find('=') == std::string_view::npos && TakesValue(parent, std::string(arg))) ++i;
      continue;
    }
    words.emplace_back(arg);
  }
  size_t w = 0;
  for (; w < words.size(); ++w) {
    const CLI::App* next = nullptr;
    for (const CLI::App* sub : level->get_subcommands({})) {
      if (sub->get_name() == words[w]) next = sub;
    }
    if (next == nullptr) break;
    level = next;
  }
  const auto subs = level->get_subcommands({});
  if (subs.empty()) return {};
  const std::string path = level == &parent ? "" : " " + level->get_name();
  std::string names, nearest;
  size_t best = 0;
  for (const CLI::App* sub : subs) {
    if (!names.empty()) names += ", ";
    names += sub->get_name();
    if (w < words.size()) {
      const size_t d = EditDistance(words[w], sub->get_name());
      if (nearest.empty() || d < best) {
        nearest = sub->get_name();
        best = d;
      }
    }
  }
  if (w == words.size()) {
    // Words ran out: a command is missing where one is required.
    if (level->get_require_subcommand_min() == 0 && level != &parent) return {};
    return "a command is required" + (path.empty() ? "" : " after" + path) + "; the commands are " +
           names;
  }
  if (level != &parent && level->get_require_subcommand_min() == 0) return {};
  std::string message = "unknown command '" + words[w] + "'" + (path.empty() ? "" : " of" + path);
  if (best * 2 <= std::max(words[w].size(), nearest.size()))
    message += "; did you mean " + nearest + "?";
  return message + "\nThe commands" + (path.empty() ? "" : " of" + path) + " are " + names + ".";
}

// `text` for one error line: line breaks (a run of them) become one blank,
// and every other control character, C1 control and byte that is not UTF-8
// is written as an escape (\t, \x1B, \u009B), so that text copied from a
// damaged database cannot move the terminal's cursor or change its colours.
std::string ErrorText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  bool in_break = false;
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == '\r' || b == '\n') {
      if (!in_break && !out.empty()) out += ' ';
      in_break = true;
      ++i;
      continue;
    }
    in_break = false;
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    if (b == '\t') {
      out += "\\t";
      ++i;
      continue;
    }
    if (b >= 0x80) {
      // One UTF-8 character, kept unless it is a C1 control (U+0080-U+009F).
      size_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
      bool valid = len > 0 && i + len <= text.size();
      for (size_t k = 1; valid && k < len; ++k)
        valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
      if (valid && b < 0xC2) valid = false;  // an overlong form
      if (valid && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
        out += "\\u00";
        out += kHex[(static_cast<unsigned char>(text[i + 1]) >> 4) & 0xF];
        out += kHex[static_cast<unsigned char>(text[i + 1]) & 0xF];
        i += 2;
        continue;
      }
      if (valid) {
        out.append(text.substr(i, len));
        i += len;
        continue;
      }
    }
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
    ++i;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

ServeDefinition& ServeCommand() {
  static ServeDefinition define;
  return define;
}

}  // namespace

void SetServeCommand(ServeDefinition define) { ServeCommand() = std::move(define); }

int RunTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
            const char* env_dsn) {
  CLI::App app(kDescription, "q8vantorpt");
  app.footer(kFooter);
  app.fallthrough();
  app.require_subcommand(0, 1);
  app.set_version_flag("--version", "q8vantorpt " Q8VANTORPT_VERSION);

  Arguments a;
  std::function<void(Session&)> action;

  CLI::Option* dsn_opt =
      app.add_option("--dsn", a.dsn, "connection descriptor, exactly as a host passes sDsn")
          ->type_name("TEXT");
  CLI::Option* db_opt =
      app.add_option("--db", a.db, "embedded database file (SQLite); builds the descriptor")
          ->type_name("FILE");
  CLI::Option* lang_opt =
      app.add_option("--lang", a.lang,
                     "language of the --db descriptor: CHS, CHT or EN (default CHS)")
          ->type_name("ID");
  CLI::Option* output_opt =
      app.add_option("--output", a.output,
                     "write the output to FILE instead of standard output (needed by xlsx)")
          ->type_name("FILE");
  CLI::Option* user_opt =
      app.add_option("--user-id", a.user_id, "UserID of the --db descriptor (default 0)")
          ->type_name("N");
  app.add_flag(
      "--table-rights", a.table_rights,
      "apply the data-access rights kept in the database's t_QPDataRight (as the environment "
      "variable Q8VANTORPT_DATA_ACCESS=table does)");
  app.add_option("--format", a.format,
                 "output form of results: table, csv, json or xlsx (an Excel workbook, written "
                 "to --output FILE); default table")
      ->type_name("FORM");
  CLI::Option* timeout_opt =
      app.add_option("--timeout", a.timeout,
                     "cancel the running statement after SECONDS and fail (also the variable "
                     "Q8VANTORPT_TIMEOUT); none by default")
          ->type_name("SECONDS");

  // Databases.
  CLI::App* init = Command(app, "init-db", "create an empty ERP database on FILE");
  init->add_option("FILE", a.file, "the database file to create")->required();
  init->add_flag("--force", a.force, kForceHelp);
  init->add_flag("--follow-symlinks", a.follow_symlinks, kFollowHelp);
  init->callback([&] {
    action = [&](Session& s) { command::InitDb(s, a.file, a.force, a.follow_symlinks); };
  });

  CLI::App* demo = Command(app, "demo-db",
                           "create an ERP database on FILE filled with generated, deterministic "
                           "demo data of an auto-parts trader");
  demo->add_option("FILE", a.file, "the database file to create")->required();
  demo->add_option("--scale", a.scale,
                   "about this many bill lines, 1 to " + std::to_string(kMaxDemoLines) +
                       " (default 5000; about 300 bytes each)")
      ->type_name("N");
  demo->add_option("--seed", a.seed, "seed of the generator; one seed, one database (default 1)")
      ->type_name("S");
  demo->add_flag("--force", a.force, kForceHelp);
  demo->add_flag("--follow-symlinks", a.follow_symlinks, kFollowHelp);
  demo->callback([&] {
    action = [&](Session& s) {
      command::DemoDb(s, a.file, a.scale, a.seed, a.force, a.follow_symlinks);
    };
  });

  // Reports and direct queries.
  CLI::App* report =
      Command(app, "report", "run report " + ReportChoices() + " and print its rows");
  report->add_option("NUMBER", a.number, "the report number")->required();
  report
      ->add_option("--filter", a.filters,
                   "a filter value, e.g. BDate=2024-12-01 or IsOnlyJS=0 (repeatable; the keys "
                   "are listed below)")
      ->type_name("KEY=VALUE")
      ->allow_extra_args(false);
  report->add_flag("--sql", a.sql_only,
                   "print the batch that would run, exactly as built; run nothing");
  report->add_flag("--describe", a.describe,
                   "describe the report instead of running it: its filter keys (type, default, "
                   "allowed values, meaning) and the columns of its result (caption, type), in "
                   "the language of --lang or the descriptor");
  report->add_flag("--allow-unknown-filters", a.allow_unknown_filters,
                   "pass filter keys the report does not read on to it (they have no effect); "
                   "without it such a key is an error");
  report->footer(std::string("Filter keys (--filter KEY=VALUE; keys without regard to case):\n") +
                 FilterKeysHelp() +
                 "A date is YYYY-MM-DD; 2008609 and 2008610 list no bills without BDate and "
                 "EDate.\nA code range that matches no record is reported on standard error.\n" +
                 kCommandFooter);
  report->callback([&] {
    action = [&](Session& s) {
      command::Report(s, a.number, a.filters,
                      command::ReportOptions{.sql_only = a.sql_only,
                                             .describe = a.describe,
                                             .allow_unknown_filters = a.allow_unknown_filters});
    };
  });

  CLI::App* query =
      Command(app, "query", "run one SQL statement (Data.GetData) and print its rows");
  query->add_option("SQL", a.sql, "the statement; - reads it from standard input");
  CLI::Option* query_file =
      query->add_option("--file", a.sql_file, "read the statement from FILE")->type_name("FILE");
  query->callback([&] {
    const std::string sql = Statement(a.sql, a.sql_file, query_file->count() > 0);
    action = [&, sql](Session& s) { command::Query(s, sql); };
  });

  CLI::App* batch = Command(app, "batch",
                            "run a SQL batch (Data.GetRptRsBySQL): print the body record set, "
                            "then the header when there is one");
  batch->add_option("SQL", a.sql, "the batch; - reads it from standard input");
  CLI::Option* batch_file =
      batch->add_option("--file", a.sql_file, "read the batch from FILE")->type_name("FILE");
  batch->callback([&] {
    const std::string sql = Statement(a.sql, a.sql_file, batch_file->count() > 0);
    action = [&, sql](Session& s) { command::Batch(s, sql); };
  });

  CLI::App* server_date = Command(app, "server-date", "the database server's date and time");
  server_date->callback([&] { action = [&](Session& s) { command::ServerDate(s); }; });

  // Periods.
  CLI::App* period = Command(app, "period", "accounting periods");
  period->require_subcommand(1);
  CLI::App* start_end =
      Command(*period, "start-end", "first and last day of a period (BeginDate, EndDate)");
  start_end->add_option("YEAR", a.year, "accounting year")->required();
  start_end->add_option("PERIOD", a.period, "period number")->required();
  start_end->callback(
      [&] { action = [&](Session& s) { command::PeriodStartEnd(s, a.year, a.period); }; });
  CLI::App* start_date =
      Command(*period, "start-date", "first day of a period of the start year (IC StartYear)");
  start_date->add_option("PERIOD", a.period, "period number")->required();
  start_date->callback(
      [&] { action = [&](Session& s) { command::PeriodStartDate(s, a.period); }; });
  CLI::App* current =
      Command(*period, "current", "current year, period and its dates (Data.GetCurrenPeriodDate)");
  current->callback([&] { action = [&](Session& s) { command::PeriodCurrent(s); }; });
  CLI::App* previous =
      Command(*period, "previous", "the period before the current one (Rpt.GetPreAccount)");
  previous->callback([&] { action = [&](Session& s) { command::PeriodPrevious(s); }; });
  CLI::App* current_account =
      Command(*period, "current-account", "the current period's bounds (Rpt.GetCurAccount)");
  current_account->callback(
      [&] { action = [&](Session& s) { command::PeriodCurrentAccount(s); }; });
  CLI::App* end_date =
      Command(*period, "end-date", "the current period's end date (Rpt.GetCurrentPeriodEndDate)");
  end_date->callback([&] { action = [&](Session& s) { command::PeriodEndDate(s); }; });

  // Lookups.
  CLI::App* stock_info = Command(app, "stock-info",
                                 "warehouse and stock-place names of a filter's number ranges "
                                 "(BStockNumber, EStockNumber, BSPNumber, ESPNumber)");
  stock_info->add_option("--filter", a.filters, "a filter value (repeatable)")
      ->type_name("KEY=VALUE")
      ->allow_extra_args(false);
  stock_info->add_flag("--long-number", a.long_number,
                       "match the full numbers (FNumber) instead of the short ones");
  stock_info->callback(
      [&] { action = [&](Session& s) { command::StockInfo(s, a.filters, a.long_number); }; });

  CLI::App* property =
      Command(app, "property", "one property of the descriptor (\"cht\" when absent)");
  property->add_option("NAME", a.name, "property name, e.g. UserID")->required();
  property->callback([&] { action = [&](Session& s) { command::Property(s, a.name); }; });

  CLI::App* rights = Command(app, "rights", "the user's data-access-right texts (From, Where)");
  rights->callback([&] { action = [&](Session& s) { command::Rights(s); }; });

  CLI::App* reports = Command(app, "reports", "the report catalogue in the descriptor's language");
  reports->add_option("--group", a.group, "only this report group (default 0: all)")
      ->type_name("N");
  reports->add_flag("--describe", a.describe,
                    "describe the reports the tool runs instead (their filter keys and columns, "
                    "as report NUMBER --describe); needs no database");
  reports->callback(
      [&] { action = [&](Session& s) { command::Reports(s, a.group, a.describe); }; });

  CLI::App* report_group = Command(app, "report-group", "the name of a report group");
  report_group->add_option("N", a.group, "group id")->required();
  report_group->callback([&] { action = [&](Session& s) { command::ReportGroup(s, a.group); }; });

  // The data source.
  CLI::App* dbms =
      Command(app, "dbms", "the DBMS capabilities of the data source, and ProcSupported(NAME)");
  dbms->add_option("--proc", a.procs, "a stored procedure to look up (repeatable)")
      ->type_name("NAME")
      ->allow_extra_args(false);
  dbms->callback([&] { action = [&](Session& s) { command::Dbms(s, a.procs); }; });

  CLI::App* type_name = Command(app, "type-name",
                                "the DBMS type name of a data-type code for a precision and scale, "
                                "with Precision, nScale, ActualType, ActualSize, BindType");
  type_name->add_option("CODE", a.code, "data-type code (t_DataTypeInfo.FDataType)")->required();
  type_name->add_option("PRECISION", a.precision, "precision or length")->required();
  type_name->add_option("SCALE", a.scale_arg, "scale")->required();
  type_name->callback([&] {
    action = [&](Session& s) { command::TypeName(s, a.code, a.precision, a.scale_arg); };
  });

  // The report service, when the executable has one.
  CLI::App* serve = Command(app, "serve",
                            "run the report service: the component's methods over HTTP/JSON and "
                            "the web report viewer (see q8vantorpt serve --help)");
  ServeRun serve_run;
  if (ServeCommand()) serve_run = ServeCommand()(*serve);
  bool serve_chosen = false;
  serve->callback([&] { serve_chosen = true; });

  try {
    app.parse(argc, argv);
    if (app.get_subcommands().empty()) {
      std::string message = UnknownCommand(app, argc, argv);
      if (message.empty()) message = "a command is required";
      throw UsageError(message);
    }
  } catch (const CLI::Success& e) {  // --help, --version
    const int status = app.exit(e, out, err);
    try {
      out.flush();
      CheckOutput(out);
    } catch (const OutputError& failure) {
      if (!failure.broken_pipe())
        err << "error " << err::kComponent << ": q8vantorpt: " << ErrorText(failure.what()) << '\n';
      return kExitFailure;
    }
    return status;
  } catch (const CLI::ParseError& e) {
    // A word that names no command reads better than CLI11's own words for it.
    if (const std::string message = UnknownCommand(app, argc, argv); !message.empty()) {
      err << "q8vantorpt: " << message << "\nRun with --help for more information.\n";
      return kExitUsage;
    }
    app.exit(e, out, err);
    return kExitUsage;
  } catch (const UsageError& e) {
    err << "q8vantorpt: " << e.what() << "\nRun with --help for more information.\n";
    return kExitUsage;
  }

  try {
    GlobalOptions g;
    g.format = ParseFormat(a.format);
    if (dsn_opt->count() > 0) g.dsn = a.dsn;
    if (db_opt->count() > 0) g.db = a.db;
    if (lang_opt->count() > 0) g.lang = CheckLanguage(a.lang);
    if (user_opt->count() > 0) g.user_id = a.user_id;
    if (output_opt->count() > 0) {
      if (a.output.empty()) throw UsageError("--output needs a file name");
      g.output = a.output;
    }
    if (g.format == Format::kXlsx && !g.output) {
      throw UsageError("--format xlsx writes a workbook: give it a file with --output FILE");
    }
    if (a.table_rights) rights::SelectTableDataAccess();
    if (serve_chosen) {
      if (!serve_run) throw UsageError("this q8vantorpt was built without the report service");
      return serve_run(ServeContext{g, a.table_rights, env_dsn, out, err});
    }
    // Text forms go to the --output file as they would to standard output,
    // every write checked; the workbook is written by the writer itself.
    std::unique_ptr<OutputFile> file;
    std::ostream* target = &out;
    if (g.output && g.format != Format::kXlsx) {
      file = std::make_unique<OutputFile>(*g.output);
      target = &file->stream();
    }
    Session session(std::move(g), *target, env_dsn);
    session.set_warnings(err);
    const char* env_timeout = std::getenv(kTimeoutEnvironment);
    if (timeout_opt->count() > 0 || (env_timeout && *env_timeout)) {
      const std::string_view origin = timeout_opt->count() > 0 ? "--timeout" : kTimeoutEnvironment;
      const auto limit = ParseTimeout(timeout_opt->count() > 0 ? a.timeout : env_timeout, origin);
      RunWithTimeLimit(limit, origin, err, [&] {
        if (action) action(session);
      });
    } else if (action) {
      action(session);
    }
    for (const std::string& w : session.writer().Finish()) session.Warn(w);
    target->flush();
    CheckOutput(*target);
    if (file) file->Close();
    return kExitOk;
  } catch (const OutputError& e) {
    // A reader that went away early (`| head`) ends the output quietly.
    if (!e.broken_pipe())
      err << "error " << err::kComponent << ": q8vantorpt: " << ErrorText(e.what()) << '\n';
    return kExitFailure;
  } catch (const UsageError& e) {
    err << "q8vantorpt: " << ErrorText(e.what()) << "\nRun with --help for more information.\n";
    return kExitUsage;
  } catch (const ToolFailure& e) {
    err << "q8vantorpt: " << ErrorText(e.what()) << '\n';
    return kExitFailure;
  } catch (const Error& e) {
    err << "error " << e.number() << ": " << ErrorText(e.source()) << ": "
        << ErrorText(e.description()) << '\n';
    return kExitFailure;
  } catch (const std::exception& e) {
    err << "error " << err::kComponent << ": q8vantorpt: " << ErrorText(e.what()) << '\n';
    return kExitFailure;
  }
}

}  // namespace q8::tool
