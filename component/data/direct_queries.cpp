// Direct queries of Data: the server's clock, one statement as a detached
// record set, and a batch that yields a report body and header.
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "component/frame.h"
#include "component/handlers.h"
#include "component/report_calls.h"
#include "connection/cdatasource.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"

namespace q8 {

namespace {

template <class T>
T& Deref(const std::shared_ptr<T>& p) {
  if (!p) RaisePlatform(err::kObjectNotSet);
  return *p;
}

// The first result of `rs` that has columns. Results without columns (the
// row counts of statements that change rows) are skipped; asking past the
// last result fails, since there is then no record set to read.
ado::RecordsetPtr FirstRowset(ado::RecordsetPtr rs) {
  try {
    while (Deref(rs).FieldCount() == 0) rs = rs->NextRecordset();
    return rs;
  } catch (...) {
    handler::Reraise();
  }
}

}  // namespace

double Data::GetServerDate(const std::string& sDsn) {
  double result = 0;
  ado::ConnectionPtr cn;
  ado::RecordsetPtr rs;
  // Every failing step is skipped. After a descriptor that fails to parse the
  // data source of the earlier call, if any, still serves.
  handler::Continue([&] { FrameComplete(); });
  handler::Continue([&] { frame_->OpenDsn(sDsn); });
  handler::Continue([&] { cn = Deref(frame_->data_source()).UnCommittedConnection(); });
  handler::Continue([&] { rs = Deref(cn).Execute("Select GetDate()"); });
  handler::Continue([&] { result = Deref(rs).Value(0).ToDate(); });
  handler::Continue([&] { Deref(rs).SetActiveConnection(nullptr); });
  return result;
}

ado::RecordsetPtr Data::GetData(const std::string& sDsn, const std::string& StrSql) {
  try {
    FrameComplete();
    frame_->OpenDsn(sDsn);
    ado::ConnectionPtr cn = frame_->data_source()->UnCommittedConnection();
    ado::RecordsetPtr rs = ado::Recordset::Create();
    rs->SetActiveConnection(cn);
    rs->set_cursor_location(ado::kUseClient);
    rs->set_cursor_type(ado::kOpenForwardOnly);
    rs->set_lock_type(ado::kLockReadOnly);
    rs->set_streamed(frame_->stream_results());
    rs->Open(StrSql, std::string(), ado::kUnspecified, ado::kUnspecified, ado::kUnspecified);
    // The host gets the rows without the connection.
    rs->SetActiveConnection(nullptr);
    if (rs->streamed()) {
      rs->set_read_failure(
          [language = frame_->language()] { handler::Localized(language, "GetData"); });
    }
    return rs;
  } catch (...) {
    handler::Localized(frame_->language(), "GetData");
  }
}

namespace {

// A failure of the caller's `take`, passed on unchanged.
struct TakeFailed {
  std::exception_ptr failure;
};

// GetRptRsBySQL, handing each record set to `take` as it is found (the body,
// then the header), before the next result is looked for.
void RptRsBySQL(RequestFrame& frame, const DictionaryPtr& DicParameter,
                const std::function<void(const ado::RecordsetPtr&, bool)>& take) {
  try {
    FrameComplete();
    frame.OpenDsn(Deref(DicParameter).GetValue("sDsN").ToText());
    ado::ConnectionPtr cn = frame.data_source()->UnCommittedConnection();
    cn->set_stream_results(frame.stream_results());
    ado::RecordsetPtr rs = cn->Execute(DicParameter->GetValue("StrSql").ToText());
    auto hand_over = [&](const ado::RecordsetPtr& found, bool header) {
      if (found->streamed()) {
        found->set_read_failure(
            [language = frame.language()] { handler::LocalizedSource(language, "GetRptRs"); });
      }
      try {
        take(found, header);
      } catch (...) {
        throw TakeFailed{std::current_exception()};
      }
    };
    hand_over(FirstRowset(rs), false);
    // The header is the result after the body; without one the caller's
    // RsHeader stays as it was.
    if (ado::RecordsetPtr next = rs->NextRecordset()) hand_over(FirstRowset(next), true);
  } catch (const TakeFailed& e) {
    std::rethrow_exception(e.failure);
  } catch (...) {
    handler::LocalizedSource(frame.language(), "GetRptRs");
  }
}

}  // namespace

Variant Data::GetRptRsBySQL(const DictionaryPtr& DicParameter, ado::RecordsetPtr& RsBody,
                            ado::RecordsetPtr& RsHeader) {
  // Both record sets stay attached to the connection.
  RptRsBySQL(*frame_, DicParameter,
             [&](const ado::RecordsetPtr& rs, bool header) { (header ? RsHeader : RsBody) = rs; });
  return Variant();
}

void RunRptRsBySQL(Data& data, const DictionaryPtr& DicParameter,
                   const std::function<void(const ado::RecordsetPtr&, bool)>& take) {
  RptRsBySQL(FrameOf(data), DicParameter, take);
}

}  // namespace q8
