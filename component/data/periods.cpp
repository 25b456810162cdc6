// Accounting periods of Data: period boundaries from the stored procedure
// GetPeriodStartEnd, the start date of the first year, the current period,
// and the parameterised system-profile lookup.
#include <memory>
#include <string>

#include "component/data/profile.h"
#include "component/frame.h"
#include "component/handlers.h"
#include "component/local_text.h"
#include "connection/cdatasource.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"

namespace q8 {

namespace {

// A date given to the host as "YYYY/MM/DD", and the same text read back as a
// date, which drops any time of day.
double DateOnly(double days) {
  const auto parsed = date::Parse(date::ToSlashed(days));
  if (!parsed) RaisePlatform(err::kTypeMismatch);
  return *parsed;
}

// Runs GetPeriodStartEnd for (year, period). BeginDate receives the start as
// a date without time, EndDate the end as the text "YYYY/MM/DD". When the
// period does not exist (null outputs) raises -8000 with the localized prefix
// followed by "GetPeriodDate"; other failures pass to the caller.
Variant GetPeriodDate(const ado::ConnectionPtr& connection, int32_t year, int32_t period,
                      double& BeginDate, Variant& EndDate, const std::string& language) {
  FrameComplete();
  ado::CommandPtr cmd = ado::Command::Create();
  cmd->SetActiveConnection(connection);
  cmd->set_command_type(ado::kCmdStoredProc);
  cmd->set_command_text("GetPeriodStartEnd");
  cmd->Append(cmd->CreateParameter("@aYear", ado::kTypeInteger, ado::kParamInput, 0, year));
  cmd->Append(cmd->CreateParameter("@aPeriod", ado::kTypeInteger, ado::kParamInput, 0, period));
  cmd->Append(cmd->CreateParameter("@aPeriodStart", ado::kTypeDBDate, ado::kParamOutput, 0));
  cmd->Append(cmd->CreateParameter("@aPeriodEnd", ado::kTypeDBDate, ado::kParamOutput, 0));
  cmd->Execute();

  const Variant start = cmd->Item(2).value;
  const Variant end = cmd->Item(3).value;
  if (start.IsNull() || end.IsNull()) {
    cmd.reset();
    std::string source = LoadLocalText(std::string(text::kDataErrorPrefix), language);
    source += "GetPeriodDate";
    throw Error(err::kComponent, std::move(source),
                LoadLocalText(std::string(text::kPeriodFailed), language));
  }
  BeginDate = DateOnly(start.ToDate());
  EndDate = date::ToSlashed(end.ToDate());
  return Variant();
}

// GetPeriodDate for a caller whose end date is a Date variable: the text is
// converted back on storing.
void GetPeriodDates(const ado::ConnectionPtr& connection, int32_t year, int32_t period,
                    double& start, double& end, const std::string& language) {
  Variant end_text;
  GetPeriodDate(connection, year, period, start, end_text, language);
  end = end_text.ToDate();
}

}  // namespace

Variant Data::GetPeriodStartEndDate(const std::string& sDsn, int32_t iYear, int32_t iPeriod,
                                    double& BeginDate, Variant& EndDate) {
  try {
    FrameComplete();
    frame_->OpenDsn(sDsn);
    ado::ConnectionPtr cn = frame_->data_source()->UnCommittedConnection();
    return GetPeriodDate(cn, iYear, iPeriod, BeginDate, EndDate, frame_->language());
  } catch (...) {
    handler::Appended("GetPeriodStartEndDate");
  }
}

std::string Data::GetStartDate(const std::string& sDsn, int32_t startPeriod) {
  frame_->OpenDsn(sDsn);
  ado::ConnectionPtr cn = frame_->data_source()->UnCommittedConnection();
  const int32_t year =
      GetSystemProfileValue(*frame_->data_source(), "StartYear", "IC", 2000).ToLong();
  double start = 0, end = 0;
  GetPeriodDates(cn, year, startPeriod, start, end, frame_->language());
  return Variant::Date(start).ToText();
}

DictionaryPtr Data::GetCurrenPeriodDate(std::string& sDsn) {
  try {
    auto result = std::make_shared<Dictionary>();
    FrameComplete();
    frame_->OpenDsn(sDsn);
    ado::ConnectionPtr cn = frame_->data_source()->UnCommittedConnection();
    // Absent rows leave the year and the period at 0.
    int32_t year = 0, period = 0;
    ado::RecordsetPtr rs = cn->Execute(
        "Select FValue From t_SystemProfile Where FCategory='IC' And FKey='CurrentYear' ");
    if (rs && !rs->IsEOF() && !rs->IsBOF()) year = rs->Value(0).ToLong();
    rs = cn->Execute(
        "Select FValue From t_SystemProfile Where FCategory='IC' And FKey='CurrentPeriod' ");
    if (rs && !rs->IsEOF() && !rs->IsBOF()) period = rs->Value(0).ToLong();

    double start = 0, end = 0;
    GetPeriodDates(cn, year, period, start, end, frame_->language());
    result->SetValue("CurrentYear", year);
    result->SetValue("CurrentPeriod", period);
    result->SetValue("StartDate", Variant::Date(start));
    result->SetValue("EndDate", Variant::Date(end));
    return result;
  } catch (...) {
    handler::Localized(frame_->language(), "::GetRpt302Data");
  }
}

Variant GetSystemProfileValue(const CDataSource& data_source, const std::string& key,
                              const std::string& category, const Variant& def) {
  ado::CommandPtr cmd = ado::Command::Create();
  cmd->SetActiveConnection(data_source.Connection());
  cmd->set_command_type(ado::kCmdText);
  cmd->set_command_text("Select FValue From t_SystemProfile Where FCategory = ? And FKey = ?");
  cmd->Append(cmd->CreateParameter("", ado::kTypeVarChar, ado::kParamInput, 30, category));
  cmd->Append(cmd->CreateParameter("", ado::kTypeVarChar, ado::kParamInput, 30, key));
  ado::RecordsetPtr rs = cmd->Execute();
  if (rs->IsEOF()) return def.IsMissing() ? Variant("") : def;
  return rs->Value("FValue");
}

}  // namespace q8
