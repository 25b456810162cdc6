// The report catalogue of Rpt: the reports of ICReport, named in the
// caller's language, and the names of report groups.
#include <memory>
#include <string>

#include "component/frame.h"
#include "component/local_text.h"
#include "component/rpt/language_column.h"
#include "connection/cdatasource.h"
#include "q8vantorpt/outside.h"
#include "q8vantorpt/rpt.h"

namespace q8 {

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

constexpr std::string_view kListColumns =
    ",FProcedure,FTemplateID,FNote,Fsum,FRptType,FRptGrpID,FRptProperty,FRptStyle,FObjectType,"
    "FObjectID,FBillType,FInterID,FVis,FCountPriceType,FMergeCol,FEObjectType,FEObjectID";

}  // namespace

std::string LanguageColumn(std::string_view base, std::string_view language, bool suffix_chs) {
  try {
    const std::string id = Upper(language);
    std::string column(base);
    if (id == "CHT") {
      column += "_CHT";
    } else if (id == "EN") {
      column += "_EN";
    } else if (suffix_chs) {
      column += "_CHS";
    }
    return column;
  } catch (...) {
    return std::string(base);
  }
}

ado::RecordsetPtr Rpt::GetReportList(const std::string& sDsn, int32_t GroupID) {
  FrameComplete();
  frame_->OpenDsn(sDsn);
  std::string sql = "Select ";
  sql += LanguageColumn("FRptName", frame_->language());
  sql += " AS FRptName";
  sql += ",";
  sql += LanguageColumn("FDetailRptName", frame_->language());
  sql += " AS FDetailRptName";
  sql += kListColumns;
  if (GroupID != 0) {
    sql += " From ICReport Where FRptGrpID=" + std::to_string(GroupID);
  } else {
    sql += " From ICReport Order by FRptType,FRptName";
  }
  ado::RecordsetPtr rs = ado::Recordset::Create();
  rs->set_cursor_location(ado::kUseClient);
  rs->set_streamed(frame_->stream_results());
  rs->SetActiveConnection(frame_->data_source()->UnCommittedConnection());
  rs->Open(sql, std::string(), ado::kUnspecified, ado::kUnspecified, ado::kUnspecified);
  rs->SetActiveConnection(nullptr);
  return rs;
}

std::string Rpt::GetReportGroupName(const std::string& sDsn, int32_t GroupID) {
  FrameComplete();
  frame_->OpenDsn(sDsn);
  const std::string sql =
      "Select FRptGrpName From ICReportGroup Where FRptGrpID=" + std::to_string(GroupID);
  ado::RecordsetPtr rs = ado::Recordset::Create();
  rs->set_cursor_location(ado::kUseClient);
  rs->set_cursor_type(ado::kOpenForwardOnly);
  rs->set_lock_type(ado::kLockReadOnly);
  rs->SetActiveConnection(frame_->data_source()->UnCommittedConnection());
  rs->Open(sql, std::string(), ado::kUnspecified, ado::kUnspecified, ado::kUnspecified);
  std::string name;
  if (rs->RecordCount() != 0) {
    // A group without a name reads as "", not as a failure.
    const Variant value = rs->Value("FRptGrpName");
    if (!value.IsNull()) name = value.ToText();
  } else {
    name = LoadLocalText(std::string(text::kReport), frame_->language());
  }
  rs->Close();
  return name;
}

}  // namespace q8
