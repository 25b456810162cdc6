// The three consignment report methods of Data, and reports by number for
// the tool.
//
// Each report call runs the request frame (OpenDsn, a new uncommitted-read
// connection, SetComplete), prepares the texts the batch needs (the
// "bLongNumber" filter, the user's data-access-right fragments, the localized
// labels), lets the report's builder write the batch into a new TextBuffer,
// writes the sort hints into SortFields, and executes the whole batch once.
// The record set of the batch's final query goes back to the host still
// attached to its connection. Any failure raises -8000 with the localized
// Data prefix followed by the report's tag.
#include <memory>
#include <string>
#include <string_view>

#include "component/frame.h"
#include "component/handlers.h"
#include "component/local_text.h"
#include "component/report_calls.h"
#include "connection/cdatasource.h"
#include "q8vantorpt/data.h"
#include "reports/report_frame.h"
#include "reports/report_table.h"

namespace q8 {

namespace {

const Dictionary& FilterOf(const DictionaryPtr& dFilter) {
  if (!dFilter) RaisePlatform(err::kObjectNotSet);
  return *dFilter;
}

// The preparation after the request frame. REQUIRES: OpenDsn has run.
reports::ReportInput Prepare(Data& data, const reports::ReportSpec& m, const std::string& sDsn,
                             const DictionaryPtr& dFilter) {
  std::string str_from, str_where;
  bool long_number = false;
  if (m.rights_first) {
    data.GetDataRightStrSql(sDsn, str_from, str_where);
    long_number = FilterOf(dFilter).GetValue("bLongNumber").ToBool();
  } else {
    long_number = FilterOf(dFilter).GetValue("bLongNumber").ToBool();
    data.GetDataRightStrSql(sDsn, str_from, str_where);
  }
  std::string subtotal;
  if (m.has_subtotals())
    subtotal = LoadLocalText(std::string(text::kSubtotal), FrameOf(data).language());
  std::string total = LoadLocalText(std::string(text::kTotal), FrameOf(data).language());
  return reports::ReportInput{.filter = *dFilter,
                              .long_number = long_number,
                              .str_from = std::move(str_from),
                              .str_where = std::move(str_where),
                              .subtotal_label = std::move(subtotal),
                              .total_label = std::move(total)};
}

ado::RecordsetPtr RunReportMethod(Data& data, const reports::ReportSpec& m, const std::string& sDsn,
                                  const DictionaryPtr& dFilter, DictionaryPtr& SortFields) {
  try {
    FrameOf(data).OpenDsn(sDsn);
    ado::ConnectionPtr cn = FrameOf(data).data_source()->UnCommittedConnection();
    FrameComplete();
    const reports::ReportInput in = Prepare(data, m, sDsn, dFilter);

    auto sql = std::make_shared<TextBuffer>();
    sql->Reserve(32 * 1024);
    reports::Build(m.number, in, *sql);

    // The hints are in place before the batch runs, so the host has them
    // even when the execution fails.
    if (!SortFields) SortFields = std::make_shared<Dictionary>();
    reports::WriteSortHints(*SortFields, m.number);

    // The buffer and this call's reference to the connection go when the
    // scope ends; the record set keeps the connection open for the host.
    cn->set_stream_results(FrameOf(data).stream_results());
    ado::RecordsetPtr rs = cn->Execute(sql->GetText(), ado::kUnspecified);
    if (rs->streamed()) {
      rs->set_read_failure([language = FrameOf(data).language(), tag = m.tag] {
        handler::Localized(language, tag);
      });
    }
    return rs;
  } catch (...) {
    handler::Localized(FrameOf(data).language(), m.tag);
  }
}

}  // namespace

ado::RecordsetPtr Data::GetRpt2008608Data(const std::string& sDsn, const DictionaryPtr& /*dSql*/,
                                          const DictionaryPtr& dFilter, DictionaryPtr& SortFields) {
  return RunReportMethod(*this, reports::ReportOf(2008608), sDsn, dFilter, SortFields);
}

ado::RecordsetPtr Data::GetRpt2008610Data(const std::string& sDsn, const DictionaryPtr& /*dSql*/,
                                          const DictionaryPtr& dFilter, DictionaryPtr& SortFields) {
  return RunReportMethod(*this, reports::ReportOf(2008610), sDsn, dFilter, SortFields);
}

ado::RecordsetPtr Data::GetRpt2008609Data(const std::string& sDsn, const DictionaryPtr& /*dSql*/,
                                          const DictionaryPtr& dFilter, DictionaryPtr& SortFields) {
  return RunReportMethod(*this, reports::ReportOf(2008609), sDsn, dFilter, SortFields);
}

bool IsReportNumber(int report_number) { return reports::FindReport(report_number) != nullptr; }

std::string BuildReportBatch(Data& data, int report_number, const std::string& sDsn,
                             const DictionaryPtr& dFilter) {
  const reports::ReportSpec& m = reports::ReportOf(report_number);
  try {
    // The descriptor is read for the language and the user; no connection.
    FrameOf(data).OpenDsn(sDsn);
    return reports::BuildBatch(m.number, Prepare(data, m, sDsn, dFilter));
  } catch (...) {
    handler::Localized(FrameOf(data).language(), m.tag);
  }
}

ado::RecordsetPtr RunReport(Data& data, int report_number, const std::string& sDsn,
                            const DictionaryPtr& dFilter, DictionaryPtr& sort_fields) {
  return RunReportMethod(data, reports::ReportOf(report_number), sDsn, dFilter, sort_fields);
}

}  // namespace q8
