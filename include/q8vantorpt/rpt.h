// The public class Rpt (ProgID "Q8VANTORpt.Rpt"): the report catalogue and
// period lookups. Same lifetime and threading rules as Data.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/export.h"
#include "q8vantorpt/variant.h"

namespace q8 {

class RequestFrame;

class Q8_API Rpt : public Object {
 public:
  Rpt();
  ~Rpt() override;
  Rpt(const Rpt&) = delete;
  Rpt& operator=(const Rpt&) = delete;

  // The report catalogue (all reports, or one group's), names in the
  // caller's language, as a detached record set. No handler.
  ado::RecordsetPtr GetReportList(const std::string& sDsn, int32_t GroupID = 0);
  // The group's name, or the localized "报表" when it has no row. No handler.
  std::string GetReportGroupName(const std::string& sDsn, int32_t GroupID);
  // "CurrentYear", "CurrentPeriod", "HavingPre" and, when the calendar holds
  // the period, "PreviousStart" and "PreviousEnd" (end + 1 day), for the
  // previous / the current period. Re-raise all five error fields.
  DictionaryPtr GetPreAccount(const std::string& sDsn);
  DictionaryPtr GetCurAccount(const std::string& sDsn);
  // The current period's end date as text; "" on any failure.
  std::string GetCurrentPeriodEndDate(const std::string& sDsn);

  Variant Invoke(std::string_view name, std::span<Variant> args);
  Variant Invoke(int32_t dispid, std::span<Variant> args);

 private:
  friend RequestFrame& FrameOf(Rpt& rpt);
  std::unique_ptr<RequestFrame> frame_;
};
using RptPtr = std::shared_ptr<Rpt>;

// Registers "Q8VANTORpt.Data" and "Q8VANTORpt.Rpt" (and the built-in
// providers) with the registry. Safe to call more than once.
Q8_API void RegisterComponent();

}  // namespace q8
