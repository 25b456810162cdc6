// Period lookups of Rpt: the current and the previous accounting period
// from the "IC" profile and the period calendar t_PeriodDate, and the end
// date of the current period.
#include <memory>
#include <string>

#include "component/frame.h"
#include "component/handlers.h"
#include "connection/cdatasource.h"
#include "q8vantorpt/outside.h"
#include "q8vantorpt/rpt.h"

namespace q8 {

namespace {

// The first column of the first row as a 16-bit integer. No row fails with
// the record set's BOF/EOF error, text that is no number with 13, a value
// beyond 16 bits with 6.
int16_t ProfileInteger(ado::Connection& cn, const std::string& sql) {
  return cn.Execute(sql)->Value(0).ToInteger();
}

// Fills "HavingPre" and, when the calendar holds (year, period), its bounds:
// "PreviousStart" and "PreviousEnd", the day after the period's last day.
void LookUpPeriod(ado::Connection& cn, Dictionary& result, int32_t year, int32_t period) {
  const std::string sql = std::string("SELECT CONVERT(DATETIME,FStartDate) as FStartDate,") +
                          " DATEADD(DAY,1,CONVERT(DATETIME,FEndDate)) as FEndDate" +
                          " FROM t_PeriodDate WHERE FYear = " + std::to_string(year) +
                          " AND FPeriod = " + std::to_string(period);
  result.SetValue("HavingPre", int16_t{1});
  ado::RecordsetPtr rs = cn.Execute(sql);
  if (rs->RecordCount() < 1) {
    result.SetValue("HavingPre", int16_t{0});
    return;
  }
  result.SetValue("PreviousStart", Variant::Date(rs->Value(0).ToDate()));
  result.SetValue("PreviousEnd", Variant::Date(rs->Value(1).ToDate()));
}

void CloseIfOpen(const ado::ConnectionPtr& cn) {
  if (cn && cn->State() == ado::kStateOpen) cn->Close();
}

constexpr const char* kCurrentYearSql =
    "select FValue from t_SystemProfile where FCategory='IC' and FKey='CurrentYear'";
constexpr const char* kCurrentPeriodSql =
    "select FValue from t_SystemProfile where FCategory='IC' and FKey='CurrentPeriod'";

}  // namespace

DictionaryPtr Rpt::GetPreAccount(const std::string& sDsn) {
  ado::ConnectionPtr cn;
  try {
    FrameComplete();
    frame_->OpenDsn(sDsn);
    cn = frame_->data_source()->UnCommittedConnection();
    auto result = std::make_shared<Dictionary>();
    const int16_t year = ProfileInteger(*cn, kCurrentYearSql);
    result->SetValue("CurrentYear", year);
    const int16_t period = ProfileInteger(*cn, kCurrentPeriodSql);
    result->SetValue("CurrentPeriod", period);
    const int16_t period_count = ProfileInteger(
        *cn, "SELECT FValue FROM T_systemprofile WHERE Fcategory='GL' and FKEY='Periodcount'");
    // Period 1 follows the last period of the year before.
    if (period == 1) {
      LookUpPeriod(*cn, *result, year - 1, period_count);
    } else {
      LookUpPeriod(*cn, *result, year, period - 1);
    }
    cn->Close();
    return result;
  } catch (...) {
    CloseIfOpen(cn);
    handler::Reraise();
  }
}

DictionaryPtr Rpt::GetCurAccount(const std::string& sDsn) {
  ado::ConnectionPtr cn;
  try {
    FrameComplete();
    frame_->OpenDsn(sDsn);
    cn = frame_->data_source()->UnCommittedConnection();
    auto result = std::make_shared<Dictionary>();
    result->SetValue("CurrentYear", ProfileInteger(*cn, kCurrentYearSql));
    result->SetValue("CurrentPeriod", ProfileInteger(*cn, kCurrentPeriodSql));
    // The current period's bounds go under the same keys as the previous one's.
    LookUpPeriod(*cn, *result, result->GetValue("CurrentYear").ToInteger(),
                 result->GetValue("CurrentPeriod").ToInteger());
    cn->Close();
    return result;
  } catch (...) {
    CloseIfOpen(cn);
    handler::Reraise();
  }
}

std::string Rpt::GetCurrentPeriodEndDate(const std::string& sDsn) {
  static const std::string kFirstLine =
      "SELECT TOP 1 FEndDate  from T_PeriodDate A INNER JOIN t_SystemProfile B ON A.Fyear "
      "=B.Fvalue "
      "and  B.FKey='CurrentYear' \r\n";
  std::string result;
  try {
    frame_->OpenDsn(sDsn);
    ado::ConnectionPtr cn = frame_->data_source()->UnCommittedConnection();
    FrameComplete();
    ado::RecordsetPtr rs = cn->Execute(
        kFirstLine +
        "INNER JOIN t_SystemProfile C ON A.Fperiod =C.Fvalue and B.FCategory=C.FCategory and "
        "C.FCategory='IC' and C.FKey='CurrentPeriod'\r\n");
    // Without an "IC" period, the "GL" year and period.
    if (rs->IsEOF()) {
      rs = cn->Execute(
          kFirstLine +
          "INNER JOIN t_SystemProfile C ON A.Fperiod =C.Fvalue and B.FCategory=C.FCategory and "
          "C.FCategory='GL' and C.FKey='CurrentPeriod'\r\n");
    }
    result = rs->Value(0).ToText();
  } catch (...) {
    // Any failure, no row in either variant included, answers "".
    handler::Swallow();
  }
  return result;
}

}  // namespace q8
