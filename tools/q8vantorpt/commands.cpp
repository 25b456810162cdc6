// The commands of the command-line tool.
#include "tools/q8vantorpt/commands.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <optional>
#include <utility>

#include "component/frame.h"
#include "component/report_calls.h"
#include "connection/cdatasource.h"
#include "connection/cparse.h"
#include "drivers/sqlite/schema.h"
#include "q8vantorpt/outside.h"
#include "reports/report_table.h"
#include "tools/q8vantorpt/demo_db.h"
#include "tools/q8vantorpt/describe.h"
#include "tools/q8vantorpt/filter_checks.h"
#include "tools/q8vantorpt/partial_files.h"

namespace q8::tool {

Session::Session(GlobalOptions options, std::ostream& out, const char* env_dsn)
    : options_(std::move(options)),
      out_(out),
      env_dsn_(env_dsn),
      writer_(out, options_.format,
              options_.format == Format::kXlsx ? options_.output.value_or("") : "") {}

std::string TooLongName(const std::string& path) {
  auto shown = [](const std::string& text) {
    if (text.size() <= 80) return text;
    size_t cut = 60;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut) + "\u2026 (" + std::to_string(text.size()) + " bytes)";
  };
  if (path.size() >= PATH_MAX)
    return "the file name '" + shown(path) + "' is too long: the system takes at most " +
           std::to_string(PATH_MAX - 1) + " bytes";
  size_t begin = 0, longest = 0, at = 0;
  while (begin <= path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    if (end - begin > longest) {
      longest = end - begin;
      at = begin;
    }
    begin = end + 1;
  }
  return "the file name '" + shown(path.substr(at, longest)) +
         "' is too long: a name in a folder takes at most " + std::to_string(NAME_MAX) + " bytes";
}

std::string Session::Descriptor(bool opens_database) const {
  std::optional<ResolvedDescriptor> d = ResolveDescriptor(options_, env_dsn_);
  if (!d) {
    throw UsageError(std::string("no database: give --db FILE or --dsn DESCRIPTOR, or set ") +
                     kDsnEnvironment);
  }
  struct stat st {};
  if (opens_database && !d->db_file.empty() && d->db_file != ":memory:" &&
      ::stat(d->db_file.c_str(), &st) != 0) {
    if (errno == ENAMETOOLONG) throw UsageError(TooLongName(d->db_file));
    if (errno == ENOENT)
      throw UsageError("database file not found: " + d->db_file +
                       " (create one with init-db or demo-db)");
    // Any other reason (no permission, a file on the way) the engine reports.
  }
  return d->text;
}

std::string Session::DescriptorOrDefault() const {
  std::optional<ResolvedDescriptor> d = ResolveDescriptor(options_, env_dsn_);
  if (d) return d->text;
  return DescriptorForFile(":memory:", options_.lang.value_or(kDefaultLanguage),
                           options_.user_id.value_or(0));
}

std::string Session::Language() const {
  if (options_.lang) return *options_.lang;
  if (std::optional<ResolvedDescriptor> d = ResolveDescriptor(options_, env_dsn_)) {
    try {
      CParse parse;
      parse.ParseString(d->text);
      return parse.LanguageID();
    } catch (const Error&) {
      // A descriptor without a language: the default one.
    }
  }
  return kDefaultLanguage;
}

void Session::Warn(const std::string& text) {
  if (warnings_ != nullptr) *warnings_ << "q8vantorpt: warning: " << text << '\n' << std::flush;
}

// The tool prints each record set once from its first row: the objects
// stream their results, so that the first rows are out before the last are
// read and a result of any size takes bounded memory.
DataPtr Session::NewData() const {
  DataPtr data = Registry::Instance().CreateAs<Data>("Q8VANTORpt.Data");
  if (data) FrameOf(*data).set_stream_results(true);
  return data;
}

RptPtr Session::NewRpt() const {
  RptPtr rpt = Registry::Instance().CreateAs<Rpt>("Q8VANTORpt.Rpt");
  if (rpt) FrameOf(*rpt).set_stream_results(true);
  return rpt;
}

