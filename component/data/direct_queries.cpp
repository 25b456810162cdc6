// Direct queries of Data: the server's clock, one statement as a detached
// record set, and a batch that yields a report body and header.
#include <memory>
#include <string>

#include "component/frame.h"
#include "component/handlers.h"
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
    rs->Open(StrSql, std::string(), ado::kUnspecified, ado::kUnspecified, ado::kUnspecified);
    // The host gets the rows without the connection.
    rs->SetActiveConnection(nullptr);
    return rs;
  } catch (...) {
    handler::Localized(frame_->language(), "GetData");
  }
}

Variant Data::GetRptRsBySQL(const DictionaryPtr& DicParameter, ado::RecordsetPtr& RsBody,
                            ado::RecordsetPtr& RsHeader) {
  try {
    FrameComplete();
    frame_->OpenDsn(Deref(DicParameter).GetValue("sDsN").ToText());
    ado::ConnectionPtr cn = frame_->data_source()->UnCommittedConnection();
    ado::RecordsetPtr rs = cn->Execute(DicParameter->GetValue("StrSql").ToText());
    RsBody = FirstRowset(rs);
    // The header is the result after the body; without one the caller's
    // RsHeader stays as it was. Both stay attached to the connection.
    if (ado::RecordsetPtr next = rs->NextRecordset()) RsHeader = FirstRowset(next);
    return Variant();
  } catch (...) {
    handler::LocalizedSource(frame_->language(), "GetRptRs");
  }
}

}  // namespace q8