namespace command {

namespace {

// A database file is never replaced without --force; the engine refuses too,
// but this says so in words, before any work is done.
void RefuseExisting(const std::string& command, const std::string& file, bool force) {
  if (!force && std::filesystem::exists(std::filesystem::symlink_status(file))) {
    throw ToolFailure(command + ": the file '" + file +
                      "' already exists; it is not overwritten (--force replaces it)");
  }
}

// The scratch files of a build go on the list of files a signal removes.
void TrackScratch(const std::string& path, bool added) {
  if (added)
    AddPartialFile(path);
  else
    RemovePartialFile(path);
}

}  // namespace

void InitDb(Session&, const std::string& file, bool force, bool follow_symlinks) {
  RefuseExisting("init-db", file, force);
  sqlite::BuildOptions options;
  options.force = force;
  options.follow_symlinks = follow_symlinks;
  options.scratch = TrackScratch;
  try {
    sqlite::InitDatabase(file, options);
  } catch (const Error& e) {
    throw ToolFailure("init-db: " + e.description());
  }
}

void DemoDb(Session& s, const std::string& file, int64_t scale, uint64_t seed, bool force,
            bool follow_symlinks) {
  if (scale < 1 || scale > kMaxDemoLines)
    throw UsageError("--scale must be from 1 to " + std::to_string(kMaxDemoLines) + ", not " +
                     std::to_string(scale));
  RefuseExisting("demo-db", file, force);
  DemoOptions options;
  options.lines = scale;
  options.seed = seed;
  options.follow_symlinks = follow_symlinks;
  options.scratch = TrackScratch;
  DemoSummary summary;
  try {
    summary = GenerateDemoDatabase(file, options, force);
  } catch (const Error& e) {
    throw ToolFailure("demo-db: " + e.description());
  }
  NamedValues values;
  values.emplace_back("File", Variant(file));
  values.emplace_back("Seed", Variant(Decimal(static_cast<Int128>(seed), 0)));
  for (const auto& [table, rows] : summary.rows)
    values.emplace_back(table, Variant::FromInt64(rows));
  values.emplace_back("Seconds", Variant(summary.seconds));
  s.writer().Named(values);
}

void Report(Session& s, int32_t number, const std::vector<std::string>& filters,
            const ReportOptions& options) {
  const reports::ReportSpec* spec = reports::FindReport(number);
  if (spec == nullptr) {
    std::vector<int> numbers;
    for (const reports::ReportSpec& r : reports::Reports()) numbers.push_back(r.number);
    std::sort(numbers.begin(), numbers.end());
    std::string known;
    for (size_t i = 0; i < numbers.size(); ++i) {
      if (i > 0) known += i + 1 == numbers.size() ? " and " : ", ";
      known += std::to_string(numbers[i]);
    }
    throw UsageError("unknown report " + std::to_string(number) + "; the reports are " + known);
  }
  if (options.describe) {
    Describe(s, {spec});
    return;
  }
  DictionaryPtr filter = BuildReportFilter(*spec, filters, options.allow_unknown_filters);
  DataPtr data = s.NewData();
  if (options.sql_only) {
    const std::string batch = BuildReportBatch(*data, number, s.DescriptorOrDefault(), filter);
    if (s.writer().format() == Format::kJson || s.writer().format() == Format::kXlsx) {
      s.writer().Value(Variant(batch));
    } else {
      s.out() << batch;  // exactly as built, CR LF line ends included
      s.out().flush();
    }
    return;
  }
  for (const std::string& w : FilterWarnings(*spec, *filter)) s.Warn(w);
  const std::string dsn = s.Descriptor();
  DictionaryPtr sort_fields;
  ado::RecordsetPtr rs;
  try {
    rs = RunReport(*data, number, dsn, filter, sort_fields);
  } catch (const Error& e) {
    throw ExplainReportFailure(e, *spec, *filter);
  }
  // What the workbook shows beside the rows; the text forms print rows only.
  std::optional<ReportDescription> description;
  if (s.writer().format() == Format::kXlsx) description = DescribeReport(*spec, s.Language());
  const NamedValues given(filter->Items().begin(), filter->Items().end());
  s.writer().RecordSet(rs.get(), SheetInfo{"", description ? &*description : nullptr, &given});
  for (const std::string& w : CodeRangeWarnings(*data, dsn, *filter)) s.Warn(w);
}

void Describe(Session& s, const std::vector<const reports::ReportSpec*>& reports) {
  const std::string language = s.Language();
  std::vector<ReportDescription> d;
  for (const reports::ReportSpec* spec : reports) d.push_back(DescribeReport(*spec, language));
  s.writer().RecordSet(*ReportsRowSet(d), SheetInfo{LocalText("报表", language)});
  s.writer().RecordSet(*FiltersRowSet(d), SheetInfo{LocalText("筛选条件", language)});
  s.writer().RecordSet(*ColumnsRowSet(d), SheetInfo{LocalText("列", language)});
}

void Query(Session& s, const std::string& sql) {
  DataPtr data = s.NewData();  // alive while the rows are read
  ado::RecordsetPtr rs = data->GetData(s.Descriptor(), sql);
  s.writer().RecordSet(rs.get());
}

void Batch(Session& s, const std::string& sql) {
  auto parameters = std::make_shared<Dictionary>();
  parameters->SetValue("sDsN", Variant(s.Descriptor()));
  parameters->SetValue("StrSql", Variant(sql));
  // The body is printed as it is read, before the header is looked for.
  DataPtr data = s.NewData();
  RunRptRsBySQL(*data, parameters,
                [&](const ado::RecordsetPtr& rs, bool) { s.writer().RecordSet(rs.get()); });
}

void ServerDate(Session& s) {
  s.writer().Value(Variant::Date(s.NewData()->GetServerDate(s.Descriptor())));
}

void PeriodStartEnd(Session& s, int32_t year, int32_t period) {
  double begin = 0;
  Variant end;
  s.NewData()->GetPeriodStartEndDate(s.Descriptor(), year, period, begin, end);
  s.writer().Named(NamedValues{{"BeginDate", Variant::Date(begin)}, {"EndDate", end}});
}

void PeriodStartDate(Session& s, int32_t period) {
  s.writer().Value(Variant(s.NewData()->GetStartDate(s.Descriptor(), period)));
}

void PeriodCurrent(Session& s) {
  std::string dsn = s.Descriptor();
  DictionaryPtr d = s.NewData()->GetCurrenPeriodDate(dsn);
  if (d) s.writer().Named(*d);
}

void PeriodPrevious(Session& s) {
  DictionaryPtr d = s.NewRpt()->GetPreAccount(s.Descriptor());
  if (d) s.writer().Named(*d);
}

void PeriodCurrentAccount(Session& s) {
  DictionaryPtr d = s.NewRpt()->GetCurAccount(s.Descriptor());
  if (d) s.writer().Named(*d);
}

void PeriodEndDate(Session& s) {
  s.writer().Value(Variant(s.NewRpt()->GetCurrentPeriodEndDate(s.Descriptor())));
}

void StockInfo(Session& s, const std::vector<std::string>& filters, bool long_number) {
  DictionaryPtr filter = BuildFilter(filters);
  DictionaryPtr d = s.NewData()->GetStockInfo(s.Descriptor(), filter, long_number);
  if (d) s.writer().Named(*d);
}

void Property(Session& s, const std::string& name) {
  s.writer().Value(Variant(s.NewData()->GetPropertyExt(s.Descriptor(false), name)));
}

void Rights(Session& s) {
  std::string from, where;
  s.NewData()->GetDataRightStrSql(s.Descriptor(), from, where);
  s.writer().Named(NamedValues{{"From", Variant(from)}, {"Where", Variant(where)}});
}

void Reports(Session& s, int32_t group, bool describe) {
  if (describe) {
    std::vector<const reports::ReportSpec*> all;
    for (const reports::ReportSpec& spec : reports::Reports()) all.push_back(&spec);
    Describe(s, all);
    return;
  }
  RptPtr rpt = s.NewRpt();
  ado::RecordsetPtr rs = rpt->GetReportList(s.Descriptor(), group);
  s.writer().RecordSet(rs.get());
}

void ReportGroup(Session& s, int32_t group) {
  s.writer().Value(Variant(s.NewRpt()->GetReportGroupName(s.Descriptor(), group)));
}

void Dbms(Session& s, const std::vector<std::string>& procs) {
  DataPtr data = s.NewData();
  FrameOf(*data).OpenDsn(s.Descriptor());
  const CDataSource& ds = *FrameOf(*data).data_source();
  NamedValues values{
      {"DBMSName", Variant(ds.DBMSName())},
      {"DBMSVersion", Variant(ds.DBMSVersion())},
      {"MultipleResults", Variant(ds.MultipleResults())},
      {"LikeEscapeClause", Variant(ds.LikeEscapeClause())},
      {"IEF", Variant(ds.IEF())},
      {"NumericFunctions", Variant(ds.NumericFunctions())},
      {"StringFunctions", Variant(ds.StringFunctions())},
      {"SystemFunctions", Variant(ds.SystemFunctions())},
      {"DateTimeFunctions", Variant(ds.DateTimeFunctions())},
  };
  for (const std::string& proc : procs) {
    values.emplace_back("ProcSupported(" + proc + ")", Variant(ds.ProcSupported(proc)));
  }
  s.writer().Named(values);
}

void TypeName(Session& s, int32_t code, int32_t precision, int32_t scale) {
  DataPtr data = s.NewData();
  FrameOf(*data).OpenDsn(s.Descriptor());
  int32_t actual_type = 0, actual_size = 0, bind_type = 0;
  const std::string name = FrameOf(*data).data_source()->GetTypeName(
      code, precision, scale, actual_type, actual_size, bind_type);
  s.writer().Named(NamedValues{{"TypeName", Variant(name)},
                               {"Precision", Variant(precision)},
                               {"nScale", Variant(scale)},
                               {"ActualType", Variant(actual_type)},
                               {"ActualSize", Variant(actual_size)},
                               {"BindType", Variant(bind_type)}});
}

}  // namespace command
}  // namespace q8::tool
